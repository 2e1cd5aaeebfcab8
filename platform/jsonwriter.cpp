// JSON text: separators, escapes and numbers.
#include "platform/jsonwriter.h"

#include <array>
#include <charconv>
#include <cmath>

#include "platform/textcodec.h"

namespace pixhaven::json {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string_view ShortEscape(char c) {
    switch (c) {
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        default:
            return {};
    }
}

}  // namespace

Writer& Writer::BeginObject() {
    BeforeValue();
    text_ += '{';
    levels_.push_back({});
    return *this;
}

Writer& Writer::EndObject() {
    text_ += '}';
    levels_.pop_back();
    return *this;
}

Writer& Writer::BeginArray(std::string_view itemBreak, std::string_view endBreak) {
    BeforeValue();
    text_ += '[';
    levels_.push_back({false, itemBreak, endBreak});
    return *this;
}

Writer& Writer::EndArray() {
    if (levels_.back().hasItems) {
        text_ += levels_.back().endBreak;
    }
    text_ += ']';
    levels_.pop_back();
    return *this;
}

Writer& Writer::Key(std::string_view name) {
    BeforeValue();
    AppendQuoted(platform::Utf16ToUtf8(platform::Utf8ToUtf16(name)));
    text_ += style_.nameSeparator;
    afterKey_ = true;
    return *this;
}

Writer& Writer::String(std::string_view utf8) {
    return String(platform::Utf8ToUtf16(utf8));
}

Writer& Writer::String(std::u16string_view utf16) {
    BeforeValue();
    AppendQuoted(platform::Utf16ToUtf8(utf16));
    return *this;
}

Writer& Writer::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

Writer& Writer::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

Writer& Writer::Double(double value) {
    if (!std::isfinite(value)) {
        return Null();
    }
    BeforeValue();
    std::array<char, 32> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    text_.append(digits.data(), result.ptr);
    return *this;
}

// A member's value follows its name directly; anything else inside an object or array is the
// next item and takes a separator after the first.
void Writer::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    Level& level = levels_.back();
    if (level.hasItems) {
        text_ += level.itemBreak.empty() ? style_.itemSeparator : ",";
    }
    text_ += level.itemBreak;
    level.hasItems = true;
}

void Writer::AppendQuoted(std::string_view validUtf8) {
    text_ += '"';
    for (const char c : validUtf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text_ += '\\';
            text_ += c;
        } else if (byte >= 0x20) {
            text_ += c;
        } else if (const std::string_view escape = ShortEscape(c);
                   style_.shortEscapes && !escape.empty()) {
            text_ += escape;
        } else {
            text_ += "\\u00";
            text_ += kHexDigits[byte >> 4];
            text_ += kHexDigits[byte & 0xF];
        }
    }
    text_ += '"';
}

}  // namespace pixhaven::json
