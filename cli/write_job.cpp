#include "cli/write_job.h"

#include <fmt/format.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/progress_line.h"
#include "engine/iso/layout.h"

namespace tavrin::cli {
namespace {

// How often the counters are read: the line itself is shown less often.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr int64_t kBlockBytes = 2048;
constexpr const char* kWaitScaleVariable = "TAVRIN_WAIT_SCALE";

// Set by the Ctrl-C handler, read by the progress loop: a lock-free atomic is all
// a signal handler may touch.
std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) { interruptRequested.store(true); }

// While a write runs, Ctrl-C aborts it instead of killing the program, so the
// drive's buffer is still flushed and the end is reported. The handler is good for
// one Ctrl-C: a second one kills the program (a DVD-R lead-out may take many
// minutes). A program started with Ctrl-C ignored, in the background, keeps it so.
class InterruptAbortsWrite {
public:
    InterruptAbortsWrite() {
        interruptRequested.store(false);
        if (::sigaction(SIGINT, nullptr, &previous_) != 0 || previous_.sa_handler == SIG_IGN) return;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        installed_ = ::sigaction(SIGINT, &action, nullptr) == 0;
    }
    ~InterruptAbortsWrite() {
        if (installed_) ::sigaction(SIGINT, &previous_, nullptr);
    }
    InterruptAbortsWrite(const InterruptAbortsWrite&) = delete;
    InterruptAbortsWrite& operator=(const InterruptAbortsWrite&) = delete;

private:
    struct sigaction previous_ {};
    bool installed_ = false;
};

// What OnWriteDone carried. It is raised on the writer's thread, or on this one
// when the job could not start.
class WriteReport {
public:
    explicit WriteReport(TvxCDBurner& burner) : burner_(burner) {
        burner_.OnWriteDone = [this](TvxCDBurner&, const std::string& error) { Arrive(error); };
    }
    ~WriteReport() { burner_.OnWriteDone = nullptr; }
    WriteReport(const WriteReport&) = delete;
    WriteReport& operator=(const WriteReport&) = delete;

    // True once the report is there.
    bool WaitFor(std::chrono::milliseconds interval) {
        std::unique_lock lock(lock_);
        return arrived_.wait_for(lock, interval, [this] { return reports_ > 0; });
    }
    int Reports() const {
        const std::lock_guard lock(lock_);
        return reports_;
    }
    std::string Error() const {
        const std::lock_guard lock(lock_);
        return error_;
    }

private:
    void Arrive(const std::string& error) {
        {
            const std::lock_guard lock(lock_);
            if (++reports_ == 1) error_ = error;
        }
        arrived_.notify_all();
    }

    TvxCDBurner& burner_;
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    int reports_ = 0;
    std::string error_;
};

// What the burner's counters say now.
WriteSample SampleOf(const TvxCDBurner& burner, const writing::DiscWriter& writer, int64_t imageBytes) {
    return WriteSample{
        .bytesWritten = writer.BytesWritten(),
        .totalBytes = imageBytes,
        .cacheFillPercent = writer.CacheFillPercent(),
        .driveFillPercent = DriveFillPercent(burner.DeviceBufferSize.load(), burner.DeviceFreeBufferSize.load()),
    };
}

}  // namespace

drive::SleepFn DriveWaits() {
    const char* text = std::getenv(kWaitScaleVariable);
    if (text == nullptr) return drive::SleepMs;
    char* end = nullptr;
    const double scale = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(scale) || scale < 0)
        throw CommandFailure(fmt::format("{} '{}' is not a factor of 0 or more", kWaitScaleVariable, text));
    return [scale](int ms) { drive::SleepMs(static_cast<int>(std::lround(ms * scale))); };
}

WriteOutcome RunWriteJob(TvxCDBurner& burner, writing::DiscWriter& writer, const std::function<bool()>& start) {
    WriteReport report(burner);
    const InterruptAbortsWrite interrupt;
    if (!start()) {
        // A job that did not start has reported why; a writer already running has not.
        const std::string error = report.Error();
        return {error.empty() ? std::string("the write could not be started") : error};
    }
    // Known once the job has started: BurnISO takes it from the image file.
    const int64_t imageBytes = static_cast<int64_t>(iso::ImageSizeBlocks(burner)) * kBlockBytes;
    ProgressLine progress(ProgressLine::OnTerminal());
    RateMeter rate;
    // The start is a sample too: a job done before the first poll still shows its speed.
    rate.Add(Clock::now(), 0);
    const auto show = [&] {
        const WriteSample sample = SampleOf(burner, writer, imageBytes);
        rate.Add(Clock::now(), sample.bytesWritten);
        return WriteProgressText(sample, rate.BytesPerSecond());
    };
    bool aborting = false;
    while (!report.WaitFor(kPollInterval)) {
        if (interruptRequested.load()) {
            if (!aborting) {
                progress.Break();
                fmt::print(stderr, "interrupted: the write stops once the drive's buffer is flushed"
                                   " (Ctrl-C again quits at once)\n");
            }
            aborting = true;
            // On every round: a writer that had not quite started yet clears a
            // request made before its start.
            writer.AbortWrite();
        }
        progress.Show(show());
    }
    writer.WaitDone();
    progress.Finish(show());
    if (report.Reports() != 1) return {"the writer reported its end more than once", aborting};
    return {report.Error(), aborting};
}

void ThrowUnlessCompleted(const WriteOutcome& outcome) {
    if (outcome.error.empty()) return;
    throw CommandFailure(Shown(outcome.error), outcome.interrupted ? kAborted : kFailed);
}

}  // namespace tavrin::cli
