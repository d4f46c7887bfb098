// How tavrin-cli shows entries of a compilation or of a session read back from a
// disc: size, local date, name, and "/" after a folder.
#pragma once

#include <string>

#include "engine/compilation/burner.h"

namespace tavrin::cli {

// A name of the image on the terminal: its control bytes would be taken as
// terminal commands, so each is shown as "?".
std::string Printable(const std::string& gbk);

// One line, without its line end; `name` is shown as given.
std::string EntryLine(const TFEntry& entry, const std::string& name);

// Every entry of the compilation under its path from the root, a folder before
// its content, in the order the image lists them; "layout: F folders, N files, B
// bytes" at the end.
void PrintLayout(const TvxCDBurner& burner);

}  // namespace tavrin::cli
