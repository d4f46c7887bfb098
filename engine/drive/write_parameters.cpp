#include "engine/drive/write_parameters.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "engine/drive/answers.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"

namespace tavrin::drive {
namespace {

// Write Parameters page bytes.
constexpr std::size_t kPageLengthAt = 1;
constexpr std::size_t kWriteTypeAt = 2;   // BUFE, LS_V, Test Write, Write Type
constexpr std::size_t kTrackModeAt = 3;   // Multi-session, FP, Copy, Track Mode
constexpr std::size_t kDataBlockAt = 4;
constexpr std::size_t kLinkSizeAt = 5;
constexpr std::size_t kProbeClearedAt = 8;  // session format, and the reserved byte after it
constexpr std::size_t kPacketSizeEnd = 14;  // bytes 6 to 13 are cleared
constexpr std::size_t kAudioPauseAt = 14;   // 16-bit, big-endian
constexpr std::size_t kSetPageMinimum = 14;

constexpr uint8_t kPageLength = 0x32;
constexpr uint8_t kBufferUnderrunFree = 0x40;
constexpr uint8_t kLinkSizeValid = 0x20;
constexpr uint8_t kTestWriteBit = 0x10;
constexpr uint8_t kMultiSessionNext = 0xC0;
constexpr uint8_t kTrackAtOnce = 0x01;
constexpr uint8_t kSessionAtOnce = 0x02;
constexpr uint8_t kRaw = 0x03;
constexpr uint8_t kTrackModeData = 0x04;
constexpr uint8_t kTrackModeDVDR = 0x05;
constexpr uint8_t kMode1Blocks = 0x08;      // 2,048-byte Mode 1 user data
constexpr uint8_t kRawBlocks = 0x01;        // raw blocks for the raw probe
constexpr uint8_t kDVDPlusRLinkSize = 0x10;
constexpr uint16_t kAudioPause = 150;

// MODE SENSE answers and MODE SELECT parameter lists.
constexpr uint16_t kModeAnswerLength = 512;
constexpr std::size_t kModeHeaderLength = 8;  // no block descriptors
constexpr std::size_t kSentPageLength = 52;
constexpr uint8_t kWriteParametersListLength = kModeHeaderLength + kSentPageLength;
constexpr std::size_t kDefaultPageOffset = 8;
constexpr std::size_t kLongHeaderOffset = 16;
// The probes send back (61 - offset) page bytes: 53 after a bare header, 45
// after one with a block descriptor.
constexpr std::size_t kProbeCopyEnd = 61;
constexpr std::size_t kProbeLengthExtra = 10;  // the header and the page's code and length bytes
constexpr std::size_t kLargestListLength = 0xFF;  // one CDB byte

using ModeAnswer = std::array<uint8_t, kModeAnswerLength>;

bool ReadWriteParametersAnswer(TSCSIDevice& device, ModeAnswer& answer) {
    return ModeSense10(device, kWriteParametersPageCode, answer, false, kModeAnswerLength);
}

// Copies the page at `offset` of the answer into the device's working copy.
void TakePage(TSCSIDevice& device, const ModeAnswer& answer, std::size_t offset) {
    auto& page = device.WriteParamsPage;
    page.fill(0);
    const std::size_t available = answer.size() - std::min(offset, answer.size());
    std::copy_n(answer.begin() + static_cast<std::ptrdiff_t>(offset), std::min(available, page.size()), page.begin());
}

// Header of zeros, then `pageBytes` bytes of the working copy.
ModeAnswer ParameterList(const TSCSIDevice& device, std::size_t pageBytes) {
    ModeAnswer list{};
    const std::size_t count = std::min(pageBytes, device.WriteParamsPage.size());
    std::copy_n(device.WriteParamsPage.begin(), count, list.begin() + kModeHeaderLength);
    return list;
}

void SetMultiSession(std::span<uint8_t> page, bool nextSessionAllowed) {
    page[kTrackModeAt] = static_cast<uint8_t>((page[kTrackModeAt] & ~kMultiSessionNext) |
                                              (nextSessionAllowed ? kMultiSessionNext : 0));
}

void ProbeWriteType(TSCSIDevice& device, uint8_t writeType) {
    ModeAnswer answer{};
    if (!ReadWriteParametersAnswer(device, answer)) return;
    const std::size_t offset = answer[kLongHeaderOffset] == kWriteParametersPageCode ? kLongHeaderOffset
                                                                                      : kDefaultPageOffset;
    TakePage(device, answer, offset);
    auto& page = device.WriteParamsPage;
    page[kDataBlockAt] = writeType == kRaw ? kRawBlocks : 0;
    page[kWriteTypeAt] = writeType;
    page[kTrackModeAt] = 0;
    page[kProbeClearedAt] = 0;
    page[kProbeClearedAt + 1] = 0;
    page[kAudioPauseAt] = static_cast<uint8_t>(kAudioPause >> 8);
    page[kAudioPauseAt + 1] = static_cast<uint8_t>(kAudioPause & 0xFF);
    // The list length follows the drive's own page length; one the CDB cannot
    // express is not a page this drive can be given back.
    const std::size_t listLength = page[kPageLengthAt] + kProbeLengthExtra;
    if (listLength > kLargestListLength) return;
    const ModeAnswer list = ParameterList(device, kProbeCopyEnd - offset);
    ModeSelect10(device, list, static_cast<uint8_t>(listLength));
}

}  // namespace

WriteParametersChoice MakeWriteParametersChoice(const TSCSIDevice& device, bool testWrite, bool underrunProtection,
                                                uint8_t mediaType) {
    WriteParametersChoice choice;
    choice.testWrite = testWrite;
    choice.underrunProtection = underrunProtection;
    choice.mediaType = mediaType;
    choice.finalizeDisc = device.FinalizeDisc;
    choice.canTestWrite = (device.CapabilityFlags & WriteTest) != 0;
    choice.canProtectUnderrun = (device.CapabilityFlags & UnderrunProtection) != 0;
    choice.quirkLinkSize = device.QuirkLinkSize;
    choice.quirkDVR10x = device.QuirkDVR10x;
    return choice;
}

// The order matters: the DVD-R family and the DVR-10x drives replace what the
// general rules set, and the test write bit goes on top of either.
void SetWriteParametersPage(std::span<uint8_t> page, const WriteParametersChoice& c) {
    if (page.size() < kSetPageMinimum) return;
    const bool dvdPlusR = c.mediaType == media::kDVDPlusR;
    page[kPageLengthAt] = kPageLength;
    page[kWriteTypeAt] = dvdPlusR ? static_cast<uint8_t>(kLinkSizeValid | kSessionAtOnce) : kTrackAtOnce;
    page[kTrackModeAt] = kTrackModeData;
    if (c.quirkLinkSize) page[kWriteTypeAt] |= kLinkSizeValid;
    SetMultiSession(page, !c.testWrite && !c.finalizeDisc);
    if (c.canProtectUnderrun && c.underrunProtection) page[kWriteTypeAt] |= kBufferUnderrunFree;
    if (IsDVDRFamily(c.mediaType)) {
        page[kTrackModeAt] = kTrackModeDVDR;
        page[kWriteTypeAt] = c.underrunProtection ? static_cast<uint8_t>(kBufferUnderrunFree | kSessionAtOnce)
                                                  : kSessionAtOnce;
    } else if (c.quirkDVR10x) {
        page[kWriteTypeAt] = static_cast<uint8_t>(kBufferUnderrunFree | kTrackAtOnce);
        SetMultiSession(page, !c.finalizeDisc);
    }
    if (c.testWrite && c.canTestWrite) page[kWriteTypeAt] |= kTestWriteBit;
    page[kDataBlockAt] = kMode1Blocks;
    page[kLinkSizeAt] = dvdPlusR ? kDVDPlusRLinkSize : 0;
    std::fill(page.begin() + kLinkSizeAt + 1, page.begin() + kPacketSizeEnd, uint8_t{0});
}

bool WriteParameters(TSCSIDevice& device, bool testWrite, bool underrunProtection, uint8_t mediaType) {
    if (mediaType == media::kDVDRAM) return true;
    ModeAnswer answer{};
    // Without the drive's page there is nothing sound to send back.
    if (!ReadWriteParametersAnswer(device, answer)) return false;
    TakePage(device, answer, FindPageOffset(answer, kWriteParametersPageCode, kDefaultPageOffset));
    SetWriteParametersPage(device.WriteParamsPage,
                           MakeWriteParametersChoice(device, testWrite, underrunProtection, mediaType));
    const ModeAnswer list = ParameterList(device, kSentPageLength);
    return ModeSelect10(device, list, kWriteParametersListLength);
}

void ProbeWriteTypes(TSCSIDevice& device) {
    for (const uint8_t writeType : {kRaw, kSessionAtOnce, kTrackAtOnce}) ProbeWriteType(device, writeType);
}

}  // namespace tavrin::drive
