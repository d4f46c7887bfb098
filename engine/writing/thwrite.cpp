#include "engine/writing/thwrite.h"

#include <fmt/format.h>

#include <cmath>

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
#include "engine/platform/file.h"
#include "engine/writing/dvd_preparation.h"
#include "engine/writing/neutral_state.h"

namespace tavrin::writing {

namespace {

using namespace drive::media;

constexpr int kSetupReadyMs = 10000;
constexpr int kSetupPollMs = 1000;
constexpr int kCloseReadyMs = 240000;
constexpr int kClosePollMs = 5000;
constexpr int kBusyRetryMs = 600;

// Sends the write parameters as for a disc that is closed after this session: the
// drive then reports the addresses of a session that may be the last one.
void WriteParametersToClose(TvxCDBurner& burner, uint8_t media) {
    const bool kept = burner.FinalizeDisc;
    burner.FinalizeDisc = true;
    drive::WriteParameters(burner, burner.TestWrite, burner.UnderrunProtection, media);
    burner.FinalizeDisc = kept;
}

bool ShowsDVDFactor(uint8_t media) {
    return drive::IsDVDRFamily(media) || media == kDVDPlusRW || media == kDVDPlusR;
}

}  // namespace

uint16_t ShownWriteSpeed(uint8_t media, uint16_t speed) {
    return ShowsDVDFactor(media) ? static_cast<uint16_t>(std::lround(speed / 7.0)) : speed;
}

void AnnounceWrite(TSCSIDevice& device, uint8_t media, uint16_t speed, bool testWrite) {
    if (!device.DoDebug) return;
    const char* name = media < drive::MediaTypeNames.size() ? drive::MediaTypeNames[media] : "";
    const std::string shown = fmt::format("{}X", ShownWriteSpeed(media, speed));
    device.DebugMsg(">>> " + fmt::format(fmt::runtime(messages::kStartingWrite), name, shown), kDebugProgress);
    if (testWrite) device.DebugMsg(">>> " + std::string(messages::kTestWrite), kDebugProgress);
}

void TThWrite::Execute() {
    // The flags and counters were set when the thread was started.
    job_.reader.SetErrorText("");
    if (toFile_) {
        WriteToFile();
    } else {
        WriteToDisc();
    }
    const std::string result = job_.reader.ErrorText();
    job_.releaseReader();
    job_.state.WriteInProgress = false;
    job_.burner.DoWriteDone(result);
}

void TThWrite::WriteToFile() {
    const std::string& name = job_.burner.ISOFileName;
    auto image = platform::File::create(name);
    if (!image) {
        StopWith(job_.reader, fmt::format(fmt::runtime(messages::kCantCreateFile), name));
        return;
    }
    std::unique_ptr<TCacheBlock> block;
    int32_t length = 0;
    while (NextBlock(job_.reader, job_.state, block, length) && length > 0) {
        job_.state.BytesWritten += length;
        // A full disk must not end as a complete image.
        if (!image->write(std::span(block->Data).first(static_cast<std::size_t>(length)))) {
            StopWith(job_.reader, fmt::format(fmt::runtime(messages::kCantWriteFile), name));
            return;
        }
    }
    if (!image->close() && job_.reader.ErrorText().empty())
        StopWith(job_.reader, fmt::format(fmt::runtime(messages::kCantWriteFile), name));
}

void TThWrite::WriteToDisc() {
    TvxCDBurner& burner = job_.burner;
    const uint8_t media = drive::MediaTypeCode(burner);
    drive::SetCurrentMediaType(media);
    uint32_t sessionStart = 0;
    if (PrepareDrive(media, sessionStart)) {
        BlockWriter writer(burner, job_.reader, job_.state, job_.options, media, sessionStart, kBusyRetryMs);
        SetKeepHandleOpen(true);
        writer.WriteAll();
        Finish(media, writer);
    }
    SetKeepHandleOpen(false);
    if (TransportName() == "KTASPI32") ReinitializeASPI();
}

bool TThWrite::PrepareDrive(uint8_t media, uint32_t& sessionStart) {
    TvxCDBurner& burner = job_.burner;
    const auto& sleep = job_.options.sleep;
    if (media != kDVDRAM) drive::StartStopUnit(burner, false);
    if (media != kDVDPlusRW) drive::RezeroUnit(burner);
    if (media != kDVDRAM) drive::SetCDSpeed(burner, burner.ReadSpeed, burner.WriteSpeed);
    drive::WaitUntilReady(burner, kSetupReadyMs, kSetupPollMs, sleep);
    const uint16_t speed = drive::ReadCurrentWriteSpeed(burner);
    WriteParametersToClose(burner, media);
    if (!SessionWhereLaidOut(media, sessionStart)) return false;
    if (drive::IsDVDRFamily(media)) {
        PrepareDVDTrack(burner, static_cast<uint32_t>(iso::ImageSizeBlocks(burner) + 1), job_.options.localTime());
        drive::WaitUntilReady(burner, kSetupReadyMs, kSetupPollMs, sleep);
    }
    if (media != kDVDRAM && !burner.TestWrite && burner.PerformOPC) drive::SendOPCInformation(burner);
    AnnounceWrite(burner, media, speed, burner.TestWrite);
    return true;
}

// The image's every extent counts from the block it was laid out for: on a
// sequential disc it is written only where the drive will put it.
bool TThWrite::SessionWhereLaidOut(uint8_t media, uint32_t& sessionStart) {
    TvxCDBurner& burner = job_.burner;
    const auto next = drive::ReadNextWritable(burner, burner.TestWrite, burner.UnderrunProtection, media,
                                              job_.options.sleep);
    const uint32_t laidOut = burner.Layout.SessionStart;
    // Random-access media are rewritten in place from the block of the layout.
    if (drive::IsRandomAccess(media)) {
        sessionStart = laidOut;
        return true;
    }
    sessionStart = next.value_or(0);
    if (sessionStart == laidOut) return true;
    StopWith(job_.reader, fmt::format(fmt::runtime(messages::kSessionMoved), sessionStart, laidOut));
    return false;
}

void TThWrite::Finish(uint8_t media, BlockWriter& writer) {
    TvxCDBurner& burner = job_.burner;
    writer.ReadBuffer();
    writer.Flush(drive::IsDVDRFamily(media), [&burner] { burner.DoFinalizingTrack(); });
    burner.DeviceBufferSize = 0;
    burner.DeviceFreeBufferSize = 0;
    // After a failure the session stays open and the drive as it is.
    if (!job_.reader.ErrorText().empty()) return;
    if (!burner.TestWrite && !drive::IsDVDRFamily(media) && media != kDVDRAM && burner.FinalizeTrack) {
        drive::WriteParameters(burner, burner.TestWrite, burner.UnderrunProtection, media);
        writer.CloseSession();
    }
    drive::WaitUntilReady(burner, kCloseReadyMs, kClosePollMs, job_.options.sleep);
    writer.ReadBuffer();
    ReturnToNeutralState(burner);
    if (!drive::IsDVDRFamily(media) && media != kDVDRAM && media != kDVDPlusRW) drive::RezeroUnit(burner);
}

}  // namespace tavrin::writing
