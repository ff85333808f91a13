#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "carving/carved_file_saver.h"
#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "core/memory_disk.h"
#include "support/recording_reporter.h"
#include "support/sample_pictures.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::CollectingSink;
using testing::RecordingReporter;
using testing::TempFolder;

constexpr std::size_t kSector = 512;

// The samples the general signature file knows, in the order they are laid on the disk.
const char* const kLaidOut[] = {
    "jpeg_420.jpg",     "jpeg_444.jpg",       "jpeg_progressive.jpg",
    "jpeg_restart.jpg", "jpeg_exif.jpg",      "plain.png",
    "anim.gif",         "bmp1.bmp",           "bmp8.bmp",
    "bmp24.bmp",        "bmp32.bmp",          "tiff_lsb.tif",
    "tiff_msb.tif",     "tiff_tiled_lsb.tif", "tiff_tiled_msb.tif",
    "doc.pdf",          "archive.zip",        "data.gz",
    "bm_inside.jpg",
};

// A real JPEG with "BM" and random bytes at its second sector's start: a comment segment
// right after its first segment carries them.
Bytes JpegWithBmAtSectorStart(const Bytes& jpeg, std::mt19937& random) {
    constexpr std::size_t kCommentBytes = 700;
    Bytes comment = {0xFF, 0xFE, kCommentBytes >> 8, kCommentBytes & 0xFF};
    for (std::size_t i = 2; i < kCommentBytes; ++i) {
        comment.push_back(static_cast<std::uint8_t>(random()));
    }
    const std::size_t firstSegmentEnd = 4 + (std::size_t{jpeg.at(4)} << 8 | jpeg.at(5));
    Bytes file(jpeg.begin(), jpeg.begin() + firstSegmentEnd);
    file.insert(file.end(), comment.begin(), comment.end());
    file.insert(file.end(), jpeg.begin() + firstSegmentEnd, jpeg.end());
    file[kSector] = 'B';
    file[kSector + 1] = 'M';
    return file;
}

struct Laid {
    std::string sample;
    std::uint64_t firstSector;
    Bytes bytes;
};

class CarvingRealFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::map<std::string, Bytes> samples = testing::MakeSamplePictures();
        ASSERT_FALSE(samples.empty());
        std::mt19937 random(2026);
        samples["bm_inside.jpg"] = JpegWithBmAtSectorStart(samples.at("jpeg_420.jpg"), random);
        // Random filler, each file at a sector start after a few sectors of it.
        Bytes disk;
        const auto filler = [&](std::size_t sectors) {
            for (std::size_t i = 0; i < sectors * kSector; ++i) {
                disk.push_back(static_cast<std::uint8_t>(random()));
            }
        };
        for (const char* name : kLaidOut) {
            filler(3 + random() % 20);
            const Bytes& bytes = samples.at(name);
            laid_.push_back({name, disk.size() / kSector, bytes});
            disk.insert(disk.end(), bytes.begin(), bytes.end());
            disk.resize((disk.size() + kSector - 1) / kSector * kSector);
        }
        // The disk ends inside the last picture: it is cut short.
        filler(5);
        const Bytes& last = samples.at("jpeg_progressive.jpg");
        cutFirstSector_ = disk.size() / kSector;
        disk.insert(disk.end(), last.begin(), last.begin() + last.size() / 2);
        disk.resize(disk.size() / kSector * kSector);
        disk_ = std::make_unique<MemoryDisk>(std::move(disk));
        SignatureList list;
        LoadSignatureFile(SignatureFilePath(LUMAREST_SOURCE_DIR "/data", kGeneralSignatureFile),
                          list);
        signatures_ = list;
    }

    std::vector<Laid> laid_;
    std::uint64_t cutFirstSector_ = 0;
    std::unique_ptr<MemoryDisk> disk_;
    SignatureList signatures_;
};

// Every file comes back at its own length and no chance header (the "BM" inside a JPEG
// included) starts or ends a file; the file the disk cuts short says so.
TEST_F(CarvingRealFiles, EachFileIsSavedWholeAtItsTrueLength) {
    const TempFolder folder("lumarest_real_files");
    CollectingSink shown;
    RecordingReporter reporter;
    {
        SavingSink saving(folder.Path().string(), shown, reporter);
        RunCarvingPass(CarvingPass::General, signatures_, *disk_, 0, disk_->TotalSectors(), saving,
                       reporter, {});
    }
    ASSERT_EQ(shown.entries.size(), laid_.size() + 1);
    for (std::size_t i = 0; i < laid_.size(); ++i) {
        const CarvedFile& file = shown.entries[i].file;
        SCOPED_TRACE(laid_[i].sample + " carved as " + file.name);
        EXPECT_EQ(file.position, i);
        EXPECT_EQ(file.firstSector, laid_[i].firstSector);
        EXPECT_EQ(file.savedBytes, laid_[i].bytes.size());
        EXPECT_EQ(file.verdict, CarvedVerdict::Complete);
        EXPECT_GE(file.bytes, file.savedBytes);
        EXPECT_EQ(testing::ReadWholeFile(folder.Path() / file.name), laid_[i].bytes);
    }
    const CarvedFile& cut = shown.entries.back().file;
    EXPECT_EQ(cut.firstSector, cutFirstSector_);
    EXPECT_EQ(cut.verdict, CarvedVerdict::Truncated);
    EXPECT_EQ(cut.savedBytes, cut.bytes);
    EXPECT_EQ(disk_->TotalSectors(), cutFirstSector_ + cut.bytes / kSector);
}

}  // namespace
}  // namespace lumarest
