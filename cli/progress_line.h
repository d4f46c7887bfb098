// The progress of a long job on the terminal: one line rewritten in place about
// twice a second, or, when standard output is a pipe or a file, a plain line every
// few seconds so that a log stays readable.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace tavrin::cli {

using Clock = std::chrono::steady_clock;

// What a write shows: where it is and how full the two buffers are.
struct WriteSample {
    int64_t bytesWritten = 0;
    int64_t totalBytes = 0;
    int cacheFillPercent = 0;              // the read-ahead buffer
    std::optional<int> driveFillPercent;   // none until the drive has told its buffer size
};

// The write speed over the last few seconds, so that a pause of the drive (its
// lead-in, a flush) shows at once and is forgotten soon after.
class RateMeter {
public:
    void Add(Clock::time_point when, int64_t bytes);
    // Bytes per second; 0 before two samples a moment apart.
    double BytesPerSecond() const;

private:
    struct Sample {
        Clock::time_point when;
        int64_t bytes;
    };
    std::deque<Sample> samples_;
};

// "42% 12.50/30.00 MB, 3.20 MB/s, 0:05 left, buffer 87%, drive 60%"; the time left
// is "--:--" while the speed is not known.
std::string WriteProgressText(const WriteSample& sample, double bytesPerSecond);

// The drive's buffer fill from its size and free bytes; none when it has not
// reported them (or reported more free than it holds).
std::optional<int> DriveFillPercent(uint32_t bufferSize, uint32_t freeBytes);

class ProgressLine {
public:
    // On a terminal the line is redrawn in place.
    explicit ProgressLine(bool terminal);
    // Standard output is a terminal.
    static bool OnTerminal();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Shows "progress: " + text unless the last line is too recent or the same.
    void Show(const std::string& text, Clock::time_point now = Clock::now());
    // Shows the text whatever the time; on a terminal the line is then ended.
    void Finish(const std::string& text);
    // Ends a terminal line that waits for its end, before other output.
    void Break();

private:
    void Print(const std::string& text);

    const bool terminal_;
    std::optional<Clock::time_point> shownAt_;
    std::string shown_;
    bool open_ = false;  // a terminal line waits for its end
};

}  // namespace tavrin::cli
