// A disc that lives in a folder:
//   FOLDER/blocks.bin  sparse file, block N's 2048 bytes at offset N * 2048
//   FOLDER/disc.json   the disc's state (DiscState as JSON)
// disc.json is replaced atomically (temporary file, fsync, rename, fsync of the
// folder) on every state change, and after every WRITE's blocks are in the block
// file, so a killed process never loses a closed session and an unclosed session
// reads back as an incomplete track. Loading never trusts the file: every field is
// checked for type and range and the whole state for consistency (Disc::restore).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

#include "recorders/virtual/disc.h"
#include "recorders/virtual/file_io.h"

namespace tavrin::vrecorder {

// A folder that cannot be created, read or written, or whose metadata is corrupt.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kDiscMetadataFile = "disc.json";
inline constexpr const char* kDiscBlockFile = "blocks.bin";

// JSON form of a disc state; fromJson throws StoreError naming the faulty field.
std::string discStateToJson(const DiscState& state);
DiscState discStateFromJson(const std::string& text);

class DiscStore {
public:
    // A new blank disc of `kind` in `folder` (created if missing; must not already
    // hold a disc). Throws StoreError.
    static DiscStore create(const std::filesystem::path& folder, MediaKind kind);
    // A new pressed disc (CdRom or DvdRom) holding a copy of `image`, whose size
    // must be a non-zero multiple of 2048 bytes. Throws StoreError.
    static DiscStore press(const std::filesystem::path& folder, const std::filesystem::path& image,
                           MediaKind kind);
    // An existing disc; throws StoreError for a missing, unreadable or corrupt one.
    static DiscStore open(const std::filesystem::path& folder);

    DiscStore(DiscStore&&) noexcept = default;
    DiscStore& operator=(DiscStore&&) noexcept = default;

    const std::filesystem::path& folder() const { return folder_; }
    const Disc& disc() const { return disc_; }

    // WRITE of data.size() / 2048 blocks at lba (data.size() must be a multiple of
    // 2048, else InvalidField). Checked by the disc's rules first; with testWrite
    // nothing is recorded. StoreFailed when the folder cannot be updated (the disc's
    // state then stays as it was).
    DiscResult write(uint32_t lba, std::span<const uint8_t> data, bool testWrite = false);
    // READ of out.size() / 2048 blocks at lba into out (never-written blocks of a
    // formatted random disc read as zeros).
    DiscResult read(uint32_t lba, std::span<uint8_t> out) const;

    // The disc's operations, saved to the folder when they succeed.
    DiscResult closeTrack(uint16_t number = 0);
    DiscResult closeSession(SessionClose how);
    DiscResult reserveTrack(uint32_t blocks);
    DiscResult blank(BlankType type);    // also drops the erased blocks from the block file
    DiscResult format(uint8_t formatType);

    // One image of every recorded block at its absolute address, blocks never
    // recorded as zeros (holes where the file system allows), up to the last
    // recorded block. Throws StoreError.
    void exportImage(const std::filesystem::path& image) const;

private:
    DiscStore(std::filesystem::path folder, Disc disc, UniqueFd blocks);
    DiscResult commit(const Disc& next, bool durable);

    std::filesystem::path folder_;
    Disc disc_;
    UniqueFd blocks_;
};

}  // namespace tavrin::vrecorder
