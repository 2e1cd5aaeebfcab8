// Decoded pictures: header sizes, thumbnails from the embedded EXIF preview or a reduced-size
// decode (HEIC through libheif), the kept thumbnail behind a mutex, and the frames of animated
// GIFs. Plain files are read where they lie; an encrypted backup's are decrypted into memory, the
// head first, since headers and embedded thumbnails lie there, and the rest only for a full decode.
#include "ui/picture.h"

#include <libheif/heif.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTransform>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "backup/exifthumb.h"
#include "backup/storedcontent.h"

namespace pixhaven::ui {
namespace {

// Native paths are bytes in the file system's encoding on some systems, UTF-16 on others.
[[maybe_unused]] QString QtPathText(const std::string& native) {
    return QFile::decodeName(QByteArray::fromStdString(native));
}
[[maybe_unused]] QString QtPathText(const std::wstring& native) {
    return QString::fromStdWString(native);
}

QString QtPath(const std::filesystem::path& file) {
    return QtPathText(file.native());
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

// A decrypted picture is held in memory whole: far above any camera's file, and a record that
// claims more is not decoded at all.
constexpr std::uint64_t kMaxDecryptedBytes = std::uint64_t{256} << 20;

// An encrypted picture's content decrypted in memory, as a device to decode from: its first
// `head` bytes, or all of it. Nothing decrypted is written anywhere.
class DecryptedContent {
public:
    DecryptedContent(const backup::StoredContent& content, std::optional<std::size_t> head)
        : bytes_(head ? backup::ReadContentHead(content, *head)
                      : backup::ReadContent(content, kMaxDecryptedBytes)) {
        if (bytes_) {
            // The buffer borrows the bytes: nothing writes to it, so nothing is copied.
            buffer_.setData(
                QByteArray::fromRawData(bytes_->data(), static_cast<qsizetype>(bytes_->size())));
            buffer_.open(QIODevice::ReadOnly);
        }
    }
    DecryptedContent(const DecryptedContent&) = delete;
    DecryptedContent& operator=(const DecryptedContent&) = delete;

    // Null when the content cannot be read or does not decrypt.
    QIODevice* Device() { return bytes_ ? &buffer_ : nullptr; }
    std::size_t Size() const { return bytes_ ? bytes_->size() : 0; }

private:
    std::optional<std::string> bytes_;
    QBuffer buffer_;  // after the bytes it reads
};

// The whole content of a picture whose head a decoder has already looked at, from its start; null
// when it cannot be read.
using WholeContent = std::function<QIODevice*()>;

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
// shows of it (bench_thumbnails: a 12 MP photo with and without its preview).
std::optional<QImage> EmbeddedThumbnail(QIODevice& file, QSize box) {
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
// still covers the box. JPEG decodes exactly at these (DCT scaling), so nothing is rescaled twice
// (bench_thumbnails).
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

RenderedThumbnail DecodeReduced(QIODevice& file, QSize box) {
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

// ---- HEIC through libheif ----

struct HeifContextFree {
    void operator()(heif_context* context) const noexcept { heif_context_free(context); }
};
struct HeifHandleRelease {
    void operator()(heif_image_handle* handle) const noexcept { heif_image_handle_release(handle); }
};
struct HeifImageRelease {
    void operator()(heif_image* image) const noexcept { heif_image_release(image); }
};
using HeifContext = std::unique_ptr<heif_context, HeifContextFree>;
using HeifHandle = std::unique_ptr<heif_image_handle, HeifHandleRelease>;
using HeifImage = std::unique_ptr<heif_image, HeifImageRelease>;

// Larger pictures are refused before decoding: a hostile header must not make the loader allocate
// gigabytes. 10,000 x 10,000 is well above any phone camera.
constexpr std::int64_t kMaxHeifPixels = std::int64_t{10000} * 10000;

// The decoder's plugins are registered once, before the first picture on any loader thread.
void EnsureHeifReady() {
    static const bool ready = heif_init(nullptr).code == heif_error_Ok;
    static_cast<void>(ready);
}

// The stored files have no extension: HEIC is recognised by its "ftyp" brand.
bool IsHeif(QIODevice& file) {
    const QByteArray head = file.peek(32);
    return head.size() >= 12 &&
           heif_check_filetype(reinterpret_cast<const std::uint8_t*>(head.constData()),
                               static_cast<int>(head.size())) != heif_filetype_no;
}

QIODevice& FileOf(void* userdata) {
    return *static_cast<QIODevice*>(userdata);
}

// libheif reads through the device the caller opened: a QFile, so that paths in any language open
// everywhere, or the decrypted bytes in memory.
constexpr heif_reader kQtFileReader{
    1,
    [](void* userdata) -> std::int64_t { return FileOf(userdata).pos(); },
    [](void* data, std::size_t size, void* userdata) -> int {
        const auto wanted = static_cast<qint64>(size);
        return FileOf(userdata).read(static_cast<char*>(data), wanted) == wanted ? 0 : 1;
    },
    [](std::int64_t position, void* userdata) -> int {
        return FileOf(userdata).seek(position) ? 0 : 1;
    },
    [](std::int64_t target, void* userdata) -> heif_reader_grow_status {
        return target <= FileOf(userdata).size() ? heif_reader_grow_status_size_reached
                                                 : heif_reader_grow_status_size_beyond_eof;
    },
};

// The primary picture of an open HEIC file. `device` must outlive what is returned, and the
// context must outlive the handle.
HeifHandle PrimaryHandle(heif_context& context, QIODevice& device) {
    if (!device.seek(0) ||
        heif_context_read_from_reader(&context, &kQtFileReader, &device, nullptr).code !=
            heif_error_Ok) {
        return nullptr;
    }
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(&context, &handle).code != heif_error_Ok) {
        return nullptr;
    }
    return HeifHandle(handle);
}

HeifContext OpenHeif() {
    EnsureHeifReady();
    HeifContext context(heif_context_alloc());
    if (context) {
        heif_context_set_maximum_image_size_limit(context.get(), 10000);
        // The pane already renders on two threads; tiles decode on the caller's.
        heif_context_set_max_decoding_threads(context.get(), 0);
    }
    return context;
}

QSize HandleSize(const heif_image_handle& handle) {
    return {heif_image_handle_get_width(&handle), heif_image_handle_get_height(&handle)};
}

// The first thumbnail the file carries that is at least as large as what the box shows.
HeifHandle LargeEnoughThumbnail(const heif_image_handle& primary, QSize box) {
    std::array<heif_item_id, 4> ids{};
    const int count = heif_image_handle_get_list_of_thumbnail_IDs(&primary, ids.data(),
                                                                  static_cast<int>(ids.size()));
    const QSize shown = HandleSize(primary).scaled(box, Qt::KeepAspectRatio);
    for (int i = 0; i < count; ++i) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(&primary, ids[static_cast<std::size_t>(i)], &raw)
                .code != heif_error_Ok) {
            continue;
        }
        HeifHandle thumbnail(raw);
        const QSize size = HandleSize(*thumbnail);
        if (size.width() >= shown.width() && size.height() >= shown.height()) {
            return thumbnail;
        }
    }
    return nullptr;
}

// Decodes `handle` upright and fits it into `box`; null when the data does not decode.
QImage DecodeHeifFitted(const heif_image_handle& handle, QSize box) {
    const QSize size = HandleSize(handle);
    if (size.isEmpty() || std::int64_t{size.width()} * size.height() > kMaxHeifPixels) {
        return {};
    }
    heif_image* raw = nullptr;
    if (heif_decode_image(&handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
            .code != heif_error_Ok) {
        return {};
    }
    const HeifImage image(raw);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < 3 * width) {
        return {};
    }
    // The view borrows libheif's pixels: the scaled copy must be made before they are released.
    const QImage view(pixels, width, height, stride, QImage::Format_RGB888);
    return FittedInto(view, box);
}

RenderedThumbnail RenderHeif(QIODevice& device, QSize box) {
    const HeifContext context = OpenHeif();
    const HeifHandle primary = context ? PrimaryHandle(*context, device) : nullptr;
    if (!primary) {
        return {};
    }
    if (const HeifHandle thumbnail = LargeEnoughThumbnail(*primary, box)) {
        QImage image = DecodeHeifFitted(*thumbnail, box);
        if (!image.isNull()) {
            return {std::move(image), ThumbnailOrigin::Embedded, HandleSize(*thumbnail)};
        }
    }
    QImage image = DecodeHeifFitted(*primary, box);
    if (image.isNull()) {
        return {};
    }
    return {std::move(image), ThumbnailOrigin::ReducedDecode, HandleSize(*primary)};
}

QSize HeifSize(QIODevice& device) {
    const HeifContext context = OpenHeif();
    const HeifHandle primary = context ? PrimaryHandle(*context, device) : nullptr;
    return primary ? HandleSize(*primary) : QSize();
}

// GIF delays of 0 or 1 hundredths mean "as fast as possible"; a timer restarted that often would
// spin, so they play at the common default of a tenth of a second.
int PlayableDelay(int delayMs) {
    const int centiseconds = delayMs / 10;
    return centiseconds < GifFrames::kShortestDelay ? GifFrames::kDefaultDelay : centiseconds;
}

// The thumbnail from the picture's head when it carries a large enough one, else from a
// reduced-size decode of the whole.
RenderedThumbnail RenderFrom(QIODevice& head, const WholeContent& whole, QSize box) {
    if (IsHeif(head)) {
        QIODevice* all = whole();
        return all != nullptr ? RenderHeif(*all, box) : RenderedThumbnail{};
    }
    if (auto embedded = EmbeddedThumbnail(head, box)) {
        const QSize decodedSize = embedded->size();
        return {FittedInto(*embedded, box), ThumbnailOrigin::Embedded, decodedSize};
    }
    QIODevice* all = whole();
    if (all == nullptr) {
        return {};
    }
    RenderedThumbnail rendered = DecodeReduced(*all, box);
    if (!rendered.image.isNull()) {
        rendered.image = FittedInto(rendered.image, box);
    }
    return rendered;
}

QSize UprightSize(QImageReader& reader) {
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90)) {
        size.transpose();
    }
    return size;
}

