#include "engine/device/quirks.h"

#include <algorithm>
#include <atomic>
#include <string_view>

namespace tavrin {
namespace {

constexpr std::size_t kVendorOffset = 8;
constexpr std::size_t kVendorLength = 8;
constexpr std::size_t kProductOffset = 16;
constexpr std::size_t kProductLength = 16;

std::string_view Field(std::span<const uint8_t> inquiry, std::size_t offset, std::size_t length) {
    if (inquiry.size() <= offset) return {};
    const std::size_t n = std::min(length, inquiry.size() - offset);
    return {reinterpret_cast<const char*>(inquiry.data() + offset), n};
}

// Identification fields are blank-padded, and some drives pad with control bytes.
std::string_view Trimmed(std::string_view s) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

struct ProcessQuirks {
    std::atomic<bool> slowReady{false};
    std::atomic<bool> closeSessionImmediate{false};
};

ProcessQuirks& Process() {
    static ProcessQuirks quirks;
    return quirks;
}

}  // namespace

ModelQuirks DecideQuirks(std::span<const uint8_t> inquiry) {
    const std::string_view product16 = Field(inquiry, kProductOffset, kProductLength);
    const std::string_view product = Trimmed(product16);
    std::string_view vendor = Trimmed(Field(inquiry, kVendorOffset, kVendorLength));
    if (vendor.size() < 3) vendor = "     ";

    ModelQuirks q;
    q.bufferUnderrun = product == "CD-W512EB";
    q.linkSize = product == "CRX175E" || product == "CD-RW  CRX800E";
    q.crx100e = product == "CD-RW  CRX100E";
    q.slowReady = product.starts_with("UJDA") || vendor.starts_with("TDK");
    q.dvr10x = product16 == "DVD-RW  DVR-103 " || product16 == "DVD-RW  DVR-104 ";
    q.closeSessionImmediate = product != "CDRW321040X" || q.dvr10x;
    return q;
}

bool QuirkSlowReady() { return Process().slowReady.load(); }
void SetQuirkSlowReady(bool on) { Process().slowReady.store(on); }
bool CloseSessionImmediate() { return Process().closeSessionImmediate.load(); }
void SetCloseSessionImmediate(bool on) { Process().closeSessionImmediate.store(on); }

}  // namespace tavrin
