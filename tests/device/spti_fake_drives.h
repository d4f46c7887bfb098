// A table of optical drives standing in for /dev/srN behind the built-in
// transport. Each drive answers INQUIRY from its data and every other command
// with the answer set for it, and keeps what reached it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/platform/passthrough.h"

namespace tavrin::testing {

struct FakeDrive {
    std::array<uint8_t, 96> inquiry{};
    std::optional<platform::ScsiAddress> address;
    bool inquiryFails = false;  // the probe's request does not come back
    bool opens = true;

    platform::PassThroughResult answer{.ioctlOk = true};
    std::vector<uint8_t> sense;  // written into the sense room, as far as it fits

    struct Received {
        std::vector<uint8_t> cdb;
        platform::DataDirection direction;
        uint32_t length;
        unsigned timeoutMs;
        std::size_t senseRoom;
    };
    std::vector<Received> received;  // what reached the drive
    int openHandles = 0;
    int opened = 0;
};

using FakeDriveMap = std::map<std::string, FakeDrive>;

// Inquiry data whose vendor field names the drive, so tests can tell drives apart.
inline std::array<uint8_t, 96> InquiryNamed(const std::string& vendor) {
    std::array<uint8_t, 96> data{};
    data[0] = 0x05;
    data[4] = 91;
    std::fill(data.begin() + 8, data.end(), ' ');
    std::copy_n(vendor.begin(), std::min<std::size_t>(vendor.size(), 88), data.begin() + 8);
    return data;
}

class FakeDevice final : public platform::PassThroughDevice {
public:
    FakeDevice(std::shared_ptr<FakeDriveMap> drives, std::string path)
        : drives_(std::move(drives)), path_(std::move(path)) {
        ++drive().openHandles;
        ++drive().opened;
    }
    ~FakeDevice() override { close(); }

    platform::PassThroughResult execute(const platform::PassThroughCommand& command) override {
        auto& d = drive();
        d.received.push_back({std::vector<uint8_t>(command.cdb.begin(), command.cdb.end()), command.direction,
                              command.length, command.timeoutMs, command.sense.size()});
        if (!command.cdb.empty() && command.cdb[0] == 0x12) {
            if (d.inquiryFails) return {};
            std::copy_n(d.inquiry.begin(), std::min<std::size_t>(command.length, d.inquiry.size()), command.data);
            return {.ioctlOk = true};
        }
        std::copy_n(d.sense.begin(), std::min(d.sense.size(), command.sense.size()), command.sense.begin());
        return d.answer;
    }

    std::optional<platform::ScsiAddress> address() override { return drive().address; }

    bool close() override {
        if (closed_) return true;
        closed_ = true;
        --drive().openHandles;
        return true;
    }

private:
    FakeDrive& drive() { return drives_->at(path_); }

    std::shared_ptr<FakeDriveMap> drives_;
    std::string path_;
    bool closed_ = false;
};

class FakeDrives final : public platform::PassThroughSystem {
public:
    explicit FakeDrives(std::shared_ptr<FakeDriveMap> drives) : drives_(std::move(drives)) {}

    std::unique_ptr<platform::PassThroughDevice> open(const std::string& path) override {
        const auto it = drives_->find(path);
        if (it == drives_->end() || !it->second.opens) return nullptr;
        return std::make_unique<FakeDevice>(drives_, path);
    }

    bool isBlockDevice(const std::string& path) override { return drives_->contains(path); }

private:
    std::shared_ptr<FakeDriveMap> drives_;
};

}  // namespace tavrin::testing

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "engine/device/aspi.h"
#include "engine/device/spti.h"
#include "engine/device/transport.h"

namespace tavrin::testing {

// Every test starts without a transport and with the fake drive table behind the
// built-in one.
class FakeDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShutdownTransport();
        SetKeepHandleOpen(true);
        UsePassThroughSystem(std::make_shared<FakeDrives>(drives_));
    }
    void TearDown() override {
        ShutdownTransport();
        SetKeepHandleOpen(true);
        UsePassThroughSystem(nullptr);
    }

    FakeDrive& drive(int n) { return (*drives_)["/dev/sr" + std::to_string(n)]; }
    FakeDrive& addDrive(int n, std::optional<platform::ScsiAddress> address) {
        auto& d = drive(n);
        d.inquiry = InquiryNamed("DRIVE" + std::to_string(n));
        d.address = address;
        return d;
    }

    std::shared_ptr<FakeDriveMap> drives_ = std::make_shared<FakeDriveMap>();
};

inline aspi::SRB_ExecSCSICmd ExecRequest(uint8_t adapter, uint8_t target, uint8_t lun,
                                         std::initializer_list<uint8_t> cdb, uint8_t flags = 0x40,
                                         uint8_t* buffer = nullptr, uint32_t length = 0) {
    aspi::SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_Flags = flags;
    srb.SRB_BufPointer = buffer;
    srb.SRB_BufLen = length;
    srb.SRB_SenseLen = aspi::SENSE_LEN;
    srb.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
    return srb;
}

inline const std::initializer_list<uint8_t> TEST_UNIT_READY = {0x00, 0, 0, 0, 0, 0};

}  // namespace tavrin::testing
