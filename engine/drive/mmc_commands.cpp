#include "engine/drive/mmc_commands.h"

#include <algorithm>

#include "engine/device/aspi.h"
#include "engine/drive/answers.h"
#include "engine/drive/byte_order.h"
#include "engine/drive/mmc_cdb.h"

namespace tavrin::drive {
namespace {

enum class Pending { Fails, Counts };

// Sends one command; the transfer goes to or from `buffer`, which must hold
// the whole transfer (a shorter one is refused rather than overrun).
bool Send(TSCSIDevice& device, const Cdb& cdb, std::span<uint8_t> buffer, Pending pending = Pending::Fails) {
    if (cdb.transferLength > buffer.size()) return false;
    aspi::SRB_ExecSCSICmd request{};
    request.SRB_Flags = cdb.flags;
    request.SRB_BufLen = cdb.transferLength;
    request.SRB_BufPointer = cdb.transferLength == 0 ? nullptr : buffer.data();
    request.SRB_CDBLen = cdb.length;
    std::copy_n(cdb.bytes.begin(), cdb.length, request.CDBByte);
    // Nothing sent leaves the status at 00h: that is no pending command.
    if (device.ExecuteCommand(request, cdb.timeoutMs) != aspi::SS_COMP) return false;
    const uint8_t status = request.SRB_Status;
    return status == aspi::SS_COMP || (pending == Pending::Counts && status == aspi::SS_PENDING);
}

bool SendNoData(TSCSIDevice& device, const Cdb& cdb) { return Send(device, cdb, {}); }

}  // namespace

DriveBuffers& Buffers() {
    static DriveBuffers buffers;
    return buffers;
}

bool TestUnitReady(TSCSIDevice& device, int timeoutMs) { return SendNoData(device, TestUnitReadyCdb(timeoutMs)); }

void RezeroUnit(TSCSIDevice& device) { SendNoData(device, RezeroUnitCdb()); }

bool RequestSense(TSCSIDevice& device, std::span<uint8_t> buffer, uint8_t length) {
    return Send(device, RequestSenseCdb(length), buffer);
}

bool FormatUnit(TSCSIDevice& device, uint8_t options, std::span<uint8_t> parameterList) {
    return Send(device, FormatUnitCdb(options), parameterList);
}

bool Inquiry(TSCSIDevice& device) { return Send(device, InquiryCdb(), device.InquiryBuffer); }

bool StartStopUnit(TSCSIDevice& device, bool eject) { return SendNoData(device, StartStopUnitCdb(eject)); }

bool PreventAllowRemoval(TSCSIDevice& device, bool allow) {
    return SendNoData(device, PreventAllowRemovalCdb(allow));
}

bool ReadFormatCapacities(TSCSIDevice& device, uint32_t& blocks) {
    auto& buffer = Buffers().formatCapacity;
    buffer.fill(0);
    if (!Send(device, ReadFormatCapacitiesCdb(), buffer)) return false;
    const auto decoded = DecodeFormatCapacityBlocks(std::span(buffer).first(kFormatCapacitiesLength));
    if (!decoded) return false;
    blocks = *decoded;
    return true;
}

bool ReadCapacity(TSCSIDevice& device, uint32_t& lastBlock, uint32_t& blockLength) {
    auto& buffer = Buffers().parameter;
    if (!Send(device, ReadCapacityCdb(), buffer)) return false;
    const auto decoded = DecodeCapacity(std::span(buffer).first(kCapacityLength));
    if (!decoded) return false;
    lastBlock = decoded->lastBlock;
    blockLength = decoded->blockLength;
    return true;
}

bool Read10(TSCSIDevice& device, uint32_t block, uint16_t blocks, uint32_t length, std::span<uint8_t> buffer) {
    return Send(device, Read10Cdb(block, blocks, length), buffer);
}

bool Write10(TSCSIDevice& device, uint32_t block, uint16_t blocks, uint8_t flags, uint32_t length,
             std::span<uint8_t> buffer) {
    return Send(device, Write10Cdb(block, blocks, flags, length), buffer, Pending::Counts);
}

bool SynchronizeCache(TSCSIDevice& device, int timeoutMs, bool immediate) {
    return SendNoData(device, SynchronizeCacheCdb(timeoutMs, immediate));
}

bool ReadTOC(TSCSIDevice& device, uint8_t format, std::span<uint8_t> buffer, uint8_t length, uint8_t trackSession,
             bool msf, uint8_t control) {
    return Send(device, ReadTOCCdb(format, length, trackSession, msf, control), buffer);
}

bool GetConfiguration(TSCSIDevice& device, uint8_t rt, uint16_t startFeature, uint8_t length,
                      std::span<uint8_t> buffer) {
    return Send(device, GetConfigurationCdb(rt, startFeature, length), buffer);
}

bool ReadDiscInformation(TSCSIDevice& device, std::span<uint8_t> buffer, uint8_t length) {
    Buffers().discInformation.fill(0);
    return Send(device, ReadDiscInformationCdb(length), buffer);
}

bool ReadTrackInformation(TSCSIDevice& device, uint8_t track) {
    auto& info = device.TrackInformation;
    info.fill(0);
    if (!Send(device, ReadTrackInformationCdb(track), info)) return false;
    TrackInformationToHostOrder(info);
    return true;
}

bool ReserveTrack(TSCSIDevice& device, uint32_t size) {
    return Send(device, ReserveTrackCdb(size), Buffers().parameter);
}

bool SendOPCInformation(TSCSIDevice& device) { return SendNoData(device, SendOPCInformationCdb()); }

bool ModeSelect10(TSCSIDevice& device, std::span<const uint8_t> data, uint8_t length) {
    auto& page = Buffers().modePage;
    if (length > data.size()) return false;
    std::copy_n(data.begin(), length, page.begin());
    return Send(device, ModeSelect10Cdb(length), page);
}

bool ModeSense10(TSCSIDevice& device, uint8_t page, std::span<uint8_t> dest, bool defaultValues, uint16_t length) {
    std::fill(dest.begin(), dest.end(), uint8_t{0});
    auto& buffer = Buffers().modePage;
    // A drive may send less than asked: what it did not send must not be the
    // previous command's page.
    buffer.fill(0);
    if (!Send(device, ModeSense10Cdb(page, defaultValues, length), buffer)) return false;
    std::copy_n(buffer.begin(), std::min<std::size_t>(length, dest.size()), dest.begin());
    return true;
}

bool CloseTrackSession(TSCSIDevice& device, bool immediate, bool closeTrack) {
    return SendNoData(device, CloseTrackSessionCdb(immediate, closeTrack));
}

bool ReadBufferCapacity(TSCSIDevice& device, uint32_t& length, uint32_t& free) {
    auto& buffer = Buffers().parameter;
    std::fill_n(buffer.begin(), kBufferCapacityLength, uint8_t{0});
    const bool sent = Send(device, ReadBufferCapacityCdb(), buffer);
    const auto decoded = sent ? DecodeBufferCapacity(std::span(buffer).first(kBufferCapacityLength)) : std::nullopt;
    if (!decoded) {
        device.DeviceFreeBufferSize = 0;
        return false;
    }
    length = decoded->length;
    free = decoded->free;
    device.DeviceBufferSize = decoded->length;
    // Drives that do not report the blank length send all ones.
    device.DeviceFreeBufferSize = decoded->free == 0xFFFFFFFFu ? decoded->length : decoded->free;
    return true;
}

bool Blank(TSCSIDevice& device, uint8_t blankingType) {
    return Send(device, BlankCdb(blankingType), {}, Pending::Counts);
}

bool SetStreaming(TSCSIDevice& device, std::span<uint8_t> descriptor, uint16_t length) {
    return Send(device, SetStreamingCdb(length), descriptor);
}

bool SetCDSpeed(TSCSIDevice& device, uint16_t readFactor, uint16_t writeFactor) {
    return SendNoData(device, SetCDSpeedCdb(readFactor, writeFactor));
}

bool SendDVDStructure(TSCSIDevice& device, uint8_t format, std::span<uint8_t> data, uint16_t length) {
    return Send(device, SendDVDStructureCdb(format, length), data);
}

bool SendTimeStamp(TSCSIDevice& device, const std::tm& dateTime) {
    auto& list = Buffers().parameter;
    std::fill_n(list.begin(), kTimeStampLength, uint8_t{0});
    WriteBE16(list, 0, kTimeStampLength - 2);
    // "yyyymmddhhnnss", each part zero-padded.
    auto put = [&list](std::size_t at, int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            list[at + static_cast<std::size_t>(i)] = static_cast<uint8_t>('0' + (value % 10 + 10) % 10);
    };
    put(8, dateTime.tm_year + 1900, 4);
    put(12, dateTime.tm_mon + 1, 2);
    put(14, dateTime.tm_mday, 2);
    put(16, dateTime.tm_hour, 2);
    put(18, dateTime.tm_min, 2);
    put(20, dateTime.tm_sec, 2);
    return SendDVDStructure(device, kTimeStampFormat, std::span(list).first(kTimeStampLength), kTimeStampLength);
}

bool ReadDiscInfo(TSCSIDevice& device) {
    auto& info = Buffers().discInformation;
    info.fill(0);
    if (!ReadDiscInformation(device, info, static_cast<uint8_t>(info.size()))) return false;
    LengthFieldToHostOrder(info);
    return true;
}

}  // namespace tavrin::drive
