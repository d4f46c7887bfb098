#include "engine/device/scsi_device.h"

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engine/device/transport.h"
#include "engine/platform/request_event.h"

namespace tavrin {
namespace {

// An in-process ASPI manager standing in for a drive: it answers every request
// with the configured outcome, now, later from another thread, or never.
enum class Answer { Now, Later, Never };

struct FakeDrive {
    Answer answer = Answer::Now;
    uint8_t status = aspi::SS_COMP;
    uint8_t hostStatus = 0;
    uint8_t targetStatus = 0;
    std::array<uint8_t, aspi::SENSE_AREA_LEN> sense{};
    std::vector<aspi::SRB_ExecSCSICmd> sent;  // as they arrived
    std::vector<void*> aborted;
    std::thread completer;
};

FakeDrive& Drive() {
    static FakeDrive drive;
    return drive;
}

void Complete(aspi::SRB_ExecSCSICmd& r) {
    const FakeDrive& d = Drive();
    r.SRB_HaStat = d.hostStatus;
    r.SRB_TargStat = d.targetStatus;
    std::copy(d.sense.begin(), d.sense.end(), r.SenseArea);
    std::atomic_ref<uint8_t>(r.SRB_Status).store(d.status, std::memory_order_release);
}

uint32_t SupportInfo() { return 0x0101; }

uint32_t Send(void* request) {
    FakeDrive& d = Drive();
    if (static_cast<aspi::SRB_Header*>(request)->SRB_Cmd == aspi::SC_ABORT_SRB) {
        auto* abort = static_cast<aspi::SRB_Abort*>(request);
        void* const target = abort->SRB_ToAbort;  // packed field: copy before storing
        d.aborted.push_back(target);
        abort->SRB_Status = aspi::SS_COMP;
        return aspi::SS_COMP;
    }
    auto* r = static_cast<aspi::SRB_ExecSCSICmd*>(request);
    d.sent.push_back(*r);
    switch (d.answer) {
        case Answer::Now: Complete(*r); return r->SRB_Status;
        case Answer::Later:
            d.completer = std::thread([r] {
                Complete(*r);
                platform::RequestEvent::signal(aspi::FdFromPostProc(r->SRB_PostProc));
            });
            return aspi::SS_PENDING;
        case Answer::Never: return aspi::SS_PENDING;
    }
    return aspi::SS_PENDING;
}

std::array<uint8_t, aspi::SENSE_AREA_LEN> Sense(uint8_t key, uint8_t asc, uint8_t ascq) {
    std::array<uint8_t, aspi::SENSE_AREA_LEN> s{};
    s[0] = 0x70;
    s[2] = key;
    s[7] = 0x0A;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

struct Line {
    std::string text;
    uint8_t type;
};

class ExecuteCommand : public ::testing::Test {
protected:
    void SetUp() override {
        Drive() = FakeDrive{};
        UseTransport("TEST", SupportInfo, Send);
        device.Selected = {1, 0, 0};
        device.OnDebugMessage = [this](TSCSIDevice& sender, const std::string& message, uint8_t type) {
            EXPECT_EQ(&sender, &device);
            lines.push_back({message, type});
        };
    }
    void TearDown() override {
        if (Drive().completer.joinable()) Drive().completer.join();
        ShutdownTransport();
    }

    void FailWith(uint8_t key, uint8_t asc, uint8_t ascq) {
        Drive().status = aspi::SS_ERR;
        Drive().targetStatus = aspi::STATUS_CHKCOND;
        Drive().sense = Sense(key, asc, ascq);
    }

    // A request as a command wrapper builds it.
    static aspi::SRB_ExecSCSICmd Request(std::vector<uint8_t> cdb, uint8_t flags, uint8_t* buffer, uint32_t length) {
        aspi::SRB_ExecSCSICmd r{};
        r.SRB_Flags = flags;
        r.SRB_BufPointer = buffer;
        r.SRB_BufLen = length;
        r.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
        std::copy(cdb.begin(), cdb.end(), r.CDBByte);
        return r;
    }

    TSCSIDevice device;
    std::vector<Line> lines;
};

std::string HexBytes(const uint8_t* bytes, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += fmt::format("{:02X} ", bytes[i]);
    return out;
}

TEST_F(ExecuteCommand, RejectedWriteLeavesOneTraceLine) {
    std::vector<uint8_t> data(65536);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    FailWith(0x05, 0x21, 0x02);
    auto r = Request({0x2A, 0x00, 0x00, 0x01, 0x86, 0xA0, 0x00, 0x00, 0x20, 0x00}, 0x50, data.data(), 65536);

    ASSERT_EQ(device.ExecuteCommand(r, 30000), aspi::SS_COMP);

    const std::string expected = "<<< WRITE (10)             (2A) {50|0A} - 1:0:0 <04> [10000] "
                                 "00 00 01 86 A0 00 00 20 00 00 00 00 00 00 00  | " +
                                 HexBytes(data.data(), 257) +
                                 "= 00 02 70 05 ASC:21,ASQ:02 ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)";
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, expected);
    EXPECT_EQ(lines[0].type, kDebugTrace);
    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(device.LastError, "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)");
    EXPECT_EQ(device.LastSense, Drive().sense);
}

struct DataCase {
    std::size_t bufferSize;
    uint32_t bufLen;
    bool nullBuffer;
    std::size_t shown;
};

class TraceData : public ExecuteCommand, public ::testing::WithParamInterface<DataCase> {};

TEST_P(TraceData, ShowsAtMost257BytesOfTheBuffer) {
    const auto& c = GetParam();
    std::vector<uint8_t> data(c.bufferSize, 0xAB);
    FailWith(0x03, 0x11, 0x00);
    auto r = Request({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0x48, c.nullBuffer ? nullptr : data.data(), c.bufLen);

    device.ExecuteCommand(r, 10000);

    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0].text;
    const auto from = line.find(" | ") + 3;
    const auto to = line.find("= 00 02 70 03");
    ASSERT_NE(to, std::string::npos);
    std::string shown;
    for (std::size_t i = 0; i < c.shown; ++i) shown += "AB ";
    EXPECT_EQ(line.substr(from, to - from), shown);
    EXPECT_NE(line.find(fmt::format("[{:04X}]", c.bufLen)), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Table, TraceData,
                         ::testing::Values(DataCase{2, 2, false, 2}, DataCase{256, 256, false, 256},
                                           DataCase{257, 257, false, 257}, DataCase{65536, 65536, false, 257},
                                           DataCase{16, 0, false, 0}, DataCase{0, 0x10, true, 0}));

TEST_F(ExecuteCommand, AddressesTheSelectedDevice) {
    device.Selected = {2, 10, 3};
    FailWith(0x02, 0x3A, 0x00);
    auto r = Request({0x28, 0x1F, 0, 0, 0, 0, 0, 0, 1, 0}, 0x48, nullptr, 0);
    r.SRB_SenseLen = 0;

    device.ExecuteCommand(r, 10000);

    ASSERT_EQ(Drive().sent.size(), 1u);
    const auto& sent = Drive().sent[0];
    EXPECT_EQ(sent.SRB_Cmd, aspi::SC_EXEC_SCSI_CMD);
    EXPECT_EQ(sent.SRB_HaId, 2);
    EXPECT_EQ(sent.SRB_Target, 10);
    EXPECT_EQ(sent.SRB_Lun, 3);
    EXPECT_EQ(sent.SRB_SenseLen, 14);
    EXPECT_EQ(sent.CDBByte[1], 0x7F);  // LUN 3 in bits 7-5, the rest kept
    const void* const postProc = sent.SRB_PostProc;  // packed field: copy before comparing
    EXPECT_NE(postProc, nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].text.find(" - 2:A:3 <04> [0000] 7F "), std::string::npos) << lines[0].text;
}

struct TraceCase {
    const char* name;
    uint8_t operation;
    uint8_t asc;
    uint8_t ascq;
    bool traced;
};

class TracedFailures : public ExecuteCommand, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(TracedFailures, SkipRoutineFailures) {
    const auto& c = GetParam();
    FailWith(0x02, c.asc, c.ascq);
    auto r = Request({c.operation, 0, 0, 0, 0, 0}, 0x40, nullptr, 0);

