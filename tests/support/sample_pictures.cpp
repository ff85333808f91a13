#include "support/sample_pictures.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/made_images.h"

namespace lumarest::testing {
namespace {

void PutLe16(SampleBytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutLe32(SampleBytes& bytes, std::uint32_t value) {
    PutLe16(bytes, static_cast<std::uint16_t>(value));
    PutLe16(bytes, static_cast<std::uint16_t>(value >> 16));
}

// One IFD entry of type LONG (4) with one value.
void PutLongEntry(SampleBytes& bytes, std::uint16_t tag, std::uint32_t value) {
    PutLe16(bytes, tag);
    PutLe16(bytes, 4);
    PutLe32(bytes, 1);
    PutLe32(bytes, value);
}

}  // namespace

SampleBytes JpegWithExifThumbnail(const SampleBytes& jpeg, const SampleBytes& thumbnail) {
    // Little-endian TIFF: header, IFD0 with one entry (the orientation), IFD1 with the
    // thumbnail's offset and length, then the thumbnail itself.
    constexpr std::uint32_t kIfd0 = 8;
    constexpr std::uint32_t kIfd1 = kIfd0 + 2 + 12 + 4;
    constexpr std::uint32_t kThumbnailAt = kIfd1 + 2 + 2 * 12 + 4;
    SampleBytes tiff = {'I', 'I', 0x2A, 0};
    PutLe32(tiff, kIfd0);
    PutLe16(tiff, 1);
    PutLe16(tiff, 0x0112);  // orientation: SHORT 1
    PutLe16(tiff, 3);
    PutLe32(tiff, 1);
    PutLe32(tiff, 1);
    PutLe32(tiff, kIfd1);
    PutLe16(tiff, 2);
    PutLongEntry(tiff, 0x0201, kThumbnailAt);
    PutLongEntry(tiff, 0x0202, static_cast<std::uint32_t>(thumbnail.size()));
    PutLe32(tiff, 0);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());

    SampleBytes segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const std::size_t length = segment.size() - 2;
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length);

    const std::size_t firstLength = static_cast<std::size_t>(jpeg[4] << 8 | jpeg[5]);
    SampleBytes result(jpeg.begin(), jpeg.begin() + 2);
    result.insert(result.end(), segment.begin(), segment.end());
    result.insert(result.end(), jpeg.begin() + 4 + static_cast<std::ptrdiff_t>(firstLength),
                  jpeg.end());
    return result;
}

std::map<std::string, SampleBytes> MakeSamplePictures(const std::string& folder) {
    namespace fs = std::filesystem;
    const std::string any =
        MadeImage("tests/support/make_sample_pictures.sh", folder, "jpeg_420.jpg");
    std::map<std::string, SampleBytes> files;
    if (any.empty()) {
        return files;
    }
    for (const auto& entry : fs::directory_iterator(fs::path(any).parent_path())) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.front() == '.') {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        files[name] = SampleBytes(std::istreambuf_iterator<char>(in), {});
    }
    files["jpeg_exif.jpg"] = JpegWithExifThumbnail(files["jpeg_420.jpg"], files["jpeg_thumb.jpg"]);
    return files;
}

}  // namespace lumarest::testing
