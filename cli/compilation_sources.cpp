#include "cli/compilation_sources.h"

#include <fmt/format.h>

#include <cstddef>
#include <filesystem>
#include <system_error>

#include "cli/disc_tree.h"
#include "engine/compilation/names.h"
#include "engine/iso/volume_descriptors.h"
#include "engine/platform/directory.h"
#include "engine/platform/gbk.h"

namespace tavrin::cli {
namespace {

namespace fs = std::filesystem;

// The capacities the application gives a new compilation.
constexpr int kMaxFiles = 600000;
constexpr int kMaxFolders = 20000;
// Every attribute: hidden and system files go into the image too.
constexpr int kAllAttributes = 63;
constexpr char kPlaceSeparator = '=';

// Splits DEST into its names; a trailing "/" marks a folder.
std::vector<std::string> PlaceNames(const std::string& place) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < place.size()) {
        const std::size_t end = std::min(place.find('/', start), place.size());
        names.push_back(place.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

void CheckPlaceName(const std::string& name, const std::string& place) {
    if (name.empty() || name == "." || name == "..")
        throw UsageError(fmt::format("not a place in the image: {} (empty, \".\" or \"..\" name)", place));
    if (name.find('\\') != std::string::npos)
        throw UsageError(fmt::format("not a place in the image: {} (\"\\\" in a name)", place));
}

// The compilation path of a folder ("\a\b"), GBK; the root for none.
std::string FolderPath(const std::vector<std::string>& folders) {
    std::string path;
    for (const std::string& folder : folders) path += compilation::kBackslash + GbkOf(folder, "image folder name");
    return path.empty() ? std::string(1, compilation::kBackslash) : path;
}

// A place in the image as the user writes it.
std::string ImagePath(const std::vector<std::string>& folders, const std::string& name) {
    std::string path;
    for (const std::string& folder : folders) path += "/" + folder;
    return path + "/" + name;
}

PDirEntry PlaceFolder(TvxCDBurner& burner, const std::vector<std::string>& folders) {
    const std::string path = FolderPath(folders);
    const PDirEntry dir = burner.CreateDirPath(path);
    if (dir == nullptr)  // a file of that name stands in the way
        throw CommandFailure(fmt::format("the image cannot hold the folder {}", Shown(path)));
    return dir;
}

// A file is added under its name, so that what took the name can be told: a file
// the engine left out (too large, a name no record holds, one of a folder) has
// said why on the debug channel.
void AddFile(TvxCDBurner& burner, const SourcePlacement& source, const fs::path& path) {
    const std::string local = GbkOf(path.string(), "file");
    auto rec = platform::StatRecord(local);
    if (!rec) throw CommandFailure(fmt::format("cannot read {}", source.local));
    if (source.name) rec->name = GbkOf(*source.name, "image file name");
    const PDirEntry dir = PlaceFolder(burner, source.folders);
    burner.InsertFile(dir, *rec, false, 0, local);
    const PFileEntry added = burner.FindChild(dir, rec->name);
    if (added == nullptr || added->SourcePath != local)
        throw CommandFailure(fmt::format("{} could not be added: the image holds {} already or cannot hold it",
                                         source.local, ImagePath(source.folders, Shown(rec->name))));
}

void AddFolder(TvxCDBurner& burner, const SourcePlacement& source, const fs::path& path, bool archiveOnly) {
    std::string folder = GbkOf(path.string(), "folder");
    if (!folder.ends_with('/')) folder += '/';
    // Placed: the folder's content goes into DEST. Plain: the folder keeps its name.
    const PDirEntry dir = PlaceFolder(burner, source.folders);
    burner.InsertDir(dir, folder, "*.*", kAllAttributes, true, !source.placed, archiveOnly);
}

void AddSource(TvxCDBurner& burner, const SourcePlacement& source, bool archiveOnly) {
    std::error_code error;
    const fs::path path = fs::absolute(source.local, error).lexically_normal();
    const auto status = fs::status(path, error);
    if (error || !fs::exists(status)) throw UsageError(fmt::format("no such file or folder: {}", source.local));
    if (fs::is_directory(status)) {
        AddFolder(burner, source, path, archiveOnly);
    } else {
        AddFile(burner, source, path);
    }
}

void SetIdentifier(std::string& field, const std::string& value, std::size_t width, const char* option) {
    std::string gbk = GbkOf(value, option);
    if (gbk.size() > width) throw UsageError(fmt::format("{} holds at most {} bytes", option, width));
    field = std::move(gbk);
}

void SetIdentifiers(TvxCDBurner& burner, const VolumeIdentifiers& ids) {
    SetIdentifier(burner.IdVolume, ids.volume, iso::descriptor::kShortTextBytes, "--volume");
    SetIdentifier(burner.IdSystem, ids.system, iso::descriptor::kShortTextBytes, "--system");
    SetIdentifier(burner.IdVolumeSet, ids.volumeSet, iso::descriptor::kLongTextBytes, "--volume-set");
    SetIdentifier(burner.IdPublisher, ids.publisher, iso::descriptor::kLongTextBytes, "--publisher");
    SetIdentifier(burner.IdPreparer, ids.preparer, iso::descriptor::kLongTextBytes, "--preparer");
    SetIdentifier(burner.IdApplication, ids.application, iso::descriptor::kLongTextBytes, "--application");
    SetIdentifier(burner.FileCopyright, ids.copyrightFile, iso::descriptor::kFileNameBytes, "--copyright-file");
    SetIdentifier(burner.FileAbstract, ids.abstractFile, iso::descriptor::kFileNameBytes, "--abstract-file");
    SetIdentifier(burner.FileBibliographic, ids.bibliographicFile, iso::descriptor::kFileNameBytes, "--bibliographic-file");
}

}  // namespace

std::string Shown(const std::string& gbk) {
    return platform::GbkToUtf8(gbk).value_or(gbk);
}

std::string GbkOf(const std::string& utf8, const char* what) {
    const auto gbk = platform::Utf8ToGbk(utf8);
    if (!gbk) throw UsageError(fmt::format("{} \"{}\" has no GBK form", what, utf8));
    return *gbk;
}

void ShowDebugLines(TvxCDBurner& burner, bool verbose) {
    burner.OnDebugMessage = [verbose](TSCSIDevice&, const std::string& message, uint8_t type) {
        if (verbose) {
            fmt::print(stderr, "debug: {}\n", Shown(message));
        } else if (type == kDebugImage) {
            fmt::print(stderr, "warning: {}\n", Shown(message));
        }
    };
}

void EmptyCompilation(TvxCDBurner& burner) { burner.ClearAll(kMaxFiles, kMaxFolders); }

SourcePlacement PlaceSource(const std::string& argument, bool localPathExists) {
    const std::size_t separator = argument.find(kPlaceSeparator);
    SourcePlacement source;
    if (localPathExists || separator == std::string::npos || separator == 0) {
        source.local = argument;
        return source;
    }
    const std::string place = argument.substr(0, separator);
    source.local = argument.substr(separator + 1);
    source.placed = true;
    if (source.local.empty()) throw UsageError(fmt::format("no local path after \"=\": {}", argument));
    std::vector<std::string> names = PlaceNames(place.starts_with('/') ? place.substr(1) : place);
    const bool intoFolder = place.ends_with('/');
    for (const std::string& name : names) CheckPlaceName(name, place);
    if (!intoFolder && !names.empty()) {
        source.name = names.back();
        names.pop_back();
    }
    source.folders = std::move(names);
    return source;
}

void BuildCompilation(TvxCDBurner& burner, const CompilationOptions& compilation, std::optional<int> importSession) {
    burner.StripSourcePath = true;
    EmptyCompilation(burner);
    SetIdentifiers(burner, compilation.identifiers);
    burner.JolietFileSystem = !compilation.noJoliet;
    if (importSession) {
        ImportIntoRoot(burner, *importSession);
        burner.ReplaceFile = true;
    }
    for (const std::string& argument : compilation.sources) {
        std::error_code error;
        SourcePlacement source = PlaceSource(argument, fs::exists(argument, error));
        // A folder placed at DEST: DEST is the folder itself, not a file's name.
        std::error_code ignored;
        if (source.name && fs::is_directory(source.local, ignored)) {
            source.folders.push_back(*source.name);
            source.name.reset();
        }
        AddSource(burner, source, compilation.archiveOnly);
    }
}

}  // namespace tavrin::cli
