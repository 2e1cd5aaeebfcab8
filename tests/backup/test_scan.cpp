// The media scan's group rules, items, labels and progress on small hand-made backups, and its
// response to pause and stop.
#include "backup/scan.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "makerlibs/gildpaint.h"
#include "platform/textcodec.h"
#include "tests/support/scan_passes.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/mbdb_writer.h"

namespace pixhaven::backup {
namespace {

const std::string kJpegBytes = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg body" + "\xFF\xD9";
const std::string kJpegWithoutEndBytes = std::string("\xFF\xD8\xFF\xE0", 4) + "cut off";
const std::string kPngBytes = std::string("\x89PNG\r\n\x1A\n", 8) + "png body";
const std::string kBmpBytes = "BM bitmap body";
const std::string kGifBytes = "GIF89a gif body";
const std::string kTiffBigBytes = std::string("MM\0\x2A", 4) + "tiff body";
const std::string kTiffLittleBytes = std::string("II\x2A\0", 4) + "tiff body";
const std::string kTextBytes = "just some text";

class Scan : public testing::Test, public test::ScanPasses {
protected:
    // A record in the media domain whose stored file holds `bytes`.
    samplegen::MbdbEntry& Add(const std::string& path, const std::string& bytes) {
        samplegen::MbdbEntry& entry = AddWithoutFile(path, bytes.size());
        test::WriteFile(dir / MakeStoredName(entry.domain, entry.path), bytes);
        return entry;
    }
    samplegen::MbdbEntry& AddWithoutFile(const std::optional<std::string>& path,
                                         std::uint64_t size) {
        samplegen::MbdbEntry entry;
        entry.domain = "MediaDomain";
        entry.path = path;
        entry.size = size;
        entries.push_back(entry);
        return entries.back();
    }

    ScanContext Context() {
        if (!manifest) {
            manifest = ParseManifest(samplegen::EncodeMbdb(entries));
            EXPECT_TRUE(manifest);
        }
        return ScanPasses::Context(*manifest, dir.path());
    }
    int Count(int group) {
        ScanContext scan = Context();
        return CountGroup(scan, group);
    }
    int Collect(int group) {
        ScanContext scan = Context();
        return CollectGroup(scan, group);
    }
    // Starts collecting the JPG group on another thread; returns once the pass has paused itself
    // at its first progress report. `scan` must outlive the pass.
    std::future<int> PausedJpgPass(ScanContext& scan) {
        observer.onProgress = [this](int reports) {
            if (reports == 1) {
                control.run.Reset();
                paused_.set_value();
            }
        };
        std::future<int> pass =
            std::async(std::launch::async, [&scan] { return CollectGroup(scan, kJpg); });
        paused_.get_future().wait();
        return pass;
    }
    std::filesystem::path StoredFile(const std::string& path) const {
        return dir / MakeStoredName("MediaDomain", path);
    }

