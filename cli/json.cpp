#include "cli/json.h"

#include <cstdio>

#include "platform/textcodec.h"

namespace pixhaven::cli {
namespace {

// The escape for a character JSON does not allow raw, or empty when it may stand as it is.
std::string Escape(char16_t c) {
    switch (c) {
        case u'"':
            return "\\\"";
        case u'\\':
            return "\\\\";
        case u'\n':
            return "\\n";
        case u'\r':
            return "\\r";
        case u'\t':
            return "\\t";
        default:
            break;
    }
    if (c >= 0x20) {
        return {};
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
    return escaped;
}

}  // namespace

std::string JsonString(std::u16string_view text) {
    std::string out = "\"";
    std::size_t runStart = 0;  // plain characters are converted in runs to keep surrogate pairs
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string escape = Escape(text[i]);
        if (!escape.empty()) {
            out += platform::Utf16ToUtf8(text.substr(runStart, i - runStart));
            out += escape;
            runStart = i + 1;
        }
    }
    out += platform::Utf16ToUtf8(text.substr(runStart));
    return out + "\"";
}

std::string JsonString(std::string_view text) {
    return JsonString(platform::Utf8ToUtf16(text));
}

}  // namespace pixhaven::cli
