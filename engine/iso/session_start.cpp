// Where a new session goes on the disc in the drive.
#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/wait_ready.h"
#include "engine/drive/write_parameters.h"
#include "engine/iso/layout.h"

namespace tavrin::iso {

namespace {

constexpr int kReadyBudgetMs = 10000;
constexpr int kReadyPollMs = 500;
// The incomplete track of a sequential disc, where the next session is written.
constexpr uint8_t kInvisibleTrack = 255;
constexpr std::string_view kNoNextWritable = ">>> ERROR GETTING NEXT WRITABLE ADDRESS";

// Track information, in host order after READ TRACK INFORMATION.
constexpr std::size_t kDataLengthAt = 0;
constexpr std::size_t kFlagsAt = 7;
constexpr uint8_t kNextWritableValid = 0x01;
constexpr std::size_t kNextWritableAt = 12;
constexpr std::size_t kNextWritableEnd = 16;

// Random-access media hold one volume at block 0 that is rewritten in place.
bool IsRandomAccess(uint8_t code) { return code == drive::media::kDVDRAM || code == drive::media::kDVDPlusRW; }

uint32_t HostField32(std::span<const uint8_t> info, std::size_t at) {
    uint32_t value = 0;
    std::copy_n(info.begin() + static_cast<std::ptrdiff_t>(at), sizeof value, reinterpret_cast<uint8_t*>(&value));
    return value;
}

// The next writable address of the answer, when the drive says it has one.
std::optional<uint32_t> NextWritableOf(std::span<const uint8_t> info) {
    uint16_t dataLength = 0;
    std::copy_n(info.begin() + kDataLengthAt, sizeof dataLength, reinterpret_cast<uint8_t*>(&dataLength));
    // The length counts the bytes after the length field.
    if (std::size_t{dataLength} + 2 < kNextWritableEnd) return std::nullopt;
    if ((info[kFlagsAt] & kNextWritableValid) == 0) return std::nullopt;
    return HostField32(info, kNextWritableAt);
}

// Sets the drive up as for writing a session (the disc to be closed, for that one
// call) and asks the invisible track for its next writable address.
std::optional<uint32_t> QueryNextWritable(TvxCDBurner& burner, uint8_t code, const drive::SleepFn& sleep) {
    drive::WaitUntilReady(burner, kReadyBudgetMs, kReadyPollMs, sleep);
    {
        const bool kept = burner.FinalizeDisc;
        burner.FinalizeDisc = true;
        drive::WriteParameters(burner, burner.TestWrite, burner.UnderrunProtection, code);
        burner.FinalizeDisc = kept;
    }
    drive::WaitUntilReady(burner, kReadyBudgetMs, kReadyPollMs, sleep);
    if (!drive::ReadTrackInformation(burner, kInvisibleTrack)) return std::nullopt;
    return NextWritableOf(burner.TrackInformation);
}

}  // namespace

uint32_t NextSessionStart(TvxCDBurner& burner, const drive::SleepFn& sleep) {
    const uint8_t code = drive::MediaTypeCode(burner);
    drive::SetCurrentMediaType(code);
    if (IsRandomAccess(code)) return 0;
    const auto next = QueryNextWritable(burner, code, sleep);
    if (!next) {
        burner.DebugMsg(std::string(kNoNextWritable), kDebugTrace);
        return 0;
    }
    return *next > kLargestSessionStart ? 0 : *next;
}

}  // namespace tavrin::iso
