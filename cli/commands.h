// The commands of tavrin-cli. Each prints its answer on standard output and
// throws CommandFailure for a problem the user must hear about.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin::cli {

// Exit status: 0 done, 1 no transport, no device or a device that cannot be
// used, 2 bad arguments.
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;

class CommandFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// save-iso: the image file, its sources (local files and folders) and what the
// image carries.
struct SaveIsoOptions {
    std::string output;
    bool quick = false;  // the only mode so far: the image is written on this thread
    std::string volume;
    bool noJoliet = false;
    std::vector<std::string> sources;
};

// erase: the minimal blank instead of the whole disc.
struct EraseOptions {
    bool quick = false;
};

struct Options {
    bool builtIn = false;  // the built-in SG_IO transport instead of the manager library
    bool verbose = false;  // the engine's debug lines on standard error
    std::string device;    // a device list line or its "adapter:target:lun"; empty: the first
    SaveIsoOptions saveIso;
    EraseOptions erase;
};

void RunDevices(const Options& options);
void RunInfo(const Options& options);
void RunDisc(const Options& options);
void RunSaveIso(const Options& options);
void RunErase(const Options& options);
void RunEject(const Options& options);
void RunLoad(const Options& options);

}  // namespace tavrin::cli
