// UTF-16 texts for records, zero-terminated, in the arena of the list they belong to. Each throws
// std::bad_alloc when the arena cannot grow.
#pragma once

#include <cstddef>
#include <string_view>

#include "dbquarry/arena.h"

namespace dbquarry {

// UTF-8 up to its first zero byte (invalid sequences become U+FFFD). Null input gives null;
// "" gives an empty string.
char16_t* Utf8ToWide(Arena& arena, const unsigned char* utf8, std::size_t bytes);
char16_t* Utf8ToWide(Arena& arena, std::string_view utf8);
// Text in the locale's charset (what the carving engine writes).
char16_t* AnsiToWide(Arena& arena, std::string_view ansi);
// A copy of composed text.
char16_t* CopyText(Arena& arena, std::u16string_view text);

}  // namespace dbquarry
