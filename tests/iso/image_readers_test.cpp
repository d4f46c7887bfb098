// A small image put together by hand from the record and descriptor encoders, read
// back by independent readers: isoinfo, xorriso and the project's verify-iso (which
// runs them and 7z, bsdtar and iso-info against the source tree). Each reader that
// is not installed is skipped with a message.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/iso/directory_order.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/identifiers.h"
#include "engine/iso/path_table.h"
#include "engine/iso/tree_records.h"
#include "engine/iso/volume_descriptors.h"
#include "tests/iso/dir_tree.h"
#include "tests/platform/test_support.h"
#include "tests/support/shared_tools.h"
#include "tests/support/shell.h"

namespace tavrin::testing {
namespace {

using namespace tavrin::iso;
using Bytes = std::vector<uint8_t>;

// GBK and UTF-8 forms of the Chinese names.
const std::string kWenJianGbk = "\xCE\xC4\xBC\xFE.txt";  // 文件.txt
const std::string kWenJianUtf8 = "\xE6\x96\x87\xE4\xBB\xB6.txt";
const std::string kZhaoPianGbk = "\xD5\xD5\xC6\xAC";  // 照片
const std::string kZhaoPianUtf8 = "\xE7\x85\xA7\xE7\x89\x87";

bool Installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

using test::Capture;
using test::CommandRun;

Bytes Content(std::size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

// The blocks of the image, relative to the session start S:
//   16 primary, 17 Joliet, 18 terminator, 19/20 ISO path tables L/M, 21/22 Joliet
//   L/M, 23/24 ISO records of the root and of 照片, 25/26 their Joliet records,
//   file data from 27: 文件.txt (2049 bytes, 2 blocks), 照片/a.txt (1 byte), 照片/b.bin
//   (2048 bytes); empty.txt has no block.
constexpr uint32_t kSessionBlocks = 31;
constexpr uint32_t kFirstFileBlock = 27;

struct FileData {
    std::string utf8Path;
    Bytes content;
};

class HandMadeImage {
public:
    explicit HandMadeImage(uint32_t sessionStart) : start_(sessionStart) {
        photos_->IsoExtentOffset = photos_->JolietExtentOffset = 1;
        AddFile(rootEntries_, "WENJIAN.TXT", kWenJianGbk, kWenJianUtf8, Content(2049, 3));
        AddFile(rootEntries_, "EMPTY.TXT", "empty.txt", "empty.txt", {});
        rootEntries_.Add("____", kZhaoPianGbk).Dir = photos_;
        AddFile(photoEntries_, "A.TXT", "a.txt", kZhaoPianUtf8 + "/a.txt", Content(1, 9));
        AddFile(photoEntries_, "B.BIN", "b.bin", kZhaoPianUtf8 + "/b.bin", Content(2048, 11));
        for (const PDirEntry dir : tree_.table) {
            dir->IsoExtentSize = *DirectoryRecordBytes(*dir, Tree::Iso, encoder_);
            dir->JolietExtentSize = *DirectoryRecordBytes(*dir, Tree::Joliet, encoder_);
        }
        jolietOrder_ = tree_.table;
        SortDirectories(tree_.table, Tree::Iso);
        SortDirectories(jolietOrder_, Tree::Joliet);
    }

    const std::vector<FileData>& Files() const { return files_; }

    Bytes Build() {
        Bytes image(std::size_t{start_ + kSessionBlocks} * kBlockBytes, 0);
        auto put = [&](uint32_t block, const auto& bytes) {
            std::copy(bytes.begin(), bytes.end(), image.begin() + std::size_t{start_ + block} * kBlockBytes);
        };
        const auto isoTable = EncodePathTable(tree_.table, Tree::Iso, start_ + 23, ByteOrder::L, encoder_);
        const auto jolietTable = EncodePathTable(jolietOrder_, Tree::Joliet, start_ + 25, ByteOrder::L, encoder_);
        put(16, EncodePrimaryDescriptor(Identity(), Location(isoTable->size(), 19, 23)));
        put(17, EncodeJolietDescriptor(Identity(), Location(jolietTable->size(), 21, 25), encoder_));
        put(18, EncodeTerminator());
        put(19, *isoTable);
        put(20, *EncodePathTable(tree_.table, Tree::Iso, start_ + 23, ByteOrder::M, encoder_));
        put(21, *jolietTable);
        put(22, *EncodePathTable(jolietOrder_, Tree::Joliet, start_ + 25, ByteOrder::M, encoder_));
        for (const Tree tree : {Tree::Iso, Tree::Joliet}) {
            const uint32_t area = tree == Tree::Iso ? 23 : 25;
            const TreePlacement placement{.tree = tree,
                                          .areaStartBlock = start_ + area,
                                          .firstFileBlock = start_ + kFirstFileBlock,
                                          .now = date_,
                                          .gmtOffset = 32};
            put(area, *EncodeDirectoryRecords(*tree_.Root(), placement, encoder_));
            put(area + 1, *EncodeDirectoryRecords(*photos_, placement, encoder_));
        }
        uint32_t block = kFirstFileBlock;
        for (const FileData& file : files_) {
            put(block, file.content);
            block += static_cast<uint32_t>(BlockRounded(file.content.size()) / kBlockBytes);
        }
        return image;
    }

private:
    // Files with data get consecutive blocks in the order they are added.
    void AddFile(EntryList& list, const std::string& shortName, const std::string& longName,
                 const std::string& utf8Path, Bytes content) {
        list.AddFile(shortName, longName, content.size(), content.empty() ? 0 : dataBlocks_);
        dataBlocks_ += static_cast<uint32_t>(BlockRounded(content.size()) / kBlockBytes);
        files_.push_back({utf8Path, std::move(content)});
    }

    static VolumeIdentity Identity() {
        VolumeIdentity identity;
        identity.IdVolume = "Hand Made";
        identity.IdApplication = "Tavrin";
        identity.DateCreation = compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0});
        return identity;
    }

