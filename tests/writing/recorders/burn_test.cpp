// Writing compilations onto discs in a virtual recorder behind the manager library,
// with every command the writer sends recorded on its way: the command sequence per
// medium (drive setup, the WRITE and buffer-poll pattern, the flush, the close and
// the neutral state), the reservation and DVD preparation data, the page sent before
// closing, the one completion report, and each session read back from the disc by
// the independent readers, later sessions with the files of earlier ones imported.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/device/messages.h"
#include "engine/drive/mmc_cdb.h"
#include "engine/drive/mmc_commands.h"
#include "engine/iso/layout.h"
#include "engine/platform/directory.h"
#include "engine/writing/disc_writer.h"
#include "recorders/virtual/disc_store.h"
#include "tests/iso/image_check.h"
#include "tests/writing/image_bytes.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using vrecorder::MediaKind;
using namespace opcode;

// In the expected sequences: one wait for the drive, whatever mix and number of
// TEST UNIT READY, REQUEST SENSE and READ DISC INFORMATION polls it took.
constexpr uint8_t kWait = 0xFF;

bool IsPoll(uint8_t op) { return op == kTestUnitReady || op == kRequestSense || op == kReadDiscInformation; }

std::vector<uint8_t> WithWaits(std::vector<uint8_t>::const_iterator from, std::vector<uint8_t>::const_iterator to) {
    std::vector<uint8_t> out;
    for (auto at = from; at != to; ++at) {
        const uint8_t op = IsPoll(*at) ? kWait : *at;
        if (op != kWait || out.empty() || out.back() != kWait) out.push_back(op);
    }
    return out;
}

// WRITE after WRITE, with READ BUFFER CAPACITY before the 6th and every 5th after.
std::vector<uint8_t> DataPhase(std::size_t writes, bool polls) {
    std::vector<uint8_t> out;
    for (std::size_t block = 1; block <= writes; ++block) {
        if (polls && block >= 6 && (block - 6) % 5 == 0) out.push_back(kReadBufferCapacity);
        out.push_back(kWrite10);
    }
    return out;
}

uint32_t Be32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t{b.at(at)} << 24 | uint32_t{b.at(at + 1)} << 16 | uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}
uint16_t Be16(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b.at(at) << 8 | b.at(at + 1));
}

// CDB fields.
constexpr std::size_t kAddressAt = 2, kLengthAt = 7;    // WRITE (10): block, blocks
constexpr std::size_t kLoadAt = 4, kPreventAt = 4;      // START STOP UNIT, PREVENT ALLOW
constexpr std::size_t kSyncFlagsAt = 1;
constexpr uint8_t kSyncImmediate = 0x02;
constexpr std::size_t kReservationAt = 5;               // RESERVE TRACK: blocks
constexpr std::size_t kStructureFormatAt = 7;           // SEND DVD STRUCTURE
constexpr std::size_t kCloseFunctionAt = 2, kCloseTrackAt = 4;
constexpr uint8_t kCloseSession = 2;

// MODE SELECT (10) data: the 8-byte header, then the Write Parameters page.
constexpr std::size_t kPageAt = 8;
constexpr std::size_t kMultiSessionAt = kPageAt + 3;
uint8_t MultiSession(const SentCommand& modeSelect) { return modeSelect.data.at(kMultiSessionAt) >> 6; }
constexpr uint8_t kNextSessionAllowed = 0x3;

constexpr uint32_t kLargestWrite = 31;  // blocks per WRITE (10)

const std::tm kWriteTime = [] {
    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = 11, t.tm_mday = 10, t.tm_hour = 21, t.tm_min = 5, t.tm_sec = 9;
    return t;
}();

// The performance descriptor SET STREAMING carries before a DVD-R write.
const std::vector<uint8_t> kStreaming = {0x00, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x23, 0x12, 0x7F, 0x00, 0x00,
                                         0xAB, 0xBD, 0, 0, 0x03, 0xE8, 0, 0, 0x05, 0x8A, 0, 0, 0x03, 0xE8};
// The time stamp of kWriteTime: length 0014h, six zeros, "20261210210509".
const std::vector<uint8_t> kTimeStamp = {0x00, 0x14, 0, 0, 0, 0, 0, 0, '2', '0', '2', '6', '1',
                                         '2', '1', '0', '2', '1', '0', '5', '0', '9'};

