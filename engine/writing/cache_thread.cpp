#include "engine/writing/cache_thread.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "engine/device/messages.h"

namespace tavrin::writing {

namespace {

// Files of the table whose data the image carries: not directories, not data that
// lies on a disc already, and files with a source and at least one byte.
bool HasDataToWrite(const TFEntry& entry) {
    if (entry.IsSubdirectory() || (entry.Attr & platform::kAttrDirectory) != 0) return false;
    return !entry.Imported && !entry.SourcePath.empty() && entry.Size > 0;
}

platform::ThreadPriority ToThreadPriority(CachePriority level) {
    switch (level) {
        case CachePriority::Idle: return platform::ThreadPriority::Idle;
        case CachePriority::Lowest: return platform::ThreadPriority::Lowest;
        case CachePriority::BelowNormal: return platform::ThreadPriority::BelowNormal;
        case CachePriority::Normal: return platform::ThreadPriority::Normal;
    }
    return platform::ThreadPriority::Normal;
}

std::string CantOpenText(const std::string& path) {
    return fmt::format(fmt::runtime(messages::kCantOpenFile), path);
}

}  // namespace

// ---- the queue: consumer and owner side ----

TBlockQueue::TBlockQueue(int32_t CacheSize, int64_t RemainingBytes)
    : maxBlocks_(CacheSize / kCacheSlotBytes), remainingBytes_(RemainingBytes) {}

int32_t TBlockQueue::GetBlock(std::span<uint8_t> Dest) {
    if (Dest.size() < kCacheBlockBytes) throw std::invalid_argument("GetBlock needs room for a whole cache block");
    std::unique_ptr<TCacheBlock> block;
    const int32_t length = TakeBlock(block);
    if (length <= 0) return length;
    std::memcpy(Dest.data(), block->Data.data(), static_cast<std::size_t>(length));
    ReturnBlock(std::move(block));
    return length;
}

int32_t TBlockQueue::TakeBlock(std::unique_ptr<TCacheBlock>& Block) {
    if (cancelRequested_) return 0;
    {
        const std::lock_guard guard(lock_);
        if (queue_.empty()) return produced_ || finished_ ? 0 : -1;
        Block = std::move(queue_.front());
        queue_.pop_front();
        cachedBytes_ -= Block->Length;
        remainingBytes_ -= Block->Length;
        if (produced_ && queue_.empty()) PublishDeferredFailure();
        // The producer waits for room down to the resume level, or for an empty queue
        // at the end; a wake-up above that level would only put it back to sleep.
        if (queue_.size() > ResumeLevel()) return Block->Length;
    }
    changed_.notify_all();
    return Block->Length;
}

void TBlockQueue::ReturnBlock(std::unique_ptr<TCacheBlock> Block) {
    if (Block == nullptr) return;
    const std::lock_guard guard(lock_);
    if (static_cast<int64_t>(spare_.size()) < maxBlocks_) spare_.push_back(std::move(Block));
}

void TBlockQueue::WaitForBlock() const {
    std::unique_lock lk(lock_);
    changed_.wait(lk, [this] { return !queue_.empty() || produced_ || finished_ || cancelRequested_; });
}

void TBlockQueue::WaitReady() const {
    std::unique_lock lk(lock_);
    changed_.wait(lk, [this] { return ready_ || finished_; });
}

void TBlockQueue::WaitFinished() const {
    std::unique_lock lk(lock_);
    changed_.wait(lk, [this] { return finished_.load(); });
}

void TBlockQueue::Cancel() {
    {
        const std::lock_guard guard(lock_);
        cancelRequested_ = true;
    }
    changed_.notify_all();
}

void TBlockQueue::RequestStop() {
    {
        const std::lock_guard guard(lock_);
        terminate_ = true;
    }
    changed_.notify_all();
}

std::string TBlockQueue::ErrorText() const {
    const std::lock_guard guard(lock_);
    return ErrorTextLocked();
}

void TBlockQueue::SetErrorText(std::string text) {
    const std::lock_guard guard(lock_);
    errorText_ = std::move(text);
}

std::size_t TBlockQueue::QueuedBlocks() const {
    const std::lock_guard guard(lock_);
    return queue_.size();
}

std::size_t TBlockQueue::PeakQueuedBlocks() const {
    const std::lock_guard guard(lock_);
    return peakBlocks_;
}

std::string TBlockQueue::ErrorTextLocked() const {
    return errorText_.empty() ? failureText_ : errorText_;
}

// A source that came up short fails the job only once everything before and after
// it has been handed out, so that the writer does not stop with blocks still queued.
void TBlockQueue::PublishDeferredFailure() {
    if (!deferredText_.empty() && failureText_.empty()) failureText_ = deferredText_;
}

// ---- the queue: producer side ----

std::unique_ptr<TCacheBlock> TBlockQueue::NewBlock() {
    {
        const std::lock_guard guard(lock_);
        if (!spare_.empty()) {
            auto block = std::move(spare_.back());
            spare_.pop_back();
            return block;
        }
    }
    return std::make_unique_for_overwrite<TCacheBlock>();
}

void TBlockQueue::Queue(std::unique_ptr<TCacheBlock> block, int64_t uncountedBytes) {
    {
        const std::lock_guard guard(lock_);
        queue_.push_back(std::move(block));
        cachedBytes_ += uncountedBytes;
        peakBlocks_ = std::max(peakBlocks_, queue_.size());
    }
    changed_.notify_all();
}

void TBlockQueue::AddCachedBytes(int64_t bytes) {
    const std::lock_guard guard(lock_);
    cachedBytes_ += bytes;
}

// Full at one block less than the slots: the block being filled takes the last one.
std::size_t TBlockQueue::QueueLimit() const { return static_cast<std::size_t>(std::max(maxBlocks_ - 1, 1)); }

// A full queue's producer goes on once the writer has taken an eighth of it: one
// wake-up (and one priority change) per batch of blocks, not one per block.
std::size_t TBlockQueue::ResumeLevel() const { return QueueLimit() - std::max<std::size_t>(QueueLimit() / 8, 1); }

bool TBlockQueue::QueueFull() const {
    const std::lock_guard guard(lock_);
    return queue_.size() >= QueueLimit();
}

void TBlockQueue::SleepUntilRoom() {
    {
        std::unique_lock lk(lock_);
        ready_ = true;
        changed_.notify_all();
        changed_.wait(lk, [&] { return queue_.size() <= ResumeLevel() || Stopping(); });
    }
    CheckCancel();
}

// A cancellation drops the queue and ends the producer; a text the writer set before
// cancelling (its writer error) is kept.
void TBlockQueue::CheckCancel() {
    if (!Stopping()) return;
    {
        const std::lock_guard guard(lock_);
        queue_.clear();
        cachedBytes_ = 0;
        if (ErrorTextLocked().empty()) errorText_ = std::string(messages::kOperationAborted);
        finished_ = true;
    }
    changed_.notify_all();
    throw Stopped{};
}

void TBlockQueue::Fail(std::string text) {
    {
        const std::lock_guard guard(lock_);
        failureText_ = std::move(text);
        finished_ = true;
    }
    changed_.notify_all();
    throw Stopped{};
}

bool TBlockQueue::ReadSource(platform::File& source, const std::string& path, uint8_t* into, std::size_t n) {
    const auto got = source.read(std::span(into, n));
    if (got && *got == n) return true;
    const std::size_t delivered = got ? *got : 0;
    std::memset(into + delivered, 0, n - delivered);
    std::string text = fmt::format(fmt::runtime(got ? kSourceFileShorter : kCantReadFile), path);
    const std::lock_guard guard(lock_);
    if (deferredText_.empty()) deferredText_ = std::move(text);
    return false;
}

// A cancellation while draining leaves the writer's text as it is.
void TBlockQueue::EndProduction() {
    {
        const std::lock_guard guard(lock_);
        produced_ = true;
        ready_ = true;
        if (queue_.empty()) PublishDeferredFailure();
    }
    changed_.notify_all();
    {
        std::unique_lock lk(lock_);
        changed_.wait(lk, [this] { return queue_.empty() || Stopping(); });
        if (queue_.empty()) PublishDeferredFailure();
        finished_ = true;
    }
    changed_.notify_all();
}

// ---- the compilation's cache ----

TCacheThread::TCacheThread(int32_t CacheSize, bool WritePostGap, int64_t ImageBytes,
                           std::vector<uint8_t>& HeaderStream, const compilation::Compilation& Tree,
                           SetPriorityFn setPriority)
    // The padding counts from the start, so that the bytes still to hand out are
    // always the image and its padding less what the writer has taken.
    : TBlockQueue(CacheSize, WritePostGap && ImageBytes < kPostGapMinimumBytes ? kPostGapMinimumBytes : ImageBytes),
      imageBytes_(ImageBytes),
      padToMinimum_(WritePostGap && ImageBytes < kPostGapMinimumBytes),
      headerStream_(HeaderStream),
      tree_(Tree),
      setPriority_(std::move(setPriority)) {
    thread_ = std::thread([this] { Run(); });
}

TCacheThread::~TCacheThread() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
}

