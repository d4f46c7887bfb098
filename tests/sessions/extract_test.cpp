// Copying files of a session back from a pressed disc in a virtual recorder behind
// the manager library: byte-exact copies of sizes around the 31-block read, the
// READ (10) sequence, the local date, a target that cannot be created, a read
// error half-way, and the local names made from disc names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/drive/mmc_cdb.h"
#include "engine/iso/layout.h"
#include "engine/platform/local_time.h"
#include "engine/sessions/extract.h"
#include "engine/sessions/import.h"
#include "engine/writing/io_error.h"
#include "engine/writing/save_iso.h"
#include "recorders/virtual/disc_store.h"
#include "tests/writing/image_bytes.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Content;
using testing::ReadAll;
using testing::WriteAll;

constexpr std::size_t kReadAddressAt = 2, kReadLengthAt = 7;  // READ (10): block, blocks
constexpr uint32_t kSeveralMegabytes = 3 * 1024 * 1024 + 5;
// The time the files are given on the local disk: an even second, as a disc's
// DOS-resolution date keeps it.
const platform::LocalDateTime kSourceTime{2025, 7, 14, 9, 30, 42};

// A file of the session as the writer laid it out.
struct OnDisc {
    std::string name;
    uint32_t size = 0;
    uint32_t extent = 0;
    Bytes content;
};

struct BlockRead {
    uint32_t block = 0;
    uint16_t blocks = 0;
    bool operator==(const BlockRead&) const = default;
};

std::vector<BlockRead> ReadsIn(const std::vector<SentCommand>& sent) {
    std::vector<BlockRead> reads;
    for (const SentCommand& c : sent) {
        if (c.opcode() != drive::op::kRead10) continue;
        const auto at = [&](std::size_t i) { return uint32_t{c.cdb.at(i)}; };
        reads.push_back({at(kReadAddressAt) << 24 | at(kReadAddressAt + 1) << 16 | at(kReadAddressAt + 2) << 8 |
                             at(kReadAddressAt + 3),
                         static_cast<uint16_t>(at(kReadLengthAt) << 8 | at(kReadLengthAt + 1))});
    }
    return reads;
}

