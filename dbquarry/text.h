// Owned UTF-16 texts for records: allocated with array new, zero-terminated, released by the
// free functions.
#pragma once

#include <cstddef>
#include <string_view>

namespace dbquarry {

// UTF-8 up to its first zero byte, as a new UTF-16 string (invalid sequences become U+FFFD).
// Null input gives null; "" gives an empty string.
char16_t* Utf8ToWide(const unsigned char* utf8, std::size_t bytes);
char16_t* Utf8ToWide(std::string_view utf8);
// Text in the locale's charset (what the carving engine writes), as a new UTF-16 string.
char16_t* AnsiToWide(std::string_view ansi);
// A new copy of composed text.
char16_t* CopyText(std::u16string_view text);

}  // namespace dbquarry
