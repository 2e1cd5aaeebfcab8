// Binary property lists built byte by byte, sound and hostile, through the checked conversion to
// XML text.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "backup/discovery.h"
#include "backup/plistdoc.h"
#include "tests/support/binaryplist_builder.h"

namespace pixhaven::backup {
namespace {

using test::AppendBigEndian;
using test::BinaryPlistBuilder;

// The property list of a one-entry info.plist.
std::string DeviceNameList() {
    BinaryPlistBuilder builder;
    const std::uint64_t key = builder.Ascii("Device Name");
    const std::uint64_t value = builder.Ascii("Kitchen Phone");
    return builder.Build(builder.Dict({{key, value}}));
}

// Arrays nested `depth` deep, the innermost holding one string.
std::string NestedArrays(std::size_t depth) {
    BinaryPlistBuilder builder;
    std::uint64_t inner = builder.Ascii("core");
    for (std::size_t level = 1; level < depth; ++level) {
        inner = builder.Array({inner});
    }
    return builder.Build(inner);
}

// Trailer fields, counted back from the end of the file.
constexpr std::size_t kRefSizeAt = 32 - 7;
constexpr std::size_t kObjectCountAt = 32 - 8;
constexpr std::size_t kTopObjectAt = 32 - 16;
constexpr std::size_t kTableOffsetAt = 32 - 24;

void Patch(std::string& bytes, std::size_t fromEnd, std::uint64_t value, int width) {
    std::string encoded;
    AppendBigEndian(encoded, value, width);
    bytes.replace(bytes.size() - fromEnd, encoded.size(), encoded);
}

TEST(BinaryPlist, ConvertsASoundListToXml) {
    const std::string xml = BinaryPlistToXml(DeviceNameList());
    EXPECT_NE(xml.find("<key>Device Name</key>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<string>Kitchen Phone</string>"), std::string::npos) << xml;
    EXPECT_TRUE(BinaryPlistToXml("bplist0").empty());
    EXPECT_TRUE(BinaryPlistToXml("<plist/>").empty());
}

TEST(BinaryPlist, NestingIsAcceptedUpToTheLimitAndRefusedPastIt) {
    EXPECT_FALSE(BinaryPlistToXml(NestedArrays(kMaxPlistNesting)).empty());
    EXPECT_TRUE(BinaryPlistToXml(NestedArrays(kMaxPlistNesting + 1)).empty());
}

TEST(BinaryPlist, HundredThousandNestedArraysAreRefusedWithoutRecursing) {
    const std::string deep = NestedArrays(100'000);
    EXPECT_FALSE(IsSafeBinaryPlist(deep));
    BackupInfo info;
    EXPECT_EQ(ReadBackupInfoBytes(info, deep), kInfoUnreadable);
}

TEST(BinaryPlist, SharedReferencesCountOncePerUse) {
    // Each level references the one below twice: 2^40 objects once expanded.
    BinaryPlistBuilder bomb;
    std::uint64_t level = bomb.Ascii("x");
    for (int i = 0; i < 40; ++i) {
        level = bomb.Array({level, level});
    }
    EXPECT_FALSE(IsSafeBinaryPlist(bomb.Build(level)));

    // Sharing that stays small is fine, and the deepest path counts for the depth limit even
    // when the shared object was first met higher up.
    BinaryPlistBuilder shared;
    const std::uint64_t text = shared.Ascii("same");
    EXPECT_TRUE(IsSafeBinaryPlist(shared.Build(shared.Array({text, text, text}))));

    // The array itself counts: limit - 1 references expand to exactly the limit.
    BinaryPlistBuilder atLimit;
    const std::uint64_t one = atLimit.Ascii("one");
    const std::vector<std::uint64_t> refs(kMaxPlistNodes - 1, one);
    EXPECT_TRUE(IsSafeBinaryPlist(atLimit.Build(atLimit.Array(refs))));
    BinaryPlistBuilder pastLimit;
    pastLimit.Ascii("one");
    EXPECT_FALSE(IsSafeBinaryPlist(
        pastLimit.Build(pastLimit.Array(std::vector<std::uint64_t>(kMaxPlistNodes, one)))));

    BinaryPlistBuilder deepShare;
    std::uint64_t chain = deepShare.Ascii("leaf");
    for (std::size_t i = 1; i < kMaxPlistNesting - 1; ++i) {
        chain = deepShare.Array({chain});
    }
    const std::uint64_t top = deepShare.Array({chain, deepShare.Array({chain})});
    EXPECT_FALSE(IsSafeBinaryPlist(deepShare.Build(top)));
}

TEST(BinaryPlist, CyclesAreRefused) {
    BinaryPlistBuilder self;
    self.Raw(std::string("\xA1\x00\x00\x00\x00", 5));  // an array holding itself
    EXPECT_FALSE(IsSafeBinaryPlist(self.Build(0)));

    BinaryPlistBuilder loop;
    loop.Raw(std::string("\xA1\x00\x00\x00\x01", 5));
    loop.Raw(std::string("\xA1\x00\x00\x00\x00", 5));
    EXPECT_FALSE(IsSafeBinaryPlist(loop.Build(0)));
}

TEST(BinaryPlist, DamagedStructuresAreRefused) {
    const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
        {"reference past the objects", [](std::string& b) { b[b.find("\xD1") + 4] = '\x09'; }},
        {"no objects", [](std::string& b) { Patch(b, kObjectCountAt, 0, 8); }},
        {"huge object count", [](std::string& b) { Patch(b, kObjectCountAt, ~0ull, 8); }},
        {"top object past the end", [](std::string& b) { Patch(b, kTopObjectAt, 3, 8); }},
        {"offset table past the end",
         [](std::string& b) { Patch(b, kTableOffsetAt, b.size() - 20, 8); }},
        {"offset table at a huge offset",
         [](std::string& b) { Patch(b, kTableOffsetAt, ~0ull, 8); }},
        {"three-byte references", [](std::string& b) { Patch(b, kRefSizeAt, 3, 1); }},
        {"object inside the header", [](std::string& b) { b[b.size() - 32 - 12 + 3] = '\x02'; }},
        {"string longer than the file",
         [](std::string& b) {
             b[8] = '\x5F';  // the count follows as an 8-byte integer: "vice Nam"
             b[9] = '\x13';
         }},
        {"unknown object kind", [](std::string& b) { b[20] = '\x7D'; }},
        {"extended count that is no integer",
         [](std::string& b) { b.replace(b.find("\xD1"), 1, "\xDF"); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        std::string bytes = DeviceNameList();
        damage(bytes);
        EXPECT_FALSE(IsSafeBinaryPlist(bytes));
        EXPECT_TRUE(BinaryPlistToXml(bytes).empty());
    }
}

TEST(BinaryPlist, DictionaryKeysMustBeStrings) {
    BinaryPlistBuilder builder;
    const std::uint64_t key = builder.Array({});
    const std::uint64_t value = builder.Ascii("v");
    EXPECT_FALSE(IsSafeBinaryPlist(builder.Build(builder.Dict({{key, value}}))));
}

TEST(BinaryPlist, EveryTruncationIsRefusedAndEveryByteFlipIsSurvived) {
    const std::string sound = DeviceNameList();
    for (std::size_t length = 0; length < sound.size(); ++length) {
        EXPECT_TRUE(BinaryPlistToXml(sound.substr(0, length)).empty()) << length;
    }
    for (std::size_t at = 8; at < sound.size(); ++at) {
        for (const int flip : {0x01, 0x0F, 0x80, 0xFF}) {
            std::string bytes = sound;
            bytes[at] = static_cast<char>(static_cast<unsigned char>(bytes[at]) ^ flip);
            BackupInfo info;
            const int result = ReadBackupInfoBytes(info, bytes);
            EXPECT_TRUE(result == kInfoRead || result == kInfoUnreadable ||
                        result == kInfoNotPlist);
        }
    }
}

}  // namespace
}  // namespace pixhaven::backup
