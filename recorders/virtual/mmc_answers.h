#pragma once
// Encoders of the answers the virtual recorder returns, each built whole with its
// own length fields; the command layer cuts them to the allocation length.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "recorders/virtual/disc.h"
#include "recorders/virtual/mmc_speeds.h"

namespace tavrin::vrecorder {

using Answer = std::vector<uint8_t>;

struct Identity {
    std::string vendor = "TAVRIN";
    std::string product = "VIRTUAL RECORDER";
    std::string revision = "1.00";
};

Answer inquiryAnswer(const Identity& identity);

// GET CONFIGURATION: request type 0 (all), 1 (current) or 2 (the one feature).
// `disc` is the disc in the closed tray, or none.
Answer configurationAnswer(const Disc* disc, uint8_t requestType, uint16_t startFeature);

Answer discInformationAnswer(const Disc& disc);
Answer trackInformationAnswer(const Disc& disc, const TrackInfo& track);
Answer capacityAnswer(const Disc& disc);
Answer formatCapacitiesAnswer(const Disc& disc);
// READ BUFFER CAPACITY, in bytes or (blockUnits) in blocks.
Answer bufferCapacityAnswer(uint32_t capacity, uint32_t free, bool blockUnits);

// READ TOC/PMA/ATIP formats 0 (TOC), 1 (session information) and 4 (ATIP);
// nullopt when the disc has no such data or `start` names no track.
std::optional<Answer> tocAnswer(const Disc& disc, bool msf, uint8_t start);
std::optional<Answer> sessionInfoAnswer(const Disc& disc, bool msf);
std::optional<Answer> atipAnswer(const Disc& disc);

// Mode pages without the mode parameter header.
struct Speeds {
    SpeedTable table;
    uint16_t currentWrite = 0;  // KB/s
    uint16_t currentRead = 0;
    uint32_t bufferBytes = 0;
    bool locked = false;        // PREVENT ALLOW MEDIUM REMOVAL in effect
};
Answer capabilitiesPage(const Speeds& speeds);
inline constexpr std::size_t kWriteParametersPageLength = 52;
Answer defaultWriteParametersPage(bool dvd);
Answer changeableWriteParametersPage();
// The 8-byte MODE SENSE (10) header in front of the pages.
Answer modeSense10(std::span<const Answer> pages);

}  // namespace tavrin::vrecorder
