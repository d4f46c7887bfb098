#include "engine/platform/directory.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <utility>
#include <sys/stat.h>

#include "engine/platform/archive_bit.h"
#include "engine/platform/gbk.h"

namespace tavrin::platform {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool IsDotOrDotDot(std::string_view name) {
    return name == "." || name == "..";
}

// archived: asked for files only; folders are never written to a disc as such, so
// they carry no archive bit.
template <typename ArchiveBit>
SearchRecord RecordOf(std::string gbkName, const struct stat& st, const ArchiveBit& archived) {
    SearchRecord record;
    const bool directory = S_ISDIR(st.st_mode);
    if (directory) record.attr |= kAttrDirectory;
    if (!gbkName.empty() && gbkName[0] == '.' && !IsDotOrDotDot(gbkName)) record.attr |= kAttrHidden;
    if ((st.st_mode & S_IWUSR) == 0) record.attr |= kAttrReadOnly;
    if (!directory && archived()) record.attr |= kAttrArchive;
    record.time = DosFromTime(st.st_mtim.tv_sec);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    record.sizeHigh = static_cast<std::uint32_t>(size >> 32);
    record.sizeLow = static_cast<std::uint32_t>(size);
    record.name = std::move(gbkName);
    return record;
}

// The status of an entry and of what a symbolic link points to; a dangling link is
// listed as the link itself.
bool StatEntry(int dirFd, const char* name, struct stat& st) {
    return ::fstatat(dirFd, name, &st, 0) == 0 ||
           ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The last part of a path, trailing "/" ignored. A GBK trail byte is never "/", so
// the bytes can be searched directly.
std::string_view LastPart(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.find_last_of('/');
    if (slash == std::string_view::npos || path.size() == 1) return path;
    return path.substr(slash + 1);
}

}  // namespace

std::optional<DirectoryListing> ListDirectory(std::string_view path) {
    const auto native = GbkToUtf8(path);
    if (!native) return std::nullopt;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(native->c_str()));
    if (!dir) return std::nullopt;

    std::string prefix = *native;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    Converter toGbk(Charset::Utf8, Charset::Gbk);
    if (!toGbk.valid()) return std::nullopt;  // else every name would look unlistable
    DirectoryListing listing;
    const int dirFd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            // A read error part-way must not pass for the end of a shorter folder.
            if (errno != 0) return std::nullopt;
            break;
        }
        const std::string_view name = entry->d_name;
        auto gbkName = toGbk.convert(name);
        if (!gbkName) {
            listing.unlistable.emplace_back(name);
            continue;
        }
        struct stat st{};
        if (!StatEntry(dirFd, entry->d_name, st)) continue;  // vanished since readdir
        const auto archived = [&] {
            return HasArchiveBitAt(dirFd, entry->d_name, (prefix + entry->d_name).c_str(), st);
        };
        listing.entries.push_back(RecordOf(std::move(*gbkName), st, archived));
    }
    return listing;
}

std::optional<SearchRecord> StatRecord(std::string_view path) {
    const auto native = GbkToUtf8(path);
    struct stat st{};
    if (!native || ::stat(native->c_str(), &st) != 0) return std::nullopt;
    return RecordOf(std::string(LastPart(path)), st, [&] { return HasArchiveBitNative(native->c_str(), st); });
}

}  // namespace tavrin::platform
