#include "output/picture.h"

#include <malloc.h>
#include <tiffio.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <thread>

#include "carving/formats/carved_format.h"
#include "carving/formats/jpeg_format.h"
#include "carving/formats/raw_preview.h"
#include "core/le_bytes.h"
#include "output/clip_picture.h"
#include "output/heif_picture.h"

namespace lumarest {

namespace {

// Qt's default ceiling on one decoded picture, set on each reader so none goes past it.
constexpr int kMostDecodedMegabytes = 256;
// Buffers from this size on are mapped on their own and unmapped when freed.
constexpr int kMappedFromBytes = 1 << 20;

// The readers a carved file may reach, chosen by its leading bytes (and, for a RIFF file, its
// form type): the picture types the scan carves. Qt's other readers, and its guesses from
// content, are never asked.
struct PictureLead {
    std::string_view lead;
    std::string_view riffForm;  // empty: not a RIFF file
    const char* format;
};
constexpr std::size_t kRiffFormAt = 8;
constexpr PictureLead kPictureLeads[] = {
    {{"\xFF\xD8\xFF", 3}, {}, "jpeg"},
    {{"\x89PNG\r\n\x1a\n", 8}, {}, "png"},
    {"GIF87a", {}, "gif"},
    {"GIF89a", {}, "gif"},
    {"BM", {}, "bmp"},
    {{"II*\0", 4}, {}, "tiff"},
    {{"MM\0*", 4}, {}, "tiff"},
    {{"II+\0", 4}, {}, "tiff"},
    {{"MM\0+", 4}, {}, "tiff"},
    {"RIFF", "WEBP", "webp"},
};

QByteArray Borrow(std::span<const std::uint8_t> bytes) {
    // No copy: the reader only looks at the bytes while this call runs.
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<qsizetype>(bytes.size()));
}

bool IsJpegExtension(std::string_view extension) {
    const CarvedFormat* format = FormatForExtension(extension);
    return format != nullptr && format == FormatForExtension("jpg");
}

const char* FormatByLead(std::span<const std::uint8_t> bytes) {
    for (const PictureLead& picture : kPictureLeads) {
        if (SpellsAt(bytes, 0, picture.lead) &&
            (picture.riffForm.empty() || SpellsAt(bytes, kRiffFormAt, picture.riffForm))) {
            return picture.format;
        }
    }
    return nullptr;
}

}  // namespace

const char* DecoderFormatFor(std::span<const std::uint8_t> bytes) {
    const char* format = FormatByLead(bytes);
    // The PNG reader holds an ancillary chunk whole, as long as its length field says: a length
    // past the bytes would claim up to 2 GB before the read fails. Such a PNG cannot decode
    // anyway; one broken off by a chunk that is no chunk fails there, before any later length.
    if (format != nullptr && std::string_view(format) == "png" &&
        FindFormatEnd("png", bytes).kind == EndKind::PastBytes) {
        return nullptr;
    }
    return format;
}

void QuietPictureDecoders() {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));
    // The TIFF reader's library writes its warnings and errors to stderr itself.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    QuietClipDecoders();
}

void ReturnDecodedMemory() {
    // Fixed, so freeing a large buffer does not raise it (as the library's default would).
    mallopt(M_MMAP_THRESHOLD, kMappedFromBytes);
}

QImage DecodePicture(std::span<const std::uint8_t> bytes, QSize wanted) {
    const char* format = DecoderFormatFor(bytes);
    if (format == nullptr) {
        return {};
    }
    QByteArray data = Borrow(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(kMostDecodedMegabytes);
    const QSize full = reader.size();
    // Decoding at a size near the thumbnail is much cheaper for JPEG; never go below it, so
    // the final scaling only shrinks.
    if (wanted.isValid() && full.isValid() && full.width() > 2 * wanted.width() &&
        full.height() > 2 * wanted.height() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        const int factor = std::min(full.width() / wanted.width(), full.height() / wanted.height());
        reader.setScaledSize(QSize(full.width() / factor, full.height() / factor));
    }
    return reader.read();
}

QImage ThumbnailOf(std::span<const std::uint8_t> bytes, const QImage& placeholder) {
    const QSize thumbnail(kThumbnailWidth, kThumbnailHeight);
    QImage picture = DecodePicture(bytes, thumbnail);
    if (picture.isNull()) {
        picture = placeholder;
    }
    if (picture.size() == thumbnail) {
        return picture;
    }
    return picture.scaled(thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage DecodeCarvedPicture(const KeptBytes& kept, std::string_view extension,
                           CarvedVerdict structural) {
    const QSize thumbnail(kThumbnailWidth, kThumbnailHeight);
    const bool whole = structural == CarvedVerdict::Complete;
    switch (MediaKindOf(extension)) {
        case MediaKind::HeifPicture:
            // Twice the thumbnail, so squeezing it to the thumbnail still smooths it.
            return DecodeHeifPicture(kept.head, whole, 2 * thumbnail);
        case MediaKind::RawPhoto:
            if (const auto preview = LargestJpegPreview(kept.head); !preview.empty()) {
                if (QImage picture = DecodePicture(preview); !picture.isNull()) {
                    return picture;
                }
            }
            // Some keep a small uncompressed picture first, as a TIFF does.
            return DecodePicture(kept.head);
        case MediaKind::Clip:
            return DecodeClipFrame(kept, thumbnail);
        case MediaKind::Picture:
        case MediaKind::Other:
            break;
    }
    if (whole && IsJpegExtension(extension)) {
        // The camera's own small picture: far cheaper than the outer image at any size.
        if (const auto exifThumbnail = JpegExifThumbnail(kept.head); !exifThumbnail.empty()) {
            QImage picture = DecodePicture(exifThumbnail);
            if (!picture.isNull()) {
                return picture;
            }
        }
    }
    return DecodePicture(kept.head);
}

QImage DecodeCarvedPicture(std::span<const std::uint8_t> bytes, std::string_view extension,
                           CarvedVerdict structural) {
    return DecodeCarvedPicture(KeptBytes::Whole(bytes), extension, structural);
}

bool DecodesAsPicture(std::span<const std::uint8_t> bytes) {
    return !DecodePicture(bytes).isNull();
}

unsigned DecodingThreads() {
    return std::max(std::thread::hardware_concurrency(), 1U);
}

QImage PlaceholderPicture() {
    constexpr int kWidth = 199;
    constexpr int kHeight = 151;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect scene(8, 8, kWidth - 16, kHeight - 16);
    painter.fillRect(scene, QColor(110, 170, 230));
    painter.setClipRect(scene);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 215, 60));
    painter.drawEllipse(QPoint(150, 38), 14, 14);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPoint(48, 34), 18, 9);
    painter.drawEllipse(QPoint(64, 30), 14, 9);
    painter.drawEllipse(QPoint(100, 46), 16, 7);
    QPainterPath hills;
    hills.moveTo(scene.left(), 112);
    hills.quadTo(60, 78, 110, 104);
    hills.quadTo(150, 84, scene.right(), 100);
    hills.lineTo(scene.right(), scene.bottom());
    hills.lineTo(scene.left(), scene.bottom());
    hills.closeSubpath();
    painter.setBrush(QColor(70, 150, 60));
    painter.drawPath(hills);
    painter.setBrush(QColor(110, 75, 40));
    painter.drawRect(62, 72, 6, 24);
    painter.setBrush(QColor(40, 110, 40));
    painter.drawEllipse(QPoint(65, 66), 15, 15);
    return image;
}

}  // namespace lumarest
