// Reading a session of the disc in the drive back into the compilation: its
// folders become folders of the compilation, its files entries that keep the
// block of their data on the disc, so that the next session references that data
// instead of writing it again and single files can be copied back. The disc is
// untrusted input: whatever its directory records say, the walk stays inside its
// buffers, never loops, and leaves out what it cannot read soundly.
#pragma once

#include <cstdint>

#include "engine/compilation/burner.h"

namespace tavrin::sessions {

// SessionNo 1 is the first session; -1, or a number beyond the disc's sessions,
// the last one. Dir none is the root. True when a volume descriptor was found and
// its tree read.
bool ImportSession(TvxCDBurner& burner, int8_t SessionNo, PDirEntry Dir = nullptr);

}  // namespace tavrin::sessions
