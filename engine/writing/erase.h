// Erasing a rewritable disc: BLANK for CD-RW and DVD-RW, FORMAT UNIT for DVD-RAM
// and DVD+RW, both sent with the immediate bit. The drive then works on its own;
// a worker thread waits for it, estimates the progress against the time such an
// erase is expected to take, reports the end and puts the drive back into a
// neutral state.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "engine/compilation/burner.h"
#include "engine/device/scsi_device.h"
#include "engine/drive/wait_ready.h"

namespace tavrin::writing {

// The minimal blank; 0 blanks the whole disc.
inline constexpr uint8_t kQuickErase = 1;

// Bytes of the FORMAT UNIT parameter list: the list header, one format
// descriptor, and four bytes of zeros.
inline constexpr std::size_t kFormatListBytes = 16;
inline constexpr std::size_t kFormatListHeader = 0;
inline constexpr std::size_t kFormatDescriptor = 4;
inline constexpr std::size_t kFormatDescriptorBlocks = kFormatDescriptor + 0;     // 32-bit big-endian
inline constexpr std::size_t kFormatDescriptorType = kFormatDescriptor + 4;       // format type << 2
inline constexpr std::size_t kFormatDescriptorParameter = kFormatDescriptor + 5;  // 24-bit big-endian

// FmtData = 1, Format Code 001b.
inline constexpr uint8_t kFormatUnitOptions = 0x11;

// The seconds the progress of an erase is measured against.
uint16_t ExpectedEraseSeconds(uint8_t mediaType, uint8_t quick);

// The parameter list FORMAT UNIT gets on DVD-RAM (a full 2,048-byte format) and
// on DVD+RW (format type 26h); all zeros for any other medium.
std::array<uint8_t, kFormatListBytes> FormatParameterList(uint8_t mediaType);

using EraseDoneFn = std::function<void(bool withError)>;

// Waits for a started erase to end. It owns the drive while it runs; the
// progress is the one value other threads read.
class TEraseThread {
public:
    TEraseThread(TSCSIDevice& device, uint8_t media, uint16_t expectedSeconds, EraseDoneFn done,
                 drive::SleepFn sleep);
    ~TEraseThread();  // joins
    TEraseThread(const TEraseThread&) = delete;
    TEraseThread& operator=(const TEraseThread&) = delete;

    void Start();
    void Join();
    bool Finished() const { return finished_.load(); }
    int Progress() const { return progress_.load(); }

private:
    void Execute();
    void ShowProgress();
    // Rounds of TEST UNIT READY while the drive reports "not ready".
    void WaitWithTestUnitReady();
    void WaitWithDiscInformation();
    void WaitWithRequestSense();
    bool Counting() const { return x_ <= ExpectedSeconds; }
    void NeutralState();

    std::atomic<int> progress_{0};

public:
    const uint8_t Media;
    TSCSIDevice& Device;
    const uint16_t ExpectedSeconds;

private:
    const EraseDoneFn done_;
    const drive::SleepFn sleep_;
    double x_ = 0;  // modelled seconds of waiting so far
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// EraseDisc, Erasing and EraseProgress of the burner component, for one device.
class DiscEraser {
public:
    // Raises the burner's OnEraseDone.
    explicit DiscEraser(TvxCDBurner& burner, drive::SleepFn sleep = drive::SleepMs);
    // Any device with its own completion report (the command line has no burner).
    DiscEraser(TSCSIDevice& device, EraseDoneFn done, drive::SleepFn sleep = drive::SleepMs);
    ~DiscEraser();  // waits for a running erase
    DiscEraser(const DiscEraser&) = delete;
    DiscEraser& operator=(const DiscEraser&) = delete;

    // True when the erase was started; the completion is reported exactly once
    // either way.
    bool EraseDisc(uint8_t Quick);
    bool Erasing() const;
    int EraseProgress() const;
    // Blocks until a started erase has reported and reset the drive.
    void WaitDone();

private:
    bool Refuse();
    bool DriveReady();
    void SendSpeedAndWriteParameters(uint8_t media);
    void AnnounceStart(uint8_t media, uint16_t speed);
    bool SendEraseCommand(uint8_t media, uint8_t quick);

    TSCSIDevice& device_;
    const EraseDoneFn done_;
    const drive::SleepFn sleep_;
    std::unique_ptr<TEraseThread> thread_;
};

}  // namespace tavrin::writing
