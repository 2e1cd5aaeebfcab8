// Reading info.plist files, XML and binary, sound and hostile, and listing a backup root.
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "backup/discovery.h"
#include "platform/textcodec.h"
#include "tests/support/tempdir.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

std::string PlistXml(std::string_view dictBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           std::string(dictBody) + "</dict>\n</plist>\n";
}

const std::string kFullDict =
    "<key>Build Version</key><string>10B329</string>\n"
    "<key>Device Name</key><string>Jürgen’s iPhone</string>\n"
    "<key>GUID</key><string>0A1B2C3D4E5F60718293A4B5C6D7E8F9</string>\n"
    "<key>ICCID</key><string>89014104212345678901</string>\n"
    "<key>IMEI</key><string>013033001234567</string>\n"
    "<key>Last Backup Date</key><date>2013-05-02T10:20:30Z</date>\n"
    "<key>MEID</key><string>A0000012345678</string>\n"
    "<key>Phone Number</key><string>+1 (555) 010-0199</string>\n"
    "<key>Product Type</key><string>iPhone5,2</string>\n"
    "<key>Product Version</key><string>6.1.3</string>\n"
    "<key>Serial Number</key><string>C39JT1ABDTWD</string>\n"
    "<key>Target Identifier</key><string>4f1e0b8c2d</string>\n"
    "<key>Target Type</key><string>Device</string>\n"
    "<key>iTunes Version</key><integer>11</integer>\n"
    "<key>iTunes Settings</key><dict><key>Device Name</key><string>inner</string></dict>\n";

std::string ToBinary(const std::string& xml) {
    plist_t tree = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &tree);
    EXPECT_NE(tree, nullptr);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(tree, &bytes, &length);
    std::string binary(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(tree);
    return binary;
}

BackupInfo ReadText(std::string_view bytes, int expected) {
    BackupInfo info;
    EXPECT_EQ(ReadBackupInfoBytes(info, bytes), expected) << bytes;
    EXPECT_EQ(info.readResult, expected);
    return info;
}

void ExpectSameFacts(const BackupInfo& a, const BackupInfo& b) {
    EXPECT_EQ(a.buildVersion, b.buildVersion);
    EXPECT_EQ(a.deviceName, b.deviceName);
    EXPECT_EQ(a.guid, b.guid);
    EXPECT_EQ(a.iccid, b.iccid);
    EXPECT_EQ(a.imei, b.imei);
    EXPECT_EQ(a.lastBackupDate, b.lastBackupDate);
    EXPECT_EQ(a.meid, b.meid);
    EXPECT_EQ(a.phoneNumber, b.phoneNumber);
    EXPECT_EQ(a.productType, b.productType);
    EXPECT_EQ(a.productVersion, b.productVersion);
    EXPECT_EQ(a.serialNumber, b.serialNumber);
    EXPECT_EQ(a.targetIdentifier, b.targetIdentifier);
    EXPECT_EQ(a.targetType, b.targetType);
    EXPECT_EQ(a.itunesVersion, b.itunesVersion);
    EXPECT_EQ(a.readResult, b.readResult);
}

TEST(ReadBackupInfo, ReadsEveryFieldAsTextWhateverTheValueKind) {
    const BackupInfo info = ReadText(PlistXml(kFullDict), kInfoRead);
    EXPECT_EQ(info.buildVersion, u"10B329");
    EXPECT_EQ(info.deviceName, u"Jürgen’s iPhone");
    EXPECT_EQ(info.guid, u"0A1B2C3D4E5F60718293A4B5C6D7E8F9");
    EXPECT_EQ(info.iccid, u"89014104212345678901");
    EXPECT_EQ(info.imei, u"013033001234567");
    EXPECT_EQ(info.lastBackupDate, u"2013-05-02T10:20:30Z");
    EXPECT_EQ(info.meid, u"A0000012345678");
    EXPECT_EQ(info.phoneNumber, u"+1 (555) 010-0199");
    EXPECT_EQ(info.productType, u"iPhone5,2");
    EXPECT_EQ(info.productVersion, u"6.1.3");
    EXPECT_EQ(info.serialNumber, u"C39JT1ABDTWD");
    EXPECT_EQ(info.targetIdentifier, u"4f1e0b8c2d");
    EXPECT_EQ(info.targetType, u"Device");
    EXPECT_EQ(info.itunesVersion, u"11");
}

TEST(ReadBackupInfo, BinaryFormGivesTheSameFactsAsXml) {
    const std::string xml = PlistXml(kFullDict);
    const BackupInfo fromXml = ReadText(xml, kInfoRead);
    const BackupInfo fromBinary = ReadText(ToBinary(xml), kInfoRead);
    ExpectSameFacts(fromXml, fromBinary);
}

