#include "engine/drive/media_info.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <span>

#include "engine/drive/answers.h"
#include "engine/drive/byte_order.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/write_parameters.h"

namespace tavrin::drive {
namespace {

constexpr int kTestUnitReadyTimeoutMs = 5000;
constexpr int kNotReadyWaitMs = 3000;
constexpr int kNotReadyPollMs = 5000;

// READ TOC/PMA/ATIP formats and the allocation lengths the engine asks for.
constexpr uint8_t kTocFormatToc = 0;
constexpr uint8_t kTocFormatSessions = 1;
constexpr uint8_t kTocFormatAtip = 4;
constexpr uint8_t kTocLength = 114;
constexpr uint8_t kSessionsLength = 4;
constexpr uint8_t kAtipLength = 26;

// Session information: first and last complete session after the length field.
constexpr std::size_t kFirstSessionAt = 2;
constexpr std::size_t kLastSessionAt = 3;

// ATIP: the descriptor follows a 4-byte header. Its byte 2 tells pressed from
// recordable (bit 7) and CD-R from CD-RW (bit 6); bytes 8-10 are the start of
// the last possible lead-out as minutes, seconds, frames.
constexpr std::size_t kAtipDiscTypeAt = 6;
constexpr uint8_t kAtipRecordable = 0x80;
constexpr uint8_t kAtipRewritable = 0x40;
constexpr std::size_t kAtipLeadOutAt = 12;

// GET CONFIGURATION: request type 2 (only the starting feature), the current
// profile in the feature header.
constexpr uint8_t kConfigurationOneFeature = 2;
constexpr uint8_t kConfigurationLength = 114;
constexpr std::size_t kConfigurationLengthFieldSize = 4;
constexpr std::size_t kCurrentProfileAt = 6;

// Disc information byte 2: Erasable, state of the last session, disc status.
constexpr std::size_t kDiscStatusAt = 2;
constexpr uint8_t kErasableBit = 0x10;

// Track information, in host order after READ TRACK INFORMATION. Answers too
// short to hold the track size are not used.
constexpr std::size_t kTrackStartAt = 8;
constexpr std::size_t kNextWritableAt = 12;
constexpr std::size_t kFreeBlocksAt = 16;
constexpr std::size_t kTrackSizeAt = 24;
constexpr std::size_t kTrackFieldsEnd = 28;
constexpr uint8_t kLeadInTrack = 0;
constexpr uint8_t kFirstTrack = 1;
constexpr uint8_t kInvisibleTrack = 255;  // the incomplete track where writing goes on
constexpr uint32_t kTrackBlockLength = 2048;

// READ FORMAT CAPACITIES: the first descriptor's block length (24 bits).
constexpr std::size_t kFormatBlockLengthAt = 9;

// A last block address beyond this is a drive's placeholder for blank or
// unformatted media, not a size.
constexpr uint32_t kLargestPlausibleLastBlock = 0x7F000000;
// An ATIP lead-out below this is no real capacity.
constexpr uint32_t kSmallestAtipCapacity = 20000;

constexpr std::size_t kLengthFieldSize = 2;

struct ProfileEntry {
    uint16_t profile;
    const char* name;
    uint8_t code;
    bool erasable;
};

constexpr ProfileEntry kProfiles[] = {
    {0x0001, "Non-removable disk", media::kUnknown, false},
    {0x0002, "Removable disk", media::kUnknown, false},
    {0x0003, "MO Eraseable", media::kUnknown, true},
    {0x0004, "MO Write Once", media::kUnknown, false},
    {0x0005, "AS-MO", media::kUnknown, false},
    {0x0008, "CD-ROM", media::kCDROM, false},
    {0x0009, "CD-R", media::kCDR, false},
    {0x000A, "CD-RW", media::kCDRW, true},
    {0x0010, "DVD-ROM", media::kDVDROM, false},
    {0x0011, "DVD-R", media::kDVDR, false},
    {0x0012, "DVD-RAM", media::kDVDRAM, false},
    {0x0013, "DVD-RW Restricted Overwrite", media::kDVDRW, true},
    {0x0014, "DVD-RW Sequential Recording", media::kDVDRW, true},
    {0x001A, "DVD+RW", media::kDVDPlusRW, true},
    {0x001B, "DVD+R", media::kDVDPlusR, false},
    {0x0020, "DDCD-ROM", media::kDDCDROM, false},
    {0x0021, "DDCD-R", media::kDDCDR, false},
    {0x0022, "DDCD-RW", media::kDDCDRW, true},
};

const ProfileEntry* FindProfile(uint16_t profile) {
    const auto it = std::find_if(std::begin(kProfiles), std::end(kProfiles),
                                 [profile](const ProfileEntry& e) { return e.profile == profile; });
    return it == std::end(kProfiles) ? nullptr : &*it;
}

// What both the buffer and an answer's own 16-bit length field cover.
std::size_t AnswerExtent(std::span<const uint8_t> answer) {
    if (answer.size() < kLengthFieldSize) return 0;
    return std::min<std::size_t>(answer.size(), kLengthFieldSize + ReadBE16(answer, 0));
}

// The same for an answer whose length field is already in host order.
std::size_t HostOrderExtent(std::span<const uint8_t> answer) {
    if (answer.size() < kLengthFieldSize) return 0;
    uint16_t length = 0;
    std::memcpy(&length, answer.data(), sizeof length);
    return std::min<std::size_t>(answer.size(), kLengthFieldSize + length);
}

uint32_t HostField32(std::span<const uint8_t> bytes, std::size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::optional<uint16_t> ReadCurrentProfile(TSCSIDevice& device) {
    std::array<uint8_t, kConfigurationLength> answer{};
    if (!GetConfiguration(device, kConfigurationOneFeature, 0, kConfigurationLength, answer)) return std::nullopt;
    const uint64_t extent = std::min<uint64_t>(answer.size(), kConfigurationLengthFieldSize + ReadBE32(answer, 0));
    if (extent < kCurrentProfileAt + 2) return std::nullopt;
    return ReadBE16(answer, kCurrentProfileAt);
}

struct Sessions {
    uint8_t first = 0;
    uint8_t last = 0;
};

std::optional<Sessions> ReadSessions(TSCSIDevice& device) {
    std::array<uint8_t, kSessionsLength> answer{};
    if (!ReadTOC(device, kTocFormatSessions, answer, kSessionsLength, 0, false, 0)) return std::nullopt;
    if (AnswerExtent(answer) <= kLastSessionAt) return std::nullopt;
    return Sessions{answer[kFirstSessionAt], answer[kLastSessionAt]};
}

bool ReadToc(TSCSIDevice& device) {
    std::array<uint8_t, kTocLength> answer{};
    return ReadTOC(device, kTocFormatToc, answer, kTocLength, 0, false, 0);
}

struct Atip {
    std::optional<uint8_t> discType;
    std::optional<uint32_t> leadOutFrames;  // start of the last possible lead-out
};

std::optional<Atip> ReadAtip(TSCSIDevice& device) {
    std::array<uint8_t, kAtipLength> answer{};
    if (!ReadTOC(device, kTocFormatAtip, answer, kAtipLength, 0, true, 0)) return std::nullopt;
    const std::size_t extent = AnswerExtent(answer);
    Atip atip;
    if (extent > kAtipDiscTypeAt) atip.discType = answer[kAtipDiscTypeAt];
    if (extent >= kAtipLeadOutAt + 3)
        atip.leadOutFrames =
            MSFToFrames(0, answer[kAtipLeadOutAt], answer[kAtipLeadOutAt + 1], answer[kAtipLeadOutAt + 2]);
    return atip;
}

std::optional<uint32_t> ReadAtipCapacity(TSCSIDevice& device) {
    const auto atip = ReadAtip(device);
    return atip ? atip->leadOutFrames : std::nullopt;
}

// Disc information byte 2.
std::optional<uint8_t> ReadDiscStatus(TSCSIDevice& device) {
    if (!ReadDiscInfo(device)) return std::nullopt;
    const auto& info = Buffers().discInformation;
    if (HostOrderExtent(info) <= kDiscStatusAt) return std::nullopt;
    return info[kDiscStatusAt];
}

struct TrackFields {
    uint32_t start = 0;
    uint32_t nextWritable = 0;
    uint32_t freeBlocks = 0;
    uint32_t size = 0;
};

std::optional<TrackFields> ReadTrack(TSCSIDevice& device, uint8_t track) {
    if (!ReadTrackInformation(device, track)) return std::nullopt;
    const std::span<const uint8_t> info = device.TrackInformation;
    if (HostOrderExtent(info) < kTrackFieldsEnd) return std::nullopt;
    return TrackFields{HostField32(info, kTrackStartAt), HostField32(info, kNextWritableAt),
                       HostField32(info, kFreeBlocksAt), HostField32(info, kTrackSizeAt)};
}

// The track after the last complete session: where a new session goes.
uint8_t NextSessionTrack(TSCSIDevice& device) {
    return static_cast<uint8_t>(std::min<int>(LastSessionNumber(device) + 1, kInvisibleTrack));
}

// CD media report the writable space on the invisible track, DVD media on track 1.
uint8_t WritableTrackFor(uint8_t mediaType) { return IsCDFamily(mediaType) ? kInvisibleTrack : kFirstTrack; }

std::optional<Capacity> ReadCapacityAnswer(TSCSIDevice& device) {
    Capacity capacity;
    if (!ReadCapacity(device, capacity.lastBlock, capacity.blockLength)) return std::nullopt;
    return capacity;
}

struct FormatCapacity {
    uint32_t blocks = 0;
    uint32_t blockLength = 0;
};

std::optional<FormatCapacity> ReadFormatCapacity(TSCSIDevice& device) {
    FormatCapacity capacity;
    if (!ReadFormatCapacities(device, capacity.blocks)) return std::nullopt;
    // The wrapper has checked that the first descriptor is there.
    const auto& answer = Buffers().formatCapacity;
    capacity.blockLength = (uint32_t{answer[kFormatBlockLengthAt]} << 16) |
                           (uint32_t{answer[kFormatBlockLengthAt + 1]} << 8) | answer[kFormatBlockLengthAt + 2];
    return capacity;
}

// FinalizeDisc taken as true for one call; the property keeps its value.
class FinalizeDiscForCall {
public:
    explicit FinalizeDiscForCall(TSCSIDevice& device) : device_(device), saved_(device.FinalizeDisc) {
        device_.FinalizeDisc = true;
    }
    ~FinalizeDiscForCall() { device_.FinalizeDisc = saved_; }
    FinalizeDiscForCall(const FinalizeDiscForCall&) = delete;
    FinalizeDiscForCall& operator=(const FinalizeDiscForCall&) = delete;

private:
    TSCSIDevice& device_;
    const bool saved_;
};

uint8_t CodeFromAtip(uint8_t discType) {
    if (!(discType & kAtipRecordable)) return media::kCDROM;
    return (discType & kAtipRewritable) ? media::kCDRW : media::kCDR;
}

std::atomic<uint8_t>& ProcessMediaType() {
    static std::atomic<uint8_t> code{media::kUnknown};
    return code;
}

bool DriveReady(TSCSIDevice& device) { return TestUnitReady(device, kTestUnitReadyTimeoutMs); }

void ReadTocFacts(TSCSIDevice& device, TDisc& disc) {
    if (!ReadToc(device)) return;
    if (const auto sessions = ReadSessions(device)) {
        disc.FirstSession = sessions->first;
        disc.LastSession = sessions->last;
    }
    disc.Capacity = ReadAtipCapacity(device).value_or(0);
    disc.MediaName = "CD-ROM";
}

void ReadProfileFacts(TSCSIDevice& device, TDisc& disc) {
    const auto profile = ReadCurrentProfile(device);
    if (!profile) return;
    const ProfileEntry* entry = FindProfile(*profile);
    disc.MediaName = ProfileName(*profile);
    disc.Erasable = entry != nullptr && entry->erasable;
    disc.Profile = *profile;
}

void ReadWritableSpace(TSCSIDevice& device, TDisc& disc) {
    if (const auto track = ReadTrack(device, WritableTrackFor(MediaTypeCode(device)))) {
        disc.Blocks = track->nextWritable;
        disc.Capacity = track->nextWritable + track->freeBlocks;
        disc.BlockLength = kTrackBlockLength;
        return;
    }
    if (const auto formatted = ReadFormatCapacity(device)) {
        disc.Blocks = formatted->blocks;
        disc.BlockLength = formatted->blockLength;
        disc.Capacity = std::max(disc.Capacity, disc.Blocks);
    }
}

void ReadDiscStatusFacts(TSCSIDevice& device, TDisc& disc) {
    if (const auto status = ReadDiscStatus(device)) {
        disc.DiscStatus = *status & 0x03;
        disc.LastSessionState = (*status >> 2) & 0x03;
        disc.Erasable = (*status & kErasableBit) ? 1 : 0;
        return;
    }
    // Read-only drives and pressed discs: the size is the last recorded block.
    if (const auto capacity = ReadCapacityAnswer(device)) {
        disc.Blocks = capacity->lastBlock;
        disc.BlockLength = capacity->blockLength;
    }
    if (ReadTrack(device, kLeadInTrack)) disc.MediaName = "CD-ROM";
}

}  // namespace

const std::array<const char*, media::kCount> MediaTypeNames = {
    "UNKNOWN", "CD-ROM", "CD-R",   "CD-RW", "DVD-ROM",  "DVD-R",  "DVD-RAM",
    "DVD-RW",  "DVD-RW", "DVD+RW", "DVD+R", "DDCD-ROM", "DDCD-R", "DDCD-RW",
};

uint8_t CurrentMediaType() { return ProcessMediaType().load(); }
void SetCurrentMediaType(uint8_t code) { ProcessMediaType().store(code); }

const char* ProfileName(uint16_t profile) {
    const ProfileEntry* entry = FindProfile(profile);
    return entry != nullptr ? entry->name : "???????";
}

uint8_t MediaTypeCode(TSCSIDevice& device) {
    if (const auto profile = ReadCurrentProfile(device)) {
        const ProfileEntry* entry = FindProfile(*profile);
        if (entry != nullptr && entry->code != media::kUnknown) return entry->code;
    }
    // Drives without profiles: a CD's ATIP, then its disc information.
    if (const auto atip = ReadAtip(device); atip && atip->discType) return CodeFromAtip(*atip->discType);
    if (const auto status = ReadDiscStatus(device)) return (*status & kErasableBit) ? media::kCDRW : media::kCDR;
    return DriveReady(device) ? media::kCDROM : media::kUnknown;
}

bool IsErasable(TSCSIDevice& device) {
    if (const auto status = ReadDiscStatus(device)) return (*status & kErasableBit) != 0;
    const uint8_t code = MediaTypeCode(device);
    SetCurrentMediaType(code);
    return code == media::kDVDRAM || code == media::kDVDRW || code == media::kDVDRWAlternate ||
           code == media::kDVDPlusRW;
}

uint8_t LastSessionNumber(TSCSIDevice& device) {
    const auto sessions = ReadSessions(device);
    return sessions ? sessions->last : 0;
}

uint32_t UsedBlocks(TSCSIDevice& device) {
    const uint8_t track = NextSessionTrack(device);
    if (const auto info = ReadTrack(device, track)) {
        // A next writable address of 0 on a later track is no answer; on track 1
        // it is the blank disc.
        if (track == kFirstTrack || info->nextWritable != 0) return info->nextWritable;
    }
    if (const auto capacity = ReadCapacityAnswer(device)) {
        if (capacity->lastBlock <= kLargestPlausibleLastBlock) return capacity->lastBlock;
        const auto formatted = ReadFormatCapacity(device);
        return formatted ? formatted->blocks : 0;
    }
    const auto info = ReadTrack(device, track);
    return info ? info->freeBlocks : 0;
}

uint32_t FreeBlocks(TSCSIDevice& device, bool underrunProtection) {
    const uint8_t code = MediaTypeCode(device);
    {
        const FinalizeDiscForCall finalize(device);
        WriteParameters(device, false, underrunProtection, code);
    }
    auto info = ReadTrack(device, WritableTrackFor(code));
    if (!info) info = ReadTrack(device, NextSessionTrack(device));
    return info ? std::max(info->freeBlocks, info->size) : 0;
}

uint32_t DiscCapacityBlocks(TSCSIDevice& device) {
    if (const auto atip = ReadAtipCapacity(device)) {
        uint32_t frames = *atip;
        // A lead-out this early is no real capacity; a larger last block is.
        if (frames < kSmallestAtipCapacity) {
            const auto capacity = ReadCapacityAnswer(device);
            if (capacity && capacity->lastBlock > frames) frames = capacity->lastBlock;
        }
        return frames;
    }
    if (const auto info = ReadTrack(device, NextSessionTrack(device))) return info->start + info->freeBlocks;
    if (const auto formatted = ReadFormatCapacity(device)) return formatted->blocks;
    return UsedBlocks(device);
}

TDisc GetDiscInfo(TSCSIDevice& device, const SleepFn& sleep) {
    TDisc disc;
    if (!DriveReady(device)) {
        WaitUntilReady(device, kNotReadyWaitMs, kNotReadyPollMs, sleep);
        if (!DriveReady(device)) return disc;
    }
    disc.DiscPresent = 1;
    ReadTocFacts(device, disc);
    ReadProfileFacts(device, disc);
    ReadWritableSpace(device, disc);
    ReadDiscStatusFacts(device, disc);
    disc.Capacity = std::max(disc.Capacity, disc.Blocks);
    return disc;
}

uint32_t MSFToFrames(uint8_t h, uint8_t m, uint8_t s, uint8_t f) { return HmsfToBlocks(h, m, s, f); }

std::string Pad(int width, const std::string& fill, int64_t value) {
    const std::string digits = std::to_string(value);
    const auto length = static_cast<int64_t>(digits.size());
    std::string text;
    for (int64_t i = length; i < width; ++i) text += fill;
    return text + digits;
}

}  // namespace tavrin::drive
