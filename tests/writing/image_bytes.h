#pragma once
// Source file contents and image bytes for the image-writing tests.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/compilation/entries.h"

namespace tavrin::testing {

using Bytes = std::vector<uint8_t>;

// Bytes that differ from block to block, so a misplaced block shows.
inline Bytes Content(std::size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The bytes as the image holds them: up to whole blocks, the tail zeroed.
inline Bytes Padded(Bytes bytes) {
    bytes.resize(BlockRounded(bytes.size()), 0);
    return bytes;
}

}  // namespace tavrin::testing