// A file put on the disc by an earlier session.
struct OnDisc {
    fs::path source;      // its local copy, for the search record and the readers' check
    std::string folder;   // the compilation folder, "\s1\deep"
    uint32_t extent = 0;  // absolute
};

struct JobResult {
    bool started = false;
    std::vector<std::string> done;
    int finalizing = 0;
    bool inProgressAfter = true;
    int64_t bytesWritten = -1;
};

class BurnOnVirtualRecorder : public RecordedRecorder {
protected:
    // Session k's new files: sk/ak.txt and sk/deep/bk.bin (more than one WRITE's worth),
    // under their own folder; returns that folder.
    fs::path MakeSource(int session) {
        const fs::path base = root_ / ("new" + std::to_string(session));
        const std::string k = std::to_string(session);
        fs::create_directories(base / ("s" + k) / "deep");
        testing::WriteAll((base / ("s" + k) / ("a" + k + ".txt")).string(),
                          testing::Content(2049 + session, static_cast<uint8_t>(session)));
        testing::WriteAll((base / ("s" + k) / "deep" / ("b" + k + ".bin")).string(),
                          testing::Content(70000, static_cast<uint8_t>(0x40 + session)));
        return base;
    }

    // The compilation of a session: every file of the earlier sessions imported at
    // its block on the disc, then the new files from `source`.
    void Compose(const fs::path& source) {
        ASSERT_TRUE(burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs));
        for (const OnDisc& file : onDisc_) {
            const PDirEntry dir = burner_.CreateDirPath(file.folder);
            ASSERT_NE(dir, nullptr) << file.folder;
            const auto record = platform::StatRecord(file.source.string());
            ASSERT_TRUE(record.has_value()) << file.source;
            ASSERT_TRUE(burner_.InsertFile(dir, *record, false, file.extent, ""));
        }
        ASSERT_TRUE(burner_.InsertDir(burner_.Root(), source.string() + "/", "*.*", 63, true, false, false));
    }

    void PrepareForDisc() {
        ASSERT_TRUE(iso::Prepare(burner_, false, compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0}),
                                 ScaledSleep()));
    }

    // Notes where the last layout put the new files, for the next session to import.
    void Remember(const fs::path& source) {
        for (const auto& entry : burner_.Tree().Files()) {
            if (entry->IsSubdirectory() || entry->Imported || entry->Size == 0) continue;
            const fs::path relative = fs::path(entry->SourcePath).lexically_relative(source);
            std::string folder;
            for (const auto& part : relative.parent_path()) folder += "\\" + part.string();
            onDisc_.push_back({entry->SourcePath, folder, burner_.Layout.FirstFileBlock + entry->IsoExtent});
        }
    }

    // What the readers must find in session k: the new files of sessions 1..k.
    fs::path ExpectedTree(int session) const {
        const fs::path tree = root_ / ("tree" + std::to_string(session));
        fs::create_directories(tree);
        for (int k = 1; k <= session; ++k) {
            fs::copy(root_ / ("new" + std::to_string(k)), tree,
                     fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        }
        return tree;
    }

    JobResult Burn() {
        JobResult result;
        std::mutex lock;  // the events come on the writer thread
        burner_.OnWriteDone = [&](TvxCDBurner&, const std::string& error) {
            const std::lock_guard guard(lock);
            result.done.push_back(error);
        };
        burner_.OnFinalizingTrack = [&](TvxCDBurner&) {
            const std::lock_guard guard(lock);
            ++result.finalizing;
        };
        writing::WriterOptions options;
        options.sleep = ScaledSleep();
        options.localTime = [] { return kWriteTime; };
        writing::DiscWriter writer(burner_, options);
        result.started = writer.BurnCD();
        writer.WaitDone();
        result.inProgressAfter = writer.WriteInProgress();
        result.bytesWritten = writer.BytesWritten();
        burner_.OnWriteDone = nullptr;
        burner_.OnFinalizingTrack = nullptr;
        return result;
    }

    // The disc as it is now, read back block by block, checked as the session at
    // `start` against `tree`.
    void VerifySession(uint32_t start, const fs::path& tree) {
        const auto verifier = testing::Verifier();
        if (!verifier) GTEST_SKIP() << "verify-iso is not there (TAVRIN_SOURCE_DIR)";
        const fs::path image = root_ / "disc.iso";
        vrecorder::DiscStore::open(disc_).exportImage(image);
        const testing::CommandRun verified =
            testing::Capture(verifier->string() + " " + image.string() + " --tree " + tree.string() +
                             " --session-start " + std::to_string(start));
        EXPECT_EQ(verified.status, 0) << verified.output;
        fs::remove(image);
    }

    std::vector<OnDisc> onDisc_;
};

