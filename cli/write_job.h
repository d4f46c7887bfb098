// One job of the writer run to its end from the command line: progress lines
// while it runs, Ctrl-C as an abort, and the text its completion report carried.
#pragma once

#include <functional>
#include <string>

#include "engine/compilation/burner.h"
#include "engine/drive/wait_ready.h"
#include "engine/writing/disc_writer.h"

namespace tavrin::cli {

// The engine's waits for the drive (the polls while it gets ready, the retries of
// a busy drive), as long as a drive needs them. TAVRIN_WAIT_SCALE, a factor of 0
// or more, scales them for recorders whose time is modelled (a virtual recorder's
// time_scale); throws CommandFailure for a value that is no such factor.
drive::SleepFn DriveWaits();

// Starts the job with `start` (the writer's BurnCD, BurnISO or threaded SaveISO,
// true when its writer runs) and waits for the burner's OnWriteDone. While the job
// runs, a progress line (bytes written against the image size, read-ahead fill)
// goes to standard output whenever it changes, at most every 100 ms. Ctrl-C asks
// the writer to abort; the wait goes on until the writer has flushed the drive
// and reported, so the drive is never left in the middle of a write. Returns the
// report's text (GBK): empty only when the job completed.
std::string RunWriteJob(TvxCDBurner& burner, writing::DiscWriter& writer, const std::function<bool()>& start);

}  // namespace tavrin::cli
