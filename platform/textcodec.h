// Text conversions between UTF-8, UTF-16 and the locale's narrow charset (the "ANSI" code page).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pixhaven::platform {

// UTF-16 surrogates: a high one followed by a low one is one character in two units; any other
// surrogate is unpaired.
constexpr bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
constexpr bool IsSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}
constexpr bool IsSurrogatePairAt(std::u16string_view text, std::size_t at) {
    return at + 1 < text.size() && IsHighSurrogate(text[at]) && IsLowSurrogate(text[at + 1]);
}

// Strict UTF-8 to UTF-16: overlong forms, surrogates, values past U+10FFFF and truncated
// sequences make the whole text invalid.
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8);

// Lenient UTF-8 to UTF-16: each invalid sequence becomes U+FFFD, as the Windows converter does
// without its error flag.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The locale's narrow charset (the system's ANSI code page on Windows) to UTF-16. Bytes the charset
// cannot decode become U+FFFD.
std::u16string AnsiToUtf16(std::string_view ansi);

// UTF-16 to the locale's narrow charset; characters it cannot hold become '?'.
std::string Utf16ToAnsi(std::u16string_view utf16);

// A path from UTF-16 text and back, without the exceptions std::filesystem's own conversions can
// throw: narrow native paths are UTF-8, invalid sequences become U+FFFD either way.
std::filesystem::path PathFromUtf16(std::u16string_view text);
std::u16string PathToUtf16(const std::filesystem::path& path);

// The local path named by the path part of a "file:" address, percent escapes already decoded
// (UTF-8). On Windows "/C:/folder" names "C:/folder"; elsewhere the text is the path.
std::filesystem::path PathFromFileAddress(std::string_view utf8Path);

// Makes standard output write its bytes unchanged: Windows would otherwise turn each "\n" into
// "\r\n". Elsewhere there is nothing to do.
void SetStandardOutputBinary();

}  // namespace pixhaven::platform
