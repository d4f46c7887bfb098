// File helpers shared by the disc and recorder folders: an owned descriptor and
// the atomic replacement of a small metadata file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tavrin::vrecorder {

// An owned file descriptor, closed when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

// Replaces `file` with `contents` so that a reader sees the old or the new text,
// never a mix: write a temporary file beside it, (fsync), rename, (fsync the
// folder). Without `durable` the two fsyncs are skipped: the rename still survives
// a killed process, only not a power cut. Returns false and sets `error`.
bool replaceFileAtomically(const std::filesystem::path& file, std::string_view contents,
                           bool durable, std::string& error);

// Whole contents of a small file; false and `error` when it cannot be read.
bool readSmallFile(const std::filesystem::path& file, std::string& contents, std::string& error);

}  // namespace tavrin::vrecorder
