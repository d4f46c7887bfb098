#include "engine/drive/capabilities.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "engine/drive/answers.h"
#include "engine/drive/byte_order.h"
#include "engine/drive/mmc_commands.h"

namespace tavrin::drive {
namespace {

constexpr std::array<CapabilityName, 18> kCapabilityNames = {{
    {ReadCDR, "ReadCDR"},
    {ReadCDRW, "ReadCDRW"},
    {ReadMethod2, "ReadMethod2"},
    {ReadDVD, "ReadDVD"},
    {ReadDVDR, "ReadDVDR"},
    {ReadDVDRW, "ReadDVDRW"},
    {ReadDVDRAM, "ReadDVDRAM"},
    {ReadDVDPR, "ReadDVDPR"},
    {ReadDVDPRW, "ReadDVDPRW"},
    {WriteCDR, "WriteCDR"},
    {WriteCDRW, "WriteCDRW"},
    {WriteTest, "WriteTest"},
    {WriteDVDR, "WriteDVDR"},
    {WriteDVDRW, "WriteDVDRW"},
    {WriteDVDRAM, "WriteDVDRAM"},
    {WriteDVDPR, "WriteDVDPR"},
    {WriteDVDPRW, "WriteDVDPRW"},
    {UnderrunProtection, "UnderrunProtection"},
}};

// Page bits of the read and write abilities and the flags they give.
struct PageBit {
    std::size_t byte;
    uint8_t mask;
    uint32_t flags;
};
constexpr std::array<PageBit, 12> kPageBits = {{
    {capability_page::kReadAbilities, 0x01, ReadCDR},
    {capability_page::kReadAbilities, 0x02, ReadCDRW},
    {capability_page::kReadAbilities, 0x04, ReadMethod2},
    {capability_page::kReadAbilities, 0x08, ReadDVD},
    {capability_page::kReadAbilities, 0x10, ReadDVDR | ReadDVDRW},
    {capability_page::kReadAbilities, 0x20, ReadDVDRAM},
    {capability_page::kWriteAbilities, 0x01, WriteCDR},
    {capability_page::kWriteAbilities, 0x02, WriteCDRW},
    {capability_page::kWriteAbilities, 0x04, WriteTest},
    {capability_page::kWriteAbilities, 0x10, WriteDVDR | WriteDVDRW},
    {capability_page::kWriteAbilities, capability_page::kDVDRAMWriteBit, WriteDVDRAM},
    {capability_page::kUnderrunAbility, 0x80, UnderrunProtection},
}};

// Speeds are KB/s over 176.46 KB/s per single speed; in hundredths to stay exact.
constexpr uint64_t kSingleSpeedHundredths = 17646;
constexpr uint16_t kDVDRAMSpeed = 177;  // what DVD-RAM writers are taken to report

// The capabilities page is read into a 255-byte buffer, 128 bytes requested.
constexpr std::size_t kCapabilityBufferSize = 255;
constexpr uint16_t kCapabilityAnswerLength = 128;
constexpr std::size_t kFirstFallbackOffset = 8;
constexpr std::size_t kNoReadingOffset = 15;
constexpr uint8_t kVendorPage = 0x30;

// GET CONFIGURATION of one feature: the descriptor follows the 8-byte header.
constexpr uint8_t kOneFeature = 2;
constexpr uint8_t kConfigurationLength = 114;
constexpr std::size_t kFeatureCodeAt = 8;
constexpr std::size_t kFeatureByteAt = 12;
constexpr uint8_t kFeatureWrites = 0x01;
constexpr uint16_t kDVDPlusRFeature = 0x002A;
constexpr uint16_t kDVDRFeature = 0x002F;

using CapabilityBuffer = std::array<uint8_t, kCapabilityBufferSize>;

// Reads page 2Ah, moves it to the start of the buffer and copies its first
// bytes into the device's page copy; returns the offset it was taken from.
std::optional<std::size_t> ReadCapabilityPage(TSCSIDevice& device, CapabilityBuffer& buffer, bool defaultValues,
                               std::size_t fallback) {
    buffer.fill(0);
    if (!ModeSense10(device, capability_page::kPageCode, buffer, defaultValues, kCapabilityAnswerLength)) return std::nullopt;
    const std::size_t offset = FindPageOffset(buffer, capability_page::kPageCode, fallback);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(offset), buffer.end(), buffer.begin());
    std::copy_n(buffer.begin(), device.CapabilityPage.size(), device.CapabilityPage.begin());
    return offset;
}

uint32_t PageFlags(const TSCSIDevice& device) {
    uint32_t flags = 0;
    for (const PageBit& bit : kPageBits) {
        if (device.CapabilityPage[bit.byte] & bit.mask) flags |= bit.flags;
    }
    return flags;
}

bool WritesDVDRAM(const TSCSIDevice& device) {
    return (device.CapabilityPage[capability_page::kWriteAbilities] & capability_page::kDVDRAMWriteBit) != 0;
}

// From the first (big-endian) reading; a DVD-RAM writer without a speed is single speed.
uint16_t FirstReadingSpeed(const TSCSIDevice& device, std::size_t offset) {
    const uint16_t kbps = ReadBE16(device.CapabilityPage, offset);
    if (kbps != 0) return SpeedFactor(kbps);
    return WritesDVDRAM(device) ? 1 : 0;
}

// The feature's read flags when the drive has it, and its write flags when the
// drive also writes it.
uint32_t FeatureFlags(TSCSIDevice& device, uint16_t feature, uint32_t readFlags, uint32_t writeFlags) {
    std::array<uint8_t, kConfigurationLength> answer{};
    if (!GetConfiguration(device, kOneFeature, feature, kConfigurationLength, answer)) return 0;
    if (ReadBE16(answer, kFeatureCodeAt) != feature) return 0;
    return answer[kFeatureByteAt] == kFeatureWrites ? readFlags | writeFlags : readFlags;
}

void SetPageField16(TSCSIDevice& device, std::size_t offset, uint16_t value) {
    std::memcpy(device.CapabilityPage.data() + offset, &value, sizeof value);
}

void PageFieldToHost(TSCSIDevice& device, std::size_t offset) {
    SetPageField16(device, offset, ReadBE16(device.CapabilityPage, offset));
}

// A DVD-RAM writer that reports no write speed is taken as single speed. One that
// reports its speeds keeps them: most multi-format writers also write DVD-RAM, and
// replacing their speeds would leave them at 1x in every speed list.
void WriteSpeedToHost(TSCSIDevice& device, std::size_t offset) {
    PageFieldToHost(device, offset);
    if (WritesDVDRAM(device) && PageField16(device, offset) == 0) SetPageField16(device, offset, kDVDRAMSpeed);
}

void PageSpeedsToHostOrder(TSCSIDevice& device) {
    using namespace capability_page;
    WriteSpeedToHost(device, kCurrentWriteSpeed);
    WriteSpeedToHost(device, kMaxWriteSpeed);
    PageFieldToHost(device, kCurrentReadSpeed);
    PageFieldToHost(device, kMaxReadSpeed);
    PageFieldToHost(device, kBufferSize);
}

uint16_t SpeedAfterReading(TSCSIDevice& device, std::size_t offset) {
    return ReadCapabilities(device) ? SpeedFactor(PageField16(device, offset)) : 0;
}

}  // namespace

