// The sample backups' contents. Domains and paths follow real iOS backups: camera photos under
// CameraRollDomain, photo stream, message attachments, music and recordings under MediaDomain,
// databases under HomeDomain, and applications' files under their AppDomain.
#include "tools/samplegen/catalogue.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/samplegen/heic_writer.h"

namespace pixhaven::samplegen {
namespace {

constexpr const char* kCameraRoll = "CameraRollDomain";
constexpr const char* kMedia = "MediaDomain";
constexpr const char* kHome = "HomeDomain";
constexpr const char* kPhotoFrame = "AppDomain-com.example.photoframe";
constexpr const char* kVoiceNotes = "AppDomain-com.example.voicenotes";
constexpr const char* kChat = "AppDomain-org.example.chat";

constexpr std::uint16_t kLinkMode = 0120755;

// A string literal's bytes, zero bytes included, without the terminator.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::string Numbered(const char* prefix, std::size_t number, const char* suffix) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%04zu%s", prefix, number, suffix);
    return text;
}

void AddFolders(BackupWriter& writer, const char* domain,
                std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        writer.AddFolder(domain, path);
    }
}

Blob SqliteFile(const std::string& name) {
    std::string bytes = Bytes("SQLite format 3\0");
    bytes += std::string(84, '\0');
    bytes += "sample database " + name;
    return MediaMaker::Data(bytes);
}

Blob TextFile(const std::string& text) {
    return MediaMaker::Data(text);
}

// Asset properties as the camera roll records carry them; one has no value at all.
void AddPhotoProperties(PlannedRecord& record) {
    record.entry.properties = {
        {"com.apple.assetsd.UUID", Bytes("\x3f\x1a\x00\x9c\x42\x11\x4e\x8a")},
        {"com.apple.assetsd.avalanche.type", std::nullopt},
        {"com.apple.assetsd.customCreationDate", Bytes("bplist00\x33\x41\xb5")},
    };
}

Blob Heic(int width, int height) {
    Blob blob = MediaMaker::Data(MakeHeic(width, height));
    blob.content = Content::Heic;
    blob.width = width;
    blob.height = height;
    return blob;
}

PlannedRecord& AddLink(BackupWriter& writer, const char* domain, const std::string& path,
                       const std::string& target) {
    PlannedRecord& link = writer.AddFile(domain, path, MediaMaker::Empty(), Trap::SymbolicLink);
    link.LeaveStoredFileOut(Trap::SymbolicLink);
    link.report.content = Content::None;
    link.entry.linkTarget = target;
    link.entry.mode = link.report.mode = kLinkMode;
    link.entry.dataHash.reset();
    return link;
}

// A HEIC photo and, when asked, the thumbnail the backup keeps for it in its own folder.
void AddHeicPhoto(BackupWriter& writer, MediaMaker& maker, const char* domain,
                  const std::string& path, int width, int height, bool withThumbnail) {
    writer.AddFile(domain, path, Heic(width, height),
                   withThumbnail ? Trap::HeicWithBackupThumbnail : Trap::HeicWithoutThumbnail);
    if (withThumbnail) {
        const std::string folder = "Media/PhotoData/Thumbnails/V2/" + path;
        writer.AddFolder(domain, folder);
        writer.AddFile(domain, folder + "/5003.JPG", maker.Jpeg(width / 2, height / 2),
                       Trap::BackupThumbnail);
    }
}

