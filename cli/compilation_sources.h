// What save-iso and burn share: a compilation built from local files and folders,
// as the application adds them, and the GBK <-> UTF-8 conversions at the terminal.
#pragma once

#include <optional>
#include <string>

#include "cli/commands.h"
#include "engine/compilation/burner.h"

namespace tavrin::cli {

// Engine texts are GBK; the terminal is UTF-8. A text without a UTF-8 form is
// shown as it is rather than lost.
std::string Shown(const std::string& gbk);
// Throws CommandFailure naming `what` when the text has no GBK form.
std::string GbkOf(const std::string& utf8, const char* what);

// Debug lines about what was left out (type 4) are always shown, the others only
// when asked for; all on standard error.
void ShowDebugLines(TvxCDBurner& burner, bool verbose);

// Empties the compilation, with the capacities the application gives a new one.
void EmptyCompilation(TvxCDBurner& burner);

// Empties the compilation, takes the volume label and the Joliet choice, imports
// the session `importSession` of the disc into the root when given, and adds every
// source: a folder keeps its own name under the root, a file goes into the root. A
// source replaces an imported file of the same name: the user asked for the new
// one. Throws CommandFailure for a missing or unreadable source, or a session that
// cannot be imported.
void BuildCompilation(TvxCDBurner& burner, const CompilationOptions& compilation,
                      std::optional<int> importSession = std::nullopt);

}  // namespace tavrin::cli
