#include <array>
#include <string>

#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "engine/drive/capabilities.h"

namespace tavrin::cli {
namespace {

struct MediumFlag {
    uint32_t flag;
    const char* medium;
};

constexpr std::array<MediumFlag, 8> kReads = {{
    {drive::ReadCDR, "CD-R"},
    {drive::ReadCDRW, "CD-RW"},
    {drive::ReadDVD, "DVD"},
    {drive::ReadDVDR, "DVD-R"},
    {drive::ReadDVDRW, "DVD-RW"},
    {drive::ReadDVDRAM, "DVD-RAM"},
    {drive::ReadDVDPR, "DVD+R"},
    {drive::ReadDVDPRW, "DVD+RW"},
}};

constexpr std::array<MediumFlag, 7> kWrites = {{
    {drive::WriteCDR, "CD-R"},
    {drive::WriteCDRW, "CD-RW"},
    {drive::WriteDVDR, "DVD-R"},
    {drive::WriteDVDRW, "DVD-RW"},
    {drive::WriteDVDRAM, "DVD-RAM"},
    {drive::WriteDVDPR, "DVD+R"},
    {drive::WriteDVDPRW, "DVD+RW"},
}};

// The media whose flag is set, separated by blanks; "none" when there is none.
template <std::size_t N>
std::string MediaOf(uint32_t flags, const std::array<MediumFlag, N>& table) {
    std::string media;
    for (const MediumFlag& m : table) {
        if (!(flags & m.flag)) continue;
        if (!media.empty()) media += ' ';
        media += m.medium;
    }
    return media.empty() ? "none" : media;
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

// What the burner information shows: selecting the device has just read its
// capabilities. The maximum speeds are the device's own, which keep the larger
// first reading (a DVD-RAM writer reports single speed in its current page).
void RunInfo(const Options& options) {
    DeviceSession session(options);
    session.Select(options.device);
    const TSCSIDevice& device = session.device();
    const uint32_t flags = device.CapabilityFlags;
    fmt::print("reads: {}\n", MediaOf(flags, kReads));
    fmt::print("writes: {}\n", MediaOf(flags, kWrites));
    fmt::print("test write: {}\n", YesNo(flags & drive::WriteTest));
    fmt::print("underrun protection: {}\n", YesNo(flags & drive::UnderrunProtection));
    fmt::print("max write speed: {}x\n", device.DeviceMaxWriteSpeed);
    fmt::print("max read speed: {}x\n", device.DeviceMaxReadSpeed);
    // Every flag by its name, for scripts.
    for (const drive::CapabilityName& capability : drive::CapabilityNames()) {
        if (flags & capability.flag) fmt::print("capability: {}\n", capability.name);
    }
}

}  // namespace tavrin::cli
