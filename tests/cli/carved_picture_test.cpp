#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <vector>

#include "output/picture.h"

namespace lumarest {
namespace {

std::vector<std::uint8_t> Encoded(const char* format) {
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return {data.begin(), data.end()};
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

}  // namespace
}  // namespace lumarest
