// A tgt iSCSI target with one MMC "cd" logical unit on a blank DVD+R backing file,
// started for one test on a free loopback port and stopped when the test ends,
// also when it fails. Uses the shared tgt-target.sh script beside the checkout.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include "tests/support/shared_tools.h"

namespace tavrin::test {

class TgtTarget {
public:
    static constexpr const char* kIqn = "iqn.2026-12.test:burner";

    // Why tgt cannot run here, or nothing when it can.
    static std::optional<std::string> Unavailable() {
        if (::access("/usr/sbin/tgtd", X_OK) != 0) return "tgtd is not installed (Debian package tgt)";
        if (::geteuid() != 0) return "tgtd needs root";
        if (!std::filesystem::exists(Script())) return "tgt-target.sh not found beside the checkout";
        return std::nullopt;
    }

    TgtTarget() = default;
    TgtTarget(const TgtTarget&) = delete;
    TgtTarget& operator=(const TgtTarget&) = delete;
    ~TgtTarget() { Stop(); }

    // Picks a free port among 100 from firstPort, so two test programs running at
    // once use different ranges. False when no port is free.
    bool PickPort(int firstPort) {
        for (int i = 0; i < 100; ++i) {
            const int p = firstPort + (static_cast<int>(::getpid()) + i) % 100;
            if (PortFree(p)) {
                port_ = p;
                return true;
            }
        }
        return false;
    }

    // Starts tgtd with its files in folder; its output goes to folder/start.log.
    bool Start(const std::filesystem::path& folder) {
        folder_ = folder;
        started_ = true;
        const std::string cmd = "sh " + Script() + " start " + folder.string() + " " + std::to_string(port_) +
                                " > " + (folder.string() + ".start.log") + " 2>&1";
        return std::system(cmd.c_str()) == 0;
    }

    // True when tgtd was stopped, or was never started.
    bool Stop() {
        if (!started_) return true;
        started_ = false;
        const std::string cmd = "sh " + Script() + " stop " + folder_.string() + " > /dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }

    int Port() const { return port_; }
    std::string Url() const { return "iscsi://127.0.0.1:" + std::to_string(port_) + "/" + kIqn + "/1"; }
    std::filesystem::path Log() const { return folder_ / "tgtd.log"; }
    std::filesystem::path BackingFile() const { return folder_ / "disc.img"; }

    static std::string ToolsFolder() { return SharedToolsFolder().string(); }

private:
    static std::string Script() { return ToolsFolder() + "/tgt-target.sh"; }

    static bool PortFree(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    std::filesystem::path folder_;
    int port_ = 0;
    bool started_ = false;
};

}  // namespace tavrin::test