void AddCameraRoll(BackupWriter& writer, MediaMaker& maker, bool fullSizePhotos) {
    AddFolders(writer, kCameraRoll, {"", "Media", "Media/DCIM", "Media/DCIM/100APPLE"});
    const std::string folder = "Media/DCIM/100APPLE/";
    std::size_t number = 1;
    if (fullSizePhotos) {
        for (int i = 0; i < 3; ++i) {
            writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".JPG"),
                           maker.FullSizeCameraJpeg());
        }
    }
    writer
        .AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".JPG"),
                 maker.CameraJpeg(640, 480))
        .entry.properties = {{"com.apple.assetsd.avalanche.type", Bytes("\x01")}};
    writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".JPG"),
                   maker.CameraJpeg(480, 640, false));
    writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".jpg"), maker.Jpeg(800, 600));
    writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".JPG"), maker.Jpeg(1024, 768));
    writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".MOV"),
                   maker.Movie(MovieBrand::QuickTime, 12));
    writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".jpeg"), maker.Jpeg(640, 480),
                   Trap::JpegLongExtension);
    writer
        .AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".JPG"),
                 maker.CameraJpeg(640, 480))
        .LeaveStoredFileOut();
    writer.AddFile(kCameraRoll, folder + Numbered("IMG_", number++, ".Jpg"), maker.Jpeg(320, 240),
                   Trap::MixedCaseExtension);

    writer.AddFolder(kCameraRoll, "Media/DCIM/101APPLE");
    PlannedRecord& withProperties =
        writer.AddFile(kCameraRoll, "Media/DCIM/101APPLE/IMG_0100.JPG", maker.CameraJpeg(640, 480));
    AddPhotoProperties(withProperties);
    withProperties.entry.inode = (std::uint64_t{1} << 32) | 0x0ABCu;  // both halves in use
    writer.AddFile(kCameraRoll, "Media/DCIM/101APPLE/IMG_0101.JPG", maker.Jpeg(600, 800))
        .SetTimes(0, 0, 0);
    PlannedRecord& noCreated =
        writer.AddFile(kCameraRoll, "Media/DCIM/101APPLE/IMG_0102.JPG", maker.Jpeg(640, 480));
    noCreated.SetTimes(noCreated.entry.modified, noCreated.entry.accessed, 0);

    AddFolders(writer, kCameraRoll, {"Media/PhotoData", "Media/PhotoData/Thumbnails"});
    writer.AddFile(kCameraRoll, "Media/PhotoData/Photos.sqlite", SqliteFile("Photos"));
    writer.AddFile(kCameraRoll, "Media/PhotoData/Thumbnails/158x158.ithmb",
                   MediaMaker::Data(std::string(2048, '\x7f')));
}

void AddPhotoStream(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(writer, kMedia,
               {"", "Media", "Media/PhotoStreamsData", "Media/PhotoStreamsData/1894372951",
                "Media/PhotoStreamsData/1894372951/100APPLE"});
    const std::string folder = "Media/PhotoStreamsData/1894372951/100APPLE/";
    writer.AddFile(kMedia, folder + "IMG_0201.JPG", maker.CameraJpeg(640, 480));
    writer.AddFile(kMedia, folder + "IMG_0202.PNG", maker.Png(480, 320), Trap::PhotoStreamPng);
    writer.AddFile(kMedia, folder + "IMG_0203.png", maker.Png(320, 480), Trap::PhotoStreamPng);
    writer.AddFile(kMedia, folder + "IMG_0204.jpg", maker.Jpeg(600, 800));
}

void AddAttachments(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(writer, kMedia, {"Library", "Library/SMS", "Library/SMS/Attachments"});
    const std::string folder = "Library/SMS/Attachments/";
    writer.AddFile(kMedia, folder + "0a/10/IMG_0301.JPG", maker.CameraJpeg(640, 480),
                   Trap::AttachmentJpeg);
    writer.AddFile(kMedia, folder + "0a/10/photo.jpg", maker.Jpeg(480, 360), Trap::AttachmentJpeg);
    writer.AddFile(kMedia, folder + "3f/15/image.png", maker.Png(400, 300), Trap::AttachmentPng);
    writer.AddFile(kMedia, folder + "3f/15/Screenshot.PNG", maker.Png(320, 480, true),
                   Trap::AttachmentPng);
    writer.AddFile(kMedia, folder + "7c/12/drawing.bmp", maker.Bmp(320, 240), Trap::AttachmentBmp);
    writer.AddFile(kMedia, folder + "7c/13/scan.bmp.png", maker.Png(300, 200),
                   Trap::AttachmentDoubleExtension);
    writer.AddFile(kMedia, folder + "2d/09/photo.tiff.jpg", maker.Jpeg(320, 240),
                   Trap::AttachmentDoubleExtension);
    writer.AddFile(kMedia, folder + "5e/02/wave.gif", maker.AnimatedGif(160, 120, 6));
}

