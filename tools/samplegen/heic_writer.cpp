// Encodes a gradient picture as HEIC through libheif into memory.
#include "tools/samplegen/heic_writer.h"

#include <libheif/heif.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PIXHAVEN_HEIC_LEAK_CHECK 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define PIXHAVEN_HEIC_LEAK_CHECK 1
#endif

#ifdef PIXHAVEN_HEIC_LEAK_CHECK
// The HEVC encoder loses a block in every encoder it opens; nothing the caller holds can free it,
// so the leak checker is told to expect it rather than fail every program that makes a HEIC.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}
#endif

namespace pixhaven::samplegen {
namespace {

struct ContextFree {
    void operator()(heif_context* context) const noexcept { heif_context_free(context); }
};
struct EncoderRelease {
    void operator()(heif_encoder* encoder) const noexcept { heif_encoder_release(encoder); }
};
struct ImageRelease {
    void operator()(heif_image* image) const noexcept { heif_image_release(image); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const noexcept { heif_image_handle_release(handle); }
};

void Check(const heif_error& error, const char* step) {
    if (error.code != heif_error_Ok) {
        throw std::runtime_error(std::string("HEIC ") + step + ": " +
                                 (error.message != nullptr ? error.message : "failed"));
    }
}

std::uint8_t Channel(int position, int length) {
    return static_cast<std::uint8_t>(length > 1 ? position * 255 / (length - 1) : 0);
}

// Red grows to the right, green downwards, blue is fixed: any rotation or crop shows.
std::unique_ptr<heif_image, ImageRelease> MakeGradient(int width, int height) {
    heif_image* raw = nullptr;
    Check(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw),
          "image");
    std::unique_ptr<heif_image, ImageRelease> image(raw);
    Check(heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8), "plane");
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr) {
        throw std::runtime_error("HEIC plane: no pixels");
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = plane + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = Channel(x, width);
            row[3 * x + 1] = Channel(y, height);
            row[3 * x + 2] = 96;
        }
    }
    return image;
}

heif_error AppendBytes(heif_context*, const void* data, std::size_t size, void* userdata) {
    static_cast<std::string*>(userdata)->append(static_cast<const char*>(data), size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

std::string MakeHeic(int width, int height) {
    if (width <= 0 || height <= 0) {
        throw std::invalid_argument("HEIC size must be positive");
    }
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        throw std::runtime_error("HEIC context: out of memory");
    }
    heif_encoder* rawEncoder = nullptr;
    Check(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder),
          "encoder");
    std::unique_ptr<heif_encoder, EncoderRelease> encoder(rawEncoder);
    Check(heif_encoder_set_lossy_quality(encoder.get(), 60), "quality");
    const auto image = MakeGradient(width, height);
    heif_image_handle* rawHandle = nullptr;
    Check(heif_context_encode_image(context.get(), image.get(), encoder.get(), nullptr, &rawHandle),
          "encode");
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    std::string bytes;
    heif_writer writer{1, &AppendBytes};
    Check(heif_context_write(context.get(), &writer, &bytes), "write");
    return bytes;
}

}  // namespace pixhaven::samplegen
