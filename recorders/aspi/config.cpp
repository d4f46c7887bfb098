#include "recorders/aspi/config.h"

#include <ini.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>

namespace tavrin::aspilib {
namespace {

namespace fs = std::filesystem;
using vrecorder::Faults;

constexpr std::string_view kSectionPrefix = "recorder ";
constexpr const char* kFileName = "recorders.ini";

std::optional<uint64_t> parseUnsigned(std::string_view text, uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    } else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H')) {
        text.remove_suffix(1);
        base = 16;
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

std::optional<bool> parseBool(std::string_view text) {
    if (text == "true" || text == "yes" || text == "on" || text == "1") return true;
    if (text == "false" || text == "no" || text == "off" || text == "0") return false;
    return std::nullopt;
}

std::optional<double> parseScale(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= 0.0) || value > 1e6) return std::nullopt;
    return value;
}

// A fault key sets one field of Faults from its text; false when the text does not fit.
using FaultSetter = std::function<bool(Faults&, std::string_view)>;

FaultSetter countKey(uint32_t Faults::*field) {
    return [field](Faults& f, std::string_view v) {
        const auto n = parseUnsigned(v, UINT32_MAX);
        if (n) f.*field = static_cast<uint32_t>(*n);
        return n.has_value();
    };
}
FaultSetter blockKey(std::optional<uint32_t> Faults::*field) {
    return [field](Faults& f, std::string_view v) {
        const auto n = parseUnsigned(v, UINT32_MAX);
        if (n) f.*field = static_cast<uint32_t>(*n);
        return n.has_value();
    };
}
FaultSetter opcodeKey(std::optional<uint8_t> Faults::*field) {
    return [field](Faults& f, std::string_view v) {
        const auto n = parseUnsigned(v, 0xFF);
        if (n) f.*field = static_cast<uint8_t>(*n);
        return n.has_value();
    };
}
FaultSetter flagKey(bool Faults::*field) {
    return [field](Faults& f, std::string_view v) {
        const auto b = parseBool(v);
        if (b) f.*field = *b;
        return b.has_value();
    };
}

const std::map<std::string, FaultSetter, std::less<>>& faultKeys() {
    static const std::map<std::string, FaultSetter, std::less<>> keys = {
        {"not_ready_commands", countKey(&Faults::notReadyCommands)},
        {"not_ready_after_load_ms",
         [](Faults& f, std::string_view v) {
             const auto n = parseUnsigned(v, UINT32_MAX);
             if (n) f.notReadyAfterLoad = std::chrono::milliseconds(*n);
             return n.has_value();
         }},
        {"busy_writes", countKey(&Faults::busyWrites)},
        {"long_write_when_buffer_full", flagKey(&Faults::longWriteWhenBufferFull)},
        {"write_error_block", blockKey(&Faults::writeErrorBlock)},
        {"read_error_block", blockKey(&Faults::readErrorBlock)},
        {"refused_opcode", opcodeKey(&Faults::refusedOpcode)},
        {"unit_attention_on_disc_change", flagKey(&Faults::unitAttentionOnDiscChange)},
        {"hang_opcode", opcodeKey(&Faults::hangOpcode)},
        {"remove_disc_at_block", blockKey(&Faults::removeDiscAtBlock)},
    };
    return keys;
}

// The recordable kinds a blank disc can be created as.
std::optional<vrecorder::MediaKind> blankMedia(std::string_view name) {
    const auto kind = vrecorder::mediaKindFromName(name);
    if (!kind) return std::nullopt;
    const auto& figures = vrecorder::mediaFigures(*kind);
    if (figures.recording == vrecorder::Recording::ReadOnly) return std::nullopt;
    return kind;
}

// Keys seen in one section, checked once the whole file is read.
struct Section {
    std::string name;
    std::map<std::string, std::string, std::less<>> values;
};

// inih reports the line of the first fault it meets (a malformed line or an entry
// this handler refused); faults found after reading name their recorder instead.
struct Parser {
    std::vector<Section> sections;
    std::string error;
    bool fromEntry = false;

    bool fail(std::string text) {
        if (error.empty()) error = std::move(text);
        return false;
    }
};

int onEntry(void* user, const char* section, const char* name, const char* value) {
    auto& p = *static_cast<Parser*>(user);
    if (!p.error.empty()) return 1;  // only the first fault is reported
    const std::string_view s(section);
    if (!s.starts_with(kSectionPrefix) || s.size() == kSectionPrefix.size()) {
        p.fromEntry = true;
        return p.fail("key '" + std::string(name) + "' is not in a [recorder NAME] section");
    }
    const std::string recorder(s.substr(kSectionPrefix.size()));
    if (p.sections.empty() || p.sections.back().name != recorder) {
        for (const auto& earlier : p.sections) {
            if (earlier.name != recorder) continue;
            p.fromEntry = true;
            return p.fail("recorder '" + recorder + "' appears twice");
        }
        p.sections.push_back(Section{recorder, {}});
    }
    if (!p.sections.back().values.emplace(name, value).second) {
        p.fromEntry = true;
        return p.fail("key '" + std::string(name) + "' appears twice");
    }
    return 1;
}

