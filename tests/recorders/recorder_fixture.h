#pragma once
// A virtual recorder in a scratch folder, driven with real CDB bytes.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "recorders/virtual/recorder.h"

namespace tavrin::vrecorder::test {

inline uint32_t be32At(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}
inline uint16_t be16At(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

struct Reply {
    CommandResult result;
    std::vector<uint8_t> data;
    uint8_t key() const { return result.sense[2] & 0x0F; }
    uint8_t asc() const { return result.sense[12]; }
    uint8_t ascq() const { return result.sense[13]; }
    bool good() const { return result.status == kStatusGood && !result.hang; }
};

class RecorderTest : public ::testing::Test {
protected:
    using TimePoint = std::chrono::steady_clock::time_point;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& ch : name) if (ch == '/') ch = '_';
        root_ = std::filesystem::temp_directory_path() / ("tavrin-recorder-" + std::to_string(::getpid())) / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    void TearDown() override {
        recorder_.reset();
        std::filesystem::remove_all(root_);
        std::error_code ignored;
        std::filesystem::remove(root_.parent_path(), ignored);  // once the last test is gone
    }

    std::filesystem::path recorderFolder() const { return root_ / "recorder"; }
    std::filesystem::path discFolder(int n = 0) const { return root_ / ("disc" + std::to_string(n)); }

    // A recorder holding a new blank disc of `kind` (or empty), ready at once.
    VirtualRecorder& start(std::optional<MediaKind> kind, Faults faults = {}, double timeScale = 0) {
        if (kind) {
            DiscStore::create(discFolder(), *kind);
            loadDiscIntoRecorder(recorderFolder(), discFolder());
        } else {
            saveRecorderConfig(recorderFolder(), RecorderConfig{});
        }
        return reopen(faults, timeScale);
    }
    VirtualRecorder& reopen(Faults faults = {}, double timeScale = 0) {
        RecorderOptions o;
        o.folder = recorderFolder();
        o.faults = faults;
        o.timeScale = timeScale;
        o.clock = [this] { return now_; };
        recorder_.reset();
        recorder_ = std::make_unique<VirtualRecorder>(std::move(o));
        return *recorder_;
    }
    void advance(std::chrono::milliseconds d) { now_ += d; }

    Reply in(std::vector<uint8_t> cdb, std::size_t bufferSize = 4096) {
        Reply r;
        r.data.assign(bufferSize, 0xEE);
        r.result = recorder_->execute(cdb, DataDirection::In, r.data);
        r.data.resize(r.result.transferred);
        return r;
    }
    Reply out(std::vector<uint8_t> cdb, std::vector<uint8_t> payload) {
        Reply r;
        r.result = recorder_->execute(cdb, DataDirection::Out, payload);
        return r;
    }
    Reply none(std::vector<uint8_t> cdb) {
        Reply r;
        r.result = recorder_->execute(cdb, DataDirection::None, {});
        return r;
    }

    // Commands with the engine's byte layout.
    static std::vector<uint8_t> be(uint32_t v, int n) {
        std::vector<uint8_t> b;
        for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return b;
    }
    Reply write(uint32_t lba, uint16_t blocks, uint8_t fill = 0x5A) {
        std::vector<uint8_t> cdb{0x2A, 0};
        for (uint8_t b : be(lba, 4)) cdb.push_back(b);
        cdb.push_back(0);
        for (uint8_t b : be(blocks, 2)) cdb.push_back(b);
        cdb.push_back(0);
        return out(cdb, std::vector<uint8_t>(std::size_t{blocks} * 2048, fill));
    }
    Reply read(uint32_t lba, uint16_t blocks) {
        std::vector<uint8_t> cdb{0x28, 0};
        for (uint8_t b : be(lba, 4)) cdb.push_back(b);
        cdb.push_back(0);
        for (uint8_t b : be(blocks, 2)) cdb.push_back(b);
        cdb.push_back(0);
        return in(cdb, std::size_t{blocks} * 2048);
    }
    Reply testUnitReady() { return none({0, 0, 0, 0, 0, 0}); }
    Reply discInfo() { return in({0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0}); }
    Reply trackInfo(uint8_t track) { return in({0x52, 1, 0, 0, 0, track, 0, 0, 0x30, 0}); }
    Reply profile() { return in({0x46, 2, 0, 0, 0, 0, 0, 0, 114, 0}); }
    Reply toc(uint8_t format, bool msf = false, uint8_t start = 0) {
        return in({0x43, static_cast<uint8_t>(msf ? 2 : 0), format, 0, 0, 0, start, 0, 255, 0});
    }
    Reply closeTrack() { return none({0x5B, 0, 1, 0, 0, 0, 0, 0, 0, 0}); }
    Reply closeSession() { return none({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}); }
    // Write Parameters page as the engine sends it: write type, multi-session 11b or 00b.
    Reply writeParameters(uint8_t byte2, bool nextSession, uint8_t trackMode = 4) {
        std::vector<uint8_t> list(60, 0);
        list[8] = 0x05;
        list[9] = 0x32;
        list[10] = byte2;
        list[11] = static_cast<uint8_t>((nextSession ? 0xC0 : 0) | trackMode);
        list[12] = 0x08;
        return out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, list);
    }
    Reply readCapacity() { return in({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }

    std::filesystem::path root_;
    TimePoint now_{std::chrono::hours(1)};
    std::unique_ptr<VirtualRecorder> recorder_;
};

}  // namespace tavrin::vrecorder::test
