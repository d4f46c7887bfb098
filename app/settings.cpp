#include "app/settings.h"

#include <charconv>
#include <map>

#include <ini.h>

namespace tavrin::app {
namespace {

constexpr const char* kSection = "Options";

using Values = std::map<std::string, std::string>;

int KeepOption(void* user, const char* section, const char* name, const char* value) {
    if (std::string(section) != kSection) return 1;
    // The first occurrence of a key wins, as a lookup in the file would find it.
    static_cast<Values*>(user)->emplace(name, value);
    return 1;
}

std::optional<bool> BooleanOf(const Values& values, const char* key) {
    const auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    const auto number = ParseInteger(it->second);
    if (!number) return std::nullopt;
    return *number != 0;
}

template <typename T>
void Apply(const std::optional<T>& value, T& target) {
    if (value) target = *value;
}

}  // namespace

std::optional<int32_t> ParseInteger(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;
    int32_t number = 0;
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || stop != end) return std::nullopt;
    return number;
}

Settings ReadSettings(const std::string& path) {
    Values values;
    // A file that cannot be opened gives -1; a broken line leaves the keys read so far.
    ini_parse(path.c_str(), KeepOption, &values);
    Settings s;
    s.archiveFiles = BooleanOf(values, "ArchiveFiles");
    s.closeDisc = BooleanOf(values, "CloseDisc");
    s.jolietFS = BooleanOf(values, "JolietFS");
    s.testWrite = BooleanOf(values, "TestWrite");
    s.performOPC = BooleanOf(values, "PerformOPC");
    s.quickSaveISO = BooleanOf(values, "QuickSaveISO");
    s.showFiles = BooleanOf(values, "ShowFiles");
    if (const auto it = values.find("VolumeLable"); it != values.end()) s.volumeLabel = it->second;
    if (const auto it = values.find("CacheSize"); it != values.end()) s.cacheSize = ParseInteger(it->second);
    // SavePath, ImportSession, SessionNo, EjectDisc and BootImage may stand in the
    // file and change nothing.
    return s;
}

void ApplySettings(const Settings& s, TvxCDBurner& burner, WindowFlags& flags) {
    Apply(s.archiveFiles, flags.archiveFiles);
    Apply(s.closeDisc, burner.FinalizeDisc);
    Apply(s.jolietFS, burner.JolietFileSystem);
    Apply(s.testWrite, burner.TestWrite);
    Apply(s.performOPC, burner.PerformOPC);
    Apply(s.quickSaveISO, flags.quickSaveISO);
    Apply(s.showFiles, flags.showFiles);
    Apply(s.volumeLabel, burner.IdVolume);
    if (s.cacheSize) burner.SetCacheSize(*s.cacheSize);
}

}  // namespace tavrin::app
