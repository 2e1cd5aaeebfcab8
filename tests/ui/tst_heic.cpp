// HEIC pictures: thumbnails decoded through libheif at tile size (also from an encrypted copy in
// memory), the backup's own thumbnail preferred when there is one, damaged files that show the
// pane's "cannot decode" look, and a pane of HEIC tiles.
#include <libheif/heif.h>

#include <QImage>
#include <QTest>
#include <algorithm>
#include <cstdint>
#include <string>

#include "backup/media.h"
#include "tests/support/fake_paging_host.h"
#include "tests/support/screenshot.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/crypto.h"
#include "tools/samplegen/heic_writer.h"
#include "ui/photoview.h"
#include "ui/picture.h"

using namespace pixhaven;
using namespace pixhaven::ui;
using Items = std::vector<std::unique_ptr<backup::MediaItem>>;

namespace {

bool Near(QColor actual, QColor expected, int tolerance = 24) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

// Files named like the backup's stored files: no extension, so nothing is guessed from the name.
class Files {
public:
    std::filesystem::path Heic(const std::string& name, int width, int height) const {
        return Write(name, samplegen::MakeHeic(width, height));
    }
    std::filesystem::path Jpeg(const std::string& name, QSize size, QColor colour) const {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const auto file = dir_ / name;
        image.save(QString::fromStdString(file.string()), "JPEG", 95);
        return file;
    }
    std::filesystem::path Write(const std::string& name, std::string_view bytes) const {
        test::WriteFile(dir_ / name, bytes);
        return dir_ / name;
    }

private:
    test::TempDir dir_;
};

heif_error AppendBytes(heif_context*, const void* data, std::size_t size, void* userdata) {
    static_cast<std::string*>(userdata)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A grey 640 x 480 HEIC that carries its own thumbnail of at most 160 x 160.
std::string HeicWithThumbnail() {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_image* image = nullptr;
    heif_image_create(640, 480, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, 640, 480, 8);
    int stride = 0;
    std::uint8_t* pixels = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    std::fill(pixels, pixels + stride * 480, std::uint8_t{128});
    heif_image_handle* primary = nullptr;
    heif_image_handle* thumbnail = nullptr;
    heif_context_encode_image(context, image, encoder, nullptr, &primary);
    heif_context_encode_thumbnail(context, image, primary, encoder, nullptr, 160, &thumbnail);
    std::string bytes;
    heif_writer writer{1, &AppendBytes};
    heif_context_write(context, &writer, &bytes);
    heif_image_handle_release(thumbnail);
    heif_image_handle_release(primary);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

std::unique_ptr<backup::MediaItem> MakeItem(const std::filesystem::path& file,
                                            const std::filesystem::path& preview, int number) {
    auto item = std::make_unique<backup::MediaItem>();
    item->displayName = QString("%1.heic").arg(number, 4, 10, QChar('0')).toStdU16String();
    item->file = file;
    item->preview = preview;
    DecodedPictureFactory factory;
    item->picture = preview.empty() ? factory.Make(file) : factory.MakeWithPreview(file, preview);
    return item;
}

}  // namespace

class TestHeic : public QObject {
    Q_OBJECT
private slots:
    void decodesThroughLibheifAtTileSize();
    void ownThumbnailWhenLargeEnough();
    void backupThumbnailPreferredWhenItDecodes();
    void damagedHeicGivesNoPictureAndNoCrash();
    void paneShowsHeicTiles();
};

void TestHeic::decodesThroughLibheifAtTileSize() {
    Files files;
    const auto file = files.Heic("landscape", 640, 480);
    QCOMPARE(PictureSizeOf(file), QSize(640, 480));
    const RenderedThumbnail rendered = RenderThumbnailOf(file, QSize(100, 100));
    QCOMPARE(rendered.origin, ThumbnailOrigin::ReducedDecode);
    QCOMPARE(rendered.image.size(), QSize(100, 75));
    // The gradient: red grows to the right, green downwards, blue fixed; nothing turned or
    // mirrored.
    QVERIFY(Near(rendered.image.pixelColor(2, 2), QColor(0, 0, 96)));
    QVERIFY(Near(rendered.image.pixelColor(97, 72), QColor(255, 255, 96)));
    QVERIFY(Near(rendered.image.pixelColor(97, 2), QColor(255, 0, 96)));

    // Stored encrypted, it decodes from the decrypted bytes in memory to the same picture.
    auto key = std::make_shared<backup::SecretBytes>(32);
    std::fill(key->data(), key->data() + key->size(), std::uint8_t{7});
    const std::string heic = test::ReadFile(file);
    const auto locked = files.Write(
        "landscape-encrypted",
        samplegen::AesCbcEncrypt(
            std::string_view(reinterpret_cast<const char*>(key->data()), key->size()), heic));
    const backup::StoredContent encrypted(locked, key, true, heic.size());
    QCOMPARE(PictureSizeOf(encrypted), QSize(640, 480));
    QCOMPARE(RenderThumbnailOf(encrypted, QSize(100, 100)).image, rendered.image);

    const DecodedPicture portrait(files.Heic("portrait", 300, 500));
    QCOMPARE(portrait.Size(), QSize(300, 500));
    QCOMPARE(portrait.RenderThumbnail(QSize(100, 100)).size(), QSize(60, 100));
}

void TestHeic::ownThumbnailWhenLargeEnough() {
    Files files;
    const auto file = files.Write("with-thumbnail", HeicWithThumbnail());
    const RenderedThumbnail small = RenderThumbnailOf(file, QSize(100, 100));
    QCOMPARE(small.origin, ThumbnailOrigin::Embedded);
    QCOMPARE(small.decodedSize, QSize(160, 120));
    QCOMPARE(small.image.size(), QSize(100, 75));
    QVERIFY(Near(small.image.pixelColor(50, 37), QColor(128, 128, 128), 8));
    // Too small for the box: the picture itself is decoded.
    const RenderedThumbnail large = RenderThumbnailOf(file, QSize(300, 300));
    QCOMPARE(large.origin, ThumbnailOrigin::ReducedDecode);
    QCOMPARE(large.decodedSize, QSize(640, 480));
}

void TestHeic::backupThumbnailPreferredWhenItDecodes() {
    Files files;
    const auto heic = files.Heic("photo", 640, 480);
    const auto preview = files.Jpeg("5003", QSize(320, 240), QColor(40, 160, 60));
    const RenderedThumbnail fromBackup = RenderThumbnailOf(heic, preview, QSize(100, 100));
    QCOMPARE(fromBackup.origin, ThumbnailOrigin::BackupThumbnail);
    QCOMPARE(fromBackup.image.size(), QSize(100, 75));
    QVERIFY(Near(fromBackup.image.pixelColor(50, 37), QColor(40, 160, 60), 8));

    // A damaged or vanished backup thumbnail falls back to decoding the photo.
    const auto damaged = files.Write("5003-damaged", "not a JPEG");
    QCOMPARE(RenderThumbnailOf(heic, damaged, QSize(100, 100)).origin,
             ThumbnailOrigin::ReducedDecode);
    QCOMPARE(
        RenderThumbnailOf(heic, std::filesystem::path("/nonexistent/5003.JPG"), QSize(100, 100))
            .origin,
        ThumbnailOrigin::ReducedDecode);

    // The picture made with a preview uses it, and keeps the photo as its file.
    const DecodedPicture picture(heic, preview);
    QCOMPARE(picture.File(), heic);
    QVERIFY(
        Near(picture.RenderThumbnail(QSize(100, 100)).pixelColor(50, 37), QColor(40, 160, 60), 8));
}

void TestHeic::damagedHeicGivesNoPictureAndNoCrash() {
    Files files;
    const std::string whole = samplegen::MakeHeic(256, 192);
    const std::string brandOnly = std::string(
                                      "\0\0\0\x18"
                                      "ftypheic",
                                      12) +
                                  "\0\0\0\0mif1heic" + std::string(200, '\xAB');
    const std::vector<std::filesystem::path> unreadable = {
        files.Write("brand-only", brandOnly),
        files.Write("header-only", whole.substr(0, 40)),
        files.Write("empty", ""),
    };
    for (const auto& file : unreadable) {
        QVERIFY(!PictureSizeOf(file).isValid());
        QVERIFY(RenderThumbnailOf(file, QSize(100, 100)).image.isNull());
    }
    // Cut short or overwritten in the coded picture: whatever comes out, it must not crash.
    std::string scrambled = whole;
    for (std::size_t i = scrambled.size() / 2; i < scrambled.size(); i += 7) {
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
    }
    for (const auto& file : {files.Write("truncated", whole.substr(0, whole.size() / 2)),
                             files.Write("scrambled", scrambled)}) {
        const RenderedThumbnail rendered = RenderThumbnailOf(file, QSize(100, 100));
        QVERIFY(rendered.image.isNull() || rendered.image.size() == QSize(100, 75));
    }
    // A damaged photo with a backup thumbnail still shows the thumbnail, in its shape.
    const auto preview = files.Jpeg("5003", QSize(200, 100), QColor(200, 40, 40));
    const DecodedPicture picture(unreadable[0], preview);
    QCOMPARE(picture.Size(), QSize(200, 100));
    QVERIFY(!picture.RenderThumbnail(QSize(100, 100)).isNull());
}

void TestHeic::paneShowsHeicTiles() {
    Files files;
    Items items;
    items.push_back(MakeItem(files.Heic("a", 640, 480), {}, 1));
    items.push_back(MakeItem(files.Heic("b", 300, 500), {}, 2));
    items.push_back(MakeItem(files.Heic("c", 1200, 400), {}, 3));
    items.push_back(MakeItem(files.Heic("d", 640, 480),
                             files.Jpeg("d-5003", QSize(320, 240), QColor(40, 160, 60)), 4));
    items.push_back(MakeItem(files.Write("e", samplegen::MakeHeic(64, 64).substr(0, 60)), {}, 5));
    items.push_back(MakeItem(files.Heic("f", 480, 480), {}, 6));
    test::FakePagingHost host;
    QWidget window;
    window.resize(985, 400);
    CPhotoViewDlg pane(PaneDesignFor(backup::kCameraRoll), items, host, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    pane.StartLoading();
    QTRY_VERIFY(pane.IsPageLoaded());
    for (const std::size_t i : {0u, 1u, 2u, 3u, 5u}) {
        QVERIFY(PictureOf(*items[i])->HasThumbnail());
    }
    // The backup's thumbnail is what the fourth tile shows.
    const QImage fourth = PictureOf(*items[3])->Thumbnail();
    QVERIFY(
        Near(fourth.pixelColor(fourth.width() / 2, fourth.height() / 2), QColor(40, 160, 60), 8));
    QVERIFY(!test::SaveScreenshot(pane, "heic-pane").isEmpty());
}

QTEST_MAIN(TestHeic)
#include "tst_heic.moc"
