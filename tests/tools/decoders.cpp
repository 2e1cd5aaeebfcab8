// The test decoders: each library reads from memory and reports failure instead of ending the
// process.
#include "tests/tools/decoders.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <libexif/exif-data.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace pixhaven::test {
namespace {

struct JpegFailure {};

// A read-only file in memory for libtiff and giflib.
struct MemoryReader {
    std::string_view bytes;
    std::size_t at = 0;

    std::size_t Read(void* buffer, std::size_t size) {
        if (at >= bytes.size()) {
            return 0;
        }
        const std::size_t count = std::min(size, bytes.size() - at);
        std::memcpy(buffer, bytes.data() + at, count);
        at += count;
        return count;
    }
};

MemoryReader& ReaderOf(thandle_t handle) {
    return *static_cast<MemoryReader*>(handle);
}

tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    return static_cast<tmsize_t>(ReaderOf(handle).Read(buffer, static_cast<std::size_t>(size)));
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
    MemoryReader& reader = ReaderOf(handle);
    const std::size_t base = whence == SEEK_CUR   ? reader.at
                             : whence == SEEK_END ? reader.bytes.size()
                                                  : 0;
    reader.at = base + static_cast<std::size_t>(offset);
    return reader.at;
}
int TiffClose(thandle_t) {
    return 0;
}
toff_t TiffSize(thandle_t handle) {
    return ReaderOf(handle).bytes.size();
}
int TiffMap(thandle_t, void**, toff_t*) {
    return 0;
}
void TiffUnmap(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

int GifRead(GifFileType* gif, GifByteType* buffer, int size) {
    return static_cast<int>(
        static_cast<MemoryReader*>(gif->UserData)->Read(buffer, static_cast<std::size_t>(size)));
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

bool IsLoopExtension(const ExtensionBlock& block) {
    return block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
           std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0;
}

struct ExifUnref {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

std::optional<std::uint32_t> ExifNumber(ExifData* exif, ExifIfd ifd, ExifTag tag) {
    const ExifEntry* entry = exif_content_get_entry(exif->ifd[ifd], tag);
    if (entry == nullptr || entry->components != 1) {
        return std::nullopt;
    }
    const ExifByteOrder order = exif_data_get_byte_order(exif);
    switch (entry->format) {
        case EXIF_FORMAT_SHORT:
            return exif_get_short(entry->data, order);
        case EXIF_FORMAT_LONG:
            return exif_get_long(entry->data, order);
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<DecodedImage> DecodeJpeg(std::string_view bytes) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = [](j_common_ptr) { throw JpegFailure{}; };
    errors.output_message = [](j_common_ptr) {};
    DecodedImage image;
    try {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        image.width = static_cast<int>(info.output_width);
        image.height = static_cast<int>(info.output_height);
        image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row =
                image.rgb.data() + static_cast<std::size_t>(info.output_scanline) * image.width * 3;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    } catch (const JpegFailure&) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_destroy_decompress(&info);
    return image;
}

std::optional<DecodedImage> DecodePng(std::string_view bytes) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) == 0) {
        return std::nullopt;
    }
    // Read with alpha, so no channel is blended with a background, then drop it.
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr) == 0) {
        png_image_free(&png);
        return std::nullopt;
    }
    DecodedImage image{static_cast<int>(png.width), static_cast<int>(png.height), {}};
    for (std::size_t at = 0; at < rgba.size(); at += 4) {
        image.rgb.insert(image.rgb.end(), rgba.begin() + at, rgba.begin() + at + 3);
    }
    return image;
}

