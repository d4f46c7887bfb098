#pragma once
// A virtual recorder behind the manager library, selected by a burner through a
// transport that keeps every command the engine sends on its way to the library,
// with its parameter list: the writers' and the erase thread's command sequences
// are compared against what the drive must see.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/drive/device_selection.h"
#include "engine/drive/wait_ready.h"
#include "engine/platform/dynamic_library.h"
#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/recorders/aspi_fixture.h"

namespace tavrin::test {

struct SentCommand {
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> data;  // data-out bytes
    uint8_t opcode() const { return cdb.at(0); }
};

// Sits between the engine's transport and the manager library and keeps what
// goes through. Worker threads send too, hence the lock.
struct CommandLog {
    std::mutex lock;
    std::vector<SentCommand> sent;
    aspi::SendCommandFn forward = nullptr;

    static CommandLog& Get() {
        static CommandLog log;
        return log;
    }
    static uint32_t Send(void* request) {
        CommandLog& log = Get();
        if (static_cast<uint8_t*>(request)[0] == aspi::SC_EXEC_SCSI_CMD) {
            const auto& r = *static_cast<aspi::SRB_ExecSCSICmd*>(request);
            SentCommand c;
            c.cdb.assign(r.CDBByte, r.CDBByte + r.SRB_CDBLen);
            if ((r.SRB_Flags & aspi::SRB_DIR_OUT) && r.SRB_BufPointer != nullptr)
                c.data.assign(r.SRB_BufPointer, r.SRB_BufPointer + r.SRB_BufLen);
            const std::lock_guard guard(log.lock);
            log.sent.push_back(std::move(c));
        }
        return log.forward(request);
    }
    std::vector<SentCommand> snapshot() {
        const std::lock_guard guard(lock);
        return sent;
    }
    void clear() {
        const std::lock_guard guard(lock);
        sent.clear();
    }
};

inline std::vector<uint8_t> Opcodes(const std::vector<SentCommand>& sent) {
    std::vector<uint8_t> out;
    for (const auto& c : sent) out.push_back(c.opcode());
    return out;
}

inline int Count(const std::vector<uint8_t>& codes, uint8_t op) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), op));
}

namespace opcode {
inline constexpr uint8_t kTestUnitReady = 0x00, kRezero = 0x01, kRequestSense = 0x03, kFormatUnit = 0x04,
                         kStartStop = 0x1B, kPreventAllow = 0x1E, kReadFormatCapacities = 0x23, kWrite10 = 0x2A,
                         kSynchronizeCache = 0x35, kGetConfiguration = 0x46, kReadDiscInformation = 0x51,
                         kReadTrackInformation = 0x52, kReserveTrack = 0x53, kSendOpc = 0x54, kModeSelect = 0x55,
                         kModeSense = 0x5A, kCloseTrackSession = 0x5B, kReadBufferCapacity = 0x5C, kBlank = 0xA1,
                         kSetStreaming = 0xB6, kSetCDSpeed = 0xBB, kSendDvdStructure = 0xBF;
}  // namespace opcode

// Real seconds per modelled second, for the recorder and for the engine's sleeps alike.
inline constexpr double kRecorderTimeScale = 0.0005;

class RecordedRecorder : public ManagerLibrary {
protected:
    void TearDown() override {
        ShutdownTransport();
        library_.reset();
        ManagerLibrary::TearDown();
    }

    // A blank disc of `kind` in the recorder (formatted first on DVD+RW).
    vrecorder::DiscStore createDisc(vrecorder::MediaKind kind) {
        disc_ = root_ / "disc";
        auto store = vrecorder::DiscStore::create(disc_, kind);
        if (kind == vrecorder::MediaKind::DvdPlusRw) {
            EXPECT_EQ(store.format(0x26), vrecorder::DiscResult::Ok);
        }
        return store;
    }

    // Loads the library with one virtual recorder holding disc_ (extra: more
    // recorders.ini lines, such as faults) and selects it through the recording
    // transport; the log starts empty.
    void select(const std::string& extra = {}) {
        const std::filesystem::path tray = root_ / "tray";
        vrecorder::RecorderConfig config;
        config.disc = disc_;
        vrecorder::saveRecorderConfig(tray, config);
        load("[recorder one]\ntype = virtual\ndisc = " + disc_.string() + "\nrecorder = " + tray.string() +
             "\ntime_scale = " + std::to_string(kRecorderTimeScale) + "\n" + extra + "\n");
        // Keep the library loaded while the recording carrier takes its place.
        library_ = std::make_unique<platform::DynamicLibrary>("./libwnaspi32.so");
        ASSERT_TRUE(library_->loaded()) << library_->error();
        CommandLog::Get().clear();
        CommandLog::Get().forward = library_->function<aspi::SendCommandFn>("SendASPI32Command");
        UseTransport("WNASPI32.DLL", library_->function<aspi::GetSupportInfoFn>("GetASPI32SupportInfo"),
                     &CommandLog::Send);
        drive::Create(burner_);
        ASSERT_EQ(burner_.DeviceList.size(), 1u);
        drive::SelectDevice(burner_, burner_.DeviceList[0]);
        ASSERT_TRUE(burner_.HasDevice());
        CommandLog::Get().clear();
    }

    // select(), then the wait for a disc just put in to spin up, as a reader of
    // the disc would wait; the log starts empty after it.
    void selectSpunUp(const std::string& extra = {}) {
        select(extra);
        if (::testing::Test::HasFatalFailure()) return;
        ASSERT_TRUE(drive::WaitUntilReady(burner_, 2000, 1, ScaledSleep()));
        CommandLog::Get().clear();
    }

    vrecorder::DiscState discState() const { return vrecorder::DiscStore::open(disc_).disc().state(); }

    // The engine's sleeps at the recorder's time scale.
    static drive::SleepFn ScaledSleep() {
        return [](int ms) {
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms * kRecorderTimeScale));
        };
    }

    std::filesystem::path disc_;
    TvxCDBurner burner_;
    std::unique_ptr<platform::DynamicLibrary> library_;
};

}  // namespace tavrin::test
