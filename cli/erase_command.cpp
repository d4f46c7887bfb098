// erase: blanks or formats the rewritable disc in a recorder, showing the
// progress estimate while the drive works. Succeeds only when the erase
// reported no error.
#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "cli/progress_line.h"
#include "cli/write_job.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/writing/erase.h"

namespace tavrin::cli {
namespace {

// How often the estimate is read: the line itself is shown less often.
constexpr auto kPollInterval = std::chrono::milliseconds(100);

}  // namespace

void RunErase(const Options& options) {
    const drive::SleepFn waits = DriveWaits();
    DeviceSession session(options);
    session.Select(options.device);
    TSCSIDevice& device = session.device();
    // Nothing is sent to a disc that cannot be blanked or formatted.
    if (!drive::IsErasable(device) && drive::MediaTypeCode(device) != drive::media::kDVDRAM)
        throw CommandFailure("the disc could not be erased: This is not a rewritable CD!");
    std::atomic<int> reports{0};
    std::atomic<bool> failed{false};
    writing::DiscEraser eraser(device, [&](bool withError) {
        ++reports;
        failed = withError;
    }, waits);
    const bool started = eraser.EraseDisc(options.erase.full ? 0 : writing::kQuickErase);
    {
        ProgressLine progress(ProgressLine::OnTerminal());
        while (started && eraser.Erasing()) {
            progress.Show(fmt::format("erasing {}%", eraser.EraseProgress()));
            std::this_thread::sleep_for(kPollInterval);
        }
        eraser.WaitDone();
        if (started && !failed) progress.Finish("erasing 100%");
    }
    if (!started || failed || reports != 1) throw CommandFailure("the disc could not be erased");
    fmt::print("erased\n");
}

}  // namespace tavrin::cli
