#include "dbquarry/text.h"

#include <cstring>
#include <string>

#include "platform/textcodec.h"

namespace dbquarry {

char16_t* CopyText(std::u16string_view text) {
    auto* copy = new char16_t[text.size() + 1];
    std::char_traits<char16_t>::copy(copy, text.data(), text.size());
    copy[text.size()] = u'\0';
    return copy;
}

char16_t* Utf8ToWide(const unsigned char* utf8, std::size_t bytes) {
    if (utf8 == nullptr) {
        return nullptr;
    }
    if (const void* zero = std::memchr(utf8, 0, bytes)) {
        bytes = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - utf8);
    }
    // Most device text is ASCII: widen it in place of a full decode.
    std::size_t i = 0;
    while (i < bytes && utf8[i] < 0x80) {
        ++i;
    }
    if (i == bytes) {
        auto* wide = new char16_t[bytes + 1];
        for (std::size_t j = 0; j < bytes; ++j) {
            wide[j] = utf8[j];
        }
        wide[bytes] = u'\0';
        return wide;
    }
    return CopyText(pixhaven::platform::Utf8ToUtf16(
        std::string_view(reinterpret_cast<const char*>(utf8), bytes)));
}

char16_t* Utf8ToWide(std::string_view utf8) {
    return Utf8ToWide(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size());
}

char16_t* AnsiToWide(std::string_view ansi) {
    return CopyText(pixhaven::platform::AnsiToUtf16(ansi));
}

}  // namespace dbquarry
