#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "carving/carved_file_saver.h"
#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "disk/device_sector_source.h"
#include "support/image_guard.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using testing::CollectingSink;
using testing::ImageGuard;
using testing::RecordingReporter;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSector = 512;

Bytes ReadWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Drops the JPEG's first segment (ImageMagick's JFIF APP0) and puts `segment` in its place.
Bytes ReplaceFirstSegment(const Bytes& jpeg, const Bytes& segment) {
    const std::size_t length = static_cast<std::size_t>(jpeg[4] << 8 | jpeg[5]);
    Bytes result(jpeg.begin(), jpeg.begin() + 2);
    result.insert(result.end(), segment.begin(), segment.end());
    result.insert(result.end(), jpeg.begin() + 4 + static_cast<std::ptrdiff_t>(length), jpeg.end());
    return result;
}

// The APP1 segment a camera writes first: "Exif", then a little-endian TIFF header and one
// directory entry (the camera make).
Bytes ExifSegment() {
    const Bytes tiff = {'I',  'I',  0x2A, 0, 8, 0, 0, 0,  // header, first IFD at 8
                        1,    0,                          // one entry
                        0x0F, 0x01, 2,    0, 4, 0, 0, 0, 'C', 'a', 'm', 0,  // Make = "Cam"
                        0,    0,    0,    0};                               // no next IFD
    Bytes segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const std::size_t length = segment.size() - 2;
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length);
    return segment;
}

struct Picture {
    std::string kind;  // "jpg", "png", "tif"
    Bytes bytes;
    bool general;  // the general list knows its header
};

struct Placed {
    Picture picture;
    std::uint64_t sector;
};

// Pictures made by ImageMagick, laid on a disk image at sector offsets between random filler
// sectors. Filler sectors start with a blank, which begins no signature.
class CarvingPicturesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new fs::path(fs::temp_directory_path() /
                               ("lumarest_carving_" + std::to_string(::getpid())));
        fs::create_directories(*folder_);
        const fs::path& f = *folder_;
        auto make = [&](const std::string& arguments) {
            return std::system(("convert " + arguments + " 2>/dev/null").c_str()) == 0;
        };
        available_ =
            make("-seed 7 -size 640x480 plasma: -quality 85 '" + (f / "a.jpg").string() + "'") &&
            make("-seed 8 -size 1024x768 plasma: -quality 90 '" + (f / "b.jpg").string() + "'") &&
            make("-seed 9 -size 320x240 plasma: '" + (f / "c.jpg").string() + "'") &&
            make("-seed 10 -size 200x150 plasma: '" + (f / "d.jpg").string() + "'") &&
            make("-size 300x200 gradient:red-blue '" + (f / "e.png").string() + "'") &&
            make("'" + (f / "c.jpg").string() + "' -define tiff:endian=lsb -compress none '" +
                 (f / "le.tif").string() + "'") &&
            make("'" + (f / "d.jpg").string() + "' -define tiff:endian=msb -compress lzw '" +
                 (f / "be.tif").string() + "'");
    }
    static void TearDownTestSuite() {
        std::error_code error;
        fs::remove_all(*folder_, error);
        delete folder_;
    }

    void SetUp() override {
        if (!available_) {
            GTEST_SKIP() << "ImageMagick's convert could not make the pictures";
        }
        const fs::path& f = *folder_;
        const Bytes dqtFirst = ReplaceFirstSegment(ReadWholeFile(f / "d.jpg"), {});
        pictures_ = {
            {"jpg", ReadWholeFile(f / "a.jpg"), true},
            {"jpg", ReplaceFirstSegment(ReadWholeFile(f / "b.jpg"), ExifSegment()), true},
            {"png", ReadWholeFile(f / "e.png"), true},
            {"tif", ReadWholeFile(f / "le.tif"), true},
            {"tif", ReadWholeFile(f / "be.tif"), true},
            {"jpg", ReadWholeFile(f / "c.jpg"), true},
            {"jpg", ReplaceFirstSegment(ReadWholeFile(f / "c.jpg"), ExifSegment()), true},
            {"jpg", dqtFirst, false},
        };
        ASSERT_EQ(pictures_[1].bytes[3], 0xE1);
        ASSERT_EQ(pictures_[7].bytes[3], 0xDB);
        ASSERT_EQ(pictures_[3].bytes[0], 'I');
        ASSERT_EQ(pictures_[4].bytes[0], 'M');
        BuildImage();
        signatures_ = LoadList(kGeneralSignatureFile);
        thorough_ = LoadList(kThoroughSignatureFile);
    }

    static SignatureList LoadList(const char* name) {
        SignatureList list;
        LoadSignatureFile(SignatureFilePath(LUMAREST_BIN_DIR, name), list);
        return list;
    }

    void BuildImage() {
        std::mt19937 random(42);
        auto filler = [&](std::size_t sectors) {
            for (std::size_t s = 0; s < sectors; ++s) {
                Bytes sector(kSector);
                for (auto& byte : sector) {
                    byte = static_cast<std::uint8_t>(random());
                }
                sector[0] = ' ';
                image_.insert(image_.end(), sector.begin(), sector.end());
            }
        };
        filler(10);
        for (std::size_t i = 0; i < pictures_.size(); ++i) {
            placed_.push_back({pictures_[i], image_.size() / kSector});
            Bytes bytes = pictures_[i].bytes;
            bytes.resize((bytes.size() + kSector - 1) / kSector * kSector, 0);
            image_.insert(image_.end(), bytes.begin(), bytes.end());
            filler(1 + 3 * i);
        }
        filler(40);
        imagePath_ = (*folder_ / "pictures.img").string();
        WriteWholeFile(imagePath_, image_);
        ::chmod(imagePath_.c_str(), 0444);
    }

    std::uint64_t Sectors() const { return image_.size() / kSector; }

    // Runs one pass over the whole image as the window would: through the sector reader.
    void Run(CarvingPass pass, const SignatureList& list, CarvedFileSink& sink) {
        DeviceSectorSource source(SectorReaderContext{}, imagePath_, Sectors());
        RunCarvingPass(pass, list, source, 0, Sectors(), sink, reporter_, {});
    }

    static fs::path* folder_;
    static bool available_;
    std::vector<Picture> pictures_;
    std::vector<Placed> placed_;
    Bytes image_;
    std::string imagePath_;
    SignatureList signatures_;
    SignatureList thorough_;
    RecordingReporter reporter_;
};

