#include "dbquarry/text.h"

#include <cstring>
#include <string>

#include "platform/textcodec.h"

namespace dbquarry {

char16_t* CopyText(Arena& arena, std::u16string_view text) {
    char16_t* copy = arena.NewArray<char16_t>(text.size() + 1);
    std::char_traits<char16_t>::copy(copy, text.data(), text.size());
    return copy;  // the arena zero-fills: the terminator is there
}

char16_t* Utf8ToWide(Arena& arena, const unsigned char* utf8, std::size_t bytes) {
    if (utf8 == nullptr) {
        return nullptr;
    }
    if (const void* zero = std::memchr(utf8, 0, bytes)) {
        bytes = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - utf8);
    }
    // Most device text is ASCII: widen it in place of a full decode (bench_dbquarry).
    std::size_t ascii = 0;
    while (ascii < bytes && utf8[ascii] < 0x80) {
        ++ascii;
    }
    if (ascii == bytes) {
        char16_t* wide = arena.NewArray<char16_t>(bytes + 1);
        for (std::size_t i = 0; i < bytes; ++i) {
            wide[i] = utf8[i];
        }
        return wide;
    }
    return CopyText(arena, pixhaven::platform::Utf8ToUtf16(
                               std::string_view(reinterpret_cast<const char*>(utf8), bytes)));
}

char16_t* Utf8ToWide(Arena& arena, std::string_view utf8) {
    return Utf8ToWide(arena, reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size());
}

char16_t* AnsiToWide(Arena& arena, std::string_view ansi) {
    return CopyText(arena, pixhaven::platform::AnsiToUtf16(ansi));
}

}  // namespace dbquarry
