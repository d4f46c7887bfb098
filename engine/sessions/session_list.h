// The tracks of the disc in the drive as the session information shows them: one
// line per track with its start and size, then the free space, with the medium's
// name and its size and used space. Computed here once, so that tavrin-cli and the
// desktop application print the same lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/device/scsi_device.h"
#include "engine/drive/wait_ready.h"

namespace tavrin::sessions {

// The decimal text of number, preceded by as many copies of fill as make it width
// characters long.
std::string Pad(int width, char fill, int64_t number);

// Whole megabytes of a count of 2048-byte blocks, rounded to the nearest.
int64_t WholeMegabytes(uint64_t blocks);
// A count of 2048-byte blocks as megabytes with two decimals: "702.89 MB".
std::string MegabytesText(uint64_t blocks);

// The line standing for the whole list when no disc can be read.
inline constexpr const char* kNoDiscLine = "     -------";

struct SessionList {
    // One per track with a start, then the free-space line; or only kNoDiscLine.
    std::vector<std::string> lines;
    std::string medium;                  // media type name; empty when no disc is readable
    std::string totalSpace, usedSpace;   // "0.00 MB"; empty when no disc is readable
    std::string freeSpace;               // the free blocks as "0.00 MB"; empty likewise
};

struct SessionListOptions {
    // The writing setting the drive is asked for its free space with.
    bool underrunProtection = true;
    // The wait for a drive that is not ready yet.
    drive::SleepFn sleep = drive::SleepMs;
};

SessionList ReadSessionList(TSCSIDevice& device, const SessionListOptions& options = {});

}  // namespace tavrin::sessions
