#include "engine/drive/mmc_cdb.h"

#include "engine/drive/byte_order.h"

namespace tavrin::drive {
namespace {

Cdb Make(uint8_t opcode, uint8_t length, uint8_t flags, uint32_t transferLength, int timeoutMs) {
    Cdb cdb;
    cdb.bytes[0] = opcode;
    cdb.length = length;
    cdb.flags = flags;
    cdb.transferLength = transferLength;
    cdb.timeoutMs = timeoutMs;
    return cdb;
}

void Put16(Cdb& cdb, std::size_t offset, uint16_t value) { WriteBE16(cdb.bytes, offset, value); }
void Put32(Cdb& cdb, std::size_t offset, uint32_t value) { WriteBE32(cdb.bytes, offset, value); }

}  // namespace

Cdb TestUnitReadyCdb(int timeoutMs) { return Make(op::kTestUnitReady, 6, kFlagsNoData, 0, timeoutMs); }

Cdb RezeroUnitCdb() { return Make(op::kRezeroUnit, 6, kFlagsNoData, 0, 10000); }

Cdb RequestSenseCdb(uint8_t length) {
    Cdb cdb = Make(op::kRequestSense, 6, kFlagsDataIn, length, 10000);
    cdb.bytes[4] = length;
    return cdb;
}

Cdb FormatUnitCdb(uint8_t options) {
    Cdb cdb = Make(op::kFormatUnit, 6, kFlagsDataOut, kFormatListLength, 10000);
    cdb.bytes[1] = options;
    return cdb;
}

Cdb InquiryCdb() {
    Cdb cdb = Make(op::kInquiry, 6, kFlagsDataIn, kInquiryLength, 10000);
    cdb.bytes[4] = 0x80;
    return cdb;
}

Cdb StartStopUnitCdb(bool eject) {
    Cdb cdb = Make(op::kStartStopUnit, 6, kFlagsNoData, 0, 20000);
    cdb.bytes[4] = eject ? 0x02 : 0x03;  // eject, or load and start
    return cdb;
}

Cdb PreventAllowRemovalCdb(bool allow) {
    Cdb cdb = Make(op::kPreventAllowRemoval, 6, kFlagsNoData, 0, 10000);
    cdb.bytes[4] = allow ? 0x00 : 0x01;
    return cdb;
}

Cdb ReadFormatCapacitiesCdb() {
    Cdb cdb = Make(op::kReadFormatCapacities, 10, kFlagsDataIn, kFormatCapacitiesLength, 10000);
    cdb.bytes[8] = 0xF8;
    return cdb;
}

Cdb ReadCapacityCdb() { return Make(op::kReadCapacity, 10, kFlagsDataIn, kCapacityLength, 10000); }

Cdb Read10Cdb(uint32_t block, uint16_t blocks, uint32_t length) {
    Cdb cdb = Make(op::kRead10, 10, kFlagsDataIn, length, 10000);
    Put32(cdb, 2, block);
    Put16(cdb, 7, blocks);
    return cdb;
}

Cdb Write10Cdb(uint32_t block, uint16_t blocks, uint8_t flags, uint32_t length) {
    Cdb cdb = Make(op::kWrite10, 10, flags, length, 120000);
    Put32(cdb, 2, block);
    Put16(cdb, 7, blocks);
    return cdb;
}

Cdb SynchronizeCacheCdb(int timeoutMs, bool immediate) {
    Cdb cdb = Make(op::kSynchronizeCache, 10, kFlagsNoData, 0, timeoutMs);
    cdb.bytes[1] = immediate ? 0x02 : 0x00;
    return cdb;
}

Cdb ReadTOCCdb(uint8_t format, uint8_t length, uint8_t trackSession, bool msf, uint8_t control) {
    Cdb cdb = Make(op::kReadTOC, 10, kFlagsDataIn, length, 10000);
    cdb.bytes[1] = msf ? 0x02 : 0x00;
    cdb.bytes[2] = format;
    cdb.bytes[6] = trackSession;
    cdb.bytes[8] = length;
    cdb.bytes[9] = control;
    return cdb;
}

Cdb GetConfigurationCdb(uint8_t rt, uint16_t startFeature, uint8_t length) {
    Cdb cdb = Make(op::kGetConfiguration, 10, kFlagsDataIn, length, 30000);
    cdb.bytes[1] = rt;
    cdb.bytes[3] = static_cast<uint8_t>(startFeature);
    cdb.bytes[8] = length;
    return cdb;
}

Cdb ReadDiscInformationCdb(uint8_t length) {
    Cdb cdb = Make(op::kReadDiscInformation, 10, kFlagsDataIn, length, 10000);
    cdb.bytes[8] = length;
    return cdb;
}

Cdb ReadTrackInformationCdb(uint8_t track) {
    Cdb cdb = Make(op::kReadTrackInformation, 10, kFlagsDataIn, kTrackInformationLength, 60000);
    cdb.bytes[1] = 0x01;  // the address is a track number
    Put32(cdb, 2, track);
    cdb.bytes[8] = kTrackInformationLength;
    return cdb;
}

Cdb ReserveTrackCdb(uint32_t size) {
    Cdb cdb = Make(op::kReserveTrack, 10, kFlagsDataIn, kReserveTrackLength, 10000);
    Put32(cdb, 5, size);
    return cdb;
}

Cdb SendOPCInformationCdb() {
    Cdb cdb = Make(op::kSendOPCInformation, 10, kFlagsNoData, 0, 150000);
    cdb.bytes[1] = 0x01;  // perform power calibration
    return cdb;
}

Cdb ModeSelect10Cdb(uint8_t length) {
    Cdb cdb = Make(op::kModeSelect10, 10, kFlagsDataOut, length, 10000);
    cdb.bytes[1] = 0x10;  // page format
    cdb.bytes[8] = length;
    return cdb;
}

Cdb ModeSense10Cdb(uint8_t page, bool defaultValues, uint16_t length) {
    Cdb cdb = Make(op::kModeSense10, 10, kFlagsDataIn, length, 20000);
    cdb.bytes[2] = static_cast<uint8_t>(defaultValues ? page + 0x80 : page);
    Put16(cdb, 7, length);
    return cdb;
}

Cdb CloseTrackSessionCdb(bool immediate, bool closeTrack) {
    Cdb cdb = Make(op::kCloseTrackSession, 10, kFlagsNoData, 0, 180000);
    cdb.bytes[1] = immediate ? 0x01 : 0x00;
    cdb.bytes[2] = closeTrack ? 0x01 : 0x02;
    return cdb;
}

Cdb ReadBufferCapacityCdb() {
    Cdb cdb = Make(op::kReadBufferCapacity, 10, kFlagsDataIn, kBufferCapacityLength, 10000);
    cdb.bytes[8] = kBufferCapacityLength;
    return cdb;
}

Cdb BlankCdb(uint8_t blankingType) {
    Cdb cdb = Make(op::kBlank, 12, kFlagsNoData, 0, 4800000);
    cdb.bytes[1] = static_cast<uint8_t>(blankingType + 0x10);  // immediate
    return cdb;
}

Cdb SetStreamingCdb(uint16_t length) {
    Cdb cdb = Make(op::kSetStreaming, 12, kFlagsDataOut, length, 10000);
    Put16(cdb, 9, length);
    return cdb;
}

uint16_t SpeedField(uint16_t factor) {
    if (factor == 0) return kSpeedMaximum;
    return static_cast<uint16_t>(uint32_t{factor} * kSingleSpeedKBps);
}

Cdb SetCDSpeedCdb(uint16_t readFactor, uint16_t writeFactor) {
    Cdb cdb = Make(op::kSetCDSpeed, 12, kFlagsNoData, 0, 10000);
    Put16(cdb, 2, SpeedField(readFactor));
    Put16(cdb, 4, SpeedField(writeFactor));
    return cdb;
}

Cdb SendDVDStructureCdb(uint8_t format, uint16_t length) {
    Cdb cdb = Make(op::kSendDVDStructure, 12, kFlagsDataOut, length, 10000);
    cdb.bytes[7] = format;
    Put16(cdb, 8, length);
    return cdb;
}

}  // namespace tavrin::drive
