// UTF-8/UTF-16 conversions (strict and lenient) and the locale-dependent "ANSI" conversions.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <string>

#include "platform/textcodec.h"
#include "tests/support/tempdir.h"

// glibc keeps the parsed LOCPATH of newlocale() for good; that is not our leak.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:argz_add_sep\n";
}

namespace pixhaven::platform {
namespace {

TEST(Utf8Strict, DecodesEveryLengthOfSequence) {
    EXPECT_EQ(Utf8ToUtf16Strict("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              std::u16string(u"a\u00E9\u20AC\U0001F600"));
    EXPECT_EQ(Utf8ToUtf16Strict(""), std::u16string());
    EXPECT_EQ(Utf8ToUtf16Strict(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf8Strict, RejectsMalformedSequences) {
    const char* const malformed[] = {
        "\xC0\xAF",          // overlong '/'
        "\xC1\xBF",          // overlong
        "\xE0\x80\xAF",      // overlong
        "\xF0\x80\x80\xAF",  // overlong
        "\xED\xA0\x80",      // high surrogate
        "\xED\xBF\xBF",      // low surrogate
        "\xF4\x90\x80\x80",  // U+110000
        "\xF5\x80\x80\x80",  // past any plane
        "\xFF",
        "\x80",                  // lone continuation byte
        "\xE2\x82",              // truncated at the end
        "\xF0\x9F\x98",          // truncated at the end
        "\xE2\x82x",             // truncated before ASCII
        "ok\xC3",                // truncated after valid text
        "\xC3\xA9\xC3\xC3\xA9",  // truncated in the middle
    };
    for (const char* text : malformed) {
        EXPECT_FALSE(Utf8ToUtf16Strict(text).has_value()) << text;
    }
}

TEST(Utf8Lenient, ReplacesEachMaximalBadSubpartOnce) {
    EXPECT_EQ(Utf8ToUtf16("a\xE2\x82z"), u"a\uFFFDz");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98"), u"\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80!"), u"\uFFFD\uFFFD\uFFFD\uFFFD!");
    EXPECT_EQ(Utf8ToUtf16("x\x80\xBFy"), u"x\uFFFD\uFFFDy");
    EXPECT_EQ(Utf8ToUtf16("\xC3\xA9\xFF\xC3\xA9"), u"\u00E9\uFFFD\u00E9");
}

TEST(Utf16ToUtf8, JoinsPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    // A low surrogate before a high one is two lone halves, not a pair.
    const std::u16string reversed = {char16_t(0xDC00), char16_t(0xD800)};
    EXPECT_EQ(Utf16ToUtf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8Utf16, EveryScalarValueRoundTrips) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        std::u16string utf16;
        if (c < 0x10000) {
            utf16 += static_cast<char16_t>(c);
        } else {
            utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        const std::optional<std::u16string> back = Utf8ToUtf16Strict(Utf16ToUtf8(utf16));
        ASSERT_TRUE(back.has_value()) << std::hex << static_cast<unsigned>(c);
        ASSERT_EQ(*back, utf16) << std::hex << static_cast<unsigned>(c);
    }
}

// Switches this thread to a locale for one test, without touching the process-wide one.
class ScopedThreadLocale {
public:
    explicit ScopedThreadLocale(const char* name) : locale_(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (locale_ != nullptr) {
            previous_ = uselocale(locale_);
        }
    }
    ~ScopedThreadLocale() {
        if (locale_ != nullptr) {
            uselocale(previous_);
            freelocale(locale_);
        }
    }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;
    bool Active() const { return locale_ != nullptr; }

private:
    locale_t locale_;
    locale_t previous_ = nullptr;
};

TEST(Ansi, CLocaleIsAsciiWithReplacements) {
    ScopedThreadLocale locale("C");
    ASSERT_TRUE(locale.Active());
    EXPECT_EQ(AnsiToUtf16("plain text"), u"plain text");
    EXPECT_EQ(AnsiToUtf16("caf\xE9"), u"caf\uFFFD");
    EXPECT_EQ(Utf16ToAnsi(u"caf\u00E9 \U0001F600!"), "caf? ?!");
}

TEST(Ansi, Utf8LocaleRoundTrips) {
    ScopedThreadLocale locale("C.UTF-8");
    if (!locale.Active()) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    const std::u16string text = u"Gr\u00FC\u00DFe \u6771\u4EAC \U0001F600";
    EXPECT_EQ(AnsiToUtf16(Utf16ToAnsi(text)), text);
    EXPECT_EQ(Utf16ToAnsi(text), Utf16ToUtf8(text));
    EXPECT_EQ(AnsiToUtf16("\xE9t\xE9"), u"\uFFFDt\uFFFD");
    EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t(0xD800))), "?");
}

// A single-byte charset goes through iconv; build one with localedef when the machine can.
TEST(Ansi, SingleByteLocaleGoesThroughTheCharset) {
    test::TempDir dir;
    const std::string command = "localedef -i en_US -f ISO-8859-1 '" +
                                (dir / "en_US.ISO-8859-1").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot build a Latin-1 locale here";
    }
    ::setenv("LOCPATH", dir.path().c_str(), 1);
    ScopedThreadLocale locale("en_US.ISO-8859-1");
    ::unsetenv("LOCPATH");
    if (!locale.Active()) {
        GTEST_SKIP() << "the Latin-1 locale did not load";
    }
    EXPECT_EQ(Utf16ToAnsi(u"Gr\u00FC\u00DFe"),
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(AnsiToUtf16("Gr\xFC\xDF"
                          "e"),
              u"Gr\u00FC\u00DFe");
    EXPECT_EQ(Utf16ToAnsi(u"\u20AC5 \U0001F600."), "?5 ?.");
    const std::string everyByte = [] {
        std::string bytes;
        for (int b = 1; b < 256; ++b)
            bytes += static_cast<char>(b);
        return bytes;
    }();
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(everyByte)), everyByte);
}

}  // namespace
}  // namespace pixhaven::platform
