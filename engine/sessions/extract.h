// Copying files of an imported session from the disc to local files.
#pragma once

#include <string>
#include <string_view>

#include "engine/compilation/burner.h"

namespace tavrin::sessions {

// Copies the data of an imported file entry from the disc into FileName (created
// or replaced), exactly its size, and gives it the entry's date. Throws IOError
// when the target cannot be created (nothing has been read then). False when a
// read from the disc fails: the partial file is removed and a debug line names it.
bool ExtractFile(TvxCDBurner& burner, PFileEntry Entry, std::string_view FileName);

// A name from the disc made safe as one local file name inside a target folder:
// no separators, no NUL, never "." or "..". Every caller that extracts into a
// folder builds its local names with it.
std::string SafeLocalName(std::string_view discName);

}  // namespace tavrin::sessions
