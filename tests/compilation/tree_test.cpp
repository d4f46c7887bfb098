// Finding and creating entries: paths, names, the OnAddFile rules, replacing, the
// capacities and the refusals.
#include <gmock/gmock.h>

#include "engine/compilation/date_time.h"
#include "engine/device/messages.h"
#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(BurnerTest, FindDirIgnoresCaseAndOneTrailingBackslash) {
    const PDirEntry b = burner.CreateDirPath("\\A\\B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->FullPath, "\\A\\B");
    EXPECT_EQ(b->Level, 3);
    EXPECT_EQ(burner.FindDir("\\A\\B\\"), b);
    EXPECT_EQ(burner.FindDir("\\a\\b"), b);
    for (const char* miss : {"A\\B", "\\A\\B\\\\", "\\\\", "\\A\\B\\C", "\\B"}) {
        EXPECT_EQ(burner.FindDir(miss), nullptr) << miss;
    }
    EXPECT_EQ(burner.FindDir("\\A\\"), b->Parent);
}

TEST_F(BurnerTest, PathsWalkGbkCharactersNotBytes) {
    // 乗 is 81h 5Ch in GBK: its trail byte is the "\" byte.
    const std::string name = Gbk("乗");
    ASSERT_EQ(name, "\x81\x5C");
    const PDirEntry dir = burner.CreateDirPath("\\" + name);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->LongName, name);
    EXPECT_EQ(dir->Parent, burner.Root());
    EXPECT_EQ(burner.FindDir("\\" + name), dir);
    EXPECT_EQ(burner.FindDir("\\" + name + "\\"), dir);
    // A path ending in "\" creates its folders and gives none.
    EXPECT_EQ(burner.CreateDirPath("\\" + name + "\\" + name + "\\"), nullptr);
    const PDirEntry nested = burner.FindDir("\\" + name + "\\" + name);
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->Parent, dir);
    EXPECT_EQ(burner.DirsCount(), 2);
    // Removing the leading and trailing "\" of a name keeps the trail byte.
    const PDirEntry byName = burner.CreateDir(burner.Root(), "\\x" + name, 0x10);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->LongName, "x" + name);
}

TEST_F(BurnerTest, CreateDirByNameUsesMakeShortNameAndTheTimeOfCreation) {
    const TDateTime before = compilation::DateTimeFromLocal(platform::LocalNow()) - 2.0 / 86400;
    const PDirEntry dir = burner.CreateDir(burner.Root(), "\\Program Files (x86)\\", 0x10);
    const TDateTime after = compilation::DateTimeFromLocal(platform::LocalNow());
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->LongName, "Program Files (x86)");
    EXPECT_EQ(dir->ShortName, "PROGRAM_FILES");
    EXPECT_EQ(dir->FullPath, "\\PROGRAM FILES (X86)");
    const PFileEntry entry = burner.Root()->FirstEntry;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Dir, dir);
    EXPECT_EQ(entry->LongName, "Program Files (x86)");
    EXPECT_EQ(entry->ShortName, "PROGRAM_FILES");
    EXPECT_EQ(entry->Attr, 0x10u);
    EXPECT_EQ(entry->Size, 0u);
    EXPECT_TRUE(entry->SourcePath.empty());
    EXPECT_GE(entry->DateTime, before);
    EXPECT_LE(entry->DateTime, after);
}

TEST_F(BurnerTest, CreateDirOfAnExistingNameReturnsItAndCreatesNothing) {
    const PDirEntry first = burner.CreateDir(burner.Root(), "Photos", 0x10);
    EXPECT_EQ(burner.CreateDir(burner.Root(), "PHOTOS", 0x10), first);
    EXPECT_EQ(burner.CreateDir(burner.Root(), Record("photos", 0, 0x10)), first);
    EXPECT_EQ(burner.DirsCount(), 1);
    EXPECT_EQ(burner.FilesCount(), 1);
}

