#include "app/upgrade_poll.h"

#include <filesystem>

namespace tavrin::app {

UpgradeCheck::UpgradeCheck(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return;
    library_.emplace(path);
    if (library_->loaded()) isDone_ = library_->function<IsDoneFn>("is_done");
}

bool UpgradeCheck::IsDone() const { return isDone_ != nullptr && isDone_(); }

}  // namespace tavrin::app
