#include "engine/drive/device_selection.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/device/messages.h"
#include "engine/device/quirks.h"
#include "engine/device/spti.h"
#include "tests/device/spti_fake_drives.h"
#include "tests/drive/recording_drive.h"

namespace tavrin::drive {
namespace {

using Bytes = std::vector<uint8_t>;
using tavrin::testing::FakeDriveMap;
using tavrin::testing::FakeDrives;

constexpr DeviceAddress kNone{};

std::tuple<int, int, int> Address(const DeviceAddress& a) { return {a.adapter, a.target, a.lun}; }

std::string Padded(const std::string& text, std::size_t width) {
    std::string s = text.substr(0, width);
    s.resize(width, ' ');
    return s;
}

// Standard INQUIRY data with blank-padded vendor, product and revision.
Bytes InquiryData(uint8_t type, const std::string& vendor, const std::string& product,
                  const std::string& revision = "1.00") {
    Bytes data(96, 0);
    data[0] = type;
    data[4] = 91;
    const std::string id = Padded(vendor, 8) + Padded(product, 16) + Padded(revision, 4);
    std::copy(id.begin(), id.end(), data.begin() + 8);
    return data;
}

test::RequestMatch InquiryAt(uint8_t adapter, uint8_t target, uint8_t lun) {
    return [=](const test::RecordedRequest& r) {
        return r.opcode() == 0x12 && r.adapter == adapter && r.target == target && r.lun == lun;
    };
}

struct DebugLine {
    std::string text;
    uint8_t type;
    bool operator==(const DebugLine&) const = default;
};

// The recording transport, with a table of fake optical drives behind the
// built-in transport's device paths so no real /dev/srN is ever opened.
class DeviceSelectionTest : public test::RecordingDriveTest {
protected:
    void SetUp() override {
        RecordingDriveTest::SetUp();
        UsePassThroughSystem(std::make_shared<FakeDrives>(drives_));
        device_.OnDebugMessage = [this](TSCSIDevice&, const std::string& text, uint8_t type) {
            debug_.push_back({text, type});
        };
    }
    void TearDown() override {
        RecordingDriveTest::TearDown();
        UsePassThroughSystem(nullptr);
    }

    void addDrive(int n, std::optional<platform::ScsiAddress> address) {
        auto& d = (*drives_)["/dev/sr" + std::to_string(n)];
        d.inquiry = tavrin::testing::InquiryNamed("DRIVE" + std::to_string(n));
        d.address = address;
    }

