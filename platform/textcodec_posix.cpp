// The "ANSI" code page on POSIX systems: the charset of the current locale, reached through
// iconv. A process that never calls setlocale stays in the plain C locale (ASCII); the program
// and its tools set the user's locale when they start. File-address paths and standard output
// need no conversion here.
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/textcodec.h"

namespace pixhaven::platform {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

enum class Charset { Utf8, Ascii, Other };

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string LocaleCodeset() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr ? codeset : "";
}

Charset Classify(std::string_view codeset) {
    if (EqualsIgnoringAsciiCase(codeset, "UTF-8") || EqualsIgnoringAsciiCase(codeset, "utf8")) {
        return Charset::Utf8;
    }
    for (std::string_view ascii : {"", "ANSI_X3.4-1968", "ASCII", "US-ASCII", "646"}) {
        if (EqualsIgnoringAsciiCase(codeset, ascii)) {
            return Charset::Ascii;
        }
    }
    return Charset::Other;
}

// An iconv descriptor that closes itself.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (IsOpen()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool IsOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `input`; each stretch iconv rejects is replaced by `replacement`, skipping
    // `skipLength(rest)` input bytes.
    template <typename SkipLength>
    std::string Convert(std::string_view input, std::string_view replacement,
                        SkipLength skipLength) {
        std::string out;
        char buffer[4096];
        std::size_t at = 0;
        while (at < input.size()) {
            char* in = const_cast<char*>(input.data() + at);
            std::size_t inLeft = input.size() - at;
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            at = input.size() - inLeft;
            if (result == static_cast<std::size_t>(-1) && error != E2BIG) {
                out += replacement;
                at += skipLength(input.substr(at));
                iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // forget any shift state
            }
        }
        return out + Flush();
    }

private:
    // Ends the output in its initial shift state, for stateful charsets.
    std::string Flush() {
        char buffer[64];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(handle_, nullptr, nullptr, &outPtr, &outLeft);
        return std::string(buffer, static_cast<std::size_t>(outPtr - buffer));
    }

    iconv_t handle_;
};

// Length of the first character of valid UTF-8 text.
std::size_t Utf8CharLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return length < text.size() ? length : text.size();
}

std::u16string AsciiToUtf16(std::string_view ascii) {
    std::u16string out;
    out.reserve(ascii.size());
    for (const char c : ascii) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x80 ? char16_t(byte) : char16_t(0xFFFD);
    }
    return out;
}

std::string Utf16ToAscii(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        i += IsSurrogatePairAt(utf16, i) ? 1 : 0;  // one character, one '?'
        out += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return out;
}

// UTF-16 to UTF-8 where an unpaired surrogate, which no charset can hold, becomes '?'.
std::string Utf16ToUtf8ForAnsi(std::u16string_view utf16) {
    std::string out;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        if (IsSurrogatePairAt(utf16, i)) {
            ++i;
        } else if (IsSurrogate(utf16[i])) {
            out += Utf16ToUtf8(utf16.substr(runStart, i - runStart));
            out += '?';
            runStart = i + 1;
        }
    }
    return out + Utf16ToUtf8(utf16.substr(runStart));
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view ansi) {
    const std::string codeset = LocaleCodeset();
    switch (Classify(codeset)) {
        case Charset::Utf8:
            return Utf8ToUtf16(ansi);
        case Charset::Ascii:
            return AsciiToUtf16(ansi);
        case Charset::Other:
            break;
    }
    Converter converter("UTF-8", codeset.c_str());
    if (!converter.IsOpen()) {
        return AsciiToUtf16(ansi);
    }
    const auto oneByte = [](std::string_view) -> std::size_t { return 1; };
    return Utf8ToUtf16(converter.Convert(ansi, kReplacementUtf8, oneByte));
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
    const std::string codeset = LocaleCodeset();
    switch (Classify(codeset)) {
        case Charset::Utf8:
            return Utf16ToUtf8ForAnsi(utf16);
        case Charset::Ascii:
            return Utf16ToAscii(utf16);
        case Charset::Other:
            break;
    }
    Converter converter(codeset.c_str(), "UTF-8");
    if (!converter.IsOpen()) {
        return Utf16ToAscii(utf16);
    }
    return converter.Convert(Utf16ToUtf8ForAnsi(utf16), "?", Utf8CharLength);
}

std::filesystem::path PathFromFileAddress(std::string_view utf8Path) {
    return std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

void SetStandardOutputBinary() {}

}  // namespace pixhaven::platform
