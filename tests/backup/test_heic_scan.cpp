// HEIC photos in the camera groups of modern backups: which paths are taken, their names, and the
// backup's own thumbnail handed to the picture; old backups keep their rules.
#include <gtest/gtest.h>

#include <optional>

#include "backup/manifestdb.h"
#include "backup/scan.h"
#include "tests/support/scan_passes.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;
using NameList = std::vector<std::u16string>;

const std::string kCameraDomain = "CameraRollDomain";
const std::string kHeicBytes = std::string(
                                   "\0\0\0\x18"
                                   "ftypheic",
                                   12) +
                               "heic body";
const std::string kJpegBytes = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg body" + "\xFF\xD9";

class HeicScan : public testing::Test, public test::ScanPasses {
protected:
    // A file row whose stored file (in its two-character folder) holds `bytes`.
    void Add(const std::string& path, const std::string& bytes, int flags = 1,
             const std::string& domain = kCameraDomain) {
        const std::string id = MakeStoredName(domain, path);
        rows.push_back({id, domain, path, flags,
                        samplegen::EncodeMbFile(
                            {bytes.size(), 1500000000, 1500000000, 1500000000, 0100644, path})});
        if (flags == 1) {
            test::WriteFile(StoredFile(domain, path), bytes);
        }
        mbdb.push_back({});
        mbdb.back().domain = domain;
        mbdb.back().path = path;
        mbdb.back().size = bytes.size();
    }
    fs::path StoredFile(const std::string& domain, const std::string& path) const {
        const std::string id = MakeStoredName(domain, path);
        return dir / id.substr(0, 2) / id;
    }

    void ScanModern() {
        samplegen::WriteManifestDb(dir / "Manifest.db", rows);
        manifest = ReadManifestDb(dir / "Manifest.db");
        ASSERT_TRUE(manifest);
        ASSERT_TRUE(manifest->IsModern());
        ScanAll();
    }
    // The same records as an old Manifest.mbdb, stored flat.
    void ScanOld() {
        for (const auto& row : rows) {
            if (row.flags == 1) {
                const fs::path from = StoredFile(row.domain, row.relativePath);
                fs::copy_file(from, dir / row.fileID, fs::copy_options::overwrite_existing);
            }
        }
        manifest = ParseManifest(samplegen::EncodeMbdb(mbdb));
        ASSERT_TRUE(manifest);
        ASSERT_FALSE(manifest->IsModern());
        ScanAll();
    }
    void ScanAll() {
        ScanContext scan = Context(*manifest, dir.path());
        for (const int group : kGroupWorkOrder) {
            counted[static_cast<std::size_t>(group)] = CountGroup(scan, group);
            CollectGroup(scan, group);
        }
    }
    const MediaItem& Item(int group, std::size_t index) const {
        return *results.groups[group].at(index);
    }

    test::TempDir dir;
    std::vector<samplegen::ManifestDbRow> rows;
    std::vector<samplegen::MbdbEntry> mbdb;
    std::optional<Manifest> manifest;
    std::array<int, kGroupCount> counted{};
};

TEST(HeicPaths, ExactlyTheLastFiveCharactersInTheCameraFolders) {
    // Each path against the modern camera roll and photo stream rules and the old ones, which
    // never take HEIC.
    const struct {
        const char* path;
        bool modernCameraRoll;
        bool modernPhotoStream;
        bool cameraRoll;
        bool photoStream;
    } cases[] = {
        {"Media/DCIM/100APPLE/IMG_0001.HEIC", true, false, false, false},
        {"Media/DCIM/100APPLE/IMG_0001.heic", true, false, false, false},
        {"Media/DCIM/100APPLE/IMG_0001.JPG", true, false, true, false},
        {"Media/DCIM/100APPLE/IMG_0001.Heic", false, false, false, false},
        {"Media/DCIM/100APPLE/IMG_0001.HEIF", false, false, false, false},
        {"Media/DCIM/100APPLE/IMG_0001.HEIC.MOV", false, false, false, false},
        {"Media/DCIM/IMG_0001.heic", true, false, false, false},
        {"Media/PhotoStreamsData/1/IMG_0001.HEIC", false, true, false, false},
        {"Media/PhotoStreamsData/1/100APPLE/IMG_0202.HEIC", false, true, false, false},
        {"Media/PhotoStreamsData/1/IMG_0202.heic", false, true, false, false},
        {"Media/PhotoStreamsData/1/IMG_0203.png", false, true, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsModernCameraRollPath(c.path), c.modernCameraRoll) << c.path;
        EXPECT_EQ(IsModernPhotoStreamPath(c.path), c.modernPhotoStream) << c.path;
        EXPECT_EQ(IsCameraRollPath(c.path), c.cameraRoll) << c.path;
        EXPECT_EQ(IsPhotoStreamPath(c.path), c.photoStream) << c.path;
    }
    // A thumbnail's path holds its photo's path but is no photo of the groups.
    const std::string thumbnail = BackupThumbnailPath("Media/DCIM/100APPLE/IMG_0001.HEIC");
    EXPECT_EQ(thumbnail,
              "Media/PhotoData/Thumbnails/V2/Media/DCIM/100APPLE/IMG_0001.HEIC/5003.JPG");
    EXPECT_FALSE(IsModernCameraRollPath(thumbnail));
    EXPECT_FALSE(IsModernPhotoStreamPath(
        BackupThumbnailPath("Media/PhotoStreamsData/1/100APPLE/IMG_0202.JPG")));
}

