#include "engine/iso/volume_descriptors.h"

#include <algorithm>
#include <string_view>

#include "engine/iso/both_endian.h"
#include "engine/iso/descriptor_text.h"
#include "engine/iso/directory_record.h"
#include "engine/iso/identifiers.h"

namespace tavrin::iso {

namespace {

using namespace descriptor;

constexpr std::string_view kStandard = "CD001";
constexpr uint8_t kDescriptorVersion = 1;
constexpr uint8_t kStructureVersion = 1;
// UCS-2 level 1: the escape sequence "%/@" that marks the Joliet tree.
constexpr std::array<uint8_t, 3> kJolietEscape{0x25, 0x2F, 0x40};
constexpr std::string_view kApplicationUseMark = "        ";

void PutText(DescriptorBlock& block, std::size_t offset, std::string_view bytes) {
    std::copy(bytes.begin(), bytes.end(), block.begin() + offset);
}

// Type, "CD001", version: the first seven bytes of every descriptor.
DescriptorBlock Opening(uint8_t type) {
    DescriptorBlock block{};
    block[kType] = type;
    PutText(block, kStandardIdentifier, kStandard);
    block[kVersion] = kDescriptorVersion;
    return block;
}

// The root's record: the date is not specified, as readers take the root's time
// from its self record.
void PutRootRecord(DescriptorBlock& block, uint32_t extent, uint32_t bytes) {
    const auto root = EncodeDirectoryRecord(
        {.extent = extent, .dataLength = bytes, .date = {}, .flags = kFlagDirectory, .identifier = kSelfIdentifier});
    std::copy(root->begin(), root->end(), block.begin() + kRootDirectoryRecord);
}

// The fields both descriptors share, in numbers.
void PutLocation(DescriptorBlock& block, const TreeLocation& location) {
    PutBoth32(block, kVolumeSpaceSize, location.volumeSpaceBlocks);
    PutBoth16(block, kVolumeSetSize, 1);
    PutBoth16(block, kVolumeSequenceNumber, 1);
    PutBoth16(block, kLogicalBlockSize, static_cast<uint16_t>(kBlockBytes));
    PutBoth32(block, kPathTableSize, location.pathTableBytes);
    PutLE32(block, kTypeLPathTable, location.typeLPathTableBlock);
    PutBE32(block, kTypeMPathTable, location.typeMPathTableBlock);
    PutRootRecord(block, location.rootExtentBlock, location.rootExtentBytes);
}

void PutDatesAndTail(DescriptorBlock& block, const VolumeIdentity& identity) {
    PutText(block, kCreationDate, VolumeDate(identity.DateCreation));
    PutText(block, kModificationDate, VolumeDate(identity.DateModification));
    PutText(block, kExpirationDate, UnspecifiedVolumeDate());
    PutText(block, kEffectiveDate, UnspecifiedVolumeDate());
    block[kFileStructureVersion] = kStructureVersion;
    PutText(block, kApplicationUse, kApplicationUseMark);
}

}  // namespace

DescriptorBlock EncodePrimaryDescriptor(const VolumeIdentity& identity, const TreeLocation& location) {
    DescriptorBlock block = Opening(kPrimaryType);
    auto text = [&](std::size_t offset, const std::string& value, std::size_t width) {
        PutText(block, offset, EightBitField(value, width, LetterCase::Upper));
    };
    text(kSystemIdentifier, identity.IdSystem, kShortTextBytes);
    text(kVolumeIdentifier, identity.IdVolume, kShortTextBytes);
    PutLocation(block, location);
    text(kVolumeSetIdentifier, identity.IdVolumeSet, kLongTextBytes);
    text(kPublisherIdentifier, identity.IdPublisher, kLongTextBytes);
    text(kPreparerIdentifier, identity.IdPreparer, kLongTextBytes);
    text(kApplicationIdentifier, identity.IdApplication, kLongTextBytes);
    text(kCopyrightFile, identity.FileCopyright, kFileNameBytes);
    text(kAbstractFile, identity.FileAbstract, kFileNameBytes);
    text(kBibliographicFile, identity.FileBibliographic, kFileNameBytes);
    PutDatesAndTail(block, identity);
    return block;
}

DescriptorBlock EncodeJolietDescriptor(const VolumeIdentity& identity, const TreeLocation& location,
                                       JolietNameEncoder& encoder) {
    DescriptorBlock block = Opening(kSupplementaryType);
    auto text = [&](std::size_t offset, const std::string& value, std::size_t width) {
        PutText(block, offset, JolietField(encoder, value, width));
    };
    text(kSystemIdentifier, identity.IdSystem, kShortTextBytes);
    text(kVolumeIdentifier, identity.IdVolume, kShortTextBytes);
    std::copy(kJolietEscape.begin(), kJolietEscape.end(), block.begin() + kEscapeSequences);
    PutLocation(block, location);
    text(kVolumeSetIdentifier, identity.IdVolumeSet, kLongTextBytes);
    text(kPublisherIdentifier, identity.IdPublisher, kLongTextBytes);
    text(kPreparerIdentifier, identity.IdPreparer, kLongTextBytes);
    text(kApplicationIdentifier, identity.IdApplication, kLongTextBytes);
    // 36 bytes of UCS-2 in the 37-byte fields; the 37th stays 0.
    text(kCopyrightFile, identity.FileCopyright, kJolietFileNameBytes);
    text(kAbstractFile, identity.FileAbstract, kJolietFileNameBytes);
    text(kBibliographicFile, identity.FileBibliographic, kJolietFileNameBytes);
    PutDatesAndTail(block, identity);
    return block;
}

DescriptorBlock EncodeTerminator() {
    return Opening(kTerminatorType);
}

}  // namespace tavrin::iso
