// The path and name indexes against the plain walks they stand for, over many random
// edits: every lookup must give the entry a walk through the tables and lists gives.
#include <gmock/gmock.h>

#include <map>
#include <random>
#include <set>

#include "engine/compilation/names.h"
#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using compilation::AsciiUpper;
using compilation::EqualIgnoringAsciiCase;

PDirEntry WalkFindDir(const TvxCDBurner& burner, std::string_view path) {
    if (path.empty() || path == "\\") return burner.Root();
    const std::string upper = AsciiUpper(compilation::WithoutTrailingBackslash(path));
    const auto dirs = burner.Tree().Dirs();
    for (std::size_t i = 1; i < dirs.size(); ++i) {
        if (dirs[i]->FullPath == upper) return dirs[i].get();
    }
    return nullptr;
}

PFileEntry WalkFindChild(PDirEntry dir, std::string_view name) {
    for (PFileEntry e = dir->FirstEntry; e != nullptr; e = e->Next) {
        if (EqualIgnoringAsciiCase(e->LongName, name)) return e;
    }
    return nullptr;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return text;
}

class RandomEdits : public BurnerTest {
protected:
    std::string Pick(const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    }
    PDirEntry AnyDir() {
        const auto dirs = burner.Tree().Dirs();
        return dirs[std::uniform_int_distribution<std::size_t>(0, dirs.size() - 1)(random)].get();
    }
    std::string PathOf(PDirEntry dir) {
        return std::bernoulli_distribution(0.5)(random) ? Lower(dir->FullPath) : dir->FullPath + "\\";
    }

    void RandomEdit() {
        const std::vector<std::string> names = {"a", "A", "b.txt", "B.TXT", "c.", Gbk("乗"), "x" + Gbk("乗") + "y",
                                                "Long Name", "d"};
        const PDirEntry dir = AnyDir();
        const std::string name = Pick(names);
        switch (std::uniform_int_distribution<int>(0, 9)(random)) {
            case 0:
                burner.CreateDir(dir, name, 0x10);
                break;
            case 1:
                burner.CreateDirPath(PathOf(dir) + name + "\\" + Pick(names));
                break;
            case 2:
            case 3: {
                burner.ReplaceFile = std::bernoulli_distribution(0.5)(random);
                const uint32_t address = std::bernoulli_distribution(0.2)(random) ? 77 : 0;
                burner.InsertFile(dir, Record(name, std::uniform_int_distribution<uint64_t>(0, 9000)(random)), false,
                                  address, "/src/" + name);
                break;
            }
            case 4:
                burner.RenameFile(PathOf(dir), name, "", Pick(names));
                break;
            case 5:
                burner.CopyFile(PathOf(AnyDir()), PathOf(dir), 0, name);
                break;
            case 6:
                burner.CopyDir(PathOf(AnyDir()), PathOf(dir), false);
                break;
            case 7:
                burner.DeleteFile(PathOf(dir), name);
                break;
            case 8: {
                PDirEntry doomed = dir;
                burner.DeleteDir(doomed);
                break;
            }
            case 9:
                if (dir->FirstEntry != nullptr) burner.DeleteEntry(dir, dir->LastEntry);
                break;
        }
    }

    // Lookups against the walks, for every directory and every name in it.
    void CheckLookups() {
        std::set<std::string> paths = {"", "\\", "\\\\", "A", "\\NONE", "\\A\\NONE"};
        for (const auto& dir : burner.Tree().Dirs()) {
            paths.insert(dir->FullPath);
            paths.insert(Lower(dir->FullPath) + "\\");
            paths.insert(dir->FullPath.substr(1));
        }
        for (const std::string& path : paths) ASSERT_EQ(burner.FindDir(path), WalkFindDir(burner, path)) << path;
        for (const auto& dir : burner.Tree().Dirs()) {
            std::set<std::string> probes = {"none", "A", "b.TXT"};
            for (PFileEntry e = dir->FirstEntry; e != nullptr; e = e->Next) {
                probes.insert(e->LongName);
                probes.insert(Lower(e->LongName));
                probes.insert(AsciiUpper(e->LongName));
            }
            for (const std::string& name : probes) {
                ASSERT_EQ(burner.FindChild(dir.get(), name), WalkFindChild(dir.get(), name)) << dir->FullPath << " " << name;
            }
        }
    }

