// burn and burn-iso: a compilation of local files and folders as a new session on
// the disc in a recorder, or an existing image file from block 0 of an empty disc.
// Both succeed only when the writer's completion report carried no error.
#include <fmt/format.h>

#include <cstdio>
#include <functional>
#include <string>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/device_session.h"
#include "cli/write_job.h"
#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/iso/layout.h"
#include "engine/platform/local_time.h"
#include "engine/writing/disc_writer.h"
#include "engine/writing/writer_state.h"

namespace tavrin::cli {
namespace {

// Only what was asked for differs from the component's defaults. The speed is
// sent by the writer when it sets the drive up.
void ApplyBurnOptions(TvxCDBurner& burner, const BurnOptions& burn) {
    burner.WriteSpeed = burn.speed;
    burner.TestWrite = burn.test;
    burner.FinalizeDisc = burn.finalize;
}

void Burn(TvxCDBurner& burner, writing::DiscWriter& writer, const std::function<bool()>& start) {
    const std::string failure = RunWriteJob(burner, writer, start);
    if (!failure.empty()) throw CommandFailure(Shown(failure));
    fmt::print("{}\n", burner.TestWrite ? "test write done: nothing was recorded" : "burned");
}

}  // namespace

void RunBurn(const Options& options) {
    const drive::SleepFn waits = DriveWaits();
    DeviceSession session(options);
    session.Select(options.device);
    TvxCDBurner& burner = session.burner();
    ShowDebugLines(burner, options.verbose);
    BuildCompilation(burner, options.compilation, options.burn.importSession);
    ApplyBurnOptions(burner, options.burn);

    // Laid out at the disc's next writable address: the session's extents are
    // absolute disc addresses.
    const TDateTime now = compilation::DateTimeFromLocal(platform::LocalNow());
    if (!iso::Prepare(burner, false, now, waits))
        throw CommandFailure("the compilation cannot be laid out for the disc");
    fmt::print("session start: {}\n", burner.Layout.SessionStart);
    fmt::print("blocks: {}\n", iso::ImageSizeBlocks(burner));
    std::fflush(stdout);
    writing::DiscWriter writer(burner, writing::WriterOptions{.sleep = waits});
    Burn(burner, writer, [&] { return writer.BurnCD(); });
}

void RunBurnIso(const Options& options) {
    const drive::SleepFn waits = DriveWaits();
    DeviceSession session(options);
    session.Select(options.device);
    TvxCDBurner& burner = session.burner();
    ShowDebugLines(burner, options.verbose);
    const std::string image = GbkOf(options.burnIso.image, "image file name");
    writing::DiscWriter writer(burner, writing::WriterOptions{.sleep = waits});
    Burn(burner, writer, [&] { return writer.BurnISO(image); });
}

}  // namespace tavrin::cli
