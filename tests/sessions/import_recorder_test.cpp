// Sessions written by the engine onto a virtual CD-R, each importing the one before
// and adding files (some with Chinese names), read back by the import: every session
// gives the long names, sizes, dates and extents the writer's layout used.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "engine/device/messages.h"
#include "engine/writing/disc_writer.h"
#include "tests/sessions/session_disc.h"

namespace tavrin::test {
namespace {

constexpr int kSessions = 3;

const std::tm kWriteTime = [] {
    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = 11, t.tm_mday = 10, t.tm_hour = 21, t.tm_min = 5, t.tm_sec = 9;
    return t;
}();

class ImportFromCdR : public SessionDisc {
protected:
    // Session k's new files under "s<k>": a text file, one named in Chinese, an empty
    // one, and a Chinese-named folder with a file of more than one WRITE's worth.
    void AddSessionFiles(int k) {
        const std::string n = std::to_string(k);
        const PDirEntry folder = AddDir(burner_.Root(), "s" + n);
        ASSERT_NE(folder, nullptr);
        AddFile(folder, "a" + n + ".txt", 2049 + k, static_cast<uint8_t>(k));
        AddFile(folder, "中文文件" + n + ".txt", 5000, static_cast<uint8_t>(0x20 + k));
        AddFile(folder, "empty" + n + ".txt", 0);
        const PDirEntry deep = AddDir(folder, "深层目录");
        ASSERT_NE(deep, nullptr);
        AddFile(deep, "b" + n + ".bin", 70000, static_cast<uint8_t>(0x40 + k));
    }

    void Burn() {
        ASSERT_TRUE(iso::Prepare(burner_, false, kBuildTime, ScaledSleep()));
        std::vector<std::string> done;
        burner_.OnWriteDone = [&](TvxCDBurner&, const std::string& error) { done.push_back(error); };
        writing::WriterOptions options;
        options.sleep = ScaledSleep();
        options.localTime = [] { return kWriteTime; };
        // The layout is what the session must give back: taken before the writer runs.
        written_.push_back(Entries());
        writing::DiscWriter writer(burner_, options);
        ASSERT_TRUE(writer.BurnCD());
        writer.WaitDone();
        burner_.OnWriteDone = nullptr;
        ASSERT_EQ(done, std::vector<std::string>{""});
    }

    // Three sessions, the second and third importing the last one first.
    void WriteSessions() {
        createDisc(vrecorder::MediaKind::CdR);
        select();
        burner_.FinalizeDisc = false;
        for (int k = 1; k <= kSessions; ++k) {
            SCOPED_TRACE("writing session " + std::to_string(k));
            burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
            if (k > 1) {
                ASSERT_TRUE(sessions::ImportSession(burner_, -1, nullptr));
            }
            AddSessionFiles(k);
            if (HasFatalFailure()) return;
            Burn();
            if (HasFatalFailure()) return;
        }
    }

    std::vector<std::vector<EntryFacts>> written_;
};

TEST_F(ImportFromCdR, EverySessionGivesBackWhatItsLayoutWrote) {
    WriteSessions();
    if (HasFatalFailure()) return;
    ASSERT_EQ(written_.size(), std::size_t{kSessions});

    for (int k = 1; k <= kSessions; ++k) {
        SCOPED_TRACE("session " + std::to_string(k));
        ASSERT_TRUE(Import(static_cast<int8_t>(k))) << AllLines();
        EXPECT_EQ(Entries(), written_[k - 1]);
        EXPECT_TRUE(Saw(">>> " + std::string("IMPORTING SESSION # ") + std::to_string(k), kDebugProgress));
        EXPECT_FALSE(Saw("ERROR")) << AllLines();
        // Imported files keep their data on the disc: the compilation does not grow.
        EXPECT_EQ(burner_.TotalSize(), 0);
    }
    // The last session, asked for as -1 or as a number beyond the disc's sessions.
    for (const int8_t asked : {int8_t{-1}, int8_t{7}}) {
        SCOPED_TRACE("asked for " + std::to_string(asked));
        ASSERT_TRUE(Import(asked));
        EXPECT_EQ(Entries(), written_.back());
        EXPECT_TRUE(Saw(">>> IMPORTING SESSION # 3", kDebugProgress));
    }
    EXPECT_FALSE(Import(0));
    EXPECT_TRUE(lines_.empty()) << AllLines();
}

}  // namespace
}  // namespace tavrin::test
