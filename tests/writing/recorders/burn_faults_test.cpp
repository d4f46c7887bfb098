// Disc writes that go wrong, against the virtual recorder: a drive that stays busy,
// a write error, a pulled disc, the user's abort, a source file that vanished or
// shrank after the layout. Each ends with exactly one completion report carrying
// the failure, the drive's buffer flushed and the session left open; a busy spell
// within the limit and a drive without buffer read-out still end well.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/device/messages.h"
#include "engine/iso/layout.h"
#include "engine/writing/cache_thread.h"
#include "engine/writing/disc_writer.h"
#include "tests/writing/image_bytes.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using namespace opcode;
using vrecorder::MediaKind;

constexpr TDateTime kBuildTime = 46000.5;  // 2025-12-09 12:00, local
constexpr int kBusyTries = 5;
constexpr int kLeadOutRounds = 5;
// Larger than the smallest cache, so that the writer starts while the cache is
// still reading it and a later source fails during the data phase.
constexpr std::size_t kBigSourceBytes = 3 * 1024 * 1024;
constexpr std::size_t kVictimBytes = 5000;
// The 150 header blocks go in writes of 31, 31, 31, 31 and 26 blocks, the file data
// from block 150 in writes of 31: block 200 is in the seventh.
constexpr int kWritesToBlock200 = 7;

// Lets a test act on the writer's thread right after a WRITE (10) went to the drive
// and before the writer sees the answer: an abort set there is seen at the
// writer's next check, whatever the threads' timing.
struct AfterWrite {
    std::mutex lock;
    std::function<void(int writes)> action;
    int writes = 0;

    static AfterWrite& Get() {
        static AfterWrite hook;
        return hook;
    }
    static uint32_t Send(void* request) {
        const uint32_t status = CommandLog::Send(request);
        if (static_cast<uint8_t*>(request)[0] != aspi::SC_EXEC_SCSI_CMD) return status;
        if (static_cast<aspi::SRB_ExecSCSICmd*>(request)->CDBByte[0] != kWrite10) return status;
        AfterWrite& hook = Get();
        const std::lock_guard guard(hook.lock);
        ++hook.writes;
        if (hook.action) hook.action(hook.writes);
        return status;
    }
    void reset(std::function<void(int)> next = {}) {
        const std::lock_guard guard(lock);
        action = std::move(next);
        writes = 0;
    }
};

class FaultyWrite : public RecordedRecorder {
protected:
    void SetUp() override {
        RecordedRecorder::SetUp();
        if (HasFatalFailure()) return;
        sources_ = root_ / "sources";
        fs::create_directories(sources_);
        burner_.SetCacheSize(TvxCDBurner::kMinimumCacheSize);
        burner_.OnWriteDone = [this](TvxCDBurner&, const std::string& error) {
            const std::lock_guard guard(lock_);
            texts_.push_back(error);
        };
        burner_.OnFinalizingTrack = [this](TvxCDBurner&) { ++finalizing_; };
    }
    void TearDown() override {
        AfterWrite::Get().reset();
        RecordedRecorder::TearDown();
    }

    // A blank disc of `kind` in a recorder with `faults`, selected through the
    // recording transport with the WRITE hook in front of it.
    void selectBlank(MediaKind kind, const std::string& faults) {
        createDisc(kind);
        select(faults);
        if (HasFatalFailure()) return;
        AfterWrite::Get().reset();
        UseTransport("WNASPI32.DLL", library_->function<aspi::GetSupportInfoFn>("GetASPI32SupportInfo"),
                     &AfterWrite::Send);
    }

    std::string addSource(const std::string& name, std::size_t size, uint8_t seed) {
        const std::string path = sources_ / name;
        testing::WriteAll(path, testing::Content(size, seed));
        EXPECT_EQ(burner_.InsertFile("\\", path, false), 1);
        return path;
    }

    // A big file, then the victim: the cache is ready (and the writer started)
    // before the victim is read. Returns the victim's path.
    std::string makeCompilation() {
        addSource("big.bin", kBigSourceBytes, 1);
        return addSource("victim.bin", kVictimBytes, 2);
    }

    // The first block of a file's data on the disc, after the layout.
    uint32_t discBlockOf(const std::string& name) {
        const PFileEntry entry = burner_.FindFile("\\", name);
        EXPECT_NE(entry, nullptr) << name;
        if (entry == nullptr) return 0;
        return burner_.Layout.SessionStart + burner_.Layout.FirstFileBlock + entry->IsoExtent;
    }

