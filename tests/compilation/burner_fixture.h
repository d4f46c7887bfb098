// A burner component with its debug lines captured, and helpers that make source
// trees on the real file system.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/compilation/burner.h"
#include "engine/platform/gbk.h"
#include "tests/platform/test_support.h"

namespace tavrin::testing {

// GBK bytes of a UTF-8 literal.
inline std::string Gbk(const std::string& utf8) {
    return platform::Utf8ToGbk(utf8).value();
}

struct DebugLine {
    std::string message;
    uint8_t type;
    bool operator==(const DebugLine&) const = default;
};

inline void PrintTo(const DebugLine& line, std::ostream* os) {
    *os << "(" << int{line.type} << ") " << line.message;
}

class BurnerTest : public ::testing::Test {
protected:
    BurnerTest() {
        burner.OnDebugMessage = [this](TSCSIDevice&, const std::string& message, uint8_t type) {
            lines.push_back({message, type});
        };
    }

    // A file of `size` bytes (UTF-8 path below the scratch folder).
    std::string MakeFile(const std::string& relative, std::size_t size = 0) {
        const std::string path = folder / relative;
        std::ofstream out(path, std::ios::binary);
        out << std::string(size, 'x');
        return path;
    }
    std::string MakeFolder(const std::string& relative) {
        const std::string path = folder / relative;
        std::filesystem::create_directories(path);
        return path;
    }

    // A listing record as the folder scan would hand it over.
    static TSearchRec Record(const std::string& name, uint64_t size = 0, uint32_t attr = platform::kAttrArchive) {
        TSearchRec rec;
        rec.name = name;
        rec.attr = attr;
        rec.time = 0x5A2B6C3D;  // 2025-01-11 13:33:58
        rec.sizeHigh = static_cast<uint32_t>(size >> 32);
        rec.sizeLow = static_cast<uint32_t>(size);
        return rec;
    }

    // Long names of a directory's list, in order.
    static std::vector<std::string> Names(PDirEntry dir) {
        std::vector<std::string> names;
        for (PFileEntry e = dir == nullptr ? nullptr : dir->FirstEntry; e != nullptr; e = e->Next)
            names.push_back(e->LongName);
        return names;
    }

    TempFolder folder;
    TvxCDBurner burner;
    std::vector<DebugLine> lines;
};

}  // namespace tavrin::testing
