#include "recorders/virtual/disc_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace tavrin::vrecorder {
namespace {

using nlohmann::json;

constexpr const char* kFormatName = "tavrin-disc";
constexpr int kFormatVersion = 1;
constexpr size_t kCopyChunk = 1024 * 1024;

struct TrackStateName {
    TrackState state;
    const char* name;
};
constexpr TrackStateName kTrackStateNames[] = {
    {TrackState::Incomplete, "incomplete"},
    {TrackState::Reserved, "reserved"},
    {TrackState::Complete, "complete"},
};

[[noreturn]] void corrupt(const std::string& what) {
    throw StoreError("corrupt disc metadata: " + what);
}

const json& field(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end()) corrupt(fmt::format("missing \"{}\"", name));
    return *it;
}

uint64_t unsignedField(const json& object, const char* name, uint64_t max) {
    const json& value = field(object, name);
    if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<int64_t>() >= 0))
        corrupt(fmt::format("\"{}\" is not a non-negative integer", name));
    const uint64_t n = value.get<uint64_t>();
    if (n > max) corrupt(fmt::format("\"{}\" = {} exceeds {}", name, n, max));
    return n;
}

bool boolField(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_boolean()) corrupt(fmt::format("\"{}\" is not true or false", name));
    return value.get<bool>();
}

std::string stringField(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_string()) corrupt(fmt::format("\"{}\" is not a string", name));
    return value.get<std::string>();
}

Track trackFromJson(const json& object) {
    if (!object.is_object()) corrupt("a track is not an object");
    Track t;
    t.number = static_cast<uint16_t>(unsignedField(object, "number", UINT16_MAX));
    t.session = static_cast<uint16_t>(unsignedField(object, "session", UINT16_MAX));
    t.start = static_cast<uint32_t>(unsignedField(object, "start", UINT32_MAX));
    t.reserved = static_cast<uint32_t>(unsignedField(object, "reserved", UINT32_MAX));
    t.recorded = static_cast<uint32_t>(unsignedField(object, "recorded", UINT32_MAX));
    t.dataMode = static_cast<uint8_t>(unsignedField(object, "dataMode", UINT8_MAX));
    const std::string state = stringField(object, "state");
    const auto* named = std::find_if(std::begin(kTrackStateNames), std::end(kTrackStateNames),
                                     [&state](const TrackStateName& n) { return state == n.name; });
    if (named == std::end(kTrackStateNames)) corrupt(fmt::format("unknown track state \"{}\"", state));
    t.state = named->state;
    return t;
}

const char* trackStateName(TrackState state) {
    for (const TrackStateName& n : kTrackStateNames)
        if (n.state == state) return n.name;
    return "blank";
}

std::string systemError(std::string_view what, const std::filesystem::path& file) {
    return fmt::format("{} {}: {}", what, file.string(), std::strerror(errno));
}

bool allZero(const uint8_t* data, size_t size) {
    return std::all_of(data, data + size, [](uint8_t b) { return b == 0; });
}

bool preadAll(int fd, uint8_t* data, size_t size, off_t offset, size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool pwriteAll(int fd, const uint8_t* data, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Copies bytes [from, to) of `in` to the same offsets of `out`, leaving holes for
// the holes of `in` and for all-zero chunks.
bool copySparse(int in, int out, off_t from, off_t to) {
    std::vector<uint8_t> buffer(kCopyChunk);
    off_t at = from;
    while (at < to) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0) return errno == ENXIO;  // nothing but hole up to the end
        if (data >= to) return true;
        const off_t hole = std::min<off_t>(::lseek(in, data, SEEK_HOLE), to);
        for (off_t pos = data; pos < hole;) {
            const size_t want = static_cast<size_t>(std::min<off_t>(hole - pos, kCopyChunk));
            size_t got = 0;
            if (!preadAll(in, buffer.data(), want, pos, got)) return false;
            if (got == 0) return true;
            if (!allZero(buffer.data(), got) && !pwriteAll(out, buffer.data(), got, pos)) return false;
            pos += static_cast<off_t>(got);
        }
        at = hole;
    }
    return true;
}

UniqueFd openBlockFile(const std::filesystem::path& folder, int flags) {
    const std::filesystem::path file = folder / kDiscBlockFile;
    UniqueFd fd(::open(file.c_str(), flags | O_CLOEXEC, 0644));
    if (!fd.valid() && (flags & O_ACCMODE) == O_RDWR && errno == EACCES)
        fd = UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) throw StoreError(systemError("cannot open", file));
    return fd;
}

void makeFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw StoreError(fmt::format("cannot create {}: {}", folder.string(), ec.message()));
    if (std::filesystem::exists(folder / kDiscMetadataFile))
        throw StoreError(fmt::format("{} already holds a disc", folder.string()));
}