void AddDownloadedPictures(BackupWriter& writer, MediaMaker& maker) {
    writer.AddFolder(kMedia, "Media/Downloads");
    const std::string folder = "Media/Downloads/";
    writer.AddFile(kMedia, folder + "IMG_0400.jpeg", maker.Jpeg(640, 480), Trap::JpegLongExtension);
    writer.AddFile(kMedia, folder + "IMG_0401.jpeg",
                   MediaMaker::Data(Bytes("\0\0\0\x18"
                                          "ftypheic\0\0\0\0mif1heic")),
                   Trap::JpegWithoutSignature);
    writer.AddFile(kMedia, folder + "IMG_0402.JPEG", maker.Jpeg(800, 600));
    writer.AddFile(kMedia, folder + "broken.jpg", maker.JpegWithoutEnd(640, 480),
                   Trap::JpegWithoutEnd);
    writer.AddFile(kMedia, folder + "padded.JPG", maker.JpegWithTrailingBytes(480, 360),
                   Trap::JpegTrailingBytes);
    writer.AddFile(kMedia, folder + "tiny.jpg", MediaMaker::Data("\xFF\xD8"), Trap::JpegTooShort);
    writer.AddFile(kMedia, folder + "F\xC3\xAAte \xC3\xA0 Paris.jpg", maker.Jpeg(640, 427),
                   Trap::NonAsciiName);
    writer.AddFile(kMedia, folder + "logo.png", maker.Png(256, 256, true));
    writer.AddFile(kMedia, folder + "fake.png", TextFile("<html><body>not a picture</body></html>"),
                   Trap::PngWithoutSignature);
    writer.AddFolder(kMedia, "Media/a.png").report.trap = Trap::PngInFolderName;
    writer.AddFile(kMedia, "Media/a.png/readme.txt", TextFile("A folder whose name ends in .png\n"),
                   Trap::PngInFolderName);

    writer.AddFile(kMedia, folder + "chart.BMP", maker.Bmp(400, 300));
    writer.AddFile(kMedia,
                   folder +
                       "Zeichnung Gr\xC3\xB6\xC3\x9F"
                       "e.bmp",
                   maker.Bmp(200, 150), Trap::NonAsciiName);
    writer.AddFile(kMedia, folder + "\xE7\x94\xBB\xE5\x83\x8F.bmp", maker.Bmp(150, 200),
                   Trap::NonAsciiName);
    writer.AddFile(kMedia, folder + "notabitmap.bmp",
                   MediaMaker::Data(Bytes("PK\x03\x04\x14\0\0\0")), Trap::BmpWithoutSignature);

    writer.AddFile(kMedia, folder + "spinner.gif", maker.AnimatedGif(160, 120, 8));
    writer.AddFile(kMedia, folder + "dance.GIF", maker.AnimatedGif(200, 150, 12));
    writer.AddFile(kMedia, folder + "still.gif", maker.Gif87a(240, 180));
    // A JPEG saved under a GIF name: counted by name, not taken.
    writer.AddFile(kMedia, folder + "notagif.gif", maker.Jpeg(160, 120), Trap::GifWithoutSignature);

    writer.AddFile(kMedia, folder + "scan.tiff", maker.Tiff(320, 240, true));
    writer.AddFile(kMedia, folder + "scan-le.TIFF", maker.Tiff(240, 320, false));
    writer.AddFile(kMedia, folder + "fax.tif", maker.Tiff(200, 280, false), Trap::TifExtension);
    writer.AddFile(kMedia, folder + "notatiff.tiff", TextFile("plain text under a TIFF name\n"),
                   Trap::TiffWithoutSignature);
    writer.AddFile(kMedia, folder + "trailer.mov", maker.Movie(MovieBrand::QuickTime, 30));
    writer.AddFile(kMedia, folder + "Vid\xC3\xA9o de f\xC3\xAAte.mov",
                   maker.Movie(MovieBrand::QuickTime, 6), Trap::NonAsciiName);
}

