// Counting, renaming, copying and deleting entries, and clearing archive bits.
#include <gmock/gmock.h>

#include "engine/platform/archive_bit.h"
#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class EditsTest : public BurnerTest {
protected:
    // \DOCS: a.txt (1 byte), b.txt (3000), old.dat (imported at block 900, 5000 bytes),
    //        SUB\: c.txt (10), SUB\DEEP\: d.txt (2048)
    void SetUp() override {
        docs = burner.CreateDirPath("\\Docs");
        ASSERT_NE(docs, nullptr);
        ASSERT_TRUE(burner.InsertFile(docs, Record("a.txt", 1), true, 0, "/src/a.txt"));
        ASSERT_TRUE(burner.InsertFile(docs, Record("b.txt", 3000), false, 0, "/src/b.txt"));
        ASSERT_TRUE(burner.InsertFile(docs, Record("old.dat", 5000), false, 900, ""));
        sub = burner.CreateDirPath("\\Docs\\Sub");
        ASSERT_TRUE(burner.InsertFile(sub, Record("c.txt", 10), false, 0, "/src/c.txt"));
        deep = burner.CreateDirPath("\\Docs\\Sub\\Deep");
        ASSERT_TRUE(burner.InsertFile(deep, Record("d.txt", 2048), false, 0, "/src/d.txt"));
        ASSERT_EQ(burner.TotalSize(), 2048 + 4096 + 2048 + 2048);
    }
    PDirEntry docs = nullptr;
    PDirEntry sub = nullptr;
    PDirEntry deep = nullptr;
};

TEST_F(BurnerTest, OneFolderWithTwoFilesCountsOneDirectoryAndThreeEntries) {
    const PDirEntry dir = burner.CreateDirPath("\\F");
    burner.InsertFile(dir, Record("1.txt", 1), false, 0, "/1.txt");
    EXPECT_EQ(burner.TotalSize(), 2048);
    burner.InsertFile(dir, Record("2.txt", 0), false, 0, "/2.txt");
    EXPECT_EQ(burner.DirsCount(), 1);
    EXPECT_EQ(burner.FilesCount(), 3);
    EXPECT_TRUE(burner.DeleteFile("\\F", "1.TXT"));
    EXPECT_EQ(burner.TotalSize(), 0);
}

TEST_F(EditsTest, CountsCoverEveryEntry) {
    EXPECT_EQ(burner.DirsCount(), 3);
    EXPECT_EQ(burner.FilesCount(), 8);
}

struct RenameCase {
    std::string newShort;
    std::string newLong;
    bool result;
    std::string shortName;
};

class Renames : public EditsTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(Renames, SetTheLongNameAndAShortOneOfUpTo13Bytes) {
    const auto& c = GetParam();
    EXPECT_EQ(burner.RenameFile("\\DOCS\\", "A.TXT", c.newShort, c.newLong), c.result);
    EXPECT_EQ(burner.FindFile("\\docs", "a.txt"), nullptr);
    const PFileEntry entry = burner.FindFile("\\docs", c.newLong);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->LongName, c.newLong);
    EXPECT_EQ(entry->ShortName, c.shortName);
    EXPECT_THAT(Names(docs), ElementsAre(c.newLong, "b.txt", "old.dat", "Sub"));
}

INSTANTIATE_TEST_SUITE_P(Table, Renames,
                         ::testing::Values(RenameCase{"new.txt", "New Name.txt", true, "NEW.TXT"},
                                           RenameCase{"", "short.doc", true, "SHORT.DOC"},
                                           RenameCase{"", "thirteen.txt1", true, "THIRTEEN.TXT1"},
                                           RenameCase{"fourteen.txt12", "x.txt", false, "A.TXT"},
                                           RenameCase{"", "a much longer name.txt", false, "A.TXT"}));

TEST_F(EditsTest, RenameOfAMissingEntryOrADirectoryFails) {
    EXPECT_FALSE(burner.RenameFile("\\nowhere", "a.txt", "", "b"));
    EXPECT_FALSE(burner.RenameFile("\\docs", "zzz", "", "b"));
    EXPECT_FALSE(burner.RenameFile("\\docs", "sub", "", "Other"));
    EXPECT_EQ(sub->LongName, "Sub");
    EXPECT_NE(burner.FindFile("\\docs", "sub"), nullptr);
}