void saveOrThrow(const std::filesystem::path& folder, const Disc& disc) {
    std::string error;
    if (!replaceFileAtomically(folder / kDiscMetadataFile, discStateToJson(disc.state()), true, error))
        throw StoreError(error);
}

}  // namespace

std::string discStateToJson(const DiscState& state) {
    json tracks = json::array();
    for (const Track& t : state.tracks)
        tracks.push_back({{"number", t.number}, {"session", t.session}, {"start", t.start},
                          {"reserved", t.reserved}, {"recorded", t.recorded},
                          {"state", trackStateName(t.state)}, {"dataMode", t.dataMode}});
    const json out = {{"format", kFormatName},
                      {"version", kFormatVersion},
                      {"media", std::string(mediaFigures(state.kind).name)},
                      {"capacity", state.capacity},
                      {"closedSessions", state.closedSessions},
                      {"finalized", state.finalized},
                      {"nextStart", state.nextStart},
                      {"formatted", state.formatted},
                      {"tracks", tracks}};
    return out.dump(2) + "\n";
}

DiscState discStateFromJson(const std::string& text) {
    const json in = json::parse(text, nullptr, false);
    if (in.is_discarded()) corrupt("not valid JSON");
    if (!in.is_object()) corrupt("not a JSON object");
    if (stringField(in, "format") != kFormatName) corrupt("not a disc metadata file");
    if (unsignedField(in, "version", INT32_MAX) != kFormatVersion) corrupt("unknown version");
    DiscState state;
    const std::string media = stringField(in, "media");
    const auto kind = mediaKindFromName(media);
    if (!kind) corrupt(fmt::format("unknown media \"{}\"", media));
    state.kind = *kind;
    state.capacity = static_cast<uint32_t>(unsignedField(in, "capacity", UINT32_MAX));
    state.closedSessions = static_cast<uint16_t>(unsignedField(in, "closedSessions", UINT16_MAX));
    state.finalized = boolField(in, "finalized");
    state.nextStart = static_cast<uint32_t>(unsignedField(in, "nextStart", UINT32_MAX));
    state.formatted = boolField(in, "formatted");
    const json& tracks = field(in, "tracks");
    if (!tracks.is_array()) corrupt("\"tracks\" is not an array");
    for (const json& t : tracks) state.tracks.push_back(trackFromJson(t));
    return state;
}

DiscStore::DiscStore(std::filesystem::path folder, Disc disc, UniqueFd blocks)
    : folder_(std::move(folder)), disc_(std::move(disc)), blocks_(std::move(blocks)) {}

DiscStore DiscStore::create(const std::filesystem::path& folder, MediaKind kind) {
    if (mediaFigures(kind).recording == Recording::ReadOnly)
        throw StoreError(fmt::format("{} is pressed from an image, not created blank",
                                     mediaFigures(kind).name));
    makeFolder(folder);
    UniqueFd blocks = openBlockFile(folder, O_RDWR | O_CREAT | O_TRUNC);
    Disc disc = Disc::blank(kind);
    saveOrThrow(folder, disc);
    return DiscStore(folder, std::move(disc), std::move(blocks));
}

