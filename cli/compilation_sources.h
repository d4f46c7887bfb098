// What save-iso and burn share: a compilation built from local files and folders,
// as the application adds them, and the GBK <-> UTF-8 conversions at the terminal.
#pragma once

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

// Empties the compilation, takes the volume label and the Joliet choice and adds
// every source: a folder keeps its own name under the root, a file goes into the
// root. Throws CommandFailure for a missing or unreadable source.
void BuildCompilation(TvxCDBurner& burner, const CompilationOptions& compilation);

}  // namespace tavrin::cli
