// Makes the seed corpus of the import fuzzer from what the builder writes: small
// compilations saved as images (with and without Joliet, Chinese names, a tree of
// folders only) and a recordable CD with two sessions, the second importing the
// first. Usage: import_fuzz_seeds OUTPUT_FOLDER
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/iso/layout.h"
#include "engine/sessions/import.h"
#include "engine/writing/disc_writer.h"
#include "engine/writing/save_iso.h"
#include "fuzz/fuzz_disc.h"
#include "fuzz/in_process_drive.h"
#include "recorders/virtual/disc_store.h"

namespace {

namespace fs = std::filesystem;
using namespace tavrin;

const TDateTime kLayoutTime = compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0});
void NoSleep(int) {}
const fs::file_time_type kSourceTime =
    fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::sys_days{std::chrono::December / 10 / 2026}});

struct SourceFile {
    std::string path;  // relative, UTF-8
    std::size_t size;
};

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

fs::path MakeSource(const fs::path& base, const std::vector<SourceFile>& files,
                    const std::vector<std::string>& emptyFolders = {}) {
    for (const SourceFile& f : files) {
        std::vector<uint8_t> bytes(f.size);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>('a' + i % 26);
        WriteBytes(base / f.path, bytes);
    }
    for (const std::string& folder : emptyFolders) fs::create_directories(base / folder);
    // Fixed dates: the seeds come out the same on every run.
    for (const auto& entry : fs::recursive_directory_iterator(base)) fs::last_write_time(entry.path(), kSourceTime);
    return base;
}

void Compose(TvxCDBurner& burner, const fs::path& source) {
    if (!burner.InsertDir(burner.Root(), source.string() + "/", "*.*", 63, true, false, false))
        throw std::runtime_error("cannot add " + source.string());
}

// A compilation saved as an image, pressed and described as a fuzz input.
std::vector<uint8_t> ImageSeed(const fs::path& work, const std::string& name, const fs::path& source, bool joliet) {
    TvxCDBurner burner;
    burner.JolietFileSystem = joliet;
    burner.IdVolume = "SEED";
    Compose(burner, source);
    if (!iso::Prepare(burner, true, kLayoutTime)) throw std::runtime_error("no layout for " + source.string());
    const fs::path image = work / (name + ".iso");
    writing::SaveISO(burner, image.string(), true);
    const fs::path disc = work / (name + ".disc");
    return fuzz::DescribeDisc(vrecorder::DiscStore::press(disc, image, vrecorder::MediaKind::CdRom));
}

// The plain form: the image itself, without its trailing zero blocks.
std::vector<uint8_t> RawSeed(const fs::path& work, const fs::path& source) {
    TvxCDBurner burner;
    burner.IdVolume = "RAW";
    Compose(burner, source);
    if (!iso::Prepare(burner, true, kLayoutTime)) throw std::runtime_error("no layout for " + source.string());
    const fs::path image = work / "raw.iso";
    writing::SaveISO(burner, image.string(), true);
    std::ifstream in(image, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (bytes.size() > fuzz::kMinimumImageBlocks * vrecorder::kBlockSize &&
           std::all_of(bytes.end() - vrecorder::kBlockSize, bytes.end(), [](uint8_t b) { return b == 0; }))
        bytes.resize(bytes.size() - vrecorder::kBlockSize);
    return bytes;
}

void Burn(TvxCDBurner& burner) {
    if (!iso::Prepare(burner, false, kLayoutTime, NoSleep)) throw std::runtime_error("no layout for the disc");
    std::string error = "not reported";
    burner.OnWriteDone = [&error](TvxCDBurner&, const std::string& e) { error = e; };
    writing::WriterOptions options;
    options.sleep = NoSleep;
    writing::DiscWriter writer(burner, options);
    writer.BurnCD();
    writer.WaitDone();
    burner.OnWriteDone = nullptr;
    if (!error.empty()) throw std::runtime_error("burn failed: " + error);
}

// Session 1 with its files, then session 2 with session 1 imported and new files.
std::vector<uint8_t> TwoSessionSeed(const fs::path& work, const fs::path& first, const fs::path& second) {
    fuzz::InProcessDrive drive(work / "drive");
    drive.clearDisc();
    vrecorder::DiscStore::create(drive.discFolder(), vrecorder::MediaKind::CdR);
    drive.reload();
    TvxCDBurner burner;
    if (!drive.select(burner)) throw std::runtime_error("the recorder is not found");
    Compose(burner, first);
    Burn(burner);
    burner.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
    if (!sessions::ImportSession(burner, -1, nullptr)) throw std::runtime_error("session 1 does not import");
    Compose(burner, second);
    Burn(burner);
    return fuzz::DescribeDisc(vrecorder::DiscStore::open(drive.discFolder()));
}

void Save(const fs::path& out, const std::string& name, const std::vector<uint8_t>& seed) {
    WriteBytes(out / name, seed);
    std::printf("%s: %zu bytes\n", name.c_str(), seed.size());
}

void MakeSeeds(const fs::path& out, const fs::path& work) {
    const std::vector<SourceFile> basic = {
        {"README.TXT", 100}, {"docs/manual.txt", 3000}, {"docs/deep/nested/data.bin", 5000}, {"empty.txt", 0},
        {"A long file name with spaces.text", 2049}};
    const fs::path plain = MakeSource(work / "plain", basic, {"emptydir"});
    Save(out, "joliet.tvxm", ImageSeed(work, "joliet", plain, true));
    Save(out, "iso-only.tvxm", ImageSeed(work, "iso-only", plain, false));

    const fs::path chinese = MakeSource(work / "chinese", {{"中文文件.txt", 300},
                                                           {"资料/说明书 第一版.txt", 2100},
                                                           {"资料/图片/照片.bin", 700},
                                                           {"mixed 名字 name.dat", 10}});
    Save(out, "chinese.tvxm", ImageSeed(work, "chinese", chinese, true));

    const fs::path folders = MakeSource(work / "folders", {{"a/b/c/empty.txt", 0}, {"x/empty2.txt", 0}},
                                        {"a/b/c/d/e/f/g/h", "y", "z/zz"});
    Save(out, "folders.iso", RawSeed(work, folders));

    const fs::path one = MakeSource(work / "one", {{"s1/first.txt", 2049}, {"s1/deep/one.bin", 4000}});
    const fs::path two = MakeSource(work / "two", {{"s2/second.txt", 1000}, {"s2/第二.txt", 50}});
    Save(out, "two-sessions.tvxm", TwoSessionSeed(work, one, two));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path work = fs::temp_directory_path() / ("tavrin-fuzz-seeds-" + std::to_string(::getpid()));
    int status = 0;
    try {
        fs::create_directories(argv[1]);
        fs::create_directories(work);
        MakeSeeds(argv[1], work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
