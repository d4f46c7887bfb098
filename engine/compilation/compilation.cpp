#include "engine/compilation/compilation.h"

#include <algorithm>
#include <utility>

#include "engine/compilation/names.h"
#include "engine/platform/local_time.h"

namespace tavrin::compilation {

namespace {

// A compilation holds up to 600,000 entries: keep the record at 168 bytes (176 with
// the allocator's header) on 64-bit systems.
static_assert(sizeof(void*) != 8 || sizeof(TFEntry) <= 168);

constexpr int kMinutesPerGmtUnit = 15;

int8_t GmtOffsetNow() {
    return static_cast<int8_t>(-(platform::StandardBiasMinutes() / kMinutesPerGmtUnit));
}

template <typename Table, typename Dead>
void RemoveDead(Table& table, Dead dead) {
    table.erase(std::remove_if(table.begin(), table.end(), dead), table.end());
}

}  // namespace

Compilation& SharedCompilation() {
    static Compilation compilation;
    return compilation;
}

void Compilation::Release() {
    dirIndex_.Clear();
    childIndex_.Clear();
    isoOrder_.clear();
    jolietOrder_.clear();
    files_.clear();
    dirs_.clear();
    deadDirs_ = deadFiles_ = 0;
    root_ = nullptr;
    TotalSize = 0;
}

void Compilation::Reset(std::size_t maxFiles, std::size_t maxDirs) {
    GmtOffset = GmtOffsetNow();
    Release();
    maxFiles_ = maxFiles;
    maxDirs_ = std::max<std::size_t>(maxDirs, 1);
    // Allocated once at their capacities: adding entries never moves the tables.
    decltype(dirs_)().swap(dirs_);
    decltype(files_)().swap(files_);
    dirs_.reserve(maxDirs_);
    isoOrder_.reserve(maxDirs_);
    jolietOrder_.reserve(maxDirs_);
    files_.reserve(maxFiles_);

    root_ = NewDirEntry();
    root_->ShortName = "CD_ROOT";
    root_->LongName = "CD Root Directory";
    root_->FullPath = "\\";
    root_->Level = 1;
    root_->Parent = root_;
}

PDirEntry Compilation::NewDirEntry() {
    if (DirCount() >= maxDirs_) return nullptr;
    if (dirs_.size() >= maxDirs_) CompactDirs();
    dirs_.push_back(std::make_unique<TDEntry>());
    const PDirEntry dir = dirs_.back().get();
    dir->Serial = nextSerial_++;
    isoOrder_.push_back(dir);
    jolietOrder_.push_back(dir);
    return dir;
}

void Compilation::AttachDirectory(PDirEntry dir) {
    dirIndex_.Add(dir);
}

void Compilation::GiveBackDirEntry(PDirEntry dir) {
    // Nothing was appended after it: it is the last element of every table.
    if (dirs_.empty() || dirs_.back().get() != dir) return;
    isoOrder_.pop_back();
    jolietOrder_.pop_back();
    dirs_.pop_back();
}

PFileEntry Compilation::NewFileEntry() {
    if (FileCount() >= maxFiles_) return nullptr;
    if (files_.size() >= maxFiles_) CompactFiles();
    files_.push_back(std::make_unique<TFEntry>());
    return files_.back().get();
}

void Compilation::Append(PDirEntry dir, PFileEntry entry) {
    entry->Owner = dir;
    entry->Next = nullptr;
    entry->Prev = dir->LastEntry;
    if (dir->LastEntry != nullptr) {
        dir->LastEntry->Next = entry;
    } else {
        dir->FirstEntry = entry;
    }
    dir->LastEntry = entry;
    childIndex_.Add(entry);
}

void Compilation::SetLongName(PFileEntry entry, std::string longName) {
    const bool listed = entry->Owner != nullptr;
    if (listed) childIndex_.Remove(entry);
    entry->LongName = std::move(longName);
    if (listed) childIndex_.Add(entry);
}

void Compilation::Delete(PFileEntry entry) {
    const PDirEntry owner = entry->Owner;
    if (owner == nullptr || entry->Deleted) return;
    (entry->Prev != nullptr ? entry->Prev->Next : owner->FirstEntry) = entry->Next;
    (entry->Next != nullptr ? entry->Next->Prev : owner->LastEntry) = entry->Prev;

    std::vector<PFileEntry> pending{entry};
    while (!pending.empty()) {
        const PFileEntry doomed = pending.back();
        pending.pop_back();
        childIndex_.Remove(doomed);
        if (const PDirEntry dir = doomed->Dir; dir != nullptr && dir != root_) {
            for (PFileEntry child = dir->FirstEntry; child != nullptr; child = child->Next) pending.push_back(child);
            dir->FirstEntry = dir->LastEntry = nullptr;
            dirIndex_.Remove(dir);
            dir->Deleted = true;
            ++deadDirs_;
        } else if (!doomed->IsSubdirectory() && !doomed->Imported) {
            TotalSize -= static_cast<int64_t>(BlockRounded(doomed->Size));
        }
        doomed->Owner = nullptr;
        doomed->Next = doomed->Prev = nullptr;
        doomed->Deleted = true;
        ++deadFiles_;
    }
}

PDirEntry Compilation::FindDir(std::string_view path) const {
    if (path.empty() || path == "\\") return root_;
    return dirIndex_.Find(AsciiUpper(WithoutTrailingBackslash(path)));
}

PFileEntry Compilation::FindChild(PDirEntry dir, std::string_view name) const {
    return dir == nullptr ? nullptr : childIndex_.Find(dir, name);
}

PFileEntry Compilation::EntryOf(PDirEntry dir) const {
    if (dir == nullptr || dir == root_ || dir->Parent == nullptr) return nullptr;
    return childIndex_.FindSubdirectory(dir->Parent, dir);
}

void Compilation::CompactDirs() const {
    if (deadDirs_ == 0) return;
    const auto dead = [](PDirEntry dir) { return dir->Deleted; };
    RemoveDead(isoOrder_, dead);
    RemoveDead(jolietOrder_, dead);
    RemoveDead(dirs_, [](const std::unique_ptr<TDEntry>& dir) { return dir->Deleted; });
    deadDirs_ = 0;
}

void Compilation::CompactFiles() const {
    if (deadFiles_ == 0) return;
    RemoveDead(files_, [](const std::unique_ptr<TFEntry>& entry) { return entry->Deleted; });
    deadFiles_ = 0;
}

std::span<const std::unique_ptr<TDEntry>> Compilation::Dirs() const {
    CompactDirs();
    return dirs_;
}

std::vector<PDirEntry>& Compilation::IsoOrder() {
    CompactDirs();
    return isoOrder_;
}

std::vector<PDirEntry>& Compilation::JolietOrder() {
    CompactDirs();
    return jolietOrder_;
}

std::span<const std::unique_ptr<TFEntry>> Compilation::Files() const {
    CompactFiles();
    return files_;
}

}  // namespace tavrin::compilation
