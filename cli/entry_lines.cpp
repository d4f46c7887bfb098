#include "cli/entry_lines.h"

#include <fmt/format.h>

#include "cli/compilation_sources.h"
#include "engine/compilation/date_time.h"

namespace tavrin::cli {
namespace {

std::string DateOf(TDateTime when) {
    const auto local = compilation::LocalFromDateTime(when);
    if (!local) return std::string(19, '-');  // no calendar date: as wide as one
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", local->year, local->month, local->day, local->hour,
                       local->minute, local->second);
}

void PrintFolder(const TvxCDBurner& burner, PDirEntry folder, const std::string& path) {
    int kind = 0;
    PFileEntry cursor = nullptr;
    while (burner.GetNextEntry(folder, kind, cursor)) {
        const std::string name = path + Printable(cursor->LongName);
        fmt::print("{}\n", EntryLine(*cursor, name));
        if (cursor->IsSubdirectory() && cursor->Dir != nullptr) PrintFolder(burner, cursor->Dir, name + "/");
    }
}

}  // namespace

std::string Printable(const std::string& gbk) {
    std::string shown = Shown(gbk);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
}

std::string EntryLine(const TFEntry& entry, const std::string& name) {
    return fmt::format("{:>12}  {}  {}{}", entry.Size, DateOf(entry.DateTime), name,
                       entry.IsSubdirectory() ? "/" : "");
}

void PrintLayout(const TvxCDBurner& burner) {
    PrintFolder(burner, burner.Root(), "");
    const int folders = burner.DirsCount();
    fmt::print("layout: {} folders, {} files, {} bytes\n", folders, burner.FilesCount() - folders,
               burner.TotalSize());
}

}  // namespace tavrin::cli
