#include "recorders/virtual/disc.h"

#include <algorithm>

#include <fmt/format.h>

namespace tavrin::vrecorder {
namespace {

constexpr uint8_t kBlankDataMode = 0x0F;  // Data Mode of a blank track
constexpr uint32_t kMaxPressedCdBlocks = 404'850;    // a 90-minute CD
constexpr uint32_t kMaxPressedDvdBlocks = 4'173'824;  // a dual-layer DVD
constexpr uint16_t kMaxCdTracks = 99;

uint32_t alignUp(uint32_t blocks, uint32_t alignment) {
    const uint64_t rounded = (uint64_t{blocks} + alignment - 1) / alignment * alignment;
    return static_cast<uint32_t>(std::min<uint64_t>(rounded, UINT32_MAX));
}

// Blocks a track takes on the disc: its fixed size, or what it has recorded.
uint32_t extentOf(const Track& track) {
    return track.state == TrackState::Reserved ? track.reserved : track.recorded;
}

uint64_t endOf(const Track& track) { return uint64_t{track.start} + extentOf(track); }

bool isOpen(const Track& track) {
    return track.state == TrackState::Incomplete || track.state == TrackState::Reserved;
}

uint32_t sessionGap(const MediaFigures& figures, uint16_t closedSession) {
    return closedSession == 1 ? figures.firstSessionGap : figures.laterSessionGap;
}

}  // namespace

const char* describe(DiscResult result) {
    switch (result) {
        case DiscResult::Ok: return "ok";
        case DiscResult::InvalidAddress: return "invalid address for write";
        case DiscResult::OutOfRange: return "logical block address out of range";
        case DiscResult::Unrecorded: return "block not recorded";
        case DiscResult::WriteProtected: return "disc is read-only";
        case DiscResult::NotWritable: return "disc cannot be written in its state";
        case DiscResult::CannotErase: return "disc cannot be blanked";
        case DiscResult::CannotFormat: return "disc cannot take this format";
        case DiscResult::InvalidField: return "invalid field";
        case DiscResult::SequenceError: return "command sequence error";
        case DiscResult::NoSpace: return "not enough blank space";
        case DiscResult::StoreFailed: return "disc folder could not be updated";
    }
    return "unknown";
}

Disc Disc::blank(MediaKind kind) {
    const MediaFigures& figures = mediaFigures(kind);
    DiscState state;
    state.kind = kind;
    state.capacity = figures.capacity;
    state.formatted = kind == MediaKind::DvdRam || kind == MediaKind::DvdRwRestricted;
    return Disc(std::move(state));
}

Disc Disc::pressed(MediaKind kind, uint32_t blocks) {
    DiscState state;
    state.kind = mediaFigures(kind).recording == Recording::ReadOnly ? kind : MediaKind::DvdRom;
    state.capacity = blocks;
    state.tracks.push_back(Track{1, 1, 0, 0, blocks, TrackState::Complete, 1});
    state.closedSessions = 1;
    state.finalized = true;
    state.nextStart = blocks;
    return Disc(std::move(state));
}

std::optional<Disc> Disc::restore(const DiscState& state, std::string& error) {
    const MediaFigures& figures = mediaFigures(state.kind);
    auto fail = [&error](std::string text) -> std::optional<Disc> {
        error = std::move(text);
        return std::nullopt;
    };
    if (figures.recording == Recording::ReadOnly) {
        const uint32_t max = figures.cd ? kMaxPressedCdBlocks : kMaxPressedDvdBlocks;
        if (state.capacity == 0 || state.capacity > max)
            return fail(fmt::format("capacity {} out of range for {}", state.capacity, figures.name));
        if (state != pressed(state.kind, state.capacity).state_)
            return fail("a pressed disc holds exactly one complete track over its image");
        return Disc(state);
    }
    if (state.capacity != figures.capacity)
        return fail(fmt::format("capacity {} is not that of {} ({})", state.capacity, figures.name,
                                figures.capacity));
    if (figures.recording == Recording::Random) {
        if (!state.tracks.empty() || state.closedSessions != 0 || state.finalized ||
            state.nextStart != 0)
            return fail(fmt::format("{} keeps no tracks or sessions", figures.name));
        if (!state.formatted && state.kind != MediaKind::DvdPlusRw)
            return fail(fmt::format("{} is always formatted", figures.name));
        return Disc(state);
    }
    if (state.formatted) return fail(fmt::format("{} cannot be formatted", figures.name));
    if (figures.cd && state.tracks.size() > kMaxCdTracks) return fail("more than 99 tracks on a CD");
    if (state.finalized && state.closedSessions == 0)
        return fail("a finalized disc has at least one closed session");

    const uint16_t openSession = static_cast<uint16_t>(state.closedSessions + 1);
    uint64_t expectedStart = 0;
    uint16_t session = 1;
    for (size_t i = 0; i < state.tracks.size(); ++i) {
        const Track& t = state.tracks[i];
        const std::string where = fmt::format("track {}", i + 1);
        if (t.number != i + 1) return fail(where + ": tracks are not numbered 1, 2, ...");
        if (t.session != session && t.session != session + 1)
            return fail(where + ": sessions are not consecutive");
        if (t.session > openSession) return fail(where + ": session beyond the open session");
        if (t.session != session) {
            if (i == 0) return fail(where + ": the first track is in session 1");
            expectedStart += sessionGap(figures, session);
            session = t.session;
        }
        if (t.start != expectedStart)
            return fail(fmt::format("{}: starts at {}, expected {}", where, t.start, expectedStart));
        if (t.dataMode != 1 && t.dataMode != 2) return fail(where + ": data mode not 1 or 2");
        switch (t.state) {
            case TrackState::Complete:
                if (t.recorded == 0 || t.reserved != 0)
                    return fail(where + ": complete track without recorded blocks");
                break;
            case TrackState::Incomplete:
                if (t.recorded == 0 || t.reserved != 0 || i + 1 != state.tracks.size())
                    return fail(where + ": an incomplete track is the last one and has data");
                break;
            case TrackState::Reserved:
                if (t.reserved == 0 || t.recorded > t.reserved)
                    return fail(where + ": reserved size and recorded blocks disagree");
                break;
            case TrackState::Blank: return fail(where + ": a blank track is never stored");
        }
        if (isOpen(t) && (t.session != openSession || state.finalized))
            return fail(where + ": open track in a closed session");
        if (endOf(t) > state.capacity) return fail(where + ": beyond the disc's capacity");
        expectedStart = endOf(t);
    }
    for (uint16_t s = 1; s <= state.closedSessions; ++s) {
        const bool hasTrack = std::any_of(state.tracks.begin(), state.tracks.end(),
                                          [s](const Track& t) { return t.session == s; });
        if (!hasTrack) return fail(fmt::format("closed session {} has no track", s));
    }
    Disc disc(state);
    if (state.nextStart != disc.derivedNextStart())
        return fail(fmt::format("next start {} does not follow the tracks ({})", state.nextStart,
                                disc.derivedNextStart()));
    return disc;
}

bool Disc::sequential() const { return figures().recording == Recording::Sequential; }

const Track* Disc::growingTrack() const {
    if (state_.tracks.empty()) return nullptr;
    const Track& last = state_.tracks.back();
    return last.state == TrackState::Incomplete ? &last : nullptr;
}

uint32_t Disc::derivedNextStart() const {
    if (state_.tracks.empty()) return 0;
    const Track& last = state_.tracks.back();
    const uint64_t end = endOf(last);
    if (last.session > state_.closedSessions) return static_cast<uint32_t>(end);
    return static_cast<uint32_t>(
        std::min<uint64_t>(end + sessionGap(figures(), last.session), UINT32_MAX));
}

DiscStatus Disc::status() const {
    switch (figures().recording) {
        case Recording::ReadOnly: return DiscStatus::Complete;
        case Recording::Random: return state_.formatted ? DiscStatus::Other : DiscStatus::Empty;
        case Recording::Sequential: break;
    }
    if (state_.finalized) return DiscStatus::Complete;
    return state_.tracks.empty() ? DiscStatus::Empty : DiscStatus::Incomplete;
}

SessionState Disc::lastSessionState() const {
    switch (figures().recording) {
        case Recording::ReadOnly: return SessionState::Complete;
        case Recording::Random:
            return state_.formatted ? SessionState::Complete : SessionState::Empty;
        case Recording::Sequential: break;
    }
    if (state_.finalized) return SessionState::Complete;
    bool any = false, incomplete = false, reserved = false;
    for (const Track& t : state_.tracks) {
        if (t.session != openSession()) continue;
        any = true;
        incomplete = incomplete || t.state != TrackState::Reserved;
        reserved = reserved || t.state == TrackState::Reserved;
    }
    if (!any) return SessionState::Empty;
    return reserved && !incomplete ? SessionState::Reserved : SessionState::Incomplete;
}

TrackInfo Disc::infoOf(const Track& track) const {
    TrackInfo info;
    info.number = track.number;
    info.session = track.session;
    info.start = track.start;
    info.recorded = track.recorded;
    info.state = track.state;
    info.dataMode = track.dataMode;
    if (track.recorded > 0) info.lastRecorded = track.start + track.recorded - 1;
    switch (track.state) {
        case TrackState::Complete:
        case TrackState::Blank: info.size = track.recorded; break;
        case TrackState::Incomplete:
            info.nwaValid = true;
            info.nextWritable = track.start + track.recorded;
            info.freeBlocks = state_.capacity - info.nextWritable;
            info.size = track.recorded + info.freeBlocks;
            break;
        case TrackState::Reserved:
            info.reserved = true;
            info.blank = track.recorded == 0;
            info.nwaValid = track.recorded < track.reserved;
            info.nextWritable = track.start + track.recorded;
            info.freeBlocks = track.reserved - track.recorded;
            info.size = track.reserved;
            break;
    }
    return info;
}

std::optional<TrackInfo> Disc::blankTrack() const {
    if (!sequential() || state_.finalized || growingTrack() != nullptr) return std::nullopt;
    if (state_.nextStart >= state_.capacity) return std::nullopt;
    if (figures().cd && state_.tracks.size() >= kMaxCdTracks) return std::nullopt;
    TrackInfo info;
    info.number = static_cast<uint16_t>(state_.tracks.size() + 1);
    info.session = openSession();
    info.start = state_.nextStart;
    info.state = TrackState::Blank;
    info.dataMode = kBlankDataMode;
    info.blank = true;
    info.nwaValid = true;
    info.nextWritable = state_.nextStart;
    info.freeBlocks = state_.capacity - state_.nextStart;
    info.size = info.freeBlocks;
    return info;
}

std::vector<TrackInfo> Disc::tracks() const {
    std::vector<TrackInfo> out;
    if (figures().recording == Recording::Random) {
        if (!state_.formatted) return out;
        TrackInfo info;
        info.number = 1;
        info.session = 1;
        info.size = info.recorded = state_.capacity;
        info.state = TrackState::Complete;
        info.lastRecorded = state_.capacity - 1;
        out.push_back(info);
        return out;
    }
    for (const Track& t : state_.tracks) out.push_back(infoOf(t));
    if (auto blank = blankTrack()) out.push_back(*blank);
    return out;
}

std::optional<TrackInfo> Disc::track(uint16_t number) const {
    for (const TrackInfo& info : tracks())
        if (info.number == number) return info;
    return std::nullopt;
}

std::optional<TrackInfo> Disc::invisibleTrack() const {
    if (const Track* growing = growingTrack()) return infoOf(*growing);
    return blankTrack();
}

std::optional<TrackInfo> Disc::trackContaining(uint32_t lba) const {
    for (const TrackInfo& info : tracks())
        if (lba >= info.start && uint64_t{lba} < uint64_t{info.start} + info.size) return info;
    return std::nullopt;
}

std::vector<SessionInfo> Disc::sessions() const {
    std::vector<SessionInfo> out;
    const std::vector<TrackInfo> all = tracks();
    for (const TrackInfo& t : all) {
        if (t.state == TrackState::Blank) continue;
        if (out.empty() || out.back().number != t.session) {
            SessionInfo s;
            s.number = t.session;
            s.firstTrack = t.number;
            s.start = t.start;
            s.state = t.session <= state_.closedSessions || figures().recording != Recording::Sequential
                          ? SessionState::Complete
                          : lastSessionState();
            out.push_back(s);
        }
        out.back().lastTrack = t.number;
        out.back().end = t.start + (t.reserved ? t.size : t.recorded);
    }
    const bool writableSequential = sequential() && !state_.finalized;
    const bool unformatted = figures().recording == Recording::Random && !state_.formatted;
    if ((writableSequential && (out.empty() || out.back().number < openSession())) || unformatted) {
        SessionInfo s;
        s.number = unformatted ? 1 : openSession();
        s.firstTrack = static_cast<uint16_t>(state_.tracks.size() + 1);
        s.lastTrack = static_cast<uint16_t>(s.firstTrack - 1);
        s.start = s.end = state_.nextStart;
        out.push_back(s);
    }
    return out;
}

uint16_t Disc::sessionCount() const { return static_cast<uint16_t>(sessions().size()); }

uint16_t Disc::firstTrackOfLastSession() const {
    const std::vector<SessionInfo> all = sessions();
    return all.empty() ? 1 : all.back().firstTrack;
}

uint16_t Disc::lastTrackOfLastSession() const {
    if (auto invisible = invisibleTrack()) return invisible->number;
    const std::vector<SessionInfo> all = sessions();
    return all.empty() ? 1 : std::max(all.back().lastTrack, all.back().firstTrack);
}

std::optional<uint32_t> Disc::nextWritable() const {
    if (figures().recording == Recording::Random)
        return state_.formatted ? std::optional<uint32_t>(0) : std::nullopt;
    const auto invisible = invisibleTrack();
    if (!invisible || !invisible->nwaValid) return std::nullopt;
    return invisible->nextWritable;
}

std::optional<uint32_t> Disc::lastRecorded() const {
    if (figures().recording == Recording::Random)
        return state_.formatted ? std::optional<uint32_t>(state_.capacity - 1) : std::nullopt;
    std::optional<uint32_t> last;
    for (const Track& t : state_.tracks)
        if (t.recorded > 0) last = std::max(last.value_or(0), t.start + t.recorded - 1);
    return last;
}

bool Disc::isRecorded(uint32_t lba) const { return read(lba, 1) == DiscResult::Ok; }

std::optional<Atip> Disc::atip() const {
    if (!figures().atipLeadIn || !figures().atipLeadOut) return std::nullopt;
    return Atip{*figures().atipLeadIn, *figures().atipLeadOut, figures().erasable};
}

DiscResult Disc::write(uint32_t lba, uint32_t blocks, bool testWrite) {
    const uint64_t end = uint64_t{lba} + blocks;
    switch (figures().recording) {
        case Recording::ReadOnly: return DiscResult::WriteProtected;
        case Recording::Random:
            if (!state_.formatted) return DiscResult::NotWritable;
            return end <= state_.capacity ? DiscResult::Ok : DiscResult::InvalidAddress;
        case Recording::Sequential: break;
    }
    if (state_.finalized) return DiscResult::NotWritable;
    if (blocks == 0) return DiscResult::Ok;
    for (Track& t : state_.tracks) {
        // A filled reserved track has no writable address; its end is the next track's start.
        const bool full = t.state == TrackState::Reserved && t.recorded == t.reserved;
        if (!isOpen(t) || full || t.start + t.recorded != lba) continue;
        const uint64_t limit = t.state == TrackState::Reserved ? endOf(t) : state_.capacity;
        if (end > limit) return DiscResult::InvalidAddress;
        if (!testWrite) t.recorded += blocks;
        state_.nextStart = derivedNextStart();
        return DiscResult::Ok;
    }
    const auto blank = blankTrack();
    if (!blank || lba != blank->start || end > state_.capacity) return DiscResult::InvalidAddress;
    if (testWrite) return DiscResult::Ok;
    state_.tracks.push_back(
        Track{blank->number, blank->session, lba, 0, blocks, TrackState::Incomplete, 1});
    state_.nextStart = derivedNextStart();
    return DiscResult::Ok;
}

DiscResult Disc::read(uint32_t lba, uint32_t blocks) const {
    const uint64_t end = uint64_t{lba} + blocks;
    if (end > state_.capacity) return DiscResult::OutOfRange;
    if (figures().recording == Recording::Random)
        return state_.formatted ? DiscResult::Ok : DiscResult::Unrecorded;
    uint64_t at = lba;
    for (const Track& t : state_.tracks) {
        if (at >= end) break;
        const uint64_t recordedEnd = uint64_t{t.start} + t.recorded;
        if (recordedEnd <= at) continue;
        if (t.start > at) return DiscResult::Unrecorded;
        at = recordedEnd;
    }
    return at >= end ? DiscResult::Ok : DiscResult::Unrecorded;
}

void Disc::closeOpenTrack(Track& track) {
    // A drive pads a track to its reserved size, or to a whole ECC block on DVD.
    const uint32_t size = track.state == TrackState::Reserved
                              ? track.reserved
                              : alignUp(track.recorded, figures().trackAlignment);
    track.recorded = static_cast<uint32_t>(
        std::min<uint64_t>(size, uint64_t{state_.capacity} - track.start));
    track.reserved = 0;
    track.state = TrackState::Complete;
}

DiscResult Disc::closeTrack(uint16_t number) {
    switch (figures().recording) {
        case Recording::ReadOnly: return DiscResult::WriteProtected;
        case Recording::Random: return DiscResult::Ok;  // nothing open on an overwritable disc
        case Recording::Sequential: break;
    }
    if (state_.finalized) return DiscResult::SequenceError;
    for (Track& t : state_.tracks) {
        if (number != 0 && t.number != number) continue;
        if (!isOpen(t)) {
            if (number != 0) return DiscResult::SequenceError;
            continue;
        }
        closeOpenTrack(t);
        state_.nextStart = derivedNextStart();
        return DiscResult::Ok;
    }
    return number == 0 || number == state_.tracks.size() + 1 ? DiscResult::SequenceError
                                                              : DiscResult::InvalidField;
}

DiscResult Disc::closeSession(SessionClose how) {
    switch (figures().recording) {
        case Recording::ReadOnly: return DiscResult::WriteProtected;
        case Recording::Random: return DiscResult::Ok;
        case Recording::Sequential: break;
    }
    if (state_.finalized) return DiscResult::SequenceError;
    const uint16_t session = openSession();
    const bool hasTracks = std::any_of(state_.tracks.begin(), state_.tracks.end(),
                                       [session](const Track& t) { return t.session == session; });
    if (!hasTracks) {
        // Finalizing an appendable disc closes nothing new; a blank disc has nothing to close.
        if (how != SessionClose::Final || state_.closedSessions == 0) return DiscResult::SequenceError;
        state_.finalized = true;
        return DiscResult::Ok;
    }
    for (Track& t : state_.tracks)
        if (isOpen(t)) closeOpenTrack(t);
    state_.closedSessions = session;
    state_.nextStart = derivedNextStart();
    // No room for another session's lead-in and first block: the disc is full.
    const bool full = state_.nextStart >= state_.capacity;
    state_.finalized = how == SessionClose::Final || !figures().multisession || full;
    return DiscResult::Ok;
}

DiscResult Disc::reserveTrack(uint32_t blocks) {
    if (figures().recording == Recording::ReadOnly) return DiscResult::WriteProtected;
    if (!figures().reservable || state_.finalized) return DiscResult::NotWritable;
    if (blocks == 0) return DiscResult::InvalidField;
    if (growingTrack() != nullptr) return DiscResult::SequenceError;
    const auto blank = blankTrack();
    const uint32_t size = alignUp(blocks, figures().trackAlignment);
    if (!blank || size > blank->freeBlocks) return DiscResult::NoSpace;
    state_.tracks.push_back(
        Track{blank->number, blank->session, blank->start, size, 0, TrackState::Reserved, 1});
    state_.nextStart = derivedNextStart();
    return DiscResult::Ok;
}

DiscResult Disc::blank(BlankType) {
    if (!figures().blankable) return DiscResult::CannotErase;
    // A blanked DVD-RW is a sequential disc again, whatever mode it was in.
    const MediaKind kind =
        state_.kind == MediaKind::DvdRwRestricted ? MediaKind::DvdRwSequential : state_.kind;
    *this = Disc::blank(kind);
    return DiscResult::Ok;
}

DiscResult Disc::format(uint8_t formatType) {
    constexpr uint8_t kFullFormat = 0x00, kSpareAreaFormat = 0x01, kQuickFormat = 0x15,
                      kPlusRwFormat = 0x26;
    switch (state_.kind) {
        case MediaKind::DvdPlusRw:
            if (formatType != kPlusRwFormat) return DiscResult::CannotFormat;
            *this = Disc::blank(MediaKind::DvdPlusRw);
            state_.formatted = true;
            return DiscResult::Ok;
        case MediaKind::DvdRam:
            if (formatType != kFullFormat && formatType != kSpareAreaFormat)
                return DiscResult::CannotFormat;
            *this = Disc::blank(MediaKind::DvdRam);
            return DiscResult::Ok;
        case MediaKind::DvdRwSequential:
        case MediaKind::DvdRwRestricted:
            if (formatType != kFullFormat && formatType != kQuickFormat)
                return DiscResult::CannotFormat;
            *this = Disc::blank(MediaKind::DvdRwRestricted);
            return DiscResult::Ok;
        default: return DiscResult::CannotFormat;
    }
}

}  // namespace tavrin::vrecorder
