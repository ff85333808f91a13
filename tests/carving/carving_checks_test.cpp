#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "carving/carved_file_saver.h"
#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "core/memory_disk.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

using testing::CollectingSink;
using testing::RecordingReporter;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSector = 512;
// The test format's header: "BM", then byte 4 says whether its fields hold.
constexpr std::uint8_t kHolds = 0x01;
// Byte 5 of the header: the structure gives no end.
constexpr std::uint8_t kNoEnd = 0x55;
constexpr char kEndMark[] = "END!";

// A format that holds its header when byte 4 says so and ends after "END!" (no end without
// it, or none at all when byte 5 says so); every other type has no checks.
bool FakeHolds(std::string_view extension, std::span<const std::uint8_t> head) {
    return extension != "fk" || (head.size() > 4 && head[4] == kHolds);
}

std::uint64_t endLooks = 0;
std::uint64_t endLookBytes = 0;

FormatEnd FakeEnd(std::string_view extension, std::span<const std::uint8_t> bytes) {
    ++endLooks;
    endLookBytes += bytes.size();
    if (extension != "fk" || bytes[5] == kNoEnd) {
        return {};
    }
    const auto mark = std::search(bytes.begin(), bytes.end(), kEndMark, kEndMark + 4);
    if (mark == bytes.end()) {
        return {EndKind::PastBytes, 0};
    }
    return {EndKind::Found, static_cast<std::uint64_t>(mark - bytes.begin()) + 4};
}

bool FakePicture(std::string_view extension) {
    return extension == "fk";
}

CarvingOptions FakeOptions() {
    CarvingOptions options;
    options.checks = {FakeHolds, FakeEnd, FakePicture};
    return options;
}

FileType Type(const std::string& extension, const std::string& sizeLimit, const std::string& hex) {
    SignatureList list;
    ParseSignatureText(extension + "\n" + sizeLimit + "\n" + hex + "\nd\n", list);
    return list.at(0);
}

const FileType kJpeg = Type(".jpg", "100000000", "FFD8FFE0");
const FileType kFake = Type(".fk", "100000000", "424D");
const FileType kOther = Type(".bin", "100000000", "424D");

class Disk {
  public:
    explicit Disk(std::size_t sectors) : disk_(Bytes(sectors * kSector, '.')) {}
    void Jpeg(std::size_t sector) { Put(sector * kSector, "\xFF\xD8\xFF\xE0"); }
    void Fake(std::size_t sector, bool holds, bool noEnd = false) {
        Put(sector * kSector, "BM");
        disk_.Bytes()[sector * kSector + 4] = holds ? kHolds : 0;
        disk_.Bytes()[sector * kSector + 5] = noEnd ? kNoEnd : 0;
    }
    void Put(std::size_t offset, const std::string& text) {
        std::copy(text.begin(), text.end(), disk_.Bytes().begin() + offset);
    }
    MemoryDisk& Source() { return disk_; }

  private:
    MemoryDisk disk_;
};

struct Carved {
    std::string name;
    std::uint64_t firstSector;
    std::uint64_t sectors;
    bool operator==(const Carved&) const = default;
};

void PrintTo(const Carved& c, std::ostream* out) {
    *out << c.name << " at " << c.firstSector << ", " << c.sectors << " sectors";
}

std::vector<Carved> Carve(const SignatureList& list, Disk& disk, CarvingOptions options) {
    CollectingSink sink;
    RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, list, disk.Source(), 0, disk.Source().TotalSectors(), sink,
                   reporter, {}, options);
    std::vector<Carved> carved;
    for (const auto& entry : sink.entries) {
        carved.push_back({entry.file.name, entry.file.firstSector, entry.file.bytes / kSector});
    }
    return carved;
}

// A header its format does not hold is data of the open file; the next record with the same
// signature is tried before that.
TEST(CarvingChecks, AHeaderThatDoesNotHoldNeitherOpensNorClosesAFile) {
    struct Case {
        const char* name;
        SignatureList list;
        bool fakeHolds;
        std::vector<Carved> files;
    };
    const Case cases[] = {
        {"not held", {kJpeg, kFake}, false, {{"GNLM00001.jpg", 10, 30}, {"GNLM00002.jpg", 40, 60}}},
        {"held",
         {kJpeg, kFake},
         true,
         {{"GNLM00001.jpg", 10, 10}, {"GNLM00002.fk", 20, 20}, {"GNLM00003.jpg", 40, 60}}},
        {"the next record takes it",
         {kJpeg, kFake, kOther},
         false,
         {{"GNLM00001.bin", 5, 5},
          {"GNLM00002.jpg", 10, 10},
          {"GNLM00003.bin", 20, 20},
          {"GNLM00004.jpg", 40, 60}}},
        {"the first holding record wins",
         {kJpeg, kFake, kOther},
         true,
         {{"GNLM00001.bin", 5, 5},
          {"GNLM00002.jpg", 10, 10},
          {"GNLM00003.fk", 20, 20},
          {"GNLM00004.jpg", 40, 60}}},
    };
    for (const Case& c : cases) {
        Disk disk(100);
        disk.Jpeg(10);
        disk.Fake(20, c.fakeHolds);
        disk.Fake(5, false);  // before any file: starts nothing, or the next record's file
        disk.Jpeg(40);
        EXPECT_EQ(Carve(c.list, disk, FakeOptions()), c.files) << c.name;
    }
}

