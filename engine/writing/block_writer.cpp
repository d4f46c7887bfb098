#include "engine/writing/block_writer.h"

#include <fmt/format.h>

#include "engine/device/messages.h"
#include "engine/device/quirks.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_cdb.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/sense_fields.h"

namespace tavrin::writing {

namespace {

constexpr uint32_t kBlockBytes = 2048;
// READ BUFFER CAPACITY only every so many blocks, to keep the command stream dense.
constexpr int32_t kPollEvery = 5;
constexpr int kFlushTimeoutMs = 120000;
constexpr int kLeadOutFlushTimeoutMs = 1800000;
constexpr int kLeadOutRoundMs = 1000;
// The buffer display empties over about 16 minutes while the lead-out is written.
constexpr uint32_t kLeadOutRoundsShown = 960;
constexpr int kCloseAttempts = 1000;
constexpr int kCloseRetryMs = 1000;

bool DriveBusy(const TSCSIDevice& device) {
    const uint8_t asc = drive::LastAsc(device);
    return device.TargetBusy || asc == drive::kAscNotReady || asc == 0x00;
}

}  // namespace

bool NextBlock(TBlockQueue& reader, WriterState& state, std::unique_ptr<TCacheBlock>& block, int32_t& length) {
    reader.ReturnBlock(std::move(block));
    for (;;) {
        if (state.AbortRequested) {
            StopWith(reader, std::string(messages::kOperationAborted));
            return false;
        }
        // Asked before the block is taken: a source that came up short is reported
        // as the last block leaves the queue, and that block is still written.
        if (!reader.ErrorText().empty()) return false;
        length = reader.TakeBlock(block);
        if (length != -1) return true;
        reader.WaitForBlock();
    }
}

void StopWith(TBlockQueue& reader, std::string text) {
    reader.SetErrorText(std::move(text));
    reader.Cancel();
}

BlockWriter::BlockWriter(TSCSIDevice& device, TBlockQueue& reader, WriterState& state, const WriterOptions& options,
                         uint8_t media, uint32_t sessionStart, int retryMs)
    : device_(device),
      reader_(reader),
      state_(state),
      options_(options),
      media_(media),
      sessionStart_(sessionStart),
      retryMs_(retryMs),
      pollCountdown_(kPollEvery) {}

void BlockWriter::WriteAll() {
    int32_t length = 0;
    if (!NextBlock(reader_, state_, block_, length)) return;
    while (length > 0) {
        state_.BytesWritten += length;
        PollBuffer();
        if (!WriteBlock(length)) return;
        if (!NextBlock(reader_, state_, block_, length)) return;
    }
}

// The first poll goes with the sixth block and then every fifth; one that fails
// leaves the countdown below zero, so no further poll is made in this write.
void BlockWriter::PollBuffer() {
    if (media_ != drive::media::kDVDRAM && pollCountdown_ == 0) {
        uint32_t length = 0, free = 0;
        if (drive::ReadBufferCapacity(device_, length, free)) pollCountdown_ = kPollEvery;
    }
    --pollCountdown_;
}

bool BlockWriter::WriteBlock(int32_t length) {
    const auto blocks = static_cast<uint16_t>(static_cast<uint32_t>(length) / kBlockBytes);
    for (int tries = 0;;) {
        if (state_.AbortRequested) {
            StopWith(reader_, std::string(messages::kOperationAborted));
            return false;
        }
        if (drive::Write10(device_, sessionStart_ + blocksWritten_, blocks, drive::kFlagsDataOut,
                           static_cast<uint32_t>(length), std::span(block_->Data))) {
            blocksWritten_ += blocks;
            return true;
        }
        if (!DriveBusy(device_)) {
            StopWith(reader_, std::string(messages::kWriterError) + " [" + device_.LastError + "]");
            return false;
        }
        if (++tries >= options_.busyTries) {
            StopWith(reader_, std::string(messages::kWriterBusy));
            return false;
        }
        options_.sleep(retryMs_);
    }
}

void BlockWriter::ReadBuffer() {
    if (media_ == drive::media::kDVDRAM) return;
    uint32_t length = 0, free = 0;
    drive::ReadBufferCapacity(device_, length, free);
}

void BlockWriter::Flush(bool countLeadOut, const std::function<void()>& finalizing) {
    finalizing();
    if (!countLeadOut) {
        if (!drive::SynchronizeCache(device_, kFlushTimeoutMs, false)) drive::SynchronizeCache(device_, kFlushTimeoutMs, true);
        return;
    }
    if (device_.QuirkDVR10x && device_.DoDebug)
        device_.DebugMsg(">>> " + std::string(messages::kWritingLeadOut), kDebugProgress);
    drive::SynchronizeCache(device_, kLeadOutFlushTimeoutMs, true);
    CountDownLeadOut();
}

// The drive answers nothing about its disc while it writes the lead-out.
void BlockWriter::CountDownLeadOut() {
    device_.DeviceFreeBufferSize = device_.DeviceBufferSize.load();
    for (int round = 0; round < options_.leadOutRounds && !drive::ReadDiscInfo(device_); ++round) {
        device_.DeviceFreeBufferSize -= device_.DeviceBufferSize / kLeadOutRoundsShown;
        options_.sleep(kLeadOutRoundMs);
    }
}

void BlockWriter::CloseSession() {
    for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
        if (drive::CloseTrackSession(device_, CloseSessionImmediate(), false)) return;
        if (!device_.TargetBusy && drive::LastAsc(device_) != drive::kAscNotReady) {
            drive::CloseTrackSession(device_, CloseSessionImmediate(), false);
            return;
        }
        options_.sleep(kCloseRetryMs);
    }
}

}  // namespace tavrin::writing
