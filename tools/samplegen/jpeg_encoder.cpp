// libjpeg compression into memory, and the EXIF segment of camera photos through libexif.
#include "tools/samplegen/jpeg_encoder.h"

#include <jpeglib.h>
#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace pixhaven::samplegen {
namespace {

// libjpeg reports errors by calling error_exit, which by default ends the process; throw instead
// so a failure reaches the caller. libjpeg is C, but it only calls back into this C++ frame.
[[noreturn]] void ThrowJpegError(j_common_ptr info) {
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    throw std::runtime_error(std::string("JPEG encoding failed: ") + message);
}

struct CompressDeleter {
    void operator()(jpeg_compress_struct* info) const {
        jpeg_destroy_compress(info);
        delete info;
    }
};

struct MemoryOutput {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~MemoryOutput() { std::free(buffer); }
};

std::string Compress(const RgbImage& image, int quality, const std::string* app1) {
    jpeg_error_mgr errors{};
    std::unique_ptr<jpeg_compress_struct, CompressDeleter> info(new jpeg_compress_struct{});
    info->err = jpeg_std_error(&errors);
    errors.error_exit = ThrowJpegError;
    jpeg_create_compress(info.get());
    MemoryOutput output;
    jpeg_mem_dest(info.get(), &output.buffer, &output.size);
    info->image_width = static_cast<JDIMENSION>(image.Width());
    info->image_height = static_cast<JDIMENSION>(image.Height());
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info.get());
    jpeg_set_quality(info.get(), quality, TRUE);
    info->write_JFIF_header = app1 == nullptr ? TRUE : FALSE;
    jpeg_start_compress(info.get(), TRUE);
    if (app1 != nullptr) {
        jpeg_write_marker(info.get(), JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1->data()),
                          static_cast<unsigned int>(app1->size()));
    }
    while (info->next_scanline < info->image_height) {
        auto* row = const_cast<JSAMPLE*>(image.Row(static_cast<int>(info->next_scanline)));
        jpeg_write_scanlines(info.get(), &row, 1);
    }
    jpeg_finish_compress(info.get());
    return std::string(reinterpret_cast<const char*>(output.buffer), output.size);
}

