// The manager library's virtual recorders and its request handling, through the
// engine's library transport.
#include <poll.h>

#include <cstring>
#include <optional>

#include "engine/platform/request_event.h"
#include "tests/recorders/aspi_fixture.h"

namespace tavrin::test {
namespace {

// Target 0 a blank DVD+R, target 1 a recorder that never finishes SYNCHRONIZE
// CACHE, adapter 1 an iSCSI recorder nobody listens for.
constexpr const char* kBench = R"(
[recorder first]
type = virtual
disc = disc0
media = dvd+r

[recorder stuck]
type = virtual
disc = disc1
media = cd-rw
hang_opcode = 0x35

[recorder away]
type = iscsi
url = iscsi://127.0.0.1:1/iqn.2026-12.test:nobody/1
)";

constexpr DeviceAddress kFirst{0, 0, 0};
constexpr DeviceAddress kStuck{0, 1, 0};
constexpr DeviceAddress kAway{1, 0, 0};

const std::vector<uint8_t> kInquiry{0x12, 0, 0, 0, 36, 0};
const std::vector<uint8_t> kSynchronizeCache{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0};

std::vector<uint8_t> readWrite10(uint8_t opcode, uint32_t lba, uint16_t blocks) {
    return {opcode, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
            static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba), 0,
            static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks), 0};
}

bool signalled(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

class Bench : public ManagerLibrary {
protected:
    void SetUp() override {
        ManagerLibrary::SetUp();
        if (HasFatalFailure()) return;
        load(kBench);
    }
};

TEST_F(Bench, HostAdapterInquiryDescribesTheVirtualBus) {
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0102u);
    aspi::SRB_HAInquiry r{};
    r.SRB_Cmd = aspi::SC_HA_INQUIRY;
    ASSERT_EQ(SendASPI32Command(&r), aspi::SS_COMP);
    EXPECT_EQ(r.SRB_Status, aspi::SS_COMP);
    EXPECT_EQ(r.HA_Count, 2);
    EXPECT_EQ(r.HA_SCSI_ID, 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.HA_ManagerId), 16), "TAVRIN RECORDERS");
    EXPECT_STREQ(reinterpret_cast<const char*>(r.HA_Identifier), "VIRTUAL 0");
    const uint8_t unique[8] = {0x07, 0, 0, 8, 0x00, 0x00, 0xFF, 0x00};
    EXPECT_EQ(std::memcmp(r.HA_Unique, unique, sizeof unique), 0);
}

struct ScanCase {
    const char* name;
    uint8_t command;
    DeviceAddress at;
    uint8_t status;
    uint8_t answer;  // device type, drive letter index or adapter count
};

