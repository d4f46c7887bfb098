// save-iso: builds a compilation from local files and folders, as the application
// adds them, lays it out for an image file and writes the image: through the
// read-ahead cache and the writer thread, or with --quick on this thread. No
// recorder is involved, so no transport is started.
#include <fmt/format.h>

#include <string>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/entry_lines.h"
#include "cli/write_job.h"
#include "engine/compilation/burner.h"
#include "engine/iso/layout.h"
#include "engine/writing/disc_writer.h"
#include "engine/writing/io_error.h"

namespace tavrin::cli {
namespace {

// The quick save reports a failing file operation by throwing; it raises
// OnWriteDone only when the image is complete.
void SaveQuick(TvxCDBurner& burner, writing::DiscWriter& writer, const std::string& fileName) {
    bool done = false;
    std::string failure;
    burner.OnWriteDone = [&](TvxCDBurner&, const std::string& error) {
        done = true;
        failure = error;
    };
    try {
        writer.SaveISO(fileName, true);
    } catch (const IOError& e) {
        throw CommandFailure(fmt::format("{}: {}", Shown(e.Path()), e.Reason()));
    }
    burner.OnWriteDone = nullptr;
    if (!done) throw CommandFailure("the image was not completed");
    if (!failure.empty()) throw CommandFailure(Shown(failure));
}

void SaveThreaded(TvxCDBurner& burner, writing::DiscWriter& writer, const std::string& fileName) {
    ThrowUnlessCompleted(RunWriteJob(burner, writer, [&] { return writer.SaveISO(fileName, false); }));
}

}  // namespace

void RunSaveIso(const Options& options) {
    const SaveIsoOptions& save = options.saveIso;
    TvxCDBurner burner;
    ShowDebugLines(burner, options.verbose);
    BuildCompilation(burner, options.compilation);
    if (options.compilation.showLayout) PrintLayout(burner);
    const std::string fileName = GbkOf(save.output, "image file name");

    if (!iso::Prepare(burner, true)) throw CommandFailure("the compilation cannot be laid out as an image");
    writing::DiscWriter writer(burner);
    if (save.quick) {
        SaveQuick(burner, writer, fileName);
    } else {
        SaveThreaded(burner, writer, fileName);
    }
    fmt::print("image: {}\n", save.output);
    fmt::print("blocks: {}\n", iso::ImageSizeBlocks(burner));
    fmt::print("folders: {}\n", burner.DirsCount());
    fmt::print("files: {}\n", burner.FilesCount() - burner.DirsCount());
}

}  // namespace tavrin::cli
