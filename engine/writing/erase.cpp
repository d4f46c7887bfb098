#include "engine/writing/erase.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "engine/device/messages.h"
#include "engine/device/quirks.h"
#include "engine/device/transport.h"
#include "engine/drive/capabilities.h"
#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/sense_fields.h"
#include "engine/drive/write_parameters.h"
#include "engine/writing/neutral_state.h"

namespace tavrin::writing {
namespace {

constexpr int kReadyTimeoutMs = 5000;
constexpr int kReadyWaitMs = 30000;
constexpr int kReadyPollMs = 5000;
constexpr int kShortRoundMs = 2000;
constexpr int kLongRoundMs = 5000;
constexpr double kShortRoundSeconds = 2;
constexpr double kLongRoundSeconds = 5;
constexpr uint8_t kRequestSenseLength = 40;

using drive::kAscNotReady;
using drive::LastAsc;

// FOV = 1, Immed = 1.
constexpr uint8_t kFormatListFlags = 0x82;
constexpr uint8_t kFormatDescriptorLength = 8;
constexpr uint32_t kDvdRamBlocks = 2236704;
constexpr uint32_t kDvdRamBlockLength = 2048;
constexpr uint8_t kFormatTypeFull = 0x00;
constexpr uint8_t kFormatTypeDvdPlusRw = 0x26;


bool IsFormatted(uint8_t media) { return media == drive::media::kDVDRAM || media == drive::media::kDVDPlusRW; }

void PutBE(std::array<uint8_t, kFormatListBytes>& list, std::size_t at, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) list[at + static_cast<std::size_t>(i)] = value & 0xFF;
}

// The speed the start line shows: DVD drives report CD factors, about seven to
// one DVD factor.
uint16_t ShownSpeed(uint8_t media, uint16_t speed) {
    using namespace drive::media;
    if (media == kDVDRAM) return 1;
    if (media == kDVDR || media == kDVDRW || media == kDVDRWAlternate || media == kDVDPlusRW)
        return static_cast<uint16_t>(std::lround(speed / 7.0));
    return speed;
}

}  // namespace

uint16_t ExpectedEraseSeconds(uint8_t mediaType, uint8_t quick) {
    if (drive::IsCDFamily(mediaType)) return quick == 1 ? 150 : 4500;
    if (quick == 1) return mediaType == drive::media::kDVDRW ? 120 : 600;
    return quick == 0 ? 4440 : 8880;
}

std::array<uint8_t, kFormatListBytes> FormatParameterList(uint8_t mediaType) {
    std::array<uint8_t, kFormatListBytes> list{};
    if (!IsFormatted(mediaType)) return list;
    list[kFormatListHeader + 1] = kFormatListFlags;
    list[kFormatListHeader + 3] = kFormatDescriptorLength;
    if (mediaType == drive::media::kDVDRAM) {
        PutBE(list, kFormatDescriptorBlocks, kDvdRamBlocks, 4);
        list[kFormatDescriptorType] = kFormatTypeFull << 2;
        PutBE(list, kFormatDescriptorParameter, kDvdRamBlockLength, 3);
    } else {
        list[kFormatDescriptorType] = kFormatTypeDvdPlusRw << 2;
    }
    return list;
}

// --- the waiting thread ------------------------------------------------------

TEraseThread::TEraseThread(TSCSIDevice& device, uint8_t media, uint16_t expectedSeconds, EraseDoneFn done,
                           drive::SleepFn sleep)
    : Media(media), Device(device), ExpectedSeconds(expectedSeconds), done_(std::move(done)),
      sleep_(std::move(sleep)) {}

TEraseThread::~TEraseThread() { Join(); }

void TEraseThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TEraseThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TEraseThread::ShowProgress() {
    // Each wait runs at least one round, so x can already be past the
    // expected time when a round starts.
    const double share = ExpectedSeconds == 0 ? 1.0 : std::min(x_ / ExpectedSeconds, 1.0);
    progress_.store(static_cast<int>(std::lround(share * 100)));
}

void TEraseThread::WaitWithTestUnitReady() {
    do {
        ShowProgress();
        if (!drive::TestUnitReady(Device, kReadyTimeoutMs)) sleep_(kShortRoundMs);
        x_ += kShortRoundSeconds;
    } while (LastAsc(Device) == kAscNotReady && Counting());
}

void TEraseThread::WaitWithDiscInformation() {
    do {
        ShowProgress();
        drive::ReadDiscInfo(Device);
        x_ += kLongRoundSeconds;
        if (LastAsc(Device) == kAscNotReady) sleep_(kLongRoundMs);
    } while (LastAsc(Device) == kAscNotReady && Counting());
}