struct ExifMemUnref {
    void operator()(ExifMem* mem) const { exif_mem_unref(mem); }
};
struct ExifDataUnref {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// An EXIF block put together entry by entry; values are stored in the block's byte order.
class ExifBuilder {
public:
    explicit ExifBuilder(bool bigEndian)
        : mem_(exif_mem_new_default()), data_(mem_ ? exif_data_new_mem(mem_.get()) : nullptr) {
        if (!data_) {
            throw std::bad_alloc();
        }
        // Only the entries added here: no mandatory ones filled in with today's date.
        exif_data_unset_option(data_.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
        order_ = bigEndian ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL;
        exif_data_set_byte_order(data_.get(), order_);
    }

    void Ascii(ExifIfd ifd, ExifTag tag, const std::string& text) {
        std::memcpy(Add(ifd, tag, EXIF_FORMAT_ASCII, text.size() + 1), text.c_str(),
                    text.size() + 1);
    }
    void Undefined(ExifIfd ifd, ExifTag tag, std::string_view bytes) {
        std::memcpy(Add(ifd, tag, EXIF_FORMAT_UNDEFINED, bytes.size()), bytes.data(), bytes.size());
    }
    void Short(ExifIfd ifd, ExifTag tag, ExifShort value) {
        exif_set_short(Add(ifd, tag, EXIF_FORMAT_SHORT, 1), order_, value);
    }
    void Long(ExifIfd ifd, ExifTag tag, ExifLong value) {
        exif_set_long(Add(ifd, tag, EXIF_FORMAT_LONG, 1), order_, value);
    }
    void Rational(ExifIfd ifd, ExifTag tag, ExifLong numerator, ExifLong denominator) {
        exif_set_rational(Add(ifd, tag, EXIF_FORMAT_RATIONAL, 1), order_, {numerator, denominator});
    }
    // libexif points IFD1 at the thumbnail when it saves.
    void Thumbnail(const std::string& jpeg) {
        auto* copy = static_cast<unsigned char*>(Allocate(jpeg.size()));
        std::memcpy(copy, jpeg.data(), jpeg.size());
        data_->data = copy;
        data_->size = static_cast<unsigned int>(jpeg.size());
    }

    // "Exif\0\0" and the TIFF structure.
    std::string Save() {
        unsigned char* bytes = nullptr;
        unsigned int size = 0;
        exif_data_save_data(data_.get(), &bytes, &size);
        if (bytes == nullptr) {
            throw std::runtime_error("libexif could not write the EXIF block");
        }
        std::string block(reinterpret_cast<const char*>(bytes), size);
        exif_mem_free(mem_.get(), bytes);
        return block;
    }

private:
    void* Allocate(std::size_t size) {
        void* memory = exif_mem_alloc(mem_.get(), static_cast<ExifLong>(size));
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return memory;
    }

    // A new entry in `ifd` and its value bytes, zeroed.
    unsigned char* Add(ExifIfd ifd, ExifTag tag, ExifFormat format, std::size_t components) {
        const std::size_t size = exif_format_get_size(format) * components;
        auto* value = static_cast<unsigned char*>(Allocate(size));
        ExifEntry* entry = exif_entry_new_mem(mem_.get());
        if (entry == nullptr) {
            exif_mem_free(mem_.get(), value);
            throw std::bad_alloc();
        }
        entry->tag = tag;
        entry->format = format;
        entry->components = components;
        entry->data = value;
        entry->size = static_cast<unsigned int>(size);
        exif_content_add_entry(data_->ifd[ifd], entry);
        exif_entry_unref(entry);  // the IFD holds it now
        return value;
    }

    std::unique_ptr<ExifMem, ExifMemUnref> mem_;
    std::unique_ptr<ExifData, ExifDataUnref> data_;
    ExifByteOrder order_ = EXIF_BYTE_ORDER_MOTOROLA;
};

}  // namespace

std::string EncodeJpeg(const RgbImage& image, int quality) {
    return Compress(image, quality, nullptr);
}

std::string BuildExifSegment(const CameraFacts& camera, int width, int height,
                             const std::string& thumbnailJpeg) {
    ExifBuilder exif(camera.bigEndian);
    exif.Ascii(EXIF_IFD_0, EXIF_TAG_MAKE, camera.make);
    exif.Ascii(EXIF_IFD_0, EXIF_TAG_MODEL, camera.model);
    exif.Short(EXIF_IFD_0, EXIF_TAG_ORIENTATION, 1);
    exif.Rational(EXIF_IFD_0, EXIF_TAG_X_RESOLUTION, 72, 1);
    exif.Rational(EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION, 72, 1);
    exif.Short(EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT, 2);  // inches
    exif.Ascii(EXIF_IFD_0, EXIF_TAG_DATE_TIME, camera.dateTime);

    exif.Undefined(EXIF_IFD_EXIF, EXIF_TAG_EXIF_VERSION, "0221");
    exif.Ascii(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, camera.dateTime);
    exif.Ascii(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_DIGITIZED, camera.dateTime);
    exif.Short(EXIF_IFD_EXIF, EXIF_TAG_COLOR_SPACE, 1);  // sRGB
    exif.Long(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, static_cast<ExifLong>(width));
    exif.Long(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION, static_cast<ExifLong>(height));

    exif.Short(EXIF_IFD_1, EXIF_TAG_COMPRESSION, 6);  // JPEG
    exif.Rational(EXIF_IFD_1, EXIF_TAG_X_RESOLUTION, 72, 1);
    exif.Rational(EXIF_IFD_1, EXIF_TAG_Y_RESOLUTION, 72, 1);
    exif.Short(EXIF_IFD_1, EXIF_TAG_RESOLUTION_UNIT, 2);
    exif.Thumbnail(thumbnailJpeg);
    return exif.Save();
}

std::string EncodeCameraJpeg(const RgbImage& image, const CameraFacts& camera) {
    // 160x120 is the classic EXIF thumbnail; keep the picture's aspect.
    const int thumbWidth = image.Width() >= image.Height() ? 160 : 120;
    const int thumbHeight = image.Width() >= image.Height() ? 120 : 160;
    const std::string thumbnail = EncodeJpeg(image.Shrunk(thumbWidth, thumbHeight), 75);
    const std::string exif = BuildExifSegment(camera, image.Width(), image.Height(), thumbnail);
    if (exif.size() > 65533) {
        throw std::length_error("EXIF block does not fit one APP1 segment");
    }
    return Compress(image, 88, &exif);
}

}  // namespace pixhaven::samplegen
