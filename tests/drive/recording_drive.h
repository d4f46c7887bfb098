#pragma once
// An in-process ASPI manager that keeps every request block it is given and
// answers at once with the configured status, copying a prepared answer into
// the request's buffer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/device/aspi.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"

namespace tavrin::test {

struct RecordedRequest {
    uint8_t flags = 0;
    uint32_t bufferLength = 0;
    std::vector<uint8_t> cdb;  // SRB_CDBLen bytes
    std::vector<uint8_t> data;  // the buffer's bytes as sent
};

struct RecordingDrive {
    uint8_t status = aspi::SS_COMP;
    std::vector<uint8_t> answer;  // copied into the buffer, at most SRB_BufLen bytes
    std::vector<RecordedRequest> sent;

    static RecordingDrive& Get() {
        static RecordingDrive drive;
        return drive;
    }
    static uint32_t SupportInfo() { return 0x0101; }
    static uint32_t Send(void* request) {
        RecordingDrive& d = Get();
        auto* r = static_cast<aspi::SRB_ExecSCSICmd*>(request);
        RecordedRequest rec;
        rec.flags = r->SRB_Flags;
        rec.bufferLength = r->SRB_BufLen;
        rec.cdb.assign(r->CDBByte, r->CDBByte + r->SRB_CDBLen);
        if (r->SRB_BufPointer != nullptr) rec.data.assign(r->SRB_BufPointer, r->SRB_BufPointer + rec.bufferLength);
        d.sent.push_back(rec);
        if (r->SRB_BufPointer != nullptr)
            std::copy_n(d.answer.begin(), std::min<std::size_t>(d.answer.size(), r->SRB_BufLen), r->SRB_BufPointer);
        r->SRB_Status = d.status;
        return d.status;
    }
};

class RecordingDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingDrive::Get() = RecordingDrive{};
        UseTransport("RECORDING", &RecordingDrive::SupportInfo, &RecordingDrive::Send);
        device_.Selected = DeviceAddress{0, 0, 0};
    }
    void TearDown() override { ShutdownTransport(); }

    static RecordingDrive& drive() { return RecordingDrive::Get(); }
    static const RecordedRequest& last() {
        EXPECT_FALSE(drive().sent.empty());
        return drive().sent.back();
    }

    TSCSIDevice device_;
};

}  // namespace tavrin::test
