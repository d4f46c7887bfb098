#include "engine/compilation/path_index.h"

#include <algorithm>

#include "engine/compilation/names.h"

namespace tavrin::compilation {

void DirectoryIndex::Add(PDirEntry dir) {
    byPath_.emplace(dir->FullPath, dir);
}

void DirectoryIndex::Remove(PDirEntry dir) {
    auto [first, last] = byPath_.equal_range(dir->FullPath);
    for (auto it = first; it != last; ++it) {
        if (it->second == dir) {
            byPath_.erase(it);
            return;
        }
    }
}

PDirEntry DirectoryIndex::Find(std::string_view upperPath) const {
    auto [first, last] = byPath_.equal_range(upperPath);
    PDirEntry earliest = nullptr;
    for (auto it = first; it != last; ++it) {
        if (earliest == nullptr || it->second->Serial < earliest->Serial) earliest = it->second;
    }
    return earliest;
}

namespace {

constexpr std::size_t kFirstCapacity = 64;

// Slots in use at most 7 in 10, so that a probe meets an empty slot soon.
bool Crowded(std::size_t used, std::size_t capacity) {
    return used * 10 >= capacity * 7;
}

}  // namespace

uint32_t ChildIndex::TagOf(PDirEntry dir, std::string_view name) {
    uint64_t hash = HashIgnoringAsciiCase(name) ^ (reinterpret_cast<std::uintptr_t>(dir) * 0x9E3779B97F4A7C15ull);
    // The finaliser of splitmix64: every bit of the result depends on every bit.
    hash ^= hash >> 30;
    hash *= 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 27;
    hash *= 0x94D049BB133111EBull;
    hash ^= hash >> 31;
    return static_cast<uint32_t>(hash >> 32) | 1u;
}

void ChildIndex::Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    tags_.clear();
    tags_.shrink_to_fit();
    size_ = used_ = 0;
}

template <typename Visit>
void ChildIndex::Probe(PDirEntry dir, std::string_view name, Visit visit) const {
    if (slots_.empty()) return;
    const uint32_t tag = TagOf(dir, name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = HomeOf(tag); tags_[i] != kEmpty; i = (i + 1) & mask) {
        if (tags_[i] != tag) continue;
        const PFileEntry entry = slots_[i];
        if (entry->Owner == dir && EqualIgnoringAsciiCase(entry->LongName, name) && visit(i)) return;
    }
}

void ChildIndex::Place(PFileEntry entry, uint32_t tag) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = HomeOf(tag);
    while (tags_[i] != kEmpty && tags_[i] != kRemoved) i = (i + 1) & mask;
    if (tags_[i] == kEmpty) ++used_;
    slots_[i] = entry;
    tags_[i] = tag;
    ++size_;
}

void ChildIndex::Rebuild(std::size_t capacity) {
    std::vector<PFileEntry> slots(capacity, nullptr);
    std::vector<uint32_t> tags(capacity, kEmpty);
    slots_.swap(slots);
    tags_.swap(tags);
    size_ = used_ = 0;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if ((tags[i] & 1u) != 0) Place(slots[i], tags[i]);
    }
}

void ChildIndex::Add(PFileEntry entry) {
    if (slots_.empty() || Crowded(used_ + 1, slots_.size())) {
        // Double when live entries hold half the slots; otherwise only sweep out the
        // removed ones.
        std::size_t capacity = std::max(kFirstCapacity, slots_.size());
        while (2 * (size_ + 1) > capacity) capacity *= 2;
        Rebuild(capacity);
    }
    Place(entry, TagOf(entry->Owner, entry->LongName));
}

void ChildIndex::Remove(PFileEntry entry) {
    Probe(entry->Owner, entry->LongName, [&](std::size_t i) {
        if (slots_[i] != entry) return false;
        slots_[i] = nullptr;
        tags_[i] = kRemoved;
        --size_;
        return true;
    });
}

PFileEntry ChildIndex::Find(PDirEntry dir, std::string_view name) const {
    PFileEntry found = nullptr;
    bool several = false;
    Probe(dir, name, [&](std::size_t i) {
        several = found != nullptr;
        found = slots_[i];
        return several;
    });
    if (!several) return found;
    // Several entries share the name (copies, renames): the list decides which is first.
    for (PFileEntry entry = dir->FirstEntry; entry != nullptr; entry = entry->Next) {
        if (EqualIgnoringAsciiCase(entry->LongName, name)) return entry;
    }
    return nullptr;
}

PFileEntry ChildIndex::FindSubdirectory(PDirEntry dir, PDirEntry sub) const {
    PFileEntry found = nullptr;
    Probe(dir, sub->LongName, [&](std::size_t i) {
        if (slots_[i]->Dir != sub) return false;
        found = slots_[i];
        return true;
    });
    if (found != nullptr) return found;
    // The entry's name may differ from the directory's (a handler or an importer
    // named them apart): the list still holds it.
    for (PFileEntry entry = dir->FirstEntry; entry != nullptr; entry = entry->Next) {
        if (entry->Dir == sub) return entry;
    }
    return nullptr;
}

}  // namespace tavrin::compilation
