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

// How a write job ended.
struct WriteOutcome {
    std::string error;         // the completion report's text (GBK): empty only when the job completed
    bool interrupted = false;  // Ctrl-C asked for the abort
};

// Starts the job with `start` (the writer's BurnCD, BurnISO or threaded SaveISO,
// true when its writer runs) and waits for the burner's OnWriteDone, showing the
// progress (see progress_line.h). Ctrl-C asks the writer to abort; the wait goes
// on until the writer has flushed the drive and reported, so the drive is never
// left in the middle of a write.
WriteOutcome RunWriteJob(TvxCDBurner& burner, writing::DiscWriter& writer, const std::function<bool()>& start);

// Throws CommandFailure with the report's text when the job did not complete,
// with the exit status of an interrupted program when Ctrl-C stopped it.
void ThrowUnlessCompleted(const WriteOutcome& outcome);

}  // namespace tavrin::cli
