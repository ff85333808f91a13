#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "carving/carved_verdict.h"
#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "core/memory_disk.h"
#include "support/made_media.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"

// The raw search on photos, clips and raw pictures that heif-enc, ffmpeg, convert and exiftool
// made, laid on a disk among random bytes.
namespace lumarest {
namespace {

using Bytes = testing::MediaBytes;
using testing::MadeMedia;

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kSeed = 2026;

std::size_t RoundUp(std::size_t bytes) {
    return (bytes + kSector - 1) / kSector * kSector;
}

// A disk being laid out: random bytes between files, each file on a sector boundary.
class Layout {
  public:
    explicit Layout(std::uint32_t seed) : random_(seed) {}

    void Random(std::size_t bytes) {
        for (std::size_t i = 0; i < bytes; ++i) {
            disk_.push_back(static_cast<std::uint8_t>(random_()));
        }
    }
    // Random bytes to the next sector boundary, then `sectors` random sectors.
    void Gap(std::size_t sectors) {
        Random(RoundUp(disk_.size()) - disk_.size() + sectors * kSector);
    }
    // Lays `bytes` at the next sector boundary and gives its first sector.
    std::uint64_t File(const Bytes& bytes) {
        Gap(0);
        const std::uint64_t first = disk_.size() / kSector;
        disk_.insert(disk_.end(), bytes.begin(), bytes.end());
        return first;
    }
    // Random bytes over the disk from `at` to its end.
    void Scramble(std::size_t at) {
        for (std::size_t i = at; i < disk_.size(); ++i) {
            disk_[i] = static_cast<std::uint8_t>(random_());
        }
    }
    std::size_t Size() const { return disk_.size(); }
    // The disk, its last sector filled up with random bytes.
    Bytes Disk() {
        Gap(0);
        return disk_;
    }

  private:
    std::mt19937 random_;
    Bytes disk_;
};

Bytes Saved(const testing::CollectingSink::Entry& entry) {
    const auto saved = static_cast<std::ptrdiff_t>(
        std::min<std::uint64_t>(entry.file.savedBytes, entry.bytes.size()));
    return Bytes(entry.bytes.begin(), entry.bytes.begin() + saved);
}

std::string Names(const std::vector<testing::CollectingSink::Entry>& carved) {
    std::string names;
    for (const auto& entry : carved) {
        names += entry.file.name + " ";
    }
    return names;
}

std::string Extension(const std::string& name) {
    return name.substr(name.rfind('.') + 1);
}

class MadeMediaCarving : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<testing::TempFolder>("lumarest_made_media");
        made_ = std::make_unique<testing::MadeMediaSet>(testing::MakeToolMedia(folder_->Path()));
    }
    static void TearDownTestSuite() {
        made_.reset();
        folder_.reset();
    }

    void SetUp() override {
        if (!made_->missing.empty()) {
            GTEST_SKIP() << made_->missing << " is not installed";
        }
        for (const std::string& reason : made_->notMade) {
            std::cout << "not made: " << reason << "\n";
        }
        ASSERT_FALSE(made_->files.empty());
    }

    static const std::vector<MadeMedia>& Files() { return made_->files; }
    static const testing::MadeMediaSet& Made() { return *made_; }

  private:
    static inline std::unique_ptr<testing::TempFolder> folder_;
    static inline std::unique_ptr<testing::MadeMediaSet> made_;
};

