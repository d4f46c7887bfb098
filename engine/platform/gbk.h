// The one text codec of the engine. Engine texts are GBK bytes; the file system speaks
// UTF-8 and Joliet names are UCS-2 big-endian. Input with no exact form on the other
// side is reported (an empty optional), never replaced or dropped.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::platform {

enum class Charset { Gbk, Utf8, Ucs2Be };

// One direction of conversion. Holds its own iconv state: use one per thread.
class Converter {
public:
    Converter(Charset from, Charset to);

    bool valid() const { return handle_ != nullptr; }
    // The converted bytes, or none when the input is invalid, truncated, or holds a
    // character the target cannot represent.
    std::optional<std::string> convert(std::string_view input);

private:
    struct Closer {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, Closer> handle_;
};

// One-shot conversions (each opens its own converter, so any thread may call them).
std::optional<std::string> GbkToUtf8(std::string_view gbk);
std::optional<std::string> Utf8ToGbk(std::string_view utf8);
// UCS-2BE text is a byte string: two bytes per character, high byte first.
std::optional<std::string> GbkToUcs2Be(std::string_view gbk);
std::optional<std::string> Ucs2BeToGbk(std::string_view ucs2be);

}  // namespace tavrin::platform
