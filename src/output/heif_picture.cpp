#include "output/heif_picture.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace lumarest {
namespace {

// No carved picture is wider or taller; a header saying more is damaged, not a picture.
constexpr std::uint32_t kMostPictureSide = 16384;

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

Handle PrimaryPicture(heif_context* context) {
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(context, &handle).code != heif_error_Ok) {
        return nullptr;
    }
    return Handle(handle);
}

Handle ThumbnailOf(heif_image_handle* primary) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_thumbnail_IDs(primary, &id, 1) != 1) {
        return nullptr;
    }
    heif_image_handle* thumbnail = nullptr;
    if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code != heif_error_Ok) {
        return nullptr;
    }
    return Handle(thumbnail);
}

// One plane of a decoded picture, read at 8 bits whatever its depth.
class Plane {
  public:
    Plane(const heif_image* image, heif_channel channel) {
        data_ = heif_image_get_plane_readonly(image, channel, &stride_);
        width_ = heif_image_get_width(image, channel);
        height_ = heif_image_get_height(image, channel);
        const int bits = heif_image_get_bits_per_pixel_range(image, channel);
        shift_ = bits > 8 ? bits - 8 : 0;
    }

    bool Usable() const { return data_ != nullptr && width_ > 0 && height_ > 0 && shift_ <= 8; }

    // The sample at the same place as (x, y) of a picture `width` x `height`.
    int At(int x, int y, int width, int height) const {
        const auto column = static_cast<int>(static_cast<std::int64_t>(x) * width_ / width);
        const auto row = static_cast<int>(static_cast<std::int64_t>(y) * height_ / height);
        const std::uint8_t* line = data_ + static_cast<std::ptrdiff_t>(row) * stride_;
        if (shift_ == 0) {
            return line[column];
        }
        std::uint16_t sample = 0;
        std::memcpy(&sample, line + 2 * column, sizeof sample);
        return sample >> shift_;
    }

  private:
    const std::uint8_t* data_ = nullptr;
    int stride_ = 0;
    int width_ = 0;
    int height_ = 0;
    int shift_ = 0;
};

int Clamped(double value) {
    return std::clamp(static_cast<int>(value + 0.5), 0, 255);
}

// The picture at `size`, each pixel taken from the nearest samples of the decoded planes:
// the colour conversion of every pixel of a large picture is never paid for a thumbnail.
QImage Sampled(const heif_image* image, QSize size) {
    const Plane luma(image, heif_channel_Y);
    if (!luma.Usable()) {
        return {};
    }
    const int width = heif_image_get_width(image, heif_channel_Y);
    const int height = heif_image_get_height(image, heif_channel_Y);
    const bool grey = heif_image_get_chroma_format(image) == heif_chroma_monochrome;
    const Plane blue(image, heif_channel_Cb);
    const Plane red(image, heif_channel_Cr);
    if (!grey && (!blue.Usable() || !red.Usable())) {
        return {};
    }
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        const int row = static_cast<int>(static_cast<std::int64_t>(y) * height / size.height());
        for (int x = 0; x < size.width(); ++x) {
            const int column =
                static_cast<int>(static_cast<std::int64_t>(x) * width / size.width());
            const double l = luma.At(column, row, width, height);
            if (grey) {
                line[x] = qRgb(Clamped(l), Clamped(l), Clamped(l));
                continue;
            }
            // Full-range BT.601, as HEIC pictures are written unless they say otherwise.
            const double cb = blue.At(column, row, width, height) - 128.0;
            const double cr = red.At(column, row, width, height) - 128.0;
            line[x] = qRgb(Clamped(l + 1.402 * cr), Clamped(l - 0.344136 * cb - 0.714136 * cr),
                           Clamped(l + 1.772 * cb));
        }
    }
    return picture;
}

QImage DecodedRgb(heif_image_handle* handle) {
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
            .code != heif_error_Ok) {
        return {};
    }
    const Image image(decoded);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    // A deep copy: the plane belongs to the decoded image, released on return.
    return QImage(plane, width, height, stride, QImage::Format_RGBA8888).copy();
}

// Decodes to the colour space pictures are coded in and samples it down to `wanted`; one the
// library cannot give so is converted to RGB by it.
QImage Decoded(heif_image_handle* handle, QSize wanted) {
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle, &decoded, heif_colorspace_YCbCr, heif_chroma_420, nullptr).code !=
        heif_error_Ok) {
        return DecodedRgb(handle);
    }
    const Image image(decoded);
    const QSize full(heif_image_get_width(decoded, heif_channel_Y),
                     heif_image_get_height(decoded, heif_channel_Y));
    if (full.isEmpty()) {
        return {};
    }
    const QSize size = full.width() > wanted.width() || full.height() > wanted.height()
                           ? full.scaled(wanted, Qt::KeepAspectRatio).expandedTo(QSize(1, 1))
                           : full;
    return Sampled(decoded, size);
}

}  // namespace

QImage DecodeHeifPicture(std::span<const std::uint8_t> bytes, bool thumbnailWillDo, QSize wanted) {
    InitialiseOnce();
    const Context context(heif_context_alloc());
    if (!context) {
        return {};
    }
    heif_context_set_maximum_image_size_limit(context.get(), kMostPictureSide);
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(),
                                                   nullptr)
            .code != heif_error_Ok) {
        return {};
    }
    const Handle primary = PrimaryPicture(context.get());
    if (!primary) {
        return {};
    }
    if (thumbnailWillDo) {
        if (const Handle thumbnail = ThumbnailOf(primary.get())) {
            if (QImage picture = Decoded(thumbnail.get(), wanted); !picture.isNull()) {
                return picture;
            }
        }
    }
    return Decoded(primary.get(), wanted);
}

}  // namespace lumarest
