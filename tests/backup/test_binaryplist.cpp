// The one binary property-list reader: every kind read in place; trailers, offsets and objects
// that leave their areas refused.
#include "backup/binaryplist.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/binaryplist_builder.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::backup {
namespace {

using test::AppendBigEndian;
using test::BinaryPlistBuilder;

std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (const int byte : bytes) {
        out += static_cast<char>(byte);
    }
    return out;
}

TEST(BinaryPlist, ReadsEveryKindInPlace) {
    BinaryPlistBuilder builder;
    const std::string longKey = "LastStatusChange";  // 16 characters: the count follows
    const std::vector<std::uint64_t> refs = {
        builder.Raw(Bytes({0x00})),                             // 0 null
        builder.Raw(Bytes({0x09})),                             // 1 true
        builder.Raw(Bytes({0x11, 0x01, 0x02})),                 // 2 integer 258
        builder.Raw(Bytes({0x13, 0x80, 0, 0, 0, 0, 0, 0, 0})),  // 3 negative
        builder.Raw(Bytes({0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 7})),  // 4
        builder.Raw(Bytes({0x22, 0x3F, 0xC0, 0x00, 0x00})),        // 5 real 1.5
        builder.Raw(Bytes({0x23, 0x40, 0x02, 0, 0, 0, 0, 0, 0})),  // 6 real 2.25
        builder.Raw(Bytes({0x33, 0x41, 0xB0, 0, 0, 0, 0, 0, 0})),  // 7 date
        builder.Raw(Bytes({0x43, 1, 2, 3})),                       // 8 data
        builder.Ascii("Size"),                                     // 9
        builder.Ascii(longKey),                                    // 10
        builder.Raw(Bytes({0x62, 0, 'h', 0, 'i'})),                // 11 UTF-16 "hi"
        builder.Raw(Bytes({0x81, 0x01, 0x02})),                    // 12 UID 258
        builder.Raw(Bytes({0xC1, 0, 0, 0, 9})),                    // 13 set {Size}
    };
    const std::uint64_t array = builder.Array({9, 12});
    const std::uint64_t dict = builder.Dict({{9, 2}, {10, 5}});
    const std::string bytes = builder.Build(dict);
    const std::optional<BinaryPlist> plist = BinaryPlist::Open(bytes);
    ASSERT_TRUE(plist);
    EXPECT_EQ(plist->ObjectCount(), refs.size() + 2);
    EXPECT_EQ(plist->TopRef(), dict);

    const PlistKind kinds[] = {PlistKind::Simple,  PlistKind::Simple,  PlistKind::Integer,
                               PlistKind::Integer, PlistKind::Integer, PlistKind::Real,
                               PlistKind::Real,    PlistKind::Date,    PlistKind::Data,
                               PlistKind::Ascii,   PlistKind::Ascii,   PlistKind::Utf16,
                               PlistKind::Uid,     PlistKind::Set};
    const std::uint64_t counts[] = {0, 0, 2, 8, 16, 4, 8, 8, 3, 4, 16, 2, 2, 1};
    for (std::size_t i = 0; i < refs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(plist->ObjectAt(refs[i]).kind, kinds[i]);
        EXPECT_EQ(plist->ObjectAt(refs[i]).count, counts[i]);
    }

    std::uint64_t number = 0;
    EXPECT_TRUE(plist->Integer(plist->ObjectAt(2), number));
    EXPECT_EQ(number, 258u);
    EXPECT_FALSE(plist->Integer(plist->ObjectAt(3), number));  // negative
    EXPECT_TRUE(plist->Integer(plist->ObjectAt(4), number));   // 16 bytes, upper half zero
    EXPECT_EQ(number, (std::uint64_t{1} << 63) + 7);
    EXPECT_FALSE(plist->Integer(plist->ObjectAt(5), number));  // a real is no integer
    double real = 0;
    EXPECT_TRUE(plist->Real(plist->ObjectAt(5), real));
    EXPECT_EQ(real, 1.5);
    EXPECT_TRUE(plist->Real(plist->ObjectAt(6), real));
    EXPECT_EQ(real, 2.25);
    EXPECT_TRUE(plist->Uid(plist->ObjectAt(12), number));
    EXPECT_EQ(number, 258u);

    std::string_view text;
    EXPECT_TRUE(plist->KeyAt(9, text));
    EXPECT_EQ(text, "Size");
    EXPECT_TRUE(plist->KeyAt(10, text));  // the long way round
    EXPECT_EQ(text, longKey);
    EXPECT_FALSE(plist->KeyAt(11, text));  // UTF-16 is no ASCII key
    EXPECT_FALSE(plist->KeyAt(99, text));

    const PlistObject top = plist->ObjectAt(dict);
    ASSERT_EQ(BinaryPlist::RefCount(top), 4u);
    EXPECT_EQ(plist->RefOf(top, 1), 10u);  // second key
    EXPECT_EQ(plist->RefOf(top, 3), 5u);   // second value
    EXPECT_EQ(BinaryPlist::RefCount(plist->ObjectAt(array)), 2u);
    EXPECT_EQ(plist->RefOf(plist->ObjectAt(array), 1), 12u);
    EXPECT_EQ(plist->RefOf(plist->ObjectAt(13), 0), 9u);
    EXPECT_EQ(BinaryPlist::RefCount(plist->ObjectAt(9)), 0u);
}

