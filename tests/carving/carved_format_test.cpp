#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "carving/formats/carved_format.h"
#include "carving/formats/jpeg_format.h"
#include "support/sample_pictures.h"

namespace lumarest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::SampleBytes;

const std::map<std::string, SampleBytes>& Samples() {
    static const auto samples = testing::MakeSamplePictures();
    return samples;
}

Bytes RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

Bytes Joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Bytes Hex(std::initializer_list<unsigned> values) {
    Bytes bytes;
    for (const unsigned v : values) {
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

std::string Extension(const std::string& name) {
    return name.substr(name.rfind('.') + 1);
}

// A file followed by filler ends at its own size; cut short, it goes on past the bytes.
TEST(CarvedFormatTest, SampleFilesEndAtTheirOwnSize) {
    ASSERT_FALSE(Samples().empty());
    for (const auto& [name, file] : Samples()) {
        SCOPED_TRACE(name);
        const std::string ext = Extension(name);
        ASSERT_NE(FormatForExtension(ext), nullptr);
        EXPECT_TRUE(HeaderHolds(ext, file));
        const FormatEnd whole = FindFormatEnd(ext, Joined(file, RandomBytes(4096, 1)));
        EXPECT_EQ(whole.kind, EndKind::Found);
        EXPECT_EQ(whole.length, file.size());
        // A PDF cut after any "%%EOF" (the last, or an earlier one of an incremental update)
        // looks whole: only a cut before the first is told.
        const std::vector<std::size_t> cuts =
            ext == "pdf" ? std::vector<std::size_t>{file.size() / 2}
                         : std::vector<std::size_t>{file.size() / 2, file.size() - 1};
        for (const std::size_t kept : cuts) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(kept));
            EXPECT_EQ(FindFormatEnd(ext, cut).kind, EndKind::PastBytes) << kept;
        }
    }
}

// Random bytes behind each signature of the two signature files never pass for a whole file.
TEST(CarvedFormatTest, RandomBytesBehindASignatureAreNeverAWholeFile) {
    const std::vector<std::pair<std::string, Bytes>> signatures = {
        {"jpg", Hex({0xFF, 0xD8, 0xFF, 0xE0})},
        {"jpg", Hex({0xFF, 0xD8, 0xFF, 0xDB})},
        {"png", Hex({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})},
        {"gif", Text("GIF89a")},
        {"bmp", Text("BM")},
        {"tif", Text("II*\0")},
        {"tif", Hex({'M', 'M', 0, 0x2A})},
        {"pdf", Text("%PDF-")},
        {"zip", Hex({'P', 'K', 3, 4})},
        {"avi", Text("RIFF")},
        {"gz", Hex({0x1F, 0x8B, 0x08})},
        {"pcx", Hex({0x0A, 0x05, 0x01})},
        {"ogg", Text("OggS")},
    };
    for (const auto& [ext, signature] : signatures) {
        for (std::uint32_t seed = 0; seed < 300; ++seed) {
            const Bytes bytes = Joined(signature, RandomBytes(8192, seed));
            EXPECT_NE(FindFormatEnd(ext, bytes).kind, EndKind::Found) << ext << " seed " << seed;
        }
    }
}

