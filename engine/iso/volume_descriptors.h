// The volume descriptor set at block 16 of a session: the primary descriptor (the
// ISO 9660 tree), the Joliet supplementary descriptor (the same volume with UCS-2
// names) and the set terminator. Each is one 2048-byte block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/compilation/entries.h"
#include "engine/iso/joliet_names.h"

namespace tavrin::iso {

inline constexpr std::size_t kDescriptorBytes = 2048;
using DescriptorBlock = std::array<uint8_t, kDescriptorBytes>;

namespace descriptor {
inline constexpr std::size_t kType = 0;
inline constexpr std::size_t kStandardIdentifier = 1;  // "CD001"
inline constexpr std::size_t kVersion = 6;
inline constexpr std::size_t kVolumeFlags = 7;
inline constexpr std::size_t kSystemIdentifier = 8;
inline constexpr std::size_t kVolumeIdentifier = 40;
inline constexpr std::size_t kVolumeSpaceSize = 80;  // both-endian 32
inline constexpr std::size_t kEscapeSequences = 88;
inline constexpr std::size_t kVolumeSetSize = 120;         // both-endian 16
inline constexpr std::size_t kVolumeSequenceNumber = 124;  // both-endian 16
inline constexpr std::size_t kLogicalBlockSize = 128;      // both-endian 16
inline constexpr std::size_t kPathTableSize = 132;         // both-endian 32
inline constexpr std::size_t kTypeLPathTable = 140;        // LE 32
inline constexpr std::size_t kOptionalTypeLPathTable = 144;
inline constexpr std::size_t kTypeMPathTable = 148;  // BE 32
inline constexpr std::size_t kOptionalTypeMPathTable = 152;
inline constexpr std::size_t kRootDirectoryRecord = 156;
inline constexpr std::size_t kVolumeSetIdentifier = 190;
inline constexpr std::size_t kPublisherIdentifier = 318;
inline constexpr std::size_t kPreparerIdentifier = 446;
inline constexpr std::size_t kApplicationIdentifier = 574;
inline constexpr std::size_t kCopyrightFile = 702;
inline constexpr std::size_t kAbstractFile = 739;
inline constexpr std::size_t kBibliographicFile = 776;
inline constexpr std::size_t kCreationDate = 813;
inline constexpr std::size_t kModificationDate = 830;
inline constexpr std::size_t kExpirationDate = 847;
inline constexpr std::size_t kEffectiveDate = 864;
inline constexpr std::size_t kFileStructureVersion = 881;
inline constexpr std::size_t kApplicationUse = 1024;

inline constexpr std::size_t kShortTextBytes = 32;   // system and volume identifiers
inline constexpr std::size_t kLongTextBytes = 128;   // set, publisher, preparer, application
inline constexpr std::size_t kFileNameBytes = 37;    // copyright, abstract, bibliographic
inline constexpr std::size_t kJolietFileNameBytes = 36;  // whole UCS-2 characters only

inline constexpr uint8_t kPrimaryType = 1;
inline constexpr uint8_t kSupplementaryType = 2;
inline constexpr uint8_t kTerminatorType = 255;
}  // namespace descriptor

// The texts and dates of the volume, as the burner's properties hold them.
struct VolumeIdentity {
    std::string IdSystem;
    std::string IdVolume;
    std::string IdVolumeSet;
    std::string IdPublisher;
    std::string IdPreparer;
    std::string IdApplication;
    std::string FileCopyright;
    std::string FileAbstract;
    std::string FileBibliographic;
    TDateTime DateCreation = 0;
    TDateTime DateModification = 0;
};

// Where one tree lies: the same fields in both descriptors, each of its own tree.
struct TreeLocation {
    uint32_t volumeSpaceBlocks = 0;  // the session size
    uint32_t pathTableBytes = 0;     // before the padding to whole blocks
    uint32_t typeLPathTableBlock = 0;
    uint32_t typeMPathTableBlock = 0;
    uint32_t rootExtentBlock = 0;    // first block of the tree's directory-record area
    uint32_t rootExtentBytes = 0;
};

// The primary descriptor's escape-sequence bytes (88 to 90) stay 0, with or without
// a Joliet tree: readers look for the Joliet escape in every descriptor, and one in
// the primary descriptor makes them read the ISO 9660 tree as UCS-2 names.
DescriptorBlock EncodePrimaryDescriptor(const VolumeIdentity& identity, const TreeLocation& location);
DescriptorBlock EncodeJolietDescriptor(const VolumeIdentity& identity, const TreeLocation& location,
                                       JolietNameEncoder& encoder);
DescriptorBlock EncodeTerminator();

}  // namespace tavrin::iso
