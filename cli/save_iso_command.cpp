// save-iso: builds a compilation from local files and folders, as the application
// adds them, lays it out for an image file and writes the image. No recorder is
// involved, so no transport is started.
#include <fmt/format.h>

#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "engine/compilation/burner.h"
#include "engine/iso/layout.h"
#include "engine/platform/gbk.h"
#include "engine/writing/io_error.h"
#include "engine/writing/save_iso.h"

namespace tavrin::cli {
namespace {

namespace fs = std::filesystem;

// The capacities the application gives a new compilation.
constexpr int kMaxFiles = 600000;
constexpr int kMaxFolders = 20000;
// Every attribute: hidden and system files go into the image too.
constexpr int kAllAttributes = 63;

// Engine texts are GBK; the terminal is UTF-8. A text without a UTF-8 form is shown
// as it is rather than lost.
std::string Shown(const std::string& gbk) {
    return platform::GbkToUtf8(gbk).value_or(gbk);
}

std::string GbkOf(const std::string& utf8, const char* what) {
    const auto gbk = platform::Utf8ToGbk(utf8);
    if (!gbk) throw CommandFailure(fmt::format("{} \"{}\" has no GBK form", what, utf8));
    return *gbk;
}

// Debug lines about what was left out (type 4) are always shown, the others only
// when asked for.
void ShowDebugLines(TvxCDBurner& burner, bool verbose) {
    burner.OnDebugMessage = [verbose](TSCSIDevice&, const std::string& message, uint8_t type) {
        if (verbose) {
            fmt::print(stderr, "debug: {}\n", Shown(message));
        } else if (type == kDebugImage) {
            fmt::print(stderr, "warning: {}\n", Shown(message));
        }
    };
}

// A folder keeps its own name under the root; a file goes into the root.
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

void RunSaveIso(const Options& options) {
    const SaveIsoOptions& save = options.saveIso;
    TvxCDBurner burner;
    ShowDebugLines(burner, options.verbose);
    burner.StripSourcePath = true;
    burner.ClearAll(kMaxFiles, kMaxFolders);
    burner.IdVolume = GbkOf(save.volume, "volume label");
    burner.JolietFileSystem = !save.noJoliet;
    for (const std::string& source : save.sources) AddSource(burner, source);

    if (!iso::Prepare(burner, true)) throw CommandFailure("the compilation cannot be laid out as an image");
    bool done = false;
    std::string failure;
    burner.OnWriteDone = [&](TvxCDBurner&, const std::string& error) {
        done = true;
        failure = error;
    };
    // The threaded save is not built yet: both modes write on this thread.
    try {
        writing::SaveISO(burner, GbkOf(save.output, "image file name"), true);
    } catch (const IOError& e) {
        throw CommandFailure(fmt::format("{}: {}", Shown(e.Path()), e.Reason()));
    }
    if (!done) throw CommandFailure("the image was not completed");
    if (!failure.empty()) throw CommandFailure(Shown(failure));
    fmt::print("image: {}\n", save.output);
    fmt::print("blocks: {}\n", iso::ImageSizeBlocks(burner));
    fmt::print("folders: {}\n", burner.DirsCount());
    fmt::print("files: {}\n", burner.FilesCount() - burner.DirsCount());
}

}  // namespace tavrin::cli
