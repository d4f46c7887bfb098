#include <fmt/format.h>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "engine/drive/media_info.h"
#include "engine/sessions/session_list.h"

namespace tavrin::cli {
namespace {

// Over the columns of the session list lines: number, start, size in megabytes.
constexpr const char* kSessionListHeader = "track      start             size";

const char* MediaName(uint8_t code) {
    return code < drive::MediaTypeNames.size() ? drive::MediaTypeNames[code] : "UNKNOWN";
}

// What the session information shows: the medium, its sizes and the track lines.
void PrintSessionList(const sessions::SessionList& list) {
    if (list.medium.empty()) {
        fmt::print("medium: no disc\n");
    } else {
        fmt::print("medium: {}\n", list.medium);
        fmt::print("capacity: {}\n", list.totalSpace);
        fmt::print("used: {}\n", list.usedSpace);
        fmt::print("free: {}\n", list.freeSpace);
    }
    fmt::print("{}\n", kSessionListHeader);
    for (const std::string& line : list.lines) fmt::print("{}\n", line);
}

// The disc summary field by field, for scripts.
void PrintDisc(const drive::TDisc& disc) {
    fmt::print("disc present: {}\n", disc.DiscPresent);
    fmt::print("capacity blocks: {}\n", disc.Capacity);
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
    TvxCDBurner& burner = session.burner();
    PrintSessionList(sessions::ReadSessionList(burner, {.underrunProtection = burner.UnderrunProtection}));
    const uint8_t code = drive::MediaTypeCode(burner);
    fmt::print("media type: {} {}\n", unsigned{code}, MediaName(code));
    PrintDisc(drive::GetDiscInfo(burner));
}

}  // namespace tavrin::cli
