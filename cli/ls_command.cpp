// ls: the entries of a folder (or the one file) of a session of the disc, read
// back into an empty compilation: size, local date and name, "/" after a folder.
#include <fmt/format.h>

#include <string>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/device_session.h"
#include "cli/disc_tree.h"
#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"

namespace tavrin::cli {
namespace {

std::string DateOf(TDateTime when) {
    const auto local = compilation::LocalFromDateTime(when);
    if (!local) return std::string(19, '-');  // no calendar date: as wide as one
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", local->year, local->month, local->day, local->hour,
                       local->minute, local->second);
}

// A disc name on the terminal: its control bytes would be taken as terminal
// commands, so each is shown as "?".
std::string Printable(const std::string& gbk) {
    std::string shown = Shown(gbk);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
}

void PrintEntry(const TFEntry& entry) {
    fmt::print("{:>12}  {}  {}{}\n", entry.Size, DateOf(entry.DateTime), Printable(entry.LongName),
               entry.IsSubdirectory() ? "/" : "");
}

}  // namespace

void RunLs(const Options& options) {
    DeviceSession session(options);
    session.Select(options.device);
    TvxCDBurner& burner = session.burner();
    ImportForBrowsing(burner, options);

    const auto item = FindOnDisc(burner, options.ls.path);
    if (!item) throw CommandFailure(fmt::format("not on the disc: {}", options.ls.path));
    if (item->folder == nullptr) {
        PrintEntry(*item->entry);
        return;
    }
    int kind = 0;
    PFileEntry cursor = nullptr;
    while (burner.GetNextEntry(item->folder, kind, cursor)) PrintEntry(*cursor);
}

}  // namespace tavrin::cli
