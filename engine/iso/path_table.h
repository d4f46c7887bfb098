// Path tables: one record per directory in path-table order, so that a reader finds
// any directory without walking the tree. Type L holds its numbers least significant
// byte first, type M most significant byte first; the records are otherwise the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/compilation/entries.h"
#include "engine/iso/directory_order.h"
#include "engine/iso/joliet_names.h"

namespace tavrin::iso {

namespace path_record {
inline constexpr std::size_t kIdentifierLength = 0;
inline constexpr std::size_t kExtendedAttributeLength = 1;
inline constexpr std::size_t kExtent = 2;        // 32-bit, in the table's byte order
inline constexpr std::size_t kParentNumber = 6;  // 16-bit, in the table's byte order
inline constexpr std::size_t kIdentifier = 8;
inline constexpr std::size_t kFixedBytes = 8;
inline constexpr std::size_t kMaxIdentifierBytes = 255;
}  // namespace path_record

enum class ByteOrder { L, M };

struct PathTableRecordFields {
    uint32_t extent = 0;
    uint16_t parentNumber = 0;
    std::string_view identifier;
};

// 8 + identifier + one pad byte when the identifier length is odd.
std::size_t PathTableRecordLength(std::size_t identifierBytes);
// The record, or none for an empty identifier or one longer than its length byte.
std::optional<std::vector<uint8_t>> EncodePathTableRecord(const PathTableRecordFields& fields, ByteOrder order);

// The path table of a tree from its sorted, numbered table (root first): each
// directory's extent is areaStartBlock plus its extent offset in that tree, its
// identifier its ShortName (ISO) or Joliet-encoded LongName. The bytes before block
// padding; none when a record cannot be encoded (a number beyond 16 bits or an
// identifier too long).
std::optional<std::vector<uint8_t>> EncodePathTable(std::span<const PDirEntry> sorted, Tree tree,
                                                    uint32_t areaStartBlock, ByteOrder order,
                                                    JolietNameEncoder& encoder);

}  // namespace tavrin::iso