void TEraseThread::WaitWithRequestSense() {
    auto& sense = drive::Buffers().sense;
    uint8_t asc = 0;
    do {
        ShowProgress();
        sense.fill(0);
        drive::RequestSense(Device, sense, kRequestSenseLength);
        x_ += kShortRoundSeconds;
        asc = sense[drive::kSenseResponseAt] == drive::kResponseValidCurrent ? kAscNotReady : sense[drive::kSenseAscAt];
        sleep_(kShortRoundMs);
    } while (asc != 0 && Counting());
}

void TEraseThread::Execute() {
    progress_.store(0);
    x_ = 0;
    SetKeepHandleOpen(true);
    if (Device.QuirkDVR10x) WaitWithTestUnitReady();
    if (QuirkSlowReady()) {
        WaitWithTestUnitReady();
        drive::ReadDiscInfo(Device);
        sleep_(kLongRoundMs);
    }
    if (!drive::TestUnitReady(Device, kReadyTimeoutMs) || !drive::ReadDiscInfo(Device)) {
        if (Media != drive::media::kDVDRAM) WaitWithDiscInformation();
        WaitWithTestUnitReady();
        WaitWithRequestSense();
    }
    if (TransportName() == "KTASPI32") ReinitializeASPI();
    progress_.store(100);
    // Reported before the reset, while Erasing still reads true.
    if (done_) done_(false);
    NeutralState();
    finished_.store(true);
}

void TEraseThread::NeutralState() {
    ReturnToNeutralState(Device);
    Device.Erasing = false;
}

// --- starting an erase -------------------------------------------------------

DiscEraser::DiscEraser(TvxCDBurner& burner, drive::SleepFn sleep)
    : DiscEraser(
          burner, [&burner](bool withError) { burner.DoEraseDone(withError); }, std::move(sleep)) {}

DiscEraser::DiscEraser(TSCSIDevice& device, EraseDoneFn done, drive::SleepFn sleep)
    : device_(device), done_(std::move(done)), sleep_(std::move(sleep)) {}

DiscEraser::~DiscEraser() { WaitDone(); }

bool DiscEraser::Erasing() const { return thread_ && !thread_->Finished(); }

int DiscEraser::EraseProgress() const { return Erasing() ? thread_->Progress() : 0; }

void DiscEraser::WaitDone() {
    if (thread_) thread_->Join();
}

bool DiscEraser::Refuse() {
    if (done_) done_(true);
    return false;
}

bool DiscEraser::DriveReady() {
    return drive::TestUnitReady(device_, kReadyTimeoutMs) ||
           drive::WaitUntilReady(device_, kReadyWaitMs, kReadyPollMs, sleep_);
}

void DiscEraser::SendSpeedAndWriteParameters(uint8_t media) {
    if (media == drive::media::kDVDRAM) return;
    drive::SetCDSpeed(device_, device_.ReadSpeed, device_.WriteSpeed);
    drive::WriteParameters(device_, false, false, media);
}

void DiscEraser::AnnounceStart(uint8_t media, uint16_t speed) {
    if (media == drive::media::kDVDRAM) {
        uint32_t unused = 0;
        drive::ReadFormatCapacities(device_, unused);
    }
    if (!device_.DoDebug) return;
    const char* name = media < drive::MediaTypeNames.size() ? drive::MediaTypeNames[media] : "";
    const std::string shown = fmt::format("{}X", ShownSpeed(media, speed));
    device_.DebugMsg(">>> " + fmt::format(fmt::runtime(messages::kStartingErase), name, shown), kDebugProgress);
}

bool DiscEraser::SendEraseCommand(uint8_t media, uint8_t quick) {
    if (IsFormatted(media)) {
        auto list = FormatParameterList(media);
        return drive::FormatUnit(device_, kFormatUnitOptions, list);
    }
    // The blanking type is the lowest bit of the byte; any other Quick value
    // would land in reserved bits.
    return drive::Blank(device_, quick & 0x01);
}

bool DiscEraser::EraseDisc(uint8_t Quick) {
    // One erase at a time: the running one owns the drive.
    if (Erasing()) return Refuse();
    thread_.reset();

    drive::TestUnitReady(device_, kReadyTimeoutMs);
    drive::StartStopUnit(device_, false);
    const uint8_t media = drive::MediaTypeCode(device_);
    drive::SetCurrentMediaType(media);
    if (!DriveReady()) return Refuse();

    SendSpeedAndWriteParameters(media);
    const uint16_t speed = drive::ReadCurrentWriteSpeed(device_);
    if (!DriveReady()) return Refuse();
    AnnounceStart(media, speed);

    if (!SendEraseCommand(media, Quick)) {
        device_.Erasing = false;
        return Refuse();
    }
    thread_ = std::make_unique<TEraseThread>(device_, media, ExpectedEraseSeconds(media, Quick), done_, sleep_);
    device_.Erasing = true;
    thread_->Start();
    return true;
}

}  // namespace tavrin::writing
