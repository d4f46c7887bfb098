// Importing pressed discs: builder images as they are (a Joliet disc, a disc with
// only the primary descriptor), the same images patched by hand into hostile discs
// (loops, broken records, names and extents that cannot be), trees deeper than the
// import follows, imports into a compilation that holds entries already, and the
// decoding of names and dates on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/device/messages.h"
#include "engine/iso/both_endian.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/joliet_names.h"
#include "engine/iso/volume_descriptors.h"
#include "engine/sessions/disc_names.h"
#include "engine/sessions/import_texts.h"
#include "engine/sessions/record_reader.h"
#include "tests/sessions/session_disc.h"

namespace tavrin::test {
namespace {

namespace record = iso::record;

std::string Gbk(const std::string& utf8) { return platform::Utf8ToGbk(utf8).value(); }

// Finds the records of a builder image by their identifiers and changes them in place.
class ImagePatch {
public:
    ImagePatch(Bytes& image, bool joliet) : image_(image), joliet_(joliet) {}

    // The start of the directory record whose identifier is `text` (";1" included for
    // a file), in the tree being patched.
    std::size_t Record(const std::string& text) const {
        const std::string id = Identifier(text);
        const auto first = image_.begin() + record::kIdentifier;
        for (auto at = std::search(first, image_.end(), id.begin(), id.end()); at != image_.end();
             at = std::search(at + 1, image_.end(), id.begin(), id.end())) {
            const auto start = static_cast<std::size_t>(at - image_.begin()) - record::kIdentifier;
            if (image_[start + record::kIdentifierLength] == id.size() &&
                image_[start + record::kLength] == iso::RecordLength(id.size())) {
                return start;
            }
        }
        ADD_FAILURE() << "no record named " << text;
        return 0;
    }

    uint32_t Extent(std::size_t at) const { return sessions::ReadLE32(image_, at + record::kExtent); }
    // The tree's root directory, as its descriptor gives it.
    uint32_t RootExtent() const {
        const uint8_t type = joliet_ ? iso::descriptor::kSupplementaryType : iso::descriptor::kPrimaryType;
        for (std::size_t block = 16; block < 20; ++block) {
            const std::size_t at = block * kBlockBytes;
            if (image_[at + iso::descriptor::kType] == type) {
                return sessions::ReadLE32(image_, at + iso::descriptor::kRootDirectoryRecord + record::kExtent);
            }
        }
        ADD_FAILURE() << "no descriptor of type " << int{type};
        return 0;
    }

    void SetExtent(std::size_t at, uint32_t extent) { iso::PutBoth32(image_, at + record::kExtent, extent); }
    void SetDataLength(std::size_t at, uint32_t bytes) { iso::PutBoth32(image_, at + record::kDataLength, bytes); }
    void SetByte(std::size_t at, std::size_t field, uint8_t value) { image_[at + field] = value; }
    void MakeDirectory(std::size_t at) { image_[at + record::kFlags] |= iso::kFlagDirectory; }
    void ClearDate(std::size_t at) {
        std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(at + record::kRecordingDate),
                    iso::RecordingDate{}.size(), 0);
    }
    // A new identifier of the same length.
    void Rename(std::size_t at, const std::string& text) {
        const std::string id = Identifier(text);
        ASSERT_EQ(id.size(), image_[at + record::kIdentifierLength]) << text;
        std::copy(id.begin(), id.end(), image_.begin() + static_cast<std::ptrdiff_t>(at + record::kIdentifier));
    }

private:
    std::string Identifier(const std::string& text) const { return joliet_ ? iso::EncodeJolietName(text) : text; }

