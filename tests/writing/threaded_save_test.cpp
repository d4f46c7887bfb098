// The threaded image save: the read-ahead cache feeding the writer thread in file
// mode. Its image is the quick save's byte for byte, padded to 300 blocks with
// zeros when WritePostGap asks for it; a target that cannot be created or
// written, and the user's abort while the cache is full, end with one report.
#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/device/messages.h"
#include "engine/iso/layout.h"
#include "engine/writing/cache_thread.h"
#include "engine/writing/disc_writer.h"
#include "tests/compilation/burner_fixture.h"
#include "tests/writing/image_bytes.h"

namespace tavrin::testing {
namespace {

constexpr TDateTime kBuildTime = 46000.5;

class ThreadedSave : public BurnerTest {
protected:
    ThreadedSave() {
        burner.OnWriteDone = [this](TvxCDBurner&, const std::string& error) {
            const std::lock_guard guard(lock_);
            texts_.push_back(error);
        };
        burner.OnFinalizingTrack = [this](TvxCDBurner&) { finalizing_ = true; };
    }

    // The writers' waits, a hundred times shorter than the drive's.
    static writing::WriterOptions Options() {
        writing::WriterOptions options;
        options.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::microseconds(ms * 10)); };
        return options;
    }

    void AddSources(const std::vector<std::size_t>& sizes) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string path = folder / fmt::format("f{}.bin", i);
            WriteAll(path, Content(sizes[i], static_cast<uint8_t>(i + 1)));
            ASSERT_EQ(burner.InsertFile("\\", path, false), 1);
        }
    }

    void Prepare() { ASSERT_TRUE(iso::Prepare(burner, true, kBuildTime)); }

    std::vector<std::string> Texts() {
        const std::lock_guard guard(lock_);
        return texts_;
    }

    std::mutex lock_;
    std::vector<std::string> texts_;
    bool finalizing_ = false;
};

struct SaveCase {
    const char* name;
    std::vector<std::size_t> sizes;
    bool writePostGap;
};

class ThreadedSaveImage : public ThreadedSave, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(ThreadedSaveImage, IsTheQuickImageAndThePostGap) {
    const SaveCase& c = GetParam();
    burner.WritePostGap = c.writePostGap;
    AddSources(c.sizes);
    const std::string quick = folder / "quick.iso";
    const std::string threaded = folder / "threaded.iso";
    writing::DiscWriter writer(burner, Options());

    Prepare();
    ASSERT_TRUE(writer.SaveISO(quick, true));
    Prepare();  // the threaded save empties the header stream: every save lays out afresh
    ASSERT_TRUE(writer.SaveISO(threaded, false));
    writer.WaitDone();

    EXPECT_EQ(Texts(), (std::vector<std::string>{"", ""}));
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_FALSE(finalizing_);  // no drive is involved
    EXPECT_EQ(burner.ISOFileName, threaded);

    Bytes expected = ReadAll(quick);
    ASSERT_FALSE(expected.empty());
    if (c.writePostGap) {
        expected.resize(std::max<std::size_t>(expected.size(), writing::kPostGapMinimumBytes), 0);
    }
    const Bytes image = ReadAll(threaded);
    EXPECT_EQ(image.size(), expected.size());
    EXPECT_TRUE(image == expected);
    EXPECT_EQ(writer.BytesWritten(), static_cast<int64_t>(expected.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThreadedSaveImage,
    ::testing::Values(SaveCase{"TinyPaddedTo614400Bytes", {1, 5000}, true},
                      SaveCase{"TinyWithoutPostGap", {1, 5000}, false},
                      // More than 300 blocks and several cache blocks: nothing to pad.
                      SaveCase{"LargerThanTheMinimum", {2047, 700000, 3}, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct TargetCase {
    const char* name;
    std::string target;  // below the scratch folder unless absolute
    std::string_view text;
};

class ThreadedSaveTarget : public ThreadedSave, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(ThreadedSaveTarget, FailureIsTheOneReport) {
    const TargetCase& c = GetParam();
    AddSources({3000, 9000});
    Prepare();
    const std::string target = c.target.starts_with("/") ? c.target : folder / c.target;
    writing::DiscWriter writer(burner, Options());

    writer.SaveISO(target, false);
    writer.WaitDone();

    EXPECT_EQ(Texts(), std::vector<std::string>{fmt::format(fmt::runtime(c.text), target)});
    EXPECT_FALSE(writer.WriteInProgress());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThreadedSaveTarget,
    ::testing::Values(TargetCase{"InAMissingFolder", "missing/out.iso", messages::kCantCreateFile},
                      // Every write fails with "no space left on device".
                      TargetCase{"OnAFullDevice", "/dev/full", messages::kCantWriteFile}),
    [](const auto& info) { return std::string(info.param.name); });

// The read end of a FIFO, so that the test decides when the writer's blocks go
// anywhere: the writer stalls on the full pipe while the cache fills up behind it.
class FifoReader {
public:
    explicit FifoReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK)) {}
    ~FifoReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;

    bool valid() const { return fd_ >= 0; }
    // Until the writer has put bytes into the pipe (it has started then), at most timeoutMs.
    bool WaitForData(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN) != 0;
    }
    // Everything up to the writer's close.
    std::size_t Drain() {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        std::vector<char> buffer(1 << 16);
        std::size_t total = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n <= 0) return total;
            total += static_cast<std::size_t>(n);
        }
    }

private:
    int fd_;
};

TEST_F(ThreadedSave, AbortWhileTheCacheIsFullEndsWithTheAbortText) {
    burner.SetCacheSize(TvxCDBurner::kMinimumCacheSize);
    AddSources({8 * 1024 * 1024});  // four times the cache
    Prepare();
    const std::string target = folder / "pipe.iso";
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    FifoReader reader(target);
    ASSERT_TRUE(reader.valid());
    writing::DiscWriter writer(burner, Options());

    ASSERT_TRUE(writer.SaveISO(target, false));
    const bool started = reader.WaitForData(10000);
    writer.AbortWrite();
    const std::size_t received = reader.Drain();
    writer.WaitDone();

    EXPECT_TRUE(started) << "the writer put nothing into the pipe";
    EXPECT_EQ(Texts(), std::vector<std::string>{std::string(messages::kOperationAborted)});
    EXPECT_FALSE(writer.WriteInProgress());
    EXPECT_LT(received, iso::ImageSizeBlocks(burner) * kBlockBytes);
    EXPECT_EQ(static_cast<int64_t>(received), writer.BytesWritten());
}

}  // namespace
}  // namespace tavrin::testing