// Short signatures: real headers hold, while chance matches followed by random bytes are
// turned away essentially always.
TEST(CarvedFormatTest, ShortSignaturesNeedTheirHeaderFields) {
    const Bytes id3v3 = Joined(Hex({'I', 'D', '3', 3, 0, 0, 0, 0, 0x07, 0x76}),
                               Joined(Text("TIT2"), Bytes(498, 0)));
    const Bytes id3v4 = Joined(Hex({'I', 'D', '3', 4, 0, 0x80, 0, 0, 0x10, 0x00}), Bytes(502, 0));
    EXPECT_TRUE(HeaderHolds("mp3", id3v3));
    EXPECT_TRUE(HeaderHolds("mp3", id3v4));

    struct Case {
        std::string ext;
        Bytes signature;
    };
    const std::vector<Case> cases = {
        {"bmp", Text("BM")},
        {"gz", Hex({0x1F, 0x8B, 0x08})},
        {"mp3", Text("ID3")},
        {"pcx", Hex({0x0A, 0x05, 0x01})},
    };
    constexpr int kTrials = 20000;
    for (const Case& c : cases) {
        std::mt19937 random(42);
        int held = 0;
        Bytes head(512);
        for (int trial = 0; trial < kTrials; ++trial) {
            std::generate(head.begin(), head.end(),
                          [&random] { return static_cast<std::uint8_t>(random()); });
            std::copy(c.signature.begin(), c.signature.end(), head.begin());
            held += HeaderHolds(c.ext, head) ? 1 : 0;
        }
        EXPECT_LE(held, kTrials / 10000) << c.ext;
    }
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A photo whose APP2 multi-picture block lists a second picture appended after its EOI.
TEST(CarvedFormatTest, MultiPictureFilesEndAfterTheirLastPicture) {
    const SampleBytes& photo = Samples().at("jpeg_420.jpg");
    const SampleBytes& second = Samples().at("jpeg_thumb.jpg");
    // "MPF\0", a little-endian TIFF header, an IFD of one entry (MPEntry: two 16-byte entries
    // at 26), no next IFD, then the entries.
    Bytes app2 = Cat({Hex({0xFF, 0xE2, 0, 0}), Text(std::string_view("MPF\0", 4)),
                      Hex({'I', 'I', 0x2A, 0, 8, 0,  0, 0, 1, 0, 0x02, 0xB0, 7,
                           0,   32,  0,    0, 0, 26, 0, 0, 0, 0, 0,    0,    0}),
                      Bytes(32, 0)});
    app2[3] = static_cast<std::uint8_t>(app2.size() - 2);
    constexpr std::size_t kTiffAt = 2 + 8;  // after SOI, the segment's marker and length, "MPF\0"
    Bytes file =
        Cat({Bytes(photo.begin(), photo.begin() + 2), app2, Bytes(photo.begin() + 2, photo.end())});
    const std::size_t first = file.size();
    const std::size_t entries = 2 + 8 + 26;
    PutLe32(file, entries + 4, static_cast<std::uint32_t>(first));
    PutLe32(file, entries + 16 + 4, static_cast<std::uint32_t>(second.size()));
    PutLe32(file, entries + 16 + 8, static_cast<std::uint32_t>(first - kTiffAt));
    file.insert(file.end(), second.begin(), second.end());

    const FormatEnd whole = FindFormatEnd("jpg", Joined(file, RandomBytes(1000, 3)));
    EXPECT_EQ(whole.kind, EndKind::Found);
    EXPECT_EQ(whole.length, file.size());
    EXPECT_EQ(FindFormatEnd("jpg", Bytes(file.begin(), file.begin() + first)).kind,
              EndKind::PastBytes);
}

TEST(CarvedFormatTest, ExifThumbnailIsFoundInsideItsSegment) {
    const SampleBytes& photo = Samples().at("jpeg_exif.jpg");
    const SampleBytes& thumbnail = Samples().at("jpeg_thumb.jpg");
    const auto found = JpegExifThumbnail(photo);
    EXPECT_TRUE(std::equal(found.begin(), found.end(), thumbnail.begin(), thumbnail.end()));
    EXPECT_TRUE(JpegExifThumbnail(Samples().at("jpeg_420.jpg")).empty());

    // A thumbnail length reaching past the Exif block gives nothing.
    SampleBytes longer = testing::JpegWithExifThumbnail(Samples().at("jpeg_420.jpg"), thumbnail);
    const std::size_t lengthField = 4 + 6 + 8 + 18 + 2 + 12 + 8;  // IFD1's second entry's value
    longer[lengthField + 1] = 0x7F;
    EXPECT_TRUE(JpegExifThumbnail(longer).empty());
    // Cut inside the thumbnail, there is none to give either.
    EXPECT_TRUE(JpegExifThumbnail(std::span(photo).first(100)).empty());
}

// Hand-made structures that are broken, looped or too large for the bytes.
TEST(CarvedFormatTest, DamagedStructuresGetAVerdict) {
    const Bytes png = Hex({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13});
    const Bytes ihdr = Joined(Text("IHDR"), Bytes(17, 0));
    // TIFF: one IFD at 8 with a single entry, its next-IFD pointer given.
    const auto tiff = [](unsigned next) {
        return Hex({'I', 'I', 0x2A, 0, 8, 0, 0, 0, 1, 0,           0x00,      0x01, 3,
                    0,   1,   0,    0, 0, 5, 0, 0, 0, next & 0xFF, next >> 8, 0,    0});
    };
    const Bytes oggPage = Joined(Hex({'O', 'g', 'g', 'S', 0, 0x02}), Bytes(21, 0));
    const Bytes oggLast = Joined(Hex({'O', 'g', 'g', 'S', 0, 0x04}), Bytes(21, 0));
    // ZIP: one stored one-byte file "a", and its central directory entry.
    Bytes zipEntry(30, 0);
    zipEntry[0] = 'P', zipEntry[1] = 'K', zipEntry[2] = 3, zipEntry[3] = 4, zipEntry[26] = 1;
    zipEntry.push_back('a');
    Bytes zipCentral(46, 0);
    zipCentral[0] = 'P', zipCentral[1] = 'K', zipCentral[2] = 1, zipCentral[3] = 2;
    zipCentral[28] = 1;
    zipCentral.push_back('a');
    struct Case {
        const char* what;
        std::string ext;
        Bytes bytes;
        EndKind kind;
        std::uint64_t length = 0;
    };
    const std::vector<Case> cases = {
        {"PNG chunk of 2^31 bytes", "png",
         Joined(Joined(png, ihdr), Joined(Hex({0x80, 0, 0, 0}), Text("IDAT"))), EndKind::Unknown},
        {"PNG chunk past the bytes", "png",
         Joined(Joined(png, ihdr), Joined(Hex({0x7F, 0xFF, 0, 0}), Text("IDAT"))),
         EndKind::PastBytes},
        {"JPEG segment past the bytes", "jpg", Hex({0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xF0, 0, 0}),
         EndKind::PastBytes},
        {"JPEG segment of length 1", "jpg", Hex({0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 0xFF, 0xD9}),
         EndKind::Unknown},
        {"JPEG with no marker after a segment", "jpg",
         Hex({0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0x12, 0xFF, 0xD9}), EndKind::Unknown},
        {"JPEG scan with stuffing, restart and fill bytes", "jpg",
         Hex({0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 1, 0xFF, 0, 2, 0xFF, 0xD0, 3, 0xFF, 0xFF, 0xD9, 7}),
         EndKind::Found, 16},
        {"TIFF IFD naming itself next", "tif", tiff(8), EndKind::Found, 26},
        {"TIFF next IFD past the bytes", "tif", tiff(0x4000), EndKind::PastBytes},
        {"TIFF first IFD inside its header", "tif",
         Hex({'I', 'I', 0x2A, 0, 2, 0, 0, 0, 1, 0, 0, 0}), EndKind::Unknown},
        {"TIFF strip far past the bytes", "tif",
         Hex({'M', 'M', 0, 0x2A, 0,    0, 0, 8, 0, 2, 0x01, 0x11, 0, 4, 0,  0, 0, 1, 0xF0,
              0,   0,   0, 0x01, 0x17, 0, 4, 0, 0, 0, 1,    0,    0, 0, 16, 0, 0, 0, 0}),
         EndKind::PastBytes},
        {"GIF with an unknown block", "gif",
         Joined(Text("GIF89a"), Hex({1, 0, 1, 0, 0, 0, 0, 0x99, 0x3B})), EndKind::Unknown},
        {"GIF comment, image, trailer", "gif",
         Cat({Text("GIF89a"), Hex({1, 0, 1, 0, 0, 0, 0}), Hex({0x21, 0xFE, 2, 'h', 'i', 0}),
              Hex({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0}), Hex({0x3B, 9})}),
         EndKind::Found, 35},
        {"GIF with no image", "gif",
         Cat({Text("GIF89a"), Hex({1, 0, 1, 0, 0, 0, 0}), Hex({0x21, 0xFE, 1, 'h', 0, 0x3B})}),
         EndKind::Unknown},
        {"ZIP whose end record disagrees", "zip",
         Cat({zipEntry,
              Hex({'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, 9, 0, 0, 0, 9, 0, 0, 0, 0, 0})}),
         EndKind::PastBytes},
        {"ZIP whose end record agrees", "zip",
         Cat({zipEntry, zipCentral,
              Hex({'P', 'K', 5, 6, 0, 0, 0, 0, 1, 0, 1, 0, 47, 0, 0, 0, 31, 0, 0, 0, 2, 0}),
              Text("ok"), Bytes(9, 0)}),
         EndKind::Found, 31 + 47 + 22 + 2},
        {"AVI going on in an AVIX chunk", "avi",
         Cat({Text("RIFF"), Hex({4, 0, 0, 0}), Text("AVI RIFF"), Hex({4, 0, 0, 0}), Text("AVIX"),
              Hex({9, 9})}),
         EndKind::Found, 24},
        {"RIFF of odd size, padded", "avi",
         Cat({Text("RIFF"), Hex({5, 0, 0, 0}), Text("WAVE"), Hex({1, 0, 7, 7})}), EndKind::Found,
         14},
        {"Ogg pages closed by the last", "ogg", Cat({oggPage, oggLast, Text("junk")}),
         EndKind::Found, 54},
        {"Ogg pages closed, then the bytes end", "ogg", Cat({oggPage, oggLast}), EndKind::Found,
         54},
        {"Ogg pages not closed at the end of the bytes", "ogg", Joined(oggPage, oggPage),
         EndKind::PastBytes},
    };
    for (const Case& c : cases) {
        const FormatEnd end = FindFormatEnd(c.ext, c.bytes);
        EXPECT_EQ(end.kind, c.kind) << c.what;
        if (c.kind == EndKind::Found) {
            EXPECT_EQ(end.length, c.length) << c.what;
        }
    }
}

TEST(CarvedFormatTest, ExtensionsFindTheirFormat) {
    EXPECT_EQ(FormatForExtension(" .JPG "), FormatForExtension("jpg"));
    EXPECT_EQ(FormatForExtension("xyz"), nullptr);
    EXPECT_TRUE(IsPictureType("tif"));
    EXPECT_FALSE(IsPictureType("zip"));
    EXPECT_TRUE(HeaderHolds("xyz", Text("anything")));
}

}  // namespace
}  // namespace lumarest