TEST_F(BurnerTest, CreateDirFromARecordTakesItsNamesAndTime) {
    TSearchRec rec = Record("Long Folder", 0, 0x12);
    rec.alternateName = "LONGFO~1";
    const PDirEntry dir = burner.CreateDir(burner.Root(), rec);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->ShortName, "LONGFO~1");
    const PFileEntry entry = burner.Root()->FirstEntry;
    EXPECT_EQ(entry->Attr, 0x12u);
    EXPECT_EQ(entry->DateTime, compilation::DateTimeFromDos(rec.time));
    const PDirEntry plain = burner.CreateDir(burner.Root(), Record("plain", 0, 0x10));
    EXPECT_EQ(plain->ShortName, "PLAIN");
}

TEST_F(BurnerTest, CreateDirPathEndingInBackslashCreatesTheHeadAndGivesNone) {
    EXPECT_EQ(burner.CreateDirPath("\\X\\Y\\"), nullptr);
    const PDirEntry y = burner.FindDir("\\X\\Y");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(y->Parent, burner.FindDir("\\X"));
    EXPECT_EQ(burner.CreateDirPath("\\X\\Y\\"), y);  // found now
    EXPECT_EQ(burner.DirsCount(), 2);
}

TEST_F(BurnerTest, GetNextEntryWalksTheListWithKinds) {
    const PDirEntry root = burner.Root();
    ASSERT_TRUE(burner.InsertFile(root, Record("a.txt", 1), false, 0, "/a.txt"));
    ASSERT_NE(burner.CreateDir(root, "sub", 0x10), nullptr);
    int kind = 0;
    PFileEntry cursor = nullptr;
    EXPECT_FALSE(burner.GetNextEntry(nullptr, kind, cursor));
    ASSERT_TRUE(burner.GetNextEntry(root, kind, cursor));
    EXPECT_EQ(kind, kEntryFile);
    EXPECT_EQ(cursor->LongName, "a.txt");
    ASSERT_TRUE(burner.GetNextEntry(root, kind, cursor));
    EXPECT_EQ(kind, kEntrySubdirectory);
    const PFileEntry last = cursor;
    EXPECT_FALSE(burner.GetNextEntry(root, kind, cursor));
    EXPECT_EQ(kind, kEntrySubdirectory);
    EXPECT_EQ(cursor, last);
}

struct NameCase {
    std::string name;
    std::string alternate;
    uint32_t attr;
    std::string longName;
    std::string shortName;
};

class InsertedNames : public BurnerTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(InsertedNames, FollowTheDotAndCaseRules) {
    TSearchRec rec = Record(GetParam().name, 5, GetParam().attr);
    rec.alternateName = GetParam().alternate;
    ASSERT_TRUE(burner.InsertFile(burner.Root(), rec, false, 0, "/src/" + GetParam().name));
    const PFileEntry entry = burner.Root()->FirstEntry;
    EXPECT_EQ(entry->LongName, GetParam().longName);
    EXPECT_EQ(entry->ShortName, GetParam().shortName);
}

INSTANTIATE_TEST_SUITE_P(Table, InsertedNames,
                         ::testing::Values(NameCase{"README", "", 0x20, "README", "README."},
                                           NameCase{"readme.txt", "", 0x20, "readme.txt", "README.TXT"},
                                           NameCase{"Long Name.html", "longna~1.htm", 0x20, "Long Name.html",
                                                    "LONGNA~1.HTM"},
                                           NameCase{"makefile", "MAKEFI~1", 0x20, "makefile", "MAKEFI~1."},
                                           NameCase{"folder", "", 0x10, "folder", "FOLDER"},
                                           NameCase{"\xD6\xD0\xce\xc4", "", 0x20, "\xD6\xD0\xCE\xC4", "____."},
                                           NameCase{"a b.txt", "", 0x20, "a b.txt", "A_B.TXT"}));

TEST_F(BurnerTest, InsertFileFillsTheEntryAndCountsWholeBlocks) {
    TSearchRec rec = Record("data.bin", 0);
    rec.sizeHigh = 0;
    rec.sizeLow = 2049;
    ASSERT_TRUE(burner.InsertFile(burner.Root(), rec, true, 0, "/src/data.bin"));
    const PFileEntry entry = burner.FindFile("\\", "DATA.BIN");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Size, 2049u);
    EXPECT_EQ(entry->JolietSize, 2049u);
    EXPECT_EQ(entry->SourcePath, "/src/data.bin");
    EXPECT_EQ(entry->Attr, 0x20u);
    EXPECT_TRUE(entry->ClearArchive);
    EXPECT_FALSE(entry->Imported);
    EXPECT_EQ(entry->Dir, nullptr);
    EXPECT_EQ(entry->DateTime, compilation::DateTimeFromDos(rec.time));
    EXPECT_EQ(burner.TotalSize(), 4096);
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("empty.txt", 0), false, 0, "/src/empty.txt"));
    EXPECT_EQ(burner.TotalSize(), 4096);
    // Data on the disc already is referenced, not counted.
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("old.txt", 100000), false, 777, ""));
    const PFileEntry old = burner.FindFile("\\", "old.txt");
    EXPECT_TRUE(old->Imported);
    EXPECT_EQ(old->IsoExtent, 777u);
    EXPECT_EQ(old->JolietExtent, 777u);
    EXPECT_EQ(burner.TotalSize(), 4096);
}

TEST_F(BurnerTest, OnAddFileSeesTheEntryAndMayChangeIt) {
    struct Seen {
        std::string fullPath, longName, shortName;
        TDateTime dateTime;
        uint32_t attr;
        uint64_t size;
        bool skip;
    };
    std::vector<Seen> seen;
    burner.OnAddFile = [&](TvxCDBurner& sender, const std::string& fullPath, std::string& longName,
                           std::string& shortName, TDateTime& dateTime, uint32_t attr, uint64_t size, bool& skip) {
        EXPECT_EQ(&sender, &burner);
        seen.push_back({fullPath, longName, shortName, dateTime, attr, size, skip});
        longName = "Renamed.txt";
        shortName = "renamed.txt";
        dateTime = 45000.5;
    };
    const TSearchRec rec = Record("orig", (uint64_t{1} << 32) - 1, 0x21);
    ASSERT_TRUE(burner.InsertFile(burner.Root(), rec, false, 0, "/src/orig"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].fullPath, "/src/orig");
    EXPECT_EQ(seen[0].longName, "orig");
    EXPECT_EQ(seen[0].shortName, "ORIG.");
    EXPECT_EQ(seen[0].dateTime, compilation::DateTimeFromDos(rec.time));
    EXPECT_EQ(seen[0].attr, 0x21u);
    EXPECT_EQ(seen[0].size, 0xFFFFFFFFu);
    EXPECT_FALSE(seen[0].skip);
    const PFileEntry entry = burner.FindFile("\\", "renamed.TXT");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->LongName, "Renamed.txt");
    EXPECT_EQ(entry->ShortName, "RENAMED.TXT");
    EXPECT_EQ(entry->DateTime, 45000.5);
    EXPECT_EQ(burner.FindFile("\\", "orig."), nullptr);
}

TEST_F(BurnerTest, NamesOf128BytesAreOfferedAsSkipped) {
    std::vector<bool> offered;
    burner.OnAddFile = [&](TvxCDBurner&, const std::string&, std::string&, std::string&, TDateTime&, uint32_t,
                           uint64_t, bool& skip) { offered.push_back(skip); };
    const std::string name127 = std::string(123, 'n') + ".txt";
    const std::string name128 = std::string(124, 'n') + ".txt";
    // Both are offered; neither fits a directory record, so neither is added.
    EXPECT_FALSE(burner.InsertFile(burner.Root(), Record(name127), false, 0, "/x"));
    EXPECT_FALSE(burner.InsertFile(burner.Root(), Record(name128), false, 0, "/y"));
    EXPECT_THAT(offered, ElementsAre(false, true));
    EXPECT_EQ(burner.FilesCount(), 0);
    // A handler may keep it anyway, under a name a record holds.
    burner.OnAddFile = [](TvxCDBurner&, const std::string&, std::string& longName, std::string&, TDateTime&, uint32_t,
                          uint64_t, bool& skip) {
        skip = false;
        longName = longName.substr(0, 100);
    };
    EXPECT_TRUE(burner.InsertFile(burner.Root(), Record(name128), false, 0, "/y"));
    // Without a handler the mark stands.
    burner.OnAddFile = nullptr;
    EXPECT_FALSE(burner.InsertFile(burner.Root(), Record(std::string(130, 'z')), false, 0, "/z"));
    EXPECT_EQ(burner.FilesCount(), 1);
}

TEST_F(BurnerTest, ADuplicateIsRefusedUnlessReplaceFileIsSet) {
    const PDirEntry root = burner.Root();
    ASSERT_TRUE(burner.InsertFile(root, Record("a.txt", 10), false, 0, "/one/a.txt"));
    ASSERT_TRUE(burner.InsertFile(root, Record("b.txt", 10), false, 0, "/one/b.txt"));
    EXPECT_FALSE(burner.InsertFile(root, Record("A.TXT", 5000), false, 0, "/two/A.TXT"));
    EXPECT_EQ(burner.TotalSize(), 4096);

    burner.ReplaceFile = true;
    TSearchRec newer = Record("A.TXT", 5000);
    newer.time = 0x5B000000;
    ASSERT_TRUE(burner.InsertFile(root, newer, false, 0, "/two/A.TXT"));
    EXPECT_THAT(Names(root), ElementsAre("A.TXT", "b.txt"));  // same place in the list
    EXPECT_EQ(burner.Tree().Files().front()->LongName, "A.TXT");  // and in the file table
    const PFileEntry replaced = burner.FindFile("\\", "a.txt");
    EXPECT_EQ(replaced->Size, 5000u);
    EXPECT_EQ(replaced->SourcePath, "/two/A.TXT");
    EXPECT_EQ(replaced->DateTime, compilation::DateTimeFromDos(newer.time));
    EXPECT_EQ(burner.FilesCount(), 2);
    EXPECT_EQ(burner.TotalSize(), 2048 + 6144);
}

TEST_F(BurnerTest, ReplacingAnImportedFileCountsOnlyTheNewOne) {
    burner.ReplaceFile = true;
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("old.txt", 9000), false, 500, ""));
    EXPECT_EQ(burner.TotalSize(), 0);
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("old.txt", 100), false, 0, "/new/old.txt"));
    EXPECT_EQ(burner.TotalSize(), 2048);
    EXPECT_FALSE(burner.FindFile("\\", "old.txt")->Imported);
}

TEST_F(BurnerTest, AFileNeverReplacesASubdirectoryEntry) {
    burner.ReplaceFile = true;
    const PDirEntry dir = burner.CreateDir(burner.Root(), "a.b", 0x10);
    ASSERT_NE(dir, nullptr);
    EXPECT_FALSE(burner.InsertFile(burner.Root(), Record("a.b", 10), false, 0, "/x/a.b"));
    EXPECT_EQ(burner.Root()->FirstEntry->Dir, dir);
    EXPECT_EQ(burner.FilesCount(), 1);
    EXPECT_EQ(burner.TotalSize(), 0);
}