TEST_F(EditsTest, CopyFileAppendsAnEqualEntryAndCountsIt) {
    const PDirEntry target = burner.CreateDirPath("\\T");
    ASSERT_TRUE(burner.CopyFile("\\T", "\\DOCS", 0, "b.txt"));
    const PFileEntry copy = target->FirstEntry;
    const PFileEntry original = burner.FindFile("\\docs", "b.txt");
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original);
    EXPECT_EQ(copy->LongName, original->LongName);
    EXPECT_EQ(copy->ShortName, original->ShortName);
    EXPECT_EQ(copy->Size, 3000u);
    EXPECT_EQ(copy->SourcePath, "/src/b.txt");
    EXPECT_EQ(copy->DateTime, original->DateTime);
    EXPECT_EQ(copy->Next, nullptr);
    EXPECT_EQ(burner.TotalSize(), 10240 + 4096);

    ASSERT_TRUE(burner.CopyFile("\\T", "\\DOCS", 0, "old.dat"));
    EXPECT_TRUE(target->FirstEntry->Next->Imported);
    EXPECT_EQ(target->FirstEntry->Next->IsoExtent, 900u);
    ASSERT_TRUE(burner.CopyFile("\\T", "\\DOCS", 1234, "a.txt"));
    EXPECT_EQ(target->LastEntry->IsoExtent, 1234u);
    EXPECT_EQ(burner.TotalSize(), 10240 + 4096);
    // Data given an address counts as on the disc: deleting it changes nothing.
    EXPECT_TRUE(burner.DeleteEntry(target, target->LastEntry));
    EXPECT_EQ(burner.TotalSize(), 10240 + 4096);

    EXPECT_FALSE(burner.CopyFile("\\T", "\\DOCS", 0, "sub"));
    EXPECT_FALSE(burner.CopyFile("\\T", "\\DOCS", 0, "missing"));
    EXPECT_FALSE(burner.CopyFile("\\nowhere", "\\DOCS", 0, "a.txt"));
    EXPECT_FALSE(burner.CopyFile("\\T", "\\nowhere", 0, "a.txt"));
}

TEST_F(EditsTest, CopyDirCopiesTheSubtreeWithFreshFolders) {
    const PDirEntry copy = burner.CreateDirPath("\\Copy");
    ASSERT_TRUE(burner.CopyDir("\\Copy\\", "\\Docs\\", false));
    EXPECT_THAT(Names(copy), ElementsAre("a.txt", "b.txt", "old.dat", "Sub"));
    EXPECT_THAT(Names(burner.FindDir("\\Copy\\Sub")), ElementsAre("c.txt", "Deep"));
    EXPECT_THAT(Names(burner.FindDir("\\Copy\\Sub\\Deep")), ElementsAre("d.txt"));
    const PFileEntry imported = burner.FindFile("\\Copy", "old.dat");
    EXPECT_TRUE(imported->Imported);
    EXPECT_EQ(imported->IsoExtent, 900u);
    EXPECT_EQ(burner.DirsCount(), 6);
    EXPECT_EQ(burner.TotalSize(), 2 * 10240);
    EXPECT_FALSE(burner.CopyDir("\\Copy\\", "\\Missing\\", false));
}

TEST_F(EditsTest, CopyDirIntoItselfIsRefused) {
    const int files = burner.FilesCount();
    EXPECT_FALSE(burner.CopyDir("\\Docs\\Sub\\", "\\Docs\\", false));
    EXPECT_FALSE(burner.CopyDir("\\Docs\\", "\\Docs\\", false));
    EXPECT_EQ(burner.FilesCount(), files);
}

TEST_F(EditsTest, RenamingADirectoryByCopyAndDelete) {
    ASSERT_NE(burner.CreateDir(burner.Root(), "Papers", 0x10), nullptr);
    ASSERT_TRUE(burner.CopyDir("\\Papers\\", "\\Docs\\", false));
    ASSERT_TRUE(burner.DeleteDir("\\Docs"));
    EXPECT_EQ(burner.FindDir("\\Docs"), nullptr);
    EXPECT_THAT(Names(burner.Root()), ElementsAre("Papers"));
    EXPECT_EQ(burner.DirsCount(), 3);
    EXPECT_EQ(burner.FilesCount(), 8);
    EXPECT_EQ(burner.TotalSize(), 10240);
}

