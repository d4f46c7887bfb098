// Discs and recorders kept in folders: reload, crash, corruption, export.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"

namespace tavrin::vrecorder {
namespace {

namespace fs = std::filesystem;

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tavrin-disc-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }

    static std::vector<uint8_t> pattern(uint32_t blocks, uint8_t seed) {
        std::vector<uint8_t> data(size_t{blocks} * kBlockSize);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(seed + i / kBlockSize);
        return data;
    }
    static std::string readText(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void writeText(const fs::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }

    fs::path root;
};

using DiscFolder = TempFolder;

TEST_F(DiscFolder, ThreeSessionCdRReloadsIdentically) {
    const fs::path folder = root / "disc";
    {
        DiscStore store = DiscStore::create(folder, MediaKind::CdR);
        for (uint8_t i = 0; i < 3; ++i) {
            const uint32_t nwa = *store.disc().nextWritable();
            ASSERT_EQ(store.write(nwa, pattern(20, i)), DiscResult::Ok);
            ASSERT_EQ(store.closeSession(SessionClose::Appendable), DiscResult::Ok);
        }
        EXPECT_EQ(store.disc().sessions()[2].start, 20u + 11'400 + 20 + 6'900);
    }
    const DiscStore before = DiscStore::open(folder);
    const DiscStore again = DiscStore::open(folder);
    EXPECT_EQ(again.disc().state(), before.disc().state());
    EXPECT_EQ(again.disc().sessionCount(), 4);
    EXPECT_EQ(again.disc().nextWritable(), 20u + 11'400 + 20 + 6'900 + 20 + 6'900);
    std::vector<uint8_t> block(20 * kBlockSize);
    ASSERT_EQ(again.read(20 + 11'400, block), DiscResult::Ok);
    EXPECT_EQ(block, pattern(20, 1));
    EXPECT_EQ(again.read(20, std::span(block).first(kBlockSize)), DiscResult::Unrecorded);
}

TEST_F(DiscFolder, AKilledWriterLeavesAnIncompleteTrackThatCanBeContinued) {
    const fs::path folder = root / "disc";
    {
        DiscStore store = DiscStore::create(folder, MediaKind::DvdPlusR);
        ASSERT_EQ(store.write(0, pattern(40, 7)), DiscResult::Ok);
        // Gone without closing anything: only what the folder holds survives.
    }
    DiscStore store = DiscStore::open(folder);
    EXPECT_EQ(store.disc().status(), DiscStatus::Incomplete);
    EXPECT_EQ(store.disc().lastSessionState(), SessionState::Incomplete);
    const auto track = store.disc().invisibleTrack();
    ASSERT_TRUE(track);
    EXPECT_EQ(track->state, TrackState::Incomplete);
    EXPECT_EQ(track->nextWritable, 40u);
    std::vector<uint8_t> data(40 * kBlockSize);
    ASSERT_EQ(store.read(0, data), DiscResult::Ok);
    EXPECT_EQ(data, pattern(40, 7));
    EXPECT_EQ(store.write(40, pattern(8, 1)), DiscResult::Ok);
    EXPECT_EQ(store.closeSession(SessionClose::Final), DiscResult::Ok);
    EXPECT_EQ(DiscStore::open(folder).disc().status(), DiscStatus::Complete);
}

TEST_F(DiscFolder, RefusedOperationsLeaveTheFolderUntouched) {
    const fs::path folder = root / "disc";
    DiscStore store = DiscStore::create(folder, MediaKind::CdR);
    const std::string before = readText(folder / kDiscMetadataFile);
    EXPECT_EQ(store.write(10, pattern(1, 0)), DiscResult::InvalidAddress);
    EXPECT_EQ(store.write(0, std::vector<uint8_t>(100)), DiscResult::InvalidField);
    EXPECT_EQ(store.write(0, pattern(4, 0), true), DiscResult::Ok);
    EXPECT_EQ(store.format(0x26), DiscResult::CannotFormat);
    EXPECT_EQ(readText(folder / kDiscMetadataFile), before);
    EXPECT_EQ(fs::file_size(folder / kDiscBlockFile), 0u);
    EXPECT_THROW(DiscStore::create(folder, MediaKind::CdR), StoreError);
}

TEST_F(DiscFolder, BlankingDropsTheRecordedBlocks) {
    const fs::path folder = root / "disc";
    DiscStore store = DiscStore::create(folder, MediaKind::CdRw);
    ASSERT_EQ(store.write(0, pattern(10, 3)), DiscResult::Ok);
    ASSERT_EQ(store.closeSession(SessionClose::Final), DiscResult::Ok);
    ASSERT_EQ(store.blank(BlankType::Minimal), DiscResult::Ok);
    EXPECT_EQ(DiscStore::open(folder).disc().status(), DiscStatus::Empty);
    ASSERT_EQ(store.write(0, pattern(1, 9)), DiscResult::Ok);
    std::vector<uint8_t> two(2 * kBlockSize);
    EXPECT_EQ(store.read(0, two), DiscResult::Unrecorded);
}

TEST_F(DiscFolder, FormattedDiscReadsZerosWhereNothingWasWritten) {
    DiscStore store = DiscStore::create(root / "disc", MediaKind::DvdRam);
    ASSERT_EQ(store.write(100, pattern(2, 5)), DiscResult::Ok);
    std::vector<uint8_t> data(4 * kBlockSize, 0xEE);
    ASSERT_EQ(store.read(99, data), DiscResult::Ok);
    std::vector<uint8_t> expected(kBlockSize, 0);
    const auto written = pattern(2, 5);
    expected.insert(expected.end(), written.begin(), written.end());
    expected.resize(4 * kBlockSize, 0);
    EXPECT_EQ(data, expected);
}

// Damaged disc.json files: each is reported, none is trusted.
struct CorruptCase {
    const char* name;
    std::string (*damage)(const std::string& good);
};
class CorruptMetadata : public TempFolder, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptMetadata, IsReportedOnOpen) {
    const fs::path folder = root / "disc";
    {
        DiscStore store = DiscStore::create(folder, MediaKind::CdR);
        ASSERT_EQ(store.write(0, pattern(3, 0)), DiscResult::Ok);
    }
    const fs::path file = folder / kDiscMetadataFile;
    writeText(file, GetParam().damage(readText(file)));
    try {
        DiscStore::open(folder);
        FAIL() << "opened a damaged disc";
    } catch (const StoreError& e) {
        EXPECT_NE(std::string(e.what()).find("corrupt disc metadata"), std::string::npos) << e.what();
    }
}

std::string replaced(const std::string& text, const std::string& from, const std::string& to) {
    std::string out = text;
    const auto at = out.find(from);
    return at == std::string::npos ? "not found" : out.replace(at, from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CorruptMetadata,
    ::testing::Values(
        CorruptCase{"empty", [](const std::string&) { return std::string(); }},
        CorruptCase{"truncated", [](const std::string& t) { return t.substr(0, t.size() / 2); }},
        CorruptCase{"array", [](const std::string&) { return std::string("[]"); }},
        CorruptCase{"media", [](const std::string& t) { return replaced(t, "\"cd-r\"", "\"cd-x\""); }},
        CorruptCase{"negative",
                    [](const std::string& t) { return replaced(t, "\"recorded\": 3", "\"recorded\": -3"); }},
        CorruptCase{"fraction",
                    [](const std::string& t) { return replaced(t, "\"recorded\": 3", "\"recorded\": 3.5"); }},
        CorruptCase{"huge", [](const std::string& t) {
                        return replaced(t, "\"recorded\": 3", "\"recorded\": 99999999999");
                    }},
        CorruptCase{"beyond", [](const std::string& t) {
                        return replaced(t, "\"recorded\": 3", "\"recorded\": 359850");
                    }},
        CorruptCase{"stateName",
                    [](const std::string& t) { return replaced(t, "\"incomplete\"", "\"open\""); }},
        CorruptCase{"boolType",
                    [](const std::string& t) { return replaced(t, "\"finalized\": false", "\"finalized\": 0"); }},
        CorruptCase{"missing",
                    [](const std::string& t) { return replaced(t, "\"capacity\"", "\"kapacity\""); }}),
    [](const auto& info) { return std::string(info.param.name); });

bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(DiscFolder, ExportHoldsEveryRecordedBlockAtItsAddress) {
    DiscStore store = DiscStore::create(root / "disc", MediaKind::CdR);
    ASSERT_EQ(store.write(0, pattern(3, 1)), DiscResult::Ok);
    ASSERT_EQ(store.closeSession(SessionClose::Appendable), DiscResult::Ok);
    const uint32_t second = *store.disc().nextWritable();
    ASSERT_EQ(store.write(second, pattern(2, 50)), DiscResult::Ok);
    const fs::path image = root / "out.iso";
    store.exportImage(image);
    const std::string bytes = readText(image);
    ASSERT_EQ(bytes.size(), size_t{second + 2} * kBlockSize);
    const auto first = pattern(3, 1), later = pattern(2, 50);
    EXPECT_EQ(bytes.substr(0, first.size()), std::string(first.begin(), first.end()));
    EXPECT_EQ(bytes.substr(size_t{second} * kBlockSize), std::string(later.begin(), later.end()));
    EXPECT_EQ(bytes.substr(first.size(), kBlockSize * 100), std::string(kBlockSize * 100, '\0'));
}

TEST_F(DiscFolder, ExportedSessionIsReadableByIsoReaders) {
    if (!haveTool("genisoimage") || !haveTool("isoinfo") || !haveTool("xorriso"))
        GTEST_SKIP() << "genisoimage, isoinfo or xorriso not installed";
    fs::create_directories(root / "tree");
    writeText(root / "tree" / "HELLO.TXT", "hello from the virtual disc\n");
    const fs::path source = root / "source.iso";
    ASSERT_EQ(std::system(("genisoimage -quiet -J -R -o " + source.string() + " " +
                           (root / "tree").string()).c_str()), 0);
    const std::string iso = readText(source);
    ASSERT_EQ(iso.size() % kBlockSize, 0u);

    DiscStore store = DiscStore::create(root / "disc", MediaKind::DvdR);
    ASSERT_EQ(store.write(0, std::span(reinterpret_cast<const uint8_t*>(iso.data()), iso.size())),
              DiscResult::Ok);
    ASSERT_EQ(store.closeSession(SessionClose::Final), DiscResult::Ok);
    const fs::path image = root / "exported.iso";
    store.exportImage(image);

    const fs::path listing = root / "listing.txt";
    ASSERT_EQ(std::system(("isoinfo -f -i " + image.string() + " > " + listing.string()).c_str()), 0);
    EXPECT_NE(readText(listing).find("HELLO.TXT"), std::string::npos) << readText(listing);
    const fs::path extracted = root / "hello.txt";
    ASSERT_EQ(std::system(("xorriso -indev " + image.string() + " -osirrox on -extract /HELLO.TXT " +
                           extracted.string() + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(readText(extracted), "hello from the virtual disc\n");
}

TEST_F(DiscFolder, PressedDiscHoldsItsImage) {
    const fs::path image = root / "image.iso";
    const auto data = pattern(5, 20);
    writeText(image, std::string(data.begin(), data.end()));
    DiscStore store = DiscStore::press(root / "disc", image, MediaKind::CdRom);
    EXPECT_EQ(store.disc().capacity(), 5u);
    std::vector<uint8_t> out(5 * kBlockSize);
    ASSERT_EQ(store.read(0, out), DiscResult::Ok);
    EXPECT_EQ(out, data);
    EXPECT_EQ(store.write(5, pattern(1, 0)), DiscResult::WriteProtected);
    writeText(root / "odd.iso", "not whole blocks");
    EXPECT_THROW(DiscStore::press(root / "odd", root / "odd.iso", MediaKind::DvdRom), StoreError);
}

using RecorderFolder = TempFolder;

TEST_F(RecorderFolder, LoadAndEjectAreSeenByAWatcher) {
    const fs::path recorder = root / "rec";
    DiscStore::create(root / "disc", MediaKind::DvdPlusR);
    EXPECT_EQ(loadRecorderConfig(recorder), RecorderConfig{});
    RecorderWatch watch(recorder);
    EXPECT_FALSE(watch.changed());

    loadDiscIntoRecorder(recorder, root / "disc");
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());
    RecorderConfig config = loadRecorderConfig(recorder);
    EXPECT_EQ(config.disc, fs::absolute(root / "disc").lexically_normal());
    EXPECT_FALSE(config.trayOpen);

    config.vendor = "ACME";
    saveRecorderConfig(recorder, config);
    ASSERT_TRUE(watch.changed());
    ejectRecorder(recorder);
    EXPECT_TRUE(watch.changed());
    config = loadRecorderConfig(recorder);
    EXPECT_FALSE(config.disc);
    EXPECT_TRUE(config.trayOpen);
    EXPECT_EQ(config.vendor, "ACME");  // the identity outlives the disc

    EXPECT_THROW(loadDiscIntoRecorder(recorder, root / "no-disc"), StoreError);
    // A hand-edited relative disc folder is found beside recorder.json.
    writeText(recorder / kRecorderMetadataFile, R"({"tray": "closed", "disc": "../disc"})");
    EXPECT_EQ(loadRecorderConfig(recorder).disc, (root / "disc").lexically_normal());
}

struct RecorderJsonCase {
    const char* name;
    const char* text;
};
class RecorderJson : public ::testing::TestWithParam<RecorderJsonCase> {};
TEST_P(RecorderJson, RefusesABadFile) {
    EXPECT_THROW(recorderConfigFromJson(GetParam().text), StoreError);
}
INSTANTIATE_TEST_SUITE_P(
    Table, RecorderJson,
    ::testing::Values(RecorderJsonCase{"notJson", "{tray"},
                      RecorderJsonCase{"noTray", R"({"disc": null})"},
                      RecorderJsonCase{"tray", R"({"tray": "ajar"})"},
                      RecorderJsonCase{"disc", R"({"tray": "closed", "disc": 5})"},
                      RecorderJsonCase{"vendorLong", R"({"tray": "open", "vendor": "NINE CHAR"})"},
                      RecorderJsonCase{"control", "{\"tray\": \"open\", \"product\": \"A\\u0001\"}"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrin::vrecorder
