#include "engine/iso/identifiers.h"

namespace tavrin::iso {

std::string IsoFileIdentifier(std::string_view shortName) {
    std::string identifier(shortName);
    identifier += kFileVersion;
    return identifier;
}

std::string IsoDirectoryIdentifier(std::string_view shortName) {
    return std::string(shortName);
}

std::string JolietFileIdentifier(JolietNameEncoder& encoder, std::string_view longName) {
    std::string text(longName);
    text += kFileVersion;
    return encoder.Encode(text);
}

std::string JolietDirectoryIdentifier(JolietNameEncoder& encoder, std::string_view longName) {
    return encoder.Encode(longName);
}

bool FitsJolietRecord(std::string_view longName, bool isDirectory) {
    return longName.size() <= (isDirectory ? kMaxJolietDirNameBytes : kMaxJolietFileNameBytes);
}

}  // namespace tavrin::iso
