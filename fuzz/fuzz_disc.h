// The disc a fuzz input describes, and the reverse for the seed corpus.
//
// An input that does not start with kLayoutMagic is the image of a pressed CD-ROM,
// zero-padded to whole blocks and to at least kMinimumImageBlocks (so that the
// descriptor area, blocks 16 to 36, exists).
//
// An input that starts with kLayoutMagic lays out a disc session by session:
//   "TVXM"  magic
//   flags   bits 0-1: sessions - 1; bit 6: pressed CD-ROM (the runs of session 1
//           only, from block 0); bit 7: the last session closes the disc
//   per session: one byte R, then R runs of (data blocks, zero blocks), each a
//           16-bit little-endian count
//   then the data blocks of every run of every session, back to back; data missing
//   at the end of the input reads as zeros.
// Each session of a recordable CD is written at the disc's next writable address
// and closed, so later sessions start where a real recorder puts them; zero runs
// keep the corpus small. A disc never takes more than kMaximumDiscBlocks blocks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "recorders/virtual/disc_store.h"

namespace tavrin::fuzz {

inline constexpr std::string_view kLayoutMagic = "TVXM";
inline constexpr uint32_t kMinimumImageBlocks = 40;
inline constexpr uint32_t kMaximumDiscBlocks = 8192;
inline constexpr uint8_t kMaximumSessions = 4;

// Layout flags.
inline constexpr uint8_t kSessionCountMask = 0x03;
inline constexpr uint8_t kPressedFlag = 0x40;
inline constexpr uint8_t kFinalFlag = 0x80;

// Makes the disc the input describes in `folder` (which must hold no disc);
// `scratch` is a buffer kept from one disc to the next (no fresh pages for every
// input). Throws vrecorder::StoreError when the folder cannot be written.
void MakeDisc(std::span<const uint8_t> input, const std::filesystem::path& folder, std::vector<uint8_t>& scratch);

// The input that makes the disc in `store` again: every session's recorded blocks
// as runs, the last session's closing as it is.
std::vector<uint8_t> DescribeDisc(const vrecorder::DiscStore& store);

}  // namespace tavrin::fuzz
