// The state of one disc in the virtual recorder: its kind, sessions and tracks,
// and the medium rules of writing, reading, closing, reserving, blanking and
// formatting. Pure model: no files (disc_store.h keeps a Disc with its blocks in
// a folder). Medium rules never throw; each operation returns a DiscResult that the
// command layer turns into status and sense.
//
// Sequential discs (CD-R/RW, DVD-R, DVD-RW sequential, DVD+R) keep a list of
// recorded tracks plus, while the disc is writable, an "invisible" track: the
// blank rest of the disc, numbered one past the last track, starting at the next
// writable address. The first write at its start opens it as an incomplete track.
// Random discs (DVD+RW, DVD-RAM, DVD-RW restricted overwrite) once formatted hold
// one complete track over the whole formatted capacity. Pressed discs hold one
// complete track over their image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recorders/virtual/media.h"

namespace tavrin::vrecorder {

// READ DISC INFORMATION "Disc Status" (2 bits).
enum class DiscStatus : uint8_t { Empty = 0, Incomplete = 1, Complete = 2, Other = 3 };
// READ DISC INFORMATION "State of Last Session" (2 bits).
enum class SessionState : uint8_t { Empty = 0, Incomplete = 1, Reserved = 2, Complete = 3 };

enum class TrackState : uint8_t {
    Blank,       // the invisible track: nothing recorded yet, NWA at its start
    Incomplete,  // being written, open
    Reserved,    // fixed size from RESERVE TRACK, not yet closed
    Complete,    // closed
};

// Outcome of a medium operation, one value per distinct answer of a drive.
enum class DiscResult : uint8_t {
    Ok,
    InvalidAddress,       // write not at a writable address / beyond capacity: 21h/02h
    OutOfRange,           // read beyond the last addressable block: 21h/00h
    Unrecorded,           // read of a block never recorded: a read error
    WriteProtected,       // pressed disc: 27h/00h
    NotWritable,          // complete disc, or random disc not formatted: 30h/05h-like
    CannotErase,          // BLANK on a disc that cannot be blanked: 30h/05h-like
    CannotFormat,         // FORMAT UNIT on a disc or with a type it cannot take: 30h/06h-like
    InvalidField,         // a size or type that makes no sense: 24h/00h
    SequenceError,        // nothing to close / reserve in this state: 2Ch/00h
    NoSpace,              // reservation larger than the blank area: 21h/02h-like
    StoreFailed,          // disc_store only: the folder could not be updated
};

const char* describe(DiscResult result);

// How a session is closed (CLOSE TRACK/SESSION with the Multi-session field).
enum class SessionClose : uint8_t {
    Appendable,  // Multi-session 11b / DVD close session: the disc stays appendable
    Final,       // Multi-session 00b / finalize: the disc becomes complete
};

enum class BlankType : uint8_t { Full = 0, Minimal = 1 };  // BLANK type 000b / 001b

// A recorded or reserved track as kept in the disc's state.
struct Track {
    uint16_t number = 0;     // 1-based, across sessions
    uint16_t session = 0;    // 1-based
    uint32_t start = 0;      // LBA of its first user block
    uint32_t reserved = 0;   // fixed size from RESERVE TRACK (state Reserved), else 0
    uint32_t recorded = 0;   // blocks recorded from start
    TrackState state = TrackState::Incomplete;
    uint8_t dataMode = 1;    // READ TRACK INFORMATION Data Mode: 1 = Mode 1
    friend bool operator==(const Track&, const Track&) = default;
};

// The whole persisted state of a disc; restore() validates one read from a file.
struct DiscState {
    MediaKind kind = MediaKind::CdR;
    uint32_t capacity = 0;          // user blocks (the media figure, or a pressed image's size)
    std::vector<Track> tracks;      // in address order; the invisible track is not stored
    uint16_t closedSessions = 0;    // sessions 1..closedSessions are complete
    bool finalized = false;         // complete disc: nothing more can be written
    uint32_t nextStart = 0;         // sequential: where the invisible track starts
    bool formatted = false;         // random kinds: formatted (DVD-RAM, RO DVD-RW: always)
    friend bool operator==(const DiscState&, const DiscState&) = default;
};

// Answers for READ TRACK INFORMATION, one track (the invisible one included).
struct TrackInfo {
    uint16_t number = 0;
    uint16_t session = 0;
    uint32_t start = 0;
    uint32_t size = 0;              // Track Size: recorded / reserved / blank blocks
    uint32_t recorded = 0;
    TrackState state = TrackState::Blank;
    uint8_t dataMode = 1;           // 0Fh on the blank invisible track
    bool blank = false;             // Blank bit
    bool reserved = false;          // RT bit (reserved or incomplete-with-fixed-size track)
    bool nwaValid = false;          // NWA_V bit
    uint32_t nextWritable = 0;      // Next Writable Address (meaningful when nwaValid)
    uint32_t freeBlocks = 0;        // Free Blocks
    std::optional<uint32_t> lastRecorded;  // last recorded address, none when nothing recorded
};

// A session as the TOC and READ DISC INFORMATION see it.
struct SessionInfo {
    uint16_t number = 0;
    uint16_t firstTrack = 0;
    uint16_t lastTrack = 0;   // == firstTrack - 1 when the session has no track yet
    uint32_t start = 0;       // first track's start
    uint32_t end = 0;         // one past its last recorded block: the lead-out start
    SessionState state = SessionState::Empty;
};

// ATIP figures of a recordable CD (READ TOC format 4).
struct Atip {
    Msf leadInStart;
    Msf leadOutStart;   // last possible lead-out start
    bool rewritable;    // Disc Type bit (CD-RW)
};

class Disc {
public:
    // A factory-fresh disc of a recordable kind: blank, or formatted where the kind
    // comes formatted (DVD-RAM, DVD-RW restricted overwrite). DVD+RW comes unformatted.
    static Disc blank(MediaKind kind);
    // A pressed disc (CD-ROM or DVD-ROM) holding `blocks` recorded blocks from LBA 0.
    static Disc pressed(MediaKind kind, uint32_t blocks);
    // Checks every invariant of a state read from outside (kind and capacity agree,
    // tracks numbered 1.., in address order, inside capacity, sessions monotonic,
    // open track only in the last open session...). Returns the disc, or an error
    // text naming the first fault in `error`.
    static std::optional<Disc> restore(const DiscState& state, std::string& error);

