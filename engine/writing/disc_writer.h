// The writing jobs of the burner component: a compilation onto the disc in the
// recorder (BurnCD), an existing image file onto an empty disc (BurnISO), and a
// compilation into an image file through the same read-ahead pipeline (the
// threaded SaveISO). Each job fills its read-ahead reader on the caller's thread
// and then hands over to one writer thread, which reports the end exactly once
// through the burner's OnWriteDone. One job runs at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/compilation/burner.h"
#include "engine/writing/cache_thread.h"
#include "engine/writing/writer_state.h"

namespace tavrin::writing {

class DiscWriter {
public:
    explicit DiscWriter(TvxCDBurner& burner, WriterOptions options = {});
    // Aborts a running write and waits for its report.
    ~DiscWriter();
    DiscWriter(const DiscWriter&) = delete;
    DiscWriter& operator=(const DiscWriter&) = delete;

    // Needs a Prepare for the disc since the last change of the compilation. True
    // when the writer was started; false after OnWriteDone reported why not (the
    // cache failed, or the session would overwrite imported data), or when a write
    // is running already (nothing is reported then).
    bool BurnCD();
    // Writes FileName byte for byte from block 0 of an empty disc. True when the
    // writer was started; false after OnWriteDone reported the failure.
    bool BurnISO(const std::string& FileName);
    // Quick: the synchronous save (throws IOError, see save_iso.h); true when it
    // completed. Threaded: needs a fresh Prepare for an image file; true when the
    // writer was started, false after OnWriteDone reported the cache's failure.
    bool SaveISO(const std::string& FileName, bool Quick);

    // The running writer stops before its next block.
    void AbortWrite();
    // Until a started writer has reported and ended.
    void WaitDone();

    bool WriteInProgress() const { return state_.WriteInProgress.load(); }
    int64_t BytesWritten() const { return state_.BytesWritten.load(); }
    // The running reader's fill against CacheSize, 0 to 100; 0 without a write.
    int CacheFillPercent() const;

private:
    bool Busy() const;
    bool Refuse(const std::string& text);
    bool StartCompilationJob(bool toFile);
    void StartWriter(std::function<void()> body);
    void ReleaseReader();

    TvxCDBurner& burner_;
    const WriterOptions options_;
    WriterState state_;

    // The reader of the running job. The writer destroys it at its end while the
    // display may still ask for the fill, hence the lock.
    mutable std::mutex readerLock_;
    std::unique_ptr<TCacheThread> cache_;
    std::unique_ptr<TISOBurnerThread> imageReader_;

    std::thread writer_;
};

}  // namespace tavrin::writing
