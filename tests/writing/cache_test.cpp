// The read-ahead cache against a hand-made header and file table: the blocks it hands
// out make the quick save's image, the queue stays within its limit, the priority
// follows the queue, and cancellation and damaged sources end it with a text.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/device/messages.h"
#include "engine/writing/cache_thread.h"
#include "engine/writing/save_iso.h"
#include "tests/compilation/burner_fixture.h"
#include "tests/writing/image_bytes.h"

namespace tavrin::testing {
namespace {

using writing::kCacheBlockBytes;
using writing::TCacheThread;
using platform::ThreadPriority;

constexpr int32_t kSmallCache = TvxCDBurner::kMinimumCacheSize;  // 32 slots: 31 blocks queued at most


// What a writer takes from the cache, block by block.
struct Delivery {
    Bytes image;
    std::vector<int32_t> lengths;
    bool remainingConsistent = true;  // RemainingBytes = total - taken after every block
};

// Takes every block as a writer does, waiting on the cache's signal instead of a timer.
Delivery TakeAll(writing::TBlockQueue& cache, int64_t total) {
    Delivery out;
    Bytes buffer(kCacheBlockBytes);
    for (;;) {
        const int32_t n = cache.GetBlock(buffer);
        if (n == 0) break;
        if (n < 0) {
            cache.WaitForBlock();
            continue;
        }
        out.lengths.push_back(n);
        out.image.insert(out.image.end(), buffer.begin(), buffer.begin() + n);
        if (cache.RemainingBytes() != total - static_cast<int64_t>(out.image.size())) out.remainingConsistent = false;
    }
    return out;
}

// Records the levels the producer asks for.
class PriorityLog {
public:
    writing::SetPriorityFn Setter() {
        return [this](ThreadPriority level) {
            const std::lock_guard guard(mutex_);
            levels_.push_back(level);
        };
    }
    std::vector<ThreadPriority> Levels() const {
        const std::lock_guard guard(mutex_);
        return levels_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<ThreadPriority> levels_;
};

class Cache : public BurnerTest {
protected:
    // A header of `blocks` blocks, each filled with its own number, and the first
    // file block after it.
    void SetHeader(uint32_t blocks) {
        burner.HeaderStream.clear();
        for (uint32_t b = 0; b < blocks; ++b)
            burner.HeaderStream.insert(burner.HeaderStream.end(), kBlockBytes, static_cast<uint8_t>(b + 1));
        burner.Layout.FirstFileBlock = blocks;
    }

    // A source file with distinct bytes at the extent the layout would give it.
    void AddFile(const std::string& name, std::size_t size, uint8_t seed) {
        const std::string path = folder / name;
        WriteAll(path, Content(size, seed));
        ASSERT_TRUE(burner.InsertFile(burner.Root(), Record(name, size), false, 0, path));
        const PFileEntry entry = burner.FindChild(burner.Root(), name);
        ASSERT_NE(entry, nullptr);
        if (size == 0) return;
        entry->IsoExtent = entry->JolietExtent = allotted;
        allotted += static_cast<uint32_t>(BlockRounded(size) / kBlockBytes);
    }

    // Header plus every file in whole blocks: the image's size without padding.
    int64_t ImageBytes() const {
        return static_cast<int64_t>(burner.Layout.FirstFileBlock + allotted) * static_cast<int64_t>(kBlockBytes);
    }

    Bytes QuickImage() {
        const std::string image = folder / "quick.iso";
        writing::SaveISO(burner, image, true);
        return ReadAll(image);
    }

    std::string Path(const std::string& name) const { return folder / name; }