TEST_F(BurnerTest, FilesOf4GiBOrMoreAreRefusedByName) {
    EXPECT_TRUE(burner.InsertFile(burner.Root(), Record("max.bin", 0xFFFFFFFFull), false, 0, "/d/max.bin"));
    int offered = 0;
    burner.OnAddFile = [&](TvxCDBurner&, const std::string&, std::string&, std::string&, TDateTime&, uint32_t,
                           uint64_t, bool&) { ++offered; };
    EXPECT_FALSE(burner.InsertFile(burner.Root(), Record("big.iso", uint64_t{1} << 32), false, 0, "/d/big.iso"));
    EXPECT_EQ(offered, 0);
    EXPECT_EQ(burner.FilesCount(), 1);
    EXPECT_EQ(burner.TotalSize(), 4294967296);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].type, kDebugImage);
    EXPECT_NE(lines[0].message.find("\"/d/big.iso\""), std::string::npos) << lines[0].message;
}

TEST_F(BurnerTest, FullTablesAreReportedAndLeaveTheTreeAsItWas) {
    burner.ClearAll(4, 3);
    ASSERT_NE(burner.CreateDir(burner.Root(), "one", 0x10), nullptr);
    ASSERT_NE(burner.CreateDir(burner.Root(), "two", 0x10), nullptr);
    EXPECT_EQ(burner.CreateDir(burner.Root(), "three", 0x10), nullptr);
    EXPECT_THAT(lines, ElementsAre(DebugLine{">>> MAXIMUM DIRECTORIES CAN BE 3", kDebugCapacity}));
    EXPECT_EQ(burner.DirsCount(), 2);
    lines.clear();

    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("f1.txt", 1), false, 0, "/f1.txt"));
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("f2.txt", 1), false, 0, "/f2.txt"));
    EXPECT_FALSE(burner.InsertFile(burner.Root(), Record("f3.txt", 1), false, 0, "/f3.txt"));
    EXPECT_THAT(lines, ElementsAre(DebugLine{"MAXIMUM FILES CAN BE 4", kDebugCapacity}));
    EXPECT_EQ(burner.TotalSize(), 4096);
    lines.clear();

    // A directory slot is free, the file table is not: the directory is given back.
    burner.DeleteDir("\\two");
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("f3.txt", 1), false, 0, "/f3.txt"));
    EXPECT_EQ(burner.CreateDir(burner.Root(), "four", 0x10), nullptr);
    EXPECT_THAT(lines, ElementsAre(DebugLine{"MAXIMUM FILES CAN BE 4", kDebugCapacity}));
    EXPECT_EQ(burner.DirsCount(), 1);
    EXPECT_EQ(burner.FindDir("\\four"), nullptr);
    EXPECT_EQ(burner.Tree().Dirs().size(), 2u);
    EXPECT_EQ(burner.Tree().IsoOrder().size(), 2u);
    EXPECT_EQ(burner.Tree().JolietOrder().size(), 2u);
}

TEST_F(BurnerTest, CapacityOf20000DirectoriesIsReportedWithItsNumber) {
    burner.ClearAll(600000, 20000);
    for (int i = 1; i < 20000; ++i) ASSERT_NE(burner.CreateDir(burner.Root(), std::to_string(i), 0x10), nullptr);
    EXPECT_EQ(burner.CreateDir(burner.Root(), "one more", 0x10), nullptr);
    EXPECT_THAT(lines, ElementsAre(DebugLine{">>> MAXIMUM DIRECTORIES CAN BE 20000", kDebugCapacity}));
    EXPECT_EQ(burner.DirsCount(), 19999);
}

TEST_F(BurnerTest, UnknownDestinationsAreReported) {
    EXPECT_EQ(burner.InsertFile("\\NOWHERE", MakeFile("a.txt", 1), false), 0);
    EXPECT_FALSE(burner.InsertDir("\\NOWHERE", folder.path(), "*.*", 63, true, false, false));
    EXPECT_THAT(lines, ElementsAre(DebugLine{"INVALID DESTINATION PATH", kDebugImage},
                                   DebugLine{"INVALID DESTINATION PATH", kDebugImage}));
    EXPECT_EQ(burner.FilesCount(), 0);
}

}  // namespace
}  // namespace tavrin::testing