TEST(ReadBackupInfo, ResultsFollowTheDocumentShape) {
    const std::pair<const char*, int> cases[] = {
        {"<plist><dict/></plist>", kInfoRead},
        {"<PLIST><DICT></DICT></PLIST>", kInfoRead},
        {"<?xml version=\"1.0\"?><!-- c --><plist><dict/></plist>", kInfoRead},
        {"<Plist><dict/></Plist>", kInfoNotPlist},
        {"<plist><Dict/></plist>", kInfoNotPlist},
        {"<plist><array/><dict/></plist>", kInfoNotPlist},
        {"<other/><plist><dict/></plist>", kInfoNotPlist},
        {"<!-- nothing else -->", kInfoNotPlist},
        {"<plist/>", kInfoUnreadable},
        {"<plist>just text</plist>", kInfoUnreadable},
        {"<plist><dict></plist>", kInfoUnreadable},
        {"", kInfoUnreadable},
        {"   \n", kInfoUnreadable},
        {"bplist00", kInfoUnreadable},
    };
    for (const auto& [text, expected] : cases) {
        ReadText(text, expected);
    }
}

TEST(ReadBackupInfo, DictionaryWalkTakesTheElementAfterAKnownKey) {
    const struct {
        const char* body;
        std::u16string deviceName;
        std::u16string serialNumber;
    } cases[] = {
        // An unknown key's value is passed over as an ordinary element; names are case-sensitive.
        {"<key>Other</key><string>x</string>"
         "<key>device name</key><string>lower</string>"
         "<KEY>Serial Number</KEY><anything>S1</anything>"
         "<key>Device Name</key><string>first</string>"
         "<key>Device Name</key><string>second</string>"
         "<key>Product Type</key>",
         u"second", u"S1"},
        // A key used as a value is consumed; an empty key and an empty value set nothing.
        {"<key>Device Name</key><key>Serial Number</key><string>X</string>"
         "<key></key><string>y</string>"
         "<key>Product Version</key><string/>"
         "<key>Target Type</key><true/>",
         u"Serial Number", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        BackupInfo expected;
        expected.deviceName = c.deviceName;
        expected.serialNumber = c.serialNumber;
        ExpectSameFacts(ReadText(PlistXml(c.body), kInfoRead), expected);
    }
}

TEST(ReadBackupInfo, InvalidUtf8BecomesReplacementCharacters) {
    const BackupInfo info = ReadText(PlistXml("<key>Device Name</key><string>A\xFF"
                                              "B</string>"),
                                     kInfoRead);
    EXPECT_EQ(info.deviceName, u"A\uFFFDB");
}

TEST(ReadBackupInfo, DeepXmlIsRefusedWithoutOverflowingTheStack) {
    std::string deep = "<plist><dict><key>Device Name</key>";
    for (int i = 0; i < 100'000; ++i) {
        deep += "<a>";
    }
    ReadText(deep, kInfoUnreadable);
}

TEST(ReadBackupInfo, RandomBytesNeverReadAsAPlist) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 512), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() & 0xFF);
        }
        if (round % 2 == 0) {
            bytes.replace(0, std::min<std::size_t>(8, bytes.size()), "bplist00");
        }
        BackupInfo info;
        const int result = ReadBackupInfoBytes(info, bytes);
        EXPECT_TRUE(result == kInfoUnreadable || result == kInfoNotPlist) << result;
    }
}

TEST(ReadBackupInfo, FilesThatCannotBeReadGiveTheirResult) {
    TempDir dir;
    BackupInfo info;
    EXPECT_EQ(ReadBackupInfo(info, dir / "missing.plist"), kInfoNotOpened);

    fs::create_directory(dir / "folder.plist");
    EXPECT_EQ(ReadBackupInfo(info, dir / "folder.plist"), kInfoNotOpened);

    WriteFile(dir / "empty.plist", "");
    EXPECT_EQ(ReadBackupInfo(info, dir / "empty.plist"), kInfoUnreadable);

    // A sparse file: its size is refused before anything is read.
    std::ofstream(dir / "huge.plist").put('<');
    fs::resize_file(dir / "huge.plist", std::uintmax_t{2} << 30);
    EXPECT_EQ(ReadBackupInfo(info, dir / "huge.plist"), kInfoUnreadable);

    // Opening a pipe for reading would wait for a writer forever.
    ASSERT_TRUE(test::MakeFifo(dir / "pipe.plist"));
    EXPECT_EQ(ReadBackupInfo(info, dir / "pipe.plist"), kInfoNotOpened);
}

TEST(ReadBackupInfo, AFailedReadLeavesNoFactsOfAnEarlierOne) {
    TempDir dir;
    WriteFile(dir / "good.plist", PlistXml(kFullDict));
    WriteFile(dir / "bad.plist", "<plist><dict>");
    BackupInfo info;
    info.folderName = u"abc";
    ASSERT_EQ(ReadBackupInfo(info, dir / "good.plist"), kInfoRead);
    EXPECT_EQ(ReadBackupInfo(info, dir / "bad.plist"), kInfoUnreadable);
    EXPECT_EQ(info.deviceName, u"");
    EXPECT_EQ(info.folderName, u"abc");
    EXPECT_EQ(ReadBackupInfo(info, dir / "none.plist"), kInfoNotOpened);
    EXPECT_EQ(info.readResult, kInfoNotOpened);
}

