// The part of a disc write that the compilation writer and the image writer share:
// taking blocks from the read-ahead reader and sending them with WRITE (10), the
// retries while the drive is busy, the buffer polls, the flush at the end and the
// closing of the session.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/compilation/burner.h"
#include "engine/device/scsi_device.h"
#include "engine/writing/cache_thread.h"
#include "engine/writing/writer_state.h"

namespace tavrin::writing {

// What a writer thread works with. releaseReader destroys the reader (waiting for
// its thread); the writer calls it once, at its end.
struct WriterJob {
    TvxCDBurner& burner;
    TBlockQueue& reader;
    WriterState& state;
    const WriterOptions& options;
    std::function<void()> releaseReader;
};

// Hands `block` (the one just written, if any) back and takes the next, waiting
// while the reader is momentarily empty. False when the write must stop: the user
// aborted (the reader then carries the abort text and is cancelled) or the reader
// reports a failure. A length of 0 is the end of the image.
bool NextBlock(TBlockQueue& reader, WriterState& state, std::unique_ptr<TCacheBlock>& block, int32_t& length);

// Stops the write: `text` becomes the job's result and the reader stops reading.
void StopWith(TBlockQueue& reader, std::string text);

class BlockWriter {
public:
    // retryMs: the wait between WRITE attempts while the drive is busy.
    BlockWriter(TSCSIDevice& device, TBlockQueue& reader, WriterState& state, const WriterOptions& options,
                uint8_t media, uint32_t sessionStart, int retryMs);

    // Sends the whole image from the session's first block on; returns at its end,
    // or after a failure or an abort, which the reader then carries.
    void WriteAll();
    // Reads the drive's buffer fill (not on DVD-RAM, which reports none).
    void ReadBuffer();
    // Raises `finalizing`, then has the drive record everything it holds. With
    // countLeadOut the flush returns at once and the drive writes its lead-out: the
    // free buffer shown counts down until the drive answers again.
    void Flush(bool countLeadOut, const std::function<void()>& finalizing);
    // Closes the session (the write parameters must be sent first), retrying while
    // the drive is busy.
    void CloseSession();

    uint32_t BlocksWritten() const { return blocksWritten_; }

private:
    bool WriteBlock(int32_t length);
    bool RetryLater();
    void PollBuffer();
    void CountDownLeadOut();

    TSCSIDevice& device_;
    TBlockQueue& reader_;
    WriterState& state_;
    const WriterOptions& options_;
    const uint8_t media_;
    const uint32_t sessionStart_;
    const int retryMs_;
    std::unique_ptr<TCacheBlock> block_;  // the one being sent
    uint32_t blocksWritten_ = 0;
    int32_t pollCountdown_;
};

}  // namespace tavrin::writing