    test::TempDir dir;
    std::vector<samplegen::MbdbEntry> entries;
    std::optional<Manifest> manifest;

private:
    std::promise<void> paused_;
};

using NameList = std::vector<std::u16string>;

TEST(SourceFolders, TestContainmentAndExactlyTheLastFourCharacters) {
    EXPECT_TRUE(IsCameraRollPath("Media/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(IsCameraRollPath("x/Media/DCIM/a.jpg"));
    EXPECT_FALSE(IsCameraRollPath("Media/DCIM/100APPLE/IMG_0001.jpeg"));
    EXPECT_FALSE(IsCameraRollPath("Media/DCIM/100APPLE/IMG_0001.Jpg"));
    EXPECT_FALSE(IsCameraRollPath("Media/DCIM/100APPLE/IMG_0001.PNG"));
    EXPECT_FALSE(IsCameraRollPath("media/dcim/IMG_0001.JPG"));
    EXPECT_FALSE(IsCameraRollPath(".JPG"));
    EXPECT_FALSE(IsCameraRollPath(""));

    EXPECT_TRUE(IsPhotoStreamPath("Media/PhotoStreamsData/1/100APPLE/IMG_0202.PNG"));
    EXPECT_TRUE(IsPhotoStreamPath("Media/PhotoStreamsData/1/IMG_0203.jpg"));
    EXPECT_FALSE(IsPhotoStreamPath("Media/PhotoStreamsData/1/IMG_0203.gif"));
    EXPECT_FALSE(IsPhotoStreamPath("Media/DCIM/IMG_0001.JPG"));

    EXPECT_TRUE(IsAttachmentPath("Library/SMS/Attachments/3f/15/image.png"));
    EXPECT_TRUE(IsAttachmentPath("Library/SMS/Attachments/x.tiff.JPG"));
    EXPECT_FALSE(IsAttachmentPath("Library/SMS/Attachments/7c/12/drawing.bmp"));
    EXPECT_FALSE(IsAttachmentPath("Library/SMS/attachments/a.png"));
}

TEST(ScanResultsState, LabelsStartBareAndClearResetsEverything) {
    ScanResults results;
    EXPECT_EQ(results.labels[0], u"Camera Roll");
    EXPECT_EQ(results.labels[12], u"3GP");
    results.labels[3] = u"JPG (4)";
    results.hasResults[3] = true;
    results.groups[3].push_back(std::make_unique<MediaItem>());
    results.counted[3] = 5;
    results.taken[3] = 4;
    results.total = 5;
    results.done = 4;
    results.Clear();
    EXPECT_EQ(results.labels[3], u"JPG");
    EXPECT_FALSE(results.hasResults[3]);
    EXPECT_TRUE(results.groups[3].empty());
    EXPECT_EQ(results.counted[3], 0);
    EXPECT_EQ(results.taken[3], 0);
    EXPECT_EQ(results.total, 0);
    EXPECT_EQ(results.done, 0);
}

TEST(Signatures, ReadStartAndJpegEndAndFailOnUnreadableFiles) {
    test::TempDir dir;
    const auto file = [&](const std::string& name, const std::string& bytes) {
        test::WriteFile(dir / name, bytes);
        return dir / name;
    };
    EXPECT_TRUE(HasJpegSignature(file("good.jpg", kJpegBytes)));
    EXPECT_FALSE(HasJpegSignature(file("noend.jpg", kJpegWithoutEndBytes)));
    EXPECT_FALSE(HasJpegSignature(file("trailing.jpg", kJpegBytes + "xx")));
    EXPECT_FALSE(HasJpegSignature(file("tiny.jpg", "\xFF\xD8")));
    EXPECT_TRUE(HasPngSignature(file("a.png", kPngBytes)));
    EXPECT_FALSE(HasPngSignature(file("short.png", "\x89PN")));
    EXPECT_TRUE(HasBmpSignature(file("a.bmp", kBmpBytes)));
    EXPECT_FALSE(HasBmpSignature(file("b.bmp", "B")));
    EXPECT_TRUE(HasGifSignature(file("a.gif", kGifBytes)));
    EXPECT_TRUE(HasGifSignature(file("b.gif", "GIF87a")));
    EXPECT_FALSE(HasGifSignature(file("c.gif", "GIF88a")));
    EXPECT_TRUE(HasTiffSignature(file("big.tiff", kTiffBigBytes)));
    EXPECT_TRUE(HasTiffSignature(file("little.tiff", kTiffLittleBytes)));
    EXPECT_FALSE(HasTiffSignature(file("mixed.tiff", std::string("MM\x2A\0", 4))));
    EXPECT_FALSE(HasPngSignature(file("empty.png", "")));

    EXPECT_FALSE(HasJpegSignature(dir / "missing.jpg"));
    EXPECT_FALSE(HasPngSignature(dir.path()));  // a folder
}

TEST_F(Scan, CameraRollTakesOnlyExactEndingsAndJpgTakesTheRest) {
    Add("Media/DCIM/100APPLE/IMG_0001.JPG", kJpegBytes);
    Add("Media/DCIM/100APPLE/IMG_0002.jpeg", kJpegBytes);
    Add("Media/DCIM/100APPLE/IMG_0003.Jpg", kJpegBytes);  // no test matches a mixed-case ending
    EXPECT_EQ(Count(kCameraRoll), 1);
    EXPECT_EQ(Count(kJpg), 1);
    EXPECT_EQ(Collect(kCameraRoll), 1);
    EXPECT_EQ(Collect(kJpg), 1);
    EXPECT_EQ(results.groups[kCameraRoll][0]->file.path,
              StoredFile("Media/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(results.groups[kJpg][0]->file.path, StoredFile("Media/DCIM/100APPLE/IMG_0002.jpeg"));
    EXPECT_EQ(Names(kJpg), NameList{u"0001.jpg"});
}

TEST_F(Scan, PhotoStreamPngIsInTwoGroupsUnderTwoNames) {
    Add("Media/PhotoStreamsData/1/100APPLE/IMG_0202.PNG", kPngBytes);
    Add("Media/a.png/b", kPngBytes);  // ".png" only in a folder name
    Add("Library/SMS/Attachments/3f/15/image.png", kPngBytes);
    EXPECT_EQ(Count(kPhotoStream), 1);
    EXPECT_EQ(Count(kPng), 2);
    EXPECT_EQ(Count(kAttachment), 1);
    EXPECT_EQ(Collect(kPhotoStream), 1);
    EXPECT_EQ(Collect(kPng), 2);
    EXPECT_EQ(Names(kPhotoStream), NameList{u"0001.jpg"});
    EXPECT_EQ(Names(kPng), (NameList{u"0001.png", u"0002.png"}));
    EXPECT_EQ(results.groups[kPng][1]->file.path, StoredFile("Media/a.png/b"));
}

TEST_F(Scan, JpegWithoutEndIsCountedButNotTaken) {
    Add("Media/Downloads/good.jpg", kJpegBytes);
    Add("Media/Downloads/cut.jpg", kJpegWithoutEndBytes);
    AddWithoutFile("Media/Downloads/gone.JPEG", 100);
    EXPECT_EQ(Count(kJpg), 3);
    EXPECT_EQ(results.total, 3);
    EXPECT_EQ(Collect(kJpg), 1);
    EXPECT_EQ(observer.Progress(), std::vector<int>{33});
    EXPECT_EQ(results.counted[kJpg], 3);
    EXPECT_EQ(results.taken[kJpg], 1);
}

TEST_F(Scan, PngWithoutSignatureIsTakenButNotCounted) {
    Add("Media/Downloads/good.png", kPngBytes);
    Add("Media/Downloads/fake.png", kTextBytes);
    EXPECT_EQ(Count(kPng), 1);
    EXPECT_EQ(Collect(kPng), 2);
    EXPECT_EQ(observer.Progress(), (std::vector<int>{100, 200}));
}

TEST_F(Scan, Mp3OfSizeZeroAndTifAreInNoGroup) {
    AddWithoutFile("Media/iTunes_Control/Music/F02/EMPT.mp3", 0);
    Add("Media/iTunes_Control/Music/F01/M\xC3\xBAsica.mp3", "ID3 song");
    Add("Media/Scans/fax.tif", kTiffLittleBytes);
    Add("Media/Scans/page.tiff", kTiffLittleBytes);
    EXPECT_EQ(Count(kMp3), 1);
    EXPECT_EQ(Count(kTiff), 1);
    EXPECT_EQ(Collect(kMp3), 1);
    EXPECT_EQ(Collect(kTiff), 1);
    EXPECT_EQ(Names(kMp3), NameList{u"Media/iTunes_Control/Music/F01/M\u00FAsica.mp3"});
    EXPECT_EQ(Names(kTiff), NameList{u"0001.tiff"});
}

TEST_F(Scan, AttachmentExclusionsDifferBetweenThePasses) {
    Add("Library/SMS/Attachments/7c/12/drawing.bmp", kBmpBytes);     // not an attachment photo
    Add("Library/SMS/Attachments/7c/13/x.bmp.png", kBmpBytes);       // an attachment photo
    Add("Library/SMS/Attachments/7c/14/y.gif.jpg", kGifBytes);       // an attachment photo
    Add("Library/SMS/Attachments/7c/15/z.tiff.jpg", kTiffBigBytes);  // an attachment photo
    Add("Media/DCIM/100APPLE/w.tiff.JPG", kTiffBigBytes);            // a camera-roll photo
    Add("Media/Downloads/nosig.tiff", kTextBytes);
    EXPECT_EQ(Count(kBmp), 2);
    EXPECT_EQ(Count(kGif), 1);
    EXPECT_EQ(Count(kTiff), 1);  // the camera-roll one: excluded only while collecting
    EXPECT_EQ(Collect(kBmp), 1);
    EXPECT_EQ(Collect(kGif), 0);
    EXPECT_EQ(Collect(kTiff), 1);  // the one without signature: tested only while counting
    EXPECT_EQ(Names(kBmp), NameList{u"Library/SMS/Attachments/7c/12/drawing.bmp"});
    EXPECT_EQ(results.groups[kTiff][0]->file.path, StoredFile("Media/Downloads/nosig.tiff"));
}

TEST_F(Scan, CollectedGroupsAreLabelledAndEmptyOnesKeepTheirBareLabel) {
    Add("Media/DCIM/100APPLE/IMG_0001.JPG", kJpegBytes);
    Add("Media/DCIM/100APPLE/IMG_0002.JPG", kJpegBytes);
    Add("Media/Downloads/cut.jpg", kJpegWithoutEndBytes);
    AddWithoutFile(std::nullopt, 10);  // no path: no group
    EXPECT_EQ(Collect(kCameraRoll), 2);
    EXPECT_EQ(Collect(kJpg), 0);
    EXPECT_EQ(Collect(kMov), 0);
    EXPECT_EQ(results.labels[kCameraRoll], u"Camera Roll (2)");
    EXPECT_TRUE(results.hasResults[kCameraRoll]);
    EXPECT_EQ(results.labels[kJpg], u"JPG");
    EXPECT_FALSE(results.hasResults[kJpg]);
    const std::vector<std::pair<int, std::u16string>> expected = {{0, u"Camera Roll (2)"}};
    EXPECT_EQ(observer.Labels(), expected);
}

TEST_F(Scan, PhotoItemsCarryPictureTimesAndSizeText) {
    auto& entry = Add("Media/DCIM/100APPLE/IMG_0001.JPG", kJpegBytes);
    entry.created = 1341425000;
    entry.modified = 1341425109;
    entry.size = 123456;
    AddWithoutFile("Media/DCIM/100APPLE/IMG_0002.JPG", 0);  // missing file, no times
    EXPECT_EQ(Collect(kCameraRoll), 2);
    const MediaItem& item = *results.groups[kCameraRoll][0];
    EXPECT_EQ(item.kind, MediaKind::Photo);
    EXPECT_EQ(item.checked, 0);
    EXPECT_EQ(item.createdText, platform::Utf8ToUtf16(FormatRecordTime(1341425000)));
    EXPECT_EQ(item.modifiedText, platform::Utf8ToUtf16(FormatRecordTime(1341425109)));
    EXPECT_EQ(item.sizeText, fsize_format(123456, 0, 0));
    ASSERT_TRUE(item.picture);
    EXPECT_EQ(item.picture->File(), item.file.path);

    const MediaItem& missing = *results.groups[kCameraRoll][1];
    EXPECT_TRUE(missing.createdText.empty());
    EXPECT_TRUE(missing.modifiedText.empty());
    EXPECT_EQ(missing.sizeText, fsize_format(0, 0, 0));
    EXPECT_EQ(pictures.calls,
              (std::vector<std::filesystem::path>{StoredFile("Media/DCIM/100APPLE/IMG_0001.JPG"),
                                                  StoredFile("Media/DCIM/100APPLE/IMG_0002.JPG")}));
}

TEST_F(Scan, UndecodablePicturesStillMakeItems) {
    pictures.makeNothing = true;
    Add("Media/DCIM/100APPLE/IMG_0001.JPG", kTextBytes);
    EXPECT_EQ(Collect(kCameraRoll), 1);
    EXPECT_FALSE(results.groups[kCameraRoll][0]->picture);
}

TEST_F(Scan, AudioVideoItemsCarrySizeAndPath) {
    auto& movie = AddWithoutFile("Media/DCIM/100APPLE/IMG_0005.MOV", 5000000);
    auto& song = AddWithoutFile("Media/iTunes_Control/Music/F00/ABCD.m4a", 4000000000u);
    (void)movie;
    (void)song;
    EXPECT_EQ(Collect(kMov), 1);
    EXPECT_EQ(Collect(kM4a), 1);
    const MediaItem& item = *results.groups[kMov][0];
    EXPECT_EQ(item.kind, MediaKind::AudioVideo);
    EXPECT_EQ(item.size, 5000000u);
    EXPECT_EQ(item.displayName, u"Media/DCIM/100APPLE/IMG_0005.MOV");
    EXPECT_EQ(item.file.path, StoredFile("Media/DCIM/100APPLE/IMG_0005.MOV"));
    EXPECT_FALSE(item.picture);
    EXPECT_EQ(results.groups[kM4a][0]->size, 4000000000u);
    EXPECT_TRUE(pictures.calls.empty());
}

TEST_F(Scan, NumbersArePaddedToFourDigitsUntil9999) {
    for (int i = 0; i < 10000; ++i) {
        AddWithoutFile("Media/DCIM/100APPLE/IMG_" + std::to_string(i) + ".JPG", 1);
    }
    EXPECT_EQ(Count(kCameraRoll), 10000);
    EXPECT_EQ(Collect(kCameraRoll), 10000);
    const NameList names = Names(kCameraRoll);
    EXPECT_EQ(names[0], u"0001.jpg");
    EXPECT_EQ(names[9998], u"9999.jpg");
    EXPECT_EQ(names[9999], u"10000.jpg");
    EXPECT_EQ(observer.Progress().back(), 100);
    EXPECT_EQ(results.labels[kCameraRoll], u"Camera Roll (10000)");
}

TEST_F(Scan, NothingCountedStillReportsAProgressWithoutDividingByZero) {
    Add("Media/Downloads/fake.png", kTextBytes);
    EXPECT_EQ(Collect(kPng), 1);
    EXPECT_EQ(observer.Progress(), std::vector<int>{100});
}

TEST_F(Scan, StopEndsThePassAndLabelsWhatWasTaken) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        Add(std::string("Media/Downloads/") + name, kJpegBytes);
    }
    Count(kJpg);
    observer.onProgress = [this](int reports) {
        if (reports == 1) {
            control.stop = kStopRequested;
        }
    };
    EXPECT_EQ(Collect(kJpg), -1);
    EXPECT_EQ(results.groups[kJpg].size(), 1u);
    EXPECT_EQ(results.labels[kJpg], u"JPG (1)");
    EXPECT_TRUE(results.hasResults[kJpg]);

    EXPECT_EQ(Collect(kPng), -1);  // stop still set: nothing taken, nothing labelled
    EXPECT_FALSE(results.hasResults[kPng]);
    EXPECT_EQ(observer.Labels().size(), 1u);
}

TEST_F(Scan, PauseHoldsThePassUntilTheRunEventIsSetAgain) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        Add(std::string("Media/Downloads/") + name, kJpegBytes);
    }
    Count(kJpg);
    ScanContext scan = Context();
    std::future<int> pass = PausedJpgPass(scan);
    EXPECT_EQ(pass.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(observer.Progress().size(), 1u);
    control.run.Set();
    EXPECT_EQ(pass.get(), 3);
}

TEST_F(Scan, StopWhilePausedWakesAndEndsThePass) {
    Add("Media/Downloads/a.jpg", kJpegBytes);
    Add("Media/Downloads/b.jpg", kJpegBytes);
    Count(kJpg);
    ScanContext scan = Context();
    std::future<int> pass = PausedJpgPass(scan);
    control.stop = kStopRequested;
    control.run.Set();
    EXPECT_EQ(pass.get(), -1);
    EXPECT_EQ(results.labels[kJpg], u"JPG (1)");
}

}  // namespace
}  // namespace pixhaven::backup
