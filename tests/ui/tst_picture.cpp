// Decoded pictures: the EXIF thumbnail search on real and hostile bytes, thumbnails through the
// embedded preview and the reduced-size decode, every still format of the sample backups, the same
// pictures stored encrypted, the kept thumbnail under concurrent use, and GIF frames with their
// delays.
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "backup/exifthumb.h"
#include "makerlibs/gildpaint.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/canvas.h"
#include "tools/samplegen/crypto.h"
#include "tools/samplegen/gif_encoder.h"
#include "tools/samplegen/jpeg_encoder.h"
#include "tools/samplegen/samplegen.h"
#include "tools/samplegen/still_formats.h"
#include "ui/picture.h"

namespace fs = std::filesystem;
using namespace pixhaven::test;
using namespace pixhaven::ui;
using pixhaven::backup::FindExifThumbnail;
using pixhaven::backup::SecretBytes;
using pixhaven::backup::StoredContent;
using pixhaven::samplegen::CameraFacts;
using pixhaven::samplegen::Content;
using pixhaven::samplegen::RgbImage;

namespace {

// The tile's picture box: the picture fitted into the frame, then 3 pixels off every side.
QSize TileBox(QSize picture) {
    GpRect fitted;
    calc_subrect(fitted, 7, 10, 113, 116, picture.width(), picture.height());
    return {fitted.Width() - 6, fitted.Height() - 6};
}

std::string CameraPhoto(int width, int height, bool bigEndian) {
    CameraFacts camera{"Apple", "iPhone 4S", "2012:07:14 18:05:09", bigEndian};
    return pixhaven::samplegen::EncodeCameraJpeg(
        pixhaven::samplegen::PaintArtwork(width, height, 7, 3), camera);
}

std::span<const unsigned char> Bytes(const std::string& text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// A JPEG start with one APP1 segment around `payload`, its length field as given.
std::string JpegWithApp1(const std::string& payload, std::size_t lengthField) {
    std::string out = "\xFF\xD8\xFF\xE1";
    out += static_cast<char>((lengthField >> 8) & 0xFF);
    out += static_cast<char>(lengthField & 0xFF);
    return out + payload + "\xFF\xDA";
}

std::string JpegWithApp1(const std::string& payload) {
    return JpegWithApp1(payload, payload.size() + 2);
}

// A little-endian EXIF block: IFD0 with no entries, then IFD1 with the given offset and length.
std::string HostileExif(std::uint32_t ifd1At, std::uint32_t offset, std::uint32_t length,
                        std::uint16_t ifd1Count = 2) {
    const auto u16 = [](std::uint32_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const auto u32 = [&u16](std::uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    std::string tiff = "II" + u16(42) + u32(8) + u16(0) + u32(ifd1At);
    tiff += u16(ifd1Count) + u16(0x0201) + u16(4) + u32(1) + u32(offset);
    tiff += u16(0x0202) + u16(4) + u32(1) + u32(length) + u32(0);
    tiff += "\xFF\xD8\xFF\xD9";
    return std::string("Exif\0\0", 6) + tiff;
}

// Sets the orientation entry of a big-endian EXIF block written by the sample encoder.
std::string WithOrientation(std::string jpeg, int orientation) {
    const std::string entry("\x01\x12\x00\x03\x00\x00\x00\x01\x00\x01", 10);
    const auto at = jpeg.find(entry);
    if (at != std::string::npos) {
        jpeg[at + 9] = static_cast<char>(orientation);
    }
    return jpeg;
}

// Fits the box and fills it along one side, as a thumbnail fitted to the tile must.
bool FillsBox(const QImage& image, QSize box) {
    return image.width() <= box.width() && image.height() <= box.height() &&
           (image.width() >= box.width() - 1 || image.height() >= box.height() - 1);
}

// The thumbnail a file holding `bytes` renders for `box`.
pixhaven::ui::RenderedThumbnail RenderFileOf(const std::string& bytes, QSize box) {
    TempDir dir;
    WriteFile(dir / "photo", bytes);
    return RenderThumbnailOf(dir / "photo", box);
}

// A JPEG whose frame header lies beyond the head an encrypted picture is first decrypted to: three
// full application segments of padding come first.
std::string JpegWithLongHead(const std::string& jpeg) {
    std::string padding;
    for (int i = 0; i < 3; ++i) {
        padding += std::string("\xFF\xE2\xFF\xFF", 4) + std::string(0xFFFF - 2, '\0');
    }
    return jpeg.substr(0, 2) + padding + jpeg.substr(2);
}

std::shared_ptr<const SecretBytes> KeyOf(char seed) {
    auto key = std::make_shared<SecretBytes>(32);
    for (std::size_t i = 0; i < key->size(); ++i) {
        key->data()[i] = static_cast<unsigned char>(seed + static_cast<char>(i * 13));
    }
    return key;
}

// `bytes` written to `file` encrypted as a backup stores them, and their content as its reader
// sees it.
StoredContent WriteEncrypted(const fs::path& file, const std::string& bytes,
                             const std::shared_ptr<const SecretBytes>& key) {
    const std::string_view keyText(reinterpret_cast<const char*>(key->data()), key->size());
    WriteFile(file, pixhaven::samplegen::AesCbcEncrypt(keyText, bytes));
    return StoredContent(file, key, true, bytes.size());
}

bool IsPicture(Content content) {
    switch (content) {
        case Content::Jpeg:
        case Content::Png:
        case Content::Bmp:
        case Content::Gif89a:
        case Content::Gif87a:
        case Content::TiffBigEndian:
        case Content::TiffLittleEndian:
            return true;
        default:
            return false;
    }
}

}  // namespace

class TestPicture : public QObject {
    Q_OBJECT

private slots:
    void exifThumbnailInBothByteOrders_data() {
        pixhaven::test::AddBoolRows("bigEndian", "little-endian", "big-endian");
    }

    void exifThumbnailInBothByteOrders() {
        QFETCH(bool, bigEndian);
        const std::string photo = CameraPhoto(320, 240, bigEndian);
        const auto found = FindExifThumbnail(Bytes(photo));
        QVERIFY(found.has_value());
        QCOMPARE(found->orientation, 1);
        QImage thumbnail;
        QVERIFY(thumbnail.loadFromData(found->jpeg.data(), int(found->jpeg.size()), "JPEG"));
        QCOMPARE(thumbnail.size(), QSize(160, 120));
    }

    void exifSearchSurvivesEveryTruncation() {
        // Every cut of a real header: the result is nothing or lies wholly inside what was given.
        const std::string photo = CameraPhoto(320, 240, false);
        const std::size_t header = std::min<std::size_t>(photo.size(), 64 * 1024);
        int found = 0;
        for (std::size_t length = 0; length <= header; ++length) {
            const auto bytes = Bytes(photo).first(length);
            const auto result = FindExifThumbnail(bytes);
            if (result) {
                QVERIFY(result->jpeg.data() >= bytes.data());
                QVERIFY(result->jpeg.data() + result->jpeg.size() <= bytes.data() + bytes.size());
                ++found;
            }
        }
        QVERIFY(found > 0);
    }

    void hostileExifBlocksGiveNoThumbnail_data() {
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char* name, const std::string& bytes) {
            QTest::newRow(name) << QByteArray(bytes.data(), qsizetype(bytes.size()));
        };
        const std::string sound = HostileExif(14, 44, 4);
        QVERIFY(FindExifThumbnail(Bytes(JpegWithApp1(sound))).has_value());  // the control case
        row("offset past the block", JpegWithApp1(HostileExif(14, 0xFFFFFF00u, 4)));
        row("offset plus length wraps", JpegWithApp1(HostileExif(14, 44, 0xFFFFFFF0u)));
        row("zero length", JpegWithApp1(HostileExif(14, 44, 0)));
        row("no IFD1", JpegWithApp1(HostileExif(0, 44, 4)));
        row("IFD1 past the block", JpegWithApp1(HostileExif(0x7FFFFFFF, 44, 4)));
        row("entry count runs past the block", JpegWithApp1(HostileExif(14, 44, 4, 0xFFFF)));
        row("thumbnail is not a JPEG", JpegWithApp1(HostileExif(14, 40, 4)));
        row("segment length beyond the file", JpegWithApp1(sound, 0xFFFF));
        row("segment length below two", JpegWithApp1(sound, 1));
        std::string wrongOrder = sound;
        wrongOrder[6] = 'X';
        row("unknown byte order", JpegWithApp1(wrongOrder));
        row("not a JPEG", sound);
        row("APP1 without Exif name", JpegWithApp1("Exig" + sound.substr(4)));
        row("empty", "");
    }

    void hostileExifBlocksGiveNoThumbnail() {
        QFETCH(QByteArray, bytes);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        QVERIFY(!FindExifThumbnail({data, std::size_t(bytes.size())}).has_value());
    }

    void embeddedThumbnailIsUsedWhenLargeEnough() {
        const QSize box = TileBox({640, 480});
        const auto rendered = RenderFileOf(CameraPhoto(640, 480, true), box);
        QCOMPARE(rendered.origin, ThumbnailOrigin::Embedded);
        QVERIFY(FillsBox(rendered.image, box));
    }

    void smallEmbeddedThumbnailFallsBackToDecode() {
        const auto rendered = RenderFileOf(CameraPhoto(1280, 960, false), {320, 240});
        QCOMPARE(rendered.origin, ThumbnailOrigin::ReducedDecode);
        QCOMPARE(rendered.decodedSize, QSize(320, 240));  // an eighth, nothing larger
        QCOMPARE(rendered.image.size(), QSize(320, 240));
    }

    void letterboxedEmbeddedThumbnailIsNotUsed() {
        // A wide photo whose camera stored a 4:3 preview: the preview would show black bars.
        const RgbImage photo = pixhaven::samplegen::PaintArtwork(1600, 900, 4, 2);
        const std::string preview =
            pixhaven::samplegen::EncodeJpeg(pixhaven::samplegen::PaintArtwork(160, 120, 4, 2), 75);
        const std::string exif =
            pixhaven::samplegen::BuildExifSegment(CameraFacts{}, 1600, 900, preview);
        const std::string plain = pixhaven::samplegen::EncodeJpeg(photo, 85);
        const std::string length{char((exif.size() + 2) >> 8), char((exif.size() + 2) & 0xFF)};
        const std::string wide = plain.substr(0, 2) + "\xFF\xE1" + length + exif + plain.substr(2);
        QVERIFY(FindExifThumbnail(Bytes(wide)).has_value());
        const QSize box = TileBox({1600, 900});
        const auto rendered = RenderFileOf(wide, box);
        QCOMPARE(rendered.origin, ThumbnailOrigin::ReducedDecode);
        QVERIFY(FillsBox(rendered.image, box));
    }

    void orientationTurnsThumbnailAndSize() {
        TempDir dir;
        WriteFile(dir / "sideways", WithOrientation(CameraPhoto(640, 480, true), 6));
        DecodedPicture picture(dir / "sideways");
        QCOMPARE(picture.Size(), QSize(480, 640));
        const QSize box = TileBox(picture.Size());
        const auto embedded = RenderThumbnailOf(dir / "sideways", box);
        QCOMPARE(embedded.origin, ThumbnailOrigin::Embedded);
        QVERIFY(FillsBox(embedded.image, box));
        const auto decoded = RenderThumbnailOf(dir / "sideways", {300, 400});
        QCOMPARE(decoded.origin, ThumbnailOrigin::ReducedDecode);
        QCOMPARE(decoded.image.size(), QSize(300, 400));
    }

    void largePhotoIsDecodedAtReducedSize() {
        TempDir dir;
        const RgbImage image = pixhaven::samplegen::PaintArtwork(4000, 3000, 12, 5);
        WriteFile(dir / "twelve", pixhaven::samplegen::EncodeJpeg(image, 85));
        DecodedPicture picture(dir / "twelve");
        QCOMPARE(picture.Size(), QSize(4000, 3000));
        const QSize box = TileBox(picture.Size());
        const auto rendered = RenderThumbnailOf(dir / "twelve", box);
        QCOMPARE(rendered.origin, ThumbnailOrigin::ReducedDecode);
        QCOMPARE(rendered.decodedSize, QSize(500, 375));
        QVERIFY(FillsBox(rendered.image, box));
        QCOMPARE(picture.RenderThumbnail(box).size(), rendered.image.size());
    }

    void undecodableFilesGiveNullImages() {
        TempDir dir;
        WriteFile(dir / "noise", std::string(4096, '\x5A'));
        WriteFile(dir / "empty", "");
        for (const char* name : {"noise", "empty", "missing"}) {
            DecodedPicture picture(dir / name);
            QVERIFY2(picture.RenderThumbnail({100, 75}).isNull(), name);
            QVERIFY2(!picture.Size().isValid(), name);
        }
        // A photo cut short inside its EXIF block: no embedded thumbnail, and the decode fails
        // cleanly.
        const std::string photo = CameraPhoto(320, 240, true);
        WriteFile(dir / "cut", photo.substr(0, 300));
        QVERIFY(RenderThumbnailOf(dir / "cut", {100, 75}).origin != ThumbnailOrigin::Embedded);
        QVERIFY(DecodedPicture(dir / "noise").RenderThumbnail({0, 0}).isNull());
        QCOMPARE(GifFrames(dir / "missing", {100, 100}).FrameCount(), 0);
    }

    void sampleBackupPicturesAllRender() {
        TempDir dir;
        pixhaven::samplegen::SampleOptions options;
        options.out = dir / "root";
        options.preset = pixhaven::samplegen::SamplePreset::Small;
        const auto report = pixhaven::samplegen::GenerateSampleRoot(options);
        QImage sheet(6 * 110, 8 * 110, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        int shown = 0;
        int embedded = 0;
        for (const auto& backup : report.backups) {
            if (backup.encryption) {
                continue;  // its stored files are ciphertext; their plaintext is the first backup's
            }
            for (const auto& record : backup.records) {
                if (!IsPicture(record.content) || !record.storedFileExists) {
                    continue;
                }
                DecodedPicture picture(backup.StoredFile(record));
                const QString what =
                    QString::fromStdString(record.storedName) + " " +
                    QString::fromUtf8(pixhaven::samplegen::ContentName(record.content)) + " " +
                    QString::fromUtf8(pixhaven::samplegen::TrapName(record.trap));
                QVERIFY2(picture.Size() == QSize(record.width, record.height), qPrintable(what));
                const QSize box = TileBox(picture.Size());
                const auto rendered = RenderThumbnailOf(picture.File(), box);
                QVERIFY2(!rendered.image.isNull(), qPrintable(what));
                QVERIFY2(FillsBox(rendered.image, box), qPrintable(what));
                QCOMPARE(rendered.origin == ThumbnailOrigin::Embedded, record.hasExif);
                embedded += record.hasExif ? 1 : 0;
                if (record.frames > 0) {
                    QCOMPARE(GifFrames(picture.File(), box).FrameCount(), record.frames);
                }
                if (shown < 48) {
                    painter.drawImage((shown % 6) * 110 + 5, (shown / 6) * 110 + 5, rendered.image);
                    ++shown;
                }
            }
        }
        painter.end();
        QVERIFY(embedded > 0);
        QLabel label;
        label.setPixmap(QPixmap::fromImage(sheet));
        label.resize(sheet.size());
        SaveScreenshot(label, "picture_sample_thumbnails");
    }

    void encryptedPicturesMatchTheirPlainCopies() {
        TempDir dir;
        const RgbImage art = pixhaven::samplegen::PaintArtwork(800, 600, 2, 3);
        std::vector<pixhaven::samplegen::GifFrame> frames;
        for (int i = 0; i < 3; ++i) {
            frames.push_back({pixhaven::samplegen::PaintAnimationFrame(art, i, 3), 20});
        }
        const std::pair<const char*, std::string> pictures[] = {
            {"exif", CameraPhoto(640, 480, true)},  // the embedded thumbnail, from the head alone
            {"sideways", WithOrientation(CameraPhoto(640, 480, false), 6)},
            {"large", pixhaven::samplegen::EncodeJpeg(art, 85)},  // a reduced decode of the whole
            {"long head", JpegWithLongHead(pixhaven::samplegen::EncodeJpeg(art, 85))},
            {"png", pixhaven::samplegen::EncodePng(art)},
            {"tiff", pixhaven::samplegen::EncodeTiff(art, true)},
            {"gif", pixhaven::samplegen::EncodeAnimatedGif(frames)},
        };
        const auto key = KeyOf(1);
        for (const auto& [name, bytes] : pictures) {
            WriteFile(dir / name, bytes);
            const StoredContent plain(dir / name);
            const StoredContent encrypted =
                WriteEncrypted(dir / (std::string(name) + ".enc"), bytes, key);
            const QSize size = PictureSizeOf(plain);
            QVERIFY2(size.isValid(), name);
            QCOMPARE(PictureSizeOf(encrypted), size);
            const QSize box = TileBox(size);
            const RenderedThumbnail expected = RenderThumbnailOf(plain, box);
            const RenderedThumbnail rendered = RenderThumbnailOf(encrypted, box);
            QVERIFY2(!rendered.image.isNull(), name);
            QCOMPARE(rendered.origin, expected.origin);
            QCOMPARE(rendered.image, expected.image);
            QCOMPARE(GifFrames(encrypted, box).FrameCount(), GifFrames(plain, box).FrameCount());
            QCOMPARE(DecodedPicture(encrypted).Size(), size);
        }
        QCOMPARE(GifFrames(StoredContent(dir / "gif.enc", key, true, pictures[6].second.size()),
                           {40, 30})
                     .FrameCount(),
                 3);

        // The backup's own thumbnail is decrypted the same way.
        const StoredContent photo(dir / "large.enc", key, true, pictures[2].second.size());
        const StoredContent preview(dir / "exif.enc", key, true, pictures[0].second.size());
        QCOMPARE(RenderThumbnailOf(photo, preview, {100, 75}).origin,
                 ThumbnailOrigin::BackupThumbnail);

        // A wrong key, or one that would not unwrap: nothing decodes and nothing breaks.
        for (const auto& unreadable : {StoredContent(photo.path, KeyOf(9), true, photo.size),
                                       StoredContent(photo.path, nullptr, true, photo.size)}) {
            const DecodedPicture picture(unreadable);
            QVERIFY(!picture.Size().isValid());
            QVERIFY(picture.RenderThumbnail({100, 75}).isNull());
            QCOMPARE(GifFrames(unreadable, {100, 75}).FrameCount(), 0);
        }

        // Nothing decrypted reached the disk: the folder holds what the test wrote.
        const auto entries = std::distance(fs::directory_iterator(dir.path()), {});
        QCOMPARE(entries, std::ptrdiff_t(2 * std::size(pictures)));
    }

    void keptThumbnailUnderConcurrentUse() {
        TempDir dir;
        WriteFile(dir / "photo", CameraPhoto(320, 240, true));
        DecodedPicture picture(dir / "photo");
        std::vector<QImage> images;
        for (int i = 1; i <= 4; ++i) {
            QImage image(i * 10, i * 10, QImage::Format_RGB32);
            image.fill(QColor(i * 60, 0, 0));
            images.push_back(image);
        }
        std::atomic<bool> wrong{false};
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < 4; ++t) {
                threads.emplace_back([&, t] {
                    for (int i = 0; i < 2000; ++i) {
                        picture.SetThumbnail(images[std::size_t((t + i) % 4)]);
                        const QImage seen = picture.Thumbnail();
                        const bool known =
                            std::any_of(images.begin(), images.end(),
                                        [&seen](const QImage& k) { return k == seen; });
                        if (!picture.HasThumbnail() || !known ||
                            picture.Size() != QSize(320, 240)) {
                            wrong = true;
                        }
                    }
                });
            }
        }
        QVERIFY(!wrong);
    }

    void factoryAndPictureOf() {
        pixhaven::ui::DecodedPictureFactory factory;
        pixhaven::backup::MediaItem item;
        QVERIFY(pixhaven::ui::PictureOf(item) == nullptr);
        item.picture = factory.Make(fs::path("/nonexistent/never/opened"));
        DecodedPicture* picture = pixhaven::ui::PictureOf(item);
        QVERIFY(picture != nullptr);
        QCOMPARE(picture->File(), fs::path("/nonexistent/never/opened"));
        QVERIFY(!picture->HasThumbnail());
    }

    void gifFramesAndDelays() {
        const RgbImage base = pixhaven::samplegen::PaintArtwork(200, 100, 3, 9);
        std::vector<pixhaven::samplegen::GifFrame> frames;
        const std::vector<int> delays{50, 12, 16, 8, 0};
        for (std::size_t i = 0; i < delays.size(); ++i) {
            frames.push_back(
                {pixhaven::samplegen::PaintAnimationFrame(base, int(i), 5), delays[i]});
        }
        TempDir dir;
        WriteFile(dir / "animated", pixhaven::samplegen::EncodeAnimatedGif(frames));
        const GifFrames gif(dir / "animated", {94, 47});
        QCOMPARE(gif.FrameCount(), 5);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(gif.DelayOf(i), delays[std::size_t(i)]);
            QCOMPARE(gif.Frame(i).size(), QSize(94, 47));
        }
        QCOMPARE(gif.DelayOf(4), GifFrames::kDefaultDelay);  // 0 would spin the animation timer
        QVERIFY(gif.Frame(0) != gif.Frame(1));               // the ball moved
        QCOMPARE(gif.DelayOf(5), 50);                        // wraps to the first frame
        QCOMPARE(gif.DelayOf(-2), 8);
        QCOMPARE(DecodedPicture(dir / "animated").Size(), QSize(200, 100));
    }

    void gifWithOneFrameAndBrokenGif() {
        TempDir dir;
        const std::string still =
            pixhaven::samplegen::EncodeGif87a(pixhaven::samplegen::PaintArtwork(40, 30, 1, 1));
        WriteFile(dir / "still", still);
        WriteFile(dir / "cut", still.substr(0, 20));
        const GifFrames gif(dir / "still", {34, 24});
        QCOMPARE(gif.FrameCount(), 1);
        QVERIFY(!gif.Frame(5).isNull());
        const GifFrames broken(dir / "cut", {34, 24});
        QCOMPARE(broken.FrameCount(), 0);
        QVERIFY(broken.Frame(0).isNull());
        QCOMPARE(broken.DelayOf(0), 0);
    }
};

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"
