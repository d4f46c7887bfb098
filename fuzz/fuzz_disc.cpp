#include "fuzz/fuzz_disc.h"

#include <algorithm>
#include <fstream>

namespace tavrin::fuzz {
namespace {

namespace fs = std::filesystem;
using vrecorder::DiscStore;
using vrecorder::kBlockSize;
using vrecorder::MediaKind;

struct Run {
    uint16_t dataBlocks = 0;
    uint16_t zeroBlocks = 0;
};
using SessionRuns = std::vector<Run>;

// Reads the layout header and then the data, never past the input.
class InputReader {
public:
    explicit InputReader(std::span<const uint8_t> input) : input_(input) {}

    uint8_t byte() { return at_ < input_.size() ? input_[at_++] : 0; }
    uint16_t u16() {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | byte() << 8);
    }
    // Appends `blocks` blocks of data, zero-filled where the input has ended.
    void appendBlocks(uint32_t blocks, std::vector<uint8_t>& out) {
        const std::size_t bytes = std::size_t{blocks} * kBlockSize;
        const std::size_t from = std::min(at_, input_.size());
        const std::size_t n = std::min(bytes, input_.size() - from);
        out.insert(out.end(), input_.begin() + static_cast<std::ptrdiff_t>(from),
                   input_.begin() + static_cast<std::ptrdiff_t>(from + n));
        out.resize(out.size() + (bytes - n), 0);
        at_ += n;
    }

private:
    std::span<const uint8_t> input_;
    std::size_t at_ = 0;
};

void WriteFile(const fs::path& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw vrecorder::StoreError("cannot write " + path.string());
}

// `image` is padded in place to whole blocks, and to the blocks the descriptor area
// needs. The folder is the one DiscStore::press makes from an image file, written
// straight from the buffer: press copies through a fresh megabyte on every input,
// which costs more than the import itself. Opening the disc checks it all the same.
void PressImage(std::vector<uint8_t>& image, const fs::path& folder) {
    const std::size_t blocks = std::max<std::size_t>((image.size() + kBlockSize - 1) / kBlockSize, kMinimumImageBlocks);
    image.resize(blocks * kBlockSize, 0);
    fs::create_directories(folder);
    WriteFile(folder / vrecorder::kDiscBlockFile, image);
    const auto disc = vrecorder::Disc::pressed(MediaKind::CdRom, static_cast<uint32_t>(blocks));
    const std::string state = vrecorder::discStateToJson(disc.state());
    WriteFile(folder / vrecorder::kDiscMetadataFile,
              std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(state.data()), state.size()));
}

// The blocks of one session's runs into `out`, within what is left of the disc's allowance.
void SessionBlocks(const SessionRuns& runs, InputReader& reader, uint32_t& allowance, std::vector<uint8_t>& out) {
    out.clear();
    for (const Run& run : runs) {
        const uint32_t data = std::min<uint32_t>(run.dataBlocks, allowance);
        allowance -= data;
        reader.appendBlocks(data, out);
        const uint32_t zeros = std::min<uint32_t>(run.zeroBlocks, allowance);
        allowance -= zeros;
        out.resize(out.size() + std::size_t{zeros} * kBlockSize, 0);
    }
}

// A recordable CD with each session written where the disc's next writable address
// is and closed. What the disc refuses (an empty session, a full disc) is simply
// not recorded: the import then sees whatever the disc holds.
void RecordSessions(const std::vector<SessionRuns>& sessions, bool final, InputReader& reader,
                    const fs::path& folder, std::vector<uint8_t>& blocks) {
    DiscStore store = DiscStore::create(folder, MediaKind::CdR);
    uint32_t allowance = kMaximumDiscBlocks;
    for (std::size_t s = 0; s < sessions.size(); ++s) {
        SessionBlocks(sessions[s], reader, allowance, blocks);
        const auto address = store.disc().nextWritable();
        if (!address || blocks.empty()) continue;
        if (store.write(*address, blocks) != vrecorder::DiscResult::Ok) continue;
        const bool last = s + 1 == sessions.size();
        store.closeSession(last && final ? vrecorder::SessionClose::Final : vrecorder::SessionClose::Appendable);
    }
}