void TCacheThread::Run() {
    setPriority_(ToThreadPriority(priorityLevel_));
    try {
        QueueHeader();
        QueueFiles();
        QueuePadding();
        EndProduction();
    } catch (const Stopped&) {
        // Finished and the text are set where the producer stopped.
    }
}

void TCacheThread::QueueHeader() {
    std::size_t offset = 0;
    while (offset < headerStream_.size()) {
        CheckCancel();
        const std::size_t n = std::min(kCacheBlockBytes, headerStream_.size() - offset);
        auto block = NewBlock();
        std::memcpy(block->Data.data(), headerStream_.data() + offset, n);
        block->Length = static_cast<int32_t>(n);
        Queue(std::move(block), static_cast<int64_t>(n));
        offset += n;
        WaitForRoom(false);
    }
    // Its memory goes back now; a further write lays the image out again.
    std::vector<uint8_t>().swap(headerStream_);
}

void TCacheThread::QueueFiles() {
    for (const auto& entry : tree_.Files()) {
        if (entry == nullptr) Fail(std::string(messages::kInternalError0005));
        if (HasDataToWrite(*entry)) QueueFile(*entry);
    }
    if (filling_ != nullptr && fill_ > 0) {
        filling_->Length = static_cast<int32_t>(fill_);
        Queue(std::move(filling_), 0);
    }
    filling_.reset();
}

