// Finding the recorders behind the transport and choosing one of them: the
// device list, the drive letters, and selecting a device by its list line.
// These need the drive command set, so they live here rather than on the
// device object itself.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/device/scsi_device.h"

namespace tavrin::drive {

// The construction step of a device object: with the transport already up, the
// device list is filled at once.
void Create(TSCSIDevice& device);

// Starts the transport and fills the device list; false when no transport could
// be started (a failure while starting it counts as that).
bool InitializeDevices(TSCSIDevice& device, bool preferBuiltIn);

// Asks one host adapter; HostAdapterCount becomes its adapter count, -1 when the
// query failed.
void HostAdapterInquiry(TSCSIDevice& device, uint8_t adapter);

// Rebuilds DeviceList from every address behind every adapter. The selected
// address survives the scan.
void ScanDevices(TSCSIDevice& device);

// The drive letter of the selected address, '\0' when none is known.
char FindDriveLetter(TSCSIDevice& device);

// Selects the device a list line names, identifies it and announces it. An
// invalid line, or a device that is no CD/DVD drive, leaves nothing selected.
void SelectDevice(TSCSIDevice& device, const std::string& deviceName);
void UnselectDevice(TSCSIDevice& device);

// "adapter:target:lun,L: " followed by the vendor, product and revision bytes
// as the drive sent them; "?:" without a letter; " (not supported)" for a
// write-once device.
std::string DeviceListLine(uint8_t adapter, uint8_t target, uint8_t lun, char letter,
                           std::span<const uint8_t> inquiry);

// The address a list line names: one digit each at characters 1, 3 and 5.
std::optional<DeviceAddress> ParseDeviceLine(std::string_view line);

}  // namespace tavrin::drive