    device.ExecuteCommand(r, 10000);

    EXPECT_FALSE(device.LastError.empty());
    EXPECT_EQ(lines.size(), c.traced ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, TracedFailures,
                         ::testing::Values(TraceCase{"Inquiry", 0x12, 0x3A, 0x00, false},
                                           TraceCase{"TestUnitReady", 0x00, 0x3A, 0x00, false},
                                           TraceCase{"ReadToc", 0x43, 0x24, 0x00, false},
                                           TraceCase{"SetCdSpeed", 0xBB, 0x24, 0x00, false},
                                           TraceCase{"Read10", 0x28, 0x3A, 0x00, true},
                                           TraceCase{"Blank", 0xA1, 0x24, 0x00, true},
                                           TraceCase{"WriteLongWrite", 0x2A, 0x04, 0x08, false},
                                           TraceCase{"WriteOperationInProgress", 0x2A, 0x04, 0x07, true},
                                           TraceCase{"WriteAscqOnly", 0x2A, 0x00, 0x08, true},
                                           TraceCase{"WriteAscOnly", 0x2A, 0x04, 0x00, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExecuteCommand, NoOperationNeverReachesTheDrive) {
    auto r = Request({0xFF, 0, 0, 0, 0, 0}, 0x40, nullptr, 0);
    EXPECT_EQ(device.ExecuteCommand(r, 10000), aspi::SS_COMP);
    EXPECT_EQ(r.SRB_Status, aspi::SS_COMP);
    EXPECT_TRUE(Drive().sent.empty());
    EXPECT_TRUE(lines.empty());
}

TEST_F(ExecuteCommand, NothingIsSentWithoutTransport) {
    ShutdownTransport();
    device.LastError = "EARLIER";
    auto r = Request({0x00, 0, 0, 0, 0, 0}, 0x40, nullptr, 0);
    EXPECT_EQ(device.ExecuteCommand(r, 10000), aspi::SS_NOT_SENT);
    EXPECT_EQ(r.SRB_Status, aspi::SS_PENDING);
    EXPECT_EQ(r.SRB_Cmd, 0);
    EXPECT_TRUE(device.LastError.empty());
    EXPECT_TRUE(Drive().sent.empty());
}

TEST_F(ExecuteCommand, NothingIsSentWithoutSelectedDevice) {
    device.Selected = {};
    auto r = Request({0x12, 0, 0, 0, 0x80, 0}, 0x48, nullptr, 0);
    EXPECT_EQ(device.ExecuteCommand(r, 10000), aspi::SS_NOT_SENT);
    EXPECT_EQ(r.SRB_Status, aspi::SS_PENDING);
    EXPECT_TRUE(Drive().sent.empty());
}

TEST_F(ExecuteCommand, EachCommandStartsClean) {
    Drive().status = aspi::SS_ERR;
    Drive().targetStatus = aspi::STATUS_BUSY;
    Drive().sense = Sense(0x02, 0x04, 0x01);
    auto busy = Request({0x00, 0, 0, 0, 0, 0}, 0x40, nullptr, 0);
    device.ExecuteCommand(busy, 10000);
    ASSERT_TRUE(device.TargetBusy);

    Drive() = FakeDrive{};
    auto ok = Request({0x00, 0, 0, 0, 0, 0}, 0x40, nullptr, 0);
    device.ExecuteCommand(ok, 10000);
    EXPECT_EQ(ok.SRB_Status, aspi::SS_COMP);
    EXPECT_FALSE(device.TargetBusy);
    EXPECT_TRUE(device.LastError.empty());
    EXPECT_EQ(device.LastSense, (std::array<uint8_t, aspi::SENSE_AREA_LEN>{}));
}

TEST_F(ExecuteCommand, PendingRequestCompletedByAnotherThread) {
    Drive().answer = Answer::Later;
    FailWith(0x02, 0x3A, 0x00);
    auto r = Request({0x00, 0, 0, 0, 0, 0}, 0x40, nullptr, 0);

    EXPECT_EQ(device.ExecuteCommand(r, 10000), aspi::SS_COMP);

    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(device.LastError, "NOT READY (MEDIUM NOT PRESENT)");
    EXPECT_TRUE(Drive().aborted.empty());
}

TEST_F(ExecuteCommand, UnansweredRequestIsAbortedAfterTenSeconds) {
    Drive().answer = Answer::Never;
    auto r = Request({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0x50, nullptr, 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device.ExecuteCommand(r, 5000), aspi::SS_COMP);
    const auto waited = std::chrono::steady_clock::now() - start;

    EXPECT_GE(waited, std::chrono::milliseconds(kMinimumCommandTimeoutMs));
    ASSERT_EQ(Drive().aborted.size(), 1u);
    EXPECT_EQ(Drive().aborted[0], &r);
    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(r.SRB_HaStat, aspi::HASTAT_TIMEOUT);
    EXPECT_TRUE(device.LastError.empty());
    EXPECT_TRUE(lines.empty());
}

class MemoLines : public DebugLines {
public:
    void AddLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

TEST(DebugMsg, ReachesMemoAndHandlerUnfiltered) {
    TSCSIDevice device;
    MemoLines memo;
    std::vector<Line> handled;
    device.DebugWindow = memo;
    device.OnDebugMessage = [&](TSCSIDevice&, const std::string& m, uint8_t t) { handled.push_back({m, t}); };

    device.DebugMsg(">>> KTASPI32", kDebugProgress);
    device.Notification(memo);
    device.DebugMsg("INVALID DESTINATION PATH", kDebugImage);

    EXPECT_EQ(memo.lines, std::vector<std::string>{">>> KTASPI32"});
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_EQ(handled[0].type, kDebugProgress);
    EXPECT_EQ(handled[1].text, "INVALID DESTINATION PATH");
    EXPECT_EQ(handled[1].type, kDebugImage);
}

}  // namespace
}  // namespace tavrin