std::optional<DecodedImage> DecodeTiff(std::string_view bytes) {
    MemoryReader reader{bytes};
    const std::unique_ptr<TIFF, TiffCloser> tiff(
        TIFFClientOpen("test.tiff", "rm", &reader, TiffRead, TiffWrite, TiffSeek, TiffClose,
                       TiffSize, TiffMap, TiffUnmap));
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!tiff || TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> abgr(static_cast<std::size_t>(width) * height);
    if (TIFFReadRGBAImageOriented(tiff.get(), width, height, abgr.data(), ORIENTATION_TOPLEFT, 0) !=
        1) {
        return std::nullopt;
    }
    DecodedImage image{static_cast<int>(width), static_cast<int>(height), {}};
    for (const std::uint32_t pixel : abgr) {
        image.rgb.insert(image.rgb.end(), {static_cast<std::uint8_t>(TIFFGetR(pixel)),
                                           static_cast<std::uint8_t>(TIFFGetG(pixel)),
                                           static_cast<std::uint8_t>(TIFFGetB(pixel))});
    }
    return image;
}

// 24-bit bottom-up BMP with rows padded to four bytes.
std::optional<DecodedImage> DecodeBmp(std::string_view bytes) {
    if (bytes.size() < 54 || bytes.substr(0, 2) != "BM" || LittleEndianAt(bytes, 28, 2) != 24) {
        return std::nullopt;
    }
    const auto width = static_cast<int>(LittleEndianAt(bytes, 18, 4));
    const auto height = static_cast<int>(LittleEndianAt(bytes, 22, 4));
    const std::size_t offset = LittleEndianAt(bytes, 10, 4);
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (offset + rowBytes * height != bytes.size()) {
        return std::nullopt;
    }
    DecodedImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        const std::size_t row = offset + rowBytes * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(x) * 3;
            image.rgb.push_back(static_cast<std::uint8_t>(bytes[at + 2]));
            image.rgb.push_back(static_cast<std::uint8_t>(bytes[at + 1]));
            image.rgb.push_back(static_cast<std::uint8_t>(bytes[at]));
        }
    }
    return image;
}

GifInfo DecodeGif(std::string_view bytes) {
    GifInfo info;
    MemoryReader reader{bytes};
    int error = 0;
    const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, GifRead, &error));
    if (!gif) {
        return info;
    }
    info.width = gif->SWidth;
    info.height = gif->SHeight;
    info.complete = DGifSlurp(gif.get()) == GIF_OK;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& frame = gif->SavedImages[i];
        const auto pixels = static_cast<std::size_t>(frame.ImageDesc.Width) *
                            static_cast<std::size_t>(frame.ImageDesc.Height);
        if (frame.RasterBits != nullptr) {
            info.frames.emplace_back(frame.RasterBits, frame.RasterBits + pixels);
        }
        GraphicsControlBlock control{};
        if (DGifSavedExtensionToGCB(gif.get(), i, &control) == GIF_OK) {
            info.delays.push_back(control.DelayTime);
        }
        info.loops |=
            std::any_of(frame.ExtensionBlocks, frame.ExtensionBlocks + frame.ExtensionBlockCount,
                        IsLoopExtension);
    }
    return info;
}

std::optional<ExifInfo> ReadExif(std::string_view jpeg) {
    const std::unique_ptr<ExifData, ExifUnref> exif(exif_data_new());
    if (!exif) {
        return std::nullopt;
    }
    // What the file holds, without the entries libexif would add to follow the standard.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), reinterpret_cast<const unsigned char*>(jpeg.data()),
                        static_cast<unsigned int>(jpeg.size()));
    if (exif->ifd[EXIF_IFD_0]->count == 0) {
        return std::nullopt;
    }
    ExifInfo info;
    info.bigEndian = exif_data_get_byte_order(exif.get()) == EXIF_BYTE_ORDER_MOTOROLA;
    info.pixelWidth = ExifNumber(exif.get(), EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION);
    info.pixelHeight = ExifNumber(exif.get(), EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION);
    info.thumbnailCompression = ExifNumber(exif.get(), EXIF_IFD_1, EXIF_TAG_COMPRESSION);
    if (exif->data != nullptr) {
        info.thumbnail.assign(reinterpret_cast<const char*>(exif->data), exif->size);
    }
    return info;
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) {
        return 255.0;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    }
    return sum / static_cast<double>(a.size());
}

}  // namespace pixhaven::test
