// tavrin-cli burn, burn-iso and the threaded save-iso as a user runs them, against
// virtual recorders that record at once: sessions read back from the disc by the
// independent readers through the project's verify-iso, images compared byte for
// byte, the refusals, Ctrl-C during a write and bad arguments.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "recorders/virtual/disc_store.h"
#include "recorders/virtual/recorder_store.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/shared_tools.h"
#include "tests/support/tgt_target.h"

extern char** environ;

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;
using vrecorder::MediaKind;

constexpr std::size_t kBlock = 2048;
constexpr std::size_t kPostGapBytes = 300 * kBlock;
// How long a child may keep the test waiting for its next output at most; it
// answers in far less, so reaching this is a hang.
constexpr int kOutputTimeoutMs = 60000;

// File contents that differ from file to file and from block to block.
std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 13 + i / kBlock);
    return bytes;
}

void MakeFile(const fs::path& path, std::size_t size, unsigned seed) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << Pattern(size, seed);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool AllZero(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

// ISO 9660 places of the times an image carries: the four dates of a volume
// descriptor, its root record, and the recording time of a directory record.
constexpr std::size_t kFirstDescriptorBlock = 16;
constexpr std::size_t kDescriptorDates = 813;
constexpr std::size_t kDescriptorDatesBytes = 4 * 17;
constexpr std::size_t kDescriptorRootRecord = 156;
constexpr std::size_t kRecordExtent = 2;      // little-endian half of the both-endian field
constexpr std::size_t kRecordSize = 10;
constexpr std::size_t kRecordTime = 18;
constexpr std::size_t kRecordTimeBytes = 7;
constexpr std::size_t kRecordFlags = 25;
constexpr std::size_t kRecordNameLength = 32;
constexpr uint8_t kDirectoryFlag = 0x02;
constexpr uint8_t kTerminatorType = 0xFF;

uint32_t Le32(const std::string& image, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && at + i < image.size(); ++i)
        value |= uint32_t{static_cast<uint8_t>(image[at + i])} << (8 * i);
    return value;
}

void ZeroBytes(std::string& image, std::size_t at, std::size_t count) {
    if (at >= image.size()) return;
    const std::size_t n = std::min(count, image.size() - at);
    image.replace(at, n, n, '\0');
}

// Zeroes the time of the record at `record` and, for a directory, of every record
// below it. `depth` bounds a damaged tree.
void ZeroTreeTimes(std::string& image, std::size_t record, int depth) {
    ZeroBytes(image, record + kRecordTime, kRecordTimeBytes);
    if (depth > 16 || record + kRecordNameLength >= image.size()) return;
    if ((static_cast<uint8_t>(image[record + kRecordFlags]) & kDirectoryFlag) == 0) return;
    const std::size_t start = std::size_t{Le32(image, record + kRecordExtent)} * kBlock;
    const std::size_t end = std::min(image.size(), start + Le32(image, record + kRecordSize));
    for (std::size_t at = start; at < end;) {
        const auto length = static_cast<uint8_t>(image[at]);
        if (length == 0) {  // the rest of the block is unused
            at = (at / kBlock + 1) * kBlock;
            continue;
        }
        const bool selfOrParent = static_cast<uint8_t>(image[at + kRecordNameLength]) == 1 &&
                                  static_cast<uint8_t>(image[at + kRecordNameLength + 1]) <= 1;
        if (selfOrParent) {
            ZeroBytes(image, at + kRecordTime, kRecordTimeBytes);
        } else {
            ZeroTreeTimes(image, at, depth + 1);
        }
        at += length;
    }
}

// The image with every time it records zeroed: two saves of one tree made at
// different moments then compare equal.
std::string WithoutTimes(std::string image) {
    for (std::size_t block = kFirstDescriptorBlock; (block + 1) * kBlock <= image.size(); ++block) {
        const std::size_t at = block * kBlock;
        if (static_cast<uint8_t>(image[at]) == kTerminatorType) break;
        ZeroBytes(image, at + kDescriptorDates, kDescriptorDatesBytes);
        ZeroTreeTimes(image, at + kDescriptorRootRecord, 0);
    }
    return image;
}

