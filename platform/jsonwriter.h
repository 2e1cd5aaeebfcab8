// The JSON writer of pixhaven-cli, dbquarry-dump and the sample generator's report. It appends to
// one string as the caller goes, so each output keeps the layout its readers compare byte for
// byte: one object per line, `{"name": "x", "size": 3}` or the compact form.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaven::json {

struct Style {
    std::string_view itemSeparator;  // between the members of an object and the items of an array
    std::string_view nameSeparator;  // between a member's name and its value
    bool shortEscapes = true;        // \n \r \t; otherwise every control character as \u00XX
};

inline constexpr Style kSpaced{", ", ": ", true};
inline constexpr Style kCompact{",", ":", true};

class Writer {
public:
    explicit Writer(Style style = kSpaced) : style_(style) {}

    Writer& BeginObject();
    Writer& EndObject();
    // `itemBreak` (a line end and indent) goes before each item, after its comma; `endBreak`
    // before the closing bracket of an array that has items.
    Writer& BeginArray(std::string_view itemBreak = {}, std::string_view endBreak = {});
    Writer& EndArray();
    Writer& Key(std::string_view name);

    // Text is always written as valid UTF-8: invalid UTF-8 sequences and unpaired surrogates
    // become U+FFFD.
    Writer& String(std::string_view utf8);
    Writer& String(std::u16string_view utf16);
    Writer& Null();
    Writer& Bool(bool value);
    template <std::integral Number>
    requires(!std::same_as<Number, bool>) Writer& Int(Number value) {
        BeforeValue();
        text_ += std::to_string(value);
        return *this;
    }
    // The shortest text that reads back as `value`; NaN and the infinities, which JSON cannot
    // hold, as null.
    Writer& Double(double value);

    // A member's name and value in one call.
    Writer& Member(std::string_view name, std::string_view utf8) { return Key(name).String(utf8); }
    Writer& Member(std::string_view name, std::u16string_view utf16) {
        return Key(name).String(utf16);
    }
    template <std::integral Number>
    Writer& Member(std::string_view name, Number value) {
        Key(name);
        if constexpr (std::same_as<Number, bool>) {
            return Bool(value);
        } else {
            return Int(value);
        }
    }

    const std::string& Text() const { return text_; }
    std::string Take() { return std::move(text_); }

private:
    struct Level {
        bool hasItems = false;
        std::string_view itemBreak;
        std::string_view endBreak;
    };

    void BeforeValue();
    void AppendQuoted(std::string_view validUtf8);

    Style style_;
    std::string text_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

}  // namespace pixhaven::json