void AddMusicAndRecordings(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(
        writer, kMedia,
        {"Media/iTunes_Control", "Media/iTunes_Control/Music", "Media/iTunes_Control/Music/F00",
         "Media/iTunes_Control/Music/F01", "Media/iTunes_Control/Music/F02",
         "Media/iTunes_Control/Music/F03", "Media/iTunes_Control/Music/F04"});
    const std::string music = "Media/iTunes_Control/Music/";
    writer.AddFile(kMedia, music + "F00/ABCD.mp3", maker.Mp3("Morning", 24));
    writer.AddFile(kMedia, music + "F01/EFGH.MP3", maker.Mp3("Evening", 16));
    writer.AddFile(kMedia, music + "F02/EMPT.mp3", MediaMaker::Empty(), Trap::ZeroSizeMp3);
    writer.AddFile(kMedia, music + "F02/\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE\xE6\xAD\x8C.mp3",
                   maker.Mp3("Song", 12), Trap::NonAsciiName);
    writer.AddFile(kMedia, music + "F03/IJKL.m4a", maker.Movie(MovieBrand::M4a, 200));
    writer.AddFile(kMedia, music + "F03/MNOP.M4A", maker.Movie(MovieBrand::M4a, 180));
    writer.AddFile(kMedia, music + "F04/QRST.mp4", maker.Movie(MovieBrand::Mp4, 95));
    writer.AddFile(kMedia, music + "F04/UVWX.MP4", maker.Movie(MovieBrand::Mp4, 60));

    writer.AddFolder(kMedia, "Media/Recordings");
    const std::string recordings = "Media/Recordings/";
    writer.AddFile(kMedia, recordings + "20120704 180509.m4a", maker.Movie(MovieBrand::M4a, 42));
    writer.AddFile(kMedia,
                   recordings +
                       "\xD0\xA1\xD0\xBE\xD0\xBE\xD0\xB1\xD1\x89\xD0\xB5\xD0\xBD\xD0\xB8"
                       "\xD0\xB5.m4a",
                   maker.Movie(MovieBrand::M4a, 7), Trap::NonAsciiName);
    AddLink(writer, kMedia, recordings + "latest.m4a", "20120704 180509.m4a");
    writer.AddFile(kMedia, recordings + "clip.3gp", maker.Movie(MovieBrand::ThreeGpp, 15));
    writer.AddFile(kMedia, recordings + "CLIP2.3GP", maker.Movie(MovieBrand::ThreeGpp, 9));
    writer.AddFile(kMedia, recordings + "Recordings.db", SqliteFile("Recordings"));
}

void AddHomeFiles(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(writer, kHome,
               {"", "Library", "Library/SMS", "Library/Preferences", "Library/Caches",
                "Library/Wallpaper"});
    PlannedRecord& sms = writer.AddFile(kHome, "Library/SMS/sms.db", SqliteFile("sms"));
    sms.entry.protectionClass = 4;
    sms.entry.encryptionKey = Bytes("\x04\0\0\0wrapped-key-bytes-\x8f\x21\x6d");
    writer.AddFile(kHome, "Library/Preferences/com.example.springboard.plist",
                   MediaMaker::Data(Bytes("bplist00\xd0\x08\0\0\0\0\0\0\x01\x01")));
    PlannedRecord& huge =
        writer.AddFile(kHome, "Library/Caches/huge.bin", TextFile("cache"), Trap::SizeOver4GiB);
    huge.entry.size = huge.report.size = (std::uint64_t{5} << 30) + 4242;
    writer.AddFile(kHome, "Library/Wallpaper/home.jpg", maker.Jpeg(320, 480), Trap::NonMediaDomain);
    writer.AddFile(std::nullopt, "Library/Logs/orphan.log", TextFile("no domain\n"),
                   Trap::AbsentDomain);
    writer.AddFile(kHome, std::nullopt, TextFile("no path\n"), Trap::AbsentPath);
}