std::span<const CapabilityName> CapabilityNames() { return kCapabilityNames; }

uint16_t PageField16(const TSCSIDevice& device, std::size_t offset) {
    uint16_t value = 0;
    if (offset + sizeof value <= device.CapabilityPage.size())
        std::memcpy(&value, device.CapabilityPage.data() + offset, sizeof value);
    return value;
}

uint16_t SpeedFactor(uint32_t kbps) {
    const uint64_t hundredths = uint64_t{kbps} * 100;
    uint64_t factor = hundredths / kSingleSpeedHundredths;
    const uint64_t twiceRemainder = 2 * (hundredths % kSingleSpeedHundredths);
    if (twiceRemainder > kSingleSpeedHundredths || (twiceRemainder == kSingleSpeedHundredths && factor % 2 == 1))
        ++factor;
    return static_cast<uint16_t>(factor);
}

bool HasVendorPage30(TSCSIDevice& device) {
    CapabilityBuffer buffer{};
    if (!ModeSense10(device, kVendorPage, buffer, false, kCapabilityAnswerLength)) return false;
    return FindPageOffset(buffer, kVendorPage, 0) != 0;
}

bool ReadCapabilities(TSCSIDevice& device) {
    device.CapabilityFlags = 0;
    device.DeviceMaxWriteSpeed = 0;
    device.DeviceMaxReadSpeed = 0;
    device.CapabilityPage.fill(0);
    CapabilityBuffer buffer{};
    std::size_t fallback = kNoReadingOffset;
    if (const auto firstOffset = ReadCapabilityPage(device, buffer, true, kFirstFallbackOffset)) {
        fallback = *firstOffset;
        device.CapabilityFlags = PageFlags(device);
        if (HasVendorPage30(device) || device.QuirkBufferUnderrun) device.CapabilityFlags |= UnderrunProtection;
        device.DeviceMaxWriteSpeed = FirstReadingSpeed(device, capability_page::kMaxWriteSpeed);
        device.DeviceMaxReadSpeed = FirstReadingSpeed(device, capability_page::kMaxReadSpeed);
        device.CapabilityFlags |= FeatureFlags(device, kDVDPlusRFeature, ReadDVDPR | ReadDVDPRW, WriteDVDPR | WriteDVDPRW);
        device.CapabilityFlags |= FeatureFlags(device, kDVDRFeature, ReadDVDR | ReadDVDRW, WriteDVDR | WriteDVDRW);
    }
    if (!ReadCapabilityPage(device, buffer, false, fallback)) return false;
    PageSpeedsToHostOrder(device);
    device.DeviceMaxWriteSpeed =
        std::max(device.DeviceMaxWriteSpeed, SpeedFactor(PageField16(device, capability_page::kMaxWriteSpeed)));
    device.DeviceMaxReadSpeed =
        std::max(device.DeviceMaxReadSpeed, SpeedFactor(PageField16(device, capability_page::kMaxReadSpeed)));
    return true;
}

uint16_t ReadMaxWriteSpeed(TSCSIDevice& device) { return SpeedAfterReading(device, capability_page::kMaxWriteSpeed); }

uint16_t ReadMaxReadSpeed(TSCSIDevice& device) { return SpeedAfterReading(device, capability_page::kMaxReadSpeed); }

uint16_t ReadCurrentWriteSpeed(TSCSIDevice& device) {
    return SpeedAfterReading(device, capability_page::kCurrentWriteSpeed);
}

void SetWriteSpeed(TSCSIDevice& device, uint16_t factor) {
    SetCDSpeed(device, device.ReadSpeed, factor);
    device.WriteSpeed = factor;
}

}  // namespace tavrin::drive
