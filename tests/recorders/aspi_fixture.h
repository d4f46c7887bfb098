#pragma once
// The manager library behind the engine's transport, configured through a
// scratch recorders.ini: the library reads its configuration when it is first
// used after loading, so each test writes the file, loads the library and
// unloads it again at the end.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/device/aspi.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"

namespace tavrin::test {

class ManagerLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        previousDir_ = std::filesystem::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& ch : name) if (ch == '/') ch = '_';
        root_ = std::filesystem::temp_directory_path() / ("tavrin-aspi-" + std::to_string(::getpid())) / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        // The library beside the programs, the way they find it.
        const char* build = std::getenv("TAVRIN_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "TAVRIN_BUILD_DIR is not set";
        std::filesystem::current_path(build);
    }
    void TearDown() override {
        ShutdownTransport();
        ::unsetenv("TAVRIN_ASPI_CONFIG");
        std::filesystem::current_path(previousDir_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // Writes the configuration and loads the library with it.
    void load(const std::string& ini) {
        const auto file = root_ / "recorders.ini";
        std::ofstream(file) << ini;
        ::setenv("TAVRIN_ASPI_CONFIG", file.c_str(), 1);
        ShutdownTransport();
        ASSERT_TRUE(InitializeASPI(false));
        ASSERT_EQ(TransportName(), "WNASPI32.DLL");
    }

    static aspi::SRB_ExecSCSICmd request(std::vector<uint8_t> cdb, uint8_t flags, std::vector<uint8_t>& data) {
        aspi::SRB_ExecSCSICmd r{};
        r.SRB_Flags = flags;
        r.SRB_BufLen = static_cast<uint32_t>(data.size());
        r.SRB_BufPointer = data.empty() ? nullptr : data.data();
        r.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
        std::copy(cdb.begin(), cdb.end(), r.CDBByte);
        return r;
    }

    // One command through ExecuteCommand, as the engine's wrappers send it.
    aspi::SRB_ExecSCSICmd run(DeviceAddress at, std::vector<uint8_t> cdb, uint8_t direction,
                              std::vector<uint8_t>& data, int timeoutMs = 10000) {
        device_.Selected = at;
        auto r = request(std::move(cdb), static_cast<uint8_t>(aspi::SRB_EVENT_NOTIFY | direction), data);
        EXPECT_EQ(device_.ExecuteCommand(r, timeoutMs), aspi::SS_COMP);
        return r;
    }

    std::filesystem::path root_;
    std::filesystem::path previousDir_;
    TSCSIDevice device_;
};

}  // namespace tavrin::test
