// The component's properties, setters, events and the empty compilation.
#include <gmock/gmock.h>

#include "tests/compilation/burner_fixture.h"

namespace tavrin::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(BurnerTest, StartsWithItsDefaults) {
    EXPECT_TRUE(burner.WritePostGap);
    EXPECT_TRUE(burner.JolietFileSystem);
    EXPECT_TRUE(burner.FinalizeTrack);
    EXPECT_TRUE(burner.UnderrunProtection);
    EXPECT_FALSE(burner.TestWrite);
    EXPECT_FALSE(burner.ReplaceFile);
    EXPECT_FALSE(burner.PerformOPC);
    EXPECT_FALSE(burner.FinalizeDisc);
    EXPECT_FALSE(burner.DoDebug);
    EXPECT_FALSE(burner.StripSourcePath);
    EXPECT_FALSE(burner.Erasing);
    EXPECT_EQ(burner.CacheSize(), 4194304);
    EXPECT_EQ(burner.Version(), "1.1.7");
    EXPECT_EQ(burner.WriteSpeed, 0);
    EXPECT_EQ(burner.ReadSpeed, 0);
    EXPECT_EQ(burner.DeviceBufferSize, 0u);
    EXPECT_TRUE(burner.IdVolume.empty());
    EXPECT_EQ(burner.DateCreation, 0.0);
    EXPECT_TRUE(burner.HeaderStream.empty());
    EXPECT_EQ(burner.DirsCount(), 0);
    EXPECT_EQ(burner.FilesCount(), 0);
    EXPECT_EQ(burner.TotalSize(), 0);
    EXPECT_EQ(burner.Tree().MaxFiles(), 65535u);
    EXPECT_EQ(burner.Tree().MaxDirs(), 8191u);
}

TEST_F(BurnerTest, RootIsTheOnlyDirectoryAfterClearAll) {
    ASSERT_TRUE(burner.CreateDirPath("\\A\\B"));
    burner.HeaderStream.assign(4096, 1);
    EXPECT_TRUE(burner.ClearAll(600000, 20000));
    const PDirEntry root = burner.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(burner.FindDir("\\"), root);
    EXPECT_EQ(burner.FindDir(""), root);
    EXPECT_EQ(root->ShortName, "CD_ROOT");
    EXPECT_EQ(root->LongName, "CD Root Directory");
    EXPECT_EQ(root->FullPath, "\\");
    EXPECT_EQ(root->Level, 1);
    EXPECT_EQ(root->Parent, root);
    EXPECT_EQ(root->FirstEntry, nullptr);
    EXPECT_EQ(burner.DirsCount(), 0);
    EXPECT_EQ(burner.FilesCount(), 0);
    EXPECT_EQ(burner.FindDir("\\A"), nullptr);
    EXPECT_TRUE(burner.HeaderStream.empty());
    EXPECT_EQ(burner.Tree().MaxFiles(), 600000u);
    EXPECT_EQ(burner.Tree().MaxDirs(), 20000u);
    ASSERT_EQ(burner.Tree().Dirs().size(), 1u);
    EXPECT_EQ(burner.Tree().IsoOrder().front(), root);
    EXPECT_EQ(burner.Tree().JolietOrder().front(), root);
}

TEST_F(BurnerTest, CacheSizeIsAtLeastTwoMiBInWholeBlocks) {
    const std::pair<int32_t, int32_t> cases[] = {
        {1000, 2097152}, {0, 2097152}, {-5, 2097152}, {2097151, 2097152}, {2097152, 2097152},
        {2097153, 2097152}, {2099199, 2097152}, {2099200, 2099200}, {8388607, 8386560},
    };
    for (const auto& [assigned, expected] : cases) {
        burner.SetCacheSize(assigned);
        EXPECT_EQ(burner.CacheSize(), expected) << assigned;
    }
}

TEST_F(BurnerTest, VersionIgnoresWrites) {
    burner.SetVersion("9.9.9");
    EXPECT_EQ(burner.Version(), "1.1.7");
}

TEST_F(BurnerTest, WriteSpeedSetterKeepsTheValueWithoutADrive) {
    burner.SetWriteSpeed(16);
    EXPECT_EQ(burner.WriteSpeed, 16);
}

TEST_F(BurnerTest, JobEventsReachTheirHandlersAndUnassignedOnesAreSkipped) {
    burner.DoWriteDone("");
    burner.DoFinalizingTrack();
    burner.DoEraseDone(true);  // nothing assigned: nothing happens

    std::vector<std::string> seen;
    burner.OnWriteDone = [&](TvxCDBurner& sender, const std::string& error) {
        EXPECT_EQ(&sender, &burner);
        seen.push_back("done:" + error);
    };
    burner.OnFinalizingTrack = [&](TvxCDBurner& sender) {
        EXPECT_EQ(&sender, &burner);
        seen.push_back("finalizing");
    };
    burner.OnEraseDone = [&](TvxCDBurner&, bool withError) { seen.push_back(withError ? "erase:error" : "erase:ok"); };
    burner.DoFinalizingTrack();
    burner.DoWriteDone("WRITER ERROR");
    burner.DoEraseDone(false);
    EXPECT_THAT(seen, ElementsAre("finalizing", "done:WRITER ERROR", "erase:ok"));
}

TEST_F(BurnerTest, OneCompilationIsSharedByEveryComponent) {
    ASSERT_TRUE(burner.CreateDirPath("\\SHARED"));
    EXPECT_EQ(&burner.Tree(), &compilation::SharedCompilation());
}

struct ZoneCase {
    const char* zone;
    int expected;
};

class GmtOffsets : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(GmtOffsets, ComeFromTheStandardBias) {
    ScopedTimeZone zone(GetParam().zone);
    TvxCDBurner burner;
    EXPECT_EQ(burner.GmtOffset(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Zones, GmtOffsets,
                         ::testing::Values(ZoneCase{"CST-8", 32}, ZoneCase{"EST5EDT", -20}, ZoneCase{"UTC0", 0},
                                           ZoneCase{"IST-5:30", 22}, ZoneCase{"NST3:30NDT", -14},
                                           ZoneCase{"CET-1CEST", 4}));

}  // namespace
}  // namespace tavrin::testing
