#include "cli/disc_tree.h"

#include <fmt/format.h>

#include <cstdint>
#include <string_view>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "engine/compilation/names.h"
#include "engine/sessions/import.h"

namespace tavrin::cli {
namespace {

std::string SessionName(int session) {
    return session == kLastSession ? std::string("the last session") : fmt::format("session {}", session);
}

}  // namespace

void ImportIntoRoot(TvxCDBurner& burner, int session) {
    if (!sessions::ImportSession(burner, static_cast<int8_t>(session), burner.Root()))
        throw CommandFailure(fmt::format("{} cannot be read from the disc", SessionName(session)));
}

void ImportForBrowsing(TvxCDBurner& burner, const Options& options) {
    ShowDebugLines(burner, options.verbose);
    EmptyCompilation(burner);
    ImportIntoRoot(burner, options.session.session);
}

std::optional<DiscItem> FindOnDisc(const TvxCDBurner& burner, const std::string& path) {
    std::string gbk = GbkOf(path, "disc path");
    // "/" is no byte of a double-byte GBK character: every one is a separator.
    for (char& c : gbk) {
        if (c == '/') c = compilation::kBackslash;
    }
    std::string_view name = compilation::WithoutLeadingBackslash(compilation::WithoutTrailingBackslash(gbk));
    if (name.empty()) return DiscItem{nullptr, burner.Root()};
    const auto slash = compilation::LastBackslash(name);
    const std::string folderPath = "\\" + std::string(slash ? name.substr(0, *slash) : std::string_view());
    if (slash) name = name.substr(*slash + 1);
    const PFileEntry entry = burner.FindChild(burner.FindDir(folderPath), name);
    if (entry == nullptr) return std::nullopt;
    return DiscItem{entry, entry->Dir};
}

}  // namespace tavrin::cli
