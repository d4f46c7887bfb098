#include "app/error_log.h"

#include <fstream>
#include <system_error>

namespace tavrin::app {
namespace {

constexpr const char* kEntryRule = " ********* ----------------------------------- ********* ";
constexpr const char* kLineEnd = "\r\n";

}  // namespace

std::string ErrorLogEntry(const std::string& time, const std::string& position, const std::string& message) {
    return std::string(kEntryRule) + kLineEnd + "Time: " + time + kLineEnd + "Error Position: " + position +
           kLineEnd + "Error: " + message + kLineEnd;
}

bool AppendErrorLog(const std::filesystem::path& logFile, const std::string& entry) {
    std::error_code error;
    if (!std::filesystem::exists(logFile, error)) {
        std::filesystem::create_directories(logFile.parent_path(), error);
        if (error) return false;
        if (!std::ofstream(logFile, std::ios::binary)) return false;
    }
    std::ofstream out(logFile, std::ios::binary | std::ios::app);
    out << entry << kLineEnd;
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace tavrin::app
