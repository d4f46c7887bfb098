// Adding folder trees to the compilation: a tree of 100,000 files in 5,000 folders
// and one folder of 50,000 files, from a warm page cache. Compare the times with
// `find DIR -printf` on the same trees (bench/compare_find.sh), the floor for
// listing them. Trees are made once under TAVRIN_BENCH_DIR (default: a folder in
// the temporary directory, kept for the next run).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/compilation/burner.h"
#include "engine/platform/directory.h"

namespace {

namespace fs = std::filesystem;
using tavrin::PDirEntry;
using tavrin::PFileEntry;
using tavrin::TvxCDBurner;

constexpr int kTopFolders = 50;
constexpr int kSubFolders = 99;        // 50 + 50 x 99 = 5,000 folders
constexpr int kFilesPerFolder = 20;    // 100,000 files
constexpr int kFlatFiles = 50000;

fs::path BenchRoot() {
    const char* dir = std::getenv("TAVRIN_BENCH_DIR");
    return dir != nullptr ? fs::path(dir) : fs::temp_directory_path() / "tavrin-bench";
}

void MakeFiles(const fs::path& folder, int count, const std::string& stem) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) std::ofstream(folder / (stem + std::to_string(i) + ".dat")) << i;
}

// Made once; a marker file says the tree is complete.
fs::path Tree() {
    const fs::path root = BenchRoot() / "tree";
    if (fs::exists(root / ".complete")) return root;
    for (int top = 0; top < kTopFolders; ++top) {
        const fs::path topFolder = root / ("folder" + std::to_string(top));
        MakeFiles(topFolder, kFilesPerFolder, "file");
        for (int sub = 0; sub < kSubFolders; ++sub)
            MakeFiles(topFolder / ("sub" + std::to_string(sub)), kFilesPerFolder, "file");
    }
    std::ofstream(root / ".complete");
    return root;
}

fs::path FlatFolder() {
    const fs::path root = BenchRoot() / "flat";
    if (!fs::exists(root / ".complete")) {
        MakeFiles(root / "files", kFlatFiles, "file");
        std::ofstream(root / ".complete");
    }
    return root / "files";
}

std::size_t HeapBytes() {
    return mallinfo2().uordblks;
}

// Heap bytes of a name beyond the string object itself (short names live inside it).
std::size_t NameHeap(const std::string& s) {
    return s.capacity() > 15 ? s.capacity() + 1 : 0;
}

void AddFolder(benchmark::State& state, const fs::path& folder) {
    TvxCDBurner burner;
    burner.StripSourcePath = true;
    std::size_t perEntry = 0;
    std::size_t namesPerEntry = 0;
    for (auto _ : state) {
        state.PauseTiming();
        burner.ClearAll(600000, 20000);
        const std::size_t before = HeapBytes();
        state.ResumeTiming();
        const bool added = burner.InsertDir(burner.Root(), folder.string(), "*.*", 63, true, true, false);
        state.PauseTiming();
        if (!added) state.SkipWithError("the folder could not be added");
        std::size_t names = 0;
        for (const auto& entry : burner.Tree().Files())
            names += NameHeap(entry->ShortName) + NameHeap(entry->LongName) + NameHeap(entry->SourcePath);
        const std::size_t entries = burner.Tree().Files().size();
        perEntry = (HeapBytes() - before - names) / entries;
        namesPerEntry = names / entries;
        state.ResumeTiming();
    }
    state.counters["entries"] = static_cast<double>(burner.FilesCount());
    state.counters["dirs"] = static_cast<double>(burner.DirsCount());
    state.counters["heap_B_per_entry"] = static_cast<double>(perEntry);
    state.counters["name_B_per_entry"] = static_cast<double>(namesPerEntry);
    state.SetItemsProcessed(state.iterations() * burner.FilesCount());
}

// Listing alone, the platform's share of adding.
void ListFolder(benchmark::State& state, const fs::path& folder) {
    int64_t records = 0;
    for (auto _ : state) {
        records = 0;
        std::vector<std::string> pending{folder.string()};
        while (!pending.empty()) {
            const std::string path = pending.back();
            pending.pop_back();
            const auto listing = tavrin::platform::ListDirectory(path);
            if (!listing) continue;
            for (const auto& rec : listing->entries) {
                if (rec.name == "." || rec.name == "..") continue;
                ++records;
                if (rec.attr & tavrin::platform::kAttrDirectory) pending.push_back(path + "/" + rec.name);
            }
        }
        benchmark::DoNotOptimize(records);
    }
    state.SetItemsProcessed(state.iterations() * records);
}

void BM_AddTree100k(benchmark::State& state) { AddFolder(state, Tree()); }
void BM_ListTree100k(benchmark::State& state) { ListFolder(state, Tree()); }
void BM_AddFlat50k(benchmark::State& state) { AddFolder(state, FlatFolder()); }
void BM_ListFlat50k(benchmark::State& state) { ListFolder(state, FlatFolder()); }

// Records straight into one directory, without the file system: the cost of the
// compilation alone: the items per second must stay of one order from 3,125 to
// 200,000 entries (a quadratic cost would lose a factor of 64).
void BM_InsertRecordsOneFolder(benchmark::State& state) {
    TvxCDBurner burner;
    const auto count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        burner.ClearAll(count + 10, 10);
        const PDirEntry dir = burner.CreateDirPath("\\FILES");
        tavrin::TSearchRec rec;
        rec.attr = tavrin::platform::kAttrArchive;
        rec.sizeLow = 1000;
        state.ResumeTiming();
        for (int i = 0; i < count; ++i) {
            rec.name = "file" + std::to_string(i) + ".dat";
            burner.InsertFile(dir, rec, false, 0, "/src/files/" + rec.name);
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// Deleting every other file of a large folder one by one, by name.
void BM_DeleteEveryOtherFile(benchmark::State& state) {
    TvxCDBurner burner;
    const auto count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        burner.ClearAll(count + 10, 10);
        const PDirEntry dir = burner.CreateDirPath("\\FILES");
        tavrin::TSearchRec rec;
        for (int i = 0; i < count; ++i) {
            rec.name = "file" + std::to_string(i) + ".dat";
            burner.InsertFile(dir, rec, false, 0, "/src/" + rec.name);
        }
        state.ResumeTiming();
        for (int i = 0; i < count; i += 2) burner.DeleteFile("\\FILES", "file" + std::to_string(i) + ".dat");
    }
}

BENCHMARK(BM_ListTree100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddTree100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFlat50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFlat50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertRecordsOneFolder)->RangeMultiplier(4)->Range(3125, 200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteEveryOtherFile)->RangeMultiplier(4)->Range(3125, 200000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
