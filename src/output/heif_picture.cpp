#include "output/heif_picture.h"

#include <libheif/heif.h>

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

QImage Decoded(heif_image_handle* handle) {
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

}  // namespace

QImage DecodeHeifPicture(std::span<const std::uint8_t> bytes, bool thumbnailWillDo) {
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
            if (QImage picture = Decoded(thumbnail.get()); !picture.isNull()) {
                return picture;
            }
        }
    }
    return Decoded(primary.get());
}

}  // namespace lumarest
