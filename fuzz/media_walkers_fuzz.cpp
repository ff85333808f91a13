// Fuzzes the walkers of today's phone and camera files one at a time: the input's first byte
// chooses the walker, the rest is the carved span it walks.
//
// Box trees (HEIC, MP4, MOV, CR3), TIFF-laid raw photos, RAF and Matroska must read only inside
// the span and come back with an end inside it; the preview finder gives a JPEG inside the
// span; the capture time and clip length readers come back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <span>
#include <string_view>

#include "carving/formats/capture_time.h"
#include "carving/formats/carved_format.h"
#include "carving/formats/raw_preview.h"

namespace {

constexpr std::string_view kWalkers[] = {"mp4", "heic", "cr3", "cr2", "nef", "dng",
                                         "orf", "rw2",  "raf", "mkv", "mts"};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool Inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

void Walk(std::string_view extension, std::span<const std::uint8_t> bytes) {
    if (lumarest::FormatForExtension(extension) == nullptr) {
        return;
    }
    (void)lumarest::HeaderHolds(extension, bytes);
    (void)lumarest::TrueFileType(extension, bytes);
    const lumarest::FormatEnd end = lumarest::FindFormatEnd(extension, bytes);
    Check(end.kind != lumarest::EndKind::Found || end.length <= bytes.size());
    (void)lumarest::CaptureSeconds(extension, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const std::size_t choice = data[0] % (std::size(kWalkers) + 1);
    if (choice < std::size(kWalkers)) {
        Walk(kWalkers[choice], bytes);
        return 0;
    }
    Check(Inside(lumarest::LargestJpegPreview(bytes), bytes));
    (void)lumarest::MovieLengthSeconds(bytes);
    return 0;
}