    std::shared_ptr<FakeDriveMap> drives_ = std::make_shared<FakeDriveMap>();
    std::vector<DebugLine> debug_;
};

// --- the device list line ---

struct LineCase {
    std::string name;
    uint8_t adapter, target, lun;
    char letter;
    Bytes inquiry;
    std::string expected;
};
std::ostream& operator<<(std::ostream& os, const LineCase& c) { return os << c.name; }

class ListLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ListLines, AreBuiltFromAddressLetterAndIdentification) {
    const LineCase& c = GetParam();
    EXPECT_EQ(DeviceListLine(c.adapter, c.target, c.lun, c.letter, c.inquiry), c.expected);
}

Bytes ShortVendor() {
    Bytes data = InquiryData(0x05, "", "DVDRAM GSA-H10N", "JL10");
    const Bytes vendor{'L', 'G', 0, 0, 0, 0, 0, 0};
    std::copy(vendor.begin(), vendor.end(), data.begin() + 8);
    return data;
}

INSTANTIATE_TEST_SUITE_P(Table, ListLines, ::testing::Values(
    LineCase{"Letter", 1, 0, 0, 'E', InquiryData(0x05, "PLEXTOR", "CD-R   PX-W4012A", "1.07"),
             "1:0:0,E: PLEXTOR CD-R   PX-W4012A1.07"},
    LineCase{"NoLetter", 0, 3, 1, '\0', InquiryData(0x05, "TDK", "CDRW321040X", "1.0"),
             "0:3:1,?: TDK     CDRW321040X     1.0 "},
    LineCase{"WriteOnce", 0, 0, 0, 'D', InquiryData(0x04, "WORM", "OD-1", "A"),
             "0:0:0,D: WORM    OD-1            A    (not supported)"},
    LineCase{"TwoDigitAdapter", 12, 7, 7, 'Z', InquiryData(0x05, "A", "B", "C"),
             "12:7:7,Z: A       B               C   "},
    LineCase{"RawBytesKept", 0, 1, 0, 'F', ShortVendor(),
             std::string("0:1:0,F: LG\0\0\0\0\0\0DVDRAM GSA-H10N JL10", 37)}),
    [](const auto& info) { return info.param.name; });

// --- the adapter query and the scan ---

TEST_F(DeviceSelectionTest, AdapterQuerySetsTheCount) {
    drive().adapterCount = 3;
    HostAdapterInquiry(device_, 2);
    EXPECT_EQ(device_.HostAdapterCount, 3);
    EXPECT_EQ(device_.HostAdapterBlock.SRB_HaId, 2);
    EXPECT_EQ(drive().adaptersAsked, Bytes{2});
}

TEST_F(DeviceSelectionTest, ScanListsCDAndDVDDevicesWithTheirLetters) {
    drive().adapterCount = 2;
    drive().driveLetterIndex = 4;
    drive().on(InquiryAt(0, 1, 0), test::DriveAnswer::Data(InquiryData(0x05, "VENDOR", "DVD WRITER", "1.00")));
    drive().on(InquiryAt(1, 6, 2), test::DriveAnswer::Data(InquiryData(0x04, "WORM", "ONE", "2")));
    // Peripheral qualifier 1 (no device at this LUN) with type 05h: the whole byte decides.
    drive().on(InquiryAt(1, 0, 0), test::DriveAnswer::Data(InquiryData(0x25, "GHOST", "LUN", "0")));
    // A disk drive is not listed.
    drive().on(InquiryAt(0, 2, 0), test::DriveAnswer::Data(InquiryData(0x00, "DISK", "HD", "0")));

    HostAdapterInquiry(device_, 0);
    ScanDevices(device_);

    EXPECT_EQ(device_.DeviceList, (std::vector<std::string>{
                                      "0:1:0,E: VENDOR  DVD WRITER      1.00",
                                      "1:6:2,E: WORM    ONE             2    (not supported)",
                                  }));
    const auto inquiries = drive().sentWith(0x12);
    ASSERT_EQ(inquiries.size(), 2u * 8 * 8);
    EXPECT_EQ(inquiries[9].adapter, 0);
    EXPECT_EQ(inquiries[9].target, 1);
    EXPECT_EQ(inquiries[9].lun, 1);
    EXPECT_EQ(inquiries.back().adapter, 1);
    EXPECT_EQ(inquiries.back().target, 7);
    EXPECT_EQ(inquiries.back().lun, 7);
}

TEST_F(DeviceSelectionTest, DeviceWithoutLetterIsListedWithQuestionMark) {
    drive().on(InquiryAt(0, 0, 0), test::DriveAnswer::Data(InquiryData(0x05, "V", "P", "R")));
    HostAdapterInquiry(device_, 0);
    ScanDevices(device_);
    EXPECT_EQ(device_.DeviceList, std::vector<std::string>{"0:0:0,?: V       P               R   "});
}

TEST_F(DeviceSelectionTest, NoAdaptersReportedScansSevenAdapters) {
    drive().adapterCount = 0;
    HostAdapterInquiry(device_, 0);
    EXPECT_EQ(device_.HostAdapterCount, 7);
    ScanDevices(device_);
    EXPECT_EQ(drive().adaptersAsked, (Bytes{0, 0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(drive().sentWith(0x12).size(), 7u * 64);
}

TEST_F(DeviceSelectionTest, FailedAdapterQueryListsNothing) {
    drive().adapterStatus = aspi::SS_INVALID_HA;
    drive().answer = InquiryData(0x05, "V", "P", "R");
    device_.DeviceList = {"stale line"};
    HostAdapterInquiry(device_, 0);
    EXPECT_EQ(device_.HostAdapterCount, -1);
    ScanDevices(device_);
    EXPECT_TRUE(device_.DeviceList.empty());
    EXPECT_TRUE(drive().sent.empty());
}

TEST_F(DeviceSelectionTest, ScanRestoresTheSelectionAndClearsTheError) {
    device_.Selected = DeviceAddress{0, 3, 2};
    drive().status = aspi::SS_NO_DEVICE;  // every address fails its INQUIRY
    HostAdapterInquiry(device_, 0);
    ScanDevices(device_);
    EXPECT_EQ(Address(device_.Selected), Address(DeviceAddress{0, 3, 2}));
    EXPECT_TRUE(device_.LastError.empty());
    EXPECT_TRUE(device_.DeviceList.empty());
}

TEST_F(DeviceSelectionTest, ScanWritesTransportAndAdapterLinesWhenDebugging) {
    device_.DoDebug = true;
    drive().status = aspi::SS_NO_DEVICE;
    HostAdapterInquiry(device_, 0);
    ScanDevices(device_);
    // The manager name ends at its zero byte; the adapter name loses its blanks.
    const std::vector<DebugLine> progress{{">>> RECORDING", kDebugProgress}, {">>> RECORDING (FAKE HA)", kDebugProgress}};
    std::vector<DebugLine> seen;
    std::copy_if(debug_.begin(), debug_.end(), std::back_inserter(seen),
                 [](const DebugLine& l) { return l.type == kDebugProgress; });
    EXPECT_EQ(seen, progress);
}

TEST_F(DeviceSelectionTest, CreateScansOnlyWithTheTransportUp) {
    drive().on(InquiryAt(0, 0, 0), test::DriveAnswer::Data(InquiryData(0x05, "V", "P", "R")));
    Create(device_);
    EXPECT_EQ(device_.DeviceList.size(), 1u);

    ShutdownTransport();
    TSCSIDevice other;
    Create(other);
    EXPECT_TRUE(other.DeviceList.empty());
    EXPECT_EQ(Address(other.Selected), Address(kNone));
}

TEST_F(DeviceSelectionTest, InitializeDevicesListsTheBuiltInTransportsDrives) {
    ShutdownTransport();
    addDrive(1, platform::ScsiAddress{.host = 0, .channel = 0, .id = 1, .lun = 0});
    ASSERT_TRUE(InitializeDevices(device_, true));
    EXPECT_EQ(TransportName(), "KTASPI32");
    // /dev/sr1 is drive letter E:, found through its SCSI address.
    EXPECT_EQ(device_.DeviceList, std::vector<std::string>{"0:1:0,E: " + Padded("DRIVE1", 28)});
}

// --- the drive letter ---

struct LetterCase {
    std::string name;
    std::optional<platform::ScsiAddress> address;  // of /dev/sr2 (G:)
    std::optional<uint8_t> diskInfoIndex;
    char expected;
};
std::ostream& operator<<(std::ostream& os, const LetterCase& c) { return os << c.name; }

class DriveLetters : public DeviceSelectionTest, public ::testing::WithParamInterface<LetterCase> {};

TEST_P(DriveLetters, ComeFromTheDriveAddressThenFromTheTransport) {
    const LetterCase& c = GetParam();
    addDrive(0, platform::ScsiAddress{.host = 5, .channel = 0, .id = 5, .lun = 0});  // D:, elsewhere
    addDrive(1, std::nullopt);                                                        // E:, no address
    addDrive(2, c.address);
    (*drives_)["/dev/sr3"].opens = false;
    drive().driveLetterIndex = c.diskInfoIndex;
    device_.Selected = DeviceAddress{1, 2, 0};
    EXPECT_EQ(FindDriveLetter(device_), c.expected);
    for (const auto& [path, d] : *drives_) EXPECT_EQ(d.openHandles, 0) << path;
}

INSTANTIATE_TEST_SUITE_P(Table, DriveLetters, ::testing::Values(
    LetterCase{"MatchingAddress", platform::ScsiAddress{.host = 1, .channel = 0, .id = 2, .lun = 0}, 7, 'F'},
    // Only the adapter and the target are compared.
    LetterCase{"BusAndLunIgnored", platform::ScsiAddress{.host = 1, .channel = 3, .id = 2, .lun = 4}, std::nullopt, 'F'},
    LetterCase{"OtherTarget", platform::ScsiAddress{.host = 1, .channel = 0, .id = 3, .lun = 0}, 7, 'H'},
    LetterCase{"OtherAdapter", platform::ScsiAddress{.host = 0, .channel = 0, .id = 2, .lun = 0}, 0, 'A'},
    LetterCase{"Neither", std::nullopt, std::nullopt, '\0'},
    LetterCase{"DiskInfoPastZ", std::nullopt, 26, '\0'}),
    [](const auto& info) { return info.param.name; });

// --- selecting a device ---

class MalformedLines : public DeviceSelectionTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(MalformedLines, UnselectWithTheInvalidDeviceLine) {
    const std::string& line = GetParam();
    device_.DeviceName = "0:0:0,D: OLD";
    drive().answer = InquiryData(0x05, "V", "P", "R");
    EXPECT_NO_THROW(SelectDevice(device_, line));
    EXPECT_EQ(Address(device_.Selected), Address(kNone));
    EXPECT_TRUE(device_.DeviceName.empty());
    EXPECT_TRUE(drive().sent.empty());
    const std::vector<DebugLine> expected{{std::string(messages::kInvalidDevice), kDebugTrace}};
    EXPECT_EQ(debug_, line.empty() ? std::vector<DebugLine>{} : expected);
    EXPECT_FALSE(ParseDeviceLine(line));
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedLines, ::testing::Values(
    "", "1", "1:", "1:0:", "abcd", "a:0:0,D: X", "1:b:0,D: X", "1:0:c,D: X", "10:0:0,E: X",
    " 1:0:0", "-:0:0"));

TEST(DeviceLines, NameTheirAddress) {
    const auto address = ParseDeviceLine("3:5:7");
    ASSERT_TRUE(address);
    EXPECT_EQ(Address(*address), Address(DeviceAddress{3, 5, 7}));
    EXPECT_EQ(Address(*ParseDeviceLine("0:1:2,E: VENDOR  PRODUCT")), Address(DeviceAddress{0, 1, 2}));
}

TEST_F(DeviceSelectionTest, ValidLineSelectsIdentifiesAndAnnounces) {
    const std::string line = "1:2:3,E: PLEXTOR CD-RW  CRX800E  1.00";
    Bytes inquiry = InquiryData(0x05, "PLEXTOR", "CD-RW  CRX800E", "1.00");
    inquiry[15] = 0x00;  // control bytes in the identification
    inquiry[40] = 0x1F;
    inquiry[55] = 0x09;
    inquiry[56] = 0x01;  // past the vendor-specific bytes: kept
    drive().on(InquiryAt(1, 2, 3), test::DriveAnswer::Data(inquiry));
    int announced = 0;
    std::size_t sentWhenAnnounced = 0;
    device_.OnDeviceChange = [&](TSCSIDevice& sender) {
        EXPECT_EQ(&sender, &device_);
        EXPECT_TRUE(sender.QuirkLinkSize);
        ++announced;
        sentWhenAnnounced = drive().sent.size();
    };

    EXPECT_NO_THROW(SelectDevice(device_, line));

    EXPECT_EQ(Address(device_.Selected), Address(DeviceAddress{1, 2, 3}));
    EXPECT_EQ(device_.DeviceName, line);
    EXPECT_TRUE(debug_.empty());
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(device_.InquiryBuffer[15], ' ');
    EXPECT_EQ(device_.InquiryBuffer[40], ' ');
    EXPECT_EQ(device_.InquiryBuffer[55], ' ');
    EXPECT_EQ(device_.InquiryBuffer[56], 0x01);
    // The write types are probed after the announcement: MODE SENSE of page 05h.
    const auto& sent = drive().sent;
    ASSERT_GT(sent.size(), sentWhenAnnounced);
    EXPECT_TRUE(test::ModeSensePage(0x05)(sent[sentWhenAnnounced]));
    for (const auto& r : sent) EXPECT_EQ(r.adapter, 1);
}

struct QuirkCase {
    std::string vendor, product;
    bool linkSize, slowReady, closeImmediate;
};
std::ostream& operator<<(std::ostream& os, const QuirkCase& c) { return os << c.vendor << "/" << c.product; }

class SelectedQuirks : public DeviceSelectionTest, public ::testing::WithParamInterface<QuirkCase> {};

TEST_P(SelectedQuirks, FollowTheModel) {
    const QuirkCase& c = GetParam();
    drive().answer = InquiryData(0x05, c.vendor, c.product);
    SelectDevice(device_, "0:0:0,?: model");
    ASSERT_TRUE(device_.HasDevice());
    EXPECT_EQ(device_.QuirkLinkSize, c.linkSize);
    EXPECT_EQ(QuirkSlowReady(), c.slowReady);
    EXPECT_EQ(CloseSessionImmediate(), c.closeImmediate);
}

INSTANTIATE_TEST_SUITE_P(Table, SelectedQuirks, ::testing::Values(
    QuirkCase{"PLEXTOR", "CD-RW  CRX800E", true, false, true},
    QuirkCase{"PLEXTOR", "CD-RW CRX800E", false, false, true},
    QuirkCase{"TDK", "CDRW321040X", false, true, false},
    QuirkCase{"MATSHITA", "UJDA720", false, true, true}));

TEST_F(DeviceSelectionTest, WriteOnceDeviceIsSelected) {
    drive().answer = InquiryData(0x04, "WORM", "ONE");
    SelectDevice(device_, "0:4:0,?: WORM");
    EXPECT_EQ(Address(device_.Selected), Address(DeviceAddress{0, 4, 0}));
    EXPECT_TRUE(debug_.empty());
}

class OtherDeviceTypes : public DeviceSelectionTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(OtherDeviceTypes, AreRejected) {
    drive().answer = InquiryData(GetParam(), "V", "P");
    bool announced = false;
    device_.OnDeviceChange = [&](TSCSIDevice&) { announced = true; };
    SelectDevice(device_, "0:1:0,?: V");
    EXPECT_EQ(Address(device_.Selected), Address(kNone));
    EXPECT_TRUE(device_.DeviceName.empty());
    EXPECT_FALSE(announced);
    EXPECT_EQ(debug_, (std::vector<DebugLine>{{std::string(messages::kInvalidDevice), kDebugTrace}}));
}

INSTANTIATE_TEST_SUITE_P(Table, OtherDeviceTypes, ::testing::Values(0x00, 0x01, 0x25, 0x7F, 0x1F));

TEST_F(DeviceSelectionTest, DeviceThatDoesNotAnswerIsNotTakenForTheLastOne) {
    drive().on(InquiryAt(0, 0, 0), test::DriveAnswer::Data(InquiryData(0x05, "V", "P")));
    SelectDevice(device_, "0:0:0,?: V");
    ASSERT_TRUE(device_.HasDevice());
    debug_.clear();

    drive().on(InquiryAt(0, 5, 0), test::DriveAnswer::Error());
    SelectDevice(device_, "0:5:0,?: gone");
    EXPECT_EQ(Address(device_.Selected), Address(kNone));
    ASSERT_FALSE(debug_.empty());
    EXPECT_EQ(debug_.back(), (DebugLine{std::string(messages::kInvalidDevice), kDebugTrace}));
}

TEST_F(DeviceSelectionTest, FailureWhileAnnouncingUnselects) {
    drive().answer = InquiryData(0x05, "V", "P");
    device_.OnDeviceChange = [](TSCSIDevice&) { throw std::runtime_error("listener failed"); };
    EXPECT_NO_THROW(SelectDevice(device_, "0:0:0,?: V"));
    EXPECT_EQ(Address(device_.Selected), Address(kNone));
    EXPECT_EQ(debug_.back(), (DebugLine{std::string(messages::kInvalidDevice), kDebugTrace}));
}

TEST_F(DeviceSelectionTest, UnselectForgetsTheDevice) {
    device_.DeviceName = "0:0:0,D: X";
    UnselectDevice(device_);
    EXPECT_EQ(Address(device_.Selected), Address(kNone));
    EXPECT_TRUE(device_.DeviceName.empty());
    EXPECT_FALSE(device_.HasDevice());
}

}  // namespace
}  // namespace tavrin::drive