// A shell command line that ends by exec-ing the program, so the child's pid is
// the program's own. Ctrl-C is at its default in the child even when the test runs
// with it ignored. Standard output and standard error come through one pipe.
class Child {
public:
    // On a terminal: its output goes to a pseudo-terminal instead of a pipe.
    explicit Child(const std::string& line, bool terminal = false) {
        int fds[2];
        if (terminal ? ::openpty(&fds[0], &fds[1], nullptr, nullptr, nullptr) != 0 : ::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
        if (::posix_spawn(&pid_, "/bin/sh", &actions, &attributes, const_cast<char**>(argv), environ) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid_ > 0 && out_ >= 0; }
    const std::string& Output() const { return output_; }

    // Reads until the output holds `text`; false at the end of the output.
    bool ReadUntil(const std::string& text) {
        while (output_.find(text) == std::string::npos) {
            if (!ReadMore()) return false;
        }
        return true;
    }
    void Interrupt() const { ::kill(pid_, SIGINT); }
    // Reads the rest of the output and returns the exit status (-1 when killed).
    int Wait() {
        while (ReadMore()) {
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool ReadMore() {
        pollfd ready{out_, POLLIN, 0};
        if (::poll(&ready, 1, kOutputTimeoutMs) <= 0) return false;
        char chunk[4096];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0) return false;
        output_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

class CliBurn : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        verifier_ = SharedTool("verify-iso");
        disc_ = root_ / "disc";
    }

    // One virtual recorder holding a blank disc of `media` (created on first use),
    // with extra configuration lines.
    void useRecorder(const std::string& media, const std::string& extra = {}) const {
        std::ofstream(root_ / "recorders.ini") << "[recorder one]\ntype = virtual\ndisc = " << disc_.string()
                                               << "\nmedia = " << media << "\n" << extra;
    }
    // The drive waits of the program shortened a hundredfold: the virtual recorder
    // is ready at once, and a busy one is retried every 6 ms.
    std::string commandLine(const std::string& arguments) const {
        return "cd " + Quoted(root_) + " && exec env TAVRIN_WAIT_SCALE=0.01 " + program(root_ / "recorders.ini") +
               " " + arguments;
    }
    Outcome run(const std::string& arguments) const { return RunShell(commandLine(arguments)); }

    bool haveVerifier() const { return fs::exists(verifier_); }
    // verify-iso of the whole disc, the session at `start` against the folder `tree`.
    Outcome verifyDisc(uint32_t start, const fs::path& tree) const {
        const fs::path image = root_ / "disc.iso";
        vrecorder::DiscStore::open(disc_).exportImage(image);
        return RunShell(Quoted(verifier_) + " " + Quoted(image) + " --tree " + Quoted(tree) + " --session-start " +
                        std::to_string(start));
    }
    std::string exported() const {
        const fs::path image = root_ / "disc.iso";
        vrecorder::DiscStore::open(disc_).exportImage(image);
        return ReadAll(image);
    }
    vrecorder::DiscState discState() const { return vrecorder::DiscStore::open(disc_).disc().state(); }

    // Nested folders, an empty folder and file, sizes around the block and one
    // beyond the smallest read-ahead cache, under the folder `top` of `tree`.
    void makeTree(const fs::path& tree, const std::string& top, unsigned seed) const {
        const fs::path t = root_ / tree / top;
        MakeFile(t / "one.bin", 1, seed);
        MakeFile(t / "b2048.bin", 2048, seed + 1);
        MakeFile(t / "nested/b2049.bin", 2049, seed + 2);
        MakeFile(t / "nested/deeper/big.bin", 3 * 1024 * 1024 + 5, seed + 3);
        MakeFile(t / "empty.txt", 0, 0);
        fs::create_directories(t / "emptydir");
    }

    fs::path verifier_;
    fs::path disc_;
};

std::string StartOf(const Outcome& r) {
    const std::string key = "session start: ";
    const std::size_t at = r.output.find(key);
    if (at == std::string::npos) return {};
    return r.output.substr(at + key.size(), r.output.find('\n', at) - at - key.size());
}

// Two sessions on one CD-R: the second is laid out at the disc's next writable
// address, and each reads back from the whole disc against its own folder.
TEST_F(CliBurn, TwoSessionsOnACdRReadBackFromTheDisc) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    useRecorder("cd-r");
    for (int session = 1; session <= 2; ++session) {
        const fs::path tree = "tree" + std::to_string(session);
        const std::string top = "data" + std::to_string(session);
        makeTree(tree, top, static_cast<unsigned>(session * 10));
        const Outcome burned = run("burn --volume DISC" + std::to_string(session) + " " + (tree / top).string());
        ASSERT_EQ(burned.exitCode, 0) << burned.output;
        EXPECT_TRUE(Has(burned, "\nburned\n")) << burned.output;
        EXPECT_TRUE(Has(burned, "progress: ")) << burned.output;

        const vrecorder::DiscState state = discState();
        EXPECT_EQ(state.closedSessions, session);
        EXPECT_FALSE(state.finalized);  // left open for a further session
        ASSERT_FALSE(state.tracks.empty());
        const uint32_t start = state.tracks.back().start;
        EXPECT_EQ(StartOf(burned), std::to_string(start)) << burned.output;
        if (session == 1) {
            EXPECT_EQ(start, 0u);
        }
        const Outcome verified = verifyDisc(start, root_ / tree);
        EXPECT_EQ(verified.exitCode, 0) << verified.output;
    }
}

// One session on each kind of write-once and random DVD, with the burn options.
TEST_F(CliBurn, OneSessionOnEachDvdReadsBack) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    makeTree("tree", "data", 3);
    struct Case {
        const char* media;
        const char* options;
    };
    const Case cases[] = {{"dvd-r", "--speed 4"}, {"dvd+r", "--finalize"}, {"dvd-ram", "-d 0:0:0"}};
    for (const Case& c : cases) {
        fs::remove_all(disc_);
        fs::remove_all(disc_.string() + ".recorder");
        useRecorder(c.media);
        const Outcome burned = run(std::string("burn ") + c.options + " tree/data");
        ASSERT_EQ(burned.exitCode, 0) << c.media << ": " << burned.output;
        EXPECT_TRUE(Has(burned, "session start: 0\n")) << burned.output;
        const Outcome verified = verifyDisc(0, root_ / "tree");
        EXPECT_EQ(verified.exitCode, 0) << c.media << ": " << verified.output;
    }
}

// A test write records nothing and the disc stays blank.
TEST_F(CliBurn, ATestWriteLeavesTheCdRBlank) {
    makeTree("tree", "data", 4);
    useRecorder("cd-r");
    const Outcome burned = run("burn --test tree/data");
    EXPECT_EQ(burned.exitCode, 0) << burned.output;
    EXPECT_TRUE(Has(burned, "\ntest write done: nothing was recorded\n")) << burned.output;
    EXPECT_TRUE(discState().tracks.empty());
    EXPECT_EQ(discState().closedSessions, 0);
}

// An image whose size is no multiple of the ECC block, onto a blank DVD+R: the disc
// holds it byte for byte from block 0, anything after it is zero.
TEST_F(CliBurn, BurnIsoPutsTheImageOntoABlankDvdPlusR) {
    const std::string image = Pattern(333 * kBlock, 7);
    std::ofstream(root_ / "in.iso", std::ios::binary) << image;
    useRecorder("dvd+r");
    const Outcome burned = run("burn-iso in.iso");
    ASSERT_EQ(burned.exitCode, 0) << burned.output;
    EXPECT_TRUE(Has(burned, "\nburned\n")) << burned.output;
    EXPECT_EQ(discState().closedSessions, 1);

    const std::string disc = exported();
    ASSERT_GE(disc.size(), image.size());
    EXPECT_TRUE(disc.compare(0, image.size(), image) == 0);
    EXPECT_TRUE(AllZero(std::string_view(disc).substr(image.size())));
}

// A CD-R with a closed session: refused before anything is written.
TEST_F(CliBurn, BurnIsoRefusesADiscThatHoldsData) {
    makeTree("tree", "data", 5);
    useRecorder("cd-r");
    ASSERT_EQ(run("burn tree/data").exitCode, 0);
    const vrecorder::DiscState before = discState();
    std::ofstream(root_ / "in.iso", std::ios::binary) << Pattern(200 * kBlock, 8);

    const Outcome burned = run("burn-iso in.iso");
    EXPECT_EQ(burned.exitCode, 1) << burned.output;
    EXPECT_TRUE(Has(burned, "tavrin-cli: NEED EMPTY DISC FOR ISO BURNING\n")) << burned.output;
    EXPECT_FALSE(Has(burned, "burned\n")) << burned.output;
    EXPECT_EQ(discState(), before);
}

// Each failure is said on standard error, exits with 1 and closes no session.
TEST_F(CliBurn, FailuresOfABurnAreReported) {
    makeTree("tree", "data", 9);
    struct Case {
        const char* recorder;  // extra recorder configuration lines
        const char* arguments;
        const char* says;
    };
    const Case cases[] = {
        {"write_error_block = 40\n", "burn tree/data", "tavrin-cli: WRITER ERROR ["},
        // A file the engine leaves out is no burned file.
        {"", "burn tree/data/one.bin one.bin=tree/data/b2048.bin",
         "tavrin-cli: tree/data/b2048.bin could not be added: the image holds /one.bin already or cannot hold it\n"},
    };
    for (const Case& c : cases) {
        fs::remove_all(disc_);
        fs::remove_all(disc_.string() + ".recorder");
        useRecorder("cd-r", c.recorder);
        const Outcome burned = run(c.arguments);
        EXPECT_EQ(burned.exitCode, 1) << c.arguments << ": " << burned.output;
        EXPECT_TRUE(Has(burned, c.says)) << c.arguments << ": " << burned.output;
        EXPECT_FALSE(Has(burned, "burned\n")) << burned.output;
        EXPECT_EQ(discState().closedSessions, 0) << c.arguments;
    }
}

// The threaded save is the quick save's image, apart from the times it records,
// padded with zeros to 300 blocks when it is smaller; it reads back against the
// tree.
TEST_F(CliBurn, ThreadedSaveEqualsTheQuickSaveApartFromThePadding) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    struct Case {
        const char* label;
        bool large;
    };
    for (const Case c : {Case{"small", false}, Case{"large", true}}) {
        const fs::path tree = root_ / c.label;
        MakeFile(tree / "docs/a.txt", 5000, 1);
        MakeFile(tree / "docs/sub/b.bin", 2048, 2);
        if (c.large) MakeFile(tree / "docs/sub/big.bin", 3 * 1024 * 1024 + 7, 3);
        const std::string source = (fs::path(c.label) / "docs").string();
        const Outcome quick = run("save-iso --quick -o quick.iso " + source);
        ASSERT_EQ(quick.exitCode, 0) << quick.output;
        const Outcome threaded = run("save-iso -o threaded.iso " + source);
        ASSERT_EQ(threaded.exitCode, 0) << threaded.output;
        EXPECT_TRUE(Has(threaded, "image: threaded.iso\n")) << threaded.output;

        // The two layouts were made at different moments.
        const std::string q = WithoutTimes(ReadAll(root_ / "quick.iso"));
        const std::string t = WithoutTimes(ReadAll(root_ / "threaded.iso"));
        EXPECT_EQ(t.size(), std::max(q.size(), kPostGapBytes)) << c.label;
        ASSERT_GE(t.size(), q.size());
        EXPECT_TRUE(t.compare(0, q.size(), q) == 0) << c.label;
        EXPECT_TRUE(AllZero(std::string_view(t).substr(q.size()))) << c.label;
        const Outcome verified =
            RunShell(Quoted(verifier_) + " " + Quoted(root_ / "threaded.iso") + " --tree " + Quoted(tree));
        EXPECT_EQ(verified.exitCode, 0) << c.label << ": " << verified.output;
    }
}

