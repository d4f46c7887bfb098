// Indexes over the compilation that answer the lookups by path and by name without
// walking the tables: results are those of the walks (first match in creation or
// list order), the cost is a hash probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/compilation/entries.h"

namespace tavrin::compilation {

// Every directory but the root, by its FullPath (already upper-cased, and never
// changed once the directory exists).
class DirectoryIndex {
public:
    void Clear() { byPath_.clear(); }
    void Add(PDirEntry dir);
    void Remove(PDirEntry dir);
    // The earliest created directory with this upper-cased FullPath.
    PDirEntry Find(std::string_view upperPath) const;
    std::size_t Size() const { return byPath_.size(); }

private:
    std::unordered_multimap<std::string_view, PDirEntry> byPath_;
};

// Every entry of every directory list, by (directory, long name ignoring ASCII case).
// Only the entry pointer is stored, with its hash: the key is read from the
// entry itself, so an entry must be removed before its LongName or Owner changes and
// added again after. Open addressing keeps it at a dozen bytes a slot, without one
// allocation per entry.
class ChildIndex {
public:
    void Clear();
    void Add(PFileEntry entry);
    void Remove(PFileEntry entry);
    // The first entry of dir's list with this name.
    PFileEntry Find(PDirEntry dir, std::string_view name) const;
    // The entry of dir's list that stands for subdirectory sub.
    PFileEntry FindSubdirectory(PDirEntry dir, PDirEntry sub) const;
    std::size_t Size() const { return size_; }

private:
    static constexpr uint32_t kEmpty = 0;
    static constexpr uint32_t kRemoved = 2;  // live tags are odd

    // 31 bits of the key's hash, with bit 0 set. The home slot comes from the same
    // bits, so growing the table never reads the entries again.
    static uint32_t TagOf(PDirEntry dir, std::string_view name);
    std::size_t HomeOf(uint32_t tag) const { return (tag >> 1) & (slots_.size() - 1); }
    void Place(PFileEntry entry, uint32_t tag);
    void Rebuild(std::size_t capacity);
    // Calls visit(slot) for every slot holding an entry with this key, in probe order,
    // until visit returns true.
    template <typename Visit>
    void Probe(PDirEntry dir, std::string_view name, Visit visit) const;

    std::vector<PFileEntry> slots_;
    std::vector<uint32_t> tags_;
    std::size_t size_ = 0;
    std::size_t used_ = 0;  // live and removed slots
};

}  // namespace tavrin::compilation
