#include "engine/platform/gbk.h"

#include <cerrno>
#include <iconv.h>
#include <initializer_list>
#include <utility>

namespace tavrin::platform {

namespace {

const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);

// Some iconv builds know code page 936 only under one of its two names.
iconv_t Open(Charset from, Charset to) {
    auto names = [](Charset c) -> std::pair<const char*, const char*> {
        switch (c) {
            case Charset::Gbk: return {"GBK", "CP936"};
            case Charset::Utf8: return {"UTF-8", "UTF-8"};
            case Charset::Ucs2Be: return {"UCS-2BE", "UCS-2BE"};
        }
        return {"", ""};
    };
    const auto [from1, from2] = names(from);
    const auto [to1, to2] = names(to);
    for (const char* f : {from1, from2}) {
        for (const char* t : {to1, to2}) {
            const iconv_t handle = ::iconv_open(t, f);
            if (handle != kNoHandle) return handle;
        }
    }
    return kNoHandle;
}

// One iconv call carried to its end, growing the output as needed. False on invalid or
// truncated input, and on characters the target cannot represent: a positive count
// means iconv approximated some, which is no exact form either.
bool Run(iconv_t cd, char** in, size_t* inLeft, std::string& output, size_t& used) {
    for (;;) {
        char* out = output.data() + used;
        size_t outLeft = output.size() - used;
        const size_t result = ::iconv(cd, in, inLeft, &out, &outLeft);
        used = output.size() - outLeft;
        if (result != static_cast<size_t>(-1)) return result == 0;
        if (errno != E2BIG) return false;
        output.resize(output.size() * 2);
    }
}

}  // namespace

void Converter::Closer::operator()(void* handle) const {
    ::iconv_close(static_cast<iconv_t>(handle));
}

Converter::Converter(Charset from, Charset to) {
    const iconv_t handle = Open(from, to);
    if (handle != kNoHandle) handle_.reset(handle);
}

std::optional<std::string> Converter::convert(std::string_view input) {
    if (!handle_) return std::nullopt;
    const iconv_t cd = static_cast<iconv_t>(handle_.get());
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a failed call may have left state

    std::string output(input.size() * 2 + 8, '\0');
    size_t used = 0;
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    // All the input, then the closing shift sequence (null input).
    if (!Run(cd, &in, &inLeft, output, used)) return std::nullopt;
    if (!Run(cd, nullptr, nullptr, output, used)) return std::nullopt;
    output.resize(used);
    return output;
}

namespace {

std::optional<std::string> ConvertOnce(Charset from, Charset to, std::string_view input) {
    Converter converter(from, to);
    return converter.convert(input);
}

}  // namespace

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    return ConvertOnce(Charset::Gbk, Charset::Utf8, gbk);
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    return ConvertOnce(Charset::Utf8, Charset::Gbk, utf8);
}

std::optional<std::string> GbkToUcs2Be(std::string_view gbk) {
    return ConvertOnce(Charset::Gbk, Charset::Ucs2Be, gbk);
}

std::optional<std::string> Ucs2BeToGbk(std::string_view ucs2be) {
    return ConvertOnce(Charset::Ucs2Be, Charset::Gbk, ucs2be);
}

}  // namespace tavrin::platform
