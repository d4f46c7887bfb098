#include "recorders/virtual/recorder_store.h"

#include <algorithm>
#include <sys/stat.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace tavrin::vrecorder {
namespace {

using nlohmann::json;

[[noreturn]] void corrupt(const std::string& what) {
    throw StoreError("corrupt recorder metadata: " + what);
}

// INQUIRY fields are fixed-width printable ASCII.
std::optional<std::string> identityField(const json& in, const char* name, size_t width) {
    const auto it = in.find(name);
    if (it == in.end() || it->is_null()) return std::nullopt;
    if (!it->is_string()) corrupt(fmt::format("\"{}\" is not a string", name));
    std::string text = it->get<std::string>();
    if (text.size() > width) corrupt(fmt::format("\"{}\" is longer than {} characters", name, width));
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
        corrupt(fmt::format("\"{}\" is not printable ASCII", name));
    return text;
}

}  // namespace

std::string recorderConfigToJson(const RecorderConfig& config) {
    json out = {{"tray", config.trayOpen ? "open" : "closed"}};
    out["disc"] = config.disc ? json(config.disc->string()) : json(nullptr);
    if (config.vendor) out["vendor"] = *config.vendor;
    if (config.product) out["product"] = *config.product;
    if (config.revision) out["revision"] = *config.revision;
    return out.dump(2) + "\n";
}

RecorderConfig recorderConfigFromJson(const std::string& text) {
    const json in = json::parse(text, nullptr, false);
    if (in.is_discarded()) corrupt("not valid JSON");
    if (!in.is_object()) corrupt("not a JSON object");
    RecorderConfig config;
    const auto tray = in.find("tray");
    if (tray == in.end() || !tray->is_string()) corrupt("\"tray\" is missing or not a string");
    if (*tray == "open")
        config.trayOpen = true;
    else if (*tray != "closed")
        corrupt("\"tray\" is neither \"open\" nor \"closed\"");
    const auto disc = in.find("disc");
    if (disc != in.end() && !disc->is_null()) {
        if (!disc->is_string() || disc->get<std::string>().empty())
            corrupt("\"disc\" is not a folder name");
        config.disc = std::filesystem::path(disc->get<std::string>());
    }
    config.vendor = identityField(in, "vendor", 8);
    config.product = identityField(in, "product", 16);
    config.revision = identityField(in, "revision", 4);
    return config;
}

RecorderConfig loadRecorderConfig(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / kRecorderMetadataFile;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return RecorderConfig{};
    std::string text, error;
    if (!readSmallFile(file, text, error)) throw StoreError(error);
    RecorderConfig config = recorderConfigFromJson(text);
    // A hand-written relative disc folder means one beside recorder.json.
    if (config.disc && config.disc->is_relative()) config.disc = (folder / *config.disc).lexically_normal();
    return config;
}

void saveRecorderConfig(const std::filesystem::path& folder, const RecorderConfig& config) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw StoreError(fmt::format("cannot create {}: {}", folder.string(), ec.message()));
    std::string error;
    if (!replaceFileAtomically(folder / kRecorderMetadataFile, recorderConfigToJson(config), true,
                               error))
        throw StoreError(error);
}

void loadDiscIntoRecorder(const std::filesystem::path& recorder, const std::filesystem::path& disc) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(disc, ec).lexically_normal();
    if (ec) throw StoreError(fmt::format("cannot resolve {}: {}", disc.string(), ec.message()));
    DiscStore::open(absolute);  // refuse a folder that holds no sound disc
    RecorderConfig config = loadRecorderConfig(recorder);
    config.disc = absolute;
    config.trayOpen = false;
    saveRecorderConfig(recorder, config);
}

void ejectRecorder(const std::filesystem::path& recorder) {
    RecorderConfig config = loadRecorderConfig(recorder);
    config.disc.reset();
    config.trayOpen = true;
    saveRecorderConfig(recorder, config);
}

RecorderWatch::RecorderWatch(std::filesystem::path folder)
    : folder_(std::move(folder)), last_(look()) {}

RecorderWatch::Stamp RecorderWatch::look() const {
    Stamp stamp;
    struct stat st {};
    if (::stat((folder_ / kRecorderMetadataFile).c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.inode = st.st_ino;
    stamp.mtime = st.st_mtim;
    stamp.size = st.st_size;
    return stamp;
}

bool RecorderWatch::changed() {
    const Stamp now = look();
    // Every replacement is a new file, so the inode tells a change even when the
    // clock's granularity gives two writes the same modification time.
    const bool differs = now.exists != last_.exists || now.inode != last_.inode ||
                         now.mtime.tv_sec != last_.mtime.tv_sec ||
                         now.mtime.tv_nsec != last_.mtime.tv_nsec || now.size != last_.size;
    last_ = now;
    return differs;
}

}  // namespace tavrin::vrecorder