    void prepare() {
        ASSERT_TRUE(iso::Prepare(burner_, false, kBuildTime, ScaledSleep()));
        CommandLog::Get().clear();
    }

    static writing::WriterOptions Options() {
        writing::WriterOptions options;
        options.sleep = ScaledSleep();
        options.busyTries = kBusyTries;
        options.leadOutRounds = kLeadOutRounds;
        options.localTime = [] {
            std::tm t{};
            t.tm_year = 125, t.tm_mon = 11, t.tm_mday = 9, t.tm_hour = 12;
            return t;
        };
        return options;
    }

    std::vector<std::string> texts() {
        const std::lock_guard guard(lock_);
        return texts_;
    }

    fs::path sources_;
    std::mutex lock_;
    std::vector<std::string> texts_;
    std::atomic<int> finalizing_{0};
};

// What happens to the victim file between the layout and the write.
enum class Victim { Intact, Deleted, Truncated };

struct FaultCase {
    const char* name;
    MediaKind kind;
    std::string faults;  // recorders.ini lines
    Victim victim;
    int abortAfterWrites;  // 0: no abort
    int writes;            // WRITE (10) commands the drive must have seen; 0: not counted
    // The text the report must carry; "{}" stands for the victim's path.
    std::string text;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class WriteFaults : public FaultyWrite, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(WriteFaults, EndWithOneReportOfTheFailureAndTheBufferFlushedButNoClose) {
    const FaultCase& c = GetParam();
    selectBlank(c.kind, c.faults);
    ASSERT_FALSE(HasFatalFailure());
    const std::string victim = makeCompilation();
    prepare();
    ASSERT_GT(discBlockOf("victim.bin"), discBlockOf("big.bin"));
    if (c.victim == Victim::Deleted) fs::remove(victim);
    if (c.victim == Victim::Truncated) fs::resize_file(victim, kVictimBytes / 5);

    writing::DiscWriter writer(burner_, Options());
    if (c.abortAfterWrites > 0) {
        AfterWrite::Get().reset([&writer, after = c.abortAfterWrites](int writes) {
            if (writes == after) writer.AbortWrite();
        });
    }
    ASSERT_TRUE(writer.BurnCD());
    writer.WaitDone();

    EXPECT_EQ(texts(), std::vector<std::string>{fmt::format(fmt::runtime(c.text), victim)});
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_EQ(finalizing_.load(), 1);

    const auto codes = Opcodes(CommandLog::Get().snapshot());
    const auto lastWrite = std::find(codes.rbegin(), codes.rend(), kWrite10);
    ASSERT_NE(lastWrite, codes.rend()) << "no WRITE was sent";
    const std::vector<uint8_t> after(lastWrite.base(), codes.end());
    EXPECT_GE(Count(after, kSynchronizeCache), 1);
    EXPECT_EQ(Count(codes, kCloseTrackSession), 0);
    // The drive is left as the failure found it: no neutral state.
    EXPECT_EQ(Count(after, kPreventAllow), 0);
    if (c.writes > 0) {
        EXPECT_EQ(Count(codes, kWrite10), c.writes);
    }
    if (c.abortAfterWrites > 0) {
        EXPECT_EQ(writer.BytesWritten(), c.abortAfterWrites * static_cast<int64_t>(writing::kCacheBlockBytes));
    }
    EXPECT_EQ(discState().closedSessions, 0);
}

const std::string kWriteErrorText = std::string(messages::kWriterError) + " [MEDIUM ERROR (WRITE ERROR)]";
const std::string kNoDiscText =
    std::string(messages::kWriterError) + " [NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)]";

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFaults,
    ::testing::Values(
        FaultCase{"BusyBeyondTheLimit", MediaKind::CdR, "busy_writes = 20", Victim::Intact, 0, kBusyTries,
                  std::string(messages::kWriterBusy)},
        FaultCase{"WriteError", MediaKind::CdR, "write_error_block = 200", Victim::Intact, 0, kWritesToBlock200,
                  kWriteErrorText},
        FaultCase{"DiscRemovedFromCdR", MediaKind::CdR, "remove_disc_at_block = 200", Victim::Intact, 0,
                  kWritesToBlock200, kNoDiscText},
        // The lead-out wait of the DVD-R family ends although the drive never
        // answers again.
        FaultCase{"DiscRemovedFromDvdR", MediaKind::DvdR, "remove_disc_at_block = 200", Victim::Intact, 0,
                  kWritesToBlock200, kNoDiscText},
        FaultCase{"AbortInTheDataPhase", MediaKind::CdR, "", Victim::Intact, 3, 3,
                  std::string(messages::kOperationAborted)},
        FaultCase{"SourceDeletedAfterTheLayout", MediaKind::CdR, "", Victim::Deleted, 0, 0,
                  std::string(messages::kCantOpenFile)},
        FaultCase{"SourceShorterThanItsEntry", MediaKind::CdR, "", Victim::Truncated, 0, 0,
                  std::string(writing::kSourceFileShorter)}),
    [](const auto& info) { return std::string(info.param.name); });

