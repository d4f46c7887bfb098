#include "cli/progress_line.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tavrin::cli {
namespace {

constexpr auto kTerminalInterval = std::chrono::milliseconds(500);
constexpr auto kLogInterval = std::chrono::seconds(5);
constexpr auto kRateWindow = std::chrono::seconds(4);
constexpr double kMegabyte = 1048576.0;
constexpr int64_t kSecondsPerHour = 3600;

std::string TimeText(int64_t seconds) {
    if (seconds >= kSecondsPerHour)
        return fmt::format("{}:{:02}:{:02}", seconds / kSecondsPerHour, seconds / 60 % 60, seconds % 60);
    return fmt::format("{}:{:02}", seconds / 60, seconds % 60);
}

}  // namespace

void RateMeter::Add(Clock::time_point when, int64_t bytes) {
    samples_.push_back({when, bytes});
    // Keep one sample older than the window, so the window is always spanned.
    while (samples_.size() > 2 && when - samples_[1].when >= kRateWindow) samples_.pop_front();
}

double RateMeter::BytesPerSecond() const {
    if (samples_.size() < 2) return 0;
    const std::chrono::duration<double> span = samples_.back().when - samples_.front().when;
    if (span.count() <= 0) return 0;
    return static_cast<double>(samples_.back().bytes - samples_.front().bytes) / span.count();
}

std::string WriteProgressText(const WriteSample& sample, double bytesPerSecond) {
    const int64_t total = std::max<int64_t>(sample.totalBytes, 0);
    const int64_t written = std::clamp<int64_t>(sample.bytesWritten, 0, std::max<int64_t>(total, sample.bytesWritten));
    const int64_t percent = total > 0 ? std::min<int64_t>(written * 100 / total, 100) : 0;
    const std::string left =
        bytesPerSecond > 0 ? TimeText(static_cast<int64_t>(static_cast<double>(std::max<int64_t>(total - written, 0)) /
                                                           bytesPerSecond + 0.5))
                           : std::string("--:--");
    std::string text = fmt::format("{}% {:.2f}/{:.2f} MB, {:.2f} MB/s, {} left, buffer {}%", percent,
                                   static_cast<double>(written) / kMegabyte, static_cast<double>(total) / kMegabyte,
                                   bytesPerSecond / kMegabyte, left, sample.cacheFillPercent);
    if (sample.driveFillPercent) text += fmt::format(", drive {}%", *sample.driveFillPercent);
    return text;
}

std::optional<int> DriveFillPercent(uint32_t bufferSize, uint32_t freeBytes) {
    if (bufferSize == 0 || freeBytes > bufferSize) return std::nullopt;
    return static_cast<int>(uint64_t{bufferSize - freeBytes} * 100 / bufferSize);
}

ProgressLine::ProgressLine(bool terminal) : terminal_(terminal) {}

bool ProgressLine::OnTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

ProgressLine::~ProgressLine() { Break(); }

void ProgressLine::Show(const std::string& text, Clock::time_point now) {
    if (text == shown_) return;
    if (shownAt_ && now - *shownAt_ < (terminal_ ? kTerminalInterval : kLogInterval)) return;
    shownAt_ = now;
    Print(text);
}

void ProgressLine::Finish(const std::string& text) {
    if (text != shown_) Print(text);
    Break();
}

void ProgressLine::Break() {
    if (open_) std::fputc('\n', stdout);
    open_ = false;
    std::fflush(stdout);
}

void ProgressLine::Print(const std::string& text) {
    if (terminal_) {
        // Back to the line's start and clear it: a shorter text leaves nothing behind.
        fmt::print("\r\033[Kprogress: {}", text);
        open_ = true;
    } else {
        fmt::print("progress: {}\n", text);
    }
    std::fflush(stdout);
    shown_ = text;
}

}  // namespace tavrin::cli