TEST_F(CliBurn, ThreadedSaveIntoAMissingFolderFailsWithTheWritersText) {
    MakeFile(root_ / "tree/a.txt", 10, 1);
    const Outcome saved = run("save-iso -o missing/out.iso tree/a.txt");
    EXPECT_EQ(saved.exitCode, 1) << saved.output;
    EXPECT_TRUE(Has(saved, "tavrin-cli: CAN'T CREATE FILE \"missing/out.iso\"\n")) << saved.output;
    EXPECT_FALSE(Has(saved, "image: ")) << saved.output;
}

// Ctrl-C while the drive keeps answering busy: the write is aborted, the drive
// flushed, the abort reported and no session closed.
TEST_F(CliBurn, CtrlCAbortsTheBurnAndReportsIt) {
    makeTree("tree", "data", 6);
    useRecorder("cd-r", "busy_writes = 4000000000\n");
    Child burn(commandLine("burn tree/data"));
    ASSERT_TRUE(burn.Started());
    ASSERT_TRUE(burn.ReadUntil("progress: ")) << burn.Output();
    burn.Interrupt();
    EXPECT_EQ(burn.Wait(), 130) << burn.Output();
    const Outcome ended{130, burn.Output()};
    EXPECT_TRUE(Has(ended, "interrupted: ")) << ended.output;
    EXPECT_TRUE(Has(ended, "tavrin-cli: OPERATION ABORTED BY USER\n")) << ended.output;
    EXPECT_FALSE(Has(ended, "burned\n")) << ended.output;
    EXPECT_EQ(discState().closedSessions, 0);
}

