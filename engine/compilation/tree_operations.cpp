// Building the compilation: finding entries, creating directories by name and by
// path, adding files from directory listings and scanning whole folders.
#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/compilation/local_paths.h"
#include "engine/compilation/name_limits.h"
#include "engine/compilation/names.h"
#include "engine/compilation/texts.h"
#include "engine/device/messages.h"
#include "engine/platform/gbk.h"

namespace tavrin {

namespace {

using compilation::AsciiUpper;

// The data length of an ISO 9660 directory record is 32 bits wide.
constexpr uint64_t kLargestRecordableFile = 0xFFFFFFFFull;
// Names this long are offered to the OnAddFile handler already marked as skipped.
constexpr std::size_t kSkippedNameBytes = 128;
constexpr uint32_t kDirectoryAttr = platform::kAttrDirectory;

// Linux listings have no 8.3 alternate name: the long name stands in for it, with
// the bytes an ISO 9660 name cannot hold (GBK, blanks) replaced, so that readers
// do not show the ISO tree garbled.
std::string ShortNameOf(const TSearchRec& rec) {
    return rec.alternateName.empty() ? compilation::IsoSafeName(rec.name) : rec.alternateName;
}

bool IsDotOrDotDot(std::string_view name) {
    return name == "." || name == "..";
}

// A file name as the file system spells it (UTF-8), with every character that has no
// GBK form written as <U+XXXX> and every byte that is no UTF-8 as <XX>.
std::string ReadableName(std::string_view utf8) {
    platform::Converter toGbk(platform::Charset::Utf8, platform::Charset::Gbk);
    std::string readable;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        const auto character = length == 0 ? std::string_view{} : utf8.substr(i, length);
        const auto gbk = character.size() == length && length > 0 ? toGbk.convert(character) : std::nullopt;
        if (gbk) {
            readable += *gbk;
            i += length;
            continue;
        }
        if (character.size() != length || length < 2) {
            readable += fmt::format("<{:02X}>", lead);
            ++i;
            continue;
        }
        uint32_t code = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(character[k]) & 0x3F);
        readable += fmt::format("<U+{:04X}>", code);
        i += length;
    }
    return readable;
}

// Whether the long name fits a directory record; a refused one is named (by its
// source or compilation path) on the debug channel.
bool FitsRecord(TvxCDBurner& burner, std::string_view longName, bool isDirectory, std::string_view named) {
    if (compilation::FitsDirectoryRecord(longName, isDirectory)) return true;
    burner.DebugMsg(fmt::format(fmt::runtime(compilation::texts::kNameTooLong), named), kDebugImage);
    return false;
}

}  // namespace

PDirEntry TvxCDBurner::NewDirEntry() {
    const PDirEntry dir = tree_.NewDirEntry();
    if (dir == nullptr) {
        DebugMsg(std::string(compilation::texts::kNote) +
                     fmt::format(fmt::runtime(messages::kMaximumDirectories), tree_.MaxDirs()),
                 kDebugCapacity);
    }
    return dir;
}

PFileEntry TvxCDBurner::NewFileEntry() {
    const PFileEntry entry = tree_.NewFileEntry();
    if (entry == nullptr) DebugMsg(fmt::format(fmt::runtime(messages::kMaximumFiles), tree_.MaxFiles()), kDebugCapacity);
    return entry;
}

bool TvxCDBurner::ClearAll(int MaxFiles, int MaxDirs) {
    HeaderStream.clear();
    tree_.Reset(static_cast<std::size_t>(std::max(MaxFiles, 0)), static_cast<std::size_t>(std::max(MaxDirs, 1)));
    return true;
}

PDirEntry TvxCDBurner::FindDir(std::string_view Path) const {
    return tree_.FindDir(Path);
}

PFileEntry TvxCDBurner::FindChild(PDirEntry Dir, std::string_view Name) const {
    return tree_.FindChild(Dir, Name);
}

PFileEntry TvxCDBurner::FindFile(std::string_view DirPath, std::string_view Name) const {
    return FindChild(FindDir(DirPath), Name);
}

bool TvxCDBurner::GetNextEntry(PDirEntry Dir, int& Kind, PFileEntry& Cursor) const {
    if (Dir == nullptr) return false;
    const PFileEntry candidate = Cursor != nullptr ? Cursor->Next : Dir->FirstEntry;
    if (candidate == nullptr) return false;
    Cursor = candidate;
    Kind = candidate->IsSubdirectory() ? kEntrySubdirectory : kEntryFile;
    return true;
}

