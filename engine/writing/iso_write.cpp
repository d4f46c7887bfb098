#include "engine/writing/iso_write.h"

#include "engine/device/messages.h"
#include "engine/device/transport.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/next_writable.h"
#include "engine/drive/wait_ready.h"
#include "engine/drive/write_parameters.h"
#include "engine/iso/layout.h"
#include "engine/writing/dvd_preparation.h"
#include "engine/writing/thwrite.h"

namespace tavrin::writing {

namespace {

using namespace drive::media;

constexpr int kReadyTimeoutMs = 5000;
constexpr int kSetupReadyMs = 30000;
constexpr int kSetupPollMs = 1000;
constexpr int kPreparedPollMs = 100;
constexpr int kFlushReadyMs = 1800000;
constexpr int kFlushPollMs = 2000;
constexpr int kCloseReadyMs = 240000;
constexpr int kClosePollMs = 5000;
constexpr int kBusyRetryMs = 100;

// Every writable DVD gets the streaming, time stamp and reservation before an image.
bool IsWritableDVD(uint8_t media) {
    return drive::IsDVDRFamily(media) || media == kDVDPlusRW || media == kDVDPlusR;
}

}  // namespace

void TISOWrite::Execute() {
    // The flags and counters were set when the thread was started.
    job_.reader.SetErrorText("");
    WriteImage();
    SetKeepHandleOpen(false);
    if (TransportName() == "KTASPI32") ReinitializeASPI();
    job_.burner.DoWriteDone(job_.reader.ErrorText());
    job_.releaseReader();
    job_.state.WriteInProgress = false;
}

void TISOWrite::WriteImage() {
    TvxCDBurner& burner = job_.burner;
    const uint8_t media = drive::MediaTypeCode(burner);
    drive::SetCurrentMediaType(media);
    if (!PrepareDrive(media)) return;
    BlockWriter writer(burner, job_.reader, job_.state, job_.options, media, 0, kBusyRetryMs);
    SetKeepHandleOpen(true);
    writer.WriteAll();
    Finish(media, writer);
}

bool TISOWrite::PrepareDrive(uint8_t media) {
    TvxCDBurner& burner = job_.burner;
    const auto& sleep = job_.options.sleep;
    drive::TestUnitReady(burner, kReadyTimeoutMs);
    if (media != kDVDRAM) {
        drive::StartStopUnit(burner, false);
        drive::SetCDSpeed(burner, burner.ReadSpeed, burner.WriteSpeed);
    }
    drive::WaitUntilReady(burner, kSetupReadyMs, kSetupPollMs, sleep);
    {
        const bool kept = burner.FinalizeDisc;
        burner.FinalizeDisc = !burner.QuirkCRX100E;
        drive::WriteParameters(burner, burner.TestWrite, burner.UnderrunProtection, media);
        burner.FinalizeDisc = kept;
    }
    const auto next = drive::ReadNextWritable(burner, burner.TestWrite, burner.UnderrunProtection, media, sleep);
    if (next.value_or(0) != 0) {
        StopWith(job_.reader, std::string(messages::kNeedEmptyDisc));
        return false;
    }
    const uint16_t speed = drive::ReadCurrentWriteSpeed(burner);
    if (IsWritableDVD(media))
        PrepareDVDTrack(burner, static_cast<uint32_t>(iso::ImageSizeBlocks(burner) + 1), job_.options.localTime());
    drive::WaitUntilReady(burner, kSetupReadyMs, kPreparedPollMs, sleep);
    if (media != kDVDRAM && !burner.TestWrite && burner.PerformOPC) drive::SendOPCInformation(burner);
    AnnounceWrite(burner, media, speed, burner.TestWrite);
    return true;
}

void TISOWrite::Finish(uint8_t media, BlockWriter& writer) {
    TvxCDBurner& burner = job_.burner;
    const auto& sleep = job_.options.sleep;
    writer.ReadBuffer();
    writer.Flush(IsWritableDVD(media), [&burner] { burner.DoFinalizingTrack(); });
    if (!IsWritableDVD(media)) drive::WaitUntilReady(burner, kFlushReadyMs, kFlushPollMs, sleep);
    writer.ReadBuffer();
    // After a failure the session stays open; tray and lock stay as they are.
    if (!job_.reader.ErrorText().empty()) return;
    drive::WriteParameters(burner, burner.TestWrite, false, media);
    if (!burner.TestWrite && !drive::IsDVDRFamily(media) && media != kDVDRAM && burner.FinalizeTrack) {
        drive::WriteParameters(burner, burner.TestWrite, burner.UnderrunProtection, media);
        writer.CloseSession();
    }
    SetKeepHandleOpen(false);
    drive::WaitUntilReady(burner, kCloseReadyMs, kClosePollMs, sleep);
    drive::StartStopUnit(burner, false);
    drive::PreventAllowRemoval(burner, true);
    if (!drive::IsDVDRFamily(media) && media != kDVDRAM && media != kDVDPlusRW) drive::RezeroUnit(burner);
}

}  // namespace tavrin::writing
