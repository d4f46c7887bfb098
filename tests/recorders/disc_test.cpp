// The disc model's medium rules, per kind of disc.
#include <gtest/gtest.h>

#include <functional>

#include "recorders/virtual/disc.h"

namespace tavrin::vrecorder {
namespace {

struct FreshCase {
    MediaKind kind;
    uint16_t profile;
    DiscStatus status;
    SessionState lastSession;
    bool erasable;
    std::optional<uint32_t> nwa;
    uint32_t capacity;
};

class FreshDisc : public ::testing::TestWithParam<FreshCase> {};

TEST_P(FreshDisc, AnswersLikeANewDiscOfItsKind) {
    const FreshCase& c = GetParam();
    const Disc disc = Disc::blank(c.kind);
    EXPECT_EQ(disc.profile(), c.profile);
    EXPECT_EQ(disc.status(), c.status);
    EXPECT_EQ(disc.lastSessionState(), c.lastSession);
    EXPECT_EQ(disc.erasable(), c.erasable);
    EXPECT_EQ(disc.nextWritable(), c.nwa);
    EXPECT_EQ(disc.capacity(), c.capacity);
    EXPECT_EQ(disc.sessionCount(), 1);
    if (c.status == DiscStatus::Empty && c.nwa) {
        const auto invisible = disc.invisibleTrack();
        ASSERT_TRUE(invisible);
        EXPECT_EQ(invisible->number, 1);
        EXPECT_TRUE(invisible->blank);
        EXPECT_EQ(invisible->freeBlocks, c.capacity);
        EXPECT_FALSE(disc.lastRecorded());
        EXPECT_EQ(disc.read(0, 1), DiscResult::Unrecorded);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FreshDisc,
    ::testing::Values(
        FreshCase{MediaKind::CdR, 0x09, DiscStatus::Empty, SessionState::Empty, false, 0, 359'849},
        FreshCase{MediaKind::CdRw, 0x0A, DiscStatus::Empty, SessionState::Empty, true, 0, 359'849},
        FreshCase{MediaKind::DvdR, 0x11, DiscStatus::Empty, SessionState::Empty, false, 0, 2'298'496},
        FreshCase{MediaKind::DvdRwSequential, 0x14, DiscStatus::Empty, SessionState::Empty, true, 0,
                  2'298'496},
        FreshCase{MediaKind::DvdRwRestricted, 0x13, DiscStatus::Other, SessionState::Complete, true,
                  0, 2'298'496},
        FreshCase{MediaKind::DvdPlusR, 0x1B, DiscStatus::Empty, SessionState::Empty, false, 0,
                  2'295'104},
        FreshCase{MediaKind::DvdPlusRw, 0x1A, DiscStatus::Empty, SessionState::Empty, true,
                  std::nullopt, 2'295'104},
        FreshCase{MediaKind::DvdRam, 0x12, DiscStatus::Other, SessionState::Complete, true, 0,
                  2'236'704}));

// One session written, closed appendable, on each sequential kind: the next
// session's first NWA follows the kind's gap after the padded track.
struct AppendCase {
    MediaKind kind;
    uint32_t written;
    uint32_t closedSize;  // after padding to the ECC block on DVD
    uint32_t nextStart;
};

class AppendableDisc : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendableDisc, WriteCloseAppendFinalize) {
    const AppendCase& c = GetParam();
    Disc disc = Disc::blank(c.kind);
    ASSERT_EQ(disc.write(0, c.written), DiscResult::Ok);
    EXPECT_EQ(disc.status(), DiscStatus::Incomplete);
    EXPECT_EQ(disc.lastSessionState(), SessionState::Incomplete);
    auto open = disc.invisibleTrack();
    ASSERT_TRUE(open);
    EXPECT_EQ(open->state, TrackState::Incomplete);
    EXPECT_EQ(open->nextWritable, c.written);
    EXPECT_EQ(open->freeBlocks, disc.capacity() - c.written);
    EXPECT_EQ(disc.write(c.written + 1, 1), DiscResult::InvalidAddress);
    EXPECT_EQ(disc.write(0, 1), DiscResult::InvalidAddress);

    ASSERT_EQ(disc.closeSession(SessionClose::Appendable), DiscResult::Ok);
    EXPECT_EQ(disc.status(), DiscStatus::Incomplete);
    EXPECT_EQ(disc.lastSessionState(), SessionState::Empty);
    EXPECT_EQ(disc.track(1)->size, c.closedSize);
    EXPECT_EQ(disc.track(1)->state, TrackState::Complete);
    EXPECT_EQ(disc.nextWritable(), c.nextStart);
    EXPECT_EQ(disc.invisibleTrack()->number, 2);
    EXPECT_EQ(disc.invisibleTrack()->session, 2);
    EXPECT_EQ(disc.invisibleTrack()->freeBlocks, disc.capacity() - c.nextStart);
    EXPECT_EQ(disc.sessionCount(), 2);
    EXPECT_EQ(disc.read(c.written - 1, 1), DiscResult::Ok);
    EXPECT_EQ(disc.read(c.closedSize, 1), DiscResult::Unrecorded);

    // A write reaching past the end of the disc is refused before anything is recorded.
    EXPECT_EQ(disc.write(c.nextStart, disc.capacity() - c.nextStart + 1), DiscResult::InvalidAddress);
    ASSERT_EQ(disc.write(c.nextStart, 32), DiscResult::Ok);
    ASSERT_EQ(disc.closeSession(SessionClose::Final), DiscResult::Ok);
    EXPECT_EQ(disc.status(), DiscStatus::Complete);
    EXPECT_EQ(disc.lastSessionState(), SessionState::Complete);
    EXPECT_FALSE(disc.nextWritable());
    EXPECT_FALSE(disc.invisibleTrack());
    EXPECT_EQ(disc.write(disc.state().nextStart, 1), DiscResult::NotWritable);
    EXPECT_EQ(disc.lastRecorded(), c.nextStart + 31);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AppendableDisc,
                         ::testing::Values(AppendCase{MediaKind::CdR, 1000, 1000, 12'400},
                                           AppendCase{MediaKind::CdRw, 1000, 1000, 12'400},
                                           AppendCase{MediaKind::DvdR, 1000, 1008, 17'392},
                                           AppendCase{MediaKind::DvdRwSequential, 1000, 1008, 17'392},
                                           AppendCase{MediaKind::DvdPlusR, 1000, 1008, 3'056}));

TEST(CdMultisession, ThreeSessionsFollowTheLeadOutLeadInGaps) {
    Disc disc = Disc::blank(MediaKind::CdR);
    const uint32_t sizes[] = {5000, 300, 700};
    const uint32_t expectedStarts[] = {0, 5000 + 11'400, 5000 + 11'400 + 300 + 6'900};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(disc.nextWritable(), expectedStarts[i]);
        ASSERT_EQ(disc.write(expectedStarts[i], sizes[i]), DiscResult::Ok);
        ASSERT_EQ(disc.closeTrack(), DiscResult::Ok);
        ASSERT_EQ(disc.closeSession(SessionClose::Appendable), DiscResult::Ok);
    }
    const auto sessions = disc.sessions();
    ASSERT_EQ(sessions.size(), 4u);  // three closed plus the empty fourth
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sessions[i].number, i + 1);
        EXPECT_EQ(sessions[i].firstTrack, i + 1);
        EXPECT_EQ(sessions[i].lastTrack, i + 1);
        EXPECT_EQ(sessions[i].start, expectedStarts[i]);
        EXPECT_EQ(sessions[i].end, expectedStarts[i] + sizes[i]);
        EXPECT_EQ(sessions[i].state, SessionState::Complete);
    }
    EXPECT_EQ(sessions[3].state, SessionState::Empty);
    EXPECT_EQ(disc.nextWritable(), expectedStarts[2] + 700 + 6'900);
    EXPECT_EQ(disc.firstTrackOfLastSession(), 4);
    EXPECT_EQ(disc.lastTrackOfLastSession(), 4);
    // The gap between sessions was never recorded.
    EXPECT_EQ(disc.read(5000, 1), DiscResult::Unrecorded);
    EXPECT_EQ(disc.read(4999, 1), DiscResult::Ok);
}

TEST(CdAtip, RecordableCdsCarryTheirLeadInAndTheEightyMinuteLeadOut) {
    const auto cdr = Disc::blank(MediaKind::CdR).atip();
    const auto cdrw = Disc::blank(MediaKind::CdRw).atip();
    ASSERT_TRUE(cdr && cdrw);
    EXPECT_EQ(msfToLba(cdr->leadOutStart), 359'849);
    EXPECT_EQ(cdr->leadInStart, (Msf{97, 26, 66}));
    EXPECT_FALSE(cdr->rewritable);
    EXPECT_TRUE(cdrw->rewritable);
    EXPECT_FALSE(Disc::blank(MediaKind::DvdR).atip());
}

struct MsfCase {
    Msf msf;
    int32_t lba;
};
class MsfAddresses : public ::testing::TestWithParam<MsfCase> {};
TEST_P(MsfAddresses, ConvertBothWays) {
    EXPECT_EQ(msfToLba(GetParam().msf), GetParam().lba);
    EXPECT_EQ(lbaToMsf(GetParam().lba), GetParam().msf);
}
INSTANTIATE_TEST_SUITE_P(Table, MsfAddresses,
                         ::testing::Values(MsfCase{{0, 2, 0}, 0}, MsfCase{{0, 0, 0}, -150},
                                           MsfCase{{79, 59, 74}, 359'849},
                                           MsfCase{{97, 26, 66}, -11'634},
                                           MsfCase{{99, 59, 74}, -151}));

TEST(TestWrite, ChecksTheAddressButRecordsNothing) {
    Disc disc = Disc::blank(MediaKind::CdR);
    EXPECT_EQ(disc.write(0, 100, true), DiscResult::Ok);
    EXPECT_EQ(disc.write(5, 100, true), DiscResult::InvalidAddress);
    EXPECT_EQ(disc.status(), DiscStatus::Empty);
    EXPECT_EQ(disc.nextWritable(), 0u);
    EXPECT_EQ(disc.read(0, 1), DiscResult::Unrecorded);
}

TEST(ReserveTrack, DvdRReservedTrackIsWrittenAtItsOwnAddressAndPadded) {
    Disc disc = Disc::blank(MediaKind::DvdR);
    ASSERT_EQ(disc.reserveTrack(1000), DiscResult::Ok);
    EXPECT_EQ(disc.lastSessionState(), SessionState::Reserved);
    const auto reserved = disc.track(1);
    ASSERT_TRUE(reserved);
    EXPECT_EQ(reserved->size, 1008u);
    EXPECT_TRUE(reserved->reserved);
    EXPECT_EQ(disc.invisibleTrack()->start, 1008u);
    EXPECT_EQ(disc.write(0, 1009), DiscResult::InvalidAddress);  // beyond its reservation
    ASSERT_EQ(disc.write(0, 500), DiscResult::Ok);
    EXPECT_EQ(disc.track(1)->nextWritable, 500u);
    EXPECT_EQ(disc.reserveTrack(disc.capacity()), DiscResult::NoSpace);
    ASSERT_EQ(disc.write(500, 508), DiscResult::Ok);
    EXPECT_FALSE(disc.track(1)->nwaValid);
    // The filled reservation ends where the invisible track starts.
    ASSERT_EQ(disc.write(1008, 16), DiscResult::Ok);
    EXPECT_EQ(disc.track(2)->state, TrackState::Incomplete);
    ASSERT_EQ(disc.closeSession(SessionClose::Final), DiscResult::Ok);
    EXPECT_EQ(disc.track(1)->size, 1008u);
    EXPECT_EQ(disc.status(), DiscStatus::Complete);
    EXPECT_EQ(Disc::blank(MediaKind::DvdPlusRw).reserveTrack(16), DiscResult::NotWritable);
}

TEST(Closing, NothingOpenIsASequenceError) {
    Disc disc = Disc::blank(MediaKind::CdR);
    EXPECT_EQ(disc.closeTrack(), DiscResult::SequenceError);
    EXPECT_EQ(disc.closeSession(SessionClose::Appendable), DiscResult::SequenceError);
    ASSERT_EQ(disc.write(0, 10), DiscResult::Ok);
    ASSERT_EQ(disc.closeTrack(), DiscResult::Ok);
    EXPECT_EQ(disc.closeTrack(1), DiscResult::SequenceError);
    EXPECT_EQ(disc.closeTrack(7), DiscResult::InvalidField);
    ASSERT_EQ(disc.closeSession(SessionClose::Appendable), DiscResult::Ok);
    // An appendable disc may be finalized without a new session.
    EXPECT_EQ(disc.closeSession(SessionClose::Final), DiscResult::Ok);
    EXPECT_EQ(disc.status(), DiscStatus::Complete);
    EXPECT_EQ(disc.sessionCount(), 1);
}

TEST(Closing, AnAppendableCloseWithNoRoomLeftCompletesTheDisc) {
    Disc disc = Disc::blank(MediaKind::CdR);
    ASSERT_EQ(disc.write(0, disc.capacity() - 100), DiscResult::Ok);
    ASSERT_EQ(disc.closeSession(SessionClose::Appendable), DiscResult::Ok);
    EXPECT_EQ(disc.status(), DiscStatus::Complete);
    EXPECT_FALSE(disc.nextWritable());
}

struct EraseCase {
    MediaKind kind;
    std::function<DiscResult(Disc&)> operation;
    DiscResult result;
    uint16_t profileAfter;
    DiscStatus statusAfter;
};
class EraseAndFormat : public ::testing::TestWithParam<EraseCase> {};

TEST_P(EraseAndFormat, LeaveTheDiscInItsNewState) {
    const EraseCase& c = GetParam();
    Disc disc = Disc::blank(c.kind);
    if (disc.status() == DiscStatus::Empty && disc.nextWritable()) {
        ASSERT_EQ(disc.write(0, 64), DiscResult::Ok);
        ASSERT_EQ(disc.closeSession(SessionClose::Final), DiscResult::Ok);
    }
    EXPECT_EQ(c.operation(disc), c.result);
    EXPECT_EQ(disc.profile(), c.profileAfter);
    EXPECT_EQ(disc.status(), c.statusAfter);
}

const auto kFull = [](Disc& d) { return d.blank(BlankType::Full); };
const auto kMinimal = [](Disc& d) { return d.blank(BlankType::Minimal); };
auto formatWith(uint8_t type) {
    return [type](Disc& d) { return d.format(type); };
}

INSTANTIATE_TEST_SUITE_P(
    Table, EraseAndFormat,
    ::testing::Values(
        EraseCase{MediaKind::CdRw, kMinimal, DiscResult::Ok, 0x0A, DiscStatus::Empty},
        EraseCase{MediaKind::CdRw, kFull, DiscResult::Ok, 0x0A, DiscStatus::Empty},
        EraseCase{MediaKind::CdR, kFull, DiscResult::CannotErase, 0x09, DiscStatus::Complete},
        EraseCase{MediaKind::DvdRwSequential, kMinimal, DiscResult::Ok, 0x14, DiscStatus::Empty},
        EraseCase{MediaKind::DvdRwRestricted, kFull, DiscResult::Ok, 0x14, DiscStatus::Empty},
        EraseCase{MediaKind::DvdPlusRw, kFull, DiscResult::CannotErase, 0x1A, DiscStatus::Empty},
        EraseCase{MediaKind::DvdPlusRw, formatWith(0x26), DiscResult::Ok, 0x1A, DiscStatus::Other},
        EraseCase{MediaKind::DvdPlusRw, formatWith(0x00), DiscResult::CannotFormat, 0x1A,
                  DiscStatus::Empty},
        EraseCase{MediaKind::DvdRam, formatWith(0x00), DiscResult::Ok, 0x12, DiscStatus::Other},
        EraseCase{MediaKind::DvdRwSequential, formatWith(0x15), DiscResult::Ok, 0x13,
                  DiscStatus::Other},
        EraseCase{MediaKind::DvdR, formatWith(0x00), DiscResult::CannotFormat, 0x11,
                  DiscStatus::Complete}));

TEST(RandomDisc, FormattedDvdPlusRwIsWritableAnywhereInsideItsCapacity) {
    Disc disc = Disc::blank(MediaKind::DvdPlusRw);
    EXPECT_EQ(disc.write(0, 16), DiscResult::NotWritable);
    EXPECT_EQ(disc.read(0, 1), DiscResult::Unrecorded);
    ASSERT_EQ(disc.format(0x26), DiscResult::Ok);
    EXPECT_EQ(disc.write(123'456, 16), DiscResult::Ok);
    EXPECT_EQ(disc.write(disc.capacity() - 16, 16), DiscResult::Ok);
    EXPECT_EQ(disc.write(disc.capacity() - 15, 16), DiscResult::InvalidAddress);
    EXPECT_EQ(disc.read(disc.capacity(), 1), DiscResult::OutOfRange);
    EXPECT_EQ(disc.lastRecorded(), disc.capacity() - 1);
    ASSERT_EQ(disc.tracks().size(), 1u);
    EXPECT_EQ(disc.tracks()[0].size, disc.capacity());
}

TEST(PressedDisc, IsCompleteAndReadOnly) {
    Disc disc = Disc::pressed(MediaKind::CdRom, 300);
    EXPECT_EQ(disc.profile(), 0x08);
    EXPECT_EQ(disc.status(), DiscStatus::Complete);
    EXPECT_EQ(disc.write(300, 1), DiscResult::WriteProtected);
    EXPECT_EQ(disc.blank(BlankType::Full), DiscResult::CannotErase);
    EXPECT_EQ(disc.read(0, 300), DiscResult::Ok);
    EXPECT_EQ(disc.read(299, 2), DiscResult::OutOfRange);
    EXPECT_EQ(disc.lastRecorded(), 299u);
}

// States read from outside that break an invariant are refused.
struct BadStateCase {
    const char* name;
    std::function<void(DiscState&)> damage;
};
class RestoreRefuses : public ::testing::TestWithParam<BadStateCase> {};

TEST_P(RestoreRefuses, ADamagedState) {
    Disc disc = Disc::blank(MediaKind::CdR);
    ASSERT_EQ(disc.write(0, 100), DiscResult::Ok);
    ASSERT_EQ(disc.closeSession(SessionClose::Appendable), DiscResult::Ok);
    ASSERT_EQ(disc.write(disc.state().nextStart, 50), DiscResult::Ok);
    std::string error;
    ASSERT_TRUE(Disc::restore(disc.state(), error)) << error;
    DiscState state = disc.state();
    GetParam().damage(state);
    EXPECT_FALSE(Disc::restore(state, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RestoreRefuses,
    ::testing::Values(
        BadStateCase{"capacity", [](DiscState& s) { s.capacity = 400'000; }},
        BadStateCase{"numbering", [](DiscState& s) { s.tracks[1].number = 5; }},
        BadStateCase{"overlap", [](DiscState& s) { s.tracks[1].start = 50; }},
        BadStateCase{"gap", [](DiscState& s) { s.tracks[1].start += 1; }},
        BadStateCase{"beyond", [](DiscState& s) { s.tracks[1].recorded = 400'000; }},
        BadStateCase{"openInClosed", [](DiscState& s) { s.tracks[0].state = TrackState::Incomplete; }},
        BadStateCase{"sessionSkip", [](DiscState& s) { s.tracks[1].session = 3; }},
        BadStateCase{"closedEmpty", [](DiscState& s) { s.closedSessions = 2; }},
        BadStateCase{"nextStart", [](DiscState& s) { s.nextStart = 7; }},
        BadStateCase{"finalizedOpen", [](DiscState& s) { s.finalized = true; }},
        BadStateCase{"blankStored", [](DiscState& s) { s.tracks[1].state = TrackState::Blank; }},
        BadStateCase{"emptyComplete", [](DiscState& s) { s.tracks[0].recorded = 0; }},
        BadStateCase{"formattedCd", [](DiscState& s) { s.formatted = true; }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrin::vrecorder
