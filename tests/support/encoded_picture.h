#pragma once

// For the test programs that link Qt: pictures made and encoded by Qt's own writers.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <cstdint>
#include <vector>

namespace lumarest::testing {

inline QImage FilledPicture(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// `image` as a file of `format` ("JPG", "PNG", ...) would hold it.
inline std::vector<std::uint8_t> EncodedPicture(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return {bytes.begin(), bytes.end()};
}

}  // namespace lumarest::testing
