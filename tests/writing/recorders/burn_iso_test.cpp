// Burning an existing image file as it is: onto a blank virtual DVD+R and onto
// tgt's blank DVD+R over iSCSI the disc then holds the image from block 0; a disc
// with a session on it and a missing image file are refused with their texts.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/device/messages.h"
#include "engine/drive/device_selection.h"
#include "engine/iso/layout.h"
#include "engine/writing/disc_writer.h"
#include "tests/support/tgt_target.h"
#include "tests/writing/image_bytes.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using namespace opcode;
using vrecorder::MediaKind;

constexpr TDateTime kBuildTime = 46000.5;

class BurnImage : public RecordedRecorder {
protected:
    void SetUp() override {
        RecordedRecorder::SetUp();
        if (HasFatalFailure()) return;
        burner_.OnWriteDone = [this](TvxCDBurner&, const std::string& error) {
            const std::lock_guard guard(lock_);
            texts_.push_back(error);
            if (writer_ != nullptr) inProgressAtReport_ = writer_->WriteInProgress();
        };
        burner_.OnFinalizingTrack = [this](TvxCDBurner&) { ++finalizing_; };
    }

    static writing::WriterOptions Options() {
        writing::WriterOptions options;
        options.sleep = ScaledSleep();
        options.leadOutRounds = 5;
        return options;
    }

    // An image of a small compilation, made by the quick save; the burner's
    // reports start empty afterwards.
    testing::Bytes makeImage() {
        const fs::path sources = root_ / "sources";
        fs::create_directories(sources);
        for (const auto& [name, size] : {std::pair{"a.bin", 1}, std::pair{"b.bin", 70000}}) {
            testing::WriteAll(sources / name, testing::Content(size, static_cast<uint8_t>(size)));
            EXPECT_EQ(burner_.InsertFile("\\", (sources / name).string(), false), 1);
        }
        EXPECT_TRUE(iso::Prepare(burner_, true, kBuildTime));
        image_ = root_ / "image.iso";
        writing::DiscWriter(burner_, Options()).SaveISO(image_, true);
        EXPECT_EQ(texts(), std::vector<std::string>{""});
        const std::lock_guard guard(lock_);
        texts_.clear();
        return testing::ReadAll(image_);
    }

    std::vector<std::string> texts() {
        const std::lock_guard guard(lock_);
        return texts_;
    }

    fs::path image_;
    std::mutex lock_;
    std::vector<std::string> texts_;
    writing::DiscWriter* writer_ = nullptr;
    bool inProgressAtReport_ = false;
    std::atomic<int> finalizing_{0};
};

TEST_F(BurnImage, BlankDvdPlusRHoldsTheImageFromBlockZero) {
    createDisc(MediaKind::DvdPlusR);
    select();
    ASSERT_FALSE(HasFatalFailure());
    const testing::Bytes image = makeImage();
    ASSERT_FALSE(image.empty());
    ASSERT_EQ(image.size() % kBlockBytes, 0u);
    CommandLog::Get().clear();

    writing::DiscWriter writer(burner_, Options());
    writer_ = &writer;
    ASSERT_TRUE(writer.BurnISO(image_));
    writer.WaitDone();
    writer_ = nullptr;

    EXPECT_EQ(texts(), std::vector<std::string>{""});
    EXPECT_TRUE(inProgressAtReport_);  // reported before the reader is let go
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_EQ(finalizing_.load(), 1);
    EXPECT_EQ(writer.BytesWritten(), static_cast<int64_t>(image.size()));

    // DVD+R gets the DVD preparation here: streaming, time stamp, reservation.
    const auto sent = CommandLog::Get().snapshot();
    const auto codes = Opcodes(sent);
    EXPECT_EQ(Count(codes, kSetStreaming), 1);
    EXPECT_EQ(Count(codes, kSendDvdStructure), 1);
    ASSERT_EQ(Count(codes, kReserveTrack), 1);
    // Every WRITE follows on the last, from block 0.
    uint32_t next = 0;
    for (const auto& c : sent) {
        if (c.opcode() != kWrite10) continue;
        const uint32_t lba = uint32_t{c.cdb[2]} << 24 | uint32_t{c.cdb[3]} << 16 | uint32_t{c.cdb[4]} << 8 | c.cdb[5];
        EXPECT_EQ(lba, next);
        next += uint32_t{c.cdb[7]} << 8 | c.cdb[8];
    }
    EXPECT_EQ(next * kBlockBytes, image.size());

    testing::Bytes recorded(image.size());
    ASSERT_EQ(vrecorder::DiscStore::open(disc_).read(0, recorded), vrecorder::DiscResult::Ok);
    EXPECT_TRUE(recorded == image);
}