PDirEntry TvxCDBurner::CreateDir(PDirEntry Parent, const TSearchRec& Rec) {
    if (Parent == nullptr) return nullptr;
    std::string path = Parent->FullPath + compilation::kBackslash + Rec.name;
    if (path.starts_with("\\\\")) path.erase(0, 1);
    if (const PDirEntry existing = FindDir(path)) return existing;
    if (!FitsRecord(*this, Rec.name, true, path)) return nullptr;

    const PDirEntry dir = NewDirEntry();
    if (dir == nullptr) return nullptr;
    const PFileEntry entry = NewFileEntry();
    if (entry == nullptr) {
        tree_.GiveBackDirEntry(dir);
        return nullptr;
    }
    const std::string shortName = ShortNameOf(Rec);
    dir->Parent = Parent;
    dir->LongName = Rec.name;
    dir->ShortName = shortName;
    dir->Level = static_cast<uint8_t>(Parent->Level + 1);
    dir->FullPath = AsciiUpper(path);
    tree_.AttachDirectory(dir);

    entry->LongName = Rec.name;
    entry->ShortName = shortName;
    entry->Attr = Rec.attr;
    entry->Dir = dir;
    entry->DateTime = compilation::DateTimeFromDos(Rec.time);
    tree_.Append(Parent, entry);
    return dir;
}

PDirEntry TvxCDBurner::CreateDir(PDirEntry Parent, std::string_view Name, uint32_t Attr) {
    const std::string_view name = compilation::WithoutTrailingBackslash(compilation::WithoutLeadingBackslash(Name));
    TSearchRec rec;
    rec.name = std::string(name);
    rec.alternateName = compilation::MakeShortName(name);
    rec.time = platform::DosFromLocal(platform::LocalNow()).value_or(0);
    rec.attr = Attr;
    return CreateDir(Parent, rec);
}

PDirEntry TvxCDBurner::CreateDirPath(std::string_view Path) {
    if (Root() == nullptr) return nullptr;
    if (const PDirEntry found = FindDir(Path)) return found;
    const auto slash = compilation::LastBackslash(Path);
    const std::string_view head = slash ? Path.substr(0, *slash) : std::string_view{};
    const std::string_view name = slash ? Path.substr(*slash + 1) : Path;
    if (FindDir(head) == nullptr) CreateDirPath(head);
    if (name.empty()) return nullptr;
    return CreateDir(FindDir(head), name, kDirectoryAttr);
}

bool TvxCDBurner::InsertFile(PDirEntry DestinationPath, const TSearchRec& Rec, bool ArchiveOnly, uint32_t Address,
                             std::string_view SourcePath) {
    const PDirEntry dir = DestinationPath;
    if (dir == nullptr) return false;
    std::string longName = Rec.name;
    std::string shortName = ShortNameOf(Rec);
    if ((Rec.attr & kDirectoryAttr) == 0) {
        // The ISO name needs its separator; the long name stays the file's own, as
        // a trailing "." would come back as part of the name on every reader here.
        if (shortName.find('.') == std::string::npos) shortName += '.';
    }
    const PFileEntry existing = FindChild(dir, longName);
    const uint64_t fileSize = Rec.size();
    if (fileSize > kLargestRecordableFile) {
        const std::string_view named = SourcePath.empty() ? std::string_view(longName) : SourcePath;
        DebugMsg(fmt::format(fmt::runtime(compilation::texts::kFileTooLarge), named), kDebugImage);
        return false;
    }
    TDateTime dateTime = compilation::DateTimeFromDos(Rec.time);
    // A file never takes the place of a subdirectory entry: its directory would be
    // left in the tables with no entry standing for it.
    const bool replace = existing != nullptr && ReplaceFile && !existing->IsSubdirectory();
    bool skip = longName.size() >= kSkippedNameBytes;
    if (OnAddFile) {
        OnAddFile(*this, std::string(SourcePath), longName, shortName, dateTime, Rec.attr, fileSize, skip);
    }
    if (skip) return false;
    if (!replace && existing != nullptr) return false;
    if (!FitsRecord(*this, longName, false, SourcePath.empty() ? std::string_view(longName) : SourcePath)) return false;

    const PFileEntry entry = replace ? existing : NewFileEntry();
    if (entry == nullptr) return false;
    entry->ShortName = AsciiUpper(shortName);
    if (replace) {
        if (!entry->Imported) tree_.TotalSize -= static_cast<int64_t>(BlockRounded(entry->Size));
        tree_.SetLongName(entry, std::move(longName));
    } else {
        entry->LongName = std::move(longName);
    }
    entry->Size = entry->JolietSize = fileSize;
    entry->Attr = Rec.attr;
    entry->DateTime = dateTime;
    entry->SourcePath = std::string(SourcePath);
    entry->ClearArchive = ArchiveOnly;
    if (Address != 0) {
        entry->IsoExtent = entry->JolietExtent = Address;
        entry->Imported = true;
    } else {
        entry->Imported = false;
        tree_.TotalSize += static_cast<int64_t>(BlockRounded(fileSize));
    }
    if (!replace) tree_.Append(dir, entry);
    return true;
}

