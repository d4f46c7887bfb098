// Adding files and whole folders from a real folder tree.
#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "engine/platform/archive_bit.h"
#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class InsertDirTest : public BurnerTest {
protected:
    // src/ b.txt (1 byte), 中文.txt (3000), .hidden (0), empty (0),
    //      子目录/ inner.dat (2048), 子目录/深/deep.txt (5)
    void SetUp() override {
        ASSERT_TRUE(folder.valid());
        MakeFolder("src/子目录/深");
        MakeFile("src/b.txt", 1);
        MakeFile("src/中文.txt", 3000);
        MakeFile("src/.hidden", 0);
        MakeFile("src/empty", 0);
        MakeFile("src/子目录/inner.dat", 2048);
        MakeFile("src/子目录/深/deep.txt", 5);
        source = folder / "src";  // ASCII, so also its GBK form
        burner.StripSourcePath = true;
        burner.OnAddFile = [this](TvxCDBurner&, const std::string& fullPath, std::string&, std::string&, TDateTime&,
                                  uint32_t attr, uint64_t size, bool&) { files[fullPath] = {attr, size}; };
        burner.OnAddDir = [this](TvxCDBurner&, std::string& longName, std::string&, bool&) {
            dirs.push_back(longName);
        };
    }

    static std::vector<std::string> Kinds(PDirEntry dir) {
        std::vector<std::string> kinds;
        for (PFileEntry e = dir->FirstEntry; e != nullptr; e = e->Next) kinds.push_back(e->Dir ? "dir" : "file");
        return kinds;
    }

    std::string source;
    std::map<std::string, std::pair<uint32_t, uint64_t>> files;
    std::vector<std::string> dirs;
};

TEST_F(InsertDirTest, AddsTheTreeFilesFirstThenFolders) {
    ASSERT_TRUE(burner.InsertDir(burner.Root(), source + "/", "*.*", 63, true, true, false));
    const PDirEntry src = burner.FindDir("\\SRC");
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->LongName, "src");
    EXPECT_THAT(Names(src), UnorderedElementsAre("b.txt", Gbk("中文.txt"), ".hidden", "empty", Gbk("子目录")));
    EXPECT_THAT(Kinds(src), ElementsAre("file", "file", "file", "file", "dir"));
    const PDirEntry sub = burner.FindDir("\\src\\" + Gbk("子目录"));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->ShortName, "______");
    EXPECT_THAT(Names(sub), ElementsAre("inner.dat", Gbk("深")));
    EXPECT_THAT(Names(burner.FindDir("\\src\\" + Gbk("子目录\\深"))), ElementsAre("deep.txt"));

    EXPECT_EQ(burner.DirsCount(), 3);
    EXPECT_EQ(burner.FilesCount(), 9);
    EXPECT_EQ(burner.TotalSize(), 2048 + 4096 + 2048 + 2048);
    EXPECT_THAT(dirs, UnorderedElementsAre(Gbk("子目录"), Gbk("深")));
    ASSERT_EQ(files.size(), 6u);
    EXPECT_EQ(files.at(source + "/" + Gbk("中文.txt")).second, 3000u);
    EXPECT_EQ(files.at(source + "/.hidden").first & platform::kAttrHidden, platform::kAttrHidden);
    EXPECT_EQ(files.at(source + "/b.txt").first & platform::kAttrHidden, 0u);
    EXPECT_EQ(files.at(source + "/" + Gbk("子目录/深/deep.txt")).second, 5u);

    const PFileEntry chinese = burner.FindFile("\\src", Gbk("中文.TXT"));
    ASSERT_NE(chinese, nullptr);
    EXPECT_EQ(chinese->ShortName, "____.TXT");
    EXPECT_EQ(chinese->SourcePath, source + "/" + Gbk("中文.txt"));
    EXPECT_TRUE(lines.empty());
}

