#pragma once

#include <QImage>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/carved_file.h"
#include "output/kept_bytes.h"

namespace lumarest {

inline constexpr int kThumbnailWidth = 100;
inline constexpr int kThumbnailHeight = 80;

// The Qt reader carved bytes are handed to, by their leading bytes (JPEG, PNG, GIF, BMP, TIFF,
// WebP); null when none is: another type, or a PNG whose chunks do not all end inside the bytes.
const char* DecoderFormatFor(std::span<const std::uint8_t> bytes);

// Keeps the decoders' own complaints off the terminal for the rest of the process. Carved files
// often run past a picture's end or carry fields a decoder does not know; what is wrong with a
// file is its verdict's to say, and nothing but the program's own messages reaches stderr.
void QuietPictureDecoders();

// Gives the memory of each decoded picture back to the system once it is freed: decoders on
// several threads would otherwise keep the largest pictures' buffers in their heaps for good.
void ReturnDecodedMemory();

// Decodes carved bytes with Qt's image readers, at reduced size where the format allows.
// A null image when the bytes are not a picture any reader knows.
QImage DecodePicture(std::span<const std::uint8_t> bytes,
                     QSize wanted = QSize(kThumbnailWidth, kThumbnailHeight));

// The 100 x 80 thumbnail of carved bytes, proportions not kept; a picture of exactly 100 x 80
// is used unscaled; `placeholder` stands in for bytes that do not decode.
QImage ThumbnailOf(std::span<const std::uint8_t> bytes, const QImage& placeholder);

// A carved file's picture for checking and showing it, by its type: a JPEG whose structure is
// complete gives its Exif thumbnail when that decodes (far cheaper than the whole picture), a
// HEIC or AVIF its thumbnail item likewise, a raw photo the largest JPEG preview it carries, a
// clip its first frame; any other file decodes as DecodePicture does. `kept` is what was kept
// of the file's saved bytes. A null image when nothing decodes.
QImage DecodeCarvedPicture(const KeptBytes& kept, std::string_view extension,
                           CarvedVerdict structural);
QImage DecodeCarvedPicture(std::span<const std::uint8_t> bytes, std::string_view extension,
                           CarvedVerdict structural);

// True when the bytes decode as a picture.
bool DecodesAsPicture(std::span<const std::uint8_t> bytes);

// How many threads decode carved files beside the scan: one per core, as the scan mostly waits
// for the disk while a large HEIC picture keeps a core busy for a quarter of a second.
unsigned DecodingThreads();

// The placeholder picture: a landscape (a tree on green hills, a sun and clouds in a blue sky)
// in a grey frame, drawn once per call.
QImage PlaceholderPicture();

}  // namespace lumarest
