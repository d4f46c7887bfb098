// What ls, extract and burn --import share: a session of the disc read back into
// the compilation, and the files and folders of it that a user names.
#pragma once

#include <optional>
#include <string>

#include "cli/commands.h"
#include "engine/compilation/burner.h"

namespace tavrin::cli {

// Imports the session (1 the first, -1 the last) into the root of the
// compilation; throws CommandFailure when the disc holds no such session or its
// tree cannot be read.
void ImportIntoRoot(TvxCDBurner& burner, int session);

// What ls and extract start with: the session alone in an empty compilation, the
// engine's debug lines shown as the options ask.
void ImportForBrowsing(TvxCDBurner& burner, const Options& options);

// A file or folder of the imported session. The root is a folder without an entry.
struct DiscItem {
    PFileEntry entry = nullptr;   // the file, or the entry that stands for the folder
    PDirEntry folder = nullptr;   // the folder; none for a file
};

// The item at a path of the disc, written with "/" or "\" between the names (UTF-8,
// as typed); empty, "/" or "\" is the root. None when the session has no such item.
std::optional<DiscItem> FindOnDisc(const TvxCDBurner& burner, const std::string& path);

}  // namespace tavrin::cli
