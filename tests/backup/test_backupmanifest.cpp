// Which manifest a backup folder gives, encrypted backups told from damaged ones, and the scan
// leaving out records without content.
#include "backup/backupmanifest.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>

#include "backup/scan.h"
#include "tests/support/fake_observer.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::backup {
namespace {

const std::string kJpegBytes = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg body" + "\xFF\xD9";

std::string ManifestPlistXml(bool encrypted) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>Applications</key><dict><key>IsEncrypted</key><true/></dict>"
           "<key>IsEncrypted</key>" +
           std::string(encrypted ? "<true/>" : "<false/>") +
           "<key>Version</key><string>10.0</string></dict></plist>\n";
}

std::string ManifestPlistBinary(bool encrypted) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "IsEncrypted", plist_new_bool(encrypted ? 1 : 0));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    std::string out(bytes, length);
    std::free(bytes);
    plist_free(dict);
    return out;
}

samplegen::ManifestDbRow DbRow(const std::string& path, int flags, std::uint64_t size) {
    samplegen::MbFileFields fields{};
    fields.size = size;
    fields.mode = 0100644;
    fields.relativePath = path;
    return {MakeStoredName("CameraRollDomain", path), "CameraRollDomain", path, flags,
            samplegen::EncodeMbFile(fields)};
}

class BackupFolder : public testing::Test {
protected:
    void WriteDb(const std::vector<samplegen::ManifestDbRow>& rows,
                 const char* name = "Manifest.db") {
        samplegen::WriteManifestDb(dir / name, rows);
    }
    void WriteMbdb(const char* name = "Manifest.mbdb", const char* path = "Media/old.jpg") {
        samplegen::MbdbEntry entry;
        entry.domain = "MediaDomain";
        entry.path = path;
        samplegen::WriteMbdb(dir / name, {entry});
    }
    // Manifest.db as an encrypted backup keeps it: no SQLite header.
    void WriteEncryptedDb() { test::WriteFile(dir / "Manifest.db", std::string(8192, '\x5A')); }

    test::TempDir dir;
};

TEST_F(BackupFolder, ManifestDbIsReadWhenNoMbdbExists) {
    WriteDb({DbRow("Media/DCIM/100APPLE/IMG_0001.JPG", 1, 10)});
    const BackupManifest opened = OpenBackupManifest(dir.path());
    EXPECT_EQ(opened.problem, ManifestProblem::None);
    ASSERT_TRUE(opened.manifest);
    EXPECT_TRUE(opened.manifest->IsModern());
    EXPECT_EQ(opened.manifest->size(), 1u);
}

TEST_F(BackupFolder, MbdbWinsWhenBothExistEvenIfItIsDamaged) {
    WriteDb({DbRow("Media/DCIM/100APPLE/IMG_0001.JPG", 1, 10)});
    WriteMbdb();
    BackupManifest opened = OpenBackupManifest(dir.path());
    ASSERT_TRUE(opened.manifest);
    EXPECT_FALSE(opened.manifest->IsModern());
    EXPECT_EQ((*opened.manifest)[0].Path(), "Media/old.jpg");

    test::WriteFile(dir / "Manifest.mbdb", "mbdb");  // no complete record
    opened = OpenBackupManifest(dir.path());
    EXPECT_FALSE(opened.manifest);
    EXPECT_EQ(opened.problem, ManifestProblem::Unreadable);
}

// Backups copied from Windows file systems, which ignore case, may spell the names otherwise.
TEST_F(BackupFolder, ManifestNamesMatchWithoutRegardToCase) {
    WriteDb({DbRow("Media/DCIM/100APPLE/IMG_0001.JPG", 1, 10)}, "MANIFEST.DB");
    BackupManifest opened = OpenBackupManifest(dir.path());
    ASSERT_TRUE(opened.manifest);
    EXPECT_TRUE(opened.manifest->IsModern());

    WriteMbdb("manifest.MBDB", "Media/other.jpg");
    opened = OpenBackupManifest(dir.path());
    ASSERT_TRUE(opened.manifest);
    EXPECT_EQ((*opened.manifest)[0].Path(), "Media/other.jpg");

    WriteMbdb();  // the exact spelling wins over another one
    opened = OpenBackupManifest(dir.path());
    ASSERT_TRUE(opened.manifest);
    EXPECT_EQ((*opened.manifest)[0].Path(), "Media/old.jpg");

    const test::TempDir encrypted;
    test::WriteFile(encrypted / "manifest.db", std::string(8192, '\x5A'));
    test::WriteFile(encrypted / "MANIFEST.plist", ManifestPlistXml(true));
    EXPECT_EQ(OpenBackupManifest(encrypted.path()).problem, ManifestProblem::NoKeys);
}