struct MediumCase {
    const char* name;
    MediaKind kind;
    int sessions;
    std::vector<uint8_t> setup;  // up to the first WRITE
    bool polls;                  // READ BUFFER CAPACITY in the data phase
    std::vector<uint8_t> tail;   // after the last WRITE
    bool reserves;               // DVD-R: streaming, time stamp, reservation, flush in the background
    bool closes;                 // CLOSE TRACK/SESSION; a sequential disc stays appendable
};

std::ostream& operator<<(std::ostream& os, const MediumCase& c) { return os << c.name; }

// Setup, the WRITE and buffer-poll pattern, and the finishing tail, as the medium wants them.
void CheckSequence(const std::vector<SentCommand>& sent, const MediumCase& c) {
    const auto codes = Opcodes(sent);
    const auto first = std::find(codes.begin(), codes.end(), kWrite10);
    ASSERT_NE(first, codes.end());
    const auto last = std::find(codes.rbegin(), codes.rend(), kWrite10).base();
    EXPECT_EQ(WithWaits(codes.begin(), first), c.setup);
    EXPECT_EQ(WithWaits(last, codes.end()), c.tail);
    const std::vector<uint8_t> data(first, last);
    EXPECT_EQ(data, DataPhase(std::count(first, last, kWrite10), c.polls));
}

// The blocks from the session start on, one after the other, none larger than the buffer.
void CheckWrites(const std::vector<SentCommand>& sent, uint32_t start, uint64_t blocks) {
    uint64_t next = start;
    for (const SentCommand& write : sent) {
        if (write.opcode() != kWrite10) continue;
        const uint16_t count = Be16(write.cdb, kLengthAt);
        EXPECT_EQ(Be32(write.cdb, kAddressAt), next);
        EXPECT_GE(count, 1u);
        EXPECT_LE(count, kLargestWrite);
        EXPECT_EQ(write.data.size(), std::size_t{count} * kBlockBytes);
        next += count;
    }
    EXPECT_EQ(next, start + blocks);
}

void CheckFields(const std::vector<SentCommand>& sent, const MediumCase& c, uint64_t blocks) {
    for (const SentCommand& command : sent) {
        switch (command.opcode()) {
        case kStartStop: EXPECT_EQ(command.cdb[kLoadAt], 0x03); break;       // load
        case kPreventAllow: EXPECT_EQ(command.cdb[kPreventAt], 0x00); break;  // removal allowed
        case kSynchronizeCache:
            // DVD-R: the drive writes its lead-out in the background.
            EXPECT_EQ((command.cdb[kSyncFlagsAt] & kSyncImmediate) != 0, c.reserves);
            break;
        case kReserveTrack: EXPECT_EQ(Be32(command.cdb, kReservationAt), blocks + 1); break;
        case kSetStreaming: EXPECT_EQ(command.data, kStreaming); break;
        case kSendDvdStructure:
            EXPECT_EQ(command.cdb[kStructureFormatAt], drive::kTimeStampFormat);
            EXPECT_EQ(command.data, kTimeStamp);
            break;
        default: break;
        }
    }
}