class Scan : public Bench, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(Scan, AnswersLikeABus) {
    const auto& c = GetParam();
    uint8_t answer = 0;
    uint32_t returned = 0;
    uint8_t status = 0;
    if (c.command == aspi::SC_HA_INQUIRY) {
        aspi::SRB_HAInquiry r{};
        r.SRB_Cmd = c.command;
        r.SRB_HaId = c.at.adapter;
        returned = SendASPI32Command(&r);
        status = r.SRB_Status;
        answer = r.HA_Count;
    } else if (c.command == aspi::SC_GET_DEV_TYPE) {
        aspi::SRB_GDEVBlock r{};
        r.SRB_Cmd = c.command;
        r.SRB_HaId = c.at.adapter;
        r.SRB_Target = c.at.target;
        r.SRB_Lun = c.at.lun;
        returned = SendASPI32Command(&r);
        status = r.SRB_Status;
        answer = r.SRB_DeviceType;
    } else {
        aspi::SRB_GetDiskInfo r{};
        r.SRB_Cmd = c.command;
        r.SRB_HaId = c.at.adapter;
        r.SRB_Target = c.at.target;
        r.SRB_Lun = c.at.lun;
        returned = SendASPI32Command(&r);
        status = r.SRB_Status;
        answer = r.SRB_Int13HDriveInfo;
    }
    EXPECT_EQ(returned, c.status);
    EXPECT_EQ(status, c.status);
    if (c.status == aspi::SS_COMP || c.command != aspi::SC_GET_DISK_INFO) {
        EXPECT_EQ(answer, c.answer);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Scan, ::testing::Values(
    ScanCase{"AdapterOfIscsi", aspi::SC_HA_INQUIRY, {1, 0, 0}, aspi::SS_COMP, 2},
    ScanCase{"AdapterBeyondLast", aspi::SC_HA_INQUIRY, {2, 0, 0}, aspi::SS_INVALID_HA, 2},
    ScanCase{"FirstRecorder", aspi::SC_GET_DEV_TYPE, kFirst, aspi::SS_COMP, aspi::DTYPE_CDROM},
    ScanCase{"SecondRecorder", aspi::SC_GET_DEV_TYPE, kStuck, aspi::SS_COMP, aspi::DTYPE_CDROM},
    ScanCase{"EmptyTarget", aspi::SC_GET_DEV_TYPE, {0, 2, 0}, aspi::SS_NO_DEVICE, aspi::DTYPE_UNKNOWN},
    ScanCase{"OtherLun", aspi::SC_GET_DEV_TYPE, {0, 0, 1}, aspi::SS_NO_DEVICE, aspi::DTYPE_UNKNOWN},
    ScanCase{"UnreachableIscsi", aspi::SC_GET_DEV_TYPE, kAway, aspi::SS_NO_DEVICE, aspi::DTYPE_UNKNOWN},
    ScanCase{"NoSuchAdapter", aspi::SC_GET_DEV_TYPE, {2, 0, 0}, aspi::SS_INVALID_HA, 0},
    ScanCase{"FirstDriveLetter", aspi::SC_GET_DISK_INFO, kFirst, aspi::SS_COMP, 3},
    ScanCase{"SecondDriveLetter", aspi::SC_GET_DISK_INFO, kStuck, aspi::SS_COMP, 4},
    ScanCase{"NoDriveLetter", aspi::SC_GET_DISK_INFO, {0, 5, 0}, aspi::SS_NO_DEVICE, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Bench, InquiryOfVirtualRecorder) {
    std::vector<uint8_t> data(36, 0xEE);
    const auto r = run(kFirst, kInquiry, aspi::SRB_DIR_IN, data);
    ASSERT_EQ(r.SRB_Status, aspi::SS_COMP) << device_.LastError;
    EXPECT_EQ(data[0] & 0x1F, aspi::DTYPE_CDROM);
    for (int i = 8; i < 16; ++i) EXPECT_TRUE(data[i] >= 0x20 && data[i] < 0x7F) << "vendor byte " << i;
}

TEST_F(Bench, WrittenBlocksReadBack) {
    constexpr uint16_t kBlocks = 16;
    std::vector<uint8_t> written(kBlocks * 2048);
    for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 13 + i / 2048);
    auto w = run(kFirst, readWrite10(0x2A, 0, kBlocks), aspi::SRB_DIR_OUT, written);
    ASSERT_EQ(w.SRB_Status, aspi::SS_COMP) << device_.LastError;
    std::vector<uint8_t> none;
    ASSERT_EQ(run(kFirst, kSynchronizeCache, 0, none).SRB_Status, aspi::SS_COMP) << device_.LastError;
    std::vector<uint8_t> back(written.size(), 0);
    const auto r = run(kFirst, readWrite10(0x28, 0, kBlocks), aspi::SRB_DIR_IN, back);
    ASSERT_EQ(r.SRB_Status, aspi::SS_COMP) << device_.LastError;
    EXPECT_EQ(back, written);
}

// The sense area gets what the drive returned, never more than was asked for.
class SenseCopy : public Bench, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(SenseCopy, StopsAtRequestedLength) {
    std::vector<uint8_t> data(2048);
    auto r = request(readWrite10(0x28, 0x00F00000, 1), aspi::SRB_DIR_IN, data);
    r.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    r.SRB_SenseLen = GetParam();
    std::memset(r.SenseArea, 0xEE, sizeof r.SenseArea);
    EXPECT_EQ(SendASPI32Command(&r), aspi::SS_ERR);
    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(r.SRB_TargStat, aspi::STATUS_CHKCOND);
    EXPECT_EQ(r.SRB_HaStat, aspi::HASTAT_OK);
    const std::size_t copied = std::min<std::size_t>(GetParam(), 18);
    for (std::size_t i = copied; i < sizeof r.SenseArea; ++i) EXPECT_EQ(r.SenseArea[i], 0xEE) << "byte " << i;
    if (copied > 2) {
        EXPECT_EQ(r.SenseArea[0] & 0x7F, 0x70);
        EXPECT_EQ(r.SenseArea[2] & 0x0F, 0x05) << "ILLEGAL REQUEST";
    }
    if (copied > 12) {
        EXPECT_NE(r.SenseArea[12], 0) << "ASC";
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, SenseCopy, ::testing::Values(0, 2, 14, 33));

TEST_F(Bench, RequestWithoutNotificationCompletesBeforeReturning) {
    std::vector<uint8_t> data(36, 0);
    auto r = request(kInquiry, aspi::SRB_DIR_IN, data);
    r.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    EXPECT_EQ(SendASPI32Command(&r), aspi::SS_COMP);
    EXPECT_EQ(r.SRB_Status, aspi::SS_COMP);
    EXPECT_EQ(data[0] & 0x1F, aspi::DTYPE_CDROM);
}

TEST_F(Bench, NotifiedRequestIsPendingUntilItsEvent) {
    platform::RequestEvent event;
    ASSERT_TRUE(event.valid());
    std::vector<uint8_t> data(36, 0);
    auto r = request(kInquiry, aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY, data);
    r.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    r.SRB_PostProc = aspi::PostProcFromFd(event.fd());
    EXPECT_EQ(SendASPI32Command(&r), aspi::SS_PENDING);
    ASSERT_TRUE(event.wait(10000));
    EXPECT_EQ(std::atomic_ref<uint8_t>(r.SRB_Status).load(), aspi::SS_COMP);
    EXPECT_EQ(data[0] & 0x1F, aspi::DTYPE_CDROM);
}

TEST_F(Bench, AbortIsFinal) {
    platform::RequestEvent event;
    std::vector<uint8_t> none;
    auto r = request(kSynchronizeCache, aspi::SRB_EVENT_NOTIFY, none);
    r.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    r.SRB_Target = kStuck.target;
    r.SRB_PostProc = aspi::PostProcFromFd(event.fd());
    ASSERT_EQ(SendASPI32Command(&r), aspi::SS_PENDING);

    aspi::SRB_Abort abort{};
    abort.SRB_Cmd = aspi::SC_ABORT_SRB;
    abort.SRB_ToAbort = &r;
    EXPECT_EQ(SendASPI32Command(&abort), aspi::SS_COMP);
    EXPECT_EQ(std::atomic_ref<uint8_t>(r.SRB_Status).load(), aspi::SS_ABORTED);
    EXPECT_EQ(SendASPI32Command(&abort), aspi::SS_ABORT_FAIL) << "no longer pending";
    EXPECT_FALSE(signalled(event.fd()));

    std::vector<uint8_t> data(36, 0);
    EXPECT_EQ(run(kStuck, kInquiry, aspi::SRB_DIR_IN, data).SRB_Status, aspi::SS_COMP);
}

TEST_F(Bench, UnansweredCommandTimesOutAndRecorderStaysUsable) {
    std::vector<uint8_t> none;
    const auto r = run(kStuck, kSynchronizeCache, 0, none, 5000);
    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(r.SRB_HaStat, aspi::HASTAT_TIMEOUT);
    EXPECT_TRUE(device_.LastError.empty());
    std::vector<uint8_t> data(36, 0);
    EXPECT_EQ(run(kStuck, kInquiry, aspi::SRB_DIR_IN, data).SRB_Status, aspi::SS_COMP);
}

TEST_F(Bench, UnreachableIscsiRecorderIsSelectionTimeout) {
    std::vector<uint8_t> none;
    const auto r = run(kAway, {0x00, 0, 0, 0, 0, 0}, 0, none);
    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(r.SRB_HaStat, aspi::HASTAT_SEL_TO);
}

struct MalformedCase {
    const char* name;
    uint8_t cdbLength;
    uint8_t flags;
    uint32_t length;
    bool buffer;
    uint8_t status;
};

class MalformedRequest : public Bench, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedRequest, IsRefusedUnsent) {
    const auto& c = GetParam();
    std::vector<uint8_t> data(16, 0);
    aspi::SRB_ExecSCSICmd r{};
    r.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    r.SRB_Flags = c.flags;
    r.SRB_CDBLen = c.cdbLength;
    r.SRB_BufLen = c.length;
    r.SRB_BufPointer = c.buffer ? data.data() : nullptr;
    r.CDBByte[0] = 0x12;
    r.CDBByte[4] = 16;
    EXPECT_EQ(SendASPI32Command(&r), c.status);
    EXPECT_EQ(r.SRB_Status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedRequest, ::testing::Values(
    MalformedCase{"NoCdb", 0, aspi::SRB_DIR_IN, 16, true, aspi::SS_INVALID_SRB},
    MalformedCase{"CdbTooLong", 17, aspi::SRB_DIR_IN, 16, true, aspi::SS_INVALID_SRB},
    MalformedCase{"LengthWithoutBuffer", 6, aspi::SRB_DIR_IN, 16, false, aspi::SS_INVALID_SRB},
    MalformedCase{"BothDirections", 6, aspi::SRB_DIR_IN | aspi::SRB_DIR_OUT, 16, true, aspi::SS_INVALID_SRB},
    MalformedCase{"EventWithoutDescriptor", 6, aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY, 16, true,
                  aspi::SS_INVALID_SRB},
    MalformedCase{"BeyondMaximumTransfer", 6, aspi::SRB_DIR_IN, 0x01000000, true, aspi::SS_BUFFER_TO_BIG}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadConfig {
    const char* name;
    const char* ini;
};

class MalformedConfiguration : public ManagerLibrary, public ::testing::WithParamInterface<BadConfig> {};

TEST_P(MalformedConfiguration, OffersNoAdapterAndSaysWhyOnce) {
    ::testing::internal::CaptureStderr();
    load(GetParam().ini);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(GetASPI32SupportInfo(), 0xE800u);
    aspi::SRB_HAInquiry r{};
    r.SRB_Cmd = aspi::SC_HA_INQUIRY;
    r.HA_Count = 9;
    EXPECT_EQ(SendASPI32Command(&r), aspi::SS_NO_ADAPTERS);
    EXPECT_EQ(r.HA_Count, 0);
    aspi::SRB_GDEVBlock d{};
    d.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
    EXPECT_EQ(SendASPI32Command(&d), aspi::SS_NO_ADAPTERS);
    EXPECT_NE(said.find("recorders.ini"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedConfiguration, ::testing::Values(
    BadConfig{"KeyOutsideSection", "type = virtual\n"},
    BadConfig{"OtherSection", "[drive a]\ntype = virtual\ndisc = d\n"},
    BadConfig{"NotKeyValue", "[recorder a]\ntype = virtual\ndisc = d\nwhat is this\n"},
    BadConfig{"UnknownType", "[recorder a]\ntype = floppy\n"},
    BadConfig{"NoType", "[recorder a]\ndisc = d\n"},
    BadConfig{"UnknownKey", "[recorder a]\ntype = virtual\ndisc = d\ncolour = blue\n"},
    BadConfig{"NoDisc", "[recorder a]\ntype = virtual\nmedia = cd-r\n"},
    BadConfig{"PressedMedia", "[recorder a]\ntype = virtual\ndisc = d\nmedia = cd-rom\n"},
    BadConfig{"NegativeTimeScale", "[recorder a]\ntype = virtual\ndisc = d\ntime_scale = -1\n"},
    BadConfig{"OpcodeTooBig", "[recorder a]\ntype = virtual\ndisc = d\nhang_opcode = 0x100\n"},
    BadConfig{"FlagNotBoolean", "[recorder a]\ntype = virtual\ndisc = d\nlong_write_when_buffer_full = maybe\n"},
    BadConfig{"DuplicateKey", "[recorder a]\ntype = virtual\ndisc = d\ndisc = e\n"},
    BadConfig{"DuplicateRecorder", "[recorder a]\ntype = virtual\ndisc = d\n[recorder b]\ntype = virtual\n"
                                   "disc = e\n[recorder a]\nmedia = cd-r\n"},
    BadConfig{"IscsiWithoutUrl", "[recorder a]\ntype = iscsi\n"},
    BadConfig{"IscsiOtherScheme", "[recorder a]\ntype = iscsi\nurl = http://127.0.0.1/x/1\n"},
    BadConfig{"NineVirtualRecorders",
              "[recorder 1]\ntype=virtual\ndisc=1\n[recorder 2]\ntype=virtual\ndisc=2\n"
              "[recorder 3]\ntype=virtual\ndisc=3\n[recorder 4]\ntype=virtual\ndisc=4\n"
              "[recorder 5]\ntype=virtual\ndisc=5\n[recorder 6]\ntype=virtual\ndisc=6\n"
              "[recorder 7]\ntype=virtual\ndisc=7\n[recorder 8]\ntype=virtual\ndisc=8\n"
              "[recorder 9]\ntype=virtual\ndisc=9\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Puts an environment variable back as it was.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (previous_) ::setenv(name_, previous_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

// A program started from any folder finds the library beside it, not only in the
// current folder: the loader's search path of the program holds its own folder.
TEST_F(ManagerLibrary, FoundBesideTheProgramFromAnotherFolder) {
    std::filesystem::current_path(root_);
    ASSERT_FALSE(std::filesystem::exists(root_ / "libwnaspi32.so"));
    load(kBench);
    std::vector<uint8_t> data(36, 0);
    const auto r = run(kFirst, kInquiry, aspi::SRB_DIR_IN, data);
    EXPECT_EQ(r.SRB_Status, aspi::SS_COMP) << device_.LastError;
    EXPECT_EQ(data[0] & 0x1F, aspi::DTYPE_CDROM);
}

TEST_F(ManagerLibrary, WithoutConfigurationOneRecorderHoldsABlankCdRw) {
    const ScopedEnv config("TAVRIN_ASPI_CONFIG", std::nullopt);
    const ScopedEnv configHome("XDG_CONFIG_HOME", (root_ / "config").string());
    const ScopedEnv dataHome("XDG_DATA_HOME", (root_ / "data").string());
    ASSERT_TRUE(InitializeASPI(false));
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0101u);
    std::vector<uint8_t> profile(8, 0);
    const auto r = run(kFirst, {0x46, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, aspi::SRB_DIR_IN, profile);
    ASSERT_EQ(r.SRB_Status, aspi::SS_COMP) << device_.LastError;
    EXPECT_EQ(profile[6] << 8 | profile[7], 0x000A) << "CD-RW";
    EXPECT_TRUE(std::filesystem::exists(root_ / "data" / "tavrin" / "disc"));
}

}  // namespace
}  // namespace tavrin::test
