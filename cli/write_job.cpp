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
#include "engine/iso/layout.h"

namespace tavrin::cli {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr double kMegabyte = 1048576.0;
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

// One line per change: megabytes written against the image's, and the read-ahead
// buffer's fill.
class ProgressLine {
public:
    ProgressLine(const writing::DiscWriter& writer, int64_t imageBytes) : writer_(writer), imageBytes_(imageBytes) {}

    void Show() {
        const std::string line = fmt::format("progress: {:.2f}/{:.2f} MB, buffer {}%\n",
                                             static_cast<double>(writer_.BytesWritten()) / kMegabyte,
                                             static_cast<double>(imageBytes_) / kMegabyte, writer_.CacheFillPercent());
        if (line == shown_) return;
        fmt::print("{}", line);
        std::fflush(stdout);
        shown_ = line;
    }

private:
    const writing::DiscWriter& writer_;
    const int64_t imageBytes_;
    std::string shown_;
};

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

std::string RunWriteJob(TvxCDBurner& burner, writing::DiscWriter& writer, const std::function<bool()>& start) {
    WriteReport report(burner);
    const InterruptAbortsWrite interrupt;
    if (!start()) {
        // A job that did not start has reported why; a writer already running has not.
        const std::string error = report.Error();
        return error.empty() ? std::string("the write could not be started") : error;
    }
    // Known once the job has started: BurnISO takes it from the image file.
    ProgressLine progress(writer, static_cast<int64_t>(iso::ImageSizeBlocks(burner)) * kBlockBytes);
    bool aborting = false;
    while (!report.WaitFor(kProgressInterval)) {
        if (interruptRequested.load()) {
            if (!aborting)
                fmt::print(stderr, "interrupted: the write stops once the drive's buffer is flushed"
                                   " (Ctrl-C again quits at once)\n");
            aborting = true;
            // On every round: a writer that had not quite started yet clears a
            // request made before its start.
            writer.AbortWrite();
        }
        progress.Show();
    }
    writer.WaitDone();
    progress.Show();
    if (report.Reports() != 1) return "the writer reported its end more than once";
    return report.Error();
}

}  // namespace tavrin::cli
