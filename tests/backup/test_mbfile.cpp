// Archived MBFile property lists: our own writer's, libplist's from XML descriptions, and damaged
// or hostile ones.
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/mbfile.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::backup {
namespace {

using samplegen::EncodeMbFile;
using samplegen::MbFileFields;

// The UID a {CF$UID: n} dictionary stands for in XML text.
std::optional<std::uint64_t> UidOfXmlDict(plist_t node) {
    plist_t value = plist_get_node_type(node) == PLIST_DICT && plist_dict_get_size(node) == 1
                        ? plist_dict_get_item(node, "CF$UID")
                        : nullptr;
    if (value == nullptr || plist_get_node_type(value) != PLIST_UINT) {
        return std::nullopt;
    }
    std::uint64_t uid = 0;
    plist_get_uint_val(value, &uid);
    return uid;
}

// This libplist keeps {CF$UID: n} from XML as dictionaries; binary lists hold real UIDs.
void ReplaceXmlUids(plist_t node) {
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i) {
            plist_t item = plist_array_get_item(node, i);
            if (const auto uid = UidOfXmlDict(item)) {
                plist_array_set_item(node, plist_new_uid(*uid), i);
            } else {
                ReplaceXmlUids(item);
            }
        }
    } else if (plist_get_node_type(node) == PLIST_DICT) {
        std::vector<std::string> keys;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char* key = nullptr;
            plist_dict_next_item(node, iter, &key, nullptr);
            if (key == nullptr) {
                break;
            }
            keys.emplace_back(key);
            std::free(key);  // NOLINT: libplist hands out malloc memory
        }
        std::free(iter);  // NOLINT: as above
        for (const std::string& key : keys) {
            plist_t item = plist_dict_get_item(node, key.c_str());
            if (const auto uid = UidOfXmlDict(item)) {
                plist_dict_set_item(node, key.c_str(), plist_new_uid(*uid));
            } else {
                ReplaceXmlUids(item);
            }
        }
    }
}

// A binary property list written by libplist from XML text; CF$UID dictionaries become UIDs.
std::string BinaryFromXml(const std::string& xml) {
    plist_t node = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &node);
    EXPECT_NE(node, nullptr) << xml;
    ReplaceXmlUids(node);
    const std::unique_ptr<void, decltype(&plist_free)> owner(node, &plist_free);
    char* bin = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bin, &length);
    std::string out(bin, length);
    plist_to_bin_free(bin);
    return out;
}

std::string Uid(int index) {
    return "<dict><key>CF$UID</key><integer>" + std::to_string(index) + "</integer></dict>";
}

// A keyed archive: `objects` are the XML of $objects after "$null"; `top` the $top dictionary's
// content; `archiver` the $archiver value.
std::string Archive(const std::string& objects, const std::string& top = "<key>root</key>" + Uid(1),
                    const std::string& archiver = "NSKeyedArchiver") {
    return BinaryFromXml(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>$version</key><integer>100000</integer>"
        "<key>$archiver</key><string>" +
        archiver + "</string><key>$top</key><dict>" + top +
        "</dict><key>$objects</key><array><string>$null</string>" + objects +
        "</array></dict></plist>");
}

// The MBFile dictionary at $objects[1] with the given entries, its class at $objects[2].
std::string MbFileArchive(const std::string& entries, const std::string& extraObjects = "") {
    return Archive("<dict>" + entries + "<key>$class</key>" + Uid(2) +
                   "</dict><dict><key>$classname</key><string>MBFile</string>"
                   "<key>$classes</key><array><string>MBFile</string><string>NSObject</string>"
                   "</array></dict>" +
                   extraObjects);
}

void ExpectFacts(const std::optional<MbFileFacts>& facts, std::uint64_t size,
                 std::uint32_t modified, std::uint32_t accessed, std::uint32_t created,
                 std::uint16_t mode) {
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->size, size);
    EXPECT_EQ(facts->modified, modified);
    EXPECT_EQ(facts->accessed, accessed);
    EXPECT_EQ(facts->created, created);
    EXPECT_EQ(facts->mode, mode);
}

