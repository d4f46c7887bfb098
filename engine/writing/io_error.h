// The input/output error of the engine: a file operation on a local file failed.
// It names the file (GBK, as the engine holds paths) and the system's reason.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrin {

class IOError : public std::runtime_error {
public:
    IOError(std::string path, std::string reason);

    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// The error for a call that failed with `error` (an errno value); 0, when the call
// left no system error, gives `fallback` as the reason.
IOError IOErrorFromSystem(std::string_view path, int error, std::string_view fallback);

}  // namespace tavrin
