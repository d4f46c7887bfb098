// Adding folder trees to the compilation: a tree of 100,000 files in 5,000 folders
// and one folder of 50,000 files, from a warm page cache. Compare the times with
// `find DIR -printf` on the same trees (bench/compare_find.sh), the floor for
// listing them. Trees are made once under TAVRIN_BENCH_DIR (default: a folder in
// the temporary directory, kept for the next run).
//
// The Profile benchmarks work on a tree of bench/make_tree.py: TAVRIN_BENCH_TREE,
// or the profile TAVRIN_BENCH_PROFILE (default many) made once under
// TAVRIN_BENCH_DIR/trees. They time adding it as the application adds a folder,
// listing it with find, and laying it out for an image alone. The Huge benchmark
// adds and lays out the tree of the compilation's capacities (TAVRIN_BENCH_HUGE_TREE,
// or the profile huge made under TAVRIN_BENCH_DIR/trees). Peak RSS counters are the
// process's: run one such benchmark per process (bench/run_all.sh does).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "engine/compilation/burner.h"
#include "engine/iso/layout.h"
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

// In use: the arena's chunks and the large blocks the allocator maps on their own
// (the entry tables, a big header stream).
std::size_t HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Heap bytes per entry grown since `before`, beside `names`. NaN where the heap
// cannot be read (a sanitizer's allocator answers mallinfo2 with zeros).
double HeapPerEntry(std::size_t before, std::size_t names, std::size_t entries) {
    const std::size_t now = HeapBytes();
    if (entries == 0 || now < before + names) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(now - before - names) / static_cast<double>(entries);
}

// Heap bytes of a name beyond the string object itself (short names live inside it).
std::size_t NameHeap(const std::string& s) {
    return s.capacity() > 15 ? s.capacity() + 1 : 0;
}

void AddFolder(benchmark::State& state, const fs::path& folder) {
    TvxCDBurner burner;
    burner.StripSourcePath = true;
    double perEntry = 0;
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
        perEntry = HeapPerEntry(before, names, entries);
        namesPerEntry = names / std::max<std::size_t>(entries, 1);
        state.ResumeTiming();
    }
    state.counters["entries"] = static_cast<double>(burner.FilesCount());
    state.counters["dirs"] = static_cast<double>(burner.DirsCount());
    state.counters["heap_B_per_entry"] = perEntry;
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

// The compilation's capacities, as the application sets them.
constexpr int kMaxFiles = 600000;
constexpr int kMaxFolders = 20000;
// The attributes the application adds a folder with: every entry.
constexpr int kAllAttributes = 63;

// A tree of make_tree.py: the path in `variable`, or the profile made once under
// TAVRIN_BENCH_DIR/trees (kept for the next runs; make_tree.py renames it into place
// when complete). Empty when it cannot be made.
fs::path ProfileTree(const char* variable, const std::string& profile) {
    if (const char* given = std::getenv(variable); given != nullptr && *given != '\0') return given;
    const fs::path tree = BenchRoot() / "trees" / profile;
    if (fs::is_directory(tree)) return tree;
    fs::create_directories(tree.parent_path());
    fs::remove_all(tree.string() + ".partial");
    const std::string command = "python3 '" TAVRIN_BENCH_SOURCE_DIR "/make_tree.py' '" + tree.string() + "' " +
                                profile + " >&2";
    return std::system(command.c_str()) == 0 && fs::is_directory(tree) ? tree : fs::path();
}

fs::path ChosenTree() {
    const char* profile = std::getenv("TAVRIN_BENCH_PROFILE");
    return ProfileTree("TAVRIN_BENCH_TREE", profile != nullptr && *profile != '\0' ? profile : "many");
}

fs::path HugeTree() { return ProfileTree("TAVRIN_BENCH_HUGE_TREE", "huge"); }

// Heap bytes of every name the compilation holds: file names and source paths,
// directory names and full paths.
std::size_t CompilationNameHeap(const TvxCDBurner& burner) {
    std::size_t names = 0;
    for (const auto& entry : burner.Tree().Files())
        names += NameHeap(entry->ShortName) + NameHeap(entry->LongName) + NameHeap(entry->SourcePath);
    for (const auto& dir : burner.Tree().Dirs())
        names += NameHeap(dir->ShortName) + NameHeap(dir->LongName) + NameHeap(dir->FullPath);
    return names;
}

double PeakRssBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

