// Where a new session goes on the disc in the drive.
#include <string>

#include "engine/drive/media_info.h"
#include "engine/drive/media_types.h"
#include "engine/drive/next_writable.h"
#include "engine/iso/layout.h"

namespace tavrin::iso {

namespace {

constexpr std::string_view kNoNextWritable = ">>> ERROR GETTING NEXT WRITABLE ADDRESS";

}  // namespace

uint32_t NextSessionStart(TvxCDBurner& burner, const drive::SleepFn& sleep) {
    const uint8_t code = drive::MediaTypeCode(burner);
    drive::SetCurrentMediaType(code);
    if (drive::IsRandomAccess(code)) return 0;
    const auto next = drive::ReadNextWritable(burner, burner.TestWrite, burner.UnderrunProtection, code, sleep);
    if (!next) {
        burner.DebugMsg(std::string(kNoNextWritable), kDebugTrace);
        return 0;
    }
    return *next;
}

}  // namespace tavrin::iso
