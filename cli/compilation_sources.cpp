#include "cli/compilation_sources.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

#include "cli/disc_tree.h"
#include "engine/platform/gbk.h"

namespace tavrin::cli {
namespace {

namespace fs = std::filesystem;

// The capacities the application gives a new compilation.
constexpr int kMaxFiles = 600000;
constexpr int kMaxFolders = 20000;
// Every attribute: hidden and system files go into the image too.
constexpr int kAllAttributes = 63;

void AddSource(TvxCDBurner& burner, const std::string& source) {
    std::error_code error;
    const fs::path path = fs::absolute(source, error).lexically_normal();
    const auto status = fs::status(path, error);
    if (error || !fs::exists(status)) throw CommandFailure(fmt::format("no such file or folder: {}", source));
    if (fs::is_directory(status)) {
        std::string folder = GbkOf(path.string(), "folder");
        if (!folder.ends_with('/')) folder += '/';
        burner.InsertDir("\\", folder, "*.*", kAllAttributes, true, true, false);
        return;
    }
    if (burner.InsertFile("\\", GbkOf(path.string(), "file"), false) < 0)
        throw CommandFailure(fmt::format("cannot read {}", source));
}

}  // namespace

std::string Shown(const std::string& gbk) {
    return platform::GbkToUtf8(gbk).value_or(gbk);
}

std::string GbkOf(const std::string& utf8, const char* what) {
    const auto gbk = platform::Utf8ToGbk(utf8);
    if (!gbk) throw CommandFailure(fmt::format("{} \"{}\" has no GBK form", what, utf8));
    return *gbk;
}

void ShowDebugLines(TvxCDBurner& burner, bool verbose) {
    burner.OnDebugMessage = [verbose](TSCSIDevice&, const std::string& message, uint8_t type) {
        if (verbose) {
            fmt::print(stderr, "debug: {}\n", Shown(message));
        } else if (type == kDebugImage) {
            fmt::print(stderr, "warning: {}\n", Shown(message));
        }
    };
}

void EmptyCompilation(TvxCDBurner& burner) { burner.ClearAll(kMaxFiles, kMaxFolders); }

void BuildCompilation(TvxCDBurner& burner, const CompilationOptions& compilation, std::optional<int> importSession) {
    burner.StripSourcePath = true;
    EmptyCompilation(burner);
    burner.IdVolume = GbkOf(compilation.volume, "volume label");
    burner.JolietFileSystem = !compilation.noJoliet;
    if (importSession) {
        ImportIntoRoot(burner, *importSession);
        burner.ReplaceFile = true;
    }
    for (const std::string& source : compilation.sources) AddSource(burner, source);
}

}  // namespace tavrin::cli
