#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lumarest {

// Where a carved file's own structure says it ends.
enum class EndKind {
    Found,      // the end lies inside the carved bytes, `length` bytes from the start
    PastBytes,  // the structure goes on past the carved bytes: the file is cut short, or
                // goes on at least to `length` when its own sizes say so (0: they do not)
    Unknown,    // the type has no known end, or the structure is not the format's
};

struct FormatEnd {
    EndKind kind = EndKind::Unknown;
    std::uint64_t length = 0;
};

// The checks one file format offers the carving scan. Each reads only the span it is given.
struct CarvedFormat {
    // True when a candidate header's own fields agree with the format. `head` is the header
    // sector and whatever follows it in the buffer read (at least 512 bytes). Null: every
    // candidate holds.
    bool (*headerHolds)(std::span<const std::uint8_t> head) = nullptr;
    // Where the file that starts at bytes[0] ends. Null: no known end.
    FormatEnd (*findEnd)(std::span<const std::uint8_t> bytes) = nullptr;
    // A picture type: one the thumbnail decoder is expected to read.
    bool picture = false;
    // The extension (no dot) the file's own marks name, where one record's leading bytes
    // stand for several types (a brand, a maker's tag); empty: the record's. Null: the record's.
    std::string_view (*trueType)(std::span<const std::uint8_t> bytes) = nullptr;
};

// The format registered for a carved file's extension ("jpg" or ".JPG"; blanks around it are
// ignored); null for a type with no checks.
const CarvedFormat* FormatForExtension(std::string_view extension);

// The registered checks, or their neutral answers for a type with none.
bool HeaderHolds(std::string_view extension, std::span<const std::uint8_t> head);
FormatEnd FindFormatEnd(std::string_view extension, std::span<const std::uint8_t> bytes);
bool IsPictureType(std::string_view extension);
// The extension the file's own marks name, or empty when they name none but the record's.
std::string_view TrueFileType(std::string_view extension, std::span<const std::uint8_t> bytes);

// How a carved file is shown: the decoder that makes its picture.
enum class MediaKind {
    Other,
    Picture,      // read by the common picture decoders
    HeifPicture,  // HEIC, HEIF, AVIF
    RawPhoto,     // a camera's raw file, shown by the JPEG preview it carries
    Clip,         // a video, shown by its first frame
};
MediaKind MediaKindOf(std::string_view extension);

// The bytes a file is saved with: up to its found end, else all that was carved.
std::uint64_t SavedLength(const FormatEnd& end, std::uint64_t carvedBytes);

}  // namespace lumarest