TEST(ListBackups, MakesOneRowPerFolderInNameOrder) {
    TempDir root;
    const std::string xml = PlistXml("<key>Device Name</key><string>Phone A</string>");
    WriteFile(root / "aaa" / "info.plist", xml);
    WriteFile(root / "bbb" / "INFO.PLIST", ToBinary(xml));
    fs::create_directories(root / "ccc");
    WriteFile(root / "ccc" / "Manifest.mbdb", "mbdb");
    fs::create_directories(root / "ddd" / "info.plist");
    WriteFile(root / "eee" / "info.plist", "not a property list");
    WriteFile(root / "stray-file", "x");

    const std::vector<BackupRow> rows = ListBackups(root.path());
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].folderName, "aaa");
    ASSERT_TRUE(rows[0].info);
    EXPECT_EQ(rows[0].info->folderName, u"aaa");
    EXPECT_EQ(rows[0].info->deviceName, u"Phone A");
    ASSERT_TRUE(rows[1].info);
    EXPECT_EQ(rows[1].info->deviceName, u"Phone A");
    EXPECT_FALSE(rows[2].info);
    ASSERT_TRUE(rows[3].info);
    EXPECT_EQ(rows[3].info->readResult, kInfoNotOpened);
    ASSERT_TRUE(rows[4].info);
    EXPECT_NE(rows[4].info->readResult, kInfoRead);
}

TEST(ListBackups, SnapshotFoldersAndNewerDeviceIdsAreBackupsLikeAnyOther) {
    TempDir root;
    const std::string xml = PlistXml("<key>Device Name</key><string>Phone B</string>");
    const std::string newerId = "00008030-001A2B3C4D5E6F78";
    const std::string olderId = "0123456789abcdef0123456789abcdef01234567";
    WriteFile(root / newerId / "Info.plist", ToBinary(xml));
    WriteFile(root / (newerId + "-20240315-101530") / "Info.plist", ToBinary(xml));
    WriteFile(root / (olderId + "-20131102-235959") / "info.plist", xml);
    WriteFile(root / olderId / "Manifest.db", "SQLite format 3");  // no info.plist

    const std::vector<BackupRow> rows = ListBackups(root.path());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].folderName, newerId);
    EXPECT_EQ(rows[1].folderName, newerId + "-20240315-101530");
    EXPECT_EQ(rows[2].folderName, olderId);
    EXPECT_EQ(rows[3].folderName, olderId + "-20131102-235959");
    for (const std::size_t i : {0u, 1u, 3u}) {
        ASSERT_TRUE(rows[i].info) << i;
        EXPECT_EQ(rows[i].info->deviceName, u"Phone B");
        EXPECT_EQ(rows[i].info->folderName, platform::PathToUtf16(rows[i].folderName));
    }
    EXPECT_FALSE(rows[2].info);
}

TEST(BackupRoots, TheFirstPlaceThatIsAFolderIsChosen) {
    TempDir dir;
    fs::create_directories(dir / "profile" / "Backup");
    WriteFile(dir / "file", "x");
    const fs::path usual = dir / "appdata" / "Backup";
    const fs::path profile = dir / "profile" / "Backup";
    EXPECT_EQ(ChooseBackupRoot({usual, profile}), profile) << "the usual place is missing";
    EXPECT_EQ(ChooseBackupRoot({dir / "file", profile}), profile) << "a file is no root";
    fs::create_directories(usual);
    EXPECT_EQ(ChooseBackupRoot({usual, profile}), usual);
    EXPECT_EQ(ChooseBackupRoot({dir / "none", dir / "other"}), dir / "none")
        << "the usual place names the root even when it is missing";
    EXPECT_EQ(ChooseBackupRoot({}), fs::path());
}

TEST(BackupRoots, EveryPlaceFoundIsAbsoluteAndFindBackupRootIsOneOfThem) {
    const std::vector<fs::path> roots = FindBackupRoots();
    for (const fs::path& root : roots) {
        EXPECT_TRUE(root.is_absolute()) << root;
        EXPECT_EQ(root.filename(), "Backup");
    }
    EXPECT_EQ(FindBackupRoot(), ChooseBackupRoot(roots));
}

TEST(ListBackups, NothingForARootThatIsNoFolder) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_TRUE(ListBackups(dir / "file").empty());
    EXPECT_TRUE(ListBackups(dir / "missing").empty());
    EXPECT_TRUE(ListBackups(fs::path()).empty());
}

TEST(ListBackups, FolderNamesThatAreNotUtf8StillMakeRows) {
    TempDir root;
    WriteFile(root / "bad\xFFname" / "info.plist", PlistXml(""));
    const std::vector<BackupRow> rows = ListBackups(root.path());
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_TRUE(rows[0].info);
    EXPECT_EQ(rows[0].info->folderName, u"bad\uFFFDname");
}

}  // namespace
}  // namespace pixhaven::backup