// Laid one after another with random bytes between, each comes back byte for byte at its own
// length, from its own sector, named by its true type and complete.
TEST_F(MadeMediaCarving, EachComesBackWholeUnderItsTrueType) {
    Layout layout(kSeed);
    layout.Gap(3);
    std::vector<std::uint64_t> firstSectors;
    for (std::size_t i = 0; i < Files().size(); ++i) {
        firstSectors.push_back(layout.File(Files()[i].bytes));
        layout.Gap(2 + i % 5);
    }
    const auto carved = testing::CarvedFromMemory(layout.Disk());
    ASSERT_EQ(carved.size(), Files().size()) << Names(carved);
    for (std::size_t i = 0; i < carved.size(); ++i) {
        const MadeMedia& made = Files()[i];
        const auto& file = carved[i].file;
        SCOPED_TRACE(made.label);
        EXPECT_EQ(file.name, CarvedFileName(CarvingPass::General, i + 1, "." + made.extension));
        EXPECT_EQ(file.firstSector, firstSectors[i]);
        EXPECT_EQ(file.savedBytes, made.bytes.size());
        EXPECT_EQ(file.verdict, CarvedVerdict::Complete) << VerdictText(file.verdict);
        EXPECT_TRUE(Saved(carved[i]) == made.bytes);
    }
}

struct Cut {
    const char* how;
    MadeMedia made;
    std::size_t keep;  // bytes of the file left as they were
    bool diskEnds;     // the disk ends there; else random bytes run on over the rest
};

// A file cut short, where the disk ends or where random bytes overwrite its tail, is truncated
// and saved with what was carved of it, never more. Random bytes over media data alone go
// unseen: the tails overwritten are those holding the movie box or the media box's header.
TEST_F(MadeMediaCarving, EachCutShortIsTruncated) {
    std::vector<Cut> cuts;
    for (const MadeMedia& made : Files()) {
        const std::size_t half = made.bytes.size() / 2 / kSector * kSector;
        cuts.push_back({"the disk ends", made, std::max(half, kSector), true});
        const testing::BoxPlace movie = testing::FindTopLevelBox(made.bytes, "moov");
        const testing::BoxPlace media = testing::FindTopLevelBox(made.bytes, "mdat");
        // Over a media box that comes last, from its header on: the movie or meta box before
        // it still points into the media.
        if (media.size != 0 && media.at + media.size == made.bytes.size()) {
            cuts.push_back({"its media box overwritten", made, media.at, false});
        }
        if (movie.size != 0 && movie.at + movie.size == made.bytes.size()) {
            cuts.push_back(
                {"its movie box overwritten", made, movie.at / kSector * kSector, false});
        }
    }
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.made.label + ", " + cut.how);
        ASSERT_LT(cut.keep, cut.made.bytes.size());
        Layout layout(kSeed);
        layout.Gap(2);
        const std::uint64_t first = layout.File(cut.made.bytes);
        if (!cut.diskEnds) {
            layout.Gap(8);
        }
        layout.Scramble(first * kSector + cut.keep);
        Bytes disk = layout.Disk();
        if (cut.diskEnds) {
            disk.resize(first * kSector + cut.keep);
        }
        const auto carved = testing::CarvedFromMemory(disk);
        ASSERT_EQ(carved.size(), 1u) << Names(carved);
        const auto& file = carved[0].file;
        EXPECT_EQ(Extension(file.name), cut.made.extension);
        EXPECT_EQ(file.verdict, CarvedVerdict::Truncated) << VerdictText(file.verdict);
        EXPECT_EQ(file.bytes, disk.size() - first * kSector);
        EXPECT_EQ(file.savedBytes, file.bytes);
        const Bytes saved = Saved(carved[0]);
        ASSERT_EQ(saved.size(), file.savedBytes);
        EXPECT_TRUE(std::equal(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(cut.keep),
                               cut.made.bytes.begin()));
    }
}

// Whatever follows a file (random bytes up to a next header far off, the disk's end right
// after its last sector), it ends where its own sizes say.
TEST_F(MadeMediaCarving, RandomBytesBehindAFileAreNotTakenAsItsEnd) {
    constexpr std::size_t kFarSectors[] = {64, 0};
    for (const MadeMedia& made : Files()) {
        for (const std::size_t sectors : kFarSectors) {
            SCOPED_TRACE(made.label + ", " + std::to_string(sectors) + " random sectors after");
            Layout layout(kSeed + static_cast<std::uint32_t>(sectors));
            layout.Gap(1);
            layout.File(made.bytes);
            layout.Gap(sectors);
            const auto carved = testing::CarvedFromMemory(layout.Disk());
            ASSERT_EQ(carved.size(), 1u) << Names(carved);
            EXPECT_EQ(carved[0].file.bytes, RoundUp(made.bytes.size()) + sectors * kSector);
            EXPECT_EQ(carved[0].file.savedBytes, made.bytes.size());
            EXPECT_EQ(carved[0].file.verdict, CarvedVerdict::Complete)
                << VerdictText(carved[0].file.verdict);
        }
    }
}

