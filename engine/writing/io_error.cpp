#include "engine/writing/io_error.h"

#include <system_error>
#include <utility>

namespace tavrin {

IOError::IOError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason)) {}

IOError IOErrorFromSystem(std::string_view path, int error, std::string_view fallback) {
    std::string reason = error != 0 ? std::generic_category().message(error) : std::string(fallback);
    return IOError(std::string(path), std::move(reason));
}

}  // namespace tavrin
