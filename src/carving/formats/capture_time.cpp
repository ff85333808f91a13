#include "carving/formats/capture_time.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "carving/formats/carved_format.h"
#include "carving/formats/jpeg_format.h"
#include "carving/formats/tiff_reader.h"
#include "core/wall_clock.h"

namespace lumarest {
namespace {

constexpr std::uint16_t kDateTime = 306;
constexpr std::uint16_t kExifIfd = 34665;
constexpr std::uint16_t kDateTimeOriginal = 36867;
constexpr std::uint16_t kMostIfdEntries = 4096;
// "2024:07:14 10:30:22"
constexpr std::size_t kExifDateBytes = 19;
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2100;
constexpr std::int64_t kSecondsFrom1904To1970 = 2082844800;
constexpr std::int64_t kSecondsTo2101 = 4133980800;
constexpr std::size_t kBoxHeaderBytes = 8;
constexpr std::string_view kMovieHeaderType = "mvhd";
constexpr std::size_t kMovieHeaderV0Bytes = 100;
constexpr std::size_t kMostMovieHeaderBytes = 1024;
constexpr std::string_view kBigEndianTiff{"MM\0*", 4};
constexpr std::string_view kLittleEndianTiff{"II*\0", 4};

// An Exif date ("2024:07:14 10:30:22") as the wall clock of this process's zone.
std::optional<std::int64_t> WallClockSeconds(std::string_view text) {
    WallClock clock;
    const std::string copy(text.substr(0, kExifDateBytes));
    if (std::sscanf(copy.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &clock.year, &clock.month, &clock.day,
                    &clock.hour, &clock.minute, &clock.second) != 6 ||
        clock.year < kFirstYear || clock.year > kLastYear || clock.month < 1 || clock.month > 12 ||
        clock.day < 1 || clock.day > 31 || clock.hour > 23 || clock.minute > 59 ||
        clock.second > 60) {
        return std::nullopt;
    }
    return LocalWallClockSeconds(clock);
}

// The text of `tag` in the IFD at `ifd`; empty when it holds none.
std::string_view TagText(const TiffReader& reader, std::uint64_t ifd, std::uint16_t tag) {
    const auto count = reader.U16(ifd);
    if (!count || *count > kMostIfdEntries) {
        return {};
    }
    for (std::uint16_t i = 0; i < *count; ++i) {
        const auto entry = reader.EntryAt(ifd, i);
        if (!entry) {
            return {};
        }
        if (entry->tag == tag) {
            return reader.Text(*entry);
        }
    }
    return {};
}

std::optional<std::uint64_t> TagNumber(const TiffReader& reader, std::uint64_t ifd,
                                       std::uint16_t tag) {
    const auto count = reader.U16(ifd);
    if (!count || *count > kMostIfdEntries) {
        return std::nullopt;
    }
    for (std::uint16_t i = 0; i < *count; ++i) {
        const auto entry = reader.EntryAt(ifd, i);
        if (!entry) {
            return std::nullopt;
        }
        if (entry->tag == tag) {
            return reader.Number(*entry, 0);
        }
    }
    return std::nullopt;
}

// DateTimeOriginal from the Exif IFD (or IFD0 itself, as a CR3 keeps it), else IFD0's DateTime.
std::optional<std::int64_t> TiffCaptureSeconds(ByteSpan tiff) {
    const auto reader = TiffReader::Open(tiff, true);
    const auto ifd0 = reader ? reader->FirstIfd() : std::nullopt;
    if (!ifd0) {
        return std::nullopt;
    }
    std::string_view original = TagText(*reader, *ifd0, kDateTimeOriginal);
    if (const auto exif = TagNumber(*reader, *ifd0, kExifIfd); original.empty() && exif) {
        original = TagText(*reader, *exif, kDateTimeOriginal);
    }
    if (const auto seconds = WallClockSeconds(original)) {
        return seconds;
    }
    return WallClockSeconds(TagText(*reader, *ifd0, kDateTime));
}

std::optional<std::uint64_t> BigEndian(ByteSpan bytes, std::size_t at, std::size_t size) {
    return size == 4 ? std::optional<std::uint64_t>(LoadBe32(bytes, at))
                     : std::optional<std::uint64_t>(LoadBe64(bytes, at));
}

// The movie header box's contents (version and flags first): found by its type and a size
// that fits its fields, so it is found in any part of a clip that holds it.
ByteSpan MovieHeader(ByteSpan bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (std::size_t at = text.find(kMovieHeaderType, 4); at != std::string_view::npos;
         at = text.find(kMovieHeaderType, at + 1)) {
        const std::uint32_t size = *LoadBe32(bytes, at - 4);
        const std::size_t body = at + 4;
        if (size >= kBoxHeaderBytes + kMovieHeaderV0Bytes && size <= kMostMovieHeaderBytes &&
            body + size - kBoxHeaderBytes <= bytes.size() && bytes[body] <= 1) {
            return bytes.subspan(body, size - kBoxHeaderBytes);
        }
    }
    return {};
}

// The movie header's times and scale: 32-bit fields (version 0) or 64-bit ones.
struct MovieTimes {
    std::uint64_t created = 0;  // seconds since 1904 UTC
    std::uint32_t timescale = 0;
    std::uint64_t duration = 0;
};
std::optional<MovieTimes> ReadMovieTimes(ByteSpan bytes) {
    const ByteSpan mvhd = MovieHeader(bytes);
    if (mvhd.empty()) {
        return std::nullopt;
    }
    const std::size_t size = mvhd[0] == 1 ? 8 : 4;
    const std::size_t timescaleAt = 4 + 2 * size;
    const auto created = BigEndian(mvhd, 4, size);
    const auto timescale = LoadBe32(mvhd, timescaleAt);
    const auto duration = BigEndian(mvhd, timescaleAt + 4, size);
    if (!created || !timescale || !duration) {
        return std::nullopt;
    }
    return MovieTimes{*created, *timescale, *duration};
}

std::optional<std::int64_t> MovieCaptureSeconds(ByteSpan bytes) {
    const auto times = ReadMovieTimes(bytes);
    if (!times || !times->created || times->created > static_cast<std::uint64_t>(kSecondsTo2101) ||
        static_cast<std::int64_t>(times->created) <= kSecondsFrom1904To1970) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(times->created) - kSecondsFrom1904To1970;
}

// A picture made of boxes keeps its Exif block as an item (an offset, then "Exif\0\0" and the
// TIFF structure, or the TIFF structure at once) or, a CR3, as TIFF structures in CMT boxes:
// the first TIFF structure that gives a date.
std::optional<std::int64_t> BoxedExifCaptureSeconds(ByteSpan bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const std::string_view mark : {kBigEndianTiff, kLittleEndianTiff}) {
        for (std::size_t at = text.find(mark); at != std::string_view::npos;
             at = text.find(mark, at + 1)) {
            if (const auto seconds = TiffCaptureSeconds(bytes.subspan(at))) {
                return seconds;
            }
        }
    }
    return std::nullopt;
}

bool IsClip(std::string_view extension) {
    return extension == "mp4" || extension == "mov" || extension == "m4v" || extension == "3gp" ||
           extension == "m4a";
}

bool IsBoxedPicture(std::string_view extension) {
    return extension == "heic" || extension == "heif" || extension == "avif" || extension == "cr3";
}

}  // namespace

std::optional<std::int64_t> CaptureSeconds(std::string_view extension, ByteSpan bytes) {
    if (extension == "jpg" || extension == "jpeg") {
        const ByteSpan exif = JpegExifBlock(bytes);
        return exif.empty() ? std::nullopt : TiffCaptureSeconds(exif);
    }
    if (IsClip(extension)) {
        return MovieCaptureSeconds(bytes);
    }
    if (IsBoxedPicture(extension)) {
        const auto seconds = BoxedExifCaptureSeconds(bytes);
        return seconds ? seconds : MovieCaptureSeconds(bytes);
    }
    if (FormatForExtension(extension) != nullptr && TiffReader::Open(bytes, true)) {
        return TiffCaptureSeconds(bytes);
    }
    return std::nullopt;
}

std::optional<double> MovieLengthSeconds(std::span<const std::uint8_t> bytes) {
    const auto times = ReadMovieTimes(bytes);
    if (!times || times->timescale == 0) {
        return std::nullopt;
    }
    return static_cast<double>(times->duration) / times->timescale;
}

std::string DatedFileName(std::int64_t seconds, std::string_view extension) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H.%M.%S", &local);
    return std::string(text) + "." + std::string(extension);
}

}  // namespace lumarest
