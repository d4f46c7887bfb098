// The writer of a compilation, fed by the read-ahead cache: onto the disc in the
// recorder, one track in one new session, or into an image file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/writing/block_writer.h"

namespace tavrin::writing {

class TThWrite {
public:
    TThWrite(WriterJob job, bool toFile) : job_(std::move(job)), toFile_(toFile) {}

    // The thread's whole work; ends with the burner's OnWriteDone, raised once,
    // after the cache has been released.
    void Execute();

private:
    void WriteToFile();
    void WriteToDisc();
    // Setup up to the first WRITE; false when the disc is not where the image
    // was laid out (nothing is written then).
    bool PrepareDrive(uint8_t media, uint32_t& sessionStart);
    bool SessionWhereLaidOut(uint8_t media, uint32_t& sessionStart);
    void Finish(uint8_t media, BlockWriter& writer);

    WriterJob job_;
    const bool toFile_;
};

// The speed the start line shows: DVD drives report CD factors, about seven to one
// DVD factor.
uint16_t ShownWriteSpeed(uint8_t media, uint16_t speed);

// The debug line a write starts with: the medium and the speed.
void AnnounceWrite(TSCSIDevice& device, uint8_t media, uint16_t speed, bool testWrite);

}  // namespace tavrin::writing
