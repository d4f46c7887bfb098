#include "engine/device/quirks.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/device/scsi_device.h"

namespace tavrin {
namespace {

// A 36-byte INQUIRY answer with the vendor and product fields taken byte for byte.
std::vector<uint8_t> Inquiry(const std::string& vendor8, const std::string& product16) {
    std::vector<uint8_t> inquiry(36, 0);
    inquiry[0] = 0x05;
    for (std::size_t i = 0; i < 8 && i < vendor8.size(); ++i) inquiry[8 + i] = static_cast<uint8_t>(vendor8[i]);
    for (std::size_t i = 0; i < 16 && i < product16.size(); ++i)
        inquiry[16 + i] = static_cast<uint8_t>(product16[i]);
    return inquiry;
}

struct QuirkCase {
    const char* name;
    std::string vendor;
    std::string product;
    ModelQuirks expected;
};

ModelQuirks Q(bool dvr10x, bool crx100e, bool bufferUnderrun, bool linkSize, bool slowReady, bool closeImmediate) {
    return {dvr10x, crx100e, bufferUnderrun, linkSize, slowReady, closeImmediate};
}

const ModelQuirks kPlain = Q(false, false, false, false, false, true);

class ModelQuirkRules : public ::testing::TestWithParam<QuirkCase> {};

TEST_P(ModelQuirkRules, FollowTheIdentification) {
    const auto& c = GetParam();
    const ModelQuirks q = DecideQuirks(Inquiry(c.vendor, c.product));
    EXPECT_EQ(q.dvr10x, c.expected.dvr10x);
    EXPECT_EQ(q.crx100e, c.expected.crx100e);
    EXPECT_EQ(q.bufferUnderrun, c.expected.bufferUnderrun);
    EXPECT_EQ(q.linkSize, c.expected.linkSize);
    EXPECT_EQ(q.slowReady, c.expected.slowReady);
    EXPECT_EQ(q.closeSessionImmediate, c.expected.closeSessionImmediate);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModelQuirkRules,
    ::testing::Values(
        QuirkCase{"Plain", "PLEXTOR ", "DVDR   PX-716A  ", kPlain},
        QuirkCase{"LinkSizeTwoBlanks", "YAMAHA  ", "CD-RW  CRX800E  ", Q(false, false, false, true, false, true)},
        QuirkCase{"LinkSizeOneBlank", "YAMAHA  ", "CD-RW CRX800E   ", kPlain},
        QuirkCase{"LinkSize175", "YAMAHA  ", "CRX175E         ", Q(false, false, false, true, false, true)},
        QuirkCase{"Crx100e", "YAMAHA  ", "CD-RW  CRX100E  ", Q(false, true, false, false, false, true)},
        QuirkCase{"BufferUnderrun", "SANYO   ", "CD-W512EB       ", Q(false, false, true, false, false, true)},
        QuirkCase{"ControlBytesTrimmed", "SANYO   ", std::string("\x01" "CD-W512EB\0\0\0\0\0\0", 16),
                  Q(false, false, true, false, false, true)},
        QuirkCase{"CaseSensitive", "SANYO   ", "cd-w512eb       ", kPlain},
        QuirkCase{"Dvr104WithTrailingBlank", "PIONEER ", "DVD-RW  DVR-104 ", Q(true, false, false, false, false, true)},
        QuirkCase{"Dvr103WithTrailingBlank", "PIONEER ", "DVD-RW  DVR-103 ", Q(true, false, false, false, false, true)},
        QuirkCase{"Dvr104WithoutTrailingBlank", "PIONEER ", std::string("DVD-RW  DVR-104\0", 16), kPlain},
        QuirkCase{"NoImmediateClose", "ACME    ", "CDRW321040X     ", Q(false, false, false, false, false, false)},
        QuirkCase{"SlowReadyProduct", "MATSHITA", "UJDA750 DVD/CDRW", Q(false, false, false, false, true, true)},
        QuirkCase{"SlowReadyVendor", "TDK     ", "CDRW241040B     ", Q(false, false, false, false, true, true)},
        QuirkCase{"SlowReadyVendorPrefix", " TDKX   ", "CDRW241040B     ", Q(false, false, false, false, true, true)},
        QuirkCase{"ShortVendorIsBlank", "TD      ", "CDRW241040B     ", kPlain}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModelQuirks, ShortInquiryAnswerIsHarmless) {
    const std::vector<uint8_t> inquiry{0x05, 0, 0, 0, 0, 0, 0, 0, 'T', 'D', 'K'};
    const ModelQuirks q = DecideQuirks(inquiry);
    EXPECT_TRUE(q.slowReady);
    EXPECT_TRUE(q.closeSessionImmediate);
    EXPECT_FALSE(DecideQuirks({}).slowReady);
}

TEST(ModelQuirks, ProcessWideFlagsFollowTheSelectedModel) {
    TSCSIDevice device;
    device.ApplyQuirks(DecideQuirks(Inquiry("TDK     ", "CDRW321040X     ")));
    EXPECT_TRUE(QuirkSlowReady());
    EXPECT_FALSE(CloseSessionImmediate());
    device.ApplyQuirks(DecideQuirks(Inquiry("PIONEER ", "DVD-RW  DVR-104 ")));
    EXPECT_TRUE(device.QuirkDVR10x);
    EXPECT_FALSE(QuirkSlowReady());
    EXPECT_TRUE(CloseSessionImmediate());
}

}  // namespace
}  // namespace tavrin
