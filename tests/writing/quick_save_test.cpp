// The quick image save against a header and a file table filled by hand: what the
// image holds, byte for byte, and how failures reach the caller.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/writing/io_error.h"
#include "engine/writing/save_iso.h"
#include "tests/compilation/burner_fixture.h"
#include "tests/writing/image_bytes.h"

namespace tavrin::testing {
namespace {

using writing::SaveISO;


class QuickSave : public BurnerTest {
protected:
    QuickSave() {
        burner.OnWriteDone = [this](TvxCDBurner&, const std::string& error) { doneTexts.push_back(error); };
        image = folder / "out.iso";
    }

    // A header of `blocks` blocks, each filled with its own number, and the first
    // file block after it.
    void SetHeader(uint32_t blocks) {
        burner.HeaderStream.clear();
        for (uint32_t b = 0; b < blocks; ++b) burner.HeaderStream.insert(burner.HeaderStream.end(), kBlockBytes, b + 1);
        burner.Layout.FirstFileBlock = blocks;
    }

    // A source file with distinct bytes, added under the root at the extent the
    // layout would give it (blocks allotted so far); returns its entry.
    PFileEntry AddFile(const std::string& name, std::size_t size, uint8_t seed) {
        const std::string path = folder / name;
        WriteAll(path, Content(size, seed));
        EXPECT_TRUE(burner.InsertFile(burner.Root(), Record(name, size), false, 0, path));
        const PFileEntry entry = burner.FindChild(burner.Root(), name);
        if (entry != nullptr && size > 0) {
            entry->IsoExtent = entry->JolietExtent = allotted;
            allotted += static_cast<uint32_t>(BlockRounded(size) / kBlockBytes);
        }
        return entry;
    }

    std::string image;
    std::vector<std::string> doneTexts;
    uint32_t allotted = 0;
};

TEST_F(QuickSave, HeaderThenEveryFileInWholeBlocksWithZeroTails) {
    SetHeader(3);
    // Sizes around the block and the chunk: one byte, a block less one, a block, a
    // block and one, several chunks and a part.
    const std::vector<std::size_t> sizes{1, 2047, 2048, 2049, 5000, 3 * writing::kQuickChunkBytes + 777};
    Bytes expected = burner.HeaderStream;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        AddFile("f" + std::to_string(i) + ".bin", sizes[i], static_cast<uint8_t>(i * 40));
        const Bytes padded = Padded(Content(sizes[i], static_cast<uint8_t>(i * 40)));
        expected.insert(expected.end(), padded.begin(), padded.end());
    }
    // Entries without data of their own in the image: none of them is read.
    AddFile("empty.txt", 0, 0);
    ASSERT_NE(burner.CreateDir(burner.Root(), "SUB", platform::kAttrDirectory), nullptr);
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("old.bin", 4096), false, 20000, ""));

    SaveISO(burner, image, true);

    EXPECT_EQ(ReadAll(image), expected);
    EXPECT_EQ(doneTexts, std::vector<std::string>{""});
    EXPECT_TRUE(lines.empty()) << ::testing::PrintToString(lines);
}

TEST_F(QuickSave, FiveThousandBytesEndTheImageWithThreeBlocks) {
    SetHeader(150);
    AddFile("a.bin", 5000, 9);
    SaveISO(burner, image, true);
    const Bytes written = ReadAll(image);
    ASSERT_EQ(written.size(), (150 + 3) * kBlockBytes);
    EXPECT_EQ(Bytes(written.end() - 1144, written.end()), Bytes(1144, 0));
}

TEST_F(QuickSave, ReplacesALongerExistingImage) {
    WriteAll(image, Bytes(10 * kBlockBytes, 0xEE));
    SetHeader(1);
    SaveISO(burner, image, true);
    EXPECT_EQ(ReadAll(image), burner.HeaderStream);
}

TEST_F(QuickSave, FileAwayFromItsExtentIsTracedAndWritten) {
    SetHeader(2);
    AddFile("a.bin", 100, 1);
    const PFileEntry b = AddFile("b.bin", 100, 2);
    b->IsoExtent = 7;  // the layout and the table disagree
    SaveISO(burner, image, true);

    const std::string source = folder / "b.bin";
    EXPECT_EQ(lines, (std::vector<DebugLine>{{">>> INTERNAL ERROR 0004 " + source + " 9<>3", kDebugImage}}));
    EXPECT_EQ(ReadAll(image).size(), 4 * kBlockBytes);
    EXPECT_EQ(doneTexts, std::vector<std::string>{""});
}

TEST_F(QuickSave, TargetInAMissingFolderRaisesTheIOErrorAndNoWriteDone) {
    SetHeader(1);
    const std::string target = folder / "missing/out.iso";
    try {
        SaveISO(burner, target, true);
        FAIL() << "no error";
    } catch (const IOError& e) {
        EXPECT_EQ(e.Path(), target);
        EXPECT_EQ(e.Reason(), "No such file or directory");
        EXPECT_EQ(std::string(e.what()), target + ": No such file or directory");
    }
    EXPECT_TRUE(doneTexts.empty());
    EXPECT_FALSE(std::filesystem::exists(target));
}

// A source that changed after it was added is reported, naming it; what is written
// up to it stays, nothing of it or after it is written, and no success is reported.
struct SourceFault {
    const char* name;
    void (*damage)(const std::string& path);
    const char* reason;
};

class QuickSaveSourceFault : public QuickSave, public ::testing::WithParamInterface<SourceFault> {};

TEST_P(QuickSaveSourceFault, IsRaisedNamingTheSource) {
    SetHeader(1);
    AddFile("a.bin", 3000, 1);
    AddFile("b.bin", 3 * writing::kQuickChunkBytes, 2);
    AddFile("c.bin", 10, 3);
    const std::string source = folder / "b.bin";
    GetParam().damage(source);
    try {
        SaveISO(burner, image, true);
        FAIL() << "no error";
    } catch (const IOError& e) {
        EXPECT_EQ(e.Path(), source);
        EXPECT_EQ(e.Reason(), GetParam().reason);
    }
    EXPECT_TRUE(doneTexts.empty());
    const Bytes written = ReadAll(image);
    ASSERT_GE(written.size(), 3 * kBlockBytes);
    EXPECT_LE(written.size(), (3 + 2 * writing::kQuickChunkBytes / kBlockBytes) * kBlockBytes);
    EXPECT_EQ(Bytes(written.begin() + kBlockBytes, written.begin() + 3 * kBlockBytes), Padded(Content(3000, 1)));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, QuickSaveSourceFault,
    ::testing::Values(
        SourceFault{"Vanished", [](const std::string& path) { std::filesystem::remove(path); },
                    "No such file or directory"},
        SourceFault{"Shorter",
                    [](const std::string& path) {
                        std::filesystem::resize_file(path, writing::kQuickChunkBytes + 5);
                    },
                    writing::kSourceShorter.data()},
        SourceFault{"Empty", [](const std::string& path) { std::filesystem::resize_file(path, 0); },
                    writing::kSourceShorter.data()}),
    [](const auto& info) { return std::string(info.param.name); });

// The threaded form through this call waits for the writer's one report.
TEST_F(QuickSave, ThreadedFormReturnsAfterItsReport) {
    SetHeader(1);
    burner.Layout.SessionSizeBlocks = 1;
    burner.WritePostGap = false;
    SaveISO(burner, image, false);
    EXPECT_EQ(doneTexts, std::vector<std::string>{""});
    EXPECT_EQ(std::filesystem::file_size(image), kBlockBytes);
}

}  // namespace
}  // namespace tavrin::testing