DiscStore DiscStore::press(const std::filesystem::path& folder, const std::filesystem::path& image,
                           MediaKind kind) {
    if (mediaFigures(kind).recording != Recording::ReadOnly)
        throw StoreError(fmt::format("{} is not a pressed kind", mediaFigures(kind).name));
    const UniqueFd in(::open(image.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) throw StoreError(systemError("cannot open", image));
    struct stat st {};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw StoreError(fmt::format("{} is not a regular file", image.string()));
    if (st.st_size == 0 || st.st_size % kBlockSize != 0)
        throw StoreError(fmt::format("{} is not a whole number of 2048-byte blocks", image.string()));
    const uint64_t blocks = static_cast<uint64_t>(st.st_size) / kBlockSize;
    std::string error;
    const auto disc = Disc::restore(
        Disc::pressed(kind, static_cast<uint32_t>(std::min<uint64_t>(blocks, UINT32_MAX))).state(),
        error);
    if (!disc) throw StoreError(fmt::format("{}: {}", image.string(), error));
    makeFolder(folder);
    UniqueFd out = openBlockFile(folder, O_RDWR | O_CREAT | O_TRUNC);
    if (!copySparse(in.get(), out.get(), 0, st.st_size) || ::ftruncate(out.get(), st.st_size) != 0)
        throw StoreError(systemError("cannot copy", image));
    if (::fdatasync(out.get()) != 0) throw StoreError(systemError("cannot flush", folder / kDiscBlockFile));
    saveOrThrow(folder, *disc);
    return DiscStore(folder, *disc, std::move(out));
}

DiscStore DiscStore::open(const std::filesystem::path& folder) {
    std::string text, error;
    if (!readSmallFile(folder / kDiscMetadataFile, text, error)) throw StoreError(error);
    const DiscState state = discStateFromJson(text);
    auto disc = Disc::restore(state, error);
    if (!disc) corrupt(error);
    return DiscStore(folder, std::move(*disc), openBlockFile(folder, O_RDWR));
}

DiscResult DiscStore::commit(const Disc& next, bool durable) {
    if (next.state() == disc_.state()) return DiscResult::Ok;
    // Blocks first: metadata never names a block the block file does not hold.
    if (durable && ::fdatasync(blocks_.get()) != 0) return DiscResult::StoreFailed;
    std::string error;
    if (!replaceFileAtomically(folder_ / kDiscMetadataFile, discStateToJson(next.state()), durable,
                               error))
        return DiscResult::StoreFailed;
    disc_ = next;
    return DiscResult::Ok;
}

DiscResult DiscStore::write(uint32_t lba, std::span<const uint8_t> data, bool testWrite) {
    if (data.size() % kBlockSize != 0 || data.size() / kBlockSize > UINT32_MAX)
        return DiscResult::InvalidField;
    const auto blocks = static_cast<uint32_t>(data.size() / kBlockSize);
    Disc next = disc_;
    if (const DiscResult r = next.write(lba, blocks, testWrite); r != DiscResult::Ok) return r;
    if (testWrite || blocks == 0) return DiscResult::Ok;
    if (!pwriteAll(blocks_.get(), data.data(), data.size(), static_cast<off_t>(lba) * kBlockSize))
        return DiscResult::StoreFailed;
    return commit(next, false);
}

DiscResult DiscStore::read(uint32_t lba, std::span<uint8_t> out) const {
    if (out.size() % kBlockSize != 0 || out.size() / kBlockSize > UINT32_MAX)
        return DiscResult::InvalidField;
    const auto blocks = static_cast<uint32_t>(out.size() / kBlockSize);
    if (const DiscResult r = disc_.read(lba, blocks); r != DiscResult::Ok) return r;
    size_t got = 0;
    if (!preadAll(blocks_.get(), out.data(), out.size(), static_cast<off_t>(lba) * kBlockSize, got))
        return DiscResult::StoreFailed;
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), uint8_t{0});  // past the file's end
    return DiscResult::Ok;
}

DiscResult DiscStore::closeTrack(uint16_t number) {
    Disc next = disc_;
    const DiscResult r = next.closeTrack(number);
    return r == DiscResult::Ok ? commit(next, true) : r;
}

DiscResult DiscStore::closeSession(SessionClose how) {
    Disc next = disc_;
    const DiscResult r = next.closeSession(how);
    return r == DiscResult::Ok ? commit(next, true) : r;
}

DiscResult DiscStore::reserveTrack(uint32_t blocks) {
    Disc next = disc_;
    const DiscResult r = next.reserveTrack(blocks);
    return r == DiscResult::Ok ? commit(next, true) : r;
}

DiscResult DiscStore::blank(BlankType type) {
    Disc next = disc_;
    if (const DiscResult r = next.blank(type); r != DiscResult::Ok) return r;
    // State first: a crash between the two leaves a blank disc over stale blocks,
    // which nothing reads.
    if (const DiscResult r = commit(next, true); r != DiscResult::Ok) return r;
    return ::ftruncate(blocks_.get(), 0) == 0 ? DiscResult::Ok : DiscResult::StoreFailed;
}

DiscResult DiscStore::format(uint8_t formatType) {
    Disc next = disc_;
    if (const DiscResult r = next.format(formatType); r != DiscResult::Ok) return r;
    if (::ftruncate(blocks_.get(), 0) != 0) return DiscResult::StoreFailed;
    // A reformat of an already formatted disc leaves the same state but no data.
    return commit(next, true);
}

void DiscStore::exportImage(const std::filesystem::path& image) const {
    UniqueFd out(::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out.valid()) throw StoreError(systemError("cannot create", image));
    const auto last = disc_.lastRecorded();
    const off_t size = last ? (static_cast<off_t>(*last) + 1) * kBlockSize : 0;
    if (disc_.figures().recording == Recording::Random) {
        if (last && !copySparse(blocks_.get(), out.get(), 0, size))
            throw StoreError(systemError("cannot export to", image));
    } else {
        for (const Track& t : disc_.state().tracks) {
            const off_t from = static_cast<off_t>(t.start) * kBlockSize;
            const off_t to = from + static_cast<off_t>(t.recorded) * kBlockSize;
            if (!copySparse(blocks_.get(), out.get(), from, to))
                throw StoreError(systemError("cannot export to", image));
        }
    }
    if (::ftruncate(out.get(), size) != 0 || ::fsync(out.get()) != 0)
        throw StoreError(systemError("cannot finish", image));
}

}  // namespace tavrin::vrecorder
