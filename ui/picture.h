// A photo item's picture: its file and a decoder, and the thumbnail once one was rendered. Nothing
// is decoded at full size and kept: thumbnails come from the file's own embedded thumbnail or from
// a reduced-size decode.
#pragma once

#include <QImage>
#include <QSize>
#include <filesystem>
#include <memory>
#include <mutex>

#include "backup/media.h"

namespace pixhaven::ui {

class DecodedPicture final : public backup::PictureSource {
public:
    explicit DecodedPicture(std::filesystem::path file);

    const std::filesystem::path& File() const override { return file_; }

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
    std::filesystem::path file_;
    mutable std::mutex mutex_;
    mutable QSize size_;
    mutable bool sizeRead_ = false;
    QImage thumbnail_;
};

// Makes DecodedPicture objects for the scan.
class DecodedPictureFactory final : public backup::PictureFactory {
public:
    std::unique_ptr<backup::PictureSource> Make(const std::filesystem::path& file) override;
};

// The DecodedPicture of an item, or nullptr when it has none.
DecodedPicture* PictureOf(const backup::MediaItem& item);

}  // namespace pixhaven::ui
