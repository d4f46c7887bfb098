// tavrin_write_floor: the channel's limit for writing. Opens the transport and the
// recorder as tavrin-cli does, then writes MB megabytes (10^6 bytes) of one pattern
// to a blank disc from block 0 with a plain loop of 31-block WRITE (10)s (no
// read-ahead cache, no writer thread, no buffer polls), one SYNCHRONIZE CACHE and
// one CLOSE TRACK/SESSION (the session), and prints the rate. Each run wants a
// fresh disc.
//
//   tavrin_write_floor [MB] [DEVICE]      MB: default 100; DEVICE as tavrin-cli -d
// Exit status: 0 done, 1 the transport, the recorder or a write failed, 2 usage.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "engine/device/transport.h"
#include "engine/drive/device_selection.h"
#include "engine/drive/mmc_cdb.h"
#include "engine/drive/mmc_commands.h"
#include "engine/drive/sense_fields.h"

namespace {

using tavrin::TSCSIDevice;
using Clock = std::chrono::steady_clock;

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr uint16_t kBlocksPerWrite = 31;  // what the engine's writer sends
constexpr uint32_t kBlockBytes = 2048;
constexpr int kReadyTries = 200;          // unit attention, becoming ready: 2 s at most
constexpr auto kRetryPause = std::chrono::milliseconds(10);
constexpr int kBusyTries = 100000;        // a drive with a full buffer answers busy
constexpr int kTestUnitReadyTimeoutMs = 10000;
constexpr int kFlushTimeoutMs = 600000;

struct Arguments {
    uint64_t megabytes = 100;
    std::string device;  // empty: the first listed
};

bool ParseArguments(int argc, char** argv, Arguments& out) {
    if (argc > 3) return false;
    if (argc >= 2) {
        char* end = nullptr;
        const unsigned long long mb = std::strtoull(argv[1], &end, 10);
        if (*argv[1] == '\0' || *end != '\0' || mb == 0) return false;
        out.megabytes = mb;
    }
    if (argc == 3) out.device = argv[2];
    return true;
}

// The list line a name stands for: a line, its address prefix, or nothing for the first.
std::string ListedDevice(const TSCSIDevice& device, const std::string& name) {
    for (const std::string& line : device.DeviceList) {
        if (name.empty() || line == name || line.starts_with(name + ",")) return line;
    }
    return {};
}

// The transport stays up for the program's run; released on every way out.
struct TransportRelease {
    ~TransportRelease() { tavrin::ShutdownTransport(); }
};

// A loaded disc first answers unit attention, and may be not ready for a moment.
bool WaitReady(TSCSIDevice& device) {
    for (int i = 0; i < kReadyTries; ++i) {
        if (tavrin::drive::TestUnitReady(device, kTestUnitReadyTimeoutMs)) return true;
        std::this_thread::sleep_for(kRetryPause);
    }
    return false;
}

bool Busy(const TSCSIDevice& device) {
    return device.TargetBusy || tavrin::drive::LastAsc(device) == tavrin::drive::kAscNotReady;
}

bool WriteAt(TSCSIDevice& device, uint32_t block, uint16_t blocks, std::vector<uint8_t>& data) {
    for (int tries = 0; tries < kBusyTries; ++tries) {
        if (tavrin::drive::Write10(device, block, blocks, tavrin::drive::kFlagsDataOut, blocks * kBlockBytes, data))
            return true;
        if (!Busy(device)) return false;
        std::this_thread::sleep_for(kRetryPause);
    }
    return false;
}

// Closes the session (not the disc) and waits for the drive, as a burn's last step.
bool CloseSession(TSCSIDevice& device) {
    for (int tries = 0; tries < kBusyTries; ++tries) {
        if (tavrin::drive::CloseTrackSession(device, false, false)) return true;
        if (!Busy(device)) return false;
        std::this_thread::sleep_for(kRetryPause);
    }
    return false;
}

int Run(const Arguments& args) {
    const TransportRelease release;
    TSCSIDevice device;
    if (!tavrin::drive::InitializeDevices(device, false)) {
        fmt::print(stderr, "tavrin_write_floor: cannot start a transport\n");
        return kFailed;
    }
    const std::string line = ListedDevice(device, args.device);
    if (line.empty()) {
        fmt::print(stderr, "tavrin_write_floor: no such device: {}\n", args.device.empty() ? "(any)" : args.device);
        return kFailed;
    }
    tavrin::drive::SelectDevice(device, line);
    if (!device.HasDevice() || !WaitReady(device)) {
        fmt::print(stderr, "tavrin_write_floor: {} is not ready: {}\n", line, device.LastError);
        return kFailed;
    }
    fmt::print("transport: {}\ndevice: {}\n", tavrin::TransportName(), line);

    const uint64_t totalBlocks = (args.megabytes * 1000000 + kBlockBytes - 1) / kBlockBytes;
    std::vector<uint8_t> data(std::size_t{kBlocksPerWrite} * kBlockBytes, 0x5A);
    const Clock::time_point start = Clock::now();
    for (uint64_t block = 0; block < totalBlocks; block += kBlocksPerWrite) {
        const auto blocks = static_cast<uint16_t>(std::min<uint64_t>(kBlocksPerWrite, totalBlocks - block));
        if (!WriteAt(device, static_cast<uint32_t>(block), blocks, data)) {
            fmt::print(stderr, "tavrin_write_floor: WRITE (10) at block {} failed: {}\n", block, device.LastError);
            return kFailed;
        }
    }
    if (!tavrin::drive::SynchronizeCache(device, kFlushTimeoutMs, false)) {
        fmt::print(stderr, "tavrin_write_floor: SYNCHRONIZE CACHE failed: {}\n", device.LastError);
        return kFailed;
    }
    // Every burn ends by closing its session, and a recorder may only then make the
    // data durable: the floor pays that too. A unit without the command is noted.
    if (!CloseSession(device)) fmt::print("close: CLOSE TRACK/SESSION failed ({}): not counted\n", device.LastError);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double bytes = static_cast<double>(totalBlocks * kBlockBytes);
    fmt::print("floor: {} blocks, {:.1f} MB in {:.3f} s: {:.1f} MB/s\n", totalBlocks, bytes / 1e6, seconds,
               bytes / 1e6 / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        fmt::print(stderr, "usage: tavrin_write_floor [MB] [DEVICE]\n");
        return kUsage;
    }
    return Run(args);
}