TEST_F(InsertDirTest, SavePathKeepsTheWholeFolderPathWithoutStripping) {
    burner.StripSourcePath = false;
    ASSERT_TRUE(burner.InsertDir("\\", source, "*.*", 63, true, true, false));
    std::string path = source;
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_NE(burner.FindDir(path), nullptr) << path;
    EXPECT_NE(burner.FindFile(path, "b.txt"), nullptr);
}

TEST_F(InsertDirTest, WithoutSavePathTheFolderContentGoesIntoTheDestination) {
    const PDirEntry dest = burner.CreateDirPath("\\DEST");
    ASSERT_TRUE(burner.InsertDir(dest, source, "", 0, true, false, false));
    EXPECT_NE(burner.FindFile("\\DEST", "b.txt"), nullptr);
    EXPECT_NE(burner.FindDir("\\DEST\\" + Gbk("子目录")), nullptr);
    // With SavePath the last folder goes below the destination.
    ASSERT_TRUE(burner.InsertDir(dest, source + "/", "*.*", 63, true, true, false));
    EXPECT_NE(burner.FindFile("\\DEST\\SRC", "b.txt"), nullptr);
}

TEST_F(InsertDirTest, NotRecursiveOrNetworkSourcesOnlyCreateTheFolder) {
    EXPECT_FALSE(burner.InsertDir(burner.Root(), "//server/share/photos/", "*.*", 63, true, true, false));
    const PDirEntry photos = burner.FindDir("\\photos");
    ASSERT_NE(photos, nullptr);
    EXPECT_EQ(photos->FirstEntry, nullptr);
    EXPECT_FALSE(burner.InsertDir(burner.Root(), source, "*.*", 63, false, true, false));
    ASSERT_NE(burner.FindDir("\\src"), nullptr);
    EXPECT_EQ(burner.FindDir("\\src")->FirstEntry, nullptr);
    EXPECT_EQ(burner.FilesCount(), 2);
}

TEST_F(InsertDirTest, AddingTheSameFolderAgainRefusesTheDuplicates) {
    ASSERT_TRUE(burner.InsertDir(burner.Root(), source, "*.*", 63, true, true, false));
    const int count = burner.FilesCount();
    // The result is that of the last listing record: "." may come after the refused files.
    burner.InsertDir(burner.Root(), source, "*.*", 63, true, true, false);
    EXPECT_EQ(burner.FilesCount(), count);
    EXPECT_EQ(burner.TotalSize(), 10240);
    burner.ReplaceFile = true;
    EXPECT_TRUE(burner.InsertDir(burner.Root(), source, "*.*", 63, true, true, false));
    EXPECT_EQ(burner.FilesCount(), count);
    EXPECT_EQ(burner.TotalSize(), 10240);
}

TEST_F(InsertDirTest, AFolderThatCannotBeCreatedEndsTheScan) {
    burner.ClearAll(100, 2);
    EXPECT_FALSE(burner.InsertDir(burner.Root(), source, "*.*", 63, true, true, false));
    EXPECT_THAT(lines, ElementsAre(DebugLine{">>> MAXIMUM DIRECTORIES CAN BE 2", kDebugCapacity}));
    EXPECT_EQ(burner.FilesCount(), 5);  // \src and its four files
    EXPECT_EQ(dirs, std::vector<std::string>{Gbk("子目录")});
}

TEST_F(InsertDirTest, OnAddDirMayRenameOrSkipAFolder) {
    burner.OnAddDir = [](TvxCDBurner&, std::string& longName, std::string& shortName, bool& skip) {
        if (longName == Gbk("深")) skip = true;
        longName = "Renamed Folder";
        shortName = "IGNORED";
    };
    ASSERT_TRUE(burner.InsertDir(burner.Root(), source, "*.*", 63, true, true, false));
    const PDirEntry renamed = burner.FindDir("\\src\\renamed folder");
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(renamed->ShortName, "RENAMED_FOLDE");
    EXPECT_THAT(Names(renamed), ElementsAre("inner.dat"));
    EXPECT_EQ(burner.DirsCount(), 2);
}

