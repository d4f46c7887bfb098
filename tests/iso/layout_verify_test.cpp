// A folder tree added as the application adds it, laid out for an image file, the
// header written with each file's bytes at its extent, and the image read back by
// the project's verifier (every installed reader lists and extracts the tree).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/compilation/names.h"
#include "engine/iso/layout.h"
#include "tests/compilation/burner_fixture.h"
#include "tests/iso/image_check.h"

namespace tavrin::testing {
namespace {

struct SourceFile {
    std::string path;  // UTF-8, below the source folder
    std::size_t size;
};

// Nested folders, hidden and empty files, sizes about the block boundary, a few MB,
// Chinese names, a name without an extension.
const std::vector<SourceFile> kTree{
    {"one.txt", 1},          {"b2047.bin", 2047},          {"b2048.bin", 2048},
    {"b2049.bin", 2049},     {"big.bin", 3 * 1024 * 1024 + 5}, {"empty.txt", 0},
    {".hidden.cfg", 12},     {"文件.txt", 300},            {"照片/a.txt", 1},
    {"照片/深/b.dat", 4097}, {"照片/深/空.txt", 0},        {"docs/.notes.txt", 40},
    {"docs/inner/x.y", 2048},  {"docs/README", 5}};

uint8_t ByteAt(std::size_t i, std::size_t seed) { return static_cast<uint8_t>(seed * 31 + i * 7 + i / 509); }

class LayoutVerify : public BurnerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.valid());
        MakeFolder("src/empty folder");
        for (std::size_t n = 0; n < kTree.size(); ++n) {
            const std::filesystem::path path = std::filesystem::path(folder / "src") / kTree[n].path;
            std::filesystem::create_directories(path.parent_path());
            Bytes data(kTree[n].size);
            for (std::size_t i = 0; i < data.size(); ++i) data[i] = ByteAt(i, n);
            WriteBytes(path, data);
        }
        source = folder / "src";
    }

    std::string source;
};

TEST_F(LayoutVerify, ReadersSeeTheTreeAndItsBytes) {
    const auto verifier = Verifier();
    if (!verifier) GTEST_SKIP() << "verify-iso is not there (TAVRIN_SOURCE_DIR)";
    for (const bool joliet : {true, false}) {
        SCOPED_TRACE(joliet ? "Joliet" : "ISO 9660 only");
        ASSERT_TRUE(burner.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs));
        burner.JolietFileSystem = joliet;
        burner.IdVolume = "Layout Test";
        // The folder's contents at the root of the image.
        ASSERT_TRUE(burner.InsertDir(burner.Root(), source + "/", "*.*", 63, true, false, false));
        ASSERT_TRUE(iso::Prepare(burner, true));
        const std::filesystem::path image = folder / "layout.iso";
        WriteBytes(image, SessionImage(burner));
        const CommandRun verified = Capture(verifier->string() + " " + image.string() + " --tree " + source +
                                            (joliet ? "" : " --no-joliet"));
        EXPECT_EQ(verified.status, 0) << verified.output;
        EXPECT_EQ(verified.output.find("FAIL"), std::string::npos) << verified.output;
    }
}

}  // namespace
}  // namespace tavrin::testing
