#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <vector>

#include "output/picture.h"
#include "support/encoded_picture.h"

namespace lumarest {
namespace {

std::vector<std::uint8_t> Encoded(const char* format) {
    return testing::EncodedPicture(testing::FilledPicture(320, 240, QColor(30, 120, 200)), format);
}

// Whatever the verdict, a carved file decodes as its bytes allow; a JPEG without a thumbnail is
// decoded whole.
TEST(DecodeCarvedPicture, DecodesTheSavedBytesOfEveryType) {
    const std::vector<std::uint8_t> jpeg = Encoded("JPG");
    const std::vector<std::uint8_t> png = Encoded("PNG");
    const std::vector<std::uint8_t> junk(4096, 0x5A);
    struct Case {
        const char* name;
        const std::vector<std::uint8_t>& bytes;
        const char* extension;
        CarvedVerdict verdict;
        bool decodes;
    };
    const Case cases[] = {
        {"complete JPEG", jpeg, "jpg", CarvedVerdict::Complete, true},
        {"JPEG by another name", jpeg, "JPEG", CarvedVerdict::Complete, true},
        {"unchecked JPEG", jpeg, "jpg", CarvedVerdict::Unchecked, true},
        {"PNG", png, "png", CarvedVerdict::Complete, true},
        {"junk named JPEG", junk, "jpg", CarvedVerdict::Complete, false},
        {"junk", junk, "bin", CarvedVerdict::Unchecked, false},
    };
    for (const Case& c : cases) {
        const QImage picture = DecodeCarvedPicture(c.bytes, c.extension, c.verdict);
        EXPECT_EQ(!picture.isNull(), c.decodes) << c.name;
        EXPECT_EQ(!picture.isNull(), DecodesAsPicture(c.bytes)) << c.name;
    }
}

// A PNG with a text chunk after its header whose length field claims about 2 GB; the chunk
// holds a few bytes and the picture's own chunks follow.
std::vector<std::uint8_t> WithHugeTextChunk(const std::vector<std::uint8_t>& png) {
    constexpr std::size_t kAfterHeader = 8 + 25;  // signature, IHDR chunk
    const std::uint8_t chunk[] = {0x7F, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't', 'C', 'o', 'm', 0};
    std::vector<std::uint8_t> crafted(png.begin(), png.begin() + kAfterHeader);
    crafted.insert(crafted.end(), std::begin(chunk), std::end(chunk));
    crafted.insert(crafted.end(), png.begin() + kAfterHeader, png.end());
    return crafted;
}

// Only the readers of the carved picture types are handed carved bytes, and never a PNG whose
// chunk lengths run past the bytes: its reader would hold such a chunk whole before failing.
TEST(DecodeCarvedPicture, HandsOnlyBoundedPicturesToTheirReaders) {
    const std::vector<std::uint8_t> png = Encoded("PNG");
    const std::vector<std::uint8_t> cutPng(png.begin(), png.begin() + png.size() / 2);
    std::vector<std::uint8_t> xpm = Encoded("XPM");
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reader;  // null: none
    };
    const Case cases[] = {
        {"JPEG", Encoded("JPG"), "jpeg"},
        {"PNG", png, "png"},
        {"BMP", Encoded("BMP"), "bmp"},
        {"TIFF", Encoded("TIFF"), "tiff"},
        {"PNG with a 2 GB chunk", WithHugeTextChunk(png), nullptr},
        {"PNG cut short", cutPng, nullptr},
        {"a type the scan does not carve", xpm, nullptr},
        {"nothing", {}, nullptr},
    };
    for (const Case& c : cases) {
        const char* reader = DecoderFormatFor(c.bytes);
        EXPECT_TRUE(reader == c.reader ||
                    (reader && c.reader && std::strcmp(reader, c.reader) == 0))
            << c.name << ": " << (reader ? reader : "none");
        if (c.reader == nullptr) {
            EXPECT_TRUE(DecodeCarvedPicture(c.bytes, "png", CarvedVerdict::Truncated).isNull())
                << c.name;
        }
    }
}

}  // namespace
}  // namespace lumarest
