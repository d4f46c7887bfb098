// The compilation: the tables of directory and file entries with their capacities,
// the lists that link them into a tree, the indexes that find them, and the counts.
// There is one per process (SharedCompilation), as every burner component works on
// the same disc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compilation/entries.h"
#include "engine/compilation/path_index.h"

namespace tavrin::compilation {

class Compilation {
public:
    // Releases every entry, sets the capacities (maxDirs counts the root, at least 1)
    // and creates the root. TotalSize becomes 0; the GMT offset is read again.
    void Reset(std::size_t maxFiles, std::size_t maxDirs);
    // Releases every entry, the root included.
    void Release();

    PDirEntry Root() const { return root_; }
    std::size_t MaxFiles() const { return maxFiles_; }
    std::size_t MaxDirs() const { return maxDirs_; }
    // Directories, the root included, and file entries (files and subdirectory entries).
    std::size_t DirCount() const { return dirs_.size() - deadDirs_; }
    std::size_t FileCount() const { return files_.size() - deadFiles_; }

    // A zeroed record appended to the tables, or none when they are full. A new
    // directory is attached (indexed by its FullPath) once its fields are set.
    PDirEntry NewDirEntry();
    void AttachDirectory(PDirEntry dir);
    // Takes back the directory NewDirEntry gave last, before it was attached.
    void GiveBackDirEntry(PDirEntry dir);
    PFileEntry NewFileEntry();

    // Links the entry at the end of dir's list.
    void Append(PDirEntry dir, PFileEntry entry);
    void SetLongName(PFileEntry entry, std::string longName);
    // Unlinks the entry and deletes it, with the whole subtree of a subdirectory
    // entry; TotalSize loses what the files of it had added.
    void Delete(PFileEntry entry);

    // Lookups with the results of the walks through the tables and lists.
    PDirEntry FindDir(std::string_view path) const;
    PFileEntry FindChild(PDirEntry dir, std::string_view name) const;
    // The entry in dir's parent that stands for dir; none for the root.
    PFileEntry EntryOf(PDirEntry dir) const;

    // The tables in creation order; the two path-table orders may be sorted in place.
    std::span<const std::unique_ptr<TDEntry>> Dirs() const;
    std::vector<PDirEntry>& IsoOrder();
    std::vector<PDirEntry>& JolietOrder();
    std::span<const std::unique_ptr<TFEntry>> Files() const;

    int64_t TotalSize = 0;  // bytes of the added files, each in whole blocks
    int8_t GmtOffset = 0;   // 15-minute units east of Greenwich, standard time

private:
    void CompactDirs() const;
    void CompactFiles() const;

    std::size_t maxFiles_ = 0;
    std::size_t maxDirs_ = 0;
    PDirEntry root_ = nullptr;
    uint64_t nextSerial_ = 0;
    // Deleted records stay in the tables until the tables are read or full, so that
    // deleting many entries one by one costs no table walk each.
    mutable std::vector<std::unique_ptr<TDEntry>> dirs_;
    mutable std::vector<PDirEntry> isoOrder_;
    mutable std::vector<PDirEntry> jolietOrder_;
    mutable std::vector<std::unique_ptr<TFEntry>> files_;
    mutable std::size_t deadDirs_ = 0;
    mutable std::size_t deadFiles_ = 0;
    DirectoryIndex dirIndex_;
    ChildIndex childIndex_;
};

// The process-wide compilation.
Compilation& SharedCompilation();

}  // namespace tavrin::compilation