struct Holder {
    std::string label;
    std::string extension;
    Bytes bytes;
    testing::BoxPlace data;  // where its media or strip data lie
};

// `file` with a JPEG and a TIFF picture laid over its data, each on a sector boundary.
Bytes WithHeadersInside(Bytes file, const testing::BoxPlace& data, const Bytes& jpeg,
                        const Bytes& tiff) {
    const std::size_t jpegAt = RoundUp(data.at + 1);
    const std::size_t tiffAt = RoundUp(jpegAt + jpeg.size());
    EXPECT_LE(tiffAt + tiff.size(), data.at + data.size) << "too little data to hold them";
    testing::Overwrite(file, jpegAt, jpeg);
    testing::Overwrite(file, tiffAt, tiff);
    return file;
}

// A JPEG and a TIFF header on sector boundaries inside a file's media or strip data (a CR3 as
// ffmpeg lays out an MP4, a MOV, a HEIC, an RW2), or a raw picture's own preview, are its
// data: the file comes back whole, as one.
TEST_F(MadeMediaCarving, HeadersInsideAFileLeaveItWhole) {
    std::vector<Holder> holders;
    for (const MadeMedia& made : Files()) {
        const testing::BoxPlace media = testing::FindTopLevelBox(made.bytes, "mdat");
        if (made.extension == "mp4") {
            holders.push_back({"cr3 from " + made.label, "cr3", testing::AsCr3(made.bytes), media});
        } else if (made.extension == "mov" || made.label == "heic with a thumbnail") {
            holders.push_back({made.label, made.extension, made.bytes, media});
        } else if (made.extension == "rw2") {
            holders.push_back(
                {made.label, made.extension, made.bytes, testing::FirstStrip(made.bytes)});
        } else if (made.extension == "nef") {
            holders.push_back({made.label + ", alone", made.extension, made.bytes, {}});
        }
    }
    ASSERT_EQ(holders.size(), 6u);
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.label);
        const Bytes file = holder.data.size == 0 ? holder.bytes
                                                 : WithHeadersInside(holder.bytes, holder.data,
                                                                     Made().jpeg, Made().tiff);
        Layout layout(kSeed);
        layout.Gap(2);
        const std::uint64_t first = layout.File(file);
        layout.Gap(4);
        const auto carved = testing::CarvedFromMemory(layout.Disk());
        ASSERT_EQ(carved.size(), 1u) << Names(carved);
        const auto& found = carved[0].file;
        if (holder.data.size != 0) {
            // With its own header gone, the pictures laid inside start files of their own (as
            // does a raw picture's own preview).
            Bytes headless = file;
            std::fill_n(headless.begin(), kSector, std::uint8_t{0});
            const auto loose = testing::CarvedFromMemory(headless);
            ASSERT_GE(loose.size(), 2u) << Names(loose);
            EXPECT_EQ(Extension(loose[0].file.name), "jpg") << Names(loose);
            EXPECT_EQ(Extension(loose[1].file.name), "tif") << Names(loose);
        }
        EXPECT_EQ(Extension(found.name), holder.extension);
        EXPECT_EQ(found.firstSector, first);
        EXPECT_EQ(found.savedBytes, file.size());
        EXPECT_EQ(found.verdict, CarvedVerdict::Complete) << VerdictText(found.verdict);
        EXPECT_TRUE(Saved(carved[0]) == file);
    }
}

}  // namespace
}  // namespace lumarest