fs::path folderValue(const std::string& text, const fs::path& base) {
    const fs::path p(text);
    return p.is_absolute() ? p : base / p;
}

VirtualSetup virtualSetup(const Section& s, const fs::path& base, Parser& p) {
    const std::string prefix = "recorder '" + s.name + "': ";
    VirtualSetup v;
    for (const auto& [key, value] : s.values) {
        if (key == "type") continue;
        if (key == "disc") {
            v.disc = folderValue(value, base);
        } else if (key == "recorder") {
            v.recorder = folderValue(value, base);
        } else if (key == "media") {
            const auto kind = blankMedia(value);
            if (!kind) p.fail(prefix + "media '" + value + "' is not a recordable disc kind");
            else v.media = *kind;
        } else if (key == "time_scale") {
            const auto scale = parseScale(value);
            if (!scale) p.fail(prefix + "time_scale '" + value + "' is not a factor of 0 or more");
            else v.timeScale = *scale;
        } else if (const auto it = faultKeys().find(key); it != faultKeys().end()) {
            if (!it->second(v.faults, value)) p.fail(prefix + "value '" + value + "' does not fit " + key);
        } else {
            p.fail(prefix + "unknown key '" + key + "' for a virtual recorder");
        }
    }
    if (v.disc.empty()) p.fail(prefix + "no disc folder");
    if (v.recorder.empty()) v.recorder = fs::path(v.disc.string() + ".recorder");
    return v;
}

IscsiSetup iscsiSetup(const Section& s, Parser& p) {
    const std::string prefix = "recorder '" + s.name + "': ";
    IscsiSetup i;
    for (const auto& [key, value] : s.values) {
        if (key == "type") continue;
        if (key != "url") {
            p.fail(prefix + "unknown key '" + key + "' for an iSCSI recorder");
            continue;
        }
        if (!value.starts_with("iscsi://")) p.fail(prefix + "url '" + value + "' is not iscsi://host/iqn/lun");
        i.url = value;
    }
    if (i.url.empty()) p.fail(prefix + "no url");
    return i;
}

std::optional<RecorderSetup> recorderSetup(const Section& s, const fs::path& base, Parser& p) {
    const std::string prefix = "recorder '" + s.name + "': ";
    const auto type = s.values.find("type");
    if (type == s.values.end()) {
        p.fail(prefix + "no type");
        return std::nullopt;
    }
    if (type->second == "virtual") return RecorderSetup{s.name, virtualSetup(s, base, p)};
    if (type->second == "iscsi") return RecorderSetup{s.name, iscsiSetup(s, p)};
    p.fail(prefix + "type '" + type->second + "' is neither virtual nor iscsi");
    return std::nullopt;
}

std::optional<fs::path> existing(const fs::path& p) {
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p;
    return std::nullopt;
}

fs::path homeFolder(const char* xdgVariable, const char* fallback) {
    if (const char* x = std::getenv(xdgVariable); x && *x == '/') return x;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / fallback;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ConfigError(file.string() + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

Configuration parseConfiguration(const std::string& text, const fs::path& base) {
    Parser p;
    const int rc = ini_parse_string(text.c_str(), onEntry, &p);
    if (rc > 0) {
        const std::string what = p.fromEntry ? p.error : "not a [section] or key = value line";
        throw ConfigError("line " + std::to_string(rc) + ": " + what);
    }
    Configuration c;
    for (const auto& s : p.sections) {
        if (auto r = recorderSetup(s, base, p)) c.recorders.push_back(std::move(*r));
    }
    std::size_t virtualCount = 0;
    for (const auto& r : c.recorders) virtualCount += std::holds_alternative<VirtualSetup>(r.kind);
    if (virtualCount > kMaxVirtualRecorders) p.fail("more than 8 virtual recorders");
    if (!p.error.empty()) throw ConfigError(p.error);
    return c;
}

std::optional<fs::path> findConfigurationFile() {
    if (const char* named = std::getenv("TAVRIN_ASPI_CONFIG"); named && *named) return fs::path(named);
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        if (auto beside = existing(exe.parent_path() / kFileName)) return beside;
    }
    return existing(homeFolder("XDG_CONFIG_HOME", ".config") / "tavrin" / kFileName);
}

Configuration defaultConfiguration() {
    const fs::path data = homeFolder("XDG_DATA_HOME", ".local/share") / "tavrin";
    VirtualSetup v;
    v.disc = data / "disc";
    v.recorder = data / "recorder";
    v.media = vrecorder::MediaKind::CdRw;
    return Configuration{{RecorderSetup{"default", v}}};
}

Configuration loadConfiguration() {
    const auto file = findConfigurationFile();
    if (!file) return defaultConfiguration();
    try {
        return parseConfiguration(readFile(*file), fs::absolute(*file).parent_path());
    } catch (const ConfigError& e) {
        const std::string what = e.what();
        if (what.starts_with(file->string())) throw;
        throw ConfigError(file->string() + ": " + what);
    }
}

}  // namespace tavrin::aspilib
