// libjpeg compression into memory and the EXIF segment of camera photos.
#include "tools/samplegen/jpeg_encoder.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

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

// Builds one TIFF-structured block whose byte order is chosen at construction.
class TiffBytes {
public:
    explicit TiffBytes(bool bigEndian) : bigEndian_(bigEndian) {}

    std::string& Bytes() { return bytes_; }
    std::size_t Size() const { return bytes_.size(); }
    void U16(std::uint32_t value) { Put(value, 2); }
    void U32(std::uint32_t value) { Put(value, 4); }
    void PatchU32(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian_ ? 8 * (3 - i) : 8 * i;
            bytes_[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
        }
    }

private:
    void Put(std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = bigEndian_ ? 8 * (size - 1 - i) : 8 * i;
            bytes_ += static_cast<char>((value >> shift) & 0xFF);
        }
    }
    bool bigEndian_;
    std::string bytes_;
};

// One IFD entry, with its value inline when it fits in four bytes and in `extra` otherwise.
struct IfdEntry {
    std::uint16_t tag;
    std::uint16_t type;  // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED
    std::uint32_t count;
    std::uint32_t inlineValue = 0;
    std::string extra;          // raw bytes already in the block's order, or ASCII text
    bool patchedLater = false;  // value filled in once the target offset is known
};

IfdEntry Ascii(std::uint16_t tag, const std::string& text) {
    std::string bytes = text;
    bytes += '\0';
    return {tag, 2, static_cast<std::uint32_t>(bytes.size()), 0, bytes};
}

IfdEntry Short(std::uint16_t tag, std::uint16_t value) {
    return {tag, 3, 1, value, {}};
}
IfdEntry Long(std::uint16_t tag, std::uint32_t value) {
    return {tag, 4, 1, value, {}};
}

IfdEntry Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator,
                  bool bigEndian) {
    TiffBytes value(bigEndian);
    value.U32(numerator);
    value.U32(denominator);
    return {tag, 5, 1, 0, value.Bytes()};
}

// Writes an IFD at the current end of `out` (offsets relative to the TIFF header at 0) and
// returns the position of its "next IFD" field. Positions of patched entries go to `patches`.
std::size_t WriteIfd(TiffBytes& out, const std::vector<IfdEntry>& entries,
                     std::vector<std::size_t>* patches) {
    const std::size_t start = out.Size();
    std::size_t dataAt = start + 2 + entries.size() * 12 + 4;
    out.U16(static_cast<std::uint32_t>(entries.size()));
    std::string data;
    for (const IfdEntry& entry : entries) {
        out.U16(entry.tag);
        out.U16(entry.type);
        out.U32(entry.count);
        if (patches != nullptr && entry.patchedLater) {
            patches->push_back(out.Size());
        }
        if (entry.extra.size() > 4) {
            out.U32(static_cast<std::uint32_t>(dataAt + data.size()));
            data += entry.extra;
            if (data.size() % 2 != 0) {
                data += '\0';  // values start on word boundaries
            }
        } else if (!entry.extra.empty()) {
            std::string padded = entry.extra;
            padded.resize(4, '\0');
            out.Bytes() += padded;
        } else if (entry.type == 3) {
            out.U16(entry.inlineValue);
            out.U16(0);
        } else {
            out.U32(entry.inlineValue);
        }
    }
    const std::size_t nextField = out.Size();
    out.U32(0);
    out.Bytes() += data;
    return nextField;
}

}  // namespace

std::string EncodeJpeg(const RgbImage& image, int quality) {
    return Compress(image, quality, nullptr);
}

std::string BuildExifSegment(const CameraFacts& camera, int width, int height,
                             const std::string& thumbnailJpeg) {
    const bool be = camera.bigEndian;
    TiffBytes tiff(be);
    tiff.Bytes() += be ? "MM" : "II";
    tiff.U16(42);
    tiff.U32(8);

    IfdEntry exifPointer = Long(0x8769, 0);
    exifPointer.patchedLater = true;
    std::vector<std::size_t> ifd0Patches;
    const std::size_t ifd0Next =
        WriteIfd(tiff,
                 {Ascii(0x010F, camera.make), Ascii(0x0110, camera.model), Short(0x0112, 1),
                  Rational(0x011A, 72, 1, be), Rational(0x011B, 72, 1, be), Short(0x0128, 2),
                  Ascii(0x0132, camera.dateTime), exifPointer},
                 &ifd0Patches);

    tiff.PatchU32(ifd0Patches.at(0), static_cast<std::uint32_t>(tiff.Size()));
    WriteIfd(tiff,
             {{0x9000, 7, 4, 0, "0221"},
              Ascii(0x9003, camera.dateTime),
              Ascii(0x9004, camera.dateTime),
              Short(0xA001, 1),
              Long(0xA002, static_cast<std::uint32_t>(width)),
              Long(0xA003, static_cast<std::uint32_t>(height))},
             nullptr);

    tiff.PatchU32(ifd0Next, static_cast<std::uint32_t>(tiff.Size()));
    IfdEntry thumbnailOffset = Long(0x0201, 0);
    thumbnailOffset.patchedLater = true;
    std::vector<std::size_t> ifd1Patches;
    WriteIfd(tiff,
             {Short(0x0103, 6), Rational(0x011A, 72, 1, be), Rational(0x011B, 72, 1, be),
              Short(0x0128, 2), thumbnailOffset,
              Long(0x0202, static_cast<std::uint32_t>(thumbnailJpeg.size()))},
             &ifd1Patches);
    tiff.PatchU32(ifd1Patches.at(0), static_cast<std::uint32_t>(tiff.Size()));
    tiff.Bytes() += thumbnailJpeg;

    return std::string("Exif\0\0", 6) + tiff.Bytes();
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