TEST_F(EditsTest, DeletingASubdirectoryEntryTakesTheSubtree) {
    ASSERT_TRUE(burner.DeleteFile("\\docs", "SUB"));
    EXPECT_EQ(burner.DirsCount(), 1);
    EXPECT_EQ(burner.FilesCount(), 4);
    EXPECT_EQ(burner.TotalSize(), 2048 + 4096);
    EXPECT_EQ(burner.FindDir("\\docs\\sub"), nullptr);
    EXPECT_EQ(burner.FindDir("\\docs\\sub\\deep"), nullptr);
    EXPECT_THAT(Names(docs), ElementsAre("a.txt", "b.txt", "old.dat"));
    ASSERT_EQ(burner.Tree().Dirs().size(), 2u);
    EXPECT_EQ(burner.Tree().IsoOrder().size(), 2u);
    EXPECT_EQ(burner.Tree().JolietOrder().size(), 2u);
    EXPECT_EQ(burner.Tree().Files().size(), 4u);
}

TEST_F(EditsTest, DeleteEntryUnlinksFromAnyPlace) {
    const PFileEntry b = burner.FindFile("\\docs", "b.txt");
    EXPECT_FALSE(burner.DeleteEntry(sub, b));  // not an entry of that directory
    EXPECT_TRUE(burner.DeleteEntry(docs, b));
    EXPECT_THAT(Names(docs), ElementsAre("a.txt", "old.dat", "Sub"));
    EXPECT_TRUE(burner.DeleteFile("\\docs", "a.txt"));
    EXPECT_TRUE(burner.DeleteFile("\\docs", "sub"));
    EXPECT_THAT(Names(docs), ElementsAre("old.dat"));
    EXPECT_EQ(docs->LastEntry, docs->FirstEntry);
    EXPECT_TRUE(burner.DeleteFile("\\docs", "old.dat"));  // imported: no size to take back
    EXPECT_EQ(docs->FirstEntry, nullptr);
    EXPECT_EQ(burner.TotalSize(), 0);
    EXPECT_FALSE(burner.DeleteFile("\\docs", "old.dat"));
    EXPECT_FALSE(burner.DeleteFile("\\nowhere", "a.txt"));
    // The list grows again at its end.
    ASSERT_TRUE(burner.InsertFile(docs, Record("z.txt", 1), false, 0, "/z"));
    EXPECT_THAT(Names(docs), ElementsAre("z.txt"));
}

TEST_F(EditsTest, DeleteDirRemovesItsOwnEntryEvenBesideAFileOfTheSameName) {
    const PDirEntry root = burner.Root();
    ASSERT_TRUE(burner.InsertFile(root, Record("x.y", 1), false, 0, "/x.y"));
    PDirEntry xy = burner.CreateDir(root, "X.Y", 0x10);
    ASSERT_NE(xy, nullptr);
    ASSERT_TRUE(burner.DeleteDir(xy));
    EXPECT_EQ(xy, nullptr);
    EXPECT_THAT(Names(root), ElementsAre("Docs", "x.y"));
    EXPECT_EQ(burner.FindDir("\\X.Y"), nullptr);
}

TEST_F(EditsTest, TheRootIsNeverDeleted) {
    PDirEntry root = burner.Root();
    EXPECT_FALSE(burner.DeleteDir(root));
    EXPECT_EQ(root, burner.Root());
    EXPECT_FALSE(burner.DeleteDir("\\"));
    EXPECT_FALSE(burner.DeleteDir("\\missing"));
    EXPECT_EQ(burner.DirsCount(), 3);
}

TEST_F(BurnerTest, ResetArchiveAttributesMarksOnlyFilesAddedWithArchiveOnly) {
    ASSERT_TRUE(folder.valid());
    const std::string probe = MakeFile("probe", 1);
    ASSERT_TRUE(platform::ResetArchiveBit(probe));
    if (platform::HasArchiveBit(probe)) GTEST_SKIP() << "no extended attributes in " << folder.path();
    MakeFolder("a");
    const std::string marked = MakeFile("a/marked.txt", 1);
    const std::string kept = MakeFile("kept.txt", 1);
    ASSERT_TRUE(burner.InsertDir(burner.Root(), folder / "a", "*.*", 63, true, true, true));
    ASSERT_EQ(burner.InsertFile("\\", kept, false), 1);
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("imported.txt", 10), true, 50, ""));
    EXPECT_TRUE(burner.ResetArchiveAttributes());
    EXPECT_FALSE(platform::HasArchiveBit(marked));
    EXPECT_TRUE(platform::HasArchiveBit(kept));
}

}  // namespace
}  // namespace tavrin::testing