    // The tables hold exactly what the lists reach, and the counts agree.
    void CheckStructure() {
        std::set<PDirEntry> reachedDirs = {burner.Root()};
        std::set<PFileEntry> reachedFiles;
        int64_t total = 0;
        std::vector<PDirEntry> pending = {burner.Root()};
        while (!pending.empty()) {
            const PDirEntry dir = pending.back();
            pending.pop_back();
            PFileEntry previous = nullptr;
            for (PFileEntry e = dir->FirstEntry; e != nullptr; e = e->Next) {
                ASSERT_EQ(e->Owner, dir);
                ASSERT_EQ(e->Prev, previous);
                reachedFiles.insert(e);
                previous = e;
                if (e->Dir != nullptr) {
                    ASSERT_EQ(e->Dir->Parent, dir);
                    ASSERT_EQ(e->Dir->Level, dir->Level + 1);
                    reachedDirs.insert(e->Dir);
                    pending.push_back(e->Dir);
                } else if (!e->Imported) {
                    total += static_cast<int64_t>(BlockRounded(e->Size));
                }
            }
            ASSERT_EQ(dir->LastEntry, previous);
        }
        std::set<PDirEntry> tableDirs;
        uint64_t lastSerial = 0;
        for (const auto& dir : burner.Tree().Dirs()) {
            ASSERT_TRUE(dir.get() == burner.Root() || dir->Serial > lastSerial);
            lastSerial = dir->Serial;
            tableDirs.insert(dir.get());
        }
        std::set<PFileEntry> tableFiles;
        for (const auto& entry : burner.Tree().Files()) tableFiles.insert(entry.get());
        ASSERT_EQ(tableDirs, reachedDirs);
        ASSERT_EQ(tableFiles, reachedFiles);
        ASSERT_EQ(std::set<PDirEntry>(burner.Tree().IsoOrder().begin(), burner.Tree().IsoOrder().end()), reachedDirs);
        ASSERT_EQ(std::set<PDirEntry>(burner.Tree().JolietOrder().begin(), burner.Tree().JolietOrder().end()),
                  reachedDirs);
        ASSERT_EQ(burner.DirsCount() + 1, static_cast<int>(reachedDirs.size()));
        ASSERT_EQ(burner.FilesCount(), static_cast<int>(reachedFiles.size()));
        ASSERT_EQ(burner.TotalSize(), total);
    }

    std::mt19937 random{20261210};
};

TEST_F(RandomEdits, IndexesAgreeWithTheWalks) {
    for (int round = 0; round < 4; ++round) {
        burner.ClearAll(120, 25);
        for (int step = 0; step < 1500; ++step) {
            RandomEdit();
            // Checking reads the tables, which compacts them: leave deleted records
            // in place for a while too.
            if (step % 5 != 4) continue;
            ASSERT_NO_FATAL_FAILURE(CheckLookups()) << "round " << round << " step " << step;
            ASSERT_NO_FATAL_FAILURE(CheckStructure()) << "round " << round << " step " << step;
        }
    }
}

TEST_F(BurnerTest, ALargeFolderStaysInOrderAndFindable) {
    burner.ClearAll(60000, 10);
    const PDirEntry dir = burner.CreateDirPath("\\BIG");
    for (int i = 0; i < 50000; ++i) {
        ASSERT_TRUE(burner.InsertFile(dir, Record("file" + std::to_string(i) + ".dat", 1), false, 0, "/x"));
    }
    EXPECT_EQ(burner.FindFile("\\big", "FILE49999.DAT"), dir->LastEntry);
    EXPECT_EQ(burner.FindFile("\\big", "file0.dat"), dir->FirstEntry);
    for (int i = 0; i < 50000; i += 2) ASSERT_TRUE(burner.DeleteFile("\\BIG", "file" + std::to_string(i) + ".dat"));
    EXPECT_EQ(burner.FilesCount(), 25001);
    EXPECT_EQ(dir->FirstEntry->LongName, "file1.dat");
    EXPECT_EQ(burner.TotalSize(), 25000 * 2048);
}

}  // namespace
}  // namespace tavrin::testing
