// ASPI for Win32 request blocks, as every transport carries them: the engine's
// built-in pass-through transport, the ASPI manager libraries loaded at run time
// and the project's own recorder library. Layouts follow the published field
// lists, packed, with native pointer sizes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrin::aspi {

// Request codes (SRB_Cmd).
inline constexpr uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
inline constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr uint8_t SC_ABORT_SRB = 0x03;
inline constexpr uint8_t SC_RESET_DEV = 0x04;
inline constexpr uint8_t SC_GET_DISK_INFO = 0x06;

// Request flags (SRB_Flags).
inline constexpr uint8_t SRB_POSTING = 0x01;
inline constexpr uint8_t SRB_ENABLE_RESIDUAL_COUNT = 0x04;
inline constexpr uint8_t SRB_DIR_IN = 0x08;
inline constexpr uint8_t SRB_DIR_OUT = 0x10;
inline constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

// Request status (SRB_Status).
inline constexpr uint8_t SS_PENDING = 0x00;
inline constexpr uint8_t SS_COMP = 0x01;
inline constexpr uint8_t SS_ABORTED = 0x02;
inline constexpr uint8_t SS_ABORT_FAIL = 0x03;
inline constexpr uint8_t SS_ERR = 0x04;
inline constexpr uint8_t SS_INVALID_CMD = 0x80;
inline constexpr uint8_t SS_INVALID_HA = 0x81;
inline constexpr uint8_t SS_NO_DEVICE = 0x82;
inline constexpr uint8_t SS_INVALID_SRB = 0xE0;
inline constexpr uint8_t SS_BUFFER_ALIGN = 0xE1;
inline constexpr uint8_t SS_NOT_SENT = 0xE2;  // the engine's own: nothing could be sent
inline constexpr uint8_t SS_ASPI_IS_BUSY = 0xE5;
inline constexpr uint8_t SS_BUFFER_TO_BIG = 0xE6;
inline constexpr uint8_t SS_NO_ADAPTERS = 0xE8;

// Host adapter status (SRB_HaStat).
inline constexpr uint8_t HASTAT_OK = 0x00;
inline constexpr uint8_t HASTAT_TIMEOUT = 0x09;
inline constexpr uint8_t HASTAT_COMMAND_TIMEOUT = 0x0B;
inline constexpr uint8_t HASTAT_MESSAGE_REJECT = 0x0D;
inline constexpr uint8_t HASTAT_BUS_RESET = 0x0E;
inline constexpr uint8_t HASTAT_PARITY_ERROR = 0x0F;
inline constexpr uint8_t HASTAT_REQUEST_SENSE_FAILED = 0x10;
inline constexpr uint8_t HASTAT_SEL_TO = 0x11;
inline constexpr uint8_t HASTAT_DO_DU = 0x12;
inline constexpr uint8_t HASTAT_BUS_FREE = 0x13;

// Target status (SRB_TargStat).
inline constexpr uint8_t STATUS_GOOD = 0x00;
inline constexpr uint8_t STATUS_CHKCOND = 0x02;
inline constexpr uint8_t STATUS_BUSY = 0x08;
inline constexpr uint8_t STATUS_RESCONF = 0x18;
inline constexpr uint8_t STATUS_QUEUE_FULL = 0x28;

// Peripheral device types (SRB_DeviceType, INQUIRY byte 0).
inline constexpr uint8_t DTYPE_WORM = 0x04;
inline constexpr uint8_t DTYPE_CDROM = 0x05;
inline constexpr uint8_t DTYPE_UNKNOWN = 0x1F;

// The engine asks for 14 sense bytes but keeps a 33-byte sense area, so a drive
// that returns full fixed-format sense still fits.
inline constexpr std::size_t SENSE_AREA_LEN = 33;
inline constexpr uint8_t SENSE_LEN = 14;
inline constexpr std::size_t CDB_MAX_LEN = 16;

#pragma pack(push, 1)

struct SRB_Header {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
};
static_assert(sizeof(SRB_Header) == 8);

struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;
    uint8_t HA_SCSI_ID;
    uint8_t HA_ManagerId[16];
    uint8_t HA_Identifier[16];
    uint8_t HA_Unique[16];  // 0: alignment mask, 3: maximum targets, 4-7: maximum transfer (LE)
    uint16_t HA_Rsvd1;
};
static_assert(sizeof(SRB_HAInquiry) == 60);

struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};
static_assert(sizeof(SRB_GDEVBlock) == 12);

struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc;  // an eventfd descriptor, cast, when SRB_EVENT_NOTIFY is set
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[CDB_MAX_LEN];
    uint8_t SenseArea[SENSE_AREA_LEN];
};
static_assert(sizeof(SRB_ExecSCSICmd) == 64 + 2 * (sizeof(void*) - 4) + SENSE_AREA_LEN);

struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};
static_assert(sizeof(SRB_Abort) == 8 + sizeof(void*));

struct SRB_GetDiskInfo {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DriveFlags;
    uint8_t SRB_Int13HDriveInfo;  // drive letter index: 0 = A
    uint8_t SRB_Heads;
    uint8_t SRB_Sectors;
    uint8_t SRB_Rsvd1[10];
};
static_assert(sizeof(SRB_GetDiskInfo) == 24);

#pragma pack(pop)

// The two entry points of an ASPI manager; both have C linkage in a library.
using GetSupportInfoFn = uint32_t (*)();
using SendCommandFn = uint32_t (*)(void* request);

// SRB_PostProc carries an eventfd descriptor; these convert without losing it.
inline void* PostProcFromFd(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }
inline int FdFromPostProc(void* p) { return static_cast<int>(reinterpret_cast<intptr_t>(p)); }

}  // namespace tavrin::aspi