TEST_F(HeicScan, ModernBackupNamesHeicPhotosInTheGroupsNumbering) {
    Add("Media/DCIM/100APPLE/IMG_0001.HEIC", kHeicBytes);
    Add("Media/DCIM/100APPLE/IMG_0002.JPG", kJpegBytes);
    Add("Media/DCIM/100APPLE/IMG_0003.heic", kHeicBytes);
    Add("Media/DCIM/100APPLE/IMG_0004.HEIF", kHeicBytes);
    Add("Media/DCIM/100APPLE/IMG_0005.HEIC", "", 2);  // a folder row carries no content
    Add("Media/PhotoStreamsData/77/100APPLE/IMG_0100.HEIC", kHeicBytes);
    Add("Media/PhotoStreamsData/77/100APPLE/IMG_0101.JPG", kJpegBytes);
    Add(BackupThumbnailPath("Media/DCIM/100APPLE/IMG_0001.HEIC"), kJpegBytes);
    ScanModern();

    EXPECT_EQ(Names(kCameraRoll), (NameList{u"0001.heic", u"0002.jpg", u"0003.heic"}));
    EXPECT_EQ(counted[kCameraRoll], 3);
    EXPECT_EQ(Names(kPhotoStream), (NameList{u"0001.heic", u"0002.jpg"}));
    EXPECT_EQ(counted[kPhotoStream], 2);
    EXPECT_EQ(Item(kCameraRoll, 0).file.path,
              StoredFile(kCameraDomain, "Media/DCIM/100APPLE/IMG_0001.HEIC"));
    for (int group = 0; group < kGroupCount; ++group) {
        for (const auto& item : results.groups[group]) {
            EXPECT_NE(
                item->file.path,
                StoredFile(kCameraDomain, BackupThumbnailPath("Media/DCIM/100APPLE/IMG_0001.HEIC")))
                << "the backup's thumbnail is no item of group " << group;
        }
    }
}

TEST_F(HeicScan, OldBackupTakesNoHeic) {
    Add("Media/DCIM/100APPLE/IMG_0001.HEIC", kHeicBytes);
    Add("Media/DCIM/100APPLE/IMG_0002.JPG", kJpegBytes);
    Add("Media/PhotoStreamsData/77/100APPLE/IMG_0100.heic", kHeicBytes);
    ScanOld();

    EXPECT_EQ(Names(kCameraRoll), (NameList{u"0001.jpg"}));
    EXPECT_TRUE(Names(kPhotoStream).empty());
    EXPECT_TRUE(pictures.previews.empty());
}

TEST_F(HeicScan, BackupThumbnailBecomesThePreviewOnlyWhenListedWithContentAndOnDisk) {
    const std::string withThumbnail = "Media/DCIM/100APPLE/IMG_0001.HEIC";
    const std::string thumbnailGone = "Media/DCIM/100APPLE/IMG_0002.HEIC";
    const std::string thumbnailIsFolder = "Media/DCIM/100APPLE/IMG_0003.HEIC";
    const std::string thumbnailElsewhere = "Media/DCIM/100APPLE/IMG_0004.HEIC";
    const std::string streamed = "Media/PhotoStreamsData/77/100APPLE/IMG_0100.HEIC";
    for (const auto& path : {withThumbnail, thumbnailGone, thumbnailIsFolder, thumbnailElsewhere}) {
        Add(path, kHeicBytes);
    }
    Add(streamed, kHeicBytes);
    Add(BackupThumbnailPath(withThumbnail), kJpegBytes);
    Add(BackupThumbnailPath(thumbnailGone), kJpegBytes);
    fs::remove(StoredFile(kCameraDomain, BackupThumbnailPath(thumbnailGone)));
    Add(BackupThumbnailPath(thumbnailIsFolder), "", 2);
    Add(BackupThumbnailPath(thumbnailElsewhere), kJpegBytes, 1, "MediaDomain");
    Add(BackupThumbnailPath(streamed), kJpegBytes);
    ScanModern();

    ASSERT_EQ(results.groups[kCameraRoll].size(), 4u);
    const fs::path preview = StoredFile(kCameraDomain, BackupThumbnailPath(withThumbnail));
    EXPECT_EQ(Item(kCameraRoll, 0).preview.path, preview);
    EXPECT_EQ(Item(kCameraRoll, 0).file.path, StoredFile(kCameraDomain, withThumbnail));
    EXPECT_TRUE(Item(kCameraRoll, 1).preview.path.empty());
    EXPECT_TRUE(Item(kCameraRoll, 2).preview.path.empty());
    EXPECT_TRUE(Item(kCameraRoll, 3).preview.path.empty());
    ASSERT_EQ(results.groups[kPhotoStream].size(), 1u);
    EXPECT_EQ(Item(kPhotoStream, 0).preview.path,
              StoredFile(kCameraDomain, BackupThumbnailPath(streamed)));
    // Only the two photos with thumbnails were made with one; the file itself stays the item's.
    ASSERT_EQ(pictures.previews.size(), 2u);
    EXPECT_EQ(pictures.previews[0],
              std::make_pair(StoredFile(kCameraDomain, withThumbnail), preview));
}

}  // namespace
}  // namespace pixhaven::backup
