#include "engine/device/command_names.h"

#include <algorithm>
#include <array>
#include <string_view>

#include <fmt/format.h>

namespace tavrin {
namespace {

constexpr std::size_t kNameField = 22;

struct NamedCommand {
    uint8_t code;
    std::string_view name;
};

constexpr NamedCommand kNamedCommands[] = {
    {0x00, "TEST UNIT READY"},        {0x01, "REWIND UNIT"},
    {0x03, "REQUEST SENSE"},          {0x04, "FORMAT UNIT"},
    {0x12, "INQUIRY"},                {0x1B, "START STOP UNIT"},
    {0x1E, "PREVENT/ALLOW REMOVAL"},  {0x23, "READ FORMAT CAPACITIES"},
    {0x25, "READ CAPACITY"},          {0x28, "READ (10)"},
    {0x2A, "WRITE (10)"},             {0x2B, "SEEK (10)"},
    {0x2E, "WRITE AND VERIFY (10)"},  {0x2F, "VERIFY (10)"},
    {0x35, "SYNCHRONIZE CACHE"},      {0x42, "READ SUB-CHANNEL"},
    {0x43, "READ TOC/PMA/ATIP"},      {0x45, "PLAY AUDIO (10)"},
    {0x46, "GET CONFIGURATION"},      {0x47, "PLAY AUDIO MSF"},
    {0x4A, "GET EVENT/STATUS NOTIF"}, {0x4B, "PAUSE/RESUME"},
    {0x4E, "STOP PLAY/SCAN"},         {0x51, "READ DISC INFORMATION"},
    {0x52, "READ TRACK INFORMATION"}, {0x53, "RESERVE TRACK"},
    {0x54, "SEND OPC INFORMATION"},   {0x55, "MODE SELECT (10)"},
    {0x58, "REPAIR TRACK"},           {0x5A, "MODE SENSE (10)"},
    {0x5B, "CLOSE TRACK/SESSION"},    {0x5C, "READ BUFFER CAPACITY"},
    {0x5D, "SEND CUE SHEET"},         {0xA1, "BLANK"},
    {0xA2, "SEND EVENT"},             {0xA3, "SEND KEY"},
    {0xA4, "REPORT KEY"},             {0xA5, "PLAY AUDIO (12)"},
    {0xA6, "LOAD/UNLOAD CD/DVD"},     {0xA7, "SET READ AHEAD"},
    {0xA8, "READ (12)"},              {0xAA, "WRITE (12)"},
    {0xAC, "GET PERFORMANCE"},        {0xAD, "READ DVD STRUCTURE"},
    {0xB6, "SET STREAMING"},          {0xB9, "READ CD MSF"},
    {0xBA, "SCAN"},                   {0xBB, "SET CD SPEED"},
    {0xBD, "MECHANISM STATUS"},       {0xBE, "READ CD"},
    {0xBF, "SEND DVD STRUCTURE"},
};

constexpr uint8_t kQuietCommands[] = {
    0x00,  // TEST UNIT READY: polled while a disc spins up
    0x01, 0x12, 0x1B, 0x1E, 0x23, 0x35,
    0x43,  // READ TOC/PMA/ATIP: fails on blank discs
    0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB,
};

using NameTable = std::array<std::string, 256>;

NameTable BuildNames() {
    NameTable names;
    for (std::size_t code = 0; code < names.size(); ++code) names[code] = fmt::format("{:02X}", code);
    for (const auto& c : kNamedCommands) names[c.code] = fmt::format("{:<{}}", c.name, kNameField);
    return names;
}

}  // namespace

const std::string& CommandName(uint8_t operationCode) {
    static const NameTable names = BuildNames();
    return names[operationCode];
}

bool IsQuietCommand(uint8_t operationCode) {
    return std::find(std::begin(kQuietCommands), std::end(kQuietCommands), operationCode) != std::end(kQuietCommands);
}

}  // namespace tavrin
