// The error log: every exception that reaches the window's message loop becomes a
// four-line entry in Log/Log.txt beside the program, and the window's caption.
#pragma once

#include <filesystem>
#include <string>

namespace tavrin::app {

// " ********* ---...--- ********* ", "Time: ...", "Error Position: ...",
// "Error: ...", each ended by CR LF. GBK in, GBK out.
std::string ErrorLogEntry(const std::string& time, const std::string& position, const std::string& message);

// Appends the entry and one more CR LF (an empty line between entries), making the
// folder and the file first when they are missing. False when the entry was dropped.
bool AppendErrorLog(const std::filesystem::path& logFile, const std::string& entry);

}  // namespace tavrin::app