// The only source is gone before the cache is ready: nothing reaches the drive.
TEST_F(FaultyWrite, SourceMissingBeforeTheCacheIsReadyIsReportedByBurnCD) {
    selectBlank(MediaKind::CdR, "");
    ASSERT_FALSE(HasFatalFailure());
    const std::string victim = addSource("victim.bin", kVictimBytes, 2);
    prepare();
    fs::remove(victim);

    writing::DiscWriter writer(burner_, Options());
    EXPECT_FALSE(writer.BurnCD());
    writer.WaitDone();

    EXPECT_EQ(texts(), std::vector<std::string>{fmt::format(messages::kCantOpenFile, victim)});
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_EQ(Count(Opcodes(CommandLog::Get().snapshot()), kWrite10), 0);
}

struct RecoveryCase {
    const char* name;
    std::string faults;
    // WRITE (10) answered busy before the data went through.
    int busyWrites;
    // READ BUFFER CAPACITY is refused: asked once in the data phase, then no more.
    bool bufferReadRefused;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) { *os << c.name; }

class WriteRecovers : public FaultyWrite, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(WriteRecovers, AndTheSessionIsClosed) {
    const RecoveryCase& c = GetParam();
    selectBlank(MediaKind::CdR, c.faults);
    ASSERT_FALSE(HasFatalFailure());
    makeCompilation();
    prepare();
    const std::vector<uint8_t> header = burner_.HeaderStream;  // the cache empties it

    writing::DiscWriter writer(burner_, Options());
    ASSERT_TRUE(writer.BurnCD());
    writer.WaitDone();

    EXPECT_EQ(texts(), std::vector<std::string>{""});
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_EQ(finalizing_.load(), 1);
    const uint64_t blocks = iso::ImageSizeBlocks(burner_);
    EXPECT_EQ(writer.BytesWritten(), static_cast<int64_t>(blocks * kBlockBytes));

    const auto codes = Opcodes(CommandLog::Get().snapshot());
    const int writes = Count(codes, kWrite10);
    EXPECT_EQ(writes, static_cast<int>((blocks + 30) / 31) + c.busyWrites);
    const auto first = std::find(codes.begin(), codes.end(), kWrite10);
    const auto last = std::find(codes.rbegin(), codes.rend(), kWrite10).base();
    const int polls = Count(std::vector<uint8_t>(first, last), kReadBufferCapacity);
    if (c.bufferReadRefused) {
        EXPECT_EQ(polls, 1);
    } else {
        EXPECT_GT(polls, 1);
    }
    EXPECT_EQ(Count(codes, kCloseTrackSession), 1);
    EXPECT_EQ(discState().closedSessions, 1);

    // What the disc holds is the image: the header, then the files in whole blocks.
    std::vector<uint8_t> recorded(header.size());
    ASSERT_EQ(vrecorder::DiscStore::open(disc_).read(0, recorded), vrecorder::DiscResult::Ok);
    EXPECT_TRUE(recorded == header);
    std::vector<uint8_t> data(kBigSourceBytes);
    ASSERT_EQ(vrecorder::DiscStore::open(disc_).read(discBlockOf("big.bin"), data), vrecorder::DiscResult::Ok);
    EXPECT_TRUE(data == testing::Content(kBigSourceBytes, 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteRecovers,
                         ::testing::Values(RecoveryCase{"BusySpellWithinTheLimit", "busy_writes = 3", 3, false},
                                           RecoveryCase{"BufferCapacityRefused", "refused_opcode = 5Ch", 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrin::test
