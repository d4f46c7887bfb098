// The model against tgt's MMC "cd" unit over iSCSI, where tgt models a DVD+R
// recorder correctly: the peripheral type, a blank DVD+R's profile and disc status,
// READ CAPACITY and READ (10) of written data.
#include "tests/recorders/recorder_fixture.h"
#include "tests/support/tgt_target.h"

#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>

namespace tavrin::vrecorder::test {
namespace {

using tavrin::test::TgtTarget;

struct IscsiDeleter {
    void operator()(iscsi_context* c) const {
        iscsi_logout_sync(c);
        iscsi_destroy_context(c);
    }
};
struct TaskDeleter {
    void operator()(scsi_task* t) const { scsi_free_scsi_task(t); }
};

class AgainstTgt : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        if (const auto why = TgtTarget::Unavailable()) GTEST_SKIP() << *why;
        if (!tgt_.PickPort(3300)) GTEST_SKIP() << "no free port in 3300-3399";
        ASSERT_TRUE(tgt_.Start(root_ / "tgt")) << "tgt did not start; see " << tgt_.Log();
        iscsi_.reset(iscsi_create_context("iqn.2026-12.test:recorder-tests"));
        ASSERT_TRUE(iscsi_);
        const std::string url = tgt_.Url();
        iscsi_url* u = iscsi_parse_full_url(iscsi_.get(), url.c_str());
        ASSERT_NE(u, nullptr) << iscsi_get_error(iscsi_.get());
        iscsi_set_targetname(iscsi_.get(), u->target);
        iscsi_set_session_type(iscsi_.get(), ISCSI_SESSION_NORMAL);
        iscsi_set_header_digest(iscsi_.get(), ISCSI_HEADER_DIGEST_NONE);
        const int rc = iscsi_full_connect_sync(iscsi_.get(), u->portal, u->lun);
        lun_ = u->lun;
        iscsi_destroy_url(u);
        ASSERT_EQ(rc, 0) << iscsi_get_error(iscsi_.get());
        start(MediaKind::DvdPlusR);
    }
    void TearDown() override {
        iscsi_.reset();
        EXPECT_TRUE(tgt_.Stop());
        RecorderTest::TearDown();
    }

    // One command to tgt; the answer is cut to what the drive's own length field says
    // only by the callers, like the engine does.
    Reply tgt(std::vector<uint8_t> cdb, int dir, std::size_t length, std::vector<uint8_t> payload = {}) {
        Reply r;
        std::unique_ptr<scsi_task, TaskDeleter> task(
            scsi_create_task(static_cast<int>(cdb.size()), cdb.data(), dir, static_cast<int>(length)));
        iscsi_data d{payload.size(), payload.data()};
        scsi_task* done = iscsi_scsi_command_sync(iscsi_.get(), lun_, task.get(), payload.empty() ? nullptr : &d);
        if (!done) {
            r.result.status = 0xFF;
            return r;
        }
        r.result.status = static_cast<uint8_t>(task->status);
        if (task->datain.size > 0) r.data.assign(task->datain.data, task->datain.data + task->datain.size);
        return r;
    }

    TgtTarget tgt_;
    int lun_ = 1;
    std::unique_ptr<iscsi_context, IscsiDeleter> iscsi_;
};

TEST_F(AgainstTgt, BlankDvdPlusRAnswersAlike) {
    const std::vector<uint8_t> inquiry{0x12, 0, 0, 0, 96, 0};
    const Reply theirs = tgt(inquiry, SCSI_XFER_READ, 96);
    const Reply ours = in(inquiry);
    ASSERT_EQ(theirs.result.status, 0);
    ASSERT_TRUE(ours.good());
    EXPECT_EQ(theirs.data.at(0) & 0x1F, ours.data.at(0) & 0x1F) << "peripheral type";

    const std::vector<uint8_t> config{0x46, 1, 0, 0, 0, 0, 0, 0, 64, 0};
    const Reply tc = tgt(config, SCSI_XFER_READ, 64);
    ASSERT_GE(tc.data.size(), 8u);
    EXPECT_EQ(be16At(tc.data, 6), be16At(in(config).data, 6)) << "current profile";
    EXPECT_EQ(be16At(tc.data, 6), 0x001B);

    const std::vector<uint8_t> di{0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0};
    const Reply td = tgt(di, SCSI_XFER_READ, 34);
    ASSERT_GE(td.data.size(), 3u);
    ASSERT_GE(be16At(td.data, 0) + 2u, 3u);
    EXPECT_EQ(td.data[2] & 0x03, in(di).data.at(2) & 0x03) << "disc status";
}

TEST_F(AgainstTgt, WrittenDataReadsBackAlike) {
    const uint16_t blocks = 16;
    std::vector<uint8_t> data(blocks * 2048);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 2048);
    const std::vector<uint8_t> w{0x2A, 0, 0, 0, 0, 0, 0, 0, blocks, 0};
    ASSERT_EQ(tgt(w, SCSI_XFER_WRITE, data.size(), data).result.status, 0);
    ASSERT_TRUE(out(w, data).good());
    const std::vector<uint8_t> sync{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    tgt(sync, SCSI_XFER_NONE, 0);
    ASSERT_TRUE(none(sync).good());

    const std::vector<uint8_t> cap{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Reply tc = tgt(cap, SCSI_XFER_READ, 8);
    ASSERT_EQ(tc.data.size(), 8u);
    EXPECT_EQ(be32At(tc.data, 0), be32At(readCapacity().data, 0)) << "last recorded block";
    EXPECT_EQ(be32At(tc.data, 4), 2048u);

    // tgt reads back only once the disc is closed.
    const std::vector<uint8_t> close{0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(tgt(close, SCSI_XFER_NONE, 0).result.status, 0);
    ASSERT_TRUE(none(close).good());
    const std::vector<uint8_t> r{0x28, 0, 0, 0, 0, 2, 0, 0, 4, 0};
    const Reply tr = tgt(r, SCSI_XFER_READ, 4 * 2048);
    ASSERT_EQ(tr.result.status, 0);
    const Reply ours = read(2, 4);
    ASSERT_TRUE(ours.good());
    EXPECT_EQ(tr.data, ours.data);
    EXPECT_TRUE(std::equal(ours.data.begin(), ours.data.end(), data.begin() + 2 * 2048));
}

}  // namespace
}  // namespace tavrin::vrecorder::test