// On a terminal the progress is one line redrawn in place, ended once the job ends.
TEST_F(CliBurn, OnATerminalProgressIsOneLineRedrawnInPlace) {
    makeTree("tree", "data", 13);
    useRecorder("cd-r");
    Child burn(commandLine("burn tree/data"), true);
    ASSERT_TRUE(burn.Started());
    EXPECT_FALSE(burn.ReadUntil("(the output's end)"));
    EXPECT_EQ(burn.Wait(), 0) << burn.Output();
    const Outcome ended{0, burn.Output()};
    EXPECT_TRUE(Has(ended, "\r\033[Kprogress: 100% ")) << ended.output;
    EXPECT_FALSE(Has(ended, "\nprogress: ")) << ended.output;
    EXPECT_TRUE(Has(ended, "\nburned")) << ended.output;
}

// Each usage error is one clear line, exit status 2, and nothing is written.
TEST_F(CliBurn, BadArgumentsExitWithTwo) {
    MakeFile(root_ / "tree/a.txt", 10, 1);
    useRecorder("dvd-r");
    struct Case {
        const char* arguments;
        const char* says;  // empty: CLI11's own text
    };
    const Case cases[] = {
        {"burn", ""},                         // no source
        {"burn --speed 371 tree/a.txt", ""},  // a factor the speed command cannot carry
        {"burn --speed fast tree/a.txt", ""},
        {"burn --frobnicate tree/a.txt", ""},
        {"burn --cache 1 tree/a.txt", ""},
        {"burn-iso", ""},  // no image
        {"burn-iso a.iso b.iso", ""},
        {"erase --quick", ""},
        {"burn tree/nope", "tavrin-cli: no such file or folder: tree/nope\n"},
        {"burn -d 0:5:0 tree/a.txt", "tavrin-cli: no such device: 0:5:0 (see tavrin-cli devices)\n"},
        {"burn -d 1 tree/a.txt", "tavrin-cli: no such device: 1 (see tavrin-cli devices)\n"},
        {"burn-iso nothing.iso", "tavrin-cli: no such image file: nothing.iso\n"},
        {"burn a/../b=tree/a.txt", "tavrin-cli: not a place in the image: a/../b (empty, \".\" or \"..\" name)\n"},
        {"burn --volume 123456789012345678901234567890123 tree/a.txt", "tavrin-cli: --volume holds at most 32 bytes\n"},
        // 53 x DVD is beyond what a speed command carries.
        {"burn --speed 53 tree/a.txt", "tavrin-cli: --speed 53 is beyond the fastest speed a drive can be asked"},
        {"save-iso -o out.iso tree/a.txt tree/missing", "tavrin-cli: no such file or folder: tree/missing\n"},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments << ": " << r.output;
        if (*c.says != '\0') {
            EXPECT_TRUE(Has(r, c.says)) << c.arguments << ": " << r.output;
        }
    }
    EXPECT_TRUE(!fs::exists(disc_) || discState().tracks.empty());
    EXPECT_FALSE(fs::exists(root_ / "out.iso"));
}

