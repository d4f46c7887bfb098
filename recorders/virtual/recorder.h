#pragma once
// One virtual MMC recorder: a tray holding at most one disc, answering SCSI
// commands with the status and sense data a drive would. The disc and tray live
// in a recorder folder (recorder_store.h); a change of that folder by another
// process (tavrin-vdisc load / eject) is seen as a disc change.
//
// Long operations (blanking, formatting, closing, writing at the set speed) take
// their real durations times `timeScale`; they are evaluated from the clock on
// each command, so the model never blocks and needs no thread of its own.

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/fault.h"
#include "recorders/virtual/mmc_answers.h"
#include "recorders/virtual/mmc_buffer.h"
#include "recorders/virtual/recorder_store.h"
#include "recorders/virtual/sense.h"

namespace tavrin::vrecorder {

enum class DataDirection : uint8_t { None, In, Out };

inline constexpr uint8_t kStatusGood = 0x00;
inline constexpr uint8_t kStatusCheckCondition = 0x02;
inline constexpr uint8_t kStatusBusy = 0x08;

struct CommandResult {
    uint8_t status = kStatusGood;
    std::array<uint8_t, kSenseLength> sense{};  // fixed format; all zero with GOOD
    std::size_t transferred = 0;                // bytes moved to or from the data buffer
    // The command never completes: the carrier must leave the request pending.
    bool hang = false;
    // How long a drive would take before it answers (scaled); the carrier may
    // delay the completion by it. The state change has already happened.
    std::chrono::nanoseconds duration{0};

    Sense decodedSense() const {
        Sense s{static_cast<uint8_t>(sense[2] & 0x0F), sense[12], sense[13], {}};
        if (sense[15] & 0x80) s.progress = static_cast<uint16_t>(sense[16] << 8 | sense[17]);
        return s;
    }
};

// FOLDER/underruns: the recorder's count of buffer underruns so far, one decimal
// number, so a benchmark can read it after the program that wrote has ended.
inline constexpr const char* kUnderrunCountFile = "underruns";

using Clock = std::function<std::chrono::steady_clock::time_point()>;

struct RecorderOptions {
    std::filesystem::path folder;  // the recorder folder (recorder.json)
    double timeScale = 0.0;        // real seconds per modelled second; 0 = instant
    Faults faults;
    Clock clock;                   // empty: std::chrono::steady_clock
    uint32_t bufferBytes = 2 * 1024 * 1024;
};

class VirtualRecorder {
public:
    explicit VirtualRecorder(RecorderOptions options);

    CommandResult execute(std::span<const uint8_t> cdb, DataDirection direction,
                          std::span<uint8_t> data);

    void setFaults(const Faults& faults);
    void setTimeScale(double scale);
    // Overrides the INQUIRY identity (recorder.json overrides apply on top when set).
    void setIdentity(const Identity& identity);
    // Times the drive's buffer ran empty in the middle of a track (only with a
    // timeScale above 0), since the recorder folder was made.
    uint64_t underruns() const;

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Context;  // one command being executed
    enum class Operation : uint8_t { Blank, Format, Close };
    struct Running {
        Operation what;
        TimePoint start, end;
    };

    // Handlers, one per operation code; each fills the result of `c`.
    void testUnitReady(Context& c);
    void requestSense(Context& c);
    void formatUnit(Context& c);
    void inquiry(Context& c);
    void startStopUnit(Context& c);
    void preventAllow(Context& c);
    void readFormatCapacities(Context& c);
    void readCapacity(Context& c);
    void read10(Context& c);
    void write10(Context& c);
    void synchronizeCache(Context& c);
    void readToc(Context& c);
    void getConfiguration(Context& c);
    void readDiscInformation(Context& c);
    void readTrackInformation(Context& c);
    void reserveTrack(Context& c);
    void sendOpc(Context& c);
    void modeSelect10(Context& c);
    void modeSense10(Context& c);
    void closeTrackSession(Context& c);
    void readBufferCapacity(Context& c);
    void blank(Context& c);
    void setStreaming(Context& c);
    void setCdSpeed(Context& c);
    void sendDvdStructure(Context& c);
    void rezero(Context& c);

    TimePoint now() const;
    std::chrono::nanoseconds scaled(double modelSeconds) const;
    void refreshFromFolder();
    void loadFromConfig(const RecorderConfig& config);
    void discChanged();
    void saveTray(bool open);
    void countUnderrun();
    std::optional<Sense> mediumState(TimePoint at) const;
    std::optional<Sense> runningSense(TimePoint at);
    bool dvdSpeeds() const;
    uint16_t writeSpeed() const;  // KB/s
    uint16_t readSpeed() const;
    double writeBytesPerSecond() const;
    bool testWrite() const;
    // A session-at-once recording into a reserved DVD-R track, which SYNCHRONIZE CACHE completes.
    bool closesOnFlush() const;
    void startOperation(Operation what, double modelSeconds, bool immediate, Context& c);
    Speeds speeds(TimePoint at) const;
    Identity identity() const;

    mutable std::mutex mutex_;
    RecorderOptions options_;
    Identity identity_;
    RecorderConfig config_;
    RecorderWatch watch_;
    std::optional<DiscStore> disc_;  // the disc in the closed tray
    FaultCounters counters_;
    TimePoint loadedAt_{};
    bool unitAttention_ = false;
    bool prevented_ = false;
    std::optional<Sense> lastSense_;
    std::optional<Running> running_;
    DriveBuffer buffer_;
    uint64_t underruns_ = 0;
    uint16_t requestedWrite_ = kMaximumSpeed;
    uint16_t requestedRead_ = kMaximumSpeed;
    Answer writeParameters_;
    std::optional<uint32_t> testNext_;  // simulated next writable address in test write
};

}  // namespace tavrin::vrecorder