    uint32_t allotted = 0;
    PriorityLog priorities;
};

// ---- the image ----

struct ImageCase {
    const char* name;
    uint32_t headerBlocks;
    std::vector<std::size_t> sizes;
    bool postGap;
};

class CacheImage : public Cache, public ::testing::WithParamInterface<ImageCase> {};

// The blocks, concatenated, are the quick save's image, followed by zeros up to 300
// blocks when the post-gap is on and the image is shorter. A separate writer thread
// takes them while this thread watches the display counters.
TEST_P(CacheImage, IsTheQuickImagePaddedToTheMinimum) {
    const ImageCase& c = GetParam();
    SetHeader(c.headerBlocks);
    for (std::size_t i = 0; i < c.sizes.size(); ++i)
        AddFile("f" + std::to_string(i) + ".bin", c.sizes[i], static_cast<uint8_t>(i * 40 + 1));
    // Entries without data of their own in the image.
    ASSERT_NE(burner.CreateDir(burner.Root(), "SUB", platform::kAttrDirectory), nullptr);
    ASSERT_TRUE(burner.InsertFile(burner.Root(), Record("old.bin", 4096), false, 20000, ""));
    AddFile("empty.txt", 0, 0);

    Bytes expected = QuickImage();
    ASSERT_EQ(static_cast<int64_t>(expected.size()), ImageBytes());
    if (c.postGap && expected.size() < writing::kPostGapMinimumBytes) expected.resize(writing::kPostGapMinimumBytes, 0);

    TCacheThread cache(kSmallCache, c.postGap, ImageBytes(), burner.HeaderStream, burner.Tree());
    Delivery delivery;
    std::thread writer([&] { delivery = TakeAll(cache, static_cast<int64_t>(expected.size())); });
    int64_t lowestCached = 0;
    while (!cache.Finished()) {
        lowestCached = std::min(lowestCached, cache.CachedBytes());
        std::this_thread::yield();
    }
    writer.join();
    cache.WaitFinished();

    EXPECT_EQ(delivery.image.size(), expected.size());
    EXPECT_TRUE(delivery.image == expected);
    EXPECT_TRUE(delivery.remainingConsistent);
    EXPECT_EQ(lowestCached, 0);
    EXPECT_EQ(cache.CachedBytes(), 0);
    EXPECT_EQ(cache.RemainingBytes(), 0);
    EXPECT_TRUE(cache.Ready());
    EXPECT_EQ(cache.ErrorText(), "");
    EXPECT_TRUE(burner.HeaderStream.empty());  // released once queued
    for (std::size_t i = 0; i < delivery.lengths.size(); ++i) {
        EXPECT_GT(delivery.lengths[i], 0);
        EXPECT_LE(delivery.lengths[i], static_cast<int32_t>(kCacheBlockBytes));
        EXPECT_EQ(delivery.lengths[i] % static_cast<int32_t>(kBlockBytes), 0) << "block " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Images, CacheImage,
    ::testing::Values(
        // Around the block and the cache block; several cache blocks and a part.
        ImageCase{"MixedSizes", 3, {1, 2047, 2048, 2049, 5000, 3 * kCacheBlockBytes + 777}, false},
        ImageCase{"MixedSizesWithPostGap", 3, {1, 2047, 2048, 2049, 5000, 3 * kCacheBlockBytes + 777}, true},
        // A header longer than the queue holds.
        ImageCase{"LongHeader", 40 * 31, {10}, false},
        ImageCase{"HundredBlocksPaddedTo614400", 100, {}, true},
        ImageCase{"ThreeHundredBlocksNotPadded", 299, {1}, true},
        ImageCase{"NoFiles", 150, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cache, FilesShareBlocksAtBlockGranularity) {
    SetHeader(1);
    AddFile("a.bin", 1, 1);
    AddFile("b.bin", 2049, 2);
    AddFile("c.bin", kCacheBlockBytes + 10, 3);
    TCacheThread cache(kSmallCache, false, ImageBytes(), burner.HeaderStream, burner.Tree());
    const Delivery delivery = TakeAll(cache, ImageBytes());
    // The header; a, b and the start of c fill one block; the rest of c.
    EXPECT_EQ(delivery.lengths, (std::vector<int32_t>{2048, 63488, 8192}));
}

// ---- the queue limit and the priority ladder ----

TEST_F(Cache, FullQueueHoldsOneBlockLessThanItsSlotsAndStepsThePriorityDown) {
    SetHeader(1);
    AddFile("big.bin", 40 * kCacheBlockBytes, 5);
    TCacheThread cache(kSmallCache, false, ImageBytes(), burner.HeaderStream, burner.Tree(), priorities.Setter());
    ASSERT_EQ(cache.MaxBlocks(), 32);
    cache.WaitReady();

    // Ready at the first full queue: the producer waits with 31 blocks queued.
    EXPECT_EQ(cache.QueuedBlocks(), 31u);
    EXPECT_EQ(cache.CachedBytes(), int64_t{2048} + 30 * int64_t{kCacheBlockBytes});
    // Below normal at the start; normal, below normal and lowest at a quarter and a
    // half of the slots; idle while full.
    EXPECT_EQ(priorities.Levels(), (std::vector<ThreadPriority>{ThreadPriority::BelowNormal, ThreadPriority::Normal,
                                                                ThreadPriority::BelowNormal, ThreadPriority::Lowest,
                                                                ThreadPriority::Idle}));

    const Delivery delivery = TakeAll(cache, ImageBytes());
    EXPECT_EQ(static_cast<int64_t>(delivery.image.size()), ImageBytes());
    EXPECT_LE(cache.PeakQueuedBlocks(), 31u);
    EXPECT_EQ(cache.CachedBytes(), 0);
}

TEST_F(Cache, PaddingIsQueuedWithoutWaitingForRoom) {
    SetHeader(31);
    TCacheThread cache(kSmallCache, true, ImageBytes(), burner.HeaderStream, burner.Tree());
    cache.WaitReady();
    const Delivery delivery = TakeAll(cache, writing::kPostGapMinimumBytes);
    EXPECT_EQ(delivery.image.size(), writing::kPostGapMinimumBytes);
    EXPECT_LE(cache.PeakQueuedBlocks(), 31u + 10u);
}

// ---- cancellation ----

struct CancelCase {
    const char* name;
    uint32_t headerBlocks;     // a long header fills the queue before any file is read
    std::size_t fileBytes;
    const char* writerText;    // set by the writer before it cancels
    const char* expectedText;
};

class CacheCancel : public Cache, public ::testing::WithParamInterface<CancelCase> {};

// Cancelled while the queue is full: the producer drops the queue and ends at once;
// a text the writer set survives.
TEST_P(CacheCancel, WhileTheQueueIsFullEndsPromptly) {
    const CancelCase& c = GetParam();
    SetHeader(c.headerBlocks);
    AddFile("big.bin", c.fileBytes, 7);
    TCacheThread cache(kSmallCache, true, ImageBytes(), burner.HeaderStream, burner.Tree());
    cache.WaitReady();
    ASSERT_EQ(cache.QueuedBlocks(), 31u);
    cache.SetErrorText(c.writerText);
    cache.Cancel();
    cache.WaitFinished();

    EXPECT_EQ(cache.ErrorText(), c.expectedText);
    EXPECT_EQ(cache.QueuedBlocks(), 0u);
    EXPECT_EQ(cache.CachedBytes(), 0);
    Bytes buffer(kCacheBlockBytes);
    EXPECT_EQ(cache.GetBlock(buffer), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Points, CacheCancel,
    ::testing::Values(CancelCase{"DuringHeader", 40 * 31, 10, "", "OPERATION ABORTED BY USER"},
                      CancelCase{"DuringFileData", 1, 40 * kCacheBlockBytes, "", "OPERATION ABORTED BY USER"},
                      CancelCase{"KeepsTheWritersText", 1, 40 * kCacheBlockBytes, "WRITER ERROR [x]", "WRITER ERROR [x]"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cache, DestroyedWhileFullDoesNotWaitForEver) {
    SetHeader(40 * 31);
    {
        TCacheThread cache(kSmallCache, false, ImageBytes(), burner.HeaderStream, burner.Tree());
        cache.WaitReady();
    }
    SUCCEED();
}

// ---- damaged sources ----

// A vanished source ends the cache at once, naming it; the blocks before it stay.
TEST_F(Cache, VanishedSourceEndsWithTheOpenText) {
    SetHeader(2);
    AddFile("a.bin", 3000, 1);
    AddFile("b.bin", 5000, 2);
    AddFile("c.bin", 10, 3);
    const Bytes expected = QuickImage();
    std::filesystem::remove(Path("b.bin"));

    TCacheThread cache(kSmallCache, false, ImageBytes(), burner.HeaderStream, burner.Tree());
    cache.WaitReady();
    const Delivery delivery = TakeAll(cache, ImageBytes());
    cache.WaitFinished();

    EXPECT_EQ(cache.ErrorText(), fmt::format(fmt::runtime(messages::kCantOpenFile), Path("b.bin")));
    ASSERT_LE(delivery.image.size(), expected.size());
    EXPECT_TRUE(std::equal(delivery.image.begin(), delivery.image.end(), expected.begin()));
    cache.SetErrorText("");  // the writer clears its own text when it starts
    EXPECT_NE(cache.ErrorText(), "");
}

struct ShortCase {
    const char* name;
    std::size_t keptBytes;  // what is left of the 3-block-and-more source
};

class CacheShortSource : public Cache, public ::testing::WithParamInterface<ShortCase> {};

// A source shorter than its entry: the image keeps its layout (the missing bytes are
// zeros, the later file stays at its extent) and the job fails naming the file, once
// the image has been handed out.
TEST_P(CacheShortSource, KeepsTheLayoutAndFailsNamingTheFile) {
    constexpr std::size_t kSize = 2 * kCacheBlockBytes + 5000;
    SetHeader(2);
    AddFile("a.bin", 3000, 1);
    AddFile("b.bin", kSize, 2);
    AddFile("c.bin", 10, 3);
    std::filesystem::resize_file(Path("b.bin"), GetParam().keptBytes);

    Bytes expected = burner.HeaderStream;
    Bytes b = Content(kSize, 2);
    std::fill(b.begin() + static_cast<std::ptrdiff_t>(GetParam().keptBytes), b.end(), uint8_t{0});
    for (const Bytes& part : {Padded(Content(3000, 1)), Padded(b), Padded(Content(10, 3))})
        expected.insert(expected.end(), part.begin(), part.end());

    TCacheThread cache(kSmallCache, false, ImageBytes(), burner.HeaderStream, burner.Tree());
    cache.SetErrorText("");
    const Delivery delivery = TakeAll(cache, ImageBytes());
    cache.WaitFinished();

    EXPECT_TRUE(delivery.image == expected);
    EXPECT_EQ(cache.ErrorText(), fmt::format(fmt::runtime(writing::kSourceFileShorter), Path("b.bin")));
    cache.SetErrorText("");
    EXPECT_NE(cache.ErrorText(), "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, CacheShortSource,
                         ::testing::Values(ShortCase{"Empty", 0}, ShortCase{"InTheFirstChunk", 1000},
                                           ShortCase{"InALaterChunk", kCacheBlockBytes + 5}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrin::testing

namespace tavrin::testing {
namespace {

using writing::TISOBurnerThread;

class ImageReader : public BurnerTest {
protected:
    std::string MakeImage(std::size_t size) {
        const std::string path = folder / "image.iso";
        WriteAll(path, Content(size, 11));
        return path;
    }
};

class ImageReaderSizes : public ImageReader, public ::testing::WithParamInterface<std::size_t> {};

// The image file goes out as it is, never padded, its last block completed with zeros.
TEST_P(ImageReaderSizes, HandsOutTheFileInWholeBlocks) {
    const std::size_t size = GetParam();
    const std::string image = MakeImage(size);
    TISOBurnerThread reader(kSmallCache, static_cast<int64_t>(size), image);
    reader.WaitReady();
    const Delivery delivery = TakeAll(reader, static_cast<int64_t>(size));
    EXPECT_TRUE(delivery.remainingConsistent);
    reader.WaitFinished();

    EXPECT_TRUE(delivery.image == Padded(Content(size, 11)));
    for (const int32_t length : delivery.lengths) EXPECT_EQ(length % static_cast<int32_t>(kBlockBytes), 0);
    EXPECT_EQ(reader.RemainingBytes(), static_cast<int64_t>(size) - static_cast<int64_t>(BlockRounded(size)));
    EXPECT_EQ(reader.CachedBytes(), 0);
    EXPECT_LE(reader.PeakQueuedBlocks(), 31u);
    EXPECT_EQ(reader.ErrorText(), "");
}

INSTANTIATE_TEST_SUITE_P(Sizes, ImageReaderSizes,
                         ::testing::Values(std::size_t{1}, std::size_t{2048}, std::size_t{5000},
                                           40 * kCacheBlockBytes + 5));

TEST_F(ImageReader, MissingImageEndsWithTheOpenText) {
    const std::string image = folder / "none.iso";
    TISOBurnerThread reader(kSmallCache, 4096, image);
    reader.WaitReady();
    EXPECT_TRUE(reader.Finished());
    EXPECT_EQ(reader.ErrorText(), fmt::format(fmt::runtime(messages::kCantOpenFile), image));
    Bytes buffer(kCacheBlockBytes);
    EXPECT_EQ(reader.GetBlock(buffer), 0);
}

TEST_F(ImageReader, CancelWhileFullEndsPromptly) {
    const std::string image = MakeImage(40 * kCacheBlockBytes);
    TISOBurnerThread reader(kSmallCache, 40 * kCacheBlockBytes, image);
    reader.WaitReady();
    EXPECT_EQ(reader.QueuedBlocks(), 31u);
    reader.Cancel();
    reader.WaitFinished();
    EXPECT_EQ(reader.ErrorText(), "OPERATION ABORTED BY USER");
    EXPECT_EQ(reader.QueuedBlocks(), 0u);
}

TEST_F(ImageReader, ImageShorterThanAtTheStartFailsNamingIt) {
    const std::string image = MakeImage(3 * kCacheBlockBytes);
    std::filesystem::resize_file(image, kCacheBlockBytes + 100);
    TISOBurnerThread reader(kSmallCache, 3 * kCacheBlockBytes, image);
    const Delivery delivery = TakeAll(reader, 3 * kCacheBlockBytes);
    reader.WaitFinished();
    Bytes expected = Content(3 * kCacheBlockBytes, 11);
    std::fill(expected.begin() + kCacheBlockBytes + 100, expected.end(), uint8_t{0});
    EXPECT_TRUE(delivery.image == expected);
    EXPECT_EQ(reader.ErrorText(), fmt::format(fmt::runtime(writing::kSourceFileShorter), image));
}

}  // namespace
}  // namespace tavrin::testing