void AddApplicationFiles(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(writer, kPhotoFrame, {"", "Documents", "Documents/frames"});
    writer.AddFile(kPhotoFrame, "Documents/frames/beach.png", maker.Png(320, 240),
                   Trap::NonMediaDomain);
    writer.AddFile(kPhotoFrame, "Documents/Media/DCIM/100APPLE/IMG_0500.JPG", maker.Jpeg(640, 480),
                   Trap::CameraRollPathInAppDomain);
    writer.AddFile(kPhotoFrame, "Library/Preferences/com.example.photoframe.plist",
                   TextFile("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>\n"));

    AddFolders(writer, kVoiceNotes, {"", "Documents"});
    writer.AddFile(kVoiceNotes, "Documents/note1.m4a", maker.Movie(MovieBrand::M4a, 20),
                   Trap::NonMediaDomain);
    writer.AddFile(kVoiceNotes, "Documents/intro.mp4", maker.Movie(MovieBrand::Mp4, 10),
                   Trap::NonMediaDomain);
    writer.AddFile(kVoiceNotes, "Library/Caches/session.3gp", maker.Movie(MovieBrand::ThreeGpp, 5),
                   Trap::NonMediaDomain);
    writer.AddFile(kVoiceNotes, "Documents/memo.mp3", maker.Mp3("Memo", 8), Trap::NonMediaDomain);

    AddFolders(writer, kChat, {"", "Documents"});
    writer.AddFile(kChat, "Documents/sticker.gif", maker.AnimatedGif(120, 120, 5),
                   Trap::NonMediaDomain);
    writer.AddFile(kChat, "Documents/avatar.bmp", maker.Bmp(96, 96), Trap::NonMediaDomain);
    writer.AddFile(kChat, "Documents/scan.tiff", maker.Tiff(160, 120, true), Trap::NonMediaDomain);
    writer.AddFile(kChat, "Library/Caches/clip.MOV", maker.Movie(MovieBrand::QuickTime, 4),
                   Trap::NonMediaDomain);
}

// A few hundred encoded pictures and media files that the records of a large backup share.
struct MediaPool {
    std::vector<Blob> jpegs;
    std::vector<Blob> pngs;
    std::vector<Blob> others;  // GIF, BMP, TIFF
    std::vector<Blob> sounds;  // MP3, M4A, MP4, MOV, 3GP

    static const Blob& Pick(const std::vector<Blob>& blobs, std::size_t i) {
        return blobs[i % blobs.size()];
    }
};

MediaPool MakePool(MediaMaker& maker, std::size_t photos) {
    static constexpr int kSizes[][2] = {{640, 480}, {480, 640}, {320, 240}, {800, 600}};
    MediaPool pool;
    const std::size_t jpegs = std::clamp<std::size_t>(photos, 1, 240);
    for (std::size_t i = 0; i < jpegs; ++i) {
        const auto& size = kSizes[i % 4];
        pool.jpegs.push_back(i % 4 == 0 ? maker.CameraJpeg(size[0], size[1])
                                        : maker.Jpeg(size[0], size[1]));
    }
    for (std::size_t i = 0; i < std::clamp<std::size_t>(photos / 10, 1, 30); ++i) {
        pool.pngs.push_back(maker.Png(480, 320, i % 3 == 0));
    }
    for (std::size_t i = 0; i < std::clamp<std::size_t>(photos / 20, 1, 10); ++i) {
        pool.others.push_back(maker.AnimatedGif(96, 72, 4));
        pool.others.push_back(maker.Bmp(160, 120));
        pool.others.push_back(maker.Tiff(160, 120, i % 2 == 0));
    }
    pool.sounds = {maker.Mp3("Pool", 12), maker.Movie(MovieBrand::M4a, 30),
                   maker.Movie(MovieBrand::Mp4, 20), maker.Movie(MovieBrand::QuickTime, 10),
                   maker.Movie(MovieBrand::ThreeGpp, 5)};
    return pool;
}

std::string Extension(Content content) {
    switch (content) {
        case Content::Gif89a:
        case Content::Gif87a:
            return ".gif";
        case Content::Bmp:
            return ".bmp";
        case Content::TiffBigEndian:
        case Content::TiffLittleEndian:
            return ".tiff";
        case Content::Png:
            return ".png";
        case Content::Mp3:
            return ".mp3";
        case Content::M4a:
            return ".m4a";
        case Content::Mp4:
            return ".mp4";
        case Content::QuickTime:
            return ".MOV";
        case Content::ThreeGpp:
            return ".3gp";
        default:
            return ".JPG";
    }
}