TEST_F(BurnImage, AppendableDiscIsRefusedAndNothingIsWritten) {
    auto store = createDisc(MediaKind::DvdPlusR);
    ASSERT_EQ(store.write(0, testing::Bytes(16 * kBlockBytes, 0x5A)), vrecorder::DiscResult::Ok);
    ASSERT_EQ(store.closeTrack(), vrecorder::DiscResult::Ok);
    ASSERT_EQ(store.closeSession(vrecorder::SessionClose::Appendable), vrecorder::DiscResult::Ok);
    select();
    ASSERT_FALSE(HasFatalFailure());
    makeImage();
    CommandLog::Get().clear();

    writing::DiscWriter writer(burner_, Options());
    writer.BurnISO(image_);
    writer.WaitDone();

    EXPECT_EQ(texts(), std::vector<std::string>{std::string(messages::kNeedEmptyDisc)});
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_EQ(finalizing_.load(), 0);
    const auto codes = Opcodes(CommandLog::Get().snapshot());
    EXPECT_EQ(Count(codes, kWrite10), 0);
    EXPECT_EQ(Count(codes, kReserveTrack), 0);
    EXPECT_EQ(Count(codes, kSynchronizeCache), 0);
    EXPECT_EQ(Count(codes, kCloseTrackSession), 0);
    const auto state = discState();
    EXPECT_EQ(state.closedSessions, 1);
    EXPECT_EQ(state.tracks.size(), 1u);
}

TEST_F(BurnImage, MissingImageFileIsReportedAndNoWriterRuns) {
    createDisc(MediaKind::DvdPlusR);
    select();
    ASSERT_FALSE(HasFatalFailure());
    const std::string missing = root_ / "missing.iso";

    writing::DiscWriter writer(burner_, Options());
    EXPECT_FALSE(writer.BurnISO(missing));
    writer.WaitDone();

    EXPECT_EQ(texts(), std::vector<std::string>{fmt::format(messages::kCantOpenFile, missing)});
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_EQ(Count(Opcodes(CommandLog::Get().snapshot()), kWrite10), 0);
}

// tgt's MMC unit over iSCSI through the manager library: a blank DVD+R whose
// backing file is the disc's blocks from block 0.
class BurnImageOverIscsi : public BurnImage {
protected:
    void SetUp() override {
        BurnImage::SetUp();
        if (HasFatalFailure()) return;
        if (const auto why = TgtTarget::Unavailable()) GTEST_SKIP() << *why;
        if (!tgt_.PickPort(3600)) GTEST_SKIP() << "no free port in 3600-3699";
        ASSERT_TRUE(tgt_.Start(root_ / "tgt")) << "tgt did not start; see " << tgt_.Log();
        load("[recorder tgt]\ntype = iscsi\nurl = " + tgt_.Url() + "\n");
        drive::Create(burner_);
        ASSERT_EQ(burner_.DeviceList.size(), 1u);
        drive::SelectDevice(burner_, burner_.DeviceList[0]);
        ASSERT_TRUE(burner_.HasDevice()) << burner_.LastError;
    }
    void TearDown() override {
        ShutdownTransport();
        EXPECT_TRUE(tgt_.Stop());
        BurnImage::TearDown();
    }

    TgtTarget tgt_;
};

TEST_F(BurnImageOverIscsi, BackingFileStartsWithTheImage) {
    const testing::Bytes image = makeImage();
    ASSERT_FALSE(image.empty());

    writing::DiscWriter writer(burner_, Options());
    ASSERT_TRUE(writer.BurnISO(image_));
    writer.WaitDone();

    EXPECT_EQ(texts(), std::vector<std::string>{""});
    EXPECT_FALSE(writer.WriteInProgress());
    const testing::Bytes backing = testing::ReadAll(tgt_.BackingFile());
    ASSERT_GE(backing.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), backing.begin()));
}

}  // namespace
}  // namespace tavrin::test