// Objects that leave the object area, or whose marker the layout does not know, are unreadable;
// the rest of the list stays readable.
TEST(BinaryPlist, ObjectsOutsideTheLayoutAreUnreadable) {
    const std::vector<std::pair<const char*, std::string>> objects = {
        {"unknown kind", Bytes({0x70})},
        {"unknown simple value", Bytes({0x03})},
        {"integer of 32 bytes", Bytes({0x15, 0, 0})},
        {"string past the trailer", Bytes({0x5E, 'a'})},
        {"count that is no integer", Bytes({0x5F, 0x22, 0, 0, 0, 1, 'a'})},
        {"count of 16 bytes", Bytes({0x5F, 0x14, 0, 0})},
        {"references past the trailer", Bytes({0xAF, 0x10, 0x40})},
    };
    for (const auto& [name, object] : objects) {
        SCOPED_TRACE(name);
        BinaryPlistBuilder builder;
        const std::uint64_t sound = builder.Ascii("fine");
        const std::uint64_t damaged = builder.Raw(object);
        const std::string bytes = builder.Build(sound);
        const std::optional<BinaryPlist> plist = BinaryPlist::Open(bytes);
        ASSERT_TRUE(plist);
        EXPECT_EQ(plist->ObjectAt(damaged).kind, PlistKind::Unreadable);
        std::string_view text;
        EXPECT_FALSE(plist->KeyAt(damaged, text));
        EXPECT_EQ(plist->ObjectAt(sound).kind, PlistKind::Ascii);
    }

    // Offsets that point into the header or the offset table; references past the table.
    BinaryPlistBuilder builder;
    builder.Ascii("a");
    builder.Ascii("b");
    std::string bytes = builder.Build(0);
    const std::size_t table = bytes.size() - 32 - 8;
    std::string offset;
    AppendBigEndian(offset, 3, 4);
    bytes.replace(table, 4, offset);
    offset.clear();
    AppendBigEndian(offset, table, 4);
    bytes.replace(table + 4, 4, offset);
    const std::optional<BinaryPlist> plist = BinaryPlist::Open(bytes);
    ASSERT_TRUE(plist);
    std::string_view text;
    for (const std::uint64_t ref : {0, 1, 2}) {
        EXPECT_EQ(plist->ObjectAt(ref).kind, PlistKind::Unreadable) << ref;
        EXPECT_FALSE(plist->KeyAt(ref, text)) << ref;
    }
}

TEST(BinaryPlist, TrailersThatPointPastTheDataAreRefused) {
    const std::string archive = samplegen::EncodeMbFile({1, 2, 3, 4, 5, "a"});
    ASSERT_TRUE(BinaryPlist::Open(archive));
    const std::size_t trailer = archive.size() - 32;
    const auto patched = [&](std::size_t at, std::uint64_t value, std::size_t bytes) {
        std::string out = archive;
        for (std::size_t i = 0; i < bytes; ++i) {
            out[at + i] = static_cast<char>((value >> (8 * (bytes - 1 - i))) & 0xFF);
        }
        return out;
    };
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 6, 3, 1)));             // offset size
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 7, 0, 1)));             // reference size
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 8, 1ULL << 61, 8)));    // object count
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 16, 1000, 8)));         // top object
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 24, ~0ULL - 4, 8)));    // table offset
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 24, trailer - 1, 8)));  // table in trailer
    EXPECT_FALSE(BinaryPlist::Open(patched(trailer + 24, 7, 8)));            // table in header
    EXPECT_FALSE(BinaryPlist::Open(patched(0, 0x41, 1)));                    // no "bplist00"
    EXPECT_FALSE(BinaryPlist::Open(archive.substr(0, 40)));
}

}  // namespace
}  // namespace pixhaven::backup
