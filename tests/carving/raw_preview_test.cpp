#include <gtest/gtest.h>

#include "carving/formats/raw_preview.h"
#include "support/media_samples.h"

namespace lumarest {
namespace {

using Bytes = testing::MediaBytes;
using testing::Filling;
using testing::Joined;

// A JPEG made only of its structure: SOI, a frame header with `frame` as its marker, a scan
// with `dataBytes` of data, EOI.
Bytes JpegOfFrame(std::uint8_t frame, std::size_t dataBytes) {
    Bytes jpeg = {0xFF, 0xD8, 0xFF, frame, 0x00, 0x0B, 8, 0, 16, 0, 16, 1, 1, 0x11, 0};
    const Bytes scan = {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 0x3F, 0};
    jpeg.insert(jpeg.end(), scan.begin(), scan.end());
    const Bytes data = Filling(dataBytes, 0x37);
    jpeg.insert(jpeg.end(), data.begin(), data.end());
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    return jpeg;
}

constexpr std::uint8_t kBaseline = 0xC0;
constexpr std::uint8_t kProgressive = 0xC2;
constexpr std::uint8_t kLossless = 0xC3;

// The preview is the largest whole JPEG a decoder can read, wherever it lies in the file.
TEST(RawPreview, TheLargestViewableJpegInsideTheFile) {
    const Bytes small = JpegOfFrame(kBaseline, 300);
    const Bytes large = JpegOfFrame(kProgressive, 5000);
    const Bytes sensor = JpegOfFrame(kLossless, 20000);
    const Bytes header = Filling(512, 0x11);
    Bytes cutShort = JpegOfFrame(kBaseline, 9000);
    cutShort.resize(cutShort.size() - 100);
    struct Case {
        const char* name;
        Bytes file;
        std::size_t previewAt;  // 0: no preview
        std::size_t previewBytes;
    };
    const Case cases[] = {
        {"small then large", Joined({header, small, large}), 512 + small.size(), large.size()},
        {"large then small", Joined({header, large, small}), 512, large.size()},
        {"lossless sensor data is no preview", Joined({header, small, sensor}), 512, small.size()},
        {"a preview cut short is none", Joined({header, cutShort}), 0, 0},
        {"no JPEG at all", Joined({header, Filling(4096, 0x22)}), 0, 0},
        {"a JPEG file is not its own preview", large, 0, 0},
    };
    for (const Case& c : cases) {
        const auto preview = LargestJpegPreview(c.file);
        if (c.previewAt == 0) {
            EXPECT_TRUE(preview.empty()) << c.name;
            continue;
        }
        EXPECT_EQ(preview.data() - c.file.data(), static_cast<std::ptrdiff_t>(c.previewAt))
            << c.name;
        EXPECT_EQ(preview.size(), c.previewBytes) << c.name;
    }
}

}  // namespace
}  // namespace lumarest