// What the sink gets once a file's end is looked for.
TEST(CarvingChecks, SavedLengthAndVerdictReachTheSink) {
    struct Case {
        const char* name;
        bool noEnd;
        std::size_t endAt;  // 0: no end mark
        bool keep;
        std::uint64_t savedBytes;
        CarvedVerdict verdict;
        std::size_t held;
    };
    constexpr std::uint64_t kCarved = 40 * kSector;
    const Case cases[] = {
        {"end found", false, 1000, false, 1004, CarvedVerdict::Complete, 1004},
        {"end found, all kept", false, 1000, true, 1004, CarvedVerdict::Complete, kCarved},
        {"cut short", false, 0, false, kCarved, CarvedVerdict::Truncated, kCarved},
        {"no end", true, 1000, false, kCarved, CarvedVerdict::Unchecked, kCarved},
    };
    for (const Case& c : cases) {
        Disk disk(100);
        disk.Fake(10, true, c.noEnd);
        if (c.endAt != 0) {
            disk.Put(10 * kSector + c.endAt, kEndMark);
        }
        disk.Jpeg(50);
        CarvingOptions options = FakeOptions();
        options.keepCarvedBytes = c.keep;
        CollectingSink sink;
        RecordingReporter reporter;
        RunCarvingPass(CarvingPass::General, {kJpeg, kFake}, disk.Source(), 0, 100, sink, reporter,
                       {}, options);
        ASSERT_EQ(sink.entries.size(), 2u) << c.name;
        const auto& [file, bytes] = sink.entries[0];
        EXPECT_EQ(file.bytes, kCarved) << c.name;
        EXPECT_EQ(file.savedBytes, c.savedBytes) << c.name;
        EXPECT_EQ(file.verdict, c.verdict) << c.name;
        EXPECT_EQ(bytes.size(), c.held) << c.name;
        EXPECT_TRUE(
            std::equal(bytes.begin(), bytes.end(), disk.Source().Bytes().begin() + 10 * kSector))
            << c.name;
        // A type with no checks: everything carved is saved, unchecked.
        EXPECT_EQ(sink.entries[1].file.savedBytes, sink.entries[1].file.bytes);
        EXPECT_EQ(sink.entries[1].file.verdict, CarvedVerdict::Unchecked);
    }
}

// Once the end is found the rest of a long file is only counted, and the end is looked for at
// doubling sizes, so the looking costs a few times the file at most.
TEST(CarvingChecks, BytesPastAFoundEndAreNotHeld) {
    constexpr std::size_t kSectors = 64 * 2048;  // 64 MiB
    Disk disk(kSectors);
    disk.Fake(0, true);
    disk.Put(300000, kEndMark);
    disk.Fake(kSectors / 2, true);  // no end mark: looked for to its end
    endLooks = 0;
    endLookBytes = 0;
    CollectingSink sink;
    RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, {kFake}, disk.Source(), 0, kSectors, sink, reporter, {},
                   FakeOptions());
    ASSERT_EQ(sink.entries.size(), 2u);
    EXPECT_EQ(sink.entries[0].file.bytes, kSectors / 2 * kSector);
    EXPECT_EQ(sink.entries[0].file.savedBytes, 300004u);
    EXPECT_LT(sink.entries[0].bytes.capacity(), 1u << 20);
    EXPECT_EQ(sink.entries[1].file.verdict, CarvedVerdict::Truncated);
    // 256 KiB then 512 KiB for the first; 256 KiB ... 32 MiB, its whole length, for the second.
    EXPECT_EQ(endLooks, 2u + 8u);
    EXPECT_LE(endLookBytes, 2 * kSectors * kSector / 2 + (1u << 20));
}

// Takes files in pieces, as the saving sink before the listing does.
class PieceSink : public CollectingSink {
  public:
    bool TakesPieces(const CarvedFile&) const override { return true; }
    void FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) override {
        pieces.push_back({file.name, piece.size()});
        largest = std::max(largest, piece.size());
        spilled.insert(spilled.end(), piece.begin(), piece.end());
    }
    std::vector<std::pair<std::string, std::size_t>> pieces;
    std::size_t largest = 0;
    Bytes spilled;
};

// A file whose end cannot be found goes to a sink that takes pieces in pieces, never whole,
// and the saving sink writes the pieces and the rest as one file.
TEST(CarvingChecks, AFileWithNoEndIsHandedOnInPieces) {
    constexpr std::size_t kSectors = 10 * 2048;  // 10 MiB: two pieces and the rest
    Disk disk(kSectors);
    disk.Fake(0, true, true);
    disk.Fake(kSectors - 100, true);
    disk.Put((kSectors - 100) * kSector + 600, kEndMark);
    const testing::TempFolder temp("lumarest_checks");
    const auto& folder = temp.Path();
    PieceSink shown;
    RecordingReporter reporter;
    SavingSink saving(folder.string(), shown, reporter);
    RunCarvingPass(CarvingPass::General, {kFake}, disk.Source(), 0, kSectors, saving, reporter, {},
                   FakeOptions());
    ASSERT_EQ(shown.entries.size(), 2u);
    EXPECT_FALSE(shown.pieces.empty());
    EXPECT_LE(shown.largest, 4u << 20);
    Bytes whole = shown.spilled;
    whole.insert(whole.end(), shown.entries[0].bytes.begin(), shown.entries[0].bytes.end());
    const auto& source = disk.Source().Bytes();
    const std::size_t carved = (kSectors - 100) * kSector;
    ASSERT_EQ(whole.size(), carved);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), source.begin()));
    EXPECT_EQ(testing::ReadWholeFile(folder / "GNLM00001.fk"), whole);
    // The file with an end is saved to it, in one piece.
    EXPECT_EQ(testing::ReadWholeFile(folder / "GNLM00002.fk"),
              Bytes(source.begin() + static_cast<std::ptrdiff_t>(carved),
                    source.begin() + static_cast<std::ptrdiff_t>(carved + 604)));
}

}  // namespace
}  // namespace lumarest