std::string TvxCDBurner::SavedFolderPath(std::string_view folder) const {
    std::string path = compilation::CompilationFolderOf(folder);
    return StripSourcePath ? compilation::KeepLastFolder(path) : path;
}

int TvxCDBurner::InsertFile(std::string_view DestinationPath, std::string_view SourceFile, bool SavePath) {
    PDirEntry target = nullptr;
    if (SavePath) {
        const std::string folder = SavedFolderPath(compilation::FolderPart(SourceFile));
        CreateDirPath(folder);
        target = FindDir(folder);
    } else {
        target = FindDir(DestinationPath);
    }
    if (target == nullptr) {
        DebugMsg(std::string(messages::kInvalidDestinationPath), kDebugImage);
        return 0;
    }
    const auto rec = platform::StatRecord(SourceFile);
    if (!rec) return -1;
    InsertFile(target, *rec, false, 0, SourceFile);
    return 1;
}

bool TvxCDBurner::InsertDir(PDirEntry Dir, std::string_view Source, std::string_view Mask, int Attr, bool Recursive,
                            bool SavePath, bool ArchiveOnly) {
    if (Dir == nullptr) return false;
    if (SavePath) {
        std::string folder = SavedFolderPath(Source);
        if (!Dir->FullPath.empty() && Dir->FullPath != "\\") folder = Dir->FullPath + folder;
        CreateDirPath(folder);
        Dir = FindDir(folder);
        if (Dir == nullptr) {
            DebugMsg(std::string(messages::kInvalidDestinationPath), kDebugImage);
            return false;
        }
    }
    // Only folders of this machine are listed; a network path or a compilation path
    // (a copy inside the compilation) only creates the folder above.
    if (!compilation::IsLocalPath(Source) || !Recursive) return false;
    std::string source(Source);
    if (!source.ends_with(compilation::kSlash)) source += compilation::kSlash;
    return ScanFolder(Dir, source, Mask, Attr, Recursive, ArchiveOnly);
}

bool TvxCDBurner::InsertDir(std::string_view DestinationPath, std::string_view Source, std::string_view Mask, int Attr,
                            bool Recursive, bool SavePath, bool ArchiveOnly) {
    const PDirEntry dir = FindDir(DestinationPath);
    if (dir == nullptr) {
        DebugMsg(std::string(messages::kInvalidDestinationPath), kDebugImage);
        return false;
    }
    return InsertDir(dir, Source, Mask, Attr, Recursive, SavePath, ArchiveOnly);
}

void TvxCDBurner::ReportUnlistable(std::string_view folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        DebugMsg(fmt::format(fmt::runtime(compilation::texts::kNameWithoutGbkForm), ReadableName(name), folder),
                 kDebugImage);
    }
}

// Files first, in listing order, then the subfolders in listing order. The result is
// that of the last file; a subfolder that fails ends the scan.
bool TvxCDBurner::ScanFolder(PDirEntry Dir, const std::string& Source, std::string_view Mask, int Attr,
                             bool Recursive, bool ArchiveOnly) {
    bool result = false;
    std::vector<std::string> folders;
    {
        auto listing = platform::ListDirectory(Source);
        if (!listing) return false;
        ReportUnlistable(Source, listing->unlistable);
        for (TSearchRec& rec : listing->entries) {
            if (IsDotOrDotDot(rec.name)) {
                result = true;
            } else if ((rec.attr & kDirectoryAttr) != 0) {
                folders.push_back(std::move(rec.name));
            } else if (!ArchiveOnly || (rec.attr & platform::kAttrArchive) != 0) {
                result = InsertFile(Dir, rec, ArchiveOnly, 0, Source + rec.name);
            }
        }
    }
    for (const std::string& folder : folders) {
        std::string longName = folder;
        std::string shortName = folder;  // the handler may change it; directories take MakeShortName
        bool skip = false;
        if (OnAddDir) OnAddDir(*this, longName, shortName, skip);
        if (skip) continue;
        // A refused name leaves out that folder only; the scan goes on.
        if (!FitsRecord(*this, longName, true, Source + folder)) continue;
        const PDirEntry sub = CreateDir(Dir, longName, kDirectoryAttr);
        if (sub == nullptr) return false;
        result = InsertDir(sub, Source + folder, Mask, Attr, Recursive, false, ArchiveOnly);
        if (!result) return false;
    }
    return result;
}

}  // namespace tavrin
