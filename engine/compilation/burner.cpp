#include "engine/compilation/burner.h"

#include "engine/drive/capabilities.h"

namespace tavrin {

TvxCDBurner::TvxCDBurner() : tree_(compilation::SharedCompilation()) {
    WritePostGap = true;
    ClearAll(kDefaultMaxFiles, kDefaultMaxDirs);
    SetCacheSize(kDefaultCacheSize);
    JolietFileSystem = true;
    FinalizeTrack = true;
    UnderrunProtection = true;
}

TvxCDBurner::~TvxCDBurner() {
    HeaderStream.clear();
    tree_.Release();
}

void TvxCDBurner::SetCacheSize(int32_t bytes) {
    constexpr int32_t kBlock = static_cast<int32_t>(kBlockBytes);
    cacheSize_ = bytes < kMinimumCacheSize ? kMinimumCacheSize : bytes / kBlock * kBlock;
}

void TvxCDBurner::SetWriteSpeed(uint16_t factor) {
    drive::SetWriteSpeed(*this, factor);
}

void TvxCDBurner::DoWriteDone(const std::string& error) {
    if (OnWriteDone) OnWriteDone(*this, error);
}

void TvxCDBurner::DoFinalizingTrack() {
    if (OnFinalizingTrack) OnFinalizingTrack(*this);
}

void TvxCDBurner::DoEraseDone(bool withError) {
    if (OnEraseDone) OnEraseDone(*this, withError);
}

}  // namespace tavrin