TEST_F(BackupFolder, NeitherManifestIsUnreadable) {
    const BackupManifest opened = OpenBackupManifest(dir.path());
    EXPECT_FALSE(opened.manifest);
    EXPECT_EQ(opened.problem, ManifestProblem::Unreadable);
    EXPECT_EQ(ManifestProblemMessage(opened.problem), "Parse Mainfest.mbdb failed!");
}

TEST_F(BackupFolder, EncryptedNeedsTheFlagAndAnUnreadableDatabase) {
    WriteEncryptedDb();
    for (const std::string& plist : {ManifestPlistXml(true), ManifestPlistBinary(true)}) {
        test::WriteFile(dir / "Manifest.plist", plist);
        const BackupManifest opened = OpenBackupManifest(dir.path());
        EXPECT_FALSE(opened.manifest);
        EXPECT_EQ(opened.problem, ManifestProblem::NoKeys);
        EXPECT_NE(ManifestProblemMessage(opened.problem).find("encrypted"), std::string_view::npos);
    }
    // The flag off, or no property list at all: a damaged backup, not an encrypted one.
    for (const std::string& plist : {ManifestPlistXml(false), ManifestPlistBinary(false)}) {
        test::WriteFile(dir / "Manifest.plist", plist);
        EXPECT_EQ(OpenBackupManifest(dir.path()).problem, ManifestProblem::Unreadable);
    }
    std::filesystem::remove(dir / "Manifest.plist");
    EXPECT_EQ(OpenBackupManifest(dir.path()).problem, ManifestProblem::Unreadable);
}

TEST_F(BackupFolder, FlaggedEncryptedButPlainDatabaseIsReadNormally) {
    test::WriteFile(dir / "Manifest.plist", ManifestPlistXml(true));
    WriteDb({DbRow("Media/DCIM/100APPLE/IMG_0001.JPG", 1, 10)});
    const BackupManifest opened = OpenBackupManifest(dir.path());
    EXPECT_EQ(opened.problem, ManifestProblem::None);
    ASSERT_TRUE(opened.manifest);
    EXPECT_EQ(opened.manifest->size(), 1u);
}

// Folders and links carry no content: even a folder named like a photo joins no group, while a
// photo whose stored file is missing still counts as the old format counts it.
TEST_F(BackupFolder, ScanLeavesOutRecordsWithoutContent) {
    const auto photo = DbRow("Media/DCIM/100APPLE/IMG_0001.JPG", 1, kJpegBytes.size());
    test::WriteFile(dir / photo.fileID.substr(0, 2) / photo.fileID, kJpegBytes);
    WriteDb({photo, DbRow("Media/DCIM/100APPLE/IMG_0002.JPG", 1, 10),
             DbRow("Media/DCIM/101APPLE.JPG", 2, 0), DbRow("Media/DCIM/link.JPG", 4, 0),
             DbRow("Media/Recordings/folder.mp3", 2, 10)});
    const BackupManifest opened = OpenBackupManifest(dir.path());
    ASSERT_TRUE(opened.manifest);

    ScanResults results;
    WorkerControl control;
    control.run.Set();
    test::FakeObserver observer;
    class Pictures : public PictureFactory {
    public:
        std::unique_ptr<PictureSource> Make(const StoredContent&) override { return nullptr; }
    } pictures;
    ScanContext scan{*opened.manifest, dir.path(), results, control, observer, pictures, nullptr};
    EXPECT_EQ(CountGroup(scan, kCameraRoll), 2);
    EXPECT_EQ(CountGroup(scan, kMp3), 0);
    ASSERT_EQ(CollectGroup(scan, kCameraRoll), 2);
    EXPECT_EQ(results.groups[kCameraRoll][0]->file.path,
              dir / photo.fileID.substr(0, 2) / photo.fileID);
    EXPECT_EQ(CollectGroup(scan, kMp3), 0);
}

}  // namespace
}  // namespace pixhaven::backup