    TreeLocation Location(std::size_t tableBytes, uint32_t typeL, uint32_t area) const {
        return {.volumeSpaceBlocks = kSessionBlocks,
                .pathTableBytes = static_cast<uint32_t>(tableBytes),
                .typeLPathTableBlock = start_ + typeL,
                .typeMPathTableBlock = start_ + typeL + 1,
                .rootExtentBlock = start_ + area,
                .rootExtentBytes = static_cast<uint32_t>(tree_.Root()->IsoExtentSize)};
    }

    uint32_t start_;
    DirTree tree_;
    const PDirEntry photos_ = tree_.Add(tree_.Root(), kZhaoPianGbk, "____");
    EntryList rootEntries_{tree_.Root()};
    EntryList photoEntries_{photos_};
    std::vector<PDirEntry> jolietOrder_;
    std::vector<FileData> files_;
    uint32_t dataBlocks_ = 0;
    JolietNameEncoder encoder_;
    RecordingDate date_ = RecordingDateOf(compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0}), 32);
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class ImageReaders : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.valid());
        HandMadeImage made(GetParam());
        Bytes disc = made.Build();
        // A later session goes on a disc whose first session lies at block 0.
        if (GetParam() != 0) {
            const Bytes first = HandMadeImage(0).Build();
            std::copy(first.begin(), first.end(), disc.begin());
        }
        WriteFile(image_, disc);
        std::filesystem::create_directories(source_ / kZhaoPianUtf8);
        for (const FileData& file : made.Files()) WriteFile(source_ / file.utf8Path, file.content);
    }

    std::string Session(const std::string& isoinfoOrXorriso) const {
        if (GetParam() == 0) return "";
        const std::string lba = std::to_string(GetParam());
        return isoinfoOrXorriso == "isoinfo" ? " -T " + lba : " -load sbsector " + lba;
    }

    TempFolder folder_;
    const std::filesystem::path image_ = folder_ / "hand.iso";
    const std::filesystem::path source_ = folder_ / "tree";
};

TEST_P(ImageReaders, IsoinfoListsBothTrees) {
    if (!Installed("isoinfo")) GTEST_SKIP() << "isoinfo (genisoimage) is not installed";
    const CommandRun described = Capture("isoinfo -d" + Session("isoinfo") + " -i " + image_.string());
    EXPECT_EQ(described.status, 0) << described.output;
    EXPECT_NE(described.output.find("Volume id: HAND MADE"), std::string::npos) << described.output;
    EXPECT_NE(described.output.find("Joliet with UCS level 1"), std::string::npos) << described.output;

    const CommandRun iso = Capture("isoinfo -l" + Session("isoinfo") + " -i " + image_.string());
    EXPECT_EQ(iso.status, 0) << iso.output;
    for (const char* name : {"WENJIAN.TXT;1", "EMPTY.TXT;1", "____", "A.TXT;1", "B.BIN;1"}) {
        EXPECT_NE(iso.output.find(name), std::string::npos) << name << "\n" << iso.output;
    }
    EXPECT_NE(iso.output.find(" 2049 "), std::string::npos) << iso.output;

    // isoinfo writes names outside Latin-1 as "_", but the ones in it exactly.
    const CommandRun joliet = Capture("isoinfo -J -l" + Session("isoinfo") + " -i " + image_.string());
    EXPECT_EQ(joliet.status, 0) << joliet.output;
    // The Joliet root, not the ISO 9660 one.
    EXPECT_NE(joliet.output.find(std::to_string(GetParam() + 25) + " 02]  . \n"), std::string::npos) << joliet.output;
    EXPECT_NE(joliet.output.find(" empty.txt;1 \n"), std::string::npos) << joliet.output;
    EXPECT_NE(joliet.output.find(" a.txt;1 \n"), std::string::npos) << joliet.output;
}

TEST_P(ImageReaders, XorrisoShowsTheChineseNamesWithoutTrailingSpaces) {
    if (!Installed("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    const CommandRun listed = Capture("xorriso -return_with SORRY 32" + Session("xorriso") + " -indev " + image_.string() +
                               " -find / -exec lsdl");
    EXPECT_EQ(listed.status, 0) << listed.output;
    EXPECT_NE(listed.output.find("'/" + kWenJianUtf8 + "'\n"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("'/" + kZhaoPianUtf8 + "'\n"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("'/" + kZhaoPianUtf8 + "/a.txt'\n"), std::string::npos) << listed.output;
}

TEST_P(ImageReaders, PassTheProjectVerifier) {
    const std::filesystem::path verifier = test::SharedTool("verify-iso");
    if (!std::filesystem::exists(verifier)) GTEST_SKIP() << verifier << " is not there";
    const std::string session = GetParam() == 0 ? "" : " --session-start " + std::to_string(GetParam());
    const CommandRun verified = Capture(verifier.string() + " " + image_.string() + " --tree " + source_.string() + session);
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output.find("FAIL"), std::string::npos) << verified.output;
}

// From block 0 as in an image file, and as a later session at 20,000 with absolute extents.
INSTANTIATE_TEST_SUITE_P(SessionStart, ImageReaders, ::testing::Values(0u, 20000u));

}  // namespace
}  // namespace tavrin::testing
