// The writer of an existing image file, fed by the image reader: the image byte
// for byte from block 0 of an empty disc.
#pragma once

#include <cstdint>

#include "engine/writing/block_writer.h"

namespace tavrin::writing {

class TISOWrite {
public:
    explicit TISOWrite(WriterJob job) : job_(std::move(job)) {}

    // The thread's whole work; raises the burner's OnWriteDone once, while the
    // reader still shows its last fill, and releases the reader afterwards.
    void Execute();

private:
    void WriteImage();
    // Setup up to the first WRITE; false when the disc is not empty (nothing is
    // written then).
    bool PrepareDrive(uint8_t media);
    void Finish(uint8_t media, BlockWriter& writer);

    WriterJob job_;
};

}  // namespace tavrin::writing