std::time_t ModificationTime(const fs::path& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class ExtractFromDisc : public RecordedRecorder {
protected:
    // Saves an image of files of `sizes` (named "f<size>.bin"), presses it into a
    // CD-ROM in the recorder (which fails reading the block `badBlock` blocks into
    // the first file, when given) and leaves the compilation holding an imported
    // entry for each file, as an import makes them.
    void pressDisc(const std::vector<uint32_t>& sizes, std::optional<uint32_t> badBlock = std::nullopt) {
        const fs::path sources = root_ / "src";
        fs::create_directories(sources);
        burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
        for (const uint32_t size : sizes) {
            OnDisc file{"f" + std::to_string(size) + ".bin", size, 0, Content(size, static_cast<uint8_t>(size))};
            const fs::path path = sources / file.name;
            WriteAll(path, file.content);
            ASSERT_EQ(burner_.InsertFile("\\", path.string(), false), 1);
            files_.push_back(std::move(file));
        }
        ASSERT_TRUE(iso::Prepare(burner_, true));
        // The layout counts a new file's extent from the first block of file data.
        for (OnDisc& file : files_) {
            const uint32_t offset = burner_.FindFile("\\", file.name)->IsoExtent;
            if (file.size > 0) file.extent = burner_.Layout.FirstFileBlock + offset;
        }
        const fs::path image = root_ / "image.iso";
        writing::SaveISO(burner_, image.string(), true);
        disc_ = root_ / "disc";
        vrecorder::DiscStore::press(disc_, image, vrecorder::MediaKind::CdRom);
        selectSpunUp(badBlock ? "read_error_block = " + std::to_string(files_[0].extent + *badBlock) : "");
        ASSERT_FALSE(HasFatalFailure());

        burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
        const platform::DosDateTime time = *platform::DosFromLocal(kSourceTime);
        for (const OnDisc& file : files_) {
            const TSearchRec rec{file.name, {}, platform::kAttrArchive, time, 0, file.size};
            ASSERT_TRUE(burner_.InsertFile(burner_.Root(), rec, false, file.extent, ""));
        }
        burner_.DoDebug = true;
        burner_.OnDebugMessage = [this](TSCSIDevice&, const std::string& line, uint8_t type) {
            debug_.push_back(std::to_string(type) + " " + line);
        };
        CommandLog::Get().clear();
    }

    PFileEntry entry(const OnDisc& file) const { return burner_.FindFile("\\", file.name); }

    bool saidThat(const std::string& text) const {
        for (const std::string& line : debug_) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    std::vector<OnDisc> files_;
    std::vector<std::string> debug_;
};

// Each size comes back byte for byte over an older, longer file of the same name,
// read 31 blocks at a time from its extent, with its date.
TEST_F(ExtractFromDisc, CopiesEachFileByteForByte) {
    pressDisc({0, 1, 4096, 63489, kSeveralMegabytes});
    const fs::path out = root_ / "out";
    fs::create_directories(out);
    const std::time_t sourceTime = *platform::TimeOfLocal(kSourceTime);
    for (const OnDisc& file : files_) {
        SCOPED_TRACE(file.name);
        const fs::path target = out / file.name;
        WriteAll(target, Content(file.size + 5000, 99));
        CommandLog::Get().clear();

        ASSERT_TRUE(sessions::ExtractFile(burner_, entry(file), target.string())) << ::testing::PrintToString(debug_);
        EXPECT_EQ(ReadAll(target), file.content);
        EXPECT_EQ(ModificationTime(target), sourceTime);

        std::vector<BlockRead> expected;
        for (uint32_t offset = 0, left = file.size; left > 0; offset += 31) {
            const uint32_t chunk = std::min<uint32_t>(left, 31 * 2048);
            expected.push_back({file.extent + offset, static_cast<uint16_t>((chunk + 2047) / 2048)});
            left -= chunk;
        }
        EXPECT_EQ(ReadsIn(CommandLog::Get().snapshot()), expected);
    }
    EXPECT_TRUE(saidThat("1 >>> EXTRACTING FILE f63489.bin TO " + (out / "f63489.bin").string()));
}

// The entries as the import makes them from the disc's records copy back the same.
TEST_F(ExtractFromDisc, FilesOfAnImportedSessionCopyBack) {
    pressDisc({0, 4096, 63489});
    burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
    ASSERT_TRUE(sessions::ImportSession(burner_, -1, nullptr)) << ::testing::PrintToString(debug_);
    for (const OnDisc& file : files_) {
        SCOPED_TRACE(file.name);
        const PFileEntry imported = entry(file);
        ASSERT_NE(imported, nullptr);
        EXPECT_EQ(imported->IsoExtent, file.extent);
        const fs::path target = root_ / file.name;
        ASSERT_TRUE(sessions::ExtractFile(burner_, imported, target.string()));
        EXPECT_EQ(ReadAll(target), file.content);
    }
}

// The sizes the reads are cut at, spelled out.
TEST_F(ExtractFromDisc, ReadsThirtyOneBlocksThenTheRest) {
    pressDisc({4096, 63489});
    const fs::path out = root_ / "out";
    fs::create_directories(out);
    const uint32_t small = files_[0].extent, odd = files_[1].extent;
    ASSERT_TRUE(sessions::ExtractFile(burner_, entry(files_[0]), (out / "a").string()));
    ASSERT_TRUE(sessions::ExtractFile(burner_, entry(files_[1]), (out / "b").string()));
    const std::vector<BlockRead> expected{{small, 2}, {odd, 31}, {odd + 31, 1}};
    EXPECT_EQ(ReadsIn(CommandLog::Get().snapshot()), expected);
    EXPECT_EQ(fs::file_size(out / "b"), 63489u);
}

TEST_F(ExtractFromDisc, AMissingTargetFolderFailsBeforeAnyRead) {
    pressDisc({4096});
    const fs::path target = root_ / "missing" / "f.bin";
    EXPECT_THROW(sessions::ExtractFile(burner_, entry(files_[0]), target.string()), IOError);
    EXPECT_TRUE(ReadsIn(CommandLog::Get().snapshot()).empty());
    EXPECT_FALSE(fs::exists(target.parent_path()));
}

// A medium error half-way: false, a debug line naming the file, and no partial
// copy left behind, not even over the file that was there before.
TEST_F(ExtractFromDisc, AReadErrorHalfWayLeavesNoFile) {
    const uint32_t size = kSeveralMegabytes;
    pressDisc({size}, 100);
    const fs::path target = root_ / "f.bin";
    WriteAll(target, Content(100, 1));

    EXPECT_FALSE(sessions::ExtractFile(burner_, entry(files_[0]), target.string()));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(saidThat("4 ERROR READING FILE f" + std::to_string(size) + ".bin FROM THE DISC AT BLOCK " +
                         std::to_string(files_[0].extent + 93)))
        << ::testing::PrintToString(debug_);
    const std::vector<BlockRead> reads = ReadsIn(CommandLog::Get().snapshot());
    ASSERT_EQ(reads.size(), 4u);  // the fourth read holds the bad block
    EXPECT_EQ(reads.back(), (BlockRead{files_[0].extent + 93, 31}));
}

// An entry that stands for a folder, or whose data is not on the disc, is no file
// to copy: nothing is created or read.
TEST_F(ExtractFromDisc, RefusesFoldersAndEntriesWithoutDiscData) {
    pressDisc({1});
    const PDirEntry folder = burner_.CreateDir(burner_.Root(), "sub", platform::kAttrDirectory);
    ASSERT_NE(folder, nullptr);
    const fs::path local = root_ / "local.bin";
    WriteAll(local, Content(10, 3));
    ASSERT_EQ(burner_.InsertFile("\\", local.string(), false), 1);
    for (const char* name : {"sub", "local.bin"}) {
        SCOPED_TRACE(name);
        const fs::path target = root_ / (std::string("out-") + name);
        EXPECT_FALSE(sessions::ExtractFile(burner_, burner_.FindFile("\\", name), target.string()));
        EXPECT_FALSE(fs::exists(target));
    }
    EXPECT_TRUE(ReadsIn(CommandLog::Get().snapshot()).empty());
}

struct NameCase {
    std::string disc;
    std::string local;
};

class SafeLocalNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafeLocalNames, StayOneNameInsideTheFolder) {
    EXPECT_EQ(sessions::SafeLocalName(GetParam().disc), GetParam().local);
}

// GBK: D6D0 CEC4 is a two-character name; 815C and D55C end in the byte of "\".
INSTANTIATE_TEST_SUITE_P(
    Table, SafeLocalNames,
    ::testing::Values(NameCase{"README.TXT", "README.TXT"}, NameCase{"a b (2).txt", "a b (2).txt"},
                      NameCase{"a/b", "a_b"}, NameCase{"/etc/passwd", "_etc_passwd"},
                      NameCase{"../up", ".._up"}, NameCase{"..\\up", ".._up"}, NameCase{"a\\b", "a_b"},
                      NameCase{std::string("a\0b", 3), "a_b"}, NameCase{"tab\there\n", "tab_here_"},
                      NameCase{"del\x7F", "del_"}, NameCase{".", "_"}, NameCase{"..", "__"}, NameCase{"", "_"},
                      NameCase{"...", "..."}, NameCase{".hidden", ".hidden"},
                      NameCase{"\xD6\xD0\xCE\xC4.txt", "\xD6\xD0\xCE\xC4.txt"},
                      NameCase{"\x81\x5C\xD5\x5C", "\x81\x5C\xD5\x5C"},
                      // A lead byte without its trail, or followed by a separator.
                      NameCase{"ab\x81", "ab_"}, NameCase{"\x81/x", "__x"}, NameCase{"\xFF\x80", "__"},
                      // Cut to the 255 bytes a local name holds, never inside a character.
                      NameCase{std::string(300, 'a'), std::string(255, 'a')},
                      NameCase{[] {
                                   std::string s;
                                   for (int i = 0; i < 100; ++i) s += "\xD6\xD0";
                                   return s;
                               }(),
                               [] {
                                   std::string s;
                                   for (int i = 0; i < 85; ++i) s += "\xD6\xD0";
                                   return s;
                               }()}));

}  // namespace
}  // namespace tavrin::test
