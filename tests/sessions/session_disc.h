#pragma once
// Discs for the import tests: compilations built by hand in a fixed order (so that
// their records lie in a known order), saved as images or burnt onto a virtual
// CD-R, pressed into a virtual recorder behind the manager library, and what an
// import made of them, listed entry by entry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/compilation/date_time.h"
#include "engine/iso/layout.h"
#include "engine/platform/directory.h"
#include "engine/platform/gbk.h"
#include "engine/sessions/import.h"
#include "engine/writing/save_iso.h"
#include "recorders/virtual/disc_store.h"
#include "tests/writing/image_bytes.h"
#include "tests/writing/recorders/recorded_recorder.h"

namespace tavrin::test {

namespace fs = std::filesystem;
using testing::Bytes;

// The build time of every layout: the self and parent records carry it.
inline const TDateTime kBuildTime = compilation::DateTimeFromLocal({2026, 12, 10, 21, 0, 0, 0});

// One entry of a compilation: what an import must give back for it.
struct EntryFacts {
    std::string path;  // long names joined with "\", GBK
    bool directory = false;
    uint64_t size = 0;
    uint32_t extent = 0;  // absolute block of the data; 0 for folders and empty files
    TDateTime date = 0;
    bool operator==(const EntryFacts&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const EntryFacts& e) {
    return os << (e.directory ? "dir " : "file ") << platform::GbkToUtf8(e.path).value_or(e.path) << " size "
              << e.size << " extent " << e.extent << " date " << e.date;
}

struct SeenLine {
    std::string text;
    uint8_t type = 0;
};

class SessionDisc : public RecordedRecorder {
protected:
    void SetUp() override {
        RecordedRecorder::SetUp();
        burner_.OnDebugMessage = [this](TSCSIDevice&, const std::string& text, uint8_t type) {
            lines_.push_back({text, type});
        };
    }

    // A local file of `size` bytes under the scratch folder (UTF-8 name) added to
    // `dir` of the compilation under its GBK name. Zeroed: its blocks hold no
    // records, for a walk that runs past a directory's blocks into file data.
    void AddFile(PDirEntry dir, const std::string& utf8Name, std::size_t size, uint8_t seed = 1,
                 bool zeroed = false) {
        const fs::path path = root_ / "src" / std::to_string(sources_++) / utf8Name;
        fs::create_directories(path.parent_path());
        testing::WriteAll(path.string(), zeroed ? Bytes(size, 0) : testing::Content(size, seed));
        const std::string gbkPath = platform::Utf8ToGbk(path.string()).value_or("");
        const auto record = platform::StatRecord(gbkPath);
        ASSERT_TRUE(record.has_value()) << path;
        ASSERT_TRUE(burner_.InsertFile(dir, *record, false, 0, gbkPath)) << path;
    }

    PDirEntry AddDir(PDirEntry parent, const std::string& utf8Name) {
        TSearchRec rec;
        rec.name = platform::Utf8ToGbk(utf8Name).value_or(utf8Name);
        rec.attr = platform::kAttrDirectory;
        rec.time = 0x5A2B6C3D;  // 2025-01-11 13:33:58
        return burner_.CreateDir(parent, rec);
    }

    // The compilation as an image file (session start 0).
    Bytes SaveImage() {
        EXPECT_TRUE(iso::Prepare(burner_, true, kBuildTime));
        const fs::path image = root_ / "saved.iso";
        writing::SaveISO(burner_, image.string(), true);
        return testing::ReadAll(image.string());
    }

    // A CD-ROM pressed from `image` in the recorder, selected once it has spun up;
    // or at once, with the recorder configured by `extra`.
    void Press(const Bytes& image, bool spunUp = true, const std::string& extra = {}) {
        const fs::path file = root_ / "pressed.iso";
        testing::WriteAll(file.string(), image);
        disc_ = root_ / "disc";
        vrecorder::DiscStore::press(disc_, file, vrecorder::MediaKind::CdRom);
        if (spunUp) {
            selectSpunUp(extra);
        } else {
            select(extra);
        }
    }

    // An import of `session` into an empty compilation (or into `dir` of the one there).
    bool Import(int8_t session, bool clear = true, PDirEntry dir = nullptr) {
        if (clear) burner_.ClearAll(TvxCDBurner::kDefaultMaxFiles, TvxCDBurner::kDefaultMaxDirs);
        lines_.clear();
        return sessions::ImportSession(burner_, session, dir);
    }

    // Every entry below `dir`, depth first in list order. Extents as the disc has
    // them: the layout's file extents count from FirstFileBlock, imported ones are
    // absolute already.
    std::vector<EntryFacts> Entries(PDirEntry dir = nullptr, const std::string& prefix = "") const {
        std::vector<EntryFacts> out;
        if (dir == nullptr) dir = burner_.Root();
        for (PFileEntry e = dir->FirstEntry; e != nullptr; e = e->Next) {
            // A folder's size is its extent's, which the next layout sets anew.
            EntryFacts facts{prefix + e->LongName, e->IsSubdirectory(), e->IsSubdirectory() ? 0 : e->Size, 0,
                             e->DateTime};
            if (!e->IsSubdirectory() && e->Size > 0) {
                facts.extent = e->Imported ? e->IsoExtent : burner_.Layout.FirstFileBlock + e->IsoExtent;
            }
            out.push_back(facts);
            if (e->IsSubdirectory()) {
                const auto below = Entries(e->Dir, facts.path + "\\");
                out.insert(out.end(), below.begin(), below.end());
            }
        }
        return out;
    }

    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        for (const auto& e : Entries()) paths.push_back(e.path);
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    // Whether a line of `type` contains `part`.
    bool Saw(std::string_view part, uint8_t type = kDebugImage) const {
        return std::any_of(lines_.begin(), lines_.end(), [&](const SeenLine& l) {
            return l.type == type && l.text.find(part) != std::string::npos;
        });
    }

    std::string AllLines() const {
        std::string all;
        for (const auto& l : lines_) all += std::to_string(l.type) + ": " + l.text + "\n";
        return all;
    }

    std::vector<SeenLine> lines_;
    int sources_ = 0;
};

}  // namespace tavrin::test
