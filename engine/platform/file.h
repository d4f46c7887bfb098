// Local files and folders. Every path is GBK, handed to the file system as UTF-8; a path
// with no UTF-8 form fails like a missing file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "engine/platform/local_time.h"

namespace tavrin::platform {

// An open file; closed when destroyed (without a report: call close() to learn whether
// everything written reached the file).
class File {
public:
    // Reading only; other programs may go on reading and writing it.
    static std::optional<File> openRead(std::string_view path);
    // Reading and writing an existing file, positioned at its end.
    static std::optional<File> openReadWrite(std::string_view path);
    // Creates the file or empties an existing one, for reading and writing.
    static std::optional<File> create(std::string_view path);
    // Every write goes to the end; the file is created when missing.
    static std::optional<File> openAppend(std::string_view path);

    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    bool isOpen() const { return fd_ >= 0; }

    // Fills the buffer from the current position; fewer bytes only at the end of the
    // file. None on a read error.
    std::optional<std::size_t> read(std::span<std::uint8_t> buffer);
    // As read(), at an offset, leaving the current position alone.
    std::optional<std::size_t> readAt(std::uint64_t offset, std::span<std::uint8_t> buffer);
    // All of the bytes, or false.
    bool write(std::span<const std::uint8_t> bytes);

    std::optional<std::uint64_t> size() const;
    std::optional<std::uint64_t> position() const;
    bool seek(std::uint64_t offset);

    bool setLastWriteTime(DosDateTime when);
    // Hands everything written to the device.
    bool flush();
    // Closes; false when the system reports a failed write at the close (as network
    // file systems do). Nothing is forced to the disk: flush() does that. The file is
    // closed either way.
    bool close();

private:
    explicit File(int fd) : fd_(fd) {}
    static std::optional<File> openWith(std::string_view path, int flags);
    int fd_ = -1;
};

bool Exists(std::string_view path);
bool IsDirectory(std::string_view path);
// True when the folder exists afterwards; missing parent folders are created too.
bool CreateFolders(std::string_view path);
bool SetLastWriteTime(std::string_view path, DosDateTime when);

}  // namespace tavrin::platform
