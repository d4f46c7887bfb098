// Directory tables and entry lists made by hand, with only the fields the image
// builder reads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/compilation/date_time.h"
#include "engine/compilation/entries.h"

namespace tavrin::testing {

class DirTree {
public:
    DirTree() {
        auto root = std::make_unique<TDEntry>();
        root->ShortName = "CD_ROOT";
        root->LongName = "CD Root Directory";
        root->Level = 1;
        root->Parent = root.get();
        table.push_back(root.get());
        dirs_.push_back(std::move(root));
    }

    PDirEntry Root() const { return dirs_.front().get(); }

    // A directory appended to the table, as a new directory is appended to every order.
    PDirEntry Add(PDirEntry parent, const std::string& longName, const std::string& shortName) {
        auto dir = std::make_unique<TDEntry>();
        dir->LongName = longName;
        dir->ShortName = shortName;
        dir->Parent = parent;
        dir->Level = static_cast<uint8_t>(parent->Level + 1);
        table.push_back(dir.get());
        dirs_.push_back(std::move(dir));
        return dirs_.back().get();
    }
    PDirEntry Add(PDirEntry parent, const std::string& name) { return Add(parent, name, name); }

    std::vector<PDirEntry> table;  // the order being sorted

private:
    std::vector<std::unique_ptr<TDEntry>> dirs_;
};

// The date the entries of EntryList carry.
inline const TDateTime kEntryDate = compilation::DateTimeFromLocal({2024, 2, 29, 13, 14, 15, 0});

// A directory's entries, linked in the order they are added.
class EntryList {
public:
    explicit EntryList(PDirEntry dir) : dir_(dir) {}

    TFEntry& Add(const std::string& shortName, const std::string& longName) {
        entries_.push_back(std::make_unique<TFEntry>());
        TFEntry& entry = *entries_.back();
        entry.ShortName = shortName;
        entry.LongName = longName;
        entry.DateTime = kEntryDate;
        if (dir_->LastEntry) {
            dir_->LastEntry->Next = &entry;
        } else {
            dir_->FirstEntry = &entry;
        }
        dir_->LastEntry = &entry;
        return entry;
    }

    TFEntry& AddFile(const std::string& shortName, const std::string& longName, uint64_t size, uint32_t extent) {
        TFEntry& file = Add(shortName, longName);
        file.Size = file.JolietSize = size;
        file.IsoExtent = file.JolietExtent = extent;
        return file;
    }

private:
    PDirEntry dir_;
    std::vector<std::unique_ptr<TFEntry>> entries_;
};

}  // namespace tavrin::testing
