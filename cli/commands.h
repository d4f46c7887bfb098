// The commands of tavrin-cli. Each prints its answer on standard output and
// throws CommandFailure for a problem the user must hear about.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin::cli {

// Exit status: 0 done, 1 no transport, no device, a device that cannot be used or
// a write that did not complete, 2 bad arguments.
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;

class CommandFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// save-iso and burn: the local files and folders of the compilation and what the
// image carries.
struct CompilationOptions {
    std::string volume;
    bool noJoliet = false;
    std::vector<std::string> sources;
};

// save-iso: the image file and how it is written.
struct SaveIsoOptions {
    std::string output;
    bool quick = false;  // on this thread, without the read-ahead cache and post-gap padding
};

// The largest speed factor whose kB/s (factor x 177) the speed command can carry
// in its 16 bits; FFFFh itself means "the drive's fastest".
inline constexpr uint16_t kLargestSpeedFactor = 370;

// A session of the disc by its number: 1 the first, -1 (or a number beyond the
// disc's sessions) the last.
inline constexpr int kLastSession = -1;
inline constexpr int kLargestSessionNumber = 127;

// burn: the settings of the write that differ from the component's defaults.
struct BurnOptions {
    uint16_t speed = 0;     // speed factor, 0: the drive's fastest
    bool test = false;      // a dummy write: the laser stays off
    bool finalize = false;  // close the disc: no further session can be added
    // The session imported into the root before the sources are added, so that the
    // new session keeps the files of the disc; none: a session of the sources only.
    std::optional<int> importSession;
};

// ls and extract: the session read back from the disc.
struct SessionOptions {
    int session = kLastSession;
};

// ls: the folder or file of the session listed; empty: the root.
struct LsOptions {
    std::string path;
};

// extract: files and folders of the session and the local folder they go into.
struct ExtractOptions {
    std::vector<std::string> paths;
    std::string output;
};

// burn-iso: the image file written from block 0 of an empty disc.
struct BurnIsoOptions {
    std::string image;
};

// erase: the minimal blank instead of the whole disc.
struct EraseOptions {
    bool quick = false;
};

struct Options {
    bool builtIn = false;  // the built-in SG_IO transport instead of the manager library
    bool verbose = false;  // the engine's debug lines on standard error
    std::string device;    // a device list line or its "adapter:target:lun"; empty: the first
    CompilationOptions compilation;
    SaveIsoOptions saveIso;
    BurnOptions burn;
    BurnIsoOptions burnIso;
    EraseOptions erase;
    SessionOptions session;
    LsOptions ls;
    ExtractOptions extract;
};

void RunDevices(const Options& options);
void RunInfo(const Options& options);
void RunDisc(const Options& options);
void RunSaveIso(const Options& options);
void RunBurn(const Options& options);
void RunBurnIso(const Options& options);
void RunErase(const Options& options);
void RunLs(const Options& options);
void RunExtract(const Options& options);
void RunEject(const Options& options);
void RunLoad(const Options& options);

}  // namespace tavrin::cli