// The pages of the setup ask for a closed disc, so that the drive gives the next
// writable address of a last session; the one before closing leaves the disc open.
void CheckPages(const std::vector<SentCommand>& sent, const MediumCase& c) {
    const auto codes = Opcodes(sent);
    const auto first = std::find(codes.begin(), codes.end(), kWrite10);
    for (auto at = codes.begin(); at != first; ++at) {
        if (*at == kModeSelect) {
            EXPECT_EQ(MultiSession(sent[at - codes.begin()]), 0);
        }
    }
    const auto close = std::find(codes.begin(), codes.end(), kCloseTrackSession);
    ASSERT_EQ(close != codes.end(), c.closes);
    if (!c.closes) return;
    const SentCommand& closing = sent[close - codes.begin()];
    EXPECT_EQ(closing.cdb[kCloseFunctionAt] & 0x07, kCloseSession);
    EXPECT_EQ(Be16(closing.cdb, kCloseTrackAt), 0);
    ASSERT_EQ(*(close - 1), kModeSelect);
    EXPECT_EQ(MultiSession(sent[close - 1 - codes.begin()]), kNextSessionAllowed);
}

class Burns : public BurnOnVirtualRecorder, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(Burns, SendTheMediumSequenceAndEachSessionReadsBack) {
    const MediumCase& c = GetParam();
    createDisc(c.kind);
    select();
    burner_.FinalizeDisc = false;
    for (int session = 1; session <= c.sessions; ++session) {
        SCOPED_TRACE("session " + std::to_string(session));
        const fs::path source = MakeSource(session);
        Compose(source);
        PrepareForDisc();
        if (HasFatalFailure()) return;
        const uint32_t start = burner_.Layout.SessionStart;
        const uint64_t blocks = iso::ImageSizeBlocks(burner_);
        if (session > 1) {
            EXPECT_GT(start, onDisc_.back().extent);
        }
        CommandLog::Get().clear();

        const JobResult job = Burn();

        EXPECT_TRUE(job.started);
        EXPECT_EQ(job.done, std::vector<std::string>{""});
        EXPECT_EQ(job.finalizing, 1);
        EXPECT_FALSE(job.inProgressAfter);
        EXPECT_EQ(job.bytesWritten, static_cast<int64_t>(blocks * kBlockBytes));
        const auto sent = CommandLog::Get().snapshot();
        CheckSequence(sent, c);
        CheckWrites(sent, start, blocks);
        CheckFields(sent, c, blocks);
        CheckPages(sent, c);
        if (HasFatalFailure()) return;

        const auto state = discState();
        if (c.closes && c.kind != MediaKind::DvdPlusRw) {
            EXPECT_EQ(state.closedSessions, session);
            EXPECT_FALSE(state.finalized);
        }
        if (c.reserves) {
            EXPECT_TRUE(state.finalized);  // session at once: the flush closed the disc
        }
        VerifySession(start, ExpectedTree(session));
        if (HasFatalFailure()) return;
        Remember(source);
    }
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Every speed read-out reads the drive's capabilities afresh: the capabilities page
// (default values), the vendor page, the DVD+R and DVD-R features, the current page.
const std::vector<uint8_t> kSpeedRead = {kModeSense, kModeSense, kGetConfiguration, kGetConfiguration, kModeSense};
// The Write Parameters page: the drive's page read, changed and sent back.
const std::vector<uint8_t> kPage = {kModeSense, kModeSelect};

// Media type, tray, rezero, speeds, wait, the current write speed, the page, then
// the next writable address asked for again between waits.
const std::vector<uint8_t> kSetup =
    Join({{kGetConfiguration, kStartStop, kRezero, kSetCDSpeed, kWait}, kSpeedRead, kPage, {kWait}, kPage,
          {kWait, kReadTrackInformation}});
const std::vector<uint8_t> kDvdRSetup = Join({kSetup, {kSetStreaming, kSendDvdStructure, kReserveTrack, kWait}});
const std::vector<uint8_t> kDvdPlusRwSetup =
    Join({{kGetConfiguration, kStartStop, kSetCDSpeed, kWait}, kSpeedRead, kPage, {kWait}, kPage,
          {kWait, kReadTrackInformation}});
const std::vector<uint8_t> kDvdRamSetup =
    Join({{kGetConfiguration, kRezero, kWait}, kSpeedRead, {kWait, kReadTrackInformation}});

// The neutral state: a plain page, speeds, rezero, unlock, load, rezero, ready.
const std::vector<uint8_t> kNeutral =
    Join({kPage, kSpeedRead, {kSetCDSpeed, kRezero, kPreventAllow, kStartStop, kRezero, kWait}});
// Flush, the page and the close, the wait, a last poll, then the neutral state.
const std::vector<uint8_t> kDvdPlusRwTail =
    Join({{kReadBufferCapacity, kSynchronizeCache}, kPage, {kCloseTrackSession, kWait, kReadBufferCapacity},
          kNeutral});
const std::vector<uint8_t> kClosingTail = Join({kDvdPlusRwTail, {kRezero}});
// The lead-out countdown's READ DISC INFORMATION polls run into the wait.
const std::vector<uint8_t> kDvdRTail = Join({{kReadBufferCapacity, kSynchronizeCache, kWait, kReadBufferCapacity},
                                             kNeutral});
const std::vector<uint8_t> kDvdRamTail = Join({{kSynchronizeCache, kWait}, kNeutral});

// clang-format off
INSTANTIATE_TEST_SUITE_P(Media, Burns, ::testing::Values(
    MediumCase{"CDR", MediaKind::CdR, 3, kSetup, true, kClosingTail, false, true},
    MediumCase{"DVDPlusR", MediaKind::DvdPlusR, 3, kSetup, true, kClosingTail, false, true},
    MediumCase{"DVDR", MediaKind::DvdR, 1, kDvdRSetup, true, kDvdRTail, true, false},
    MediumCase{"DVDPlusRW", MediaKind::DvdPlusRw, 1, kDvdPlusRwSetup, true, kDvdPlusRwTail, false, true},
    MediumCase{"DVDRAM", MediaKind::DvdRam, 1, kDvdRamSetup, false, kDvdRamTail, false, false}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Another program wrote to the disc after the layout was made: every extent of the
// image would point beside its data, so nothing is written.
TEST_F(BurnOnVirtualRecorder, DiscWrittenSinceTheLayoutIsRefused) {
    createDisc(MediaKind::CdR);
    select();
    Compose(MakeSource(1));
    PrepareForDisc();
    ASSERT_EQ(burner_.Layout.SessionStart, 0u);
    constexpr uint16_t kOtherBlocks = 16;
    Bytes other(kOtherBlocks * kBlockBytes, 0x5A);
    ASSERT_TRUE(drive::Write10(burner_, 0, kOtherBlocks, drive::kFlagsDataOut, static_cast<uint32_t>(other.size()), other));
    CommandLog::Get().clear();

    const JobResult job = Burn();

    EXPECT_TRUE(job.started);
    EXPECT_EQ(job.done, std::vector<std::string>{fmt::format(fmt::runtime(messages::kSessionMoved), kOtherBlocks, 0)});
    EXPECT_FALSE(job.inProgressAfter);
    const auto codes = Opcodes(CommandLog::Get().snapshot());
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kWrite10), 0);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kCloseTrackSession), 0);
    const auto state = discState();
    ASSERT_EQ(state.tracks.size(), 1u);
    EXPECT_EQ(state.tracks[0].recorded, kOtherBlocks);
}

// A new volume on an overwritable disc goes to block 0, over the files of the old
// one that the compilation still refers to.
TEST_F(BurnOnVirtualRecorder, OverwritingImportedFilesIsRefused) {
    createDisc(MediaKind::DvdPlusRw);
    select();
    const fs::path source = MakeSource(1);
    const fs::path old = root_ / "old.bin";
    testing::WriteAll(old.string(), testing::Content(3 * kBlockBytes, 9));
    onDisc_.push_back({old, "\\old", 200});
    Compose(source);
    PrepareForDisc();
    ASSERT_EQ(burner_.Layout.SessionStart, 0u);
    ASSERT_GT(iso::ImageSizeBlocks(burner_), 200u);
    CommandLog::Get().clear();

    const JobResult job = Burn();

    EXPECT_FALSE(job.started);
    EXPECT_EQ(job.done,
              std::vector<std::string>{fmt::format(fmt::runtime(messages::kWouldOverwriteImported), "old.bin")});
    EXPECT_FALSE(job.inProgressAfter);
    const auto codes = Opcodes(CommandLog::Get().snapshot());
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kWrite10), 0);
}

}  // namespace
}  // namespace tavrin::test