TEST(MbFile, OwnArchivesRoundTripInOrderAndShuffled) {
    const std::vector<std::uint64_t> sizes{0,
                                           1,
                                           255,
                                           256,
                                           65535,
                                           65536,
                                           0xFFFFFFFFULL,
                                           0x100000000ULL,
                                           1ULL << 62,
                                           1ULL << 63,
                                           std::numeric_limits<std::uint64_t>::max()};
    const std::vector<std::uint32_t> times{0, 1, 200, 70000, 0x7FFFFFFF, 0xFFFFFFFF};
    const std::vector<std::uint16_t> modes{0, 0100644, 040755, 0120755, 0xFFFF};
    for (const bool shuffle : {false, true}) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::uint32_t modified = times[i % times.size()];
            const std::uint32_t accessed = times[(i + 1) % times.size()];
            const std::uint32_t created = times[(i + 3) % times.size()];
            const std::uint16_t mode = modes[i % modes.size()];
            const MbFileFields fields{
                sizes[i], modified, accessed,
                created,  mode,     "Media/DCIM/100APPLE/IMG_000" + std::to_string(i) + ".JPG"};
            SCOPED_TRACE(testing::Message() << "case " << i << " shuffle " << shuffle);
            ExpectFacts(DecodeMbFile(EncodeMbFile(fields, shuffle)), sizes[i], modified, accessed,
                        created, mode);
        }
    }
}

TEST(MbFile, ShuffledArchiveIsAnotherValidListWithTheSameFacts) {
    const MbFileFields fields{1234,       1500000000, 1500000100,
                              1400000000, 0100644,    "Media/DCIM/100APPLE/Ünïcode ☃.HEIC"};
    const std::string plain = EncodeMbFile(fields);
    const std::string shuffled = EncodeMbFile(fields, true);
    EXPECT_NE(plain, shuffled);
    EXPECT_EQ(plain, EncodeMbFile(fields));  // deterministic
    for (const std::string* bytes : {&plain, &shuffled}) {
        plist_t node = nullptr;
        plist_from_bin(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &node);
        ASSERT_NE(node, nullptr);
        plist_t objects = plist_dict_get_item(node, "$objects");
        ASSERT_NE(objects, nullptr);
        EXPECT_EQ(plist_array_get_size(objects), 4U);
        char* first = nullptr;
        plist_get_string_val(plist_array_get_item(objects, 0), &first);
        EXPECT_STREQ(first, "$null");
        std::free(first);  // NOLINT: libplist hands out malloc memory
        const bool rootAtOne =
            plist_get_node_type(plist_array_get_item(objects, 1)) == PLIST_DICT &&
            plist_dict_get_item(plist_array_get_item(objects, 1), "Size");
        EXPECT_EQ(rootAtOne, bytes == &plain);
        plist_free(node);
        ExpectFacts(DecodeMbFile(*bytes), 1234, 1500000000, 1500000100, 1400000000, 0100644);
    }
}

TEST(MbFile, ReadsWhatLibplistWritesForARealMbFile) {
    const std::string archive = MbFileArchive(
        "<key>LastModified</key><integer>1609459200</integer>"
        "<key>Flags</key><integer>0</integer><key>GroupID</key><integer>501</integer>"
        "<key>LastStatusChange</key><integer>1609459300</integer>"
        "<key>Birth</key><integer>1609459100</integer>"
        "<key>Size</key><integer>3145728</integer>"
        "<key>InodeNumber</key><integer>123456</integer>"
        "<key>Mode</key><integer>33188</integer>"
        "<key>RelativePath</key>" +
            Uid(3) +
            "<key>UserID</key><integer>501</integer>"
            "<key>ProtectionClass</key><integer>3</integer>"
            "<key>EncryptionKey</key>" +
            Uid(4),
        "<string>Media/DCIM/100APPLE/IMG_0001.HEIC</string>"
        "<dict><key>NS.data</key><data>AAECAw==</data><key>$class</key>" +
            Uid(2) + "</dict>");
    ExpectFacts(DecodeMbFile(archive), 3145728, 1609459200, 1609459300, 1609459100, 33188);
}