// Photo number `i` of a large backup: mostly camera roll, some photo stream, attachments and
// downloads, spread the way a phone collects them.
void AddLargePhoto(BackupWriter& writer, const MediaPool& pool, std::size_t i) {
    const std::size_t slot = i % 20;
    if (slot < 14) {
        const std::size_t folder = 100 + i / 1000;
        const std::string folderPath = "Media/DCIM/" + std::to_string(folder) + "APPLE";
        if (i % 1000 == 0) {
            writer.AddFolder(kCameraRoll, folderPath);
        }
        writer.AddFile(kCameraRoll, folderPath + Numbered("/IMG_", i % 10000, ".JPG"),
                       MediaPool::Pick(pool.jpegs, i));
    } else if (slot < 16) {
        const Blob& blob =
            slot == 14 ? MediaPool::Pick(pool.jpegs, i) : MediaPool::Pick(pool.pngs, i);
        writer.AddFile(
            kMedia,
            Numbered("Media/PhotoStreamsData/4242/100APPLE/IMG_", i, slot == 14 ? ".JPG" : ".PNG"),
            blob);
    } else if (slot == 16) {
        writer.AddFile(kMedia, Numbered("Library/SMS/Attachments/a1/b2/IMG_", i, ".jpg"),
                       MediaPool::Pick(pool.jpegs, i), Trap::AttachmentJpeg);
    } else if (slot == 17) {
        writer.AddFile(kMedia, Numbered("Media/Downloads/picture", i, ".png"),
                       MediaPool::Pick(pool.pngs, i));
    } else {
        const Blob& blob = MediaPool::Pick(pool.others, i);
        writer.AddFile(kMedia, Numbered("Media/Downloads/image", i, "") + Extension(blob.content),
                       blob);
    }
}

void AddLargeOther(BackupWriter& writer, const MediaPool& pool, std::size_t i) {
    if (i % 25 == 0) {
        // A library's folders repeat track names, so recovery meets names already taken.
        const std::size_t track = i / 25;
        const Blob& blob = MediaPool::Pick(pool.sounds, track);
        writer.AddFile(kMedia,
                       Numbered("Media/iTunes_Control/Music/F", 10 + track / 100, "") +
                           Numbered("/TRACK", track % 100, "") + Extension(blob.content),
                       blob);
    } else if (i % 3 == 0) {
        writer.AddFile(kChat, Numbered("Library/Caches/messages/", i, ".dat"),
                       TextFile("cached message " + std::to_string(i) + "\n"));
    } else {
        writer.AddFile(kHome, Numbered("Library/Caches/com.example.cache/", i, ".plist"),
                       TextFile("<plist><integer>" + std::to_string(i) + "</integer></plist>\n"));
    }
}

}  // namespace

void AddFullCatalogue(BackupWriter& writer, MediaMaker& maker, bool fullSizePhotos) {
    AddCameraRoll(writer, maker, fullSizePhotos);
    AddPhotoStream(writer, maker);
    AddAttachments(writer, maker);
    AddDownloadedPictures(writer, maker);
    AddMusicAndRecordings(writer, maker);
    AddHomeFiles(writer, maker);
    AddApplicationFiles(writer, maker);
}

void AddCoreCatalogue(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(writer, kCameraRoll, {"", "Media", "Media/DCIM", "Media/DCIM/100APPLE"});
    for (std::size_t i = 1; i <= 4; ++i) {
        writer.AddFile(kCameraRoll, Numbered("Media/DCIM/100APPLE/IMG_", i, ".JPG"),
                       i % 2 == 0 ? maker.CameraJpeg(640, 480) : maker.Jpeg(480, 640));
    }
    writer.AddFile(kCameraRoll, "Media/DCIM/100APPLE/IMG_0005.MOV",
                   maker.Movie(MovieBrand::QuickTime, 8));
    AddFolders(writer, kMedia, {"", "Media", "Media/Downloads"});
    writer.AddFile(kMedia, "Media/PhotoStreamsData/77/100APPLE/IMG_0010.JPG", maker.Jpeg(640, 480));
    writer.AddFile(kMedia, "Library/SMS/Attachments/01/02/IMG_0011.jpg", maker.Jpeg(480, 360),
                   Trap::AttachmentJpeg);
    writer.AddFile(kMedia, "Media/Downloads/IMG_0012.jpeg", maker.Jpeg(320, 240),
                   Trap::JpegLongExtension);
    writer.AddFile(kMedia, "Media/Downloads/map.png", maker.Png(320, 240));
    writer.AddFile(kMedia, "Media/Downloads/chart.bmp", maker.Bmp(200, 150));
    writer.AddFile(kMedia, "Media/Downloads/loop.gif", maker.AnimatedGif(120, 90, 4));
    writer.AddFile(kMedia, "Media/Downloads/page.tiff", maker.Tiff(200, 150, false));
    writer.AddFile(kMedia, "Media/iTunes_Control/Music/F00/SONG.mp3", maker.Mp3("Song", 10));
    writer.AddFile(kMedia, "Media/iTunes_Control/Music/F00/VIDE.mp4",
                   maker.Movie(MovieBrand::Mp4, 30));
    writer.AddFile(kMedia, "Media/Recordings/memo.m4a", maker.Movie(MovieBrand::M4a, 12));
    writer.AddFile(kMedia, "Media/Recordings/clip.3gp", maker.Movie(MovieBrand::ThreeGpp, 6));
    AddFolders(writer, kHome, {"", "Library", "Library/SMS"});
    writer.AddFile(kHome, "Library/SMS/sms.db", SqliteFile("sms"));
}

