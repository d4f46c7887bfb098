// extract: files and folders of a session of the disc copied into a local folder,
// a folder with its whole tree. Every local name is made from the disc's name by
// the engine's SafeLocalName, so nothing is written outside the target folder.
// Succeeds only when every file was copied.
#include <fmt/format.h>

#include <cstdio>
#include <set>
#include <string>

#include "cli/commands.h"
#include "cli/compilation_sources.h"
#include "cli/device_session.h"
#include "cli/disc_tree.h"
#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/platform/file.h"
#include "engine/platform/local_time.h"
#include "engine/sessions/extract.h"
#include "engine/writing/io_error.h"

namespace tavrin::cli {
namespace {

// Copies items into local folders and counts what could not be copied.
class Extraction {
public:
    explicit Extraction(TvxCDBurner& burner) : burner_(burner) {}

    // The item under its own name in the target folder (GBK); the root's content
    // goes into the target folder itself.
    void Item(const DiscItem& item, const std::string& target) {
        if (item.entry == nullptr) {
            Content(item.folder, target, targetNames_);
        } else {
            Entry(item.entry, target, targetNames_);
        }
    }

    int copied() const { return copied_; }
    int failed() const { return failed_; }

    // What could not be copied (GBK), said on standard error.
    void Fail(const std::string& what) {
        fmt::print(stderr, "not extracted: {}\n", Shown(what));
        ++failed_;
    }

private:
    // The local names already given in one folder: two disc names that come out as
    // one local name would have one copy overwrite the other.
    using Names = std::set<std::string>;

    void Entry(PFileEntry entry, const std::string& folder, Names& names) {
        const std::string local = folder + "/" + sessions::SafeLocalName(entry->LongName);
        if (!names.insert(local).second) {
            Fail(local + " (another name of the disc has this local name)");
            return;
        }
        if (entry->IsSubdirectory()) {
            Folder(*entry, local);
        } else {
            File(entry, local);
        }
    }

    void Folder(const TFEntry& entry, const std::string& local) {
        if (!platform::CreateFolders(local)) {
            Fail(local + " (the folder cannot be created)");
            return;
        }
        Names names;
        Content(entry.Dir, local, names);
        // After its content: each copy into the folder changed its date.
        const auto localTime = compilation::LocalFromDateTime(entry.DateTime);
        if (const auto dos = localTime ? platform::DosFromLocal(*localTime) : std::nullopt)
            platform::SetLastWriteTime(local, *dos);
    }

    void Content(PDirEntry dir, const std::string& local, Names& names) {
        int kind = 0;
        PFileEntry cursor = nullptr;
        while (burner_.GetNextEntry(dir, kind, cursor)) Entry(cursor, local, names);
    }

    void File(PFileEntry entry, const std::string& local) {
        try {
            if (!sessions::ExtractFile(burner_, entry, local)) {
                Fail(local + " (the disc cannot be read)");
                return;
            }
        } catch (const IOError& e) {
            Fail(local + " (" + e.Reason() + ")");
            return;
        }
        fmt::print("extracted: {}\n", Shown(local));
        ++copied_;
    }

    TvxCDBurner& burner_;
    Names targetNames_;
    int copied_ = 0;
    int failed_ = 0;
};

}  // namespace

void RunExtract(const Options& options) {
    const std::string output = GbkOf(options.extract.output, "output folder");
    DeviceSession session(options);
    session.Select(options.device);
    TvxCDBurner& burner = session.burner();
    ImportForBrowsing(burner, options);
    if (!platform::CreateFolders(output))
        throw CommandFailure(fmt::format("cannot create the folder {}", options.extract.output));

    Extraction extraction(burner);
    for (const std::string& path : options.extract.paths) {
        const auto item = FindOnDisc(burner, path);
        if (!item) {
            extraction.Fail(GbkOf(path, "disc path") + " (not on the disc)");
            continue;
        }
        extraction.Item(*item, output);
    }
    std::fflush(stdout);
    fmt::print("extracted {} files\n", extraction.copied());
    if (extraction.failed() > 0)
        throw CommandFailure(fmt::format("{} not extracted, see above", extraction.failed()));
}

}  // namespace tavrin::cli