    const DiscState& state() const { return state_; }
    MediaKind kind() const { return state_.kind; }
    const MediaFigures& figures() const { return mediaFigures(state_.kind); }
    uint16_t profile() const { return figures().profile; }
    bool erasable() const { return figures().erasable; }
    bool formatted() const { return state_.formatted; }
    uint32_t capacity() const { return state_.capacity; }

    DiscStatus status() const;
    SessionState lastSessionState() const;
    // Every track, then the blank invisible one while the disc is writable (sequential).
    // A formatted random disc: one complete track over the capacity; unformatted: none.
    std::vector<TrackInfo> tracks() const;
    std::optional<TrackInfo> track(uint16_t number) const;    // no 255 magic: see invisibleTrack
    // READ TRACK INFORMATION track 255: the blank invisible track, or the open
    // incomplete track while one is being written (sequential, writable discs only).
    std::optional<TrackInfo> invisibleTrack() const;
    std::optional<TrackInfo> trackContaining(uint32_t lba) const;
    // Sessions with at least one track, plus the empty last session of a writable disc
    // (or of an unformatted random disc); sessions 1..n in order.
    std::vector<SessionInfo> sessions() const;
    uint16_t sessionCount() const;                  // as READ DISC INFORMATION counts them
    uint16_t firstTrackOfLastSession() const;
    uint16_t lastTrackOfLastSession() const;
    // The next writable address of a writable disc: the invisible track's NWA on
    // sequential discs, 0 on formatted random discs; nullopt on complete, pressed or
    // unformatted discs.
    std::optional<uint32_t> nextWritable() const;
    // Last recorded block of the disc (READ CAPACITY); nullopt when nothing is recorded.
    // Random formatted discs: the last block of the formatted capacity.
    std::optional<uint32_t> lastRecorded() const;
    // Whether a read of this block returns data (recorded, or formatted random area).
    bool isRecorded(uint32_t lba) const;
    std::optional<Atip> atip() const;               // recordable CD only

    // WRITE: `blocks` blocks at `lba`. Sequential discs accept only a writable
    // track's next writable address and stay inside that track (reserved size or
    // capacity); random discs accept any range inside the formatted capacity.
    // With testWrite the address is checked but nothing is recorded.
    DiscResult write(uint32_t lba, uint32_t blocks, bool testWrite = false);
    // READ: Ok when every block is recorded (or formatted random area); else
    // OutOfRange past the capacity / image, or Unrecorded.
    DiscResult read(uint32_t lba, uint32_t blocks) const;
    // CLOSE TRACK: the open (incomplete or reserved) track becomes complete; a
    // reserved or DVD track is padded to its size / ECC block. `number` 0 = the
    // open track.
    DiscResult closeTrack(uint16_t number = 0);
    // CLOSE SESSION: closes any open track, then the session; Appendable leaves the
    // next session's first NWA after the session gap, Final completes the disc.
    DiscResult closeSession(SessionClose how);
    // RESERVE TRACK: turns the start of the invisible track into a reserved track
    // of `blocks` blocks (rounded up to the ECC block on DVD).
    DiscResult reserveTrack(uint32_t blocks);
    // BLANK: CD-RW and DVD-RW (either mode); the disc becomes blank (DVD-RW sequential).
    DiscResult blank(BlankType type);
    // FORMAT UNIT with a format type: DVD+RW 26h; DVD-RAM 00h (or 01h);
    // DVD-RW 00h/15h (becomes restricted overwrite). Clears every recorded block.
    DiscResult format(uint8_t formatType);

private:
    explicit Disc(DiscState state) : state_(std::move(state)) {}
    bool sequential() const;
    uint16_t openSession() const { return static_cast<uint16_t>(state_.closedSessions + 1); }
    const Track* growingTrack() const;  // open incomplete track without fixed size
    TrackInfo infoOf(const Track& track) const;
    std::optional<TrackInfo> blankTrack() const;
    uint32_t derivedNextStart() const;
    void closeOpenTrack(Track& track);

    DiscState state_;
};

}  // namespace tavrin::vrecorder
