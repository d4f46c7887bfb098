#include "engine/device/command_names.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace tavrin {
namespace {

struct NameCase {
    uint8_t code;
    std::string name;
};

class CommandNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CommandNames, AreTheTraceColumn) { EXPECT_EQ(CommandName(GetParam().code), GetParam().name); }

INSTANTIATE_TEST_SUITE_P(Table, CommandNames,
                         ::testing::Values(NameCase{0x00, "TEST UNIT READY       "},
                                           NameCase{0x2A, "WRITE (10)            "},
                                           NameCase{0x23, "READ FORMAT CAPACITIES"},
                                           NameCase{0x4A, "GET EVENT/STATUS NOTIF"},
                                           NameCase{0x52, "READ TRACK INFORMATION"},
                                           NameCase{0xBF, "SEND DVD STRUCTURE    "},
                                           NameCase{0x02, "02"}, NameCase{0x0A, "0A"}, NameCase{0xAB, "AB"},
                                           NameCase{0xFF, "FF"}));

TEST(CommandNames, FiftyOneNamedCommandsTheRestInHex) {
    int named = 0;
    for (int code = 0; code < 256; ++code) {
        const std::string& name = CommandName(static_cast<uint8_t>(code));
        if (name.size() == 22) {
            ++named;
            EXPECT_NE(name.front(), ' ') << code;
            continue;
        }
        EXPECT_EQ(name.size(), 2u) << code;
    }
    EXPECT_EQ(named, 51);
}

TEST(QuietCommands, AreExactlyTheRoutineFailures) {
    const std::set<int> quiet{0x00, 0x01, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43,
                              0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB};
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(IsQuietCommand(static_cast<uint8_t>(code)), quiet.count(code) == 1) << code;
}

}  // namespace
}  // namespace tavrin
