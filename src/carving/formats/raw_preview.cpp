#include "carving/formats/raw_preview.h"

#include <string_view>

#include "carving/formats/carved_format.h"
#include "carving/formats/jpeg_format.h"

namespace lumarest {
namespace {

constexpr std::string_view kJpegStart{"\xFF\xD8\xFF", 3};
// Raw files carry a handful of previews; sensor data may spell a JPEG start by chance. Past
// this many starts the search gives up rather than walk a large file again and again.
constexpr int kMostPreviewStarts = 64;

}  // namespace

std::span<const std::uint8_t> LargestJpegPreview(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::span<const std::uint8_t> largest;
    int starts = 0;
    for (std::size_t at = text.find(kJpegStart, 1);
         at != std::string_view::npos && starts < kMostPreviewStarts;
         at = text.find(kJpegStart, at + 1), ++starts) {
        const std::span<const std::uint8_t> candidate = bytes.subspan(at);
        const FormatEnd end = FindFormatEnd("jpg", candidate);
        if (end.kind != EndKind::Found || end.length <= largest.size() ||
            !JpegFrameIsViewable(candidate)) {
            continue;
        }
        largest = candidate.first(static_cast<std::size_t>(end.length));
        // The preview's own bytes hold no further preview worth a look.
        at += largest.size() - 1;
    }
    return largest;
}

}  // namespace lumarest
