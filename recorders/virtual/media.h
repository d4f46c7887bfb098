// The kinds of disc the virtual recorder can hold, with their MMC profiles,
// capacities and recording rules. Every figure the model uses lives in the table
// in media.cpp; this comment is its summary.
//
//  kind             name       profile  user blocks  recording          erasable  session gap
//                                                                                  first / later
//  CD-R             cd-r       0009h      359,849    sequential (TAO)   no        11,400 / 6,900
//  CD-RW            cd-rw      000Ah      359,849    sequential (TAO)   yes       11,400 / 6,900
//  CD-ROM (pressed) cd-rom     0008h    image size   read-only          no        -
//  DVD-R            dvd-r      0011h    2,298,496    sequential         no        16,384 / 3,072
//  DVD-RW seq.      dvd-rw     0014h    2,298,496    sequential         yes       16,384 / 3,072
//  DVD-RW r. ovw.   dvd-rw-ro  0013h    2,298,496    random, formatted  yes       -
//  DVD+R            dvd+r      001Bh    2,295,104    sequential         no         2,048 / 2,048
//  DVD+RW           dvd+rw     001Ah    2,295,104    random after 26h   yes       -
//  DVD-RAM          dvd-ram    0012h    2,236,704    random, formatted  yes       -
//  DVD-ROM (pressed) dvd-rom   0010h    image size   read-only          no        -
//
// CD (80 minutes): the user area runs from LBA 0 (00:02:00) to the lead-out start
// 79:59:74 = LBA 359,849. ATIP lead-in start: 97:26:66 on CD-R, 97:15:00 on CD-RW.
// CD session gap: 6,750 (first lead-out) or 2,250 (later lead-outs) + 4,500 lead-in
// + 150 pre-gap blocks between a session's end and the next session's first
// writable address.
// DVD session gaps are the model's figures for border-out + border-in (DVD-R/-RW
// incremental) and session closure + intro (DVD+R); DVD tracks are padded to whole
// 16-block ECC blocks when closed or reserved.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tavrin::vrecorder {

inline constexpr uint32_t kBlockSize = 2048;  // user data bytes per block (Mode 1 / DVD)

enum class MediaKind : uint8_t {
    CdR,
    CdRw,
    CdRom,
    DvdR,
    DvdRwSequential,
    DvdRwRestricted,
    DvdPlusR,
    DvdPlusRw,
    DvdRam,
    DvdRom,
};

// How blocks get onto the disc.
enum class Recording : uint8_t {
    Sequential,  // written only at a track's next writable address
    Random,      // written anywhere inside the formatted capacity
    ReadOnly,    // pressed disc
};

// CD minute:second:frame address (75 frames a second).
struct Msf {
    uint8_t minute = 0, second = 0, frame = 0;
    friend bool operator==(const Msf&, const Msf&) = default;
};

// LBA 0 is MSF 00:02:00. Lead-in addresses (MSF 90:00:00 and above) are the
// negative LBAs, as MMC defines them.
int32_t msfToLba(Msf msf);
Msf lbaToMsf(int32_t lba);

struct MediaFigures {
    MediaKind kind;
    uint16_t profile;              // GET CONFIGURATION current profile
    std::string_view name;         // tool name: "cd-r", "dvd+rw", ...
    std::string_view displayName;  // "CD-R", "DVD+RW", ...
    bool cd;                       // CD family (ATIP, MSF, TOC with lead-out MSF)
    Recording recording;
    bool erasable;                 // Erasable bit of READ DISC INFORMATION
    bool blankable;                // BLANK applies (CD-RW, DVD-RW)
    bool formattable;              // FORMAT UNIT applies
    bool reservable;               // RESERVE TRACK applies
    bool multisession;             // a closed session may leave the disc appendable
    uint32_t capacity;             // user blocks; 0 for pressed kinds (size of their image)
    uint32_t firstSessionGap;      // first session's end -> second session's first NWA
    uint32_t laterSessionGap;      // same for every later session
    uint32_t trackAlignment;       // closed/reserved track sizes round up to this
    std::optional<Msf> atipLeadIn;   // ATIP start time of lead-in (recordable CD)
    std::optional<Msf> atipLeadOut;  // ATIP last possible lead-out start (recordable CD)
};

const MediaFigures& mediaFigures(MediaKind kind);
std::span<const MediaFigures> allMedia();
// By tool name ("cd-r" ...); nullopt for an unknown name.
std::optional<MediaKind> mediaKindFromName(std::string_view name);

}  // namespace tavrin::vrecorder
