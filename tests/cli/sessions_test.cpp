// tavrin-cli ls, extract and burn --import as a user runs them, against a virtual
// CD-R that records at once: a second session that keeps the first one's files,
// each session listed and copied back byte for byte with its dates, and the
// failures of a copy said and counted.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "tests/cli/cli_fixture.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;

// The local time every source file carries: an even second, which the disc's
// two-second dates keep.
constexpr int kYear = 2024, kMonth = 3, kDay = 5, kHour = 10, kMinute = 20, kSecond = 30;
constexpr const char* kSourceDate = "2024-03-05 10:20:30";

std::time_t SourceTime() {
    std::tm local{};
    local.tm_year = kYear - 1900, local.tm_mon = kMonth - 1, local.tm_mday = kDay;
    local.tm_hour = kHour, local.tm_min = kMinute, local.tm_sec = kSecond, local.tm_isdst = -1;
    return std::mktime(&local);
}

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 11 + i / 2048);
    return bytes;
}

void MakeFile(const fs::path& path, std::size_t size, unsigned seed) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << Pattern(size, seed);
    const timespec times[2] = {{SourceTime(), 0}, {SourceTime(), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::time_t ModificationTime(const fs::path& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

// Every file and folder below `top` by its relative path: a file's content and
// whether it kept the source date, "/" for a folder.
std::map<std::string, std::string> TreeOf(const fs::path& top) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(top)) {
        const std::string name = fs::relative(item.path(), top).string();
        if (item.is_directory()) {
            tree[name] = "/";
        } else {
            const bool dated = ModificationTime(item.path()) == SourceTime();
            tree[name] = ReadAll(item.path()) + (dated ? "" : " (other date)");
        }
    }
    return tree;
}

class CliSessions : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        std::ofstream(root_ / "recorders.ini")
            << "[recorder one]\ntype = virtual\ndisc = " << (root_ / "disc").string() << "\nmedia = cd-r\n";
    }
    Outcome run(const std::string& arguments) const {
        return RunShell("cd " + Quoted(root_) + " && exec env TAVRIN_WAIT_SCALE=0.01 " +
                        program(root_ / "recorders.ini") + " " + arguments);
    }

    // Session 1: the folder "data" of s1. Session 2, imported from it: s2 adds a
    // folder "more" and replaces one file of "data".
    void burnTwoSessions() {
        const fs::path s1 = root_ / "s1" / "data";
        MakeFile(s1 / "empty.txt", 0, 0);
        MakeFile(s1 / "one.bin", 1, 1);
        MakeFile(s1 / "b4096.bin", 4096, 2);
        MakeFile(s1 / "sub" / "b63489.bin", 63489, 3);
        MakeFile(s1 / "sub" / "deeper" / "big.bin", 1024 * 1024 + 7, 4);
        MakeFile(s1 / "中文名字.txt", 300, 5);
        fs::create_directories(s1 / "emptydir");
        const Outcome first = run("burn s1/data");
        ASSERT_EQ(first.exitCode, 0) << first.output;

        const fs::path s2 = root_ / "s2";
        MakeFile(s2 / "more" / "new.txt", 5000, 6);
        MakeFile(s2 / "data" / "one.bin", 777, 7);
        const Outcome second = run("burn --import s2/more s2/data");
        ASSERT_EQ(second.exitCode, 0) << second.output;
        EXPECT_TRUE(Has(second, "\nburned\n")) << second.output;
    }

    // What the second session holds: the first one's "data" with the file that
    // replaced its one.bin, and "more".
    std::map<std::string, std::string> secondSession() const {
        auto tree = TreeOf(root_ / "s1");
        tree["data/one.bin"] = Pattern(777, 7);
        for (const auto& [name, content] : TreeOf(root_ / "s2")) tree[name] = content;
        return tree;
    }
};

TEST_F(CliSessions, LsShowsEachSessionsEntries) {
    burnTwoSessions();
    ASSERT_FALSE(HasFatalFailure());

    const Outcome first = run("ls --session 1");
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_TRUE(Has(first, "  data/\n")) << first.output;
    EXPECT_FALSE(Has(first, "more/")) << first.output;
    const Outcome last = run("ls");
    ASSERT_EQ(last.exitCode, 0) << last.output;
    EXPECT_TRUE(Has(last, "  data/\n") && Has(last, "  more/\n")) << last.output;

    // Size, date and name; the files of the first session with their dates.
    const Outcome data = run("ls --session 2 /data");
    ASSERT_EQ(data.exitCode, 0) << data.output;
    const std::string date = std::string("  ") + kSourceDate + "  ";
    for (const std::string& line : {"         777" + date + "one.bin\n", "        4096" + date + "b4096.bin\n",
                                   "           0" + date + "empty.txt\n", "         300" + date + "中文名字.txt\n"}) {
        EXPECT_TRUE(Has(data, line)) << line << data.output;
    }
    EXPECT_TRUE(Has(data, "  sub/\n") && Has(data, "  emptydir/\n")) << data.output;
    // A path with "\", and a file.
    const Outcome file = run("ls --session 1 'data\\sub\\b63489.bin'");
    ASSERT_EQ(file.exitCode, 0) << file.output;
    EXPECT_TRUE(Has(file, "       63489" + date + "b63489.bin\n")) << file.output;

    // The session list: a line per session, then the free space.
    const Outcome disc = run("disc");
    ASSERT_EQ(disc.exitCode, 0) << disc.output;
    EXPECT_TRUE(Has(disc, "medium: CD-R\n")) << disc.output;
    EXPECT_TRUE(Has(disc, "\n  001      000:02:00 ") && Has(disc, "\n  002      ") && Has(disc, "\n Free      "))
        << disc.output;
}

TEST_F(CliSessions, ExtractCopiesFoldersOfEachSessionByteForByte) {
    burnTwoSessions();
    ASSERT_FALSE(HasFatalFailure());

    const Outcome last = run("extract data more -o out");
    ASSERT_EQ(last.exitCode, 0) << last.output;
    EXPECT_TRUE(Has(last, "extracted 7 files\n")) << last.output;
    EXPECT_EQ(TreeOf(root_ / "out"), secondSession());

    const Outcome first = run("extract --session 1 / -o out1");
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(TreeOf(root_ / "out1"), TreeOf(root_ / "s1"));

    const Outcome one = run("extract --session 1 data/sub/b63489.bin -o single");
    ASSERT_EQ(one.exitCode, 0) << one.output;
    EXPECT_EQ(ReadAll(root_ / "single" / "b63489.bin"), Pattern(63489, 3));
}

// What is not on the disc is said and fails the command; the rest is copied.
TEST_F(CliSessions, ExtractFailsWhenAnythingIsLeftOut) {
    burnTwoSessions();
    ASSERT_FALSE(HasFatalFailure());
    const Outcome r = run("extract data/nothing.txt more -o out");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(r, "not extracted: data/nothing.txt (not on the disc)\n")) << r.output;
    EXPECT_TRUE(Has(r, "tavrin-cli: 1 not extracted, see above\n")) << r.output;
    EXPECT_EQ(ReadAll(root_ / "out" / "more" / "new.txt"), Pattern(5000, 6));
}

TEST_F(CliSessions, ABlankDiscHasNoSessionToReadOrImport) {
    MakeFile(root_ / "src" / "a.txt", 10, 1);
    const char* const cases[] = {"ls", "extract / -o out", "burn --import src"};
    for (const char* arguments : cases) {
        const Outcome r = run(arguments);
        EXPECT_EQ(r.exitCode, 1) << arguments << ": " << r.output;
        EXPECT_TRUE(Has(r, "tavrin-cli: the last session cannot be read from the disc\n")) << arguments << r.output;
    }
}

TEST_F(CliSessions, BadSessionArgumentsExitWithTwo) {
    const char* const cases[] = {"ls --session 0", "ls --session 128", "ls --session two",
                                 "extract data",  // no target folder
                                 "extract -o out", "burn --import=0 src"};
    for (const char* arguments : cases) {
        const Outcome r = run(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments << ": " << r.output;
    }
}

}  // namespace
}  // namespace tavrin::test
