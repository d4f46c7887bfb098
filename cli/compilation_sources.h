// What save-iso and burn share: a compilation built from local files and folders,
// as the application adds them, and the GBK <-> UTF-8 conversions at the terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "engine/compilation/burner.h"

namespace tavrin::cli {

// Engine texts are GBK; the terminal is UTF-8. A text without a UTF-8 form is
// shown as it is rather than lost.
std::string Shown(const std::string& gbk);
// Throws UsageError naming `what` when the text has no GBK form.
std::string GbkOf(const std::string& utf8, const char* what);

// Debug lines about what was left out (type 4) are always shown, the others only
// when asked for; all on standard error.
void ShowDebugLines(TvxCDBurner& burner, bool verbose);

// Empties the compilation, with the capacities the application gives a new one.
void EmptyCompilation(TvxCDBurner& burner);

// Where a source of the command line goes. A plain local path: a folder keeps its
// own name under the root, a file goes into the root. DEST=PATH places it (the
// names of DEST separated by "/"): a folder's content goes into the folder DEST, a
// file becomes the file DEST, or keeps its name in DEST when DEST ends with "/".
// An argument that is itself an existing local path is never split at its "=".
struct SourcePlacement {
    std::string local;                  // the local path, UTF-8 as typed
    std::vector<std::string> folders;   // the compilation folders from the root, UTF-8
    std::optional<std::string> name;    // a file's name in the image; none: its own
    bool placed = false;                // DEST=PATH rather than a plain path
};

// Throws UsageError for a DEST with an empty, "." or ".." name or a "\" in a name.
SourcePlacement PlaceSource(const std::string& argument, bool localPathExists);

// Empties the compilation, takes the identifiers and the Joliet choice, imports the
// session `importSession` of the disc into the root when given, and adds every
// source. A source replaces an imported file of the same name: the user asked for
// the new one. Throws UsageError for a missing source, a DEST that cannot be a
// place in the image or an identifier too long for its field, and CommandFailure
// for a session that cannot be imported or a file that could not be added.
void BuildCompilation(TvxCDBurner& burner, const CompilationOptions& compilation,
                      std::optional<int> importSession = std::nullopt);

}  // namespace tavrin::cli