TEST_F(InsertDirTest, AnEmptyFolderSucceedsAndAnUnreadableOneFails) {
    MakeFolder("hollow");
    EXPECT_TRUE(burner.InsertDir(burner.Root(), folder / "hollow", "*.*", 63, true, true, false));
    EXPECT_NE(burner.FindDir("\\hollow"), nullptr);
    EXPECT_FALSE(burner.InsertDir(burner.Root(), folder / "missing", "*.*", 63, true, false, false));
}

TEST_F(InsertDirTest, LongNamesOnDiskFollowTheSkipRule) {
    MakeFolder("long");
    const std::string name107 = std::string(103, 'a') + ".txt";
    const std::string name128 = std::string(124, 'b') + ".txt";
    MakeFile("long/" + name107, 1);
    MakeFile("long/" + name128, 1);
    burner.OnAddFile = nullptr;
    burner.InsertDir(burner.Root(), folder / "long", "*.*", 63, true, true, false);
    EXPECT_THAT(Names(burner.FindDir("\\long")), ElementsAre(name107));
}

TEST_F(InsertDirTest, NamesWithoutAGbkFormAreSkippedAndNamed) {
    MakeFolder("odd");
    MakeFile("odd/ok.txt", 1);
    MakeFile("odd/smile\xF0\x9F\x98\x80.txt", 1);
    ASSERT_TRUE(burner.InsertDir(burner.Root(), folder / "odd", "*.*", 63, true, true, false));
    EXPECT_THAT(Names(burner.FindDir("\\odd")), ElementsAre("ok.txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].type, kDebugImage);
    EXPECT_NE(lines[0].message.find("smile<U+1F600>.txt"), std::string::npos) << lines[0].message;
    EXPECT_NE(lines[0].message.find(folder / "odd/"), std::string::npos) << lines[0].message;
}

TEST_F(InsertDirTest, ArchiveOnlyTakesFilesChangedSinceTheirLastWrite) {
    MakeFolder("arch");
    const std::string written = MakeFile("arch/written.txt", 1);
    MakeFile("arch/changed.txt", 1);
    ASSERT_TRUE(platform::ResetArchiveBit(written));
    if (platform::HasArchiveBit(written)) GTEST_SKIP() << "no extended attributes in " << folder.path();
    burner.InsertDir(burner.Root(), folder / "arch", "*.*", 63, true, true, true);
    EXPECT_THAT(Names(burner.FindDir("\\arch")), ElementsAre("changed.txt"));
    EXPECT_TRUE(burner.FindFile("\\arch", "changed.txt")->ClearArchive);
}

TEST_F(InsertDirTest, InsertFileBySourcePath) {
    const std::string file = source + "/b.txt";
    EXPECT_EQ(burner.InsertFile("\\", file, false), 1);
    EXPECT_NE(burner.FindFile("\\", "b.txt"), nullptr);
    EXPECT_EQ(burner.InsertFile("\\", file, false), 1);  // refused as a duplicate, still 1
    EXPECT_EQ(burner.FilesCount(), 1);
    EXPECT_EQ(burner.InsertFile("\\", source + "/vanished.txt", false), -1);
    EXPECT_EQ(burner.InsertFile("ignored", file, true), 1);  // SavePath: \src\b.txt
    EXPECT_NE(burner.FindFile("\\src", "b.txt"), nullptr);
    burner.StripSourcePath = false;
    EXPECT_EQ(burner.InsertFile("", source + "/" + Gbk("中文.txt"), true), 1);
    std::string path = source;
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_NE(burner.FindFile(path, Gbk("中文.txt")), nullptr);
    EXPECT_TRUE(lines.empty());
}

TEST_F(InsertDirTest, AFileThatVanishedAfterTheListingIsNotAdded) {
    const std::string gone = MakeFile("gone.txt", 1);
    std::filesystem::remove(gone);
    EXPECT_EQ(burner.InsertFile("\\", gone, false), -1);
    EXPECT_EQ(burner.FilesCount(), 0);
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace tavrin::testing
