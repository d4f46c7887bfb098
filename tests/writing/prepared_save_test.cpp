// The quick save after a layout for an image file: every file lands at the extent
// the layout gave it, the image is exactly the session, and the independent readers
// (through the project's verify-iso) list and extract the source tree from it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/iso/layout.h"
#include "engine/writing/save_iso.h"
#include "tests/compilation/burner_fixture.h"
#include "tests/support/shared_tools.h"
#include "tests/support/shell.h"

namespace tavrin::testing {
namespace {

using writing::SaveISO;

using test::Capture;
using test::CommandRun;

class PreparedSave : public BurnerTest {
protected:
    PreparedSave() {
        burner.OnWriteDone = [this](TvxCDBurner&, const std::string& error) { doneTexts.push_back(error); };
        burner.StripSourcePath = true;
    }

    // Nested folders, an empty folder, a hidden file, an empty file, sizes around
    // the block and the chunk, and a Chinese folder name, under tree/top (paths in UTF-8, as on disk).
    void MakeTree() {
        MakeFolder("tree/top/nested/deeper");
        MakeFolder("tree/top/emptydir");
        MakeFolder("tree/top/照片");
        MakeFile("tree/top/one.bin", 1);
        MakeFile("tree/top/b2047.bin", 2047);
        MakeFile("tree/top/b2048.bin", 2048);
        MakeFile("tree/top/nested/b2049.bin", 2049);
        MakeFile("tree/top/nested/deeper/big.bin", 2 * writing::kQuickChunkBytes + 4097);
        MakeFile("tree/top/nested/deeper/.hidden", 3);
        MakeFile("tree/top/empty.txt", 0);
        MakeFile("tree/top/照片/readme.txt", 99);
    }

    std::vector<std::string> doneTexts;
};

TEST_F(PreparedSave, ImageIsTheSessionAndEveryReaderReadsTheTree) {
    MakeTree();
    ASSERT_TRUE(burner.InsertDir("\\", folder / "tree/top/", "*.*", 63, true, true, false));
    ASSERT_TRUE(iso::Prepare(burner, true));
    const std::string image = folder / "out.iso";

    SaveISO(burner, image, true);

    EXPECT_EQ(doneTexts, std::vector<std::string>{""});
    // Every file started where the layout put it: no "INTERNAL ERROR 0004" line.
    EXPECT_TRUE(lines.empty()) << ::testing::PrintToString(lines);
    EXPECT_EQ(std::filesystem::file_size(image), burner.Layout.SessionSizeBlocks * kBlockBytes);

    const std::filesystem::path verifier = test::SharedTool("verify-iso");
    if (!std::filesystem::exists(verifier)) GTEST_SKIP() << verifier << " is not there";
    const CommandRun verified = Capture(verifier.string() + " " + image + " --tree " + (folder / "tree"));
    EXPECT_EQ(verified.status, 0) << verified.output;
}

// The layout's minimum: an empty compilation is 150 blocks, and the quick save
// writes no post-gap even with WritePostGap on.
TEST_F(PreparedSave, EmptyCompilationIsOneHundredFiftyBlocks) {
    burner.WritePostGap = true;
    ASSERT_TRUE(iso::Prepare(burner, true));
    const std::string image = folder / "empty.iso";
    SaveISO(burner, image, true);
    EXPECT_EQ(std::filesystem::file_size(image), 150u * kBlockBytes);
    EXPECT_EQ(doneTexts, std::vector<std::string>{""});
}

}  // namespace
}  // namespace tavrin::testing
