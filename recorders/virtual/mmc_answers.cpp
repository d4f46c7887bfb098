#include "recorders/virtual/mmc_answers.h"

#include <algorithm>

#include "recorders/virtual/mmc_bytes.h"

namespace tavrin::vrecorder {

namespace {

void putText(Answer& out, std::size_t at, std::size_t width, const std::string& text) {
    for (std::size_t i = 0; i < width; ++i) out[at + i] = i < text.size() ? text[i] : ' ';
}

// --- INQUIRY -------------------------------------------------------------
constexpr std::size_t kInquiryLength = 36;
constexpr uint8_t kPeripheralCdDvd = 0x05;
constexpr uint8_t kRemovable = 0x80;
constexpr uint8_t kVersionSpc3 = 0x05;
constexpr uint8_t kResponseFormat2 = 0x02;

// --- GET CONFIGURATION -----------------------------------------------------
constexpr uint16_t kFeatureProfileList = 0x0000;
constexpr uint16_t kFeatureCore = 0x0001;
constexpr uint16_t kFeatureRemovableMedium = 0x0003;
constexpr uint16_t kFeatureRandomWritable = 0x0020;
constexpr uint16_t kFeatureCdRead = 0x001E;
constexpr uint16_t kFeatureDvdRead = 0x001F;
constexpr uint16_t kFeatureDvdPlusRw = 0x002A;
constexpr uint16_t kFeatureDvdPlusR = 0x002B;
constexpr uint16_t kFeatureCdTrackAtOnce = 0x002D;
constexpr uint16_t kFeatureDvdMinusRWrite = 0x002F;
constexpr uint32_t kInterfaceAtapi = 0x00000002;

struct Feature {
    uint16_t code;
    bool current;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> profileListData(const Disc* disc) {
    std::vector<uint8_t> data;
    // Newest profiles first, as drives list them.
    std::vector<uint16_t> profiles;
    for (const MediaFigures& m : allMedia()) profiles.push_back(m.profile);
    std::sort(profiles.rbegin(), profiles.rend());
    profiles.erase(std::unique(profiles.begin(), profiles.end()), profiles.end());
    for (const uint16_t p : profiles) {
        data.push_back(static_cast<uint8_t>(p >> 8));
        data.push_back(static_cast<uint8_t>(p));
        data.push_back(disc && disc->profile() == p ? 0x01 : 0x00);  // CurrentP
        data.push_back(0);
    }
    return data;
}

std::vector<Feature> features(const Disc* disc) {
    const auto is = [disc](MediaKind kind) { return disc && disc->kind() == kind; };
    const bool cd = disc && disc->figures().cd;
    const bool dvd = disc && !disc->figures().cd;
    const bool randomWritable =
        disc && disc->figures().recording == Recording::Random && disc->formatted();
    std::vector<Feature> list;
    list.push_back({kFeatureProfileList, true, profileListData(disc)});
    list.push_back({kFeatureCore, true, {0, 0, 0, static_cast<uint8_t>(kInterfaceAtapi)}});
    // Tray loader, eject supported, lock supported.
    list.push_back({kFeatureRemovableMedium, true, {0x29, 0, 0, 0}});
    // Last LBA, 2,048-byte blocks, 16-block blocking.
    std::vector<uint8_t> random(12, 0);
    put32(random, 0, randomWritable ? disc->capacity() - 1 : 0);
    put32(random, 4, kBlockSize);
    put16(random, 8, 16);
    list.push_back({kFeatureRandomWritable, randomWritable, std::move(random)});
    list.push_back({kFeatureCdRead, cd, {0, 0, 0, 0}});
    list.push_back({kFeatureDvdRead, dvd, {0, 0, 0, 0}});
    // Write bit: the drive writes DVD+RW.
    list.push_back({kFeatureDvdPlusRw, is(MediaKind::DvdPlusRw), {0x01, 0, 0, 0}});
    list.push_back({kFeatureDvdPlusR, is(MediaKind::DvdPlusR), {0x01, 0, 0, 0}});
    // BUF, Test Write, CD-RW.
    list.push_back({kFeatureCdTrackAtOnce, is(MediaKind::CdR) || is(MediaKind::CdRw),
                    {0x46, 0, 0, 0}});
    // BUF, Test Write, DVD-RW.
    list.push_back({kFeatureDvdMinusRWrite, is(MediaKind::DvdR) || is(MediaKind::DvdRwSequential), {0x46, 0, 0, 0}});
    return list;
}

void appendFeature(Answer& out, const Feature& f) {
    out.push_back(static_cast<uint8_t>(f.code >> 8));
    out.push_back(static_cast<uint8_t>(f.code));
    // Version 0 (1 for Core), persistent where the drive always has it, current bit.
    const bool persistent = f.code <= kFeatureRemovableMedium;
    const uint8_t version = f.code == kFeatureCore ? 0x04 : 0x00;
    out.push_back(static_cast<uint8_t>(version | (persistent ? 0x02 : 0) | (f.current ? 0x01 : 0)));
    out.push_back(static_cast<uint8_t>(f.data.size()));
    out.insert(out.end(), f.data.begin(), f.data.end());
}

// --- READ DISC / TRACK INFORMATION -----------------------------------------
constexpr std::size_t kDiscInfoLength = 34;
constexpr std::size_t kTrackInfoLength = 48;
constexpr uint32_t kNoAddress = 0xFFFFFFFF;
constexpr uint8_t kUnrestrictedUse = 0x20;
constexpr uint8_t kTrackModeData = 0x04;
constexpr uint8_t kDataModeBlank = 0x0F;

// CD lead-in of the next session: 4,500 lead-in and 150 pre-gap blocks before its NWA.
constexpr int32_t kCdLeadInAndPregap = 4650;

}  // namespace

Answer inquiryAnswer(const Identity& identity) {
    Answer out(kInquiryLength, 0);
    out[0] = kPeripheralCdDvd;
    out[1] = kRemovable;
    out[2] = kVersionSpc3;
    out[3] = kResponseFormat2;
    out[4] = kInquiryLength - 5;
    putText(out, 8, 8, identity.vendor);
    putText(out, 16, 16, identity.product);
    putText(out, 32, 4, identity.revision);
    return out;
}

Answer configurationAnswer(const Disc* disc, uint8_t requestType, uint16_t startFeature) {
    Answer out(8, 0);
    put16(out, 6, disc ? disc->profile() : 0);
    for (const Feature& f : features(disc)) {
        if (requestType == 2 && f.code != startFeature) continue;
        if (f.code < startFeature) continue;
        if (requestType == 1 && !f.current) continue;
        appendFeature(out, f);
    }
    put32(out, 0, static_cast<uint32_t>(out.size() - 4));
    return out;
}

Answer discInformationAnswer(const Disc& disc) {
    Answer out(kDiscInfoLength, 0);
    put16(out, 0, kDiscInfoLength - 2);
    out[2] = static_cast<uint8_t>((disc.erasable() ? 0x10 : 0) |
                                  static_cast<uint8_t>(disc.lastSessionState()) << 2 |
                                  static_cast<uint8_t>(disc.status()));
    out[3] = 1;  // first track on the disc
    const uint16_t sessions = disc.sessionCount();
    const uint16_t first = disc.firstTrackOfLastSession();
    const uint16_t last = disc.lastTrackOfLastSession();
    out[4] = static_cast<uint8_t>(sessions);
    out[5] = static_cast<uint8_t>(first);
    out[6] = static_cast<uint8_t>(last);
    // Background format status of DVD+RW: 3 = formatting complete.
    const uint8_t bgFormat = disc.kind() == MediaKind::DvdPlusRw && disc.formatted() ? 0x03 : 0x00;
    out[7] = kUnrestrictedUse | bgFormat;
    out[8] = 0x00;  // CD-DA / CD-ROM disc type; DVD: unused
    out[9] = static_cast<uint8_t>(sessions >> 8);
    out[10] = static_cast<uint8_t>(first >> 8);
    out[11] = static_cast<uint8_t>(last >> 8);
    const std::optional<uint32_t> nwa = disc.nextWritable();
    const bool sequentialWritable = nwa && disc.figures().recording == Recording::Sequential;
    if (!sequentialWritable) {
        put32(out, 16, kNoAddress);
        put32(out, 20, kNoAddress);
        return out;
    }
    if (const std::optional<Atip> atip = disc.atip()) {
        if (*nwa == 0) {
            putMsf(out, 16, atip->leadInStart);
        } else {
            putAddress(out, 16, static_cast<int32_t>(*nwa) - kCdLeadInAndPregap, true);
        }
        putMsf(out, 20, atip->leadOutStart);
        return out;
    }
    put32(out, 16, *nwa);
    put32(out, 20, disc.capacity());
    return out;
}

Answer trackInformationAnswer(const Disc& disc, const TrackInfo& t) {
    Answer out(kTrackInfoLength, 0);
    put16(out, 0, kTrackInfoLength - 2);
    out[2] = static_cast<uint8_t>(t.number);
    out[3] = static_cast<uint8_t>(t.session);
    out[5] = kTrackModeData;
    const bool incremental = disc.figures().recording == Recording::Sequential && !disc.figures().cd &&
                             t.state != TrackState::Complete;
    out[6] = static_cast<uint8_t>((t.reserved ? 0x80 : 0) | (t.blank ? 0x40 : 0) |
                                  (incremental ? 0x20 : 0) |
                                  (t.blank ? kDataModeBlank : (t.dataMode & 0x0F)));
    out[7] = static_cast<uint8_t>((t.lastRecorded ? 0x02 : 0) | (t.nwaValid ? 0x01 : 0));
    put32(out, 8, t.start);
    put32(out, 12, t.nwaValid ? t.nextWritable : 0);
    put32(out, 16, t.freeBlocks);
    put32(out, 24, t.size);
    put32(out, 28, t.lastRecorded.value_or(0));
    out[32] = static_cast<uint8_t>(t.number >> 8);
    out[33] = static_cast<uint8_t>(t.session >> 8);
    return out;
}

Answer capacityAnswer(const Disc& disc) {
    Answer out(8, 0);
    put32(out, 0, disc.lastRecorded().value_or(0));
    put32(out, 4, kBlockSize);
    return out;
}

Answer formatCapacitiesAnswer(const Disc& disc) {
    constexpr uint8_t kUnformatted = 1, kFormatted = 2;
    struct Descriptor {
        uint32_t blocks;
        uint8_t typeOrKind;
    };
    const MediaFigures& figures = disc.figures();
    const bool hasData = disc.lastRecorded().has_value() || disc.formatted();
    const uint32_t capacity = disc.capacity();
    std::vector<Descriptor> formattable;
    switch (disc.kind()) {
    case MediaKind::DvdPlusRw: formattable = {{capacity, 0x26}}; break;
    case MediaKind::DvdRam: formattable = {{capacity, 0x00}}; break;
    case MediaKind::DvdRwSequential:
    case MediaKind::DvdRwRestricted: formattable = {{capacity, 0x00}, {capacity, 0x15}}; break;
    default: break;
    }
    Answer out(4 + 8 * (1 + formattable.size()), 0);
    out[3] = static_cast<uint8_t>(out.size() - 4);
    put32(out, 4, capacity);
    out[8] = (hasData || figures.recording == Recording::ReadOnly) ? kFormatted : kUnformatted;
    put24(out, 9, kBlockSize);
    std::size_t at = 12;
    for (const Descriptor& d : formattable) {
        put32(out, at, d.blocks);
        out[at + 4] = static_cast<uint8_t>(d.typeOrKind << 2);
        put24(out, at + 5, 0);
        at += 8;
    }
    return out;
}

Answer bufferCapacityAnswer(uint32_t capacity, uint32_t free, bool blockUnits) {
    Answer out(12, 0);
    put16(out, 0, 10);
    if (blockUnits) {
        out[3] = 0x01;
        put32(out, 8, free / kBlockSize);
        return out;
    }
    put32(out, 4, capacity);
    put32(out, 8, free);
    return out;
}

std::optional<Answer> tocAnswer(const Disc& disc, bool msf, uint8_t start) {
    constexpr uint8_t kAdrControlData = 0x14;  // ADR 1 (position), data track recorded uninterrupted
    constexpr uint8_t kLeadOut = 0xAA;
    std::vector<TrackInfo> listed;
    uint32_t leadOut = 0;
    const bool sequential = disc.figures().recording == Recording::Sequential;
    for (const SessionInfo& s : disc.sessions()) {
        if (sequential && s.state != SessionState::Complete) continue;
        for (uint16_t n = s.firstTrack; n <= s.lastTrack; ++n) {
            if (const std::optional<TrackInfo> t = disc.track(n)) listed.push_back(*t);
        }
        leadOut = s.end;
    }
    if (listed.empty()) return std::nullopt;
    if (!sequential) leadOut = disc.lastRecorded().value_or(0) + 1;
    if (start != kLeadOut && start > listed.back().number) return std::nullopt;
    Answer out(4, 0);
    out[2] = static_cast<uint8_t>(listed.front().number);
    out[3] = static_cast<uint8_t>(listed.back().number);
    auto descriptor = [&](uint8_t number, uint32_t address) {
        const std::size_t at = out.size();
        out.resize(at + 8, 0);
        out[at + 1] = kAdrControlData;
        out[at + 2] = number;
        putAddress(out, at + 4, static_cast<int32_t>(address), msf);
    };
    for (const TrackInfo& t : listed) {
        if (start != kLeadOut && t.number >= start) descriptor(static_cast<uint8_t>(t.number), t.start);
    }
    descriptor(kLeadOut, leadOut);
    put16(out, 0, static_cast<uint32_t>(out.size() - 2));
    return out;
}

std::optional<Answer> sessionInfoAnswer(const Disc& disc, bool msf) {
    const bool sequential = disc.figures().recording == Recording::Sequential;
    std::optional<SessionInfo> last;
    for (const SessionInfo& s : disc.sessions()) {
        if (s.lastTrack < s.firstTrack) continue;
        if (sequential && s.state != SessionState::Complete) continue;
        last = s;
    }
    if (!last) return std::nullopt;
    Answer out(12, 0);
    put16(out, 0, 10);
    out[2] = 1;
    out[3] = static_cast<uint8_t>(last->number);
    out[5] = 0x14;
    out[6] = static_cast<uint8_t>(last->firstTrack);
    putAddress(out, 8, static_cast<int32_t>(last->start), msf);
    return out;
}

std::optional<Answer> atipAnswer(const Disc& disc) {
    const std::optional<Atip> atip = disc.atip();
    if (!atip) return std::nullopt;
    Answer out(28, 0);
    put16(out, 0, 26);
    out[4] = 0x52;  // indicative target writing power, reference speed
    out[5] = 0x40;  // unrestricted use
    out[6] = static_cast<uint8_t>(0x80 | (atip->rewritable ? 0x40 : 0));
    // The lead-in start and the last possible lead-out start as minutes, seconds,
    // frames at bytes 8-10 and 12-14; bytes 11 and 15 are reserved.
    const auto putTime = [&out](std::size_t at, Msf a) {
        out[at] = a.minute;
        out[at + 1] = a.second;
        out[at + 2] = a.frame;
    };
    putTime(8, atip->leadInStart);
    putTime(12, atip->leadOutStart);
    return out;
}

Answer capabilitiesPage(const Speeds& s) {
    const std::size_t n = s.table.write.size();
    Answer out(32 + 4 * n, 0);
    out[0] = 0x2A;
    out[1] = static_cast<uint8_t>(out.size() - 2);
    out[2] = 0x3F;  // reads DVD-RAM, DVD-R, DVD-ROM, Mode 2, CD-RW, CD-R
    out[3] = 0x37;  // writes DVD-RAM, DVD-R, test write, CD-RW, CD-R
    out[4] = 0xF0;  // underrun-free recording, multi-session, Mode 2 Form 1/2
    out[5] = 0x00;
    out[6] = static_cast<uint8_t>(0x29 | (s.locked ? 0x02 : 0));  // tray, eject, lock
    put16(out, 8, s.table.maxRead);
    put16(out, 12, s.bufferBytes / 1024);
    put16(out, 14, s.currentRead);
    put16(out, 18, s.table.write.empty() ? 0 : s.table.write.front());
    put16(out, 20, s.currentWrite);
    put16(out, 28, s.currentWrite);
    put16(out, 30, static_cast<uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) put16(out, 32 + 4 * i + 2, s.table.write[i]);
    return out;
}

Answer defaultWriteParametersPage(bool dvd) {
    Answer out(kWriteParametersPageLength, 0);
    out[0] = 0x05;
    out[1] = kWriteParametersPageLength - 2;
    out[2] = static_cast<uint8_t>(0x40 | (dvd ? 0x02 : 0x01));  // BUFE; SAO on DVD, TAO on CD
    out[3] = 0x04;                                              // data track
    out[4] = 0x08;                                              // Mode 1
    put16(out, 14, 150);                                        // audio pause
    return out;
}

Answer changeableWriteParametersPage() {
    Answer out(kWriteParametersPageLength, 0);
    out[0] = 0x05;
    out[1] = kWriteParametersPageLength - 2;
    out[2] = 0x7F;
    out[3] = 0xFF;
    out[4] = 0x0F;
    out[5] = 0xFF;
    out[7] = 0xFF;
    out[8] = 0xFF;
    std::fill(out.begin() + 10, out.end(), 0xFF);
    return out;
}

Answer modeSense10(std::span<const Answer> pages) {
    Answer out(8, 0);
    for (const Answer& p : pages) out.insert(out.end(), p.begin(), p.end());
    put16(out, 0, static_cast<uint32_t>(out.size() - 2));
    return out;
}

}  // namespace tavrin::vrecorder