// Packs the file into blocks right behind the data before it: a file's last block
// may be shared with the next file, and a block is queued as soon as it is full. Its
// size is the entry's, not the file's, so that every file stays at its extent.
void TCacheThread::QueueFile(const TFEntry& entry) {
    auto source = platform::File::openRead(entry.SourcePath);
    if (!source) Fail(CantOpenText(entry.SourcePath));
    uint64_t left = entry.Size;
    bool intact = true;  // after a short read the rest of the file is zeros
    while (left > 0) {
        if (filling_ == nullptr) {
            filling_ = NewBlock();
            fill_ = 0;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(kCacheBlockBytes - fill_, left));
        uint8_t* const into = filling_->Data.data() + fill_;
        const std::size_t rounded = BlockRounded(n);
        if (intact) {
            intact = ReadSource(*source, entry.SourcePath, into, n);
            std::memset(into + n, 0, rounded - n);
        } else {
            std::memset(into, 0, rounded);
        }
        fill_ += rounded;
        left -= n;
        AddCachedBytes(static_cast<int64_t>(rounded));
        CheckCancel();
        if (fill_ == kCacheBlockBytes) {
            filling_->Length = static_cast<int32_t>(fill_);
            Queue(std::move(filling_), 0);
        }
        AdjustPriority();
        WaitForRoom(true);
    }
}

void TCacheThread::QueuePadding() {
    if (!padToMinimum_) return;
    for (int64_t padLeft = kPostGapMinimumBytes - imageBytes_; padLeft > 0;) {
        const int64_t n = std::min<int64_t>(kCacheBlockBytes, padLeft);
        auto block = NewBlock();
        std::memset(block->Data.data(), 0, static_cast<std::size_t>(n));
        block->Length = static_cast<int32_t>(n);
        Queue(std::move(block), n);
        padLeft -= n;
    }
}

// The fuller the queue, the less the producer competes with the writer.
void TCacheThread::AdjustPriority() {
    const auto c = static_cast<int64_t>(QueuedBlocks());
    if (c < MaxBlocks() / 4) {
        SetLevel(CachePriority::Normal);
    } else if (c < MaxBlocks() / 2) {
        SetLevel(CachePriority::BelowNormal);
    } else {
        SetLevel(CachePriority::Lowest);
    }
}

void TCacheThread::SetLevel(CachePriority level) {
    if (level == priorityLevel_) return;
    priorityLevel_ = level;
    setPriority_(ToThreadPriority(level));
}

// While it reads files, a producer with a full queue sleeps at idle priority.
void TCacheThread::WaitForRoom(bool duringFileData) {
    if (!QueueFull()) return;
    if (duringFileData) SetLevel(CachePriority::Idle);
    SleepUntilRoom();
}

// ---- the image file's reader ----

TISOBurnerThread::TISOBurnerThread(int32_t CacheSize, int64_t ImageBytes, std::string FileName,
                                   SetPriorityFn setPriority)
    : TBlockQueue(CacheSize, ImageBytes),
      imageBytes_(ImageBytes),
      fileName_(std::move(FileName)),
      setPriority_(std::move(setPriority)) {
    thread_ = std::thread([this] { Run(); });
}

TISOBurnerThread::~TISOBurnerThread() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
}

void TISOBurnerThread::Run() {
    setPriority_(platform::ThreadPriority::BelowNormal);
    try {
        QueueImage();
        EndProduction();
    } catch (const Stopped&) {
        // Finished and the text are set where the reader stopped.
    }
}

// The image goes out as it is, block for block; the last block is completed with
// zeros, so the bytes handed out may exceed the file's size by less than a block.
void TISOBurnerThread::QueueImage() {
    auto image = platform::File::openRead(fileName_);
    if (!image) Fail(CantOpenText(fileName_));
    bool intact = true;
    for (int64_t left = imageBytes_; left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<int64_t>(kCacheBlockBytes, left));
        auto block = NewBlock();
        const auto length = static_cast<int64_t>(BlockRounded(n));
        if (intact) {
            intact = ReadSource(*image, fileName_, block->Data.data(), n);
        } else {
            std::memset(block->Data.data(), 0, n);
        }
        std::memset(block->Data.data() + n, 0, static_cast<std::size_t>(length) - n);
        block->Length = static_cast<int32_t>(length);
        Queue(std::move(block), length);
        left -= static_cast<int64_t>(n);
        if (QueueFull()) SleepUntilRoom();
        CheckCancel();
    }
}

}  // namespace tavrin::writing
