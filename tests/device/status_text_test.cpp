#include "engine/device/status_text.h"

#include <array>
#include <set>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "engine/device/messages.h"

namespace tavrin {
namespace {

// Fixed-format sense: response code, byte 2 (flags and key), additional length, ASC, ASCQ.
std::array<uint8_t, 33> Sense(uint8_t code, uint8_t byte2, uint8_t length, uint8_t asc, uint8_t ascq) {
    std::array<uint8_t, 33> s{};
    s[0] = code;
    s[2] = byte2;
    s[7] = length;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

struct StatusCase {
    const char* name;
    RequestOutcome outcome;
    std::array<uint8_t, 33> sense;
    std::string text;
    bool busy = false;
};

class DecodeStatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(DecodeStatusTable, GivesTheStatusText) {
    const auto& c = GetParam();
    const DecodedStatus d = DecodeStatus(c.outcome, SenseView(c.sense));
    EXPECT_EQ(d.text, c.text);
    EXPECT_EQ(d.targetBusy, c.busy);
}

constexpr std::array<uint8_t, 33> kNoSense{};

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeStatusTable,
    ::testing::Values(
        StatusCase{"TrayClosed", {0x04, 0x00, 0x02}, Sense(0x70, 0x02, 0x0A, 0x3A, 0x01),
                   "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)"},
        StatusCase{"BusyWithoutSense", {0x04, 0x00, 0x08}, kNoSense, "TARGET BUSY", true},
        StatusCase{"BusyWithSense", {0x04, 0x00, 0x08}, Sense(0x70, 0x02, 0x0A, 0x04, 0x01),
                   "TARGET BUSY (LOGICAL UNIT IS IN PROCESS OF BECOMING READY)", true},
        StatusCase{"SelectionTimeout", {0x04, 0x11, 0x00}, kNoSense, "SELECTION TIMEOUT"},
        StatusCase{"HostStatusWithSense", {0x04, 0x11, 0x00}, Sense(0x70, 0x00, 0x0A, 0x00, 0x00),
                   "SELECTION TIMEOUT (NO ADDITIONAL SENSE INFORMATION)"},
        StatusCase{"CommandTimeout", {0x04, 0x09, 0x00}, kNoSense, "COMMAND TIMEOUT"},
        StatusCase{"SrbTimeout", {0x04, 0x0B, 0x00}, kNoSense, "SRB TIMEOUT"},
        StatusCase{"UnknownHostStatus", {0x04, 0x01, 0x02}, kNoSense, "UNKNOWN"},
        StatusCase{"DescriptorSense", {0x04, 0x00, 0x02}, Sense(0x72, 0x05, 0x0A, 0x24, 0x00),
                   "UNKNOWN (INVALID FIELD IN CDB)"},
        StatusCase{"DescriptorSenseNoLength", {0x04, 0x00, 0x02}, Sense(0x72, 0x05, 0x00, 0x24, 0x00), "UNKNOWN"},
        StatusCase{"UnlistedPairInDecimal", {0x04, 0x00, 0x02}, Sense(0x70, 0x05, 0x0A, 0x40, 0x80),
                   "ILLEGAL REQUEST (64,128)"},
        StatusCase{"WriteOutsideArea", {0x04, 0x00, 0x02}, Sense(0x70, 0x05, 0x0A, 0x21, 0x02),
                   "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)"},
        StatusCase{"ResponseCode71", {0x04, 0x00, 0x02}, Sense(0x71, 0x06, 0x0A, 0x28, 0x00),
                   "UNIT ATTENTION (NOT READY TO READY CHANGE, MEDIUM MAY HAVE CHANGED)"},
        StatusCase{"ResponseCodeF0", {0x04, 0x00, 0x02}, Sense(0xF0, 0x03, 0x00, 0x11, 0x00), "MEDIUM ERROR"},
        StatusCase{"ResponseCodeF1", {0x04, 0x00, 0x00}, Sense(0xF1, 0x07, 0x00, 0x27, 0x00), "DATA PROTECT"},
        StatusCase{"NoResponseCode", {0x04, 0x00, 0x02}, kNoSense, ""},
        StatusCase{"NoResponseCodeWithLength", {0x04, 0x00, 0x02}, Sense(0x00, 0x05, 0x0A, 0x21, 0x02),
                   " (INVALID ADDRESS FOR WRITE)"},
        StatusCase{"SenseKey9Unchanged", {0x04, 0x00, 0x02}, Sense(0x70, 0x09, 0x00, 0, 0), "CHECK CONDITION"},
        StatusCase{"SenseKeyCUnchanged", {0x04, 0x00, 0x02}, Sense(0x70, 0x0C, 0x00, 0, 0), "CHECK CONDITION"},
        StatusCase{"Filemark", {0x04, 0x00, 0x02}, Sense(0x70, 0xC0, 0x00, 0, 0), "FILEMARK"},
        StatusCase{"EndOfMedia", {0x04, 0x00, 0x02}, Sense(0x70, 0x60, 0x00, 0, 0), "END OF MEDIA"},
        StatusCase{"IllegalLength", {0x04, 0x00, 0x02}, Sense(0x70, 0x20, 0x00, 0, 0), "ILLEGAL LENGTH"},
        StatusCase{"NoSenseKey", {0x04, 0x00, 0x02}, Sense(0x70, 0x10, 0x00, 0, 0),
                   "NO ADDITIONAL SENSE INFORMATION"},
        StatusCase{"FlagsIgnoredForOtherKeys", {0x04, 0x00, 0x02}, Sense(0x70, 0xE2, 0x00, 0, 0), "NOT READY"},
        StatusCase{"CopyAborted", {0x04, 0x00, 0x02}, Sense(0x70, 0x0A, 0x00, 0, 0), "COPYABORTED"},
        StatusCase{"ReservationConflict", {0x04, 0x00, 0x18}, kNoSense, "TARGET RESERVATION CONFLICT"},
        StatusCase{"QueueFull", {0x04, 0x00, 0x28}, kNoSense, "TARGET QUEUE FULL"},
        StatusCase{"UnknownTargetStatus", {0x04, 0x00, 0x04}, kNoSense, "UNKNOWN"},
        StatusCase{"Aborted", {0x02, 0x00, 0x00}, kNoSense, "OPERATION ABORTED BY USER"},
        StatusCase{"AbortFailed", {0x03, 0x00, 0x00}, kNoSense, "OPERATION ABORTED BY USER"},
        StatusCase{"NoDevice", {0x82, 0x00, 0x00}, kNoSense, "NO DEVICE"},
        StatusCase{"NoDeviceIgnoresTargetStatus", {0x82, 0x00, 0x08}, kNoSense, "NO DEVICE"},
        StatusCase{"InvalidRequest", {0x80, 0x00, 0x00}, kNoSense, "INVALID REQUEST"},
        StatusCase{"InvalidSrb", {0xE0, 0x00, 0x00}, kNoSense, "INVALID SRB"},
        StatusCase{"AspiBusy", {0xE5, 0x00, 0x00}, kNoSense, "ASPI IS BUSY"},
        StatusCase{"BufferTooBig", {0xE6, 0x00, 0x00}, kNoSense, "BUFFER TOO BIG"},
        StatusCase{"UnknownStatus", {0x42, 0x00, 0x00}, kNoSense, "UNKNOWN"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeStatus, ReadsOnlyTheSenseBytesItIsGiven) {
    // Response code 70h, sense key 5 and nothing more: the length byte is absent.
    const std::vector<uint8_t> shortSense{0x70, 0x00, 0x05};
    EXPECT_EQ(DecodeStatus({0x04, 0x00, 0x02}, SenseView(shortSense)).text, "ILLEGAL REQUEST");
    EXPECT_EQ(DecodeStatus({0x04, 0x00, 0x02}, SenseView({})).text, "");
}

TEST(AdditionalSense, TableHas256PairsOver69Codes) {
    const auto table = AdditionalSenseTable();
    std::set<std::pair<uint8_t, uint8_t>> pairs;
    std::set<uint8_t> ascs;
    for (const auto& e : table) {
        pairs.insert({e.asc, e.ascq});
        ascs.insert(e.asc);
        EXPECT_FALSE(e.text.empty());
    }
    EXPECT_EQ(table.size(), 256u);
    EXPECT_EQ(pairs.size(), 256u);
    EXPECT_EQ(ascs.size(), 69u);
}

struct PairCase {
    uint8_t asc;
    uint8_t ascq;
    const char* text;  // null: not in the table
};

class AdditionalSensePairs : public ::testing::TestWithParam<PairCase> {};

TEST_P(AdditionalSensePairs, LookUpByExactPair) {
    const auto& c = GetParam();
    const auto text = AdditionalSenseText(c.asc, c.ascq);
    if (c.text == nullptr) {
        EXPECT_FALSE(text.has_value());
        return;
    }
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdditionalSensePairs,
    ::testing::Values(PairCase{0x00, 0x00, "NO ADDITIONAL SENSE INFORMATION"},
                      PairCase{0x00, 0x17, "CLEANING REQUESTED"},
                      PairCase{0x04, 0x08, "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS"},
                      PairCase{0x08, 0x03, "LOGICAL UNIT COMMUNICATION CRC ERROR (ULTRA-DMA/32)"},
                      PairCase{0x18, 0x01, "RECOVERED DATA WITH ERROR CORR. & RETRIES APPLIED"},
                      PairCase{0x30, 0x10, "MEDIUM NOT FORMATTED"},
                      PairCase{0x3A, 0x00, "MEDIUM NOT PRESENT"},
                      PairCase{0x3B, 0x0D, "MEDIUM DESTINATION ELEMENT FULL"},
                      PairCase{0x3F, 0x11, "MEDIUM AUXILIARY MEMORY ACCESSIBLE"},
                      PairCase{0x5D, 0xFF, "FAILURE PREDICTION THRESHOLD EXCEEDED (FALSE)"},
                      PairCase{0x6F, 0x05, "DRIVE REGION MUST BE PERMANENT/REGION RESET COUNT ERROR"},
                      PairCase{0x73, 0x06, "RMA/PMA IS ALMOST FULL"},
                      PairCase{0x3B, 0x00, nullptr}, PairCase{0x40, 0x01, nullptr}, PairCase{0x55, 0x00, nullptr},
                      PairCase{0x73, 0x07, nullptr}, PairCase{0xFF, 0xFF, nullptr}));

TEST(EngineMessages, FileNamesAreQuotedOnce) {
    EXPECT_EQ(fmt::format(messages::kCantCreateFile, "A.TXT"), "CAN'T CREATE FILE \"A.TXT\"");
    EXPECT_EQ(fmt::format(messages::kCantOpenFile, "B.DAT"),
              "CAN'T OPEN FILE \"B.DAT\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_EQ(fmt::format(messages::kImportImageNotFound, 3), "ERROR IMPORTING SESSION 3 (ISO IMAGE NOT FOUND)");
    EXPECT_EQ(fmt::format(messages::kStartingWrite, "E:", "12:00:00"), "STARTING WRITE PROCESS ON E: AT 12:00:00");
}

}  // namespace
}  // namespace tavrin
