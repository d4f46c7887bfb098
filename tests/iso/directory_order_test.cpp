// Path-table orders and numbers of both trees.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/iso/directory_order.h"
#include "tests/iso/dir_tree.h"

namespace tavrin::testing {
namespace {

using namespace tavrin::iso;

std::vector<std::string> Names(const std::vector<PDirEntry>& table, Tree tree) {
    std::vector<std::string> names;
    for (const PDirEntry dir : table) names.emplace_back(NameKey(*dir, tree));
    return names;
}

// The order a reader expects: parents' numbers never decrease, siblings by name,
// and the numbers are the positions.
void ExpectPathTableOrder(const std::vector<PDirEntry>& table, Tree tree) {
    ASSERT_FALSE(table.empty());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TDEntry& dir = *table[i];
        ASSERT_EQ(tree == Tree::Iso ? dir.IsoNumber : dir.JolietNumber, i + 1);
        if (i < 2) continue;
        const TDEntry& before = *table[i - 1];
        ASSERT_LE(before.Parent->Number, dir.Parent->Number) << "at " << i;
        if (before.Parent == dir.Parent) {
            ASSERT_FALSE(NameKeyLess(NameKey(dir, tree), NameKey(before, tree)));
        }
    }
}

TEST(DirectoryOrder, SortsSiblingsByNameAndChildrenAfterThem) {
    DirTree tree;
    const PDirEntry b = tree.Add(tree.Root(), "B");
    tree.Add(tree.Root(), "A");
    const PDirEntry c = tree.Add(tree.Root(), "C");
    const PDirEntry inC = tree.Add(c, "AA");
    tree.Add(b, "Z");

    SortDirectories(tree.table, Tree::Iso);
    EXPECT_EQ(Names(tree.table, Tree::Iso), (std::vector<std::string>{"CD_ROOT", "A", "B", "C", "Z", "AA"}));
    EXPECT_EQ(tree.Root()->IsoNumber, 1u);
    EXPECT_EQ(b->IsoNumber, 3u);
    EXPECT_EQ(c->IsoNumber, 4u);
    EXPECT_EQ(inC->IsoNumber, 6u);
    EXPECT_EQ(inC->JolietNumber, 0u) << "the ISO sort leaves the Joliet numbers alone";
}

TEST(DirectoryOrder, OfEachTreeUsesItsOwnNameKeyAndNumbers) {
    DirTree tree;
    const PDirEntry first = tree.Add(tree.Root(), "zebra", "A_ZEBRA");
    const PDirEntry second = tree.Add(tree.Root(), "apple", "B_APPLE");
    std::vector<PDirEntry> joliet = tree.table;

    SortDirectories(tree.table, Tree::Iso);
    SortDirectories(joliet, Tree::Joliet);
    EXPECT_EQ(first->IsoNumber, 2u);
    EXPECT_EQ(second->IsoNumber, 3u);
    EXPECT_EQ(second->JolietNumber, 2u);
    EXPECT_EQ(first->JolietNumber, 3u);
}

struct KeyCase {
    std::string smaller;
    std::string larger;
};
class NameKeys : public ::testing::TestWithParam<KeyCase> {};
TEST_P(NameKeys, CompareAsUnsignedBytesPrefixFirst) {
    EXPECT_TRUE(NameKeyLess(GetParam().smaller, GetParam().larger));
    EXPECT_FALSE(NameKeyLess(GetParam().larger, GetParam().smaller));
}
INSTANTIATE_TEST_SUITE_P(Table, NameKeys,
                         ::testing::Values(KeyCase{"AB", "ABC"}, KeyCase{"Z", "\xB0\xA1"},  // GBK after ASCII
                                           KeyCase{"_", "a"}, KeyCase{"\xB0\xA1", "\xB0\xA2"}, KeyCase{"", "A"}));

TEST(DirectoryOrder, KeepsSiblingsThatShareAShortName) {
    DirTree tree;
    tree.Add(tree.Root(), "Photographs 2023", "PHOTOGRAPHS_2");
    tree.Add(tree.Root(), "Photographs 2024", "PHOTOGRAPHS_2");
    SortDirectories(tree.table, Tree::Iso);
    EXPECT_EQ(Names(tree.table, Tree::Iso), (std::vector<std::string>{"CD_ROOT", "PHOTOGRAPHS_2", "PHOTOGRAPHS_2"}));
    ExpectPathTableOrder(tree.table, Tree::Iso);
}

TEST(DirectoryOrder, StartsTheNextRunFromTheLastOrderWithTheRootInPlace) {
    DirTree tree;
    tree.Add(tree.Root(), "B");
    tree.Add(tree.Root(), "A");
    SortDirectories(tree.table, Tree::Iso);
    const PDirEntry a = tree.table[1];

    tree.Add(a, "X");  // appended at the end of the kept order
    tree.Add(tree.Root(), "0");
    EXPECT_EQ(Names(tree.table, Tree::Iso), (std::vector<std::string>{"CD_ROOT", "A", "B", "X", "0"}));
    SortDirectories(tree.table, Tree::Iso);
    EXPECT_EQ(Names(tree.table, Tree::Iso), (std::vector<std::string>{"CD_ROOT", "0", "A", "B", "X"}));
    EXPECT_EQ(tree.table.front(), tree.Root());
    ExpectPathTableOrder(tree.table, Tree::Iso);
}

TEST(DirectoryOrder, OfOnlyTheRootOrOneDirectoryNumbersThem) {
    DirTree tree;
    EXPECT_EQ(SortDirectories(tree.table, Tree::Joliet), 0);
    EXPECT_EQ(tree.Root()->JolietNumber, 1u);
    const PDirEntry only = tree.Add(tree.Root(), "only");
    SortDirectories(tree.table, Tree::Joliet);
    EXPECT_EQ(only->JolietNumber, 2u);
}

// More than 10,000 directories, created deepest-first in scrambled order, so that
// numbers of five digits must compare as numbers and several passes are needed.
TEST(DirectoryOrder, OfALargeDeepTreeHasNonDecreasingParents) {
    DirTree tree;
    std::mt19937 random(7);
    std::vector<PDirEntry> parents{tree.Root()};
    for (int i = 0; i < 12000; ++i) {
        const PDirEntry parent = parents[random() % parents.size()];
        parents.push_back(tree.Add(parent, "D" + std::to_string(random() % 5000)));
    }
    std::shuffle(tree.table.begin() + 1, tree.table.end(), random);
    std::vector<PDirEntry> joliet = tree.table;

    const int passes = SortDirectories(tree.table, Tree::Iso);
    EXPECT_GE(passes, 1);
    ExpectPathTableOrder(tree.table, Tree::Iso);
    EXPECT_TRUE(ParentsInOrder(tree.table));
    SortDirectories(joliet, Tree::Joliet);
    ExpectPathTableOrder(joliet, Tree::Joliet);
}

TEST(GapSort, ComparesAcrossTheHalvedGapsUntilNoSwap) {
    DirTree tree;
    for (const char* name : {"E", "D", "C", "B", "A"}) tree.Add(tree.Root(), name);
    GapSort(tree.table, [](const TDEntry& a, const TDEntry& b) { return NameKeyLess(a.ShortName, b.ShortName); });
    EXPECT_EQ(Names(tree.table, Tree::Iso), (std::vector<std::string>{"CD_ROOT", "A", "B", "C", "D", "E"}));
}

}  // namespace
}  // namespace tavrin::testing