double RssBytes() {
    long pages = 0;
    long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Adds the tree as the application adds a folder: into the root, every attribute,
// keeping the folder's name, or its content at the root (a tree that fills the
// folder capacity has no room for one more folder).
bool AddAsApplication(TvxCDBurner& burner, const fs::path& tree, bool keepName = true) {
    return burner.InsertDir(burner.Root(), tree.string() + "/", "*.*", kAllAttributes, true, keepName, false);
}

// The memory counters of a filled compilation: heap beside the names per entry, the
// names per entry, and the peak RSS (whole process, from its start) per entry.
void MemoryCounters(benchmark::State& state, const TvxCDBurner& burner, std::size_t heapBefore,
                    double rssAtStart) {
    const std::size_t names = CompilationNameHeap(burner);
    const auto entries = static_cast<double>(burner.Tree().Files().size());
    state.counters["entries"] = entries;
    state.counters["heap_B_per_entry"] = HeapPerEntry(heapBefore, names, burner.Tree().Files().size());
    state.counters["name_B_per_entry"] = static_cast<double>(names) / entries;
    state.counters["peak_RSS_MB"] = PeakRssBytes() / 1e6;
    state.counters["peak_RSS_B_per_entry"] = (PeakRssBytes() - rssAtStart) / entries;
}

// The resident set when the program started, before any tree was added.
const double kRssAtStart = RssBytes();

// Adds the tree in every iteration, as the application adds a folder, and lays it
// out too when `prepare`; the memory counters are those of the last iteration.
void AddTree(benchmark::State& state, const fs::path& tree, bool prepare, bool keepName) {
    TvxCDBurner burner;
    burner.StripSourcePath = true;
    std::size_t heapBefore = 0;
    for (auto _ : state) {
        state.PauseTiming();
        burner.ClearAll(kMaxFiles, kMaxFolders);
        heapBefore = HeapBytes();
        state.ResumeTiming();
        if (!AddAsApplication(burner, tree, keepName)) state.SkipWithError("the tree could not be added");
        if (prepare && !tavrin::iso::Prepare(burner, true)) state.SkipWithError("the tree cannot be laid out");
    }
    MemoryCounters(state, burner, heapBefore, kRssAtStart);
    if (prepare)
        state.counters["header_B_per_entry"] =
            static_cast<double>(burner.HeaderStream.size()) / static_cast<double>(burner.Tree().Files().size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(burner.FilesCount()));
}

void BM_AddProfileTree(benchmark::State& state) {
    const fs::path tree = ChosenTree();
    if (tree.empty()) return state.SkipWithError("no tree: see make_tree.py");
    AddTree(state, tree, false, true);
}

// The listing floor: find prints what adding reads of every entry.
void BM_FindProfileTree(benchmark::State& state) {
    const fs::path tree = ChosenTree();
    if (tree.empty()) return state.SkipWithError("no tree: see make_tree.py");
    const std::string command = "find '" + tree.string() + "' -printf '%s %T@ %p\\n' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
    }
}

// Laying the added tree out for an image file, alone.
void BM_PrepareProfileTree(benchmark::State& state) {
    const fs::path tree = ChosenTree();
    if (tree.empty()) return state.SkipWithError("no tree: see make_tree.py");
    TvxCDBurner burner;
    burner.StripSourcePath = true;
    burner.ClearAll(kMaxFiles, kMaxFolders);
    if (!AddAsApplication(burner, tree)) return state.SkipWithError("the tree could not be added");
    for (auto _ : state) {
        if (!tavrin::iso::Prepare(burner, true)) state.SkipWithError("the tree cannot be laid out");
    }
    state.counters["entries"] = static_cast<double>(burner.Tree().Files().size());
    state.counters["header_B_per_entry"] =
        static_cast<double>(burner.HeaderStream.size()) / static_cast<double>(burner.Tree().Files().size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(burner.FilesCount()));
}

// The compilation's capacities added (the content at the root: the tree's folders
// and the root fill the folder capacity) and laid out, as a save of it does before
// the first block is written; memory counted after both.
void BM_AddPrepareHuge(benchmark::State& state) {
    const fs::path tree = HugeTree();
    if (tree.empty()) return state.SkipWithError("no huge tree: see make_tree.py");
    AddTree(state, tree, true, false);
}

BENCHMARK(BM_ListTree100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddTree100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFlat50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFlat50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertRecordsOneFolder)->RangeMultiplier(4)->Range(3125, 200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteEveryOtherFile)->RangeMultiplier(4)->Range(3125, 200000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_FindProfileTree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddProfileTree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrepareProfileTree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddPrepareHuge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
