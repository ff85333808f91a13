#pragma once

#include <cstdint>
#include <optional>
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

// Where a walk of a file's units (boxes, packets) stands, so it can go on over later bytes
// without the ones before: the next unit starts `at` bytes into the file.
struct WalkPoint {
    std::uint64_t at = 0;
    std::uint64_t units = 0;   // units walked so far
    bool keyUnitSeen = false;  // a unit the file is not whole without (a movie box)
    std::uint64_t reach = 0;   // the furthest byte the walked units point at (their media)
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
    // The same walk as `findEnd`, going on from `point` over `bytes`, which hold the file from
    // byte `point.at` on; lengths count from the file's start. `point` moves to the first unit
    // not walked: past the bytes when the last unit's own size says it goes on. Null: the
    // walk cannot go on without the bytes before.
    FormatEnd (*walkFrom)(std::span<const std::uint8_t> bytes, WalkPoint& point) = nullptr;
    // A run of units that no size bounds (packets): the run alone says how far it goes.
    bool runsOnUnits = false;
};

// A type found by a mark away from its first bytes, which no signature record can see: a
// sector no record matches starts one when its format's header check holds.
struct MarkedType {
    std::string_view extension;  // with its dot
    std::uint64_t sizeLimit = 0;
    bool (*holds)(std::span<const std::uint8_t> head) = nullptr;
};

// The marked types, asked in this order after the records.
std::span<const MarkedType> MarkedTypes();

// The format registered for a carved file's extension ("jpg" or ".JPG"; blanks around it are
// ignored); null for a type with no checks.
const CarvedFormat* FormatForExtension(std::string_view extension);

// The registered checks, or their neutral answers for a type with none.
bool HeaderHolds(std::string_view extension, std::span<const std::uint8_t> head);
FormatEnd FindFormatEnd(std::string_view extension, std::span<const std::uint8_t> bytes);
bool IsPictureType(std::string_view extension);
// The extension the file's own marks name, or empty when they name none but the record's.
std::string_view TrueFileType(std::string_view extension, std::span<const std::uint8_t> bytes);
// The registered walk from `point`; empty for a type whose walk cannot go on so.
std::optional<FormatEnd> WalkFormatFrom(std::string_view extension,
                                        std::span<const std::uint8_t> bytes, WalkPoint& point);
bool RunsOnUnits(std::string_view extension);

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
