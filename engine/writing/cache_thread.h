// The read-ahead cache: the producer half of every write. It reads the image in its
// own thread and keeps a bounded queue of it ahead of the writer, so that the writer
// never waits for the file system while the drive records. TCacheThread reads a laid
// out compilation (the header stream, then every file's data in table order, each in
// whole blocks); TISOBurnerThread reads one existing image file.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/compilation/compilation.h"
#include "engine/platform/directory.h"
#include "engine/platform/file.h"
#include "engine/platform/thread_priority.h"

namespace tavrin::writing {

// One queued unit: 31 blocks of 2,048 bytes, the most one WRITE (10) carries.
inline constexpr std::size_t kCacheBlockBytes = 63488;
// A session shorter than this is padded with zeros when WritePostGap is on: drives
// and readers expect at least 300 blocks.
inline constexpr int64_t kPostGapMinimumBytes = 614400;
// The queue has one slot per this many bytes of CacheSize.
inline constexpr int32_t kCacheSlotBytes = 65536;

// A source that ends before its size, or cannot be read: the missing bytes are
// delivered as zeros (every later file stays at its extent), and the job fails with
// this text once the image has been handed out.
inline constexpr std::string_view kSourceFileShorter = "FILE \"{}\" IS SHORTER THAN WHEN IT WAS ADDED";
inline constexpr std::string_view kCantReadFile = "CAN'T READ FILE \"{}\"";

struct TCacheBlock {
    // Not zeroed when made: the producer writes or zeroes every byte up to Length
    // (the tail of a file's last block is zero), and blocks are used again.
    std::array<uint8_t, kCacheBlockBytes> Data;
    int32_t Length = 0;  // valid bytes in Data, 1..63,488
};

using SetPriorityFn = std::function<void(platform::ThreadPriority)>;

// The queue between one producer thread and one writer, with the counters the owner
// reads for display. Waits are signalled: every change of the queue or of the state
// wakes the other side.
class TBlockQueue {
public:
    TBlockQueue(const TBlockQueue&) = delete;
    TBlockQueue& operator=(const TBlockQueue&) = delete;

    // Copies the oldest block into Dest (at least kCacheBlockBytes) and returns its
    // Length; 0 at the end of the image, after a cancellation or when the producer
    // ended; -1 when more data will come (WaitForBlock waits for it).
    int32_t GetBlock(std::span<uint8_t> Dest);
    // As GetBlock, without the copy: on a positive return Block holds the oldest
    // block itself. Hand it back with ReturnBlock once its bytes have been written.
    int32_t TakeBlock(std::unique_ptr<TCacheBlock>& Block);
    // A taken block goes back to the producer, to be filled again.
    void ReturnBlock(std::unique_ptr<TCacheBlock> Block);
    // Returns when a block is queued, the producer has ended or a cancellation is
    // pending: the signalled form of the consumer's retry.
    void WaitForBlock() const;
    // Returns when Ready or Finished is set: the owner's wait before it starts the writer.
    void WaitReady() const;
    // Returns when Finished is set.
    void WaitFinished() const;

    void Cancel();

    bool Ready() const { return ready_.load(); }
    bool Finished() const { return finished_.load(); }
    int64_t CachedBytes() const { return cachedBytes_.load(); }
    int64_t RemainingBytes() const { return remainingBytes_.load(); }
    int32_t MaxBlocks() const { return maxBlocks_; }
    // Empty while all is well; else the text that ends the operation. A failure of the
    // producer outlives SetErrorText("").
    std::string ErrorText() const;
    // The writer's own text (its writer-error text, or "" when it starts).
    void SetErrorText(std::string text);

    // Blocks queued now, and the most that were ever queued at once.
    std::size_t QueuedBlocks() const;
    std::size_t PeakQueuedBlocks() const;

protected:
    TBlockQueue(int32_t CacheSize, int64_t RemainingBytes);
    ~TBlockQueue() = default;

    // Unwinds the producer once it has stopped (Finished and the text are set).
    struct Stopped {};

    // For the owner's destructor, before it joins the producer.
    void RequestStop();