fs::path* CarvingPicturesTest::folder_ = nullptr;
bool CarvingPicturesTest::available_ = false;

TEST_F(CarvingPicturesTest, EachPictureIsCarvedFromItsHeaderToTheNextOne) {
    ImageGuard guard(imagePath_);
    CollectingSink sink;
    Run(CarvingPass::General, signatures_, sink);
    ASSERT_EQ(sink.entries.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        const auto& entry = sink.entries[i];
        SCOPED_TRACE(entry.file.name);
        EXPECT_EQ(entry.file.name,
                  CarvedFileName(CarvingPass::General, i + 1, "." + placed_[i].picture.kind));
        EXPECT_EQ(entry.file.position, i);
        EXPECT_EQ(entry.file.firstSector, placed_[i].sector);
        // Up to the next header; the last general picture swallows the thorough-only one and
        // ends with the range.
        const std::uint64_t end = i + 1 < 7 ? placed_[i + 1].sector : Sectors();
        EXPECT_EQ(entry.file.bytes, (end - placed_[i].sector) * kSector);
        // The picture's own end is found; nothing past it needs holding.
        const Bytes& original = placed_[i].picture.bytes;
        EXPECT_EQ(entry.file.savedBytes, original.size());
        ASSERT_GE(entry.bytes.size(), original.size());
        EXPECT_TRUE(std::equal(original.begin(), original.end(), entry.bytes.begin()));
        EXPECT_TRUE(
            std::equal(entry.bytes.begin(), entry.bytes.end(),
                       image_.begin() + static_cast<std::ptrdiff_t>(placed_[i].sector * kSector)));
    }
    for (const std::string& call : reporter_.Calls()) {
        EXPECT_THAT(call, ::testing::Not(::testing::HasSubstr("THLM")));
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(CarvingPicturesTest, ThoroughScanningAddsThePicturesTheGeneralListMisses) {
    ImageGuard guard(imagePath_);
    CollectingSink sink;
    Run(CarvingPass::General, signatures_, sink);
    ASSERT_EQ(sink.entries.size(), 7u);
    Run(CarvingPass::Thorough, thorough_, sink);
    ASSERT_EQ(sink.entries.size(), 8u);
    const auto& thorough = sink.entries[7];
    EXPECT_EQ(thorough.file.name, "THLM00001.jpg");
    EXPECT_EQ(thorough.file.position, 7u);
    EXPECT_EQ(thorough.file.firstSector, placed_[7].sector);
    EXPECT_EQ(thorough.file.bytes, (Sectors() - placed_[7].sector) * kSector);
    EXPECT_EQ(thorough.file.savedBytes, placed_[7].picture.bytes.size());
    EXPECT_TRUE(std::equal(placed_[7].picture.bytes.begin(), placed_[7].picture.bytes.end(),
                           thorough.bytes.begin()));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(CarvingPicturesTest, SavedFilesHoldThePictures) {
    ImageGuard guard(imagePath_);
    const fs::path destination = *folder_ / "saved";
    fs::create_directories(destination);
    ASSERT_EQ(CheckDestinationFolder(destination.string(), imagePath_), std::nullopt);
    CollectingSink shown;
    SavingSink saving(destination.string(), shown, reporter_);
    Run(CarvingPass::General, signatures_, saving);
    Run(CarvingPass::Thorough, thorough_, saving);
    EXPECT_EQ(saving.SavedCount(), 8u);
    ASSERT_EQ(shown.entries.size(), 8u);
    for (const auto& entry : shown.entries) {
        EXPECT_EQ(entry.file.savedPath, (destination / entry.file.name).string());
        EXPECT_EQ(ReadWholeFile(entry.file.savedPath), entry.bytes) << entry.file.name;
    }
    EXPECT_TRUE(reporter_.Messages().empty());
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest
