#include "engine/writing/disc_writer.h"

#include <fmt/format.h>

#include <cmath>
#include <optional>

#include "engine/device/messages.h"
#include "engine/iso/layout.h"
#include "engine/platform/file.h"
#include "engine/platform/thread_priority.h"
#include "engine/writing/iso_write.h"
#include "engine/writing/save_iso.h"
#include "engine/writing/thwrite.h"

namespace tavrin::writing {

namespace {

constexpr uint64_t kBlockBytes = 2048;

uint64_t BlocksOf(uint64_t bytes) { return (bytes + kBlockBytes - 1) / kBlockBytes; }

// An imported file whose data lies where the new session would be written.
std::optional<std::string> OverwrittenImport(const TvxCDBurner& burner) {
    const uint64_t start = burner.Layout.SessionStart;
    const uint64_t end = start + iso::ImageSizeBlocks(burner);
    for (const auto& entry : burner.Tree().Files()) {
        if (entry->Deleted || !entry->Imported || entry->IsSubdirectory() || entry->Size == 0) continue;
        const uint64_t first = entry->IsoExtent;
        if (first < end && first + BlocksOf(entry->Size) > start) return entry->LongName;
    }
    return std::nullopt;
}

}  // namespace

DiscWriter::DiscWriter(TvxCDBurner& burner, WriterOptions options) : burner_(burner), options_(std::move(options)) {}

DiscWriter::~DiscWriter() {
    AbortWrite();
    WaitDone();
}

bool DiscWriter::BurnCD() {
    if (Busy()) return false;
    if (const auto name = OverwrittenImport(burner_))
        return Refuse(fmt::format(fmt::runtime(messages::kWouldOverwriteImported), *name));
    return StartCompilationJob(false);
}

bool DiscWriter::SaveISO(const std::string& FileName, bool Quick) {
    if (Quick) {
        writing::SaveISO(burner_, FileName, true);
        return true;
    }
    if (Busy()) return false;
    burner_.ISOFileName = FileName;
    return StartCompilationJob(true);
}

bool DiscWriter::BurnISO(const std::string& FileName) {
    if (Busy()) return false;
    const auto size = [&]() -> std::optional<uint64_t> {
        auto image = platform::File::openRead(FileName);
        return image ? image->size() : std::nullopt;
    }();
    if (!size) return Refuse(fmt::format(fmt::runtime(messages::kCantOpenFile), FileName));
    {
        const std::lock_guard guard(readerLock_);
        imageReader_ = std::make_unique<TISOBurnerThread>(burner_.CacheSize(), static_cast<int64_t>(*size), FileName);
    }
    // The image stands in for a layout: the progress and the DVD reservation count its blocks.
    burner_.Layout.SessionSizeBlocks = *size / kBlockBytes;
    imageReader_->WaitReady();
    if (!imageReader_->Ready()) {
        std::string text = imageReader_->ErrorText();
        ReleaseReader();
        return Refuse(text);
    }
    StartWriter([job = WriterJob{burner_, *imageReader_, state_, options_, [this] { ReleaseReader(); }}] {
        TISOWrite(job).Execute();
    });
    return true;
}

bool DiscWriter::StartCompilationJob(bool toFile) {
    if (burner_.HeaderStream.empty()) return Refuse(std::string(messages::kNotPrepared));
    {
        const std::lock_guard guard(readerLock_);
        cache_ = std::make_unique<TCacheThread>(burner_.CacheSize(), burner_.WritePostGap,
                                                static_cast<int64_t>(burner_.Layout.SessionSizeBlocks * kBlockBytes),
                                                burner_.HeaderStream, burner_.Tree());
    }
    cache_->WaitReady();
    if (!cache_->Ready()) {
        std::string text = cache_->ErrorText();
        ReleaseReader();
        return Refuse(text);
    }
    StartWriter([job = WriterJob{burner_, *cache_, state_, options_, [this] { ReleaseReader(); }}, toFile] {
        TThWrite(job, toFile).Execute();
    });
    return true;
}

void DiscWriter::StartWriter(std::function<void()> body) {
    // Set before the thread runs, so that whoever waits on WriteInProgress sees the
    // write from the moment it was started, and an abort from then on counts.
    if (writer_.joinable()) {
        // A job started from the last one's report cannot wait for its own thread.
        if (writer_.get_id() == std::this_thread::get_id()) {
            writer_.detach();
        } else {
            writer_.join();
        }
    }
    state_.AbortRequested = false;
    state_.BytesWritten = 0;
    state_.WriteInProgress = true;
    writer_ = std::thread([body = std::move(body)] {
        platform::SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
        body();
    });
}

void DiscWriter::AbortWrite() { state_.AbortRequested = true; }

void DiscWriter::WaitDone() {
    if (writer_.joinable()) writer_.join();
}

int DiscWriter::CacheFillPercent() const {
    if (!WriteInProgress()) return 0;
    const std::lock_guard guard(readerLock_);
    const TBlockQueue* reader = imageReader_ ? static_cast<const TBlockQueue*>(imageReader_.get()) : cache_.get();
    if (reader == nullptr || burner_.CacheSize() <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(reader->CachedBytes()) / burner_.CacheSize() * 100.0));
}

bool DiscWriter::Busy() const { return WriteInProgress(); }

bool DiscWriter::Refuse(const std::string& text) {
    // A refusal with nothing to say would read as success.
    burner_.DoWriteDone(text.empty() ? std::string(messages::kInternalError0005) : text);
    return false;
}

void DiscWriter::ReleaseReader() {
    const std::lock_guard guard(readerLock_);
    cache_.reset();
    imageReader_.reset();
}

}  // namespace tavrin::writing
