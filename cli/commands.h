// The commands of tavrin-cli. Each prints its answer on standard output and
// throws CommandFailure for a problem the user must hear about.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin::cli {

// Exit status: 0 done; 1 no transport, a device that cannot be used or a job that
// did not complete; 2 a command line naming what is not there (an option, a
// device, a source); 130 a write stopped by Ctrl-C, as a shell reports an
// interrupted program.
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;
inline constexpr int kAborted = 130;

class CommandFailure : public std::runtime_error {
public:
    explicit CommandFailure(const std::string& what, int exitStatus = kFailed)
        : std::runtime_error(what), exitStatus_(exitStatus) {}
    int ExitStatus() const { return exitStatus_; }

private:
    int exitStatus_;
};

// The command line names a device, source or value that cannot be used.
class UsageError : public CommandFailure {
public:
    explicit UsageError(const std::string& what) : CommandFailure(what, kBadArguments) {}
};

// The identifiers of the primary and Joliet volume descriptors; empty ones stay
// blank. Each is refused when its GBK form is longer than its descriptor field.
struct VolumeIdentifiers {
    std::string volume;
    std::string volumeSet;
    std::string system;
    std::string publisher;
    std::string preparer;
    std::string application;
    std::string copyrightFile;
    std::string abstractFile;
    std::string bibliographicFile;
};

// save-iso and burn: the local files and folders of the compilation and what the
// image carries. A source is a local path, or DEST=PATH for a place in the
// compilation (see compilation_sources.h).
struct CompilationOptions {
    VolumeIdentifiers identifiers;
    bool noJoliet = false;
    bool archiveOnly = false;  // of the folders, only files changed since they were last burned
    bool showLayout = false;   // print the compilation's tree before the job
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

// The read-ahead cache a burn may ask for, in megabytes.
inline constexpr int kSmallestCacheMegabytes = 2;
inline constexpr int kLargestCacheMegabytes = 1024;

// A session of the disc by its number: 1 the first, -1 (or a number beyond the
// disc's sessions) the last.
inline constexpr int kLastSession = -1;
inline constexpr int kLargestSessionNumber = 127;

// burn: the settings of the write that differ from the component's defaults.
struct BurnOptions {
    // In the disc's own unit (CD or DVD speed); 0: the drive's fastest.
    uint16_t speed = 0;
    bool test = false;      // a dummy write: the laser stays off
    bool finalize = false;  // close the disc: no further session can be added
    bool opc = false;       // the drive calibrates its laser power before writing
    bool noUnderrunProtection = false;
    std::optional<int> cacheMegabytes;  // none: the component's default
    bool eject = false;     // open the tray once the session is written
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

// erase: the whole disc instead of the minimal blank.
struct EraseOptions {
    bool full = false;
};

struct Options {
    bool builtIn = false;  // the built-in SG_IO transport instead of the manager library
    bool verbose = false;  // the engine's debug lines on standard error
    // A device list line, its "adapter:target:lun" or its index in the list (from
    // 0); empty: the first.
    std::string device;
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