QSize EncryptedPictureSize(const backup::StoredContent& file) {
    DecryptedContent head(file, backup::kExifSearchBytes);
    if (head.Device() == nullptr) {
        return {};
    }
    if (!IsHeif(*head.Device())) {
        QImageReader reader(head.Device());
        const QSize size = UprightSize(reader);
        // A header that lies further on needs the whole, unless the head was all there is.
        if (size.isValid() || head.Size() < backup::kExifSearchBytes) {
            return size;
        }
    }
    DecryptedContent whole(file, std::nullopt);
    if (whole.Device() == nullptr) {
        return {};
    }
    if (IsHeif(*whole.Device())) {
        return HeifSize(*whole.Device());
    }
    QImageReader reader(whole.Device());
    return UprightSize(reader);
}

}  // namespace

RenderedThumbnail RenderThumbnailOf(const backup::StoredContent& file, QSize box) {
    if (box.isEmpty()) {
        return {};
    }
    if (!file.encrypted) {
        QFile device(QtPath(file.path));
        if (!device.open(QIODevice::ReadOnly)) {
            return {};
        }
        return RenderFrom(
            device, [&device]() -> QIODevice* { return device.seek(0) ? &device : nullptr; }, box);
    }
    DecryptedContent head(file, backup::kExifSearchBytes);
    if (head.Device() == nullptr) {
        return {};
    }
    std::optional<DecryptedContent> whole;
    return RenderFrom(
        *head.Device(),
        [&whole, &file]() -> QIODevice* { return whole.emplace(file, std::nullopt).Device(); },
        box);
}

