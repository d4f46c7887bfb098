// Image file output: the compilation, as the last layout for an image file placed
// it, written into an ISO image file.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/compilation/burner.h"

namespace tavrin::writing {

// The quick save moves the file data through one buffer of this size.
inline constexpr std::size_t kQuickChunkBytes = 131072;

// A file whose data does not start where the layout put it.
inline constexpr std::string_view kInternalError0004 = "INTERNAL ERROR 0004";
// A source file that ends before the size it had when it was added: writing what is
// left would shift every later file away from its extent.
inline constexpr std::string_view kSourceShorter = "the file is shorter than when it was added to the compilation";

// Writes HeaderStream and then the data of every file of the file table, each in
// whole blocks with a zeroed tail, into FileName (created or replaced), and raises
// OnWriteDone(Sender, "") when the file is complete. Needs a Prepare for an image
// file since the last change of the compilation.
// Quick: on the caller's thread; a failing file operation throws IOError (naming
// the image or the source file), OnWriteDone is then not raised and the part
// written so far stays. Not quick: the threaded save of DiscWriter (disc_writer.h),
// waited for here; its writer raises OnWriteDone with the outcome.
void SaveISO(TvxCDBurner& burner, std::string_view FileName, bool Quick = true);

}  // namespace tavrin::writing
