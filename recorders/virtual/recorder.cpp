#include "recorders/virtual/recorder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "recorders/virtual/file_io.h"
#include "recorders/virtual/mmc_bytes.h"

namespace tavrin::vrecorder {

struct VirtualRecorder::Context {
    std::span<const uint8_t> cdb;
    DataDirection direction;
    std::span<uint8_t> data;
    TimePoint now;
    CommandResult result;

    void fail(const Sense& s, uint8_t status = kStatusCheckCondition) {
        result.status = status;
        result.sense = status == kStatusCheckCondition ? s.encode() : std::array<uint8_t, kSenseLength>{};
        result.transferred = 0;
    }
    // Copies an answer, cut to the allocation length and the data buffer.
    void answer(const Answer& a, std::size_t allocation) {
        if (direction != DataDirection::In) return;
        const std::size_t n = std::min({a.size(), allocation, data.size()});
        std::copy_n(a.begin(), n, data.begin());
        result.transferred = n;
    }
    // The parameter list sent with a data-out command, cut to its CDB length.
    std::span<const uint8_t> parameters(std::size_t length) const {
        if (direction != DataDirection::Out) return {};
        return std::span<const uint8_t>(data).first(std::min(length, data.size()));
    }
};

namespace {

// Opcodes the model answers.
enum Op : uint8_t {
    kTestUnitReady = 0x00, kRezeroUnit = 0x01, kRequestSense = 0x03, kFormatUnit = 0x04,
    kInquiry = 0x12, kStartStopUnit = 0x1B, kPreventAllow = 0x1E, kReadFormatCapacities = 0x23,
    kReadCapacity = 0x25, kRead10 = 0x28, kWrite10 = 0x2A, kSynchronizeCache = 0x35,
    kReadToc = 0x43, kGetConfiguration = 0x46, kReadDiscInformation = 0x51,
    kReadTrackInformation = 0x52, kReserveTrack = 0x53, kSendOpc = 0x54, kModeSelect10 = 0x55,
    kModeSense10 = 0x5A, kCloseTrackSession = 0x5B, kReadBufferCapacity = 0x5C, kBlank = 0xA1,
    kSetStreaming = 0xB6, kSetCdSpeed = 0xBB, kSendDvdStructure = 0xBF,
};

// Commands a drive answers without a ready medium (and while it blanks or formats).
bool answersWithoutMedium(uint8_t op) {
    switch (op) {
    case kRequestSense: case kInquiry: case kStartStopUnit: case kPreventAllow:
    case kGetConfiguration: case kModeSense10: case kModeSelect10: case kReadBufferCapacity:
    case kSetCdSpeed: case kSetStreaming: return true;
    default: return false;
    }
}

std::size_t cdbLengthOf(uint8_t op) {
    if (op < 0x20) return 6;
    if (op < 0x60) return 10;
    return 12;
}

Sense senseOf(DiscResult r, bool parameterList = false) {
    switch (r) {
    case DiscResult::Ok: return sense::kNone;
    case DiscResult::InvalidAddress: return sense::kInvalidWriteAddress;
    case DiscResult::OutOfRange: return sense::kLbaOutOfRange;
    case DiscResult::Unrecorded: return sense::kUnrecoveredReadError;
    case DiscResult::WriteProtected: return sense::kWriteProtected;
    case DiscResult::NotWritable: return sense::kCannotWriteIncompatibleFormat;
    case DiscResult::CannotErase: return sense::kCannotWriteIncompatibleFormat;
    case DiscResult::CannotFormat: return sense::kCannotFormat;
    case DiscResult::InvalidField:
        return parameterList ? sense::kInvalidFieldInParameterList : sense::kInvalidFieldInCdb;
    case DiscResult::SequenceError: return sense::kCommandSequenceError;
    case DiscResult::NoSpace: return sense::kInvalidWriteAddress;
    case DiscResult::StoreFailed: return sense::kInternalTargetFailure;
    }
    return sense::kInternalTargetFailure;
}

// Real figures of the long operations, in seconds of a real drive.
constexpr double kSpinUpSeconds = 2.0;
constexpr double kMinimalBlankSeconds = 60.0;
constexpr double kQuickFormatSeconds = 60.0;
constexpr double kCloseTrackSeconds = 2.0;
constexpr double kDvdCloseSessionSeconds = 30.0;
constexpr double kDvdFinalizeSeconds = 90.0;
constexpr double kOpcSeconds = 1.0;
constexpr double kCdBlankBlocksPerSecond = 300.0;    // 4x
constexpr double kDvdBlankBlocksPerSecond = 1352.0;  // 2x

// Write Parameters page fields.
constexpr std::size_t kWpWriteType = 2;
constexpr std::size_t kWpMultiSession = 3;
constexpr std::size_t kWpDataBlockType = 4;
constexpr uint8_t kTestWriteBit = 0x10;

// A missing or unreadable count starts from zero: it is a benchmark's figure, not
// part of the disc.
uint64_t loadUnderruns(const std::filesystem::path& folder) {
    std::string text, error;
    if (!readSmallFile(folder / kUnderrunCountFile, text, error)) return 0;
    uint64_t count = 0;
    std::from_chars(text.data(), text.data() + text.size(), count);
    return count;
}

}  // namespace

VirtualRecorder::VirtualRecorder(RecorderOptions options)
    : options_(std::move(options)), watch_(options_.folder), buffer_(options_.bufferBytes) {
    if (!options_.clock) options_.clock = [] { return std::chrono::steady_clock::now(); };
    // Power-on counts as a disc change: the first commands see the disc just loaded.
    loadFromConfig(loadRecorderConfig(options_.folder));
    underruns_ = loadUnderruns(options_.folder);
    counters_.arm(options_.faults);
    writeParameters_ = defaultWriteParametersPage(dvdSpeeds());
}

void VirtualRecorder::setFaults(const Faults& faults) {
    const std::lock_guard lock(mutex_);
    options_.faults = faults;
    counters_.arm(faults);
}

void VirtualRecorder::setTimeScale(double scale) {
    const std::lock_guard lock(mutex_);
    options_.timeScale = std::max(0.0, scale);
}

void VirtualRecorder::setIdentity(const Identity& identity) {
    const std::lock_guard lock(mutex_);
    identity_ = identity;
}

uint64_t VirtualRecorder::underruns() const {
    const std::lock_guard lock(mutex_);
    return underruns_;
}

void VirtualRecorder::countUnderrun() {
    ++underruns_;
    // Rare by nature, so written at once; a count that cannot be saved must not
    // fail the write that was accepted.
    std::string error;
    replaceFileAtomically(options_.folder / kUnderrunCountFile, std::to_string(underruns_) + "\n", false, error);
}

VirtualRecorder::TimePoint VirtualRecorder::now() const { return options_.clock(); }

std::chrono::nanoseconds VirtualRecorder::scaled(double modelSeconds) const {
    return std::chrono::nanoseconds(static_cast<int64_t>(std::llround(modelSeconds * options_.timeScale * 1e9)));
}

Identity VirtualRecorder::identity() const {
    Identity id = identity_;
    if (config_.vendor) id.vendor = *config_.vendor;
    if (config_.product) id.product = *config_.product;
    if (config_.revision) id.revision = *config_.revision;
    return id;
}

void VirtualRecorder::loadFromConfig(const RecorderConfig& config) {
    const bool sameDisc = config.disc == config_.disc && config.trayOpen == config_.trayOpen;
    config_ = config;
    if (sameDisc && (disc_ || config.trayOpen || !config.disc)) return;
    disc_.reset();
    if (!config.trayOpen && config.disc) {
        try {
            disc_.emplace(DiscStore::open(*config.disc));
        } catch (const StoreError&) {
            // A disc folder that cannot be read is a tray the drive finds empty.
            disc_.reset();
        }
    }
    discChanged();
}

void VirtualRecorder::discChanged() {
    loadedAt_ = now();
    counters_.arm(options_.faults);
    unitAttention_ = disc_.has_value();
    running_.reset();
    buffer_.clear();
    testNext_.reset();
    prevented_ = prevented_ && disc_.has_value();
}

void VirtualRecorder::refreshFromFolder() {
    if (!watch_.changed()) return;
    try {
        loadFromConfig(loadRecorderConfig(options_.folder));
    } catch (const StoreError&) {
        // A half-written or corrupt recorder.json: keep what we had.
    }
}

void VirtualRecorder::saveTray(bool open) {
    RecorderConfig next = config_;
    next.trayOpen = open;
    saveRecorderConfig(options_.folder, next);
    watch_.changed();  // our own change
    loadFromConfig(next);
}

bool VirtualRecorder::dvdSpeeds() const { return disc_ && !disc_->disc().figures().cd; }

uint16_t VirtualRecorder::writeSpeed() const {
    return snapSpeed(speedsFor(dvdSpeeds()).write, requestedWrite_);
}

uint16_t VirtualRecorder::readSpeed() const {
    const SpeedTable t = speedsFor(dvdSpeeds());
    return requestedRead_ == kMaximumSpeed ? t.maxRead : std::min(requestedRead_, t.maxRead);
}

double VirtualRecorder::writeBytesPerSecond() const { return writeSpeed() * 1000.0; }

bool VirtualRecorder::testWrite() const { return (writeParameters_[kWpWriteType] & kTestWriteBit) != 0; }

Speeds VirtualRecorder::speeds(TimePoint) const {
    return Speeds{speedsFor(dvdSpeeds()), writeSpeed(), readSpeed(), buffer_.capacity(), prevented_};
}

std::optional<Sense> VirtualRecorder::runningSense(TimePoint at) {
    if (!running_) return std::nullopt;
    if (at >= running_->end) {
        running_.reset();
        return std::nullopt;
    }
    const double total = std::chrono::duration<double>(running_->end - running_->start).count();
    const double done = std::chrono::duration<double>(at - running_->start).count();
    Sense s = running_->what == Operation::Format ? sense::kFormatInProgress : sense::kOperationInProgress;
    s.progress = static_cast<uint16_t>(std::clamp(done / total, 0.0, 1.0) * 65535.0);
    return s;
}

std::optional<Sense> VirtualRecorder::mediumState(TimePoint at) const {
    if (config_.trayOpen) return sense::kMediumNotPresentTrayOpen;
    if (!disc_) return sense::kMediumNotPresentTrayClosed;
    const auto ready = loadedAt_ + scaled(kSpinUpSeconds) + options_.faults.notReadyAfterLoad;
    if (at < ready) return sense::kBecomingReady;
    return std::nullopt;
}

void VirtualRecorder::startOperation(Operation what, double modelSeconds, bool immediate, Context& c) {
    const auto d = scaled(modelSeconds);
    if (!immediate) {
        c.result.duration = d;
        return;
    }
    if (d.count() > 0) running_ = Running{what, c.now, c.now + d};
}

CommandResult VirtualRecorder::execute(std::span<const uint8_t> cdb, DataDirection direction,
                                       std::span<uint8_t> data) {
    const std::lock_guard lock(mutex_);
    Context c{cdb, direction, data, now(), {}};
    if (cdb.empty()) {
        c.fail(sense::kInvalidOpcode);
        return c.result;
    }
    const uint8_t op = cdb[0];
    refreshFromFolder();
    const Faults& f = options_.faults;
    if (f.hangOpcode == op) {
        c.result.hang = true;
        return c.result;
    }
    if (f.refusedOpcode == op) {
        c.fail(sense::kInvalidOpcode);
        lastSense_ = sense::kInvalidOpcode;
        return c.result;
    }
    using Handler = void (VirtualRecorder::*)(Context&);
    Handler handler = nullptr;
    switch (op) {
    case kTestUnitReady: handler = &VirtualRecorder::testUnitReady; break;
    case kRezeroUnit: handler = &VirtualRecorder::rezero; break;
    case kRequestSense: handler = &VirtualRecorder::requestSense; break;
    case kFormatUnit: handler = &VirtualRecorder::formatUnit; break;
    case kInquiry: handler = &VirtualRecorder::inquiry; break;
    case kStartStopUnit: handler = &VirtualRecorder::startStopUnit; break;
    case kPreventAllow: handler = &VirtualRecorder::preventAllow; break;
    case kReadFormatCapacities: handler = &VirtualRecorder::readFormatCapacities; break;
    case kReadCapacity: handler = &VirtualRecorder::readCapacity; break;
    case kRead10: handler = &VirtualRecorder::read10; break;
    case kWrite10: handler = &VirtualRecorder::write10; break;
    case kSynchronizeCache: handler = &VirtualRecorder::synchronizeCache; break;
    case kReadToc: handler = &VirtualRecorder::readToc; break;
    case kGetConfiguration: handler = &VirtualRecorder::getConfiguration; break;
    case kReadDiscInformation: handler = &VirtualRecorder::readDiscInformation; break;
    case kReadTrackInformation: handler = &VirtualRecorder::readTrackInformation; break;
    case kReserveTrack: handler = &VirtualRecorder::reserveTrack; break;
    case kSendOpc: handler = &VirtualRecorder::sendOpc; break;
    case kModeSelect10: handler = &VirtualRecorder::modeSelect10; break;
    case kModeSense10: handler = &VirtualRecorder::modeSense10; break;
    case kCloseTrackSession: handler = &VirtualRecorder::closeTrackSession; break;
    case kReadBufferCapacity: handler = &VirtualRecorder::readBufferCapacity; break;
    case kBlank: handler = &VirtualRecorder::blank; break;
    case kSetStreaming: handler = &VirtualRecorder::setStreaming; break;
    case kSetCdSpeed: handler = &VirtualRecorder::setCdSpeed; break;
    case kSendDvdStructure: handler = &VirtualRecorder::sendDvdStructure; break;
    default: break;
    }
    auto finish = [&]() -> CommandResult {
        if (c.result.status == kStatusCheckCondition) lastSense_ = c.result.decodedSense();
        return c.result;
    };
    if (!handler) {
        c.fail(sense::kInvalidOpcode);
        return finish();
    }
    if (cdb.size() < cdbLengthOf(op)) {
        c.fail(sense::kInvalidFieldInCdb);
        return finish();
    }
    const bool exempt = op == kInquiry || op == kRequestSense;
    if (!exempt && unitAttention_ && f.unitAttentionOnDiscChange) {
        unitAttention_ = false;
        c.fail(sense::kMediumChanged);
        return finish();
    }
    if (!exempt && counters_.notReadyCommands > 0) {
        --counters_.notReadyCommands;
        c.fail(sense::kBecomingReady);
        return finish();
    }
    if (!answersWithoutMedium(op)) {
        if (const std::optional<Sense> busy = runningSense(c.now)) {
            c.fail(*busy);
            return finish();
        }
        if (const std::optional<Sense> notReady = mediumState(c.now)) {
            c.fail(*notReady);
            return finish();
        }
    }
    (this->*handler)(c);
    return finish();
}

// --- commands without data -------------------------------------------------

void VirtualRecorder::testUnitReady(Context&) {}
void VirtualRecorder::rezero(Context&) {}

void VirtualRecorder::requestSense(Context& c) {
    Sense s = sense::kNone;
    // A running blank or format reports its progress as of now.
    if (const std::optional<Sense> busy = runningSense(c.now)) {
        s = *busy;
        lastSense_.reset();
    } else if (lastSense_) {
        s = *lastSense_;
        lastSense_.reset();
    } else if (const std::optional<Sense> notReady = mediumState(c.now)) {
        s = *notReady;
    }
    const auto bytes = s.encode();
    c.answer(Answer(bytes.begin(), bytes.end()), c.cdb[4]);
}

void VirtualRecorder::inquiry(Context& c) {
    constexpr uint8_t kEvpd = 0x01;
    if (c.cdb[1] & kEvpd) return c.fail(sense::kInvalidFieldInCdb);
    c.answer(inquiryAnswer(identity()), be16(c.cdb, 3));
}

void VirtualRecorder::startStopUnit(Context& c) {
    constexpr uint8_t kLoadEject = 0x02, kStart = 0x01;
    const uint8_t how = c.cdb[4];
    if (!(how & kLoadEject)) {
        if ((how & kStart) && mediumState(c.now) && !disc_) c.fail(*mediumState(c.now));
        return;
    }
    if (how & kStart) {
        if (config_.trayOpen) {
            saveTray(false);
            c.result.duration = scaled(kSpinUpSeconds);
        }
        return;
    }
    if (prevented_) return c.fail(sense::kMediumRemovalPrevented);
    if (!config_.trayOpen) saveTray(true);
}

void VirtualRecorder::preventAllow(Context& c) { prevented_ = (c.cdb[4] & 0x01) != 0; }

void VirtualRecorder::sendOpc(Context& c) {
    constexpr uint8_t kDoOpc = 0x01;
    if (disc_->disc().figures().recording == Recording::ReadOnly) return c.fail(sense::kIncompatibleMedium);
    if (c.cdb[1] & kDoOpc) c.result.duration = scaled(kOpcSeconds);
}

void VirtualRecorder::synchronizeCache(Context& c) {
    const uint32_t pending = buffer_.filled(c.now, writeBytesPerSecond(), options_.timeScale);
    constexpr uint8_t kImmed = 0x02;
    const bool immediate = (c.cdb[1] & kImmed) != 0;
    if (!immediate) c.result.duration = scaled(pending / writeBytesPerSecond());
    buffer_.clear();
    if (!closesOnFlush()) return;
    // Session at once on DVD-R: the flush ends the recording. The drive pads the
    // reserved track, writes the lead-out and the disc is complete; it stays busy
    // with the lead-out meanwhile.
    const DiscResult r = disc_->closeSession(SessionClose::Final);
    if (r != DiscResult::Ok) return c.fail(senseOf(r));
    const auto pendingTime = c.result.duration;
    startOperation(Operation::Close, kDvdFinalizeSeconds, immediate, c);
    if (!immediate) c.result.duration += pendingTime;
}

bool VirtualRecorder::closesOnFlush() const {
    constexpr uint8_t kSao = 2;
    const MediaKind k = disc_->disc().kind();
    if (k != MediaKind::DvdR && k != MediaKind::DvdRwSequential) return false;
    if (testWrite() || (writeParameters_[kWpWriteType] & 0x0F) != kSao) return false;
    const auto& tracks = disc_->disc().state().tracks;
    return !tracks.empty() && tracks.back().state == TrackState::Reserved && tracks.back().recorded > 0;
}

void VirtualRecorder::setCdSpeed(Context& c) {
    requestedRead_ = be16(c.cdb, 2);
    requestedWrite_ = be16(c.cdb, 4);
}

// --- answers from the disc ---------------------------------------------------

void VirtualRecorder::getConfiguration(Context& c) {
    const Disc* disc = disc_ && !config_.trayOpen ? &disc_->disc() : nullptr;
    c.answer(configurationAnswer(disc, c.cdb[1] & 0x03, be16(c.cdb, 2)), be16(c.cdb, 7));
}

void VirtualRecorder::readDiscInformation(Context& c) {
    constexpr uint8_t kStandardDiscInformation = 0x00;
    if ((c.cdb[1] & 0x07) != kStandardDiscInformation) return c.fail(sense::kInvalidFieldInCdb);
    c.answer(discInformationAnswer(disc_->disc()), be16(c.cdb, 7));
}

void VirtualRecorder::readTrackInformation(Context& c) {
    constexpr uint8_t kByLba = 0, kByTrack = 1, kBySession = 2;
    constexpr uint32_t kInvisibleTrack = 0xFF;
    const Disc& disc = disc_->disc();
    const uint32_t address = be32(c.cdb, 2);
    std::optional<TrackInfo> track;
    switch (c.cdb[1] & 0x03) {
    case kByLba: track = disc.trackContaining(address); break;
    case kByTrack:
        if (address == kInvisibleTrack) {
            track = disc.invisibleTrack();
        } else if (address > 0 && address < 0xFFFF) {
            track = disc.track(static_cast<uint16_t>(address));
            if (!track) {
                // The track one past the last is the invisible track while the disc is writable.
                const std::optional<TrackInfo> invisible = disc.invisibleTrack();
                if (invisible && invisible->number == address) track = invisible;
            }
        }
        break;
    case kBySession:
        for (const SessionInfo& s : disc.sessions()) {
            if (s.number != address) continue;
            track = disc.track(s.firstTrack);
            if (!track) {
                const std::optional<TrackInfo> invisible = disc.invisibleTrack();
                if (invisible && invisible->number == s.firstTrack) track = invisible;
            }
        }
        break;
    default: break;
    }
    if (!track) return c.fail(sense::kInvalidFieldInCdb);
    c.answer(trackInformationAnswer(disc, *track), be16(c.cdb, 7));
}

void VirtualRecorder::readToc(Context& c) {
    constexpr uint8_t kMsfBit = 0x02;
    const bool msf = (c.cdb[1] & kMsfBit) != 0;
    const Disc& disc = disc_->disc();
    std::optional<Answer> a;
    switch (c.cdb[2] & 0x0F) {
    case 0: a = tocAnswer(disc, msf, c.cdb[6]); break;
    case 1: a = sessionInfoAnswer(disc, msf); break;
    case 4: a = atipAnswer(disc); break;
    default: break;
    }
    if (!a) return c.fail(sense::kInvalidFieldInCdb);
    c.answer(*a, be16(c.cdb, 7));
}

void VirtualRecorder::readCapacity(Context& c) { c.answer(capacityAnswer(disc_->disc()), 8); }

void VirtualRecorder::readFormatCapacities(Context& c) {
    c.answer(formatCapacitiesAnswer(disc_->disc()), be16(c.cdb, 7));
}

void VirtualRecorder::readBufferCapacity(Context& c) {
    constexpr uint8_t kBlockUnits = 0x01;
    const uint32_t free = buffer_.freeBytes(c.now, writeBytesPerSecond(), options_.timeScale);
    c.answer(bufferCapacityAnswer(buffer_.capacity(), free, (c.cdb[1] & kBlockUnits) != 0), be16(c.cdb, 7));
}

// --- mode pages -------------------------------------------------------------

void VirtualRecorder::modeSense10(Context& c) {
    constexpr uint8_t kCurrent = 0, kChangeable = 1, kDefault = 2;
    constexpr uint8_t kWriteParameters = 0x05, kCapabilities = 0x2A, kAllPages = 0x3F;
    const uint8_t control = c.cdb[2] >> 6;
    const uint8_t page = c.cdb[2] & 0x3F;
    if (control != kCurrent && control != kChangeable && control != kDefault) {
        return c.fail(sense::kSavingParametersNotSupported);
    }
    std::vector<Answer> pages;
    if (page == kWriteParameters || page == kAllPages) {
        if (control == kCurrent) pages.push_back(writeParameters_);
        if (control == kChangeable) pages.push_back(changeableWriteParametersPage());
        if (control == kDefault) pages.push_back(defaultWriteParametersPage(dvdSpeeds()));
    }
    if (page == kCapabilities || page == kAllPages) {
        Speeds s = speeds(c.now);
        if (control == kDefault) {
            s.currentWrite = s.table.write.empty() ? 0 : s.table.write.front();
            s.currentRead = s.table.maxRead;
        }
        Answer p = capabilitiesPage(s);
        if (control == kChangeable) std::fill(p.begin() + 2, p.end(), 0);
        pages.push_back(std::move(p));
    }
    if (pages.empty()) return c.fail(sense::kInvalidFieldInCdb);
    c.answer(vrecorder::modeSense10(pages), be16(c.cdb, 7));
}

namespace {

// Whether a Write Parameters page asks for something the disc cannot do.
std::optional<Sense> checkWriteParameters(std::span<const uint8_t> p, const Disc* disc) {
    constexpr uint8_t kPacket = 0, kTao = 1, kSao = 2;
    const uint8_t writeType = p[kWpWriteType] & 0x0F;
    const uint8_t trackMode = p[kWpMultiSession] & 0x0F;
    const uint8_t blockType = p[kWpDataBlockType] & 0x0F;
    const bool test = (p[kWpWriteType] & kTestWriteBit) != 0;
    if (writeType > 4) return sense::kInvalidFieldInParameterList;
    if (blockType != 8 && blockType != 10 && blockType != 13 && blockType > 3) {
        return sense::kInvalidFieldInParameterList;
    }
    if (trackMode != 4 && trackMode != 5 && trackMode != 6 && trackMode != 7) return sense::kInvalidTrackMode;
    if (!disc) return std::nullopt;
    const MediaKind k = disc->kind();
    if (disc->figures().cd) {
        if (writeType != kTao && writeType != kSao && writeType != kPacket) return sense::kInvalidFieldInParameterList;
        return std::nullopt;
    }
    if (k == MediaKind::DvdR || k == MediaKind::DvdRwSequential) {
        // DVD-R has incremental and disc-at-once recording, no track at once.
        if (writeType != kPacket && writeType != kSao) return sense::kInvalidFieldInParameterList;
        return std::nullopt;
    }
    // DVD+R, DVD+RW and DVD-RAM have no simulation mode.
    if (test) return sense::kInvalidFieldInParameterList;
    return std::nullopt;
}

}  // namespace

void VirtualRecorder::modeSelect10(Context& c) {
    constexpr std::size_t kHeader = 8;
    const std::span<const uint8_t> list = c.parameters(be16(c.cdb, 7));
    if (list.size() < kHeader + 2) return c.fail(sense::kParameterListLengthError);
    const std::size_t at = kHeader + be16(list, 6);  // past any block descriptors
    if (list.size() < at + 2) return c.fail(sense::kParameterListLengthError);
    const std::span<const uint8_t> page = list.subspan(at);
    constexpr uint8_t kWriteParameters = 0x05;
    if ((page[0] & 0x3F) != kWriteParameters) return c.fail(sense::kInvalidFieldInParameterList);
    // Hosts send the MMC-3 length (32h) or a longer one; anything shorter than the
    // fields up to the packet size, or longer than what was sent, is malformed.
    constexpr std::size_t kShortestPage = 16;
    const std::size_t pageLength = std::size_t{page[1]} + 2;
    if (pageLength < kShortestPage || page.size() < pageLength) return c.fail(sense::kParameterListLengthError);
    if (const std::optional<Sense> bad = checkWriteParameters(page, disc_ ? &disc_->disc() : nullptr)) {
        return c.fail(*bad);
    }
    const std::size_t n = std::min({pageLength, page.size(), kWriteParametersPageLength});
    std::copy_n(page.begin(), n, writeParameters_.begin());
    writeParameters_[0] &= 0x3F;
    writeParameters_[1] = kWriteParametersPageLength - 2;
    c.result.transferred = list.size();
}

// --- writing and reading ----------------------------------------------------

void VirtualRecorder::write10(Context& c) {
    const uint32_t lba = be32(c.cdb, 2);
    const uint32_t blocks = be16(c.cdb, 7);
    const Faults& f = options_.faults;
    if (counters_.busyWrites > 0) {
        --counters_.busyWrites;
        return c.fail(sense::kNone, kStatusBusy);
    }
    if (blocks == 0) return;  // a zero transfer length writes nothing and is no error
    const std::size_t bytes = std::size_t{blocks} * kBlockSize;
    const std::span<const uint8_t> payload = c.parameters(bytes);
    if (payload.size() < bytes) return c.fail(sense::kInvalidFieldInCdb);
    const double rate = writeBytesPerSecond();
    const uint32_t free = buffer_.freeBytes(c.now, rate, options_.timeScale);
    if (f.longWriteWhenBufferFull && bytes > free) return c.fail(sense::kLongWriteInProgress);
    // Blocks written before a fault strikes stay written, as on a real disc.
    auto stopsAt = [&](std::optional<uint32_t> block) {
        return block && *block >= lba && *block < lba + blocks;
    };
    const bool removal = stopsAt(f.removeDiscAtBlock);
    const bool error = stopsAt(f.writeErrorBlock);
    uint32_t good = blocks;
    if (removal) good = *f.removeDiscAtBlock - lba;
    if (error) good = std::min(good, *f.writeErrorBlock - lba);
    const auto part = payload.first(std::size_t{good} * kBlockSize);
    DiscResult r = DiscResult::Ok;
    if (testWrite()) {
        const bool sequential = disc_->disc().figures().recording == Recording::Sequential;
        if (sequential && testNext_ == lba && lba + good <= disc_->disc().capacity()) {
            testNext_ = lba + good;
        } else {
            r = disc_->write(lba, part, true);
            if (r == DiscResult::Ok) testNext_ = lba + good;
        }
    } else if (good > 0) {
        r = disc_->write(lba, part, false);
    }
    if (r != DiscResult::Ok) return c.fail(senseOf(r));
    // A write that did not fit waited for the buffer to drain that far.
    const double wait = bytes > free && rate > 0 ? (bytes - free) / rate : 0.0;
    if (buffer_.add(static_cast<uint32_t>(std::min<std::size_t>(bytes, UINT32_MAX)), c.now, rate, options_.timeScale))
        countUnderrun();
    c.result.duration = scaled(wait);
    if (removal) {
        // The disc is gone; the tray is still closed.
        RecorderConfig next = config_;
        next.disc.reset();
        saveRecorderConfig(options_.folder, next);
        watch_.changed();
        loadFromConfig(next);
        return c.fail(sense::kMediumNotPresentTrayClosed);
    }
    if (error) return c.fail(sense::kWriteError);
    c.result.transferred = bytes;
}

void VirtualRecorder::read10(Context& c) {
    const uint32_t lba = be32(c.cdb, 2);
    const uint32_t blocks = be16(c.cdb, 7);
    if (blocks == 0) return;
    const std::size_t bytes = std::size_t{blocks} * kBlockSize;
    if (c.direction != DataDirection::In || c.data.size() < bytes) return c.fail(sense::kInvalidFieldInCdb);
    const std::optional<uint32_t> bad = options_.faults.readErrorBlock;
    if (bad && *bad >= lba && *bad < lba + blocks) return c.fail(sense::kUnrecoveredReadError);
    const DiscResult r = disc_->read(lba, c.data.first(bytes));
    if (r != DiscResult::Ok) return c.fail(senseOf(r));
    c.result.transferred = bytes;
}

// --- closing, reserving, blanking, formatting --------------------------------

void VirtualRecorder::closeTrackSession(Context& c) {
    constexpr uint8_t kImmed = 0x01;
    constexpr uint8_t kCloseTrack = 1, kCloseSession = 2, kFinalizeMinimal = 5, kFinalize = 6;
    const bool immediate = (c.cdb[1] & kImmed) != 0;
    const uint8_t function = c.cdb[2] & 0x07;
    const bool cd = disc_->disc().figures().cd;
    if (testWrite()) {
        // A simulated recording leaves the disc as it was.
        testNext_.reset();
        return;
    }
    DiscResult r = DiscResult::InvalidField;
    double seconds = kCloseTrackSeconds;
    if (function == kCloseTrack) {
        r = disc_->closeTrack(be16(c.cdb, 4));
    } else if (function == kCloseSession || function == kFinalizeMinimal || function == kFinalize) {
        constexpr uint8_t kNextSessionAllowed = 0xC0;
        const bool appendable = function == kCloseSession &&
                                (writeParameters_[kWpMultiSession] & kNextSessionAllowed) == kNextSessionAllowed;
        const uint16_t sessionsBefore = disc_->disc().state().closedSessions;
        r = disc_->closeSession(appendable ? SessionClose::Appendable : SessionClose::Final);
        const MediaFigures& figures = disc_->disc().figures();
        const uint32_t gap = sessionsBefore == 0 ? figures.firstSessionGap : figures.laterSessionGap;
        seconds = cd ? gap * double{kBlockSize} / writeBytesPerSecond()
                     : (appendable ? kDvdCloseSessionSeconds : kDvdFinalizeSeconds);
    }
    if (r != DiscResult::Ok) return c.fail(senseOf(r));
    buffer_.clear();
    startOperation(Operation::Close, seconds, immediate, c);
}

void VirtualRecorder::reserveTrack(Context& c) {
    const DiscResult r = disc_->reserveTrack(be32(c.cdb, 5));
    if (r != DiscResult::Ok) c.fail(senseOf(r));
}

void VirtualRecorder::blank(Context& c) {
    constexpr uint8_t kImmed = 0x10;
    const uint8_t type = c.cdb[1] & 0x07;
    if (type > 1) return c.fail(sense::kInvalidFieldInCdb);
    const BlankType how = type == 0 ? BlankType::Full : BlankType::Minimal;
    const DiscResult r = disc_->blank(how);
    if (r != DiscResult::Ok) return c.fail(senseOf(r));
    const double rate = disc_->disc().figures().cd ? kCdBlankBlocksPerSecond : kDvdBlankBlocksPerSecond;
    const double seconds = how == BlankType::Full ? disc_->disc().capacity() / rate : kMinimalBlankSeconds;
    testNext_.reset();
    startOperation(Operation::Blank, seconds, (c.cdb[1] & kImmed) != 0, c);
}

void VirtualRecorder::formatUnit(Context& c) {
    constexpr uint8_t kFmtData = 0x10;
    constexpr uint8_t kImmed = 0x02;
    constexpr std::size_t kListHeader = 4, kDescriptor = 8;
    const MediaKind k = disc_->disc().kind();
    uint8_t type = k == MediaKind::DvdPlusRw ? 0x26 : 0x00;
    bool immediate = false;
    if (c.cdb[1] & kFmtData) {
        const std::span<const uint8_t> list = c.parameters(c.data.size());
        if (list.size() < kListHeader + kDescriptor) return c.fail(sense::kParameterListLengthError);
        immediate = (list[1] & kImmed) != 0;
        type = list[kListHeader + 4] >> 2;
    }
    const DiscResult r = disc_->format(type);
    if (r != DiscResult::Ok) return c.fail(senseOf(r, true));
    constexpr double kDvdFormatBlocksPerSecond = 1352.0;  // 2x
    const bool quick = type == 0x26 || type == 0x15;
    const double seconds = quick ? kQuickFormatSeconds : disc_->disc().capacity() / kDvdFormatBlocksPerSecond;
    testNext_.reset();
    startOperation(Operation::Format, seconds, immediate, c);
}

// --- streaming and DVD structures --------------------------------------------

void VirtualRecorder::setStreaming(Context& c) {
    constexpr std::size_t kPerformanceDescriptor = 28;
    constexpr uint8_t kPerformance = 0x00;
    if (c.cdb[8] != kPerformance) return c.fail(sense::kInvalidFieldInCdb);
    const std::span<const uint8_t> d = c.parameters(be16(c.cdb, 9));
    if (d.size() < kPerformanceDescriptor) return c.fail(sense::kParameterListLengthError);
    const uint32_t readSize = be32(d, 12), readTime = be32(d, 16);
    const uint32_t writeSize = be32(d, 20), writeTime = be32(d, 24);
    if (readTime == 0 || writeTime == 0) return c.fail(sense::kInvalidFieldInParameterList);
    const auto kbs = [](uint32_t size, uint32_t ms) {
        return static_cast<uint16_t>(std::min<uint64_t>(uint64_t{size} * 1000 / ms, kMaximumSpeed));
    };
    requestedRead_ = kbs(readSize, readTime);
    requestedWrite_ = kbs(writeSize, writeTime);
    c.result.transferred = d.size();
}

void VirtualRecorder::sendDvdStructure(Context& c) {
    constexpr uint8_t kTimeStamp = 0x0F;
    constexpr uint8_t kUserSpecific = 0x04, kCopyright = 0x05, kDiscControlBlock = 0x30;
    const uint8_t format = c.cdb[7];
    if (disc_->disc().figures().cd) return c.fail(sense::kIncompatibleMedium);
    if (format != kTimeStamp && format != kUserSpecific && format != kCopyright && format != kDiscControlBlock) {
        return c.fail(sense::kInvalidFieldInCdb);
    }
    const std::size_t length = be16(c.cdb, 8);
    const std::span<const uint8_t> list = c.parameters(length);
    if (list.size() < 4 || list.size() < length || std::size_t{be16(list, 0)} + 2 > length) {
        return c.fail(sense::kParameterListLengthError);
    }
    c.result.transferred = list.size();
}

}  // namespace tavrin::vrecorder
