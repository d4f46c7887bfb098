// tavrin-cli save-iso as a user runs it: images of local trees, read back by the
// independent readers through the project's verify-iso, and the failures it reports.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_fixture.h"
#include "tests/support/shared_tools.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;

// File contents that differ from file to file and from block to block.
void MakeFile(const fs::path& path, std::size_t size, unsigned seed) {
    fs::create_directories(path.parent_path());
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 13 + i / 2048);
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& path, std::size_t offset, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes;
}

class SaveIso : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        verifier_ = test::SharedTool("verify-iso");
        fs::create_directories(root_ / "tree");
        image_ = root_ / "out.iso";
    }

    Outcome save(const std::string& arguments) const {
        return RunShell("cd " + Quoted(root_) + " && " + program() + " save-iso " + arguments);
    }
    Outcome verify(const std::string& arguments) const {
        return RunShell(Quoted(verifier_) + " " + Quoted(image_) + " --tree " + Quoted(root_ / "tree") + " " + arguments);
    }
    bool haveVerifier() const { return fs::exists(verifier_); }

    // Folders nested three deep, an empty folder, a hidden file, an empty file, sizes
    // around the block and several megabytes, under the folder `top`.
    void MakeTree(const std::string& top) const {
        const fs::path t = root_ / "tree" / top;
        MakeFile(t / "one.bin", 1, 1);
        MakeFile(t / "b2047.bin", 2047, 2);
        MakeFile(t / "b2048.bin", 2048, 3);
        MakeFile(t / "nested/b2049.bin", 2049, 4);
        MakeFile(t / "nested/deeper/big.bin", 3 * 1024 * 1024 + 5, 5);
        MakeFile(t / "nested/deeper/.hidden", 10, 6);
        MakeFile(t / "empty.txt", 0, 0);
        fs::create_directories(t / "emptydir");
    }

    fs::path verifier_;
    fs::path image_;
};

TEST_F(SaveIso, FolderTreeIsReadBackByEveryReader) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    MakeTree("data");
    MakeFile(root_ / "tree/data/\xE7\x85\xA7\xE7\x89\x87/readme.txt", 100, 7);  // 照片
    const Outcome saved = save("-o out.iso --quick --volume PHOTOS tree/data");
    ASSERT_EQ(saved.exitCode, 0) << saved.output;
    EXPECT_TRUE(Has(saved, "image: out.iso\n")) << saved.output;

    const Outcome verified = verify("");
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    // The volume label, upper-cased and filled with spaces, in the primary descriptor.
    EXPECT_EQ(ReadBytes(image_, 16 * 2048 + 40, 32), "PHOTOS" + std::string(26, ' '));
}

// Chinese file names: every reader must list and extract them (their ISO 9660
// names hold no GBK bytes, the Joliet names hold the names themselves).
TEST_F(SaveIso, ChineseFileNamesAreReadBackByEveryReader) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    MakeFile(root_ / "tree/\xE6\x96\x87\xE4\xBB\xB6.txt", 7, 8);                                     // 文件.txt
    MakeFile(root_ / "tree/\xE7\x85\xA7\xE7\x89\x87/\xE5\x9B\xBE\xE7\x89\x87\xE4\xB8\x80.jpg", 5000, 9);  // 照片/图片一.jpg
    MakeFile(root_ / "tree/plain.txt", 2049, 10);
    const Outcome saved = save("-o out.iso tree/\xE6\x96\x87\xE4\xBB\xB6.txt tree/\xE7\x85\xA7\xE7\x89\x87 tree/plain.txt");
    ASSERT_EQ(saved.exitCode, 0) << saved.output;

    const Outcome verified = verify("");
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
}

TEST_F(SaveIso, FilesAndFoldersTogetherWithoutJoliet) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    MakeTree("docs");
    MakeFile(root_ / "tree/LOOSE.TXT", 3000, 11);
    const Outcome saved = save("--no-joliet -o out.iso tree/LOOSE.TXT tree/docs");
    ASSERT_EQ(saved.exitCode, 0) << saved.output;
    // No Joliet descriptor: the terminator follows the primary descriptor.
    EXPECT_EQ(ReadBytes(image_, 17 * 2048, 6), "\xFF" "CD001");
    const Outcome verified = verify("--no-joliet");
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
}

TEST_F(SaveIso, AnEmptyFolderGivesTheSmallestImage) {
    fs::create_directories(root_ / "tree/nothing");
    const Outcome saved = save("--quick -o out.iso tree/nothing");
    ASSERT_EQ(saved.exitCode, 0) << saved.output;
    // The quick save writes the session only: 150 blocks, no post-gap padding.
    EXPECT_EQ(fs::file_size(image_), 150u * 2048);
}

TEST_F(SaveIso, ANameNoRecordHoldsIsLeftOutWithAWarning) {
    const std::string longName = std::string(120, 'n') + ".txt";
    MakeFile(root_ / "tree/d" / longName, 5, 12);
    MakeFile(root_ / "tree/d/kept.txt", 5, 13);
    const Outcome saved = save("-o out.iso tree/d");
    EXPECT_EQ(saved.exitCode, 0) << saved.output;
    EXPECT_TRUE(Has(saved, "warning: NAME \"" + (root_ / "tree/d" / longName).string() +
                               "\" IS TOO LONG FOR A DIRECTORY RECORD, NOT ADDED\n"))
        << saved.output;
    EXPECT_TRUE(Has(saved, "files: 1\n")) << saved.output;
}

struct FailureCase {
    const char* label;
    const char* arguments;
    int exitCode;
    const char* message;
};

class SaveIsoFailure : public SaveIso, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SaveIsoFailure, IsReportedAndWritesNoImage) {
    MakeFile(root_ / "tree/a.txt", 10, 1);
    const Outcome saved = save(GetParam().arguments);
    EXPECT_EQ(saved.exitCode, GetParam().exitCode) << saved.output;
    EXPECT_TRUE(Has(saved, GetParam().message)) << saved.output;
    EXPECT_FALSE(fs::exists(image_));
    EXPECT_FALSE(Has(saved, "image: ")) << saved.output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveIsoFailure,
    ::testing::Values(
        FailureCase{"TargetInAMissingFolder", "--quick -o missing/out.iso tree/a.txt", 1,
                    "tavrin-cli: missing/out.iso: No such file or directory\n"},
        FailureCase{"MissingSource", "-o out.iso tree/nope.txt", 2, "tavrin-cli: no such file or folder: tree/nope.txt\n"},
        FailureCase{"NoSource", "-o out.iso", 2, "SOURCE is required"},
        FailureCase{"NoOutput", "tree/a.txt", 2, "--output is required"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tavrin::test