TEST(MbFile, MissingKeysReadAsZero) {
    ExpectFacts(DecodeMbFile(MbFileArchive("<key>Size</key><integer>42</integer>")), 42, 0, 0, 0,
                0);
    ExpectFacts(DecodeMbFile(MbFileArchive("")), 0, 0, 0, 0, 0);
}

TEST(MbFile, OneBadValueReadsAsZeroAndKeepsTheRest) {
    const std::string archive =
        MbFileArchive("<key>Size</key>" + Uid(99) +                       // out of range
                          "<key>Mode</key>" + Uid(3) +                    // UID chain into a cycle
                          "<key>LastModified</key><integer>-5</integer>"  // negative
                          "<key>Birth</key><real>1500000000.75</real>"    // real: truncated
                          "<key>LastStatusChange</key><string>soon</string>",  // wrong kind
                      Uid(4) + Uid(3));
    ExpectFacts(DecodeMbFile(archive), 0, 0, 0, 1500000000, 0);

    ExpectFacts(DecodeMbFile(MbFileArchive("<key>Mode</key><integer>70000</integer>"
                                           "<key>LastModified</key><integer>4294967296</integer>"
                                           "<key>Birth</key><real>-1</real>"
                                           "<key>Size</key><real>12.0</real>"
                                           "<key>LastStatusChange</key>" +
                                               Uid(3),
                                           "<integer>77</integer>")),
                0, 0, 77, 0, 0);
}

TEST(MbFile, RefusesCyclicOrOutOfRangeRoot) {
    EXPECT_FALSE(DecodeMbFile(Archive(Uid(2) + Uid(1))));  // root → UID 2 → UID 1 → ...
    EXPECT_FALSE(DecodeMbFile(Archive(Uid(1))));           // root → itself
    EXPECT_FALSE(DecodeMbFile(Archive("<dict/>", "<key>root</key>" + Uid(7))));
    EXPECT_FALSE(DecodeMbFile(Archive("<string>not a dict</string>")));
}

TEST(MbFile, RefusesWrongArchiverOrTopKeys) {
    const std::string mbfile = "<dict><key>Size</key><integer>1</integer></dict>";
    ASSERT_TRUE(DecodeMbFile(Archive(mbfile)));
    EXPECT_FALSE(DecodeMbFile(Archive(mbfile, "<key>root</key>" + Uid(1), "NSArchiver")));
    EXPECT_FALSE(DecodeMbFile(Archive(mbfile, "<key>object</key>" + Uid(1))));
    EXPECT_FALSE(DecodeMbFile(Archive(mbfile, "<key>root</key><integer>1</integer>")));
    EXPECT_FALSE(DecodeMbFile(BinaryFromXml(
        "<plist version=\"1.0\"><array><string>NSKeyedArchiver</string></array></plist>")));
    EXPECT_FALSE(DecodeMbFile(BinaryFromXml(
        "<plist version=\"1.0\"><dict><key>$archiver</key><string>NSKeyedArchiver</string>"
        "<key>$top</key><dict><key>root</key>" +
        Uid(1) + "</dict><key>$objects</key><dict/></dict></plist>")));
    EXPECT_FALSE(DecodeMbFile(""));
    EXPECT_FALSE(DecodeMbFile("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"));
}

TEST(MbFile, DamagedArchivesNeverCrashAndAreNoneOrFacts) {
    const std::string archive =
        EncodeMbFile({987654, 1600000000, 1600000001, 1600000002, 0100600, "Library/SMS/sms.db"});
    ASSERT_TRUE(DecodeMbFile(archive));
    for (std::size_t length = 0; length < archive.size(); ++length) {
        // A cut archive loses its trailer; whatever is read must not pass the cut.
        const std::string cut = archive.substr(0, length);
        EXPECT_FALSE(DecodeMbFile(cut)) << length;
    }
    std::size_t decoded = 0;
    for (std::size_t position = 0; position < archive.size(); ++position) {
        for (const int value : {0x00, 0x0F, 0x7F, 0x80, 0xFF}) {
            std::string damaged = archive;
            damaged[position] = static_cast<char>(value);
            decoded += DecodeMbFile(damaged).has_value() ? 1 : 0;
        }
    }
    EXPECT_GT(decoded, 0U);
}

}  // namespace
}  // namespace pixhaven::backup
