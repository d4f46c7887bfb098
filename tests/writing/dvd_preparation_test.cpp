// The performance descriptor a DVD recorder gets before a track is written.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "engine/writing/dvd_preparation.h"

namespace tavrin::test {
namespace {

TEST(StreamingDescriptor, IsTheWholeSingleLayerDiscAtOneSecondPerSpan) {
    const std::array<uint8_t, writing::kStreamingListBytes> expected = {
        0x00, 0x00, 0x00, 0x00,  // flags, reserved
        0x00, 0x00, 0x00, 0x00,  // start LBA
        0x00, 0x23, 0x12, 0x7F,  // end LBA
        0x00, 0x00, 0xAB, 0xBD,  // read size (kB)
        0x00, 0x00, 0x03, 0xE8,  // read time (ms)
        0x00, 0x00, 0x05, 0x8A,  // write size (kB)
        0x00, 0x00, 0x03, 0xE8,  // write time (ms)
    };
    EXPECT_EQ(writing::StreamingDescriptor(), expected);
}

}  // namespace
}  // namespace tavrin::test
