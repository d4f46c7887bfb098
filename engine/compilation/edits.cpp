// Changing the compilation after entries were added: counts, renaming, copying,
// deleting, and clearing the archive bits once the files are on a disc.
#include <string>
#include <vector>

#include "engine/compilation/burner.h"
#include <fmt/format.h>

#include "engine/compilation/name_limits.h"
#include "engine/compilation/names.h"
#include "engine/compilation/texts.h"
#include "engine/platform/archive_bit.h"

namespace tavrin {

namespace {

// The longest ISO name a rename accepts.
constexpr std::size_t kShortNameBytes = 13;

bool IsWithin(PDirEntry dir, PDirEntry ancestor) {
    for (PDirEntry d = dir; d != nullptr; d = d->Parent) {
        if (d == ancestor) return true;
        if (d->Parent == d) break;  // the root
    }
    return false;
}

}  // namespace

int TvxCDBurner::DirsCount() const {
    const std::size_t dirs = tree_.DirCount();
    return dirs == 0 ? 0 : static_cast<int>(dirs - 1);
}

int TvxCDBurner::FilesCount() const {
    return static_cast<int>(tree_.FileCount());
}

bool TvxCDBurner::RenameFile(std::string_view DirPath, std::string_view OldName, std::string_view NewShortName,
                             std::string_view NewLongName) {
    const PFileEntry entry = FindFile(DirPath, OldName);
    // A subdirectory is renamed by copying it: its directory and path change too.
    if (entry == nullptr || entry->IsSubdirectory()) return false;
    // Nothing may give a file a name its directory record cannot carry.
    if (!compilation::FitsDirectoryRecord(NewLongName, false)) {
        DebugMsg(fmt::format(fmt::runtime(compilation::texts::kNameTooLong), NewLongName), kDebugImage);
        return false;
    }
    tree_.SetLongName(entry, std::string(NewLongName));
    const std::string_view candidate = NewShortName.empty() ? NewLongName : NewShortName;
    if (candidate.size() > kShortNameBytes) return false;
    entry->ShortName = compilation::AsciiUpper(candidate);
    return true;
}

bool TvxCDBurner::CopyFile(std::string_view DestPath, std::string_view SourcePath, uint32_t Address,
                           std::string_view Name) {
    const PDirEntry destination = FindDir(DestPath);
    const PDirEntry source = FindDir(SourcePath);
    if (destination == nullptr || source == nullptr) return false;
    const PFileEntry original = FindChild(source, Name);
    // A subdirectory entry cannot be shared: two entries would stand for one directory.
    if (original == nullptr || original->IsSubdirectory()) return false;
    const PFileEntry copy = NewFileEntry();
    if (copy == nullptr) return false;
    copy->ShortName = original->ShortName;
    copy->LongName = original->LongName;
    copy->Size = original->Size;
    copy->JolietSize = original->JolietSize;
    copy->Attr = original->Attr;
    copy->DateTime = original->DateTime;
    copy->SourcePath = original->SourcePath;
    copy->ClearArchive = original->ClearArchive;
    copy->Imported = original->Imported;
    if (Address != 0) {
        // Data at a given disc address is on the disc already, like an imported file:
        // it adds nothing to TotalSize now, so deleting it must not take anything away.
        copy->IsoExtent = copy->JolietExtent = Address;
        copy->Imported = true;
    } else if (original->Imported) {
        copy->IsoExtent = original->IsoExtent;
        copy->JolietExtent = original->JolietExtent;
    } else {
        tree_.TotalSize += static_cast<int64_t>(BlockRounded(copy->Size));
    }
    tree_.Append(destination, copy);
    return true;
}

bool TvxCDBurner::CopyDir(std::string_view DestPath, std::string_view SourcePath, bool ArchiveOnly) {
    const PDirEntry source = FindDir(SourcePath);
    if (source == nullptr) return false;
    // Copying a folder into itself or below itself would copy its own copies again.
    if (const PDirEntry destination = FindDir(DestPath); destination != nullptr && IsWithin(destination, source)) {
        return false;
    }
    std::vector<PFileEntry> entries;
    for (PFileEntry entry = source->FirstEntry; entry != nullptr; entry = entry->Next) entries.push_back(entry);

    const std::string destPath(DestPath);
    const std::string sourcePath(SourcePath);
    for (const PFileEntry entry : entries) {
        const std::string& name = entry->LongName;
        if (entry->IsSubdirectory()) {
            InsertDir(destPath, "\\" + name + "\\", "*.*", 63, true, true, ArchiveOnly);
            CopyDir(destPath + name + "\\", sourcePath + name + "\\", ArchiveOnly);
        } else {
            CopyFile(destPath, sourcePath, 0, name);
        }
    }
    return true;
}

bool TvxCDBurner::DeleteEntry(PDirEntry Dir, PFileEntry Entry) {
    if (Dir == nullptr || Entry == nullptr || Entry->Owner != Dir) return false;
    tree_.Delete(Entry);
    return true;
}

bool TvxCDBurner::DeleteFile(std::string_view DirPath, std::string_view Name) {
    const PDirEntry dir = FindDir(DirPath);
    if (dir == nullptr) return false;
    return DeleteEntry(dir, FindChild(dir, Name));
}

bool TvxCDBurner::DeleteDir(PDirEntry& Dir) {
    if (Dir == nullptr || Dir == Root() || Dir->FullPath == "\\") return false;
    // The entry that stands for this very directory (another entry of the parent may
    // carry the same name), deleted with everything below it.
    if (const PFileEntry own = tree_.EntryOf(Dir)) {
        tree_.Delete(own);
    } else {
        while (Dir->FirstEntry != nullptr) tree_.Delete(Dir->FirstEntry);
    }
    Dir = nullptr;
    return true;
}

bool TvxCDBurner::DeleteDir(std::string_view Path) {
    PDirEntry dir = FindDir(Path);
    return DeleteDir(dir);
}

bool TvxCDBurner::ResetArchiveAttributes() {
    for (const auto& entry : tree_.Files()) {
        if (entry->IsSubdirectory() || (entry->Attr & platform::kAttrArchive) == 0 || !entry->ClearArchive) continue;
        platform::ResetArchiveBit(entry->SourcePath);  // a vanished or imported file is no failure here
    }
    return true;
}

}  // namespace tavrin
