#include "engine/device/trace_line.h"

#include <algorithm>
#include <iterator>

#include <fmt/format.h>

#include "engine/device/command_names.h"

namespace tavrin {
namespace {

constexpr std::size_t kSenseResponseCode = 0;
constexpr std::size_t kSenseKey = 2;
constexpr std::size_t kSenseAsc = 12;
constexpr std::size_t kSenseAscq = 13;

void AppendHexBytes(std::string& out, const uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) fmt::format_to(std::back_inserter(out), "{:02X} ", bytes[i]);
}

std::string AddressPart(const aspi::SRB_ExecSCSICmd& r) {
    return fmt::format("{}:{:X}:{} <{:02X}> [{:04X}]", r.SRB_HaId, r.SRB_Target, r.SRB_Lun, r.SRB_Status,
                       uint32_t{r.SRB_BufLen});
}

// The CDB is always shown in full, whatever SRB_CDBLen claims.
std::string CommandPart(const aspi::SRB_ExecSCSICmd& r) {
    std::string out = fmt::format("({:02X}) {{{:02X}|{:02X}}} - {} ", r.CDBByte[0], r.SRB_Flags, r.SRB_CDBLen,
                                  AddressPart(r));
    AppendHexBytes(out, r.CDBByte + 1, aspi::CDB_MAX_LEN - 1);
    return out;
}

std::string DataPart(const aspi::SRB_ExecSCSICmd& r) {
    std::string out;
    if (r.SRB_BufPointer == nullptr) return out;
    AppendHexBytes(out, r.SRB_BufPointer, std::min<std::size_t>(uint32_t{r.SRB_BufLen}, kTraceDataBytes));
    return out;
}

}  // namespace

std::string TraceLine(const aspi::SRB_ExecSCSICmd& r, const std::string& statusText) {
    std::string line = "<<< ";
    line += CommandName(r.CDBByte[0]);
    line += ' ';
    line += CommandPart(r);
    line += " | ";
    line += DataPart(r);
    fmt::format_to(std::back_inserter(line), "= {:02X} {:02X} {:02X} {:02X} ASC:{:02X},ASQ:{:02X} ", r.SRB_HaStat,
                   r.SRB_TargStat, r.SenseArea[kSenseResponseCode], r.SenseArea[kSenseKey], r.SenseArea[kSenseAsc],
                   r.SenseArea[kSenseAscq]);
    line += statusText;
    return line;
}

}  // namespace tavrin
