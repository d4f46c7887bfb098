// ls: the entries of a folder (or the one file) of a session of the disc, read
// back into an empty compilation: size, local date and name, "/" after a folder.
#include <fmt/format.h>

#include <string>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/device_session.h"
#include "cli/disc_tree.h"
#include "cli/entry_lines.h"
#include "engine/compilation/burner.h"

namespace tavrin::cli {
namespace {

void PrintEntry(const TFEntry& entry) { fmt::print("{}\n", EntryLine(entry, Printable(entry.LongName))); }

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
