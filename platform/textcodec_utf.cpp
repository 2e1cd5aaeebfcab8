// UTF-8 and UTF-16 conversions, written out by hand so that every platform rejects or replaces the
// same malformed input in the same way.
#include "platform/textcodec.h"

#include <type_traits>

#include <cstdint>

namespace pixhaven::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One step of UTF-8 decoding. On failure `length` is the maximal subpart of an ill-formed
// sequence (at least one byte), so that one U+FFFD stands for it, as Unicode recommends.
struct Utf8Step {
    char32_t codePoint = 0;
    std::size_t length = 1;
    bool valid = false;
};

struct LeadInfo {
    std::size_t length = 0;  // 0: not a lead byte
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    char32_t bits = 0;
};

// The second byte's range excludes overlong forms (E0, F0), surrogates (ED) and values past
// U+10FFFF (F4).
LeadInfo DescribeLead(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, 0x80, 0xBF, lead & 0x1Fu};
    if (lead == 0xE0)
        return {3, 0xA0, 0xBF, lead & 0x0Fu};
    if (lead == 0xED)
        return {3, 0x80, 0x9F, lead & 0x0Fu};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {3, 0x80, 0xBF, lead & 0x0Fu};
    if (lead == 0xF0)
        return {4, 0x90, 0xBF, lead & 0x07u};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {4, 0x80, 0xBF, lead & 0x07u};
    if (lead == 0xF4)
        return {4, 0x80, 0x8F, lead & 0x07u};
    return {};
}

Utf8Step DecodeUtf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    const LeadInfo info = DescribeLead(lead);
    if (info.length == 0) {
        return {};
    }
    char32_t codePoint = info.bits;
    for (std::size_t i = 1; i < info.length; ++i) {
        if (at + i >= text.size()) {
            return {0, i, false};
        }
        const auto byte = static_cast<unsigned char>(text[at + i]);
        const unsigned char low = i == 1 ? info.secondLow : 0x80;
        const unsigned char high = i == 1 ? info.secondHigh : 0xBF;
        if (byte < low || byte > high) {
            return {0, i, false};
        }
        codePoint = (codePoint << 6) | (byte & 0x3Fu);
    }
    return {codePoint, info.length, true};
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out += static_cast<char16_t>(codePoint);
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    out += static_cast<char16_t>(0xD800 + (offset >> 10));
    out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Step step = DecodeUtf8(utf8, at);
        if (!step.valid) {
            return std::nullopt;
        }
        AppendUtf16(out, step.codePoint);
        at += step.length;
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Utf8Step step = DecodeUtf8(utf8, at);
        AppendUtf16(out, step.valid ? step.codePoint : kReplacement);
        at += step.length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t at = 0; at < utf16.size(); ++at) {
        const char16_t unit = utf16[at];
        if (IsSurrogatePairAt(utf16, at)) {
            const char32_t high = unit - 0xD800u;
            const char32_t low = utf16[++at] - 0xDC00u;
            AppendUtf8(out, 0x10000 + (high << 10) + low);
        } else if (IsSurrogate(unit)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::filesystem::path PathFromUtf16(std::u16string_view text) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, char>) {
        const std::string utf8 = Utf16ToUtf8(text);
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    } else {
        return std::filesystem::path(std::wstring(text.begin(), text.end()));
    }
}

std::u16string PathToUtf16(const std::filesystem::path& path) {
    const auto& native = path.native();
    if constexpr (std::is_same_v<std::filesystem::path::value_type, char>) {
        return Utf8ToUtf16(native);
    } else {
        return std::u16string(native.begin(), native.end());
    }
}

}  // namespace pixhaven::platform