void AddHeicCatalogue(BackupWriter& writer, MediaMaker& maker) {
    AddFolders(writer, kCameraRoll,
               {"", "Media", "Media/DCIM", "Media/DCIM/100APPLE", "Media/PhotoData",
                "Media/PhotoData/Thumbnails", "Media/PhotoData/Thumbnails/V2"});
    const std::string dcim = "Media/DCIM/100APPLE/";
    AddHeicPhoto(writer, maker, kCameraRoll, dcim + "IMG_0001.HEIC", 320, 240, true);
    AddHeicPhoto(writer, maker, kCameraRoll, dcim + "IMG_0002.HEIC", 240, 320, false);
    AddHeicPhoto(writer, maker, kCameraRoll, dcim + "IMG_0003.heic", 256, 192, true);
    AddHeicPhoto(writer, maker, kCameraRoll, dcim + "IMG_0004.heic", 192, 256, false);
    writer.AddFile(kCameraRoll, dcim + "IMG_0005.JPG", maker.CameraJpeg(640, 480));
    writer.AddFile(kCameraRoll, dcim + "IMG_0006.MOV", maker.Movie(MovieBrand::QuickTime, 6));
    writer.AddFile(kCameraRoll, dcim + "IMG_0007.HEIC", Heic(160, 120)).LeaveStoredFileOut();
    writer.AddFile(kCameraRoll, dcim + "IMG_0008.Heic", Heic(160, 120), Trap::MixedCaseExtension);
    writer.AddFile(kCameraRoll, "Media/PhotoData/Photos.sqlite", SqliteFile("Photos"));

    AddFolders(writer, kMedia,
               {"", "Media", "Media/PhotoStreamsData", "Media/PhotoStreamsData/31415926",
                "Media/PhotoStreamsData/31415926/100APPLE"});
    const std::string stream = "Media/PhotoStreamsData/31415926/100APPLE/";
    AddHeicPhoto(writer, maker, kMedia, stream + "IMG_0101.HEIC", 288, 216, true);
    AddHeicPhoto(writer, maker, kMedia, stream + "IMG_0102.heic", 216, 288, false);
    writer.AddFile(kMedia, stream + "IMG_0103.JPG", maker.Jpeg(640, 480));
    AddLink(writer, kMedia, "Media/PhotoStreamsData/31415926/latest.HEIC",
            "100APPLE/IMG_0101.HEIC");

    AddFolders(writer, kPhotoFrame, {"", "Documents"});
    writer.AddFile(kPhotoFrame, "Documents/IMG_0200.HEIC", Heic(160, 120), Trap::NonMediaDomain);
    AddFolders(writer, kHome, {"", "Library", "Library/SMS"});
    writer.AddFile(kHome, "Library/SMS/sms.db", SqliteFile("sms"));
}

void AddLargeCatalogue(BackupWriter& writer, MediaMaker& maker, std::size_t files,
                       std::size_t photos) {
    const MediaPool pool = MakePool(maker, photos);
    AddFolders(writer, kCameraRoll, {"", "Media", "Media/DCIM"});
    AddFolders(writer, kMedia, {"", "Media", "Media/Downloads"});
    AddFolders(writer, kHome, {"", "Library", "Library/Caches"});
    AddFolders(writer, kChat, {"", "Library", "Library/Caches"});
    for (std::size_t i = 0; i < photos; ++i) {
        AddLargePhoto(writer, pool, i);
    }
    for (std::size_t i = 0; writer.RecordCount() < files; ++i) {
        AddLargeOther(writer, pool, i);
    }
}

}  // namespace pixhaven::samplegen
