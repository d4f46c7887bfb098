#include "engine/iso/directory_order.h"

#include <algorithm>

namespace tavrin::iso {

namespace {

void Number(std::span<PDirEntry> table, Tree tree) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        TDEntry& dir = *table[i];
        dir.Number = static_cast<uint32_t>(i + 1);
        (tree == Tree::Iso ? dir.IsoNumber : dir.JolietNumber) = dir.Number;
    }
}

}  // namespace

std::string_view NameKey(const TDEntry& dir, Tree tree) {
    return tree == Tree::Iso ? dir.ShortName : dir.LongName;
}

bool NameKeyLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

bool ParentsInOrder(std::span<const PDirEntry> table) {
    uint32_t previous = 0;
    for (const PDirEntry dir : table) {
        const uint32_t parent = dir->Parent->Number;
        if (parent < previous) return false;
        previous = parent;
    }
    return true;
}

int SortDirectories(std::vector<PDirEntry>& table, Tree tree) {
    auto byName = [tree](const TDEntry& a, const TDEntry& b) { return NameKeyLess(NameKey(a, tree), NameKey(b, tree)); };
    GapSort(table, [&](const TDEntry& a, const TDEntry& b) {
        return a.Level != b.Level ? a.Level < b.Level : byName(a, b);
    });
    Number(table, tree);
    // Each pass puts one more level behind its parents; a tree is never deeper than
    // its directory count, which bounds the passes even for a damaged parent chain.
    int passes = 0;
    while (!ParentsInOrder(table) && static_cast<std::size_t>(passes) < table.size()) {
        GapSort(table, [&](const TDEntry& a, const TDEntry& b) {
            return a.Parent->Number != b.Parent->Number ? a.Parent->Number < b.Parent->Number : byName(a, b);
        });
        Number(table, tree);
        ++passes;
    }
    return passes;
}

}  // namespace tavrin::iso
