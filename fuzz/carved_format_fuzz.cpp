// Fuzzes every carved format's checks over the input, taken as a carved file's bytes.
//
// Each header check, end finder and type namer must read only inside the input and come back;
// a found end lies inside the bytes, and the bytes cut at it still read as the format's
// structure; a named type is one with checks. A walk that goes on from where it stopped over
// the rest of the bytes comes to the same end as one over them all.
// The Exif thumbnail lookup must give a span inside the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "carving/formats/carved_format.h"
#include "carving/formats/jpeg_format.h"

namespace {

constexpr std::string_view kExtensions[] = {"jpg", "png", "gif", "bmp", "tif",  "pdf", "zip",
                                            "avi", "gz",  "mp3", "pcx", "ogg",  "mp4", "nef",
                                            "orf", "rw2", "raf", "mkv", "heic", "cr3", "mts"};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Walked over the first half, then on from its point over the rest, as a streamed file is.
void CheckWalkGoesOn(std::string_view extension, std::span<const std::uint8_t> bytes) {
    lumarest::WalkPoint whole;
    const auto all = lumarest::WalkFormatFrom(extension, bytes, whole);
    if (!all) {
        return;
    }
    const lumarest::FormatEnd found = lumarest::FindFormatEnd(extension, bytes);
    Check(all->kind == found.kind && all->length == found.length);
    lumarest::WalkPoint point;
    const auto half = lumarest::WalkFormatFrom(extension, bytes.first(bytes.size() / 2), point);
    if (half->kind != lumarest::EndKind::PastBytes || point.at > bytes.size()) {
        return;
    }
    const auto rest = lumarest::WalkFormatFrom(
        extension, bytes.subspan(static_cast<std::size_t>(point.at)), point);
    Check(rest->kind == all->kind && rest->length == all->length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    for (const std::string_view extension : kExtensions) {
        const lumarest::CarvedFormat* format = lumarest::FormatForExtension(extension);
        Check(format != nullptr);
        (void)lumarest::HeaderHolds(extension, bytes);
        // A type named by the file's marks has checks of its own.
        const std::string_view named = lumarest::TrueFileType(extension, bytes);
        Check(named.empty() || lumarest::FormatForExtension(named) != nullptr);
        const lumarest::FormatEnd end = lumarest::FindFormatEnd(extension, bytes);
        if (end.kind == lumarest::EndKind::Found) {
            Check(end.length > 0 && end.length <= size);
            const auto cut = bytes.first(static_cast<std::size_t>(end.length));
            Check(lumarest::FindFormatEnd(extension, cut).kind != lumarest::EndKind::Unknown);
        }
        CheckWalkGoesOn(extension, bytes);
    }
    const auto thumbnail = lumarest::JpegExifThumbnail(bytes);
    Check(thumbnail.empty() ||
          (thumbnail.data() >= data && thumbnail.data() + thumbnail.size() <= data + size));
    return 0;
}
