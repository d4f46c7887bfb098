// erase: blanks or formats the rewritable disc in a recorder, showing the
// progress estimate while the drive works. Succeeds only when the erase
// reported no error.
#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/commands.h"
#include "cli/device_session.h"
#include "cli/write_job.h"
#include "engine/writing/erase.h"

namespace tavrin::cli {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

}  // namespace

void RunErase(const Options& options) {
    const drive::SleepFn waits = DriveWaits();
    DeviceSession session(options);
    session.Select(options.device);
    std::atomic<int> reports{0};
    std::atomic<bool> failed{false};
    writing::DiscEraser eraser(session.device(), [&](bool withError) {
        ++reports;
        failed = withError;
    }, waits);
    const bool started = eraser.EraseDisc(options.erase.quick ? writing::kQuickErase : 0);
    int shown = -1;
    while (started && eraser.Erasing()) {
        const int progress = eraser.EraseProgress();
        if (progress != shown) fmt::print("progress: {}%\n", progress);
        shown = progress;
        std::fflush(stdout);
        std::this_thread::sleep_for(kProgressInterval);
    }
    eraser.WaitDone();
    if (!started || failed || reports != 1) throw CommandFailure("the disc could not be erased");
    fmt::print("erased\n");
}

}  // namespace tavrin::cli
