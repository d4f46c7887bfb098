#include "engine/device/transport.h"

#include <optional>
#include <utility>

#include "engine/device/spti.h"
#include "engine/platform/dynamic_library.h"

namespace tavrin {
namespace {

constexpr const char* BUILT_IN_NAME = "KTASPI32";

struct LibraryTransport {
    const char* path;  // a path with a slash loads from the current directory
    const char* name;
    const char* supportInfoEntry;
    const char* sendEntry;
};

// The ASPI manager in the current directory first, then the one on the loader's
// search path, then the ASPI-compatible library.
constexpr LibraryTransport LIBRARY_TRANSPORTS[] = {
    {"./libwnaspi32.so", "WNASPI32.DLL", "GetASPI32SupportInfo", "SendASPI32Command"},
    {"libwnaspi32.so", "WNASPI32.DLL", "GetASPI32SupportInfo", "SendASPI32Command"},
    {"libasapi.so", "ASAPI.DLL", "GetASAPI32SupportInfo", "SendASAPI32Command"},
};

// The transport is process-wide: one device object, one set of recorders. At
// process end the library is freed with this state; the built-in transport's
// drive handles are closed with its own table.
struct TransportState {
    bool initialized = false;
    std::string name;
    std::optional<platform::DynamicLibrary> library;
    aspi::GetSupportInfoFn supportInfo = nullptr;
    aspi::SendCommandFn send = nullptr;
    bool preferBuiltIn = true;
    bool keepHandleOpen = true;
};

TransportState& state() {
    static TransportState s;
    return s;
}

void forgetEntryPoints(TransportState& s) {
    s.initialized = false;
    s.name.clear();
    s.supportInfo = nullptr;
    s.send = nullptr;
}

void useBuiltIn(TransportState& s) {
    s.library.reset();
    s.name = BUILT_IN_NAME;
    s.supportInfo = SPTIGetSupportInfo;
    s.send = SPTISendCommand;
    s.initialized = true;
}

std::optional<platform::DynamicLibrary> load(const char* path) {
    try {
        platform::DynamicLibrary library(path);
        if (library.loaded()) return library;
    } catch (...) {
        // A library whose start-up throws counts as not loaded.
    }
    return std::nullopt;
}

enum class LibraryLoad { NotFound, Loaded, EntryPointMissing };

// A library that loads but lacks an entry point ends the search: it is released
// and no other transport is tried, so a broken installation is reported, not hidden.
LibraryLoad loadLibraryTransport(TransportState& s) {
    for (const auto& candidate : LIBRARY_TRANSPORTS) {
        auto library = load(candidate.path);
        if (!library) continue;
        const auto supportInfo = library->function<aspi::GetSupportInfoFn>(candidate.supportInfoEntry);
        const auto send = library->function<aspi::SendCommandFn>(candidate.sendEntry);
        if (!supportInfo || !send) return LibraryLoad::EntryPointMissing;
        s.library = std::move(library);
        s.name = candidate.name;
        s.supportInfo = supportInfo;
        s.send = send;
        s.initialized = true;
        return LibraryLoad::Loaded;
    }
    return LibraryLoad::NotFound;
}

}  // namespace

bool ASPIInitialized() { return state().initialized; }
const std::string& TransportName() { return state().name; }
bool KeepHandleOpen() { return state().keepHandleOpen; }
void SetKeepHandleOpen(bool keep) { state().keepHandleOpen = keep; }

uint32_t GetASPI32SupportInfo() {
    const auto& s = state();
    if (!s.initialized || !s.supportInfo) return uint32_t{aspi::SS_NO_ADAPTERS} << 8;
    return s.supportInfo();
}

uint32_t SendASPI32Command(void* request) {
    const auto& s = state();
    if (!s.initialized || !s.send) return aspi::SS_ERR;
    return s.send(request);
}

void UseTransport(std::string name, aspi::GetSupportInfoFn supportInfo, aspi::SendCommandFn send) {
    ShutdownTransport();
    auto& s = state();
    s.name = std::move(name);
    s.supportInfo = supportInfo;
    s.send = send;
    s.initialized = supportInfo != nullptr && send != nullptr;
}

void ShutdownTransport() {
    auto& s = state();
    forgetEntryPoints(s);
    s.library.reset();
    SPTIShutdown();
}

// Linux raises no dialog for a missing library or an empty drive, so there is
// no error mode to switch around the loading.
bool InitializeASPI(bool preferBuiltIn) {
    auto& s = state();
    s.preferBuiltIn = preferBuiltIn;
    if (preferBuiltIn && SPTIInitialize() > 0) {
        useBuiltIn(s);
    } else if (!s.initialized && loadLibraryTransport(s) == LibraryLoad::EntryPointMissing) {
        forgetEntryPoints(s);
        return false;
    }
    // With the built-in transport preferred and no drive found above, it is
    // already initialized and this second attempt finds nothing.
    if (!s.initialized && SPTIInitialize() > 0) useBuiltIn(s);
    if (s.initialized) s.supportInfo();
    return s.initialized;
}

bool ReinitializeASPI() {
    auto& s = state();
    if (s.name != BUILT_IN_NAME) {
        forgetEntryPoints(s);
        s.library.reset();
    } else {
        forgetEntryPoints(s);
        SPTIShutdown();
    }
    InitializeASPI(s.preferBuiltIn);
    return true;
}

}  // namespace tavrin