    Bytes& image_;
    bool joliet_;
};

class ImportPressedDisc : public SessionDisc {
protected:
    // \keep.txt, \alpha\beta\gamma.txt and \alpha\beta\abcdefgh.txt, recorded in that
    // order; the file data is zeros (no stray records past a directory's blocks).
    Bytes BaseImage(bool joliet) {
        burner_.JolietFileSystem = joliet;
        AddFile(burner_.Root(), "keep.txt", 3000, 1, true);
        const PDirEntry alpha = AddDir(burner_.Root(), "alpha");
        const PDirEntry beta = AddDir(alpha, "beta");
        AddFile(beta, "gamma.txt", 100, 1, true);
        AddFile(beta, "abcdefgh.txt", 10, 1, true);
        return SaveImage();
    }
};

const std::vector<std::string> kJolietPaths = {"alpha", "alpha\\beta", "alpha\\beta\\abcdefgh.txt",
                                               "alpha\\beta\\gamma.txt", "keep.txt"};
const std::vector<std::string> kIsoPaths = {"ALPHA", "ALPHA\\BETA", "ALPHA\\BETA\\ABCDEFGH.TXT",
                                            "ALPHA\\BETA\\GAMMA.TXT", "KEEP.TXT"};

std::vector<std::string> Without(std::vector<std::string> paths, std::initializer_list<std::string> gone) {
    for (const auto& g : gone) paths.erase(std::remove(paths.begin(), paths.end(), g), paths.end());
    return paths;
}

struct HostileCase {
    const char* name;
    bool joliet;  // which tree the disc has, and is patched
    std::function<void(ImagePatch&)> patch;
    std::vector<std::string> paths;  // what the import keeps, sorted
    std::string line;                // the debug line (type 4) that reports the rest; empty: none
    std::function<void(const std::vector<EntryFacts>&)> check = nullptr;
};

std::ostream& operator<<(std::ostream& os, const HostileCase& c) { return os << c.name; }

std::string Text(std::string_view format) { return std::string(format.substr(0, format.find("{}"))); }

const std::string kReadAlready = "IS READ ALREADY, NOT READ AGAIN";
const std::string kBeyondDisc = "LIES BEYOND THE DISC";

const std::vector<HostileCase> kHostileCases = {
    {"SoundJolietDisc", true, [](ImagePatch&) {}, kJolietPaths, ""},
    {"OnlyAPrimaryDescriptor", false, [](ImagePatch&) {}, kIsoPaths, ""},
    {"SelfReferencingDirectory", true,
     [](ImagePatch& p) {
         const auto gamma = p.Record("gamma.txt;1");
         p.MakeDirectory(gamma);
         p.SetExtent(gamma, p.Extent(p.Record("beta")));
     },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt"}), kReadAlready},
    {"LoopThroughTheRoot", true,
     [](ImagePatch& p) {
         const auto gamma = p.Record("gamma.txt;1");
         p.MakeDirectory(gamma);
         p.SetExtent(gamma, p.RootExtent());
     },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt"}), kReadAlready},
    {"LoopThroughAParentIso", false,
     [](ImagePatch& p) {
         const auto gamma = p.Record("GAMMA.TXT;1");
         p.MakeDirectory(gamma);
         p.SetExtent(gamma, p.Extent(p.Record("ALPHA")));
     },
     Without(kIsoPaths, {"ALPHA\\BETA\\GAMMA.TXT"}), kReadAlready},
    // keep.txt made a second way into beta: beta's tree is read once, under keep.txt.
    {"DirectoryReachedTwice", true,
     [](ImagePatch& p) {
         const auto keep = p.Record("keep.txt;1");
         p.MakeDirectory(keep);
         p.SetExtent(keep, p.Extent(p.Record("beta")));
         p.SetDataLength(keep, kBlockBytes);
     },
     {"alpha", "keep.txt", "keep.txt\\abcdefgh.txt", "keep.txt\\gamma.txt"}, kReadAlready},
    // The rest of the block cannot be located: abcdefgh.txt goes with it.
    {"RecordLengthOfOne", true, [](ImagePatch& p) { p.SetByte(p.Record("gamma.txt;1"), record::kLength, 1); },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt", "alpha\\beta\\abcdefgh.txt"}),
     Text(sessions::texts::kBrokenRecord)},
    {"RecordTooShortForItsName", true,
     [](ImagePatch& p) { p.SetByte(p.Record("gamma.txt;1"), record::kLength, 40); },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt", "alpha\\beta\\abcdefgh.txt"}),
     Text(sessions::texts::kBrokenIdentifier)},
    // The record length is sound: the next record is found.
    {"IdentifierLength250", true,
     [](ImagePatch& p) { p.SetByte(p.Record("gamma.txt;1"), record::kIdentifierLength, 250); },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt"}), std::string(messages::kImportNameTooLong)},
    // An ISO tree is walked by the identifier lengths: 284 bytes on, past abcdefgh.txt.
    {"IdentifierLength250Iso", false,
     [](ImagePatch& p) { p.SetByte(p.Record("GAMMA.TXT;1"), record::kIdentifierLength, 250); },
     Without(kIsoPaths, {"ALPHA\\BETA\\GAMMA.TXT", "ALPHA\\BETA\\ABCDEFGH.TXT"}),
     std::string(messages::kImportNameTooLong)},
    {"FileExtentBeyondTheDisc", true, [](ImagePatch& p) { p.SetExtent(p.Record("gamma.txt;1"), 0x00F00000); },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt"}), kBeyondDisc},
    {"FileDataRunningOffTheDisc", true,
     [](ImagePatch& p) { p.SetDataLength(p.Record("gamma.txt;1"), 0xFFFFF000); },
     Without(kJolietPaths, {"alpha\\beta\\gamma.txt"}), kBeyondDisc},
    {"DirectoryExtentBeyondTheDisc", false, [](ImagePatch& p) { p.SetExtent(p.Record("BETA"), 0x7FFFFFF0); },
     {"ALPHA", "KEEP.TXT"}, kBeyondDisc},
    // Read up to the disc's end (a few hundred blocks), not 2 million blocks.
    {"HugeDirectoryLength", true, [](ImagePatch& p) { p.SetDataLength(p.Record("beta"), 0xFFFFF800); },
     kJolietPaths, "RUNS BEYOND THE DISC"},
    // Three directories over the same blocks, each as long as the disc: no more
    // directory blocks are read than the disc holds.
    {"OverlappingDirectories", true,
     [](ImagePatch& p) {
         const auto beta = p.Record("beta");
         p.SetDataLength(beta, 0xFFFFF800);
         uint32_t next = p.Extent(beta);
         for (const char* name : {"gamma.txt;1", "abcdefgh.txt;1"}) {
             const auto at = p.Record(name);
             p.MakeDirectory(at);
             p.SetExtent(at, ++next);
             p.SetDataLength(at, 0xFFFFF800);
         }
     },
     kJolietPaths, "MORE DIRECTORY BLOCKS THAN THE DISC HOLDS"},
    {"AllZeroDate", true, [](ImagePatch& p) { p.ClearDate(p.Record("keep.txt;1")); }, kJolietPaths, "",
     [](const std::vector<EntryFacts>& entries) {
         const auto keep = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.path == "keep.txt"; });
         ASSERT_NE(keep, entries.end());
         EXPECT_EQ(keep->date, compilation::DateTimeFromDos(sessions::kUnknownRecordingDate));
     }},
    // Names that would leave a folder are kept as entries: extraction makes them safe.
    {"NameWithDotDotSlash", true, [](ImagePatch& p) { p.Rename(p.Record("abcdefgh.txt;1"), "../../etc/pw;1"); },
     {"alpha", "alpha\\beta", "alpha\\beta\\../../etc/pw", "alpha\\beta\\gamma.txt", "keep.txt"}, ""},
    {"NameWithLeadingSlash", true, [](ImagePatch& p) { p.Rename(p.Record("abcdefgh.txt;1"), "/etc/pw.conf;1"); },
     {"alpha", "alpha\\beta", "alpha\\beta\\/etc/pw.conf", "alpha\\beta\\gamma.txt", "keep.txt"}, ""},
    // "\" separates compilation paths: such a name would stand for another entry.
    {"NameWithBackslash", true, [](ImagePatch& p) { p.Rename(p.Record("abcdefgh.txt;1"), "..\\..\\etc.pw;1"); },
     Without(kJolietPaths, {"alpha\\beta\\abcdefgh.txt"}), Text(sessions::texts::kUnusableName)},
};

class HostileDiscs : public ImportPressedDisc, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileDiscs, ImportWhatIsSoundAndReportTheRest) {
    const HostileCase& c = GetParam();
    Bytes image = BaseImage(c.joliet);
    ImagePatch patch(image, c.joliet);
    c.patch(patch);
    if (HasFatalFailure()) return;
    Press(image);

    EXPECT_TRUE(Import(1)) << AllLines();

    EXPECT_EQ(Paths(), c.paths) << AllLines();
    if (c.line.empty()) {
        EXPECT_FALSE(Saw("ERROR")) << AllLines();
    } else {
        EXPECT_TRUE(Saw(c.line)) << AllLines();
    }
    if (c.check) c.check(Entries());
}

INSTANTIATE_TEST_SUITE_P(Table, HostileDiscs, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// 70 folders, one in the other: the 64 the import follows are kept.
// A disc put in just now answers "becoming ready" for a while: the import waits
// for it instead of finding no session.
TEST_F(ImportPressedDisc, WaitsForADiscStillSpinningUp) {
    Press(BaseImage(true), false, "not_ready_after_load_ms = 300");

    EXPECT_TRUE(Import(1)) << AllLines();
    EXPECT_EQ(Paths(), kJolietPaths);
}

TEST_F(ImportPressedDisc, TreeDeeperThanTheLimitIsCut) {
    PDirEntry dir = burner_.Root();
    for (int level = 1; level <= 70; ++level) {
        dir = AddDir(dir, "d");
        ASSERT_NE(dir, nullptr) << level;
    }
    AddFile(dir, "bottom.txt", 10);
    Press(SaveImage());

    EXPECT_TRUE(Import(-1));

    const auto entries = Entries();
    EXPECT_EQ(entries.size(), 64u);
    EXPECT_TRUE(std::all_of(entries.begin(), entries.end(), [](const EntryFacts& e) { return e.directory; }));
    EXPECT_TRUE(Saw("DEEPER THAN 64 LEVELS")) << AllLines();
}

TEST_F(ImportPressedDisc, DiscWithoutVolumeDescriptorsIsReported) {
    Press(Bytes(40 * kBlockBytes, 0));

    EXPECT_FALSE(Import(-1));

    EXPECT_TRUE(Saw(">>> ERROR IMPORTING SESSION 1 (ISO IMAGE NOT FOUND)")) << AllLines();
    EXPECT_TRUE(Entries().empty());
}

// An import into a compilation holding a file of the same name keeps that file
// unless ReplaceFile is set.
class ImportIntoCompilation : public ImportPressedDisc, public ::testing::WithParamInterface<bool> {};

TEST_P(ImportIntoCompilation, FollowsReplaceFile) {
    const bool replace = GetParam();
    Press(BaseImage(true));
    burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
    AddFile(burner_.Root(), "keep.txt", 77);
    burner_.ReplaceFile = replace;

    EXPECT_TRUE(Import(-1, false));

    const PFileEntry keep = burner_.FindChild(burner_.Root(), "keep.txt");
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->Imported, replace);
    EXPECT_EQ(keep->Size, replace ? 3000u : 77u);
    EXPECT_EQ(burner_.TotalSize(), replace ? 0 : 2048);
    EXPECT_EQ(Paths(), kJolietPaths);
}

INSTANTIATE_TEST_SUITE_P(ReplaceFile, ImportIntoCompilation, ::testing::Bool());

TEST_F(ImportPressedDisc, IntoAFolderOfTheCompilation) {
    Press(BaseImage(true));
    burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
    const PDirEntry old = AddDir(burner_.Root(), "old");

    EXPECT_TRUE(Import(-1, false, old));

    std::vector<std::string> expected{"old"};
    for (const auto& path : kJolietPaths) expected.push_back("old\\" + path);
    EXPECT_EQ(Paths(), expected);
}

// Joliet identifiers as this engine writes them (exact UCS-2), as it wrote them
// before (filled with U+0020 to twice the GBK length), and as other writers do.
struct JolietNameCase {
    const char* name;
    std::string identifier;  // UCS-2BE bytes
    std::string expected;    // GBK
};

std::ostream& operator<<(std::ostream& os, const JolietNameCase& c) { return os << c.name; }

std::string Ucs2(const std::string& utf8) { return platform::GbkToUcs2Be(Gbk(utf8)).value(); }
std::string Spaces(int n) { return Ucs2(std::string(static_cast<std::size_t>(n), ' ')); }

class JolietNames : public ::testing::TestWithParam<JolietNameCase> {};

TEST_P(JolietNames, ComeBackWhole) {
    const std::string& id = GetParam().identifier;
    sessions::JolietNameDecoder decoder;
    EXPECT_EQ(decoder.Decode({reinterpret_cast<const uint8_t*>(id.data()), id.size()}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, JolietNames, ::testing::Values(
    JolietNameCase{"AsciiFile", Ucs2("readme.txt;1"), "readme.txt"},
    JolietNameCase{"ChineseFile", Ucs2("中文文件.txt;1"), Gbk("中文文件.txt")},
    JolietNameCase{"ChineseFolder", Ucs2("中文目录"), Gbk("中文目录")},
    JolietNameCase{"OldFilledFile", Ucs2("中文文件.txt;1") + Spaces(4), Gbk("中文文件.txt")},
    JolietNameCase{"OldFilledFolder", Ucs2("中文目录") + Spaces(4), Gbk("中文目录")},
    JolietNameCase{"VersionLookedForFromTheThirdByte", Ucs2(";a;1"), ";a"},
    JolietNameCase{"NoGbkForm", std::string("\x00" "a" "\xD8\x00" "\x00" "b", 6), "a_b"},
    JolietNameCase{"HalfACharacterAtTheEnd", std::string("\x00" "a" "\x00" "b" "\x00", 5), "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsoNames, AreCutAtTheVersion) {
    const std::string id = "README.TXT;1";
    EXPECT_EQ(sessions::IsoName({reinterpret_cast<const uint8_t*>(id.data()), id.size()}), "README.TXT");
}

// One record read from a block: where the next one starts, and what stops the block.
struct RecordCase {
    const char* name;
    sessions::LengthRule rule;
    std::size_t offset;      // where the record starts in the block
    std::size_t systemUse;   // bytes of system-use data after the identifier
    int lengthField;         // the record length byte; -1: as encoded
    int identifierLength;    // -1: as encoded
    sessions::RecordStatus status;
    std::size_t next;        // bytes to the next record
    bool whole;              // the identifier lies inside its record
};

std::ostream& operator<<(std::ostream& os, const RecordCase& c) { return os << c.name; }

class DirectoryRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(DirectoryRecords, StayInsideTheBlock) {
    const RecordCase& c = GetParam();
    auto bytes = *iso::EncodeDirectoryRecord({.extent = 300, .dataLength = 5000, .identifier = "GAMMA.TXT;1"});
    bytes.resize(bytes.size() + c.systemUse, 0xAA);
    bytes[record::kLength] = static_cast<uint8_t>(c.lengthField < 0 ? bytes.size() : c.lengthField);
    if (c.identifierLength >= 0) bytes[record::kIdentifierLength] = static_cast<uint8_t>(c.identifierLength);
    Bytes block(kBlockBytes, 0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), block.size() - c.offset), block.begin() + c.offset);

    const auto read = sessions::ReadRecord(block, c.offset, c.rule);

    EXPECT_EQ(read.status, c.status);
    if (read.status != sessions::RecordStatus::Ok) return;
    EXPECT_EQ(read.record.length, c.next);
    EXPECT_EQ(read.record.identifierWhole, c.whole);
    EXPECT_EQ(read.record.extent, 300u);
    EXPECT_EQ(read.record.dataLength, 5000u);
    EXPECT_LE(c.offset + record::kIdentifier + read.record.identifier.size(), kBlockBytes);
}

using sessions::LengthRule;
using sessions::RecordStatus;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, DirectoryRecords, ::testing::Values(
    RecordCase{"Joliet", LengthRule::RecordLength, 100, 0, -1, -1, RecordStatus::Ok, 44, true},
    RecordCase{"Iso", LengthRule::IdentifierLength, 100, 0, -1, -1, RecordStatus::Ok, 44, true},
    // Other writers' system-use entries (or an extended-architecture area) are stepped over.
    RecordCase{"IsoWithSystemUse", LengthRule::IdentifierLength, 100, 10, -1, -1, RecordStatus::Ok, 54, true},
    // The length byte is only tested for 0 in an ISO tree.
    RecordCase{"IsoLengthOfOne", LengthRule::IdentifierLength, 100, 0, 1, -1, RecordStatus::Ok, 44, true},
    RecordCase{"LengthZero", LengthRule::RecordLength, 100, 0, 0, -1, RecordStatus::EndOfBlock, 0, false},
    RecordCase{"LengthOfOne", LengthRule::RecordLength, 100, 0, 1, -1, RecordStatus::Broken, 0, false},
    RecordCase{"PastTheBlock", LengthRule::RecordLength, 2010, 0, -1, -1, RecordStatus::Broken, 0, false},
    RecordCase{"FieldsPastTheBlock", LengthRule::IdentifierLength, 2030, 0, -1, -1, RecordStatus::Broken, 0, false},
    RecordCase{"IdentifierPastTheRecord", LengthRule::RecordLength, 100, 0, -1, 250, RecordStatus::Ok, 44, false},
    RecordCase{"IsoIdentifierPastTheBlock", LengthRule::IdentifierLength, 1900, 0, -1, 250, RecordStatus::Broken, 0,
               false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct DateCase {
    iso::RecordingDate date;
    platform::DosDateTime dos;
};

class RecordingDates : public ::testing::TestWithParam<DateCase> {};

TEST_P(RecordingDates, BecomeDosDates) { EXPECT_EQ(sessions::DosDateOf(GetParam().date), GetParam().dos); }

// 2025-01-11 13:33:59 (an odd second rounds down), all zeros, month 13, 31 April.
INSTANTIATE_TEST_SUITE_P(Table, RecordingDates, ::testing::Values(
    DateCase{{125, 1, 11, 13, 33, 59, 32}, 0x5A2B6C3D},
    DateCase{{0, 0, 0, 0, 0, 0, 0}, sessions::kUnknownRecordingDate},
    DateCase{{125, 13, 1, 0, 0, 0, 0}, sessions::kUnknownRecordingDate},
    DateCase{{125, 4, 31, 0, 0, 0, 0}, sessions::kUnknownRecordingDate}));

}  // namespace
}  // namespace tavrin::test
