#include "recorders/virtual/media.h"

#include <array>

namespace tavrin::vrecorder {
namespace {

constexpr uint32_t kCdCapacity = 359'849;       // lead-out start 79:59:74 of an 80-minute CD
constexpr uint32_t kDvdMinusCapacity = 2'298'496;
constexpr uint32_t kDvdPlusCapacity = 2'295'104;
constexpr uint32_t kDvdRamCapacity = 2'236'704;  // 4.7 GB single-sided
// CD: 6,750-block first lead-out (2,250 later) + 4,500 lead-in + 150 pre-gap.
constexpr uint32_t kCdFirstGap = 11'400;
constexpr uint32_t kCdLaterGap = 6'900;
// DVD-R/-RW incremental: border-out + next border-in.
constexpr uint32_t kDvdMinusFirstGap = 16'384;
constexpr uint32_t kDvdMinusLaterGap = 3'072;
// DVD+R: session closure + next intro.
constexpr uint32_t kDvdPlusGap = 2'048;
constexpr uint32_t kEccBlock = 16;

constexpr Msf kLeadOut80{79, 59, 74};

constexpr std::array<MediaFigures, 10> kMedia{{
    {MediaKind::CdR, 0x0009, "cd-r", "CD-R", true, Recording::Sequential, false, false, false, true,
     true, kCdCapacity, kCdFirstGap, kCdLaterGap, 1, Msf{97, 26, 66}, kLeadOut80},
    {MediaKind::CdRw, 0x000A, "cd-rw", "CD-RW", true, Recording::Sequential, true, true, false, true,
     true, kCdCapacity, kCdFirstGap, kCdLaterGap, 1, Msf{97, 15, 0}, kLeadOut80},
    {MediaKind::CdRom, 0x0008, "cd-rom", "CD-ROM", true, Recording::ReadOnly, false, false, false,
     false, false, 0, 0, 0, 1, std::nullopt, std::nullopt},
    {MediaKind::DvdR, 0x0011, "dvd-r", "DVD-R", false, Recording::Sequential, false, false, false,
     true, true, kDvdMinusCapacity, kDvdMinusFirstGap, kDvdMinusLaterGap, kEccBlock, std::nullopt,
     std::nullopt},
    {MediaKind::DvdRwSequential, 0x0014, "dvd-rw", "DVD-RW", false, Recording::Sequential, true,
     true, true, true, true, kDvdMinusCapacity, kDvdMinusFirstGap, kDvdMinusLaterGap, kEccBlock,
     std::nullopt, std::nullopt},
    {MediaKind::DvdRwRestricted, 0x0013, "dvd-rw-ro", "DVD-RW restricted overwrite", false,
     Recording::Random, true, true, true, false, false, kDvdMinusCapacity, 0, 0, kEccBlock,
     std::nullopt, std::nullopt},
    {MediaKind::DvdPlusR, 0x001B, "dvd+r", "DVD+R", false, Recording::Sequential, false, false,
     false, true, true, kDvdPlusCapacity, kDvdPlusGap, kDvdPlusGap, kEccBlock, std::nullopt,
     std::nullopt},
    {MediaKind::DvdPlusRw, 0x001A, "dvd+rw", "DVD+RW", false, Recording::Random, true, false, true,
     false, false, kDvdPlusCapacity, 0, 0, kEccBlock, std::nullopt, std::nullopt},
    {MediaKind::DvdRam, 0x0012, "dvd-ram", "DVD-RAM", false, Recording::Random, true, false, true,
     false, false, kDvdRamCapacity, 0, 0, kEccBlock, std::nullopt, std::nullopt},
    {MediaKind::DvdRom, 0x0010, "dvd-rom", "DVD-ROM", false, Recording::ReadOnly, false, false,
     false, false, false, 0, 0, 0, 1, std::nullopt, std::nullopt},
}};

constexpr int32_t kFramesPerSecond = 75;
constexpr int32_t kFramesPerMinute = 60 * kFramesPerSecond;
constexpr int32_t kPregapFrames = 150;                 // LBA 0 = 00:02:00
constexpr int32_t kLeadInFirstMinute = 90;             // MSF from 90:00:00 are negative LBAs
constexpr int32_t kFramesPerDisc = 100 * kFramesPerMinute;

}  // namespace

int32_t msfToLba(Msf msf) {
    const int32_t frames = msf.minute * kFramesPerMinute + msf.second * kFramesPerSecond + msf.frame;
    if (msf.minute >= kLeadInFirstMinute) return frames - kFramesPerDisc - kPregapFrames;
    return frames - kPregapFrames;
}

Msf lbaToMsf(int32_t lba) {
    int32_t frames = lba + kPregapFrames;
    if (frames < 0) frames += kFramesPerDisc;
    return Msf{static_cast<uint8_t>(frames / kFramesPerMinute),
               static_cast<uint8_t>(frames / kFramesPerSecond % 60),
               static_cast<uint8_t>(frames % kFramesPerSecond)};
}

const MediaFigures& mediaFigures(MediaKind kind) {
    for (const MediaFigures& figures : kMedia)
        if (figures.kind == kind) return figures;
    return kMedia.front();
}

std::span<const MediaFigures> allMedia() { return kMedia; }

std::optional<MediaKind> mediaKindFromName(std::string_view name) {
    for (const MediaFigures& figures : kMedia)
        if (figures.name == name) return figures.kind;
    return std::nullopt;
}

}  // namespace tavrin::vrecorder
