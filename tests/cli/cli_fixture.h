#pragma once
// tavrin-cli run as a separate program from a scratch folder of its own; the home
// folders point into it, so no real configuration is read or written.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tavrin::test {

struct Outcome {
    int exitCode = -1;
    std::string output;  // standard output and standard error
};

// Runs a shell command line, standard error folded into the output.
inline Outcome RunShell(const std::string& command) {
    Outcome result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> chunk;
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) result.output.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

inline bool Has(const Outcome& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* build = std::getenv("TAVRIN_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "TAVRIN_BUILD_DIR is not set";
        program_ = std::filesystem::path(build) / "tavrin-cli";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& ch : name) if (ch == '/') ch = '_';
        root_ = std::filesystem::temp_directory_path() / ("tavrin-cli-" + std::to_string(::getpid())) / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // The program with its home folders in the scratch folder; a recorder
    // configuration file, when given, is named by TAVRIN_ASPI_CONFIG.
    std::string program(const std::filesystem::path& recorders = {}) const {
        std::string line = "env -u TAVRIN_ASPI_CONFIG XDG_CONFIG_HOME=" + Quoted(root_ / "config") +
                           " XDG_DATA_HOME=" + Quoted(root_ / "data");
        if (!recorders.empty()) line += " TAVRIN_ASPI_CONFIG=" + Quoted(recorders);
        return line + " " + Quoted(program_);
    }

    std::filesystem::path program_;
    std::filesystem::path root_;
};

}  // namespace tavrin::test