// Sources placed in the image with DEST=PATH and the identifiers of the volume
// descriptors: the image reads back as the tree the placements describe, and the
// layout printed first names every entry.
TEST_F(CliBurn, SourcesArePlacedAndIdentifiersRecorded) {
    if (!haveVerifier()) GTEST_SKIP() << verifier_ << " is not there";
    MakeFile(root_ / "src/a.txt", 3000, 1);
    MakeFile(root_ / "src/sub/b.bin", 5000, 2);
    MakeFile(root_ / "n=1.txt", 10, 3);
    const Outcome saved = run(
        "save-iso -o out.iso --show-layout --volume VOL --publisher 'Tavrin team' --preparer PREP "
        "--application APP --volume-set SET --system LINUX --copyright-file COPY.TXT "
        "src backup/2026=src notes/readme.txt=src/a.txt top/=src/sub/b.bin n=1.txt");
    ASSERT_EQ(saved.exitCode, 0) << saved.output;
    for (const char* line : {"  src/\n", "  backup/2026/sub/b.bin\n", "  notes/readme.txt\n", "  top/b.bin\n",
                             "  n=1.txt\n", "layout: 7 folders, 7 files, "}) {
        EXPECT_TRUE(Has(saved, line)) << line << saved.output;
    }

    // The same tree made by hand.
    const fs::path expected = root_ / "expected";
    MakeFile(expected / "src/a.txt", 3000, 1);
    MakeFile(expected / "src/sub/b.bin", 5000, 2);
    MakeFile(expected / "backup/2026/a.txt", 3000, 1);
    MakeFile(expected / "backup/2026/sub/b.bin", 5000, 2);
    MakeFile(expected / "notes/readme.txt", 3000, 1);
    MakeFile(expected / "top/b.bin", 5000, 2);
    MakeFile(expected / "n=1.txt", 10, 3);
    const Outcome verified = RunShell(Quoted(verifier_) + " " + Quoted(root_ / "out.iso") + " --tree " +
                                      Quoted(expected));
    EXPECT_EQ(verified.exitCode, 0) << verified.output;

    // Primary volume descriptor fields, blank-padded.
    const std::string pvd = ReadAll(root_ / "out.iso").substr(kFirstDescriptorBlock * kBlock, kBlock);
    struct Field {
        std::size_t offset;
        std::size_t width;
        const char* text;
    };
    for (const Field f : {Field{8, 32, "LINUX"}, Field{40, 32, "VOL"}, Field{190, 128, "SET"},
                          Field{318, 128, "TAVRIN TEAM"}, Field{446, 128, "PREP"}, Field{574, 128, "APP"},
                          Field{702, 37, "COPY.TXT"}}) {
        std::string text = f.text;
        text.resize(f.width, ' ');
        EXPECT_EQ(pvd.substr(f.offset, f.width), text) << f.text;
    }
}

// The drive options of a burn: the drive calibrates its laser first (the refused
// SEND OPC INFORMATION shows in the trace), the disc is closed and the tray opened.
TEST_F(CliBurn, BurnOptionsReachTheDrive) {
    makeTree("tree", "data", 12);
    struct Case {
        const char* options;
        bool opc;
        bool closed;
        bool ejected;
    };
    const Case cases[] = {
        {"--opc --close --eject --cache 8 --no-underrun-protection", true, true, true},
        {"--speed max", false, false, false},
    };
    for (const Case& c : cases) {
        fs::remove_all(disc_);
        fs::remove_all(disc_.string() + ".recorder");
        useRecorder("cd-r", "refused_opcode = 0x54\n");
        const Outcome burned = run(std::string("-v burn ") + c.options + " tree/data");
        ASSERT_EQ(burned.exitCode, 0) << c.options << ": " << burned.output;
        EXPECT_EQ(Has(burned, "SEND OPC INFORMATION"), c.opc) << c.options << ": " << burned.output;
        EXPECT_EQ(discState().finalized, c.closed) << c.options;
        EXPECT_EQ(Has(burned, "\nejected\n"), c.ejected) << burned.output;
        EXPECT_EQ(vrecorder::loadRecorderConfig(disc_.string() + ".recorder").trayOpen, c.ejected) << c.options;
    }
}

// With --archive-only a folder's files go into the session only when they changed
// since a burn with --archive-only wrote them.
TEST_F(CliBurn, ArchiveOnlyBurnsWhatChangedSinceTheLastBurn) {
    MakeFile(root_ / "tree/data/kept.txt", 100, 1);
    MakeFile(root_ / "tree/data/changed.txt", 200, 2);
    if (::setxattr((root_ / "tree/data/kept.txt").c_str(), "user.tavrin.probe", "1", 1, 0) != 0)
        GTEST_SKIP() << "no user extended attributes on " << root_;
    ::removexattr((root_ / "tree/data/kept.txt").c_str(), "user.tavrin.probe");
    useRecorder("cd-r");
    const Outcome first = run("burn --archive-only tree/data");
    ASSERT_EQ(first.exitCode, 0) << first.output;

    MakeFile(root_ / "tree/data/changed.txt", 300, 3);
    const Outcome second = run("burn --archive-only tree/data");
    ASSERT_EQ(second.exitCode, 0) << second.output;
    const Outcome listed = run("ls --session 2 data");
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_TRUE(Has(listed, "  changed.txt\n")) << listed.output;
    EXPECT_FALSE(Has(listed, "kept.txt")) << listed.output;
    const Outcome all = run("ls --session 1 data");
    EXPECT_TRUE(Has(all, "  changed.txt\n") && Has(all, "  kept.txt\n")) << all.output;
}

// burn-iso onto tgt's MMC unit over iSCSI: its backing file starts with the image.
TEST_F(CliBurn, BurnIsoOverIscsiPutsTheImageOnTheDisc) {
    if (const auto why = TgtTarget::Unavailable()) GTEST_SKIP() << *why;
    TgtTarget tgt;
    if (!tgt.PickPort(3800)) GTEST_SKIP() << "no free port in 3800-3899";
    ASSERT_TRUE(tgt.Start(root_ / "tgt")) << "tgt did not start; see " << tgt.Log();
    std::ofstream(root_ / "recorders.ini") << "[recorder tgt]\ntype = iscsi\nurl = " << tgt.Url() << "\n";
    const std::string image = Pattern(1000 * kBlock, 9);
    std::ofstream(root_ / "in.iso", std::ios::binary) << image;

    const Outcome burned = run("burn-iso -d 0 in.iso");
    ASSERT_EQ(burned.exitCode, 0) << burned.output;
    EXPECT_TRUE(Has(burned, "\nburned\n")) << burned.output;
    const std::string backing = ReadAll(tgt.BackingFile());
    ASSERT_GE(backing.size(), image.size());
    EXPECT_TRUE(backing.compare(0, image.size(), image) == 0);
    EXPECT_TRUE(tgt.Stop());
}

}  // namespace
}  // namespace tavrin::test