RenderedThumbnail RenderThumbnailOf(const backup::StoredContent& file,
                                    const backup::StoredContent& preview, QSize box) {
    if (!preview.path.empty()) {
        RenderedThumbnail rendered = RenderThumbnailOf(preview, box);
        if (!rendered.image.isNull()) {
            rendered.origin = ThumbnailOrigin::BackupThumbnail;
            return rendered;
        }
    }
    return RenderThumbnailOf(file, box);
}

QSize PictureSizeOf(const backup::StoredContent& file) {
    if (file.encrypted) {
        return EncryptedPictureSize(file);
    }
    QFile device(QtPath(file.path));
    if (device.open(QIODevice::ReadOnly) && IsHeif(device)) {
        return HeifSize(device);
    }
    device.close();
    QImageReader reader(QtPath(file.path));
    return UprightSize(reader);
}

DecodedPicture::DecodedPicture(backup::StoredContent file, backup::StoredContent preview)
    : file_(std::move(file)), preview_(std::move(preview)) {}

QSize DecodedPicture::Size() const {
    {
        const std::lock_guard lock(mutex_);
        if (sizeRead_) {
            return size_;
        }
    }
    // Read outside the lock so painting never waits on the disk. A photo whose own header is
    // unreadable is still shown by its backup thumbnail, which has its shape.
    QSize size = PictureSizeOf(file_);
    if (!size.isValid() && !preview_.path.empty()) {
        size = PictureSizeOf(preview_);
    }
    const std::lock_guard lock(mutex_);
    size_ = size;
    sizeRead_ = true;
    return size_;
}

QImage DecodedPicture::RenderThumbnail(QSize box) const {
    return RenderThumbnailOf(file_, preview_, box).image;
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
    const backup::StoredContent& file) {
    return std::make_unique<DecodedPicture>(file);
}

std::unique_ptr<backup::PictureSource> DecodedPictureFactory::MakeWithPreview(
    const backup::StoredContent& file, const backup::StoredContent& preview) {
    return std::make_unique<DecodedPicture>(file, preview);
}

DecodedPicture* PictureOf(const backup::MediaItem& item) {
    return dynamic_cast<DecodedPicture*>(item.picture.get());
}

GifFrames::GifFrames(const backup::StoredContent& file, QSize box) {
    if (!file.encrypted) {
        QImageReader reader(QtPath(file.path));
        ReadFrames(reader, box);
        return;
    }
    DecryptedContent whole(file, std::nullopt);
    if (whole.Device() != nullptr) {
        QImageReader reader(whole.Device());
        ReadFrames(reader, box);
    }
}

void GifFrames::ReadFrames(QImageReader& reader, QSize box) {
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
