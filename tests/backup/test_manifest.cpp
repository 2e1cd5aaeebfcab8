// Manifest.mbdb reading on manifests written by the sample generator's writer.
#include "backup/manifest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "backup/sha1.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/mbdb_writer.h"

namespace pixhaven::backup {
namespace {

using samplegen::MbdbEntry;

MbdbEntry Photo(std::string path) {
    MbdbEntry entry;
    entry.domain = "CameraRollDomain";
    entry.path = std::move(path);
    entry.dataHash = std::string("\x01\xab\xff\x00", 4);
    entry.size = 123456;
    entry.modified = 1341425109;
    entry.created = 1341425000;
    entry.accessed = 1341425200;
    return entry;
}

std::optional<Manifest> Parse(const std::vector<MbdbEntry>& entries) {
    return ParseManifest(samplegen::EncodeMbdb(entries));
}

std::string Sha1Of(std::string_view text) {
    return Sha1Hex(text.data(), text.size());
}

TEST(ManifestRead, RefusesFilesWithoutRecords) {
    EXPECT_FALSE(ParseManifest(""));
    EXPECT_FALSE(ParseManifest("mbd"));
    EXPECT_FALSE(ParseManifest(samplegen::MbdbHeader()));  // exactly 6 bytes: no record
    std::string wrongMagic = samplegen::EncodeMbdb({Photo("Media/DCIM/100APPLE/IMG_0001.JPG")});
    wrongMagic[0] = 'M';
    EXPECT_FALSE(ParseManifest(wrongMagic));

    test::TempDir dir;
    EXPECT_FALSE(ReadManifest(dir / "missing.mbdb"));
    EXPECT_FALSE(ReadManifest(dir.path()));  // a folder
}

TEST(ManifestRead, AcceptsAnyVersionBytes) {
    for (auto [major, minor] : {std::pair{5, 0}, std::pair{0, 0}, std::pair{0xFF, 0xFF}}) {
        std::string bytes = samplegen::MbdbHeader(static_cast<std::uint8_t>(major),
                                                  static_cast<std::uint8_t>(minor));
        samplegen::AppendMbdbRecord(bytes, Photo("a.jpg"));
        const auto manifest = ParseManifest(bytes);
        ASSERT_TRUE(manifest);
        EXPECT_EQ(manifest->size(), 1u);
    }
}

TEST(ManifestRead, KeepsEveryFieldOfARecord) {
    MbdbEntry entry = Photo("Media/DCIM/100APPLE/IMG_0001.JPG");
    entry.linkTarget = "";
    entry.encryptionKey = std::string("\x00\x01key", 5);
    entry.mode = 0100644;
    entry.inode = 0x0000000700000009ULL;
    entry.userId = 501;
    entry.groupId = 20;
    entry.size = 0x100000005ULL;  // 4 GiB + 5: only the low 32 bits are kept
    entry.protectionClass = 4;
    const auto manifest = Parse({entry});
    ASSERT_TRUE(manifest);
    const ManifestRecord& record = (*manifest)[0];
    EXPECT_EQ(record.Domain(), "CameraRollDomain");
    EXPECT_EQ(record.Path(), "Media/DCIM/100APPLE/IMG_0001.JPG");
    EXPECT_EQ(record.LinkTarget(), "");  // present and empty, not absent
    EXPECT_EQ(record.DataHash(), "01abff00");
    EXPECT_EQ(record.EncryptionKey(), std::string_view("\x00\x01key", 5));
    EXPECT_EQ(record.mode, 0100644);
    EXPECT_EQ(record.inodeHigh, 7u);
    EXPECT_EQ(record.inodeLow, 9u);
    EXPECT_EQ(record.userId, 501u);
    EXPECT_EQ(record.groupId, 20u);
    EXPECT_EQ(record.modified, 1341425109u);
    EXPECT_EQ(record.accessed, 1341425200u);
    EXPECT_EQ(record.created, 1341425000u);
    EXPECT_EQ(record.size, 5u);
    EXPECT_EQ(record.protectionClass, 4);
    EXPECT_EQ(record.propertyCount, 0);
    EXPECT_EQ(record.StoredName(), Sha1Of("CameraRollDomain-Media/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(record.StoredFile("/b"), std::filesystem::path("/b") / record.StoredName());
}

TEST(ManifestRead, StoredNamesFollowDomainDashPath) {
    MbdbEntry noDomain = Photo("x");
    noDomain.domain.reset();
    MbdbEntry noPath = Photo("");
    noPath.path.reset();
    MbdbEntry emptyPath = Photo("");
    const std::string longPath(700, 'p');  // past any fixed buffer: the whole text counts
    const auto manifest = Parse({noDomain, noPath, emptyPath, Photo(longPath)});
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->size(), 4u);
    EXPECT_FALSE((*manifest)[0].Domain());
    EXPECT_EQ((*manifest)[0].StoredName(), Sha1Of("(null)-x"));
    EXPECT_FALSE((*manifest)[1].Path());
    EXPECT_EQ((*manifest)[1].StoredName(), Sha1Of("CameraRollDomain-(null)"));
    EXPECT_EQ((*manifest)[2].StoredName(), Sha1Of("CameraRollDomain-"));
    EXPECT_EQ((*manifest)[3].StoredName(), Sha1Of("CameraRollDomain-" + longPath));
    EXPECT_EQ(MakeStoredName(std::nullopt, std::nullopt), Sha1Of("(null)-(null)"));
    // A known real name, so the rule is not only checked against itself.
    EXPECT_EQ(MakeStoredName("HomeDomain", "Library/SMS/sms.db"),
              "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
}

TEST(ManifestRead, PropertiesAreConsumedInFull) {
    MbdbEntry first = Photo("first");
    first.properties = {{"a", "1"}, {std::nullopt, "2"}, {"c", std::nullopt}};
    const auto manifest = Parse({first, Photo("second")});
    ASSERT_TRUE(manifest);
    ASSERT_EQ(manifest->size(), 2u);
    EXPECT_EQ((*manifest)[0].propertyCount, 3);
    EXPECT_EQ((*manifest)[1].Path(), "second");
}

TEST(ManifestRead, EveryTruncationKeepsTheCompleteRecordsBeforeIt) {
    MbdbEntry withProperties = Photo("b");
    withProperties.properties = {{"name", "value"}};
    const std::vector<MbdbEntry> entries = {Photo("a"), withProperties, Photo("c")};
    const std::string bytes = samplegen::EncodeMbdb(entries);
    std::vector<std::size_t> recordEnds;
    std::string prefix = samplegen::MbdbHeader();
    for (const MbdbEntry& entry : entries) {
        samplegen::AppendMbdbRecord(prefix, entry);
        recordEnds.push_back(prefix.size());
    }
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        std::size_t complete = 0;
        while (complete < recordEnds.size() && recordEnds[complete] <= length) {
            ++complete;
        }
        const auto manifest = ParseManifest(std::string_view(bytes).substr(0, length));
        ASSERT_EQ(manifest ? manifest->size() : 0u, complete) << "length " << length;
        if (manifest) {
            EXPECT_EQ(manifest->Records().back().Path(), entries[complete - 1].path);
        }
    }
}

TEST(ManifestRead, TimeTextsAreLocalAndEmptyForZero) {
    const char* oldZone = std::getenv("TZ");
    const std::string saved = oldZone != nullptr ? oldZone : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    MbdbEntry entry = Photo("a");
    entry.accessed = 0;
    const auto manifest = Parse({entry});
    ASSERT_TRUE(manifest);
    EXPECT_EQ((*manifest)[0].ModifiedText(), "07-04-2012 14:05:09");
    EXPECT_EQ((*manifest)[0].CreatedText(), "07-04-2012 14:03:20");
    EXPECT_EQ((*manifest)[0].AccessedText(), "");
    EXPECT_EQ(FormatRecordTime(1341425109), "07-04-2012 14:05:09");
    EXPECT_EQ(FormatRecordTime(0), "");
    if (oldZone != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(ManifestRead, ReadsAFileFromDisk) {
    test::TempDir dir;
    samplegen::WriteMbdb(dir / "Manifest.mbdb", {Photo("a"), Photo("b")});
    auto manifest = ReadManifest(dir / "Manifest.mbdb");
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->size(), 2u);
    // Records stay valid when the manifest that owns their bytes is moved.
    const Manifest moved = std::move(*manifest);
    EXPECT_EQ(moved[1].Path(), "b");
}

}  // namespace
}  // namespace pixhaven::backup
