// A photo item's picture: its file and a decoder, and the thumbnail once one was rendered. Nothing
// is decoded at full size and kept: thumbnails come from the backup's own thumbnail file, the
// file's own embedded thumbnail or a reduced-size decode. HEIC files decode through libheif.
#pragma once

#include <QImage>
#include <QSize>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "backup/media.h"
#include "backup/storedcontent.h"

class QImageReader;

namespace pixhaven::ui {

// Where a rendered thumbnail came from, so callers and tests can tell the cheap path was taken.
enum class ThumbnailOrigin { None, Embedded, ReducedDecode, BackupThumbnail };

struct RenderedThumbnail {
    QImage image;  // null when the file cannot be decoded
    ThumbnailOrigin origin = ThumbnailOrigin::None;
    QSize decodedSize;  // the size the decoder produced before the final smooth scale
};

// Renders a thumbnail of `file` that fits `box`, keeping the aspect ratio and the EXIF orientation.
// An encrypted file is decrypted in memory.
RenderedThumbnail RenderThumbnailOf(const backup::StoredContent& file, QSize box);
// The same, from the ready-made thumbnail file `preview` when it decodes (origin
// BackupThumbnail), else from `file`.
RenderedThumbnail RenderThumbnailOf(const backup::StoredContent& file,
                                    const backup::StoredContent& preview, QSize box);

// The picture's own size, upright, from its header; invalid when it cannot be decoded.
QSize PictureSizeOf(const backup::StoredContent& file);

class DecodedPicture final : public backup::PictureSource {
public:
    // `preview`, when its path is not empty, is the backup's own thumbnail of the picture.
    explicit DecodedPicture(backup::StoredContent file, backup::StoredContent preview = {});

    const std::filesystem::path& File() const override { return file_.path; }
    const backup::StoredContent& Content() const { return file_; }
    const backup::StoredContent& Preview() const { return preview_; }

    // The picture's own size, read from its header once; invalid when it cannot be decoded.
    QSize Size() const;

    // Renders a thumbnail that fits `box` (keeping the aspect ratio), decoding at reduced size.
    // Null when the file cannot be decoded. Safe to call from any thread.
    QImage RenderThumbnail(QSize box) const;

    // The thumbnail kept for the item's life: set once by a loader, read by painting.
    QImage Thumbnail() const;
    bool HasThumbnail() const;
    void SetThumbnail(QImage thumbnail);

private:
    backup::StoredContent file_;
    backup::StoredContent preview_;
    mutable std::mutex mutex_;
    mutable QSize size_;
    mutable bool sizeRead_ = false;
    QImage thumbnail_;
};

// Makes DecodedPicture objects for the scan.
class DecodedPictureFactory final : public backup::PictureFactory {
public:
    std::unique_ptr<backup::PictureSource> Make(const backup::StoredContent& file) override;
    std::unique_ptr<backup::PictureSource> MakeWithPreview(
        const backup::StoredContent& file, const backup::StoredContent& preview) override;
};

// The DecodedPicture of an item, or nullptr when it has none.
DecodedPicture* PictureOf(const backup::MediaItem& item);

// The frames of an animated picture (GIF), decoded once and fitted into a box, with their delays
// in hundredths of a second. A still picture has one frame; an undecodable one none.
class GifFrames {
public:
    // Frames beyond this are dropped, so a hostile file cannot fill memory.
    static constexpr int kMaxFrames = 256;
    // Shorter delays (in hundredths) play at the default instead of spinning the timer.
    static constexpr int kShortestDelay = 2;
    static constexpr int kDefaultDelay = 10;

    GifFrames(const backup::StoredContent& file, QSize box);

    int FrameCount() const { return static_cast<int>(frames_.size()); }
    // The frame `index` (wrapping), or a null image when there are no frames.
    QImage Frame(int index) const;
    // The delay after frame `index` (wrapping) in hundredths of a second; 0 without frames.
    // A delay of 0 or 1 reads as kDefaultDelay.
    int DelayOf(int index) const;

private:
    void ReadFrames(QImageReader& reader, QSize box);
    std::size_t Wrapped(int index) const;

    struct Entry {
        QImage image;
        int delayCentiseconds = 0;
    };
    std::vector<Entry> frames_;
};

}  // namespace pixhaven::ui
