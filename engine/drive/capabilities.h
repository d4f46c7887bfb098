// What the selected recorder can read and write and how fast: the CD/DVD
// capabilities page (2Ah), two GET CONFIGURATION features and a vendor page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/device/scsi_device.h"

namespace tavrin::drive {

enum CapabilityFlag : uint32_t {
    ReadCDR = 0x00001,
    ReadCDRW = 0x00002,
    ReadMethod2 = 0x00004,
    ReadDVD = 0x00008,
    ReadDVDR = 0x00010,
    ReadDVDRW = 0x00020,
    ReadDVDRAM = 0x00040,
    ReadDVDPR = 0x00080,
    ReadDVDPRW = 0x00100,
    WriteCDR = 0x00200,
    WriteCDRW = 0x00400,
    WriteTest = 0x00800,
    WriteDVDR = 0x01000,
    WriteDVDRW = 0x02000,
    WriteDVDRAM = 0x04000,
    WriteDVDPR = 0x08000,
    WriteDVDPRW = 0x10000,
    UnderrunProtection = 0x40000,
};

struct CapabilityName {
    uint32_t flag;
    const char* name;
};
// Every flag with its name, in bit order.
std::span<const CapabilityName> CapabilityNames();

// The device's copy of the capabilities page (first 22 bytes of page 2Ah).
// After a successful ReadCapabilities its 16-bit fields are in host order.
namespace capability_page {
inline constexpr uint8_t kPageCode = 0x2A;
inline constexpr std::size_t kReadAbilities = 2;
inline constexpr std::size_t kWriteAbilities = 3;
inline constexpr std::size_t kUnderrunAbility = 4;      // bit 7
inline constexpr std::size_t kMaxReadSpeed = 8;         // KB/s
inline constexpr std::size_t kBufferSize = 12;          // KB
inline constexpr std::size_t kCurrentReadSpeed = 14;    // KB/s
inline constexpr std::size_t kMaxWriteSpeed = 18;       // KB/s
inline constexpr std::size_t kCurrentWriteSpeed = 20;   // KB/s
inline constexpr uint8_t kDVDRAMWriteBit = 0x20;        // in the write abilities
}  // namespace capability_page

// A 16-bit field of the page copy, in host order (as ReadCapabilities leaves it).
uint16_t PageField16(const TSCSIDevice& device, std::size_t offset);

// Single CD speeds for a rate in KB/s: rate / 176.46 rounded to the nearest,
// halves to the even neighbour.
uint16_t SpeedFactor(uint32_t kbps);

// Re-reads the flags, the page copy and the maximum speeds; true when the
// current-values page could be read.
bool ReadCapabilities(TSCSIDevice& device);
// Whether the drive answers the vendor page 30h (underrun protection).
bool HasVendorPage30(TSCSIDevice& device);
// Speed factors from a fresh ReadCapabilities; 0 when it fails.
uint16_t ReadMaxWriteSpeed(TSCSIDevice& device);
uint16_t ReadMaxReadSpeed(TSCSIDevice& device);
uint16_t ReadCurrentWriteSpeed(TSCSIDevice& device);
// The WriteSpeed setter: asks the drive for the speed (0: its maximum) and keeps
// the value whether or not the drive took it.
void SetWriteSpeed(TSCSIDevice& device, uint16_t factor);

}  // namespace tavrin::drive
