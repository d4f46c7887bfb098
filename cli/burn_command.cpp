// burn and burn-iso: a compilation of local files and folders as a new session on
// the disc in a recorder, or an existing image file from block 0 of an empty disc.
// Both succeed only when the writer's completion report carried no error.
#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/device_session.h"
#include "cli/entry_lines.h"
#include "cli/write_job.h"
#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/iso/layout.h"
#include "engine/platform/local_time.h"
#include "engine/writing/disc_writer.h"
#include "engine/writing/writer_state.h"

namespace tavrin::cli {
namespace {

constexpr int32_t kMegabyte = 1048576;

// The speed in CD factors, as the drive is sent it: the option counts in the
// unit of the disc in the drive.
uint16_t WriteSpeedFactor(TSCSIDevice& device, uint16_t speed) {
    if (speed == 0) return 0;
    const uint8_t media = drive::MediaTypeCode(device);
    const unsigned factor = unsigned{speed} * drive::MediaFactor(media);
    if (factor > kLargestSpeedFactor)
        throw UsageError(fmt::format("--speed {} is beyond the fastest speed a drive can be asked for on {}", speed,
                                     drive::IsCDFamily(media) ? "CD" : "DVD"));
    return static_cast<uint16_t>(factor);
}

// Only what was asked for differs from the component's defaults. The speed is
// sent by the writer when it sets the drive up.
void ApplyBurnOptions(TvxCDBurner& burner, const BurnOptions& burn) {
    burner.WriteSpeed = WriteSpeedFactor(burner, burn.speed);
    burner.TestWrite = burn.test;
    burner.FinalizeDisc = burn.finalize;
    burner.PerformOPC = burn.opc;
    burner.UnderrunProtection = !burn.noUnderrunProtection;
    if (burn.cacheMegabytes) burner.SetCacheSize(*burn.cacheMegabytes * kMegabyte);
}

void Burn(TvxCDBurner& burner, writing::DiscWriter& writer, const std::function<bool()>& start) {
    ThrowUnlessCompleted(RunWriteJob(burner, writer, start));
    fmt::print("{}\n", burner.TestWrite ? "test write done: nothing was recorded" : "burned");
}

// The session is on the disc: a tray that does not open is only worth a warning.
void Eject(TvxCDBurner& burner) {
    if (drive::StartStopUnit(burner, true)) {
        fmt::print("ejected\n");
        return;
    }
    fmt::print(stderr, "warning: the tray could not be opened{}\n",
               burner.LastError.empty() ? "" : ": " + Shown(burner.LastError));
}

}  // namespace

void RunBurn(const Options& options) {
    const drive::SleepFn waits = DriveWaits();
    DeviceSession session(options);
    session.Select(options.device);
    TvxCDBurner& burner = session.burner();
    ShowDebugLines(burner, options.verbose);
    BuildCompilation(burner, options.compilation, options.burn.importSession);
    if (options.compilation.showLayout) PrintLayout(burner);
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
    // Only once the files are on the disc do they count as burned.
    if (options.compilation.archiveOnly && !burner.TestWrite) burner.ResetArchiveAttributes();
    if (options.burn.eject) Eject(burner);
}

void RunBurnIso(const Options& options) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(options.burnIso.image, error))
        throw UsageError(fmt::format("no such image file: {}", options.burnIso.image));
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
