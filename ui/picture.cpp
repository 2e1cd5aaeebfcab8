// Decoded pictures: header sizes, thumbnails from the embedded EXIF preview or a reduced-size
// decode, the kept thumbnail behind a mutex, and the frames of animated GIFs.
#include "ui/picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTransform>
#include <cmath>
#include <optional>
#include <span>
#include <utility>

#include "backup/exifthumb.h"

namespace pixhaven::ui {
namespace {

QString QtPath(const std::filesystem::path& file) {
#ifdef _WIN32
    return QString::fromStdWString(file.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(file.native()));
#endif
}

// Turns an image stored sideways or mirrored upright, as EXIF orientation 1..8 asks.
QImage Oriented(const QImage& image, int orientation) {
    const auto rotated = [&image](qreal degrees) {
        return image.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
        case 2:
            return image.mirrored(true, false);
        case 3:
            return rotated(180);
        case 4:
            return image.mirrored(false, true);
        case 5:
            return rotated(90).mirrored(true, false);
        case 6:
            return rotated(90);
        case 7:
            return rotated(90).mirrored(false, true);
        case 8:
            return rotated(270);
        default:
            return image;
    }
}

QImage FittedInto(const QImage& image, QSize box) {
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The photo's stored size from the header at the file's start; invalid when it lies further on.
QSize HeaderSize(const QByteArray& head) {
    QBuffer buffer;
    buffer.setData(head);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "JPEG").size();
}

// Some cameras letterbox a 4:3 preview of a wider photo: such a preview would show black bars.
bool SameShape(QSize preview, QSize photo) {
    if (!photo.isValid() || photo.isEmpty()) {
        return true;  // the photo's size is unknown: trust the preview
    }
    const double previewRatio = double(preview.width()) / double(preview.height());
    const double photoRatio = double(photo.width()) / double(photo.height());
    return std::abs(previewRatio / photoRatio - 1.0) < 0.05;
}

// The embedded preview when it has the photo's shape and is at least as large as what the box
// shows of it.
std::optional<QImage> EmbeddedThumbnail(QFile& file, QSize box) {
    const QByteArray head = file.read(static_cast<qint64>(backup::kExifSearchBytes));
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.constData());
    const auto found =
        backup::FindExifThumbnail(std::span(bytes, static_cast<std::size_t>(head.size())));
    if (!found) {
        return std::nullopt;
    }
    QImage image;
    if (!image.loadFromData(found->jpeg.data(), static_cast<int>(found->jpeg.size()), "JPEG") ||
        !SameShape(image.size(), HeaderSize(head))) {
        return std::nullopt;
    }
    image = Oriented(image, found->orientation);
    const QSize shown = image.size().scaled(box, Qt::KeepAspectRatio);
    if (image.width() < shown.width() || image.height() < shown.height()) {
        return std::nullopt;  // too small: scaling it up would look blurred
    }
    return image;
}

// The size to ask the decoder for: the whole picture reduced by the largest of 1/2, 1/4, 1/8 that
// still covers the box. JPEG decodes exactly at these (DCT scaling), so nothing is rescaled twice.
QSize ReducedDecodeSize(QSize full, QSize box) {
    const QSize shown = full.scaled(box, Qt::KeepAspectRatio);
    int factor = 1;
    while (factor < 8 && full.width() / (factor * 2) >= shown.width() &&
           full.height() / (factor * 2) >= shown.height()) {
        factor *= 2;
    }
    const auto ceilDiv = [factor](int length) { return (length + factor - 1) / factor; };
    return {ceilDiv(full.width()), ceilDiv(full.height())};
}

RenderedThumbnail DecodeReduced(QFile& file, QSize box) {
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The decoder scales the stored picture, before it is turned upright.
        if (reader.transformation() & QImageIOHandler::TransformationRotate90) {
            box.transpose();
        }
        reader.setScaledSize(ReducedDecodeSize(full, box));
    }
    const QImage decoded = reader.read();
    if (decoded.isNull()) {
        return {};
    }
    return {decoded, ThumbnailOrigin::ReducedDecode, decoded.size()};
}

// GIF delays of 0 or 1 hundredths mean "as fast as possible"; a timer restarted that often would
// spin, so they play at the common default of a tenth of a second.
int PlayableDelay(int delayMs) {
    const int centiseconds = delayMs / 10;
    return centiseconds < GifFrames::kShortestDelay ? GifFrames::kDefaultDelay : centiseconds;
}

}  // namespace

RenderedThumbnail RenderThumbnailOf(const std::filesystem::path& file, QSize box) {
    QFile device(QtPath(file));
    if (box.isEmpty() || !device.open(QIODevice::ReadOnly)) {
        return {};
    }
    if (auto embedded = EmbeddedThumbnail(device, box)) {
        const QSize decodedSize = embedded->size();
        return {FittedInto(*embedded, box), ThumbnailOrigin::Embedded, decodedSize};
    }
    if (!device.seek(0)) {
        return {};
    }
    RenderedThumbnail rendered = DecodeReduced(device, box);
    if (!rendered.image.isNull()) {
        rendered.image = FittedInto(rendered.image, box);
    }
    return rendered;
}

DecodedPicture::DecodedPicture(std::filesystem::path file) : file_(std::move(file)) {}

QSize DecodedPicture::Size() const {
    {
        const std::lock_guard lock(mutex_);
        if (sizeRead_) {
            return size_;
        }
    }
    // Read outside the lock so painting never waits on the disk.
    QImageReader reader(QtPath(file_));
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90)) {
        size.transpose();
    }
    const std::lock_guard lock(mutex_);
    size_ = size;
    sizeRead_ = true;
    return size_;
}

QImage DecodedPicture::RenderThumbnail(QSize box) const {
    return RenderThumbnailOf(file_, box).image;
}

QImage DecodedPicture::Thumbnail() const {
    const std::lock_guard lock(mutex_);
    return thumbnail_;
}

bool DecodedPicture::HasThumbnail() const {
    const std::lock_guard lock(mutex_);
    return !thumbnail_.isNull();
}

void DecodedPicture::SetThumbnail(QImage thumbnail) {
    const std::lock_guard lock(mutex_);
    thumbnail_ = std::move(thumbnail);
}

std::unique_ptr<backup::PictureSource> DecodedPictureFactory::Make(
    const std::filesystem::path& file) {
    return std::make_unique<DecodedPicture>(file);
}

DecodedPicture* PictureOf(const backup::MediaItem& item) {
    return dynamic_cast<DecodedPicture*>(item.picture.get());
}

GifFrames::GifFrames(const std::filesystem::path& file, QSize box) {
    QImageReader reader(QtPath(file));
    while (FrameCount() < kMaxFrames) {
        const QImage frame = reader.read();
        if (frame.isNull()) {
            break;  // the end, or a damaged frame: keep what came before
        }
        // The delay read with a frame is the wait after showing it.
        frames_.push_back({box.isEmpty() ? frame : FittedInto(frame, box),
                           PlayableDelay(reader.nextImageDelay())});
    }
}

std::size_t GifFrames::Wrapped(int index) const {
    const int count = FrameCount();
    return static_cast<std::size_t>(((index % count) + count) % count);
}

QImage GifFrames::Frame(int index) const {
    if (frames_.empty()) {
        return {};
    }
    return frames_[Wrapped(index)].image;
}

int GifFrames::DelayOf(int index) const {
    if (frames_.empty()) {
        return 0;
    }
    return frames_[Wrapped(index)].delayCentiseconds;
}

}  // namespace pixhaven::ui
