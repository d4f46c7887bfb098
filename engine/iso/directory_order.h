// The path-table order of the directories of one tree: the root first, then every
// directory after its parent, grouped by the parent's number and by name within a
// parent; a directory's number is its 1-based position. Readers find a directory's
// parent by that number, so the parents' numbers never decrease along the table.
#pragma once

#include <cstdint>
#include <utility>
#include <span>
#include <string_view>
#include <vector>

#include "engine/compilation/entries.h"

namespace tavrin::iso {

enum class Tree { Iso, Joliet };

// The name key of a directory in a tree: ShortName (ISO) or LongName (Joliet), both
// compared as their 8-bit bytes.
std::string_view NameKey(const TDEntry& dir, Tree tree);
// Bytewise as unsigned bytes; a prefix sorts before the longer key.
bool NameKeyLess(std::string_view a, std::string_view b);

// Sorts the table in place (its first element, the root, never moves), numbers it
// (Number and the tree's IsoNumber or JolietNumber) and returns the count of
// (parent number, name) passes it took. The table keeps its order for the next run,
// which then starts from it with new directories at the end.
int SortDirectories(std::vector<PDirEntry>& table, Tree tree);

// Whether the parents' Numbers never decrease along the table.
bool ParentsInOrder(std::span<const PDirEntry> table);

// The gap sort of one pass over positions 1..table.size()-1, with `less` on entries:
// the gap starts at half the last position and halves down to 1; at each gap the
// table is swept until a sweep swaps nothing.
template <typename Less>
void GapSort(std::span<PDirEntry> table, Less less) {
    if (table.size() < 3) return;  // a root and at most one directory: nothing to order
    const std::size_t last = table.size() - 1;
    for (std::size_t gap = last / 2; gap >= 1; gap /= 2) {
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (std::size_t b = 1; b + gap <= last; ++b) {
                if (!less(*table[b + gap], *table[b])) continue;
                std::swap(table[b], table[b + gap]);
                swapped = true;
            }
        }
    }
}

}  // namespace tavrin::iso
