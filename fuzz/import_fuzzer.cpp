// libFuzzer target: the disc in the drive is the fuzz input. Each input becomes a
// disc (fuzz_disc.h) in a virtual recorder that answers on this thread through the
// engine's transport; the burner imports its first session and its last, copies a
// few of the imported files back, and lays out a new session on top of the import,
// as a following burn would. Whatever the disc says, none of this may crash, hang,
// leak or read outside its buffers.
//
// The work folder is TAVRIN_FUZZ_DIR, else a folder in /dev/shm (memory-backed: a
// disc is made for every input). TAVRIN_FUZZ_VERBOSE=1 prints the debug lines and
// what each import found, to look at what an input does.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/drive/media_info.h"
#include "engine/iso/layout.h"
#include "engine/sessions/extract.h"
#include "engine/sessions/import.h"
#include "engine/writing/io_error.h"
#include "fuzz/fuzz_disc.h"
#include "fuzz/in_process_drive.h"

namespace {

namespace fs = std::filesystem;
using namespace tavrin;

// Copying back is for the code paths, not the data: small files, a few of them.
constexpr uint64_t kLargestExtractedFile = 256 * 1024;
constexpr int kExtractedFiles = 4;

fs::path WorkFolder() {
    if (const char* dir = std::getenv("TAVRIN_FUZZ_DIR")) return dir;
    const fs::path shm = "/dev/shm";
    const fs::path base = fs::is_directory(shm) ? shm : fs::temp_directory_path();
    return base / ("tavrin-import-fuzz-" + std::to_string(::getpid()));
}

struct Harness {
    Harness() : folder(WorkFolder()), drive(folder) {
        fs::create_directories(folder / "out");
        drive.clearDisc();
        // A drive with no disc still answers the scan and the identification.
        drive.reload();
        selected = drive.select(burner);
        verbose = std::getenv("TAVRIN_FUZZ_VERBOSE") != nullptr;
        burner.OnDebugMessage = [this](TSCSIDevice&, const std::string& line, uint8_t type) {
            if (verbose) std::fprintf(stderr, "  [%u] %s\n", unsigned{type}, line.c_str());
        };
    }
    ~Harness() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void ExtractSome() {
        int copied = 0;
        for (const auto& entry : burner.Tree().Files()) {
            if (entry->Deleted || entry->IsSubdirectory()) continue;
            const std::string local = (folder / "out").string() + "/" + sessions::SafeLocalName(entry->LongName);
            if (!entry->Imported || entry->Size > kLargestExtractedFile || copied == kExtractedFiles) continue;
            ++copied;
            try {
                sessions::ExtractFile(burner, entry.get(), local);
            } catch (const IOError&) {
                // A safe name the local file system still refuses: reported, not a fault.
            }
        }
    }

    void Report(const char* what, bool imported) const {
        if (!verbose) return;
        std::fprintf(stderr, "%s: %s, %d folders, %d files\n", what, imported ? "imported" : "not imported",
                     burner.DirsCount(), burner.FilesCount());
    }

    void Run(std::span<const uint8_t> input) {
        drive.clearDisc();
        fuzz::MakeDisc(input, drive.discFolder(), scratch);
        drive.reload();
        burner.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
        // On a disc of one session the first is the last: imported once, below.
        if (drive::LastSessionNumber(burner) > 1) {
            const bool first = sessions::ImportSession(burner, 1, nullptr);
            Report("session 1", first);
            if (first) ExtractSome();
            burner.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
        }
        const bool last = sessions::ImportSession(burner, -1, nullptr);
        Report("last session", last);
        if (last) {
            ExtractSome();
            iso::Prepare(burner, true, kLayoutTime);
        }
        fs::remove_all(folder / "out");
        fs::create_directory(folder / "out");
    }

    const TDateTime kLayoutTime = compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0});
    fs::path folder;
    fuzz::InProcessDrive drive;
    TvxCDBurner burner;
    bool selected = false;
    bool verbose = false;
    std::vector<uint8_t> scratch;
};

Harness& TheHarness() {
    static Harness harness;
    return harness;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Harness& harness = TheHarness();
    if (!harness.selected) std::abort();  // the set-up itself is broken: no run means anything
    harness.Run(std::span<const uint8_t>(data, size));
    return 0;
}
