#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "engine/drive/media_info.h"

namespace tavrin::cli {
namespace {

const char* MediaName(uint8_t code) {
    return code < drive::MediaTypeNames.size() ? drive::MediaTypeNames[code] : "UNKNOWN";
}

void PrintDisc(const drive::TDisc& disc) {
    fmt::print("disc present: {}\n", disc.DiscPresent);
    fmt::print("capacity: {}\n", disc.Capacity);
    fmt::print("blocks: {}\n", disc.Blocks);
    fmt::print("block length: {}\n", disc.BlockLength);
    fmt::print("first session: {}\n", disc.FirstSession);
    fmt::print("last session: {}\n", disc.LastSession);
    fmt::print("last session state: {}\n", disc.LastSessionState);
    fmt::print("disc status: {}\n", disc.DiscStatus);
    fmt::print("profile: {:04X}h {}\n", disc.Profile, drive::ProfileName(disc.Profile));
    fmt::print("media name: {}\n", disc.MediaName);
    fmt::print("erasable: {}\n", disc.Erasable);
    // Session 0 is no session: a blank disc has none.
    for (unsigned s = disc.FirstSession == 0 ? 1 : disc.FirstSession; s <= disc.LastSession; ++s)
        fmt::print("session: {}\n", s);
}

}  // namespace

void RunDisc(const Options& options) {
    DeviceSession session(options);
    session.Select(options.device);
    TSCSIDevice& device = session.device();
    const uint8_t code = drive::MediaTypeCode(device);
    fmt::print("media type: {} {}\n", unsigned{code}, MediaName(code));
    PrintDisc(drive::GetDiscInfo(device));
}

}  // namespace tavrin::cli
