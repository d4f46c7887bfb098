// iSCSI recorders through the manager library, against tgt's MMC "cd" unit on a
// blank DVD+R backing file.

#include <fstream>
#include <iterator>

#include "tests/recorders/aspi_fixture.h"
#include "tests/support/tgt_target.h"

namespace tavrin::test {
namespace {

constexpr DeviceAddress kTgt{1, 0, 0};  // adapter 0 is the (empty) virtual bus
constexpr int kBlock = 2048;
constexpr uint16_t kWriteBlocks = 31;
constexpr int kTimeoutMs = 30000;

std::vector<uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> readWrite10(uint8_t opcode, uint32_t lba, uint16_t blocks) {
    return {opcode, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
            static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba), 0,
            static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks), 0};
}

const std::vector<uint8_t> kInquiry{0x12, 0, 0, 0, 36, 0};

class TgtRecorder : public ManagerLibrary {
protected:
    void SetUp() override {
        ManagerLibrary::SetUp();
        if (HasFatalFailure()) return;
        if (const auto why = TgtTarget::Unavailable()) GTEST_SKIP() << *why;
        if (!tgt_.PickPort(3400)) GTEST_SKIP() << "no free port in 3400-3499";
        tools_ = TgtTarget::ToolsFolder();
        tgtDir_ = root_ / "tgt";
        ASSERT_TRUE(startTarget());
        load("[recorder tgt]\ntype = iscsi\nurl = " + tgt_.Url() + "\n");
    }
    void TearDown() override {
        ShutdownTransport();
        stopTarget();
        ManagerLibrary::TearDown();
    }

    bool startTarget() {
        const bool ok = tgt_.Start(tgtDir_);
        EXPECT_TRUE(ok) << "tgt did not start; see " << tgt_.Log();
        return ok;
    }
    void stopTarget() { EXPECT_TRUE(tgt_.Stop()); }

    uint8_t inquiryStatus() {
        std::vector<uint8_t> data(36, 0);
        return run(kTgt, kInquiry, aspi::SRB_DIR_IN, data).SRB_Status;
    }

    TgtTarget tgt_;
    std::string tools_;
    std::filesystem::path tgtDir_;
};

TEST_F(TgtRecorder, ScanAndInquiry) {
    EXPECT_EQ(GetASPI32SupportInfo(), 0x0102u);
    aspi::SRB_HAInquiry ha{};
    ha.SRB_Cmd = aspi::SC_HA_INQUIRY;
    ha.SRB_HaId = kTgt.adapter;
    ASSERT_EQ(SendASPI32Command(&ha), aspi::SS_COMP);
    EXPECT_STREQ(reinterpret_cast<const char*>(ha.HA_Identifier), "ISCSI 1");

    aspi::SRB_GDEVBlock dev{};
    dev.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
    dev.SRB_HaId = kTgt.adapter;
    EXPECT_EQ(SendASPI32Command(&dev), aspi::SS_COMP);
    EXPECT_EQ(dev.SRB_DeviceType, aspi::DTYPE_CDROM);

    std::vector<uint8_t> data(36, 0);
    const auto r = run(kTgt, kInquiry, aspi::SRB_DIR_IN, data);
    ASSERT_EQ(r.SRB_Status, aspi::SS_COMP) << device_.LastError;
    EXPECT_EQ(data[0] & 0x1F, aspi::DTYPE_CDROM);
}

TEST_F(TgtRecorder, ImageWrittenToBlankDvdPlusRReadsBack) {
    const auto tree = root_ / "tree";
    std::filesystem::create_directories(tree / "docs");
    std::ofstream(tree / "readme.txt") << "a disc written through the recorder library\n";
    {
        std::ofstream big(tree / "docs" / "numbers.bin", std::ios::binary);
        for (uint32_t i = 0; i < 150000; ++i) big.put(static_cast<char>(i * 31 + i / 4096));
    }
    const auto image = root_ / "image.iso";
    const std::string make = "genisoimage -quiet -J -r -o " + image.string() + " " + tree.string();
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const auto bytes = readFile(image);
    ASSERT_EQ(bytes.size() % kBlock, 0u);
    const uint32_t blocks = static_cast<uint32_t>(bytes.size() / kBlock);

    for (uint32_t lba = 0; lba < blocks; lba += kWriteBlocks) {
        const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(kWriteBlocks, blocks - lba));
        std::vector<uint8_t> chunk(bytes.begin() + lba * kBlock, bytes.begin() + (lba + n) * kBlock);
        const auto w = run(kTgt, readWrite10(0x2A, lba, n), aspi::SRB_DIR_OUT, chunk, kTimeoutMs);
        ASSERT_EQ(w.SRB_Status, aspi::SS_COMP) << "WRITE (10) at " << lba << ": " << device_.LastError;
    }
    std::vector<uint8_t> none;
    ASSERT_EQ(run(kTgt, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, none, kTimeoutMs).SRB_Status, aspi::SS_COMP)
        << device_.LastError;
    ASSERT_EQ(run(kTgt, {0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}, 0, none, kTimeoutMs).SRB_Status, aspi::SS_COMP)
        << "close session: " << device_.LastError;

    std::vector<uint8_t> back;
    for (uint32_t lba = 0; lba < blocks; lba += kWriteBlocks) {
        const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(kWriteBlocks, blocks - lba));
        std::vector<uint8_t> chunk(n * kBlock, 0);
        const auto r = run(kTgt, readWrite10(0x28, lba, n), aspi::SRB_DIR_IN, chunk, kTimeoutMs);
        ASSERT_EQ(r.SRB_Status, aspi::SS_COMP) << "READ (10) at " << lba << ": " << device_.LastError;
        back.insert(back.end(), chunk.begin(), chunk.end());
    }
    EXPECT_TRUE(back == bytes) << "read back differs from the image";

    const std::string cmp = "cmp " + image.string() + " " + (tgtDir_ / "disc.img").string();
    EXPECT_EQ(std::system(cmp.c_str()), 0) << "backing file differs from the image";
    const auto backFile = root_ / "back.iso";
    std::ofstream(backFile, std::ios::binary).write(reinterpret_cast<const char*>(back.data()),
                                                    static_cast<std::streamsize>(back.size()));
    const std::string verify = tools_ + "/verify-iso " + backFile.string() + " --tree " + tree.string() + " > " +
                               (root_ / "verify.log").string() + " 2>&1";
    EXPECT_EQ(std::system(verify.c_str()), 0) << "verify-iso rejected the disc; see " << (root_ / "verify.log");
}

TEST_F(TgtRecorder, StoppedTargetFailsClearlyAndIsReachedAgainAfterRestart) {
    ASSERT_EQ(inquiryStatus(), aspi::SS_COMP) << device_.LastError;
    stopTarget();

    std::vector<uint8_t> none;
    const auto r = run(kTgt, {0x00, 0, 0, 0, 0, 0}, 0, none);
    EXPECT_EQ(r.SRB_Status, aspi::SS_ERR);
    EXPECT_EQ(r.SRB_HaStat, aspi::HASTAT_SEL_TO) << "a selection time-out, not a hang";
    aspi::SRB_GDEVBlock dev{};
    dev.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
    dev.SRB_HaId = kTgt.adapter;
    EXPECT_EQ(SendASPI32Command(&dev), aspi::SS_NO_DEVICE);

    ASSERT_TRUE(startTarget());
    EXPECT_EQ(inquiryStatus(), aspi::SS_COMP) << device_.LastError;
}

}  // namespace
}  // namespace tavrin::test