bool HasMagic(std::span<const uint8_t> input) {
    return input.size() >= kLayoutMagic.size() &&
           std::equal(kLayoutMagic.begin(), kLayoutMagic.end(), input.begin(),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

bool IsZeroBlock(std::span<const uint8_t> block) {
    return std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; });
}

// Runs of a session's blocks: two or more zero blocks in a row become a zero run.
SessionRuns RunsOf(std::span<const uint8_t> blocks, std::vector<uint8_t>& data) {
    SessionRuns runs;
    const std::size_t count = blocks.size() / kBlockSize;
    std::size_t b = 0;
    while (b < count) {
        Run run;
        const std::size_t dataStart = b;
        while (b < count) {
            const bool zero = IsZeroBlock(blocks.subspan(b * kBlockSize, kBlockSize));
            const bool nextZero = b + 1 < count && IsZeroBlock(blocks.subspan((b + 1) * kBlockSize, kBlockSize));
            if (zero && (nextZero || b + 1 == count)) break;
            ++b;
        }
        if (b - dataStart > UINT16_MAX) throw vrecorder::StoreError("a run of more than 65535 blocks");
        run.dataBlocks = static_cast<uint16_t>(b - dataStart);
        data.insert(data.end(), blocks.begin() + static_cast<std::ptrdiff_t>(dataStart * kBlockSize),
                    blocks.begin() + static_cast<std::ptrdiff_t>(b * kBlockSize));
        const std::size_t zeroStart = b;
        while (b < count && b - zeroStart < UINT16_MAX && IsZeroBlock(blocks.subspan(b * kBlockSize, kBlockSize))) ++b;
        run.zeroBlocks = static_cast<uint16_t>(b - zeroStart);
        runs.push_back(run);
    }
    return runs;
}

}  // namespace

void MakeDisc(std::span<const uint8_t> input, const fs::path& folder, std::vector<uint8_t>& scratch) {
    if (!HasMagic(input)) {
        scratch.assign(input.begin(), input.end());
        PressImage(scratch, folder);
        return;
    }
    InputReader reader(input.subspan(kLayoutMagic.size()));
    const uint8_t flags = reader.byte();
    const bool pressed = flags & kPressedFlag;
    const std::size_t count = pressed ? 1 : (flags & kSessionCountMask) + 1u;
    std::vector<SessionRuns> sessions(count);
    for (SessionRuns& runs : sessions) {
        runs.resize(reader.byte());
        for (Run& run : runs) {
            run.dataBlocks = reader.u16();
            run.zeroBlocks = reader.u16();
        }
    }
    if (pressed) {
        uint32_t allowance = kMaximumDiscBlocks;
        SessionBlocks(sessions.front(), reader, allowance, scratch);
        PressImage(scratch, folder);
        return;
    }
    RecordSessions(sessions, flags & kFinalFlag, reader, folder, scratch);
}

std::vector<uint8_t> DescribeDisc(const DiscStore& store) {
    const vrecorder::Disc& disc = store.disc();
    const bool pressed = disc.kind() == MediaKind::CdRom;
    std::vector<vrecorder::SessionInfo> sessions;
    for (const auto& s : disc.sessions())
        if (s.end > s.start) sessions.push_back(s);
    std::vector<uint8_t> out(kLayoutMagic.begin(), kLayoutMagic.end());
    const auto count = static_cast<uint8_t>(std::clamp<std::size_t>(sessions.size(), 1, kMaximumSessions));
    out.push_back(static_cast<uint8_t>((count - 1) | (pressed ? kPressedFlag : 0) |
                                       (disc.state().finalized ? kFinalFlag : 0)));
    std::vector<uint8_t> data;
    for (std::size_t s = 0; s < count && s < sessions.size(); ++s) {
        std::vector<uint8_t> blocks(std::size_t{sessions[s].end - sessions[s].start} * kBlockSize);
        if (store.read(sessions[s].start, blocks) != vrecorder::DiscResult::Ok)
            throw vrecorder::StoreError("cannot read session " + std::to_string(s + 1));
        const SessionRuns runs = RunsOf(blocks, data);
        if (runs.size() > UINT8_MAX) throw vrecorder::StoreError("session " + std::to_string(s + 1) + " has too many runs");
        out.push_back(static_cast<uint8_t>(runs.size()));
        for (const Run& run : runs) {
            PutU16(out, run.dataBlocks);
            PutU16(out, run.zeroBlocks);
        }
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace tavrin::fuzz
