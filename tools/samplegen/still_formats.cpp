// The PNG and TIFF writers over libpng and libtiff, and a BMP writer of our own.
#include "tools/samplegen/still_formats.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace pixhaven::samplegen {
namespace {

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::vector<std::uint8_t> WithAlphaRamp(const RgbImage& image) {
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(image.Width()) *
                 static_cast<std::size_t>(image.Height()) * 4);
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.At(x, y);
            rgba.insert(rgba.end(),
                        {c.r, c.g, c.b, static_cast<std::uint8_t>(255 - x * 128 / image.Width())});
        }
    }
    return rgba;
}

// A file in memory for libtiff's client interface: it writes the strip, then seeks back to
// patch offsets, so it needs a seekable buffer rather than a stream.
struct MemoryFile {
    std::string bytes;
    std::size_t at = 0;
};

MemoryFile& FileOf(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t ReadMemory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = FileOf(handle);
    if (file.at >= file.bytes.size()) {
        return 0;
    }
    const std::size_t count = std::min(static_cast<std::size_t>(size), file.bytes.size() - file.at);
    std::memcpy(buffer, file.bytes.data() + file.at, count);
    file.at += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteMemory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = FileOf(handle);
    const auto count = static_cast<std::size_t>(size);
    if (file.bytes.size() < file.at + count) {
        file.bytes.resize(file.at + count);
    }
    std::memcpy(file.bytes.data() + file.at, buffer, count);
    file.at += count;
    return size;
}

toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& file = FileOf(handle);
    const std::size_t base = whence == SEEK_CUR   ? file.at
                             : whence == SEEK_END ? file.bytes.size()
                                                  : 0;
    file.at = base + static_cast<std::size_t>(offset);
    return file.at;
}

int CloseMemory(thandle_t) {
    return 0;
}

toff_t SizeOfMemory(thandle_t handle) {
    return FileOf(handle).bytes.size();
}

int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

struct TiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

void SetTiffFields(TIFF* tiff, const RgbImage& image) {
    const auto width = static_cast<std::uint32_t>(image.Width());
    const auto height = static_cast<std::uint32_t>(image.Height());
    const bool set = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 72.0) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 72.0) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) == 1;
    if (!set) {
        throw std::runtime_error("libtiff refused a TIFF field");
    }
}

}  // namespace

std::string EncodePng(const RgbImage& image, bool withAlpha) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.Width());
    png.height = static_cast<png_uint_32>(image.Height());
    png.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const std::vector<std::uint8_t> rgba =
        withAlpha ? WithAlphaRamp(image) : std::vector<std::uint8_t>{};
    const void* pixels = withAlpha ? rgba.data() : image.Pixels().data();
    std::string out(PNG_IMAGE_PNG_SIZE_MAX(png), '\0');
    png_alloc_size_t size = out.size();
    if (png_image_write_to_memory(&png, out.data(), &size, 0, pixels, 0, nullptr) == 0) {
        throw std::runtime_error(std::string("PNG encoding failed: ") + png.message);
    }
    out.resize(size);
    return out;
}

// No library we use writes BMP, and the format is one fixed header and padded rows.
std::string EncodeBmp(const RgbImage& image) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.Width()) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(image.Height());
    std::string out = "BM";
    PutLittleEndian(out, 14 + 40 + pixelBytes, 4);  // file size
    PutLittleEndian(out, 0, 4);                     // reserved
    PutLittleEndian(out, 14 + 40, 4);               // pixel data offset
    PutLittleEndian(out, 40, 4);                    // BITMAPINFOHEADER
    PutLittleEndian(out, static_cast<std::uint32_t>(image.Width()), 4);
    PutLittleEndian(out, static_cast<std::uint32_t>(image.Height()), 4);  // positive: bottom-up
    PutLittleEndian(out, 1, 2);                                           // planes
    PutLittleEndian(out, 24, 2);                                          // bits per pixel
    PutLittleEndian(out, 0, 4);                                           // BI_RGB
    PutLittleEndian(out, pixelBytes, 4);
    PutLittleEndian(out, 2835, 4);  // 72 dpi in pixels per metre
    PutLittleEndian(out, 2835, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
    for (int y = image.Height() - 1; y >= 0; --y) {
        std::uint32_t written = 0;
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb c = image.At(x, y);
            out += static_cast<char>(c.b);
            out += static_cast<char>(c.g);
            out += static_cast<char>(c.r);
            written += 3;
        }
        out.append(rowBytes - written, '\0');
    }
    return out;
}

std::string EncodeTiff(const RgbImage& image, bool bigEndian) {
    MemoryFile file;
    {
        const std::unique_ptr<TIFF, TiffClose> tiff(
            TIFFClientOpen("sample.tiff", bigEndian ? "wb" : "wl", &file, ReadMemory, WriteMemory,
                           SeekMemory, CloseMemory, SizeOfMemory, MapNothing, UnmapNothing));
        if (!tiff) {
            throw std::runtime_error("libtiff could not start a TIFF");
        }
        SetTiffFields(tiff.get(), image);
        std::vector<std::uint8_t> strip = image.Pixels();  // libtiff takes a writable buffer
        if (TIFFWriteEncodedStrip(tiff.get(), 0, strip.data(),
                                  static_cast<tmsize_t>(strip.size())) < 0) {
            throw std::runtime_error("libtiff could not write the pixels");
        }
        if (TIFFFlush(tiff.get()) != 1) {  // writes the directory after the strip
            throw std::runtime_error("libtiff could not write the TIFF directory");
        }
    }
    return std::move(file.bytes);
}

}  // namespace pixhaven::samplegen
