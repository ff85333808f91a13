#include "support/media_samples.h"

#include <algorithm>

namespace lumarest::testing {
namespace {

constexpr std::size_t kSector = 512;

void PutBe32(MediaBytes& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void PutText(MediaBytes& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

void PutLe16(MediaBytes& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(MediaBytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

struct IfdEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;  // the value itself, or where the values lie
};

}  // namespace

MediaBytes BoxHeader(std::uint32_t size, std::string_view type) {
    MediaBytes bytes;
    PutBe32(bytes, size);
    PutText(bytes, type);
    return bytes;
}

MediaBytes Box(std::string_view type, const MediaBytes& contents) {
    MediaBytes bytes = BoxHeader(static_cast<std::uint32_t>(contents.size() + 8), type);
    bytes.insert(bytes.end(), contents.begin(), contents.end());
    return bytes;
}

MediaBytes LargeBox(std::string_view type, const MediaBytes& contents) {
    MediaBytes bytes = BoxHeader(1, type);
    const std::uint64_t size = contents.size() + 16;
    PutBe32(bytes, static_cast<std::uint32_t>(size >> 32));
    PutBe32(bytes, static_cast<std::uint32_t>(size));
    bytes.insert(bytes.end(), contents.begin(), contents.end());
    return bytes;
}

MediaBytes Ftyp(std::string_view major, std::initializer_list<std::string_view> compatible) {
    MediaBytes contents;
    PutText(contents, major);
    PutBe32(contents, 0);
    for (const std::string_view brand : compatible) {
        PutText(contents, brand);
    }
    return Box("ftyp", contents);
}

MediaBytes Filling(std::size_t count, std::uint8_t seed) {
    MediaBytes bytes(count);
    std::uint32_t state = seed;
    for (std::uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        // Neither printable nor 0xFF: no box type, JPEG or TIFF header appears by chance.
        b = static_cast<std::uint8_t>(0x80 + (state >> 16) % 0x7F);
    }
    return bytes;
}

MediaBytes Joined(std::initializer_list<MediaBytes> parts) {
    MediaBytes bytes;
    for (const MediaBytes& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

void Overwrite(MediaBytes& into, std::size_t at, const MediaBytes& bytes) {
    into.resize(std::max(into.size(), at + bytes.size()));
    std::copy(bytes.begin(), bytes.end(), into.begin() + static_cast<std::ptrdiff_t>(at));
}

MediaBytes RawPicture(const RawShape& shape) {
    constexpr std::uint16_t kAscii = 2;
    constexpr std::uint16_t kShort = 3;
    constexpr std::uint16_t kLong = 4;
    constexpr std::uint16_t kByte = 1;
    constexpr std::size_t kIfdAt = 16;
    constexpr std::size_t kEntries = 9;
    constexpr std::size_t kTextsAt = kIfdAt + 2 + kEntries * 12 + 4;

    MediaBytes bytes(kSector, 0);
    std::copy(shape.magic.begin(), shape.magic.end(), bytes.begin());
    if (shape.magic.size() == 3) {
        bytes[3] = 0;
    }
    PutLe32(bytes, 4, kIfdAt);
    const std::size_t makeAt = kTextsAt;
    const std::size_t modelAt = makeAt + shape.make.size() + 1;
    std::copy(shape.make.begin(), shape.make.end(), bytes.begin() + makeAt);
    std::copy(shape.model.begin(), shape.model.end(), bytes.begin() + modelAt);
    // The preview on the first sector boundary, then a gap, then the strip.
    const std::uint32_t previewAt = kSector;
    const std::uint32_t stripAt = previewAt + shape.previewBytes + 3 * kSector;
    std::vector<IfdEntry> entries = {
        {256, kShort, 1, 64},
        {257, kShort, 1, 48},
        {271, kAscii, static_cast<std::uint32_t>(shape.make.size() + 1),
         static_cast<std::uint32_t>(makeAt)},
        {272, kAscii, static_cast<std::uint32_t>(shape.model.size() + 1),
         static_cast<std::uint32_t>(modelAt)},
        {273, kLong, 1, stripAt},
        {279, kLong, 1, shape.stripBytes},
        {513, kLong, 1, previewAt},
        {514, kLong, 1, shape.previewBytes},
        {shape.dng ? std::uint16_t{50706} : std::uint16_t{305}, kByte, 4, 0x00000401},
    };
    std::sort(entries.begin(), entries.end(),
              [](const IfdEntry& a, const IfdEntry& b) { return a.tag < b.tag; });
    PutLe16(bytes, kIfdAt, static_cast<std::uint16_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = kIfdAt + 2 + i * 12;
        PutLe16(bytes, at, entries[i].tag);
        PutLe16(bytes, at + 2, entries[i].type);
        PutLe32(bytes, at + 4, entries[i].count);
        PutLe32(bytes, at + 8, entries[i].value);
    }
    PutLe32(bytes, kIfdAt + 2 + entries.size() * 12, 0);
    // A JPEG preview whose header starts a sector, as cameras write them.
    MediaBytes preview = Filling(shape.previewBytes, 0x33);
    if (shape.previewBytes >= 4) {
        preview[0] = 0xFF;
        preview[1] = 0xD8;
        preview[2] = 0xFF;
        preview[3] = 0xE0;
    }
    Overwrite(bytes, previewAt, preview);
    Overwrite(bytes, previewAt + shape.previewBytes, Filling(3 * kSector, 0x44));
    Overwrite(bytes, stripAt, Filling(shape.stripBytes, 0x55));
    return bytes;
}

MediaBytes ExifTiff(std::string_view dateTimeOriginal) {
    MediaBytes bytes;
    PutText(bytes, std::string_view("MM\0*", 4));
    PutBe32(bytes, 8);
    // IFD0 at 8: one entry naming the Exif IFD at 26.
    const MediaBytes ifd0 = {0, 1, 0x87, 0x69, 0, 4, 0, 0, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0};
    bytes.insert(bytes.end(), ifd0.begin(), ifd0.end());
    // The Exif IFD at 26: DateTimeOriginal, 20 ASCII bytes at 44.
    const MediaBytes exif = {0, 1, 0x90, 0x03, 0, 2, 0, 0, 0, 20, 0, 0, 0, 44, 0, 0, 0, 0};
    bytes.insert(bytes.end(), exif.begin(), exif.end());
    PutText(bytes, dateTimeOriginal);
    bytes.push_back(0);
    return bytes;
}

MediaBytes JpegWithExifDate(std::string_view dateTimeOriginal) {
    MediaBytes exif;
    PutText(exif, std::string_view("Exif\0\0", 6));
    const MediaBytes tiff = ExifTiff(dateTimeOriginal);
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    const auto length = static_cast<std::uint16_t>(exif.size() + 2);
    MediaBytes bytes = {0xFF,
                        0xD8,
                        0xFF,
                        0xE1,
                        static_cast<std::uint8_t>(length >> 8),
                        static_cast<std::uint8_t>(length)};
    bytes.insert(bytes.end(), exif.begin(), exif.end());
    // A scan of one byte, then the end.
    const MediaBytes rest = {0xFF, 0xDA, 0, 2, 0x11, 0xFF, 0xD9};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

MediaBytes Mvhd(int version, std::uint64_t seconds1904) {
    MediaBytes contents = {static_cast<std::uint8_t>(version), 0, 0, 0};
    if (version == 1) {
        PutBe32(contents, static_cast<std::uint32_t>(seconds1904 >> 32));
    }
    PutBe32(contents, static_cast<std::uint32_t>(seconds1904));
    // The modification time, scale, length and the rest, as long as the version says.
    contents.resize(version == 1 ? 112 : 100, 0);
    return Box("mvhd", contents);
}

MediaBytes RafHeader(std::initializer_list<std::uint32_t> offsetsAndLengths) {
    constexpr std::size_t kPiecesAt = 84;
    MediaBytes bytes;
    PutText(bytes, "FUJIFILMCCD-RAW 0201FF129502");
    bytes.resize(kPiecesAt, 0);
    for (const std::uint32_t value : offsetsAndLengths) {
        PutBe32(bytes, value);
    }
    return bytes;
}

MediaBytes RafPicture(std::uint32_t previewBytes, std::uint32_t sensorBytes) {
    constexpr std::uint32_t kSensorHeaderBytes = 300;
    const std::uint32_t previewAt = kSector;
    const std::uint32_t sensorHeaderAt = previewAt + previewBytes;
    const std::uint32_t sensorAt = sensorHeaderAt + kSensorHeaderBytes;
    MediaBytes bytes = RafHeader(
        {previewAt, previewBytes, sensorHeaderAt, kSensorHeaderBytes, sensorAt, sensorBytes});
    MediaBytes preview = Filling(previewBytes, 0x21);
    const MediaBytes jpegHeader = {0xFF, 0xD8, 0xFF, 0xE0};
    Overwrite(preview, 0, jpegHeader);
    Overwrite(bytes, previewAt, preview);
    Overwrite(bytes, sensorHeaderAt, Filling(kSensorHeaderBytes, 0x22));
    Overwrite(bytes, sensorAt, Filling(sensorBytes, 0x23));
    return bytes;
}

MediaBytes MatroskaFile(std::string_view docType, std::size_t segmentBytes, bool sizeKnown) {
    MediaBytes docTypeElement = {0x42, 0x82, static_cast<std::uint8_t>(0x80 | docType.size())};
    PutText(docTypeElement, docType);
    MediaBytes bytes = {0x1A, 0x45, 0xDF, 0xA3,
                        static_cast<std::uint8_t>(0x80 | docTypeElement.size())};
    bytes.insert(bytes.end(), docTypeElement.begin(), docTypeElement.end());
    const MediaBytes segmentId = {0x18, 0x53, 0x80, 0x67};
    bytes.insert(bytes.end(), segmentId.begin(), segmentId.end());
    bytes.push_back(0x01);  // an eight-byte size
    for (int shift = 48; shift >= 0; shift -= 8) {
        bytes.push_back(sizeKnown ? static_cast<std::uint8_t>(segmentBytes >> shift) : 0xFF);
    }
    const MediaBytes segment = Filling(segmentBytes, 0x24);
    bytes.insert(bytes.end(), segment.begin(), segment.end());
    return bytes;
}

MediaBytes PacketStream(std::size_t packets, std::uint8_t seed) {
    constexpr std::size_t kPacketBytes = 192;
    constexpr std::uint8_t kSync = 0x47;
    constexpr std::uint8_t kVideoPid = 0x10;  // the error flag clear, a PID's high bits
    MediaBytes bytes;
    bytes.reserve(packets * kPacketBytes);
    const MediaBytes payload = Filling(kPacketBytes - 6, seed);
    for (std::size_t i = 0; i < packets; ++i) {
        PutBe32(bytes, static_cast<std::uint32_t>(i * 1800) & 0x3FFFFFFF);
        bytes.push_back(kSync);
        bytes.push_back(kVideoPid);
        bytes.insert(bytes.end(), payload.begin(), payload.end());
    }
    return bytes;
}

}  // namespace lumarest::testing
