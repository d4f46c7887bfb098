#pragma once
// An in-process ASPI manager that keeps every request block it is given and
// answers at once. Answers come from rules (first match wins, a rule with a
// count is used that many times), else from the default status and answer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/device/aspi.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"

namespace tavrin::test {

struct RecordedRequest {
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t flags = 0;
    uint32_t bufferLength = 0;
    std::vector<uint8_t> cdb;   // SRB_CDBLen bytes
    std::vector<uint8_t> data;  // the buffer's bytes as sent

    uint8_t opcode() const { return cdb.empty() ? 0xFF : cdb[0]; }
};

struct DriveAnswer {
    uint8_t status = aspi::SS_COMP;
    std::vector<uint8_t> data;   // copied into the buffer, at most SRB_BufLen bytes
    std::vector<uint8_t> sense;  // with a failing status: CHECK CONDITION and these bytes

    static DriveAnswer Data(std::vector<uint8_t> bytes) { return {aspi::SS_COMP, std::move(bytes), {}}; }
    static DriveAnswer Error() { return {aspi::SS_ERR, {}, {}}; }
    // Fixed-format sense with the given key, ASC and ASCQ.
    static DriveAnswer Sense(uint8_t key, uint8_t asc, uint8_t ascq) {
        std::vector<uint8_t> s(18, 0);
        s[0] = 0x70, s[2] = key, s[7] = 10, s[12] = asc, s[13] = ascq;
        return {aspi::SS_ERR, {}, s};
    }
};

using RequestMatch = std::function<bool(const RecordedRequest&)>;

inline RequestMatch Opcode(uint8_t opcode) {
    return [opcode](const RecordedRequest& r) { return r.opcode() == opcode; };
}
// MODE SENSE (10) / MODE SELECT (10) of one page (current or default values).
inline RequestMatch ModeSensePage(uint8_t page) {
    return [page](const RecordedRequest& r) { return r.opcode() == 0x5A && (r.cdb[2] & 0x3F) == page; };
}
// GET CONFIGURATION starting at one feature.
inline RequestMatch Feature(uint8_t feature) {
    return [feature](const RecordedRequest& r) { return r.opcode() == 0x46 && r.cdb[3] == feature; };
}
// READ TOC/PMA/ATIP of one format.
inline RequestMatch TocFormat(uint8_t format) {
    return [format](const RecordedRequest& r) { return r.opcode() == 0x43 && (r.cdb[2] & 0x0F) == format; };
}
// READ TRACK INFORMATION of one track.
inline RequestMatch Track(uint8_t track) {
    return [track](const RecordedRequest& r) { return r.opcode() == 0x52 && r.cdb[5] == track; };
}

struct RecordingDrive {
    uint8_t status = aspi::SS_COMP;  // for requests no rule matches
    std::vector<uint8_t> answer;
    std::vector<RecordedRequest> sent;  // execute requests only

    // Host adapter inquiry and disk information.
    uint8_t adapterStatus = aspi::SS_COMP;
    uint8_t adapterCount = 1;
    std::optional<uint8_t> driveLetterIndex;  // SC_GET_DISK_INFO answer; none: SS_NO_DEVICE
    std::vector<uint8_t> adaptersAsked;
    int aborts = 0;

    struct Rule {
        RequestMatch match;
        DriveAnswer answer;
        int times = -1;  // -1: always
    };
    std::vector<Rule> rules;

    void on(RequestMatch match, DriveAnswer a, int times = -1) { rules.push_back({std::move(match), std::move(a), times}); }
    void on(uint8_t opcode, DriveAnswer a, int times = -1) { on(Opcode(opcode), std::move(a), times); }

    std::vector<RecordedRequest> sentWith(uint8_t opcode) const {
        std::vector<RecordedRequest> out;
        std::copy_if(sent.begin(), sent.end(), std::back_inserter(out),
                     [opcode](const RecordedRequest& r) { return r.opcode() == opcode; });
        return out;
    }

    static RecordingDrive& Get() {
        static RecordingDrive drive;
        return drive;
    }
    static uint32_t SupportInfo() { return 0x0101; }

    static uint32_t Send(void* request) {
        RecordingDrive& d = Get();
        const uint8_t command = static_cast<uint8_t*>(request)[0];
        switch (command) {
            case aspi::SC_HA_INQUIRY: return d.adapterInquiry(*static_cast<aspi::SRB_HAInquiry*>(request));
            case aspi::SC_GET_DISK_INFO: return d.diskInfo(*static_cast<aspi::SRB_GetDiskInfo*>(request));
            case aspi::SC_ABORT_SRB: ++d.aborts; return aspi::SS_COMP;
            case aspi::SC_EXEC_SCSI_CMD: return d.execute(*static_cast<aspi::SRB_ExecSCSICmd*>(request));
            default: return aspi::SS_INVALID_CMD;
        }
    }

private:
    uint32_t adapterInquiry(aspi::SRB_HAInquiry& r) {
        adaptersAsked.push_back(r.SRB_HaId);
        r.HA_Count = adapterCount;
        const char manager[] = "RECORDING";
        std::copy(std::begin(manager), std::end(manager), r.HA_ManagerId);
        const char identifier[] = "  FAKE HA  ";
        std::copy(std::begin(identifier), std::end(identifier), r.HA_Identifier);
        r.SRB_Status = adapterStatus;
        return adapterStatus;
    }
    uint32_t diskInfo(aspi::SRB_GetDiskInfo& r) {
        r.SRB_Status = driveLetterIndex ? aspi::SS_COMP : aspi::SS_NO_DEVICE;
        if (driveLetterIndex) r.SRB_Int13HDriveInfo = *driveLetterIndex;
        return r.SRB_Status;
    }

    DriveAnswer pick(const RecordedRequest& rec) {
        for (Rule& rule : rules) {
            if (rule.times == 0 || !rule.match(rec)) continue;
            if (rule.times > 0) --rule.times;
            return rule.answer;
        }
        return {status, answer, {}};
    }

    uint32_t execute(aspi::SRB_ExecSCSICmd& r) {
        RecordedRequest rec;
        rec.adapter = r.SRB_HaId;
        rec.target = r.SRB_Target;
        rec.lun = r.SRB_Lun;
        rec.flags = r.SRB_Flags;
        rec.bufferLength = r.SRB_BufLen;
        rec.cdb.assign(r.CDBByte, r.CDBByte + r.SRB_CDBLen);
        if (r.SRB_BufPointer != nullptr) rec.data.assign(r.SRB_BufPointer, r.SRB_BufPointer + rec.bufferLength);
        const DriveAnswer a = pick(rec);
        sent.push_back(rec);
        if (r.SRB_BufPointer != nullptr)
            std::copy_n(a.data.begin(), std::min<std::size_t>(a.data.size(), r.SRB_BufLen), r.SRB_BufPointer);
        if (!a.sense.empty()) {
            r.SRB_TargStat = 0x02;  // CHECK CONDITION
            std::copy_n(a.sense.begin(), std::min<std::size_t>(a.sense.size(), aspi::SENSE_AREA_LEN), r.SenseArea);
        }
        r.SRB_Status = a.status;
        // A request left pending: tell the waiter at once, as a drive that never
        // finishes would be told by its time-out.
        if (a.status == aspi::SS_PENDING && r.SRB_PostProc != nullptr) {
            const uint64_t one = 1;
            [[maybe_unused]] const auto n = ::write(aspi::FdFromPostProc(r.SRB_PostProc), &one, sizeof one);
        }
        return a.status;
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