    // A block to fill: one handed back by the writer, or a new one. Its bytes are
    // whatever they were.
    std::unique_ptr<TCacheBlock> NewBlock();
    void Queue(std::unique_ptr<TCacheBlock> block, int64_t uncountedBytes);
    void AddCachedBytes(int64_t bytes);
    bool QueueFull() const;
    // With the queue full: lets the writer start and sleeps until it has taken a
    // batch of blocks.
    void SleepUntilRoom();
    void CheckCancel();
    [[noreturn]] void Fail(std::string text);
    // Reads n bytes of a source; false when it ends early or cannot be read: the
    // bytes it did not deliver are zeroed, and the job is marked to fail naming the
    // source.
    bool ReadSource(platform::File& source, const std::string& path, uint8_t* into, std::size_t n);
    // Everything is queued: Ready, then wait until the writer has taken it all.
    void EndProduction();

private:
    bool Stopping() const { return cancelRequested_.load() || terminate_.load(); }
    std::string ErrorTextLocked() const;
    std::size_t QueueLimit() const;
    std::size_t ResumeLevel() const;
    void PublishDeferredFailure();

    const int32_t maxBlocks_;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::deque<std::unique_ptr<TCacheBlock>> queue_;
    std::vector<std::unique_ptr<TCacheBlock>> spare_;  // handed back, at most maxBlocks_
    std::size_t peakBlocks_ = 0;
    std::string errorText_;     // the writer's, or the cancellation's
    std::string failureText_;   // the producer's own failure
    std::string deferredText_;  // a short source: published when the image has been handed out
    bool produced_ = false;     // every source (and the padding) is queued

    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> terminate_{false};
    std::atomic<bool> ready_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int64_t> cachedBytes_{0};
    std::atomic<int64_t> remainingBytes_{0};
};

// Scheduling levels the cache records: 0 idle, 1 lowest, 2 below normal, 3 normal.
enum class CachePriority : uint8_t { Idle = 0, Lowest = 1, BelowNormal = 2, Normal = 3 };

class TCacheThread : public TBlockQueue {
public:
    // Starts the producer at once. HeaderStream is emptied once it has been queued (a
    // further write needs a new layout); Tree's file table must not change until the
    // cache is destroyed. ImageBytes: the image's blocks from the layout × 2,048,
    // without the 300-block minimum. setPriority applies a level to the producer's
    // own thread (replaceable so that the ladder can be watched).
    TCacheThread(int32_t CacheSize, bool WritePostGap, int64_t ImageBytes, std::vector<uint8_t>& HeaderStream,
                 const compilation::Compilation& Tree, SetPriorityFn setPriority = platform::SetCurrentThreadPriority);
    // Stops the producer (as a cancellation) and waits for its thread.
    ~TCacheThread();

    bool PadToMinimum() const { return padToMinimum_; }

private:
    void Run();
    void QueueHeader();
    void QueueFiles();
    void QueueFile(const TFEntry& entry);
    void QueuePadding();
    void AdjustPriority();
    void SetLevel(CachePriority level);
    void WaitForRoom(bool duringFileData);

    const int64_t imageBytes_;
    const bool padToMinimum_;
    std::vector<uint8_t>& headerStream_;
    const compilation::Compilation& tree_;
    const SetPriorityFn setPriority_;

    // Producer-only state.
    CachePriority priorityLevel_ = CachePriority::BelowNormal;
    std::unique_ptr<TCacheBlock> filling_;
    std::size_t fill_ = 0;

    std::thread thread_;  // last: starts once every field above is set
};

// The reader of an image file for burning it as it is: one source, never padded, the
// last block completed to 2,048 bytes with zeros, below-normal priority throughout.
class TISOBurnerThread : public TBlockQueue {
public:
    // Starts at once. ImageBytes: the image file's size when the burn was started.
    TISOBurnerThread(int32_t CacheSize, int64_t ImageBytes, std::string FileName,
                     SetPriorityFn setPriority = platform::SetCurrentThreadPriority);
    ~TISOBurnerThread();

private:
    void Run();
    void QueueImage();

    const int64_t imageBytes_;
    const std::string fileName_;
    const SetPriorityFn setPriority_;

    std::thread thread_;  // last: starts once every field above is set
};

}  // namespace tavrin::writing
