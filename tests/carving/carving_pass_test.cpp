#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "core/memory_disk.h"
#include "core/sector_source.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::CollectingSink;
using testing::RecordingReporter;

constexpr std::size_t kSector = 512;
constexpr std::uint64_t kChunk = 1024;

// A record as a signature file gives it; one with no signature bytes, which no file gives, is
// made by hand.
FileType Type(const std::string& extension, const std::string& sizeLimit, const std::string& hex) {
    if (hex.empty()) {
        return {extension, sizeLimit, "", "d", "0"};
    }
    SignatureList list;
    ParseSignatureText(extension + "\n" + sizeLimit + "\n" + hex + "\nd\n", list);
    return list.at(0);
}

// A disk of filler sectors ('.'); headers are placed by hand.
class CarvingDisk {
  public:
    explicit CarvingDisk(std::size_t sectors)
        : disk_(std::vector<std::uint8_t>(sectors * kSector, '.')) {}

    void Put(std::size_t sector, std::initializer_list<std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), disk_.Bytes().begin() + sector * kSector);
    }
    void Header(std::size_t sector) { Put(sector, {0xFF, 0xD8, 0xFF, 0xE0}); }

    MemoryDisk& Disk() { return disk_; }

  private:
    MemoryDisk disk_;
};

struct Carved {
    std::string name;
    std::uint64_t firstSector;
    std::uint64_t sectors;
};

std::vector<Carved> Carve(const SignatureList& list, SectorSource& disk, std::uint64_t first,
                          std::uint64_t last, CarvingPass pass = CarvingPass::General) {
    CollectingSink sink;
    RecordingReporter reporter;
    RunCarvingPass(pass, list, disk, first, last, sink, reporter, {});
    std::vector<Carved> carved;
    for (const auto& entry : sink.entries) {
        EXPECT_EQ(entry.bytes.size(), entry.file.bytes);
        EXPECT_EQ(entry.bytes.size() % kSector, 0u);
        carved.push_back({entry.file.name, entry.file.firstSector, entry.bytes.size() / kSector});
    }
    return carved;
}

MATCHER_P3(IsFile, name, firstSector, sectors, "") {
    *result_listener << arg.name << " at " << arg.firstSector << ", " << arg.sectors << " sectors";
    return arg.name == name && arg.firstSector == static_cast<std::uint64_t>(firstSector) &&
           arg.sectors == static_cast<std::uint64_t>(sectors);
}

TEST(CarvingPass, AFileRunsToItsLimitOrTheNextHeader) {
    CarvingDisk disk(2048);
    disk.Header(10);
    disk.Header(11);  // header after header: a one-sector file
    disk.Header(20);  // limit 1500: three sectors, then sector 23 belongs to no file
    disk.Header(30);
    const SignatureList list = {Type(".jpg", "1500", "FFD8FFE0")};
    EXPECT_THAT(
        Carve(list, disk.Disk(), 0, 2048),
        ::testing::ElementsAre(IsFile("GNLM00001.jpg", 10, 1), IsFile("GNLM00002.jpg", 11, 3),
                               IsFile("GNLM00003.jpg", 20, 3), IsFile("GNLM00004.jpg", 30, 3)));
}

TEST(CarvingPass, SizeLimitsRoundUpToWholeSectorsWithOneAtLeast) {
    const std::pair<const char*, std::uint64_t> cases[] = {
        {"0", 1},    {"1", 1},    {"512", 1}, {"513", 2},   {"1500", 3},
        {"1536", 3}, {"junk", 1}, {"-5", 1},  {" 1024", 2}, {"99999999999999999999999", 99}};
    for (const auto& [limit, sectors] : cases) {
        CarvingDisk disk(200);
        disk.Header(0);
        disk.Header(99);
        const SignatureList list = {Type(".jpg", limit, "FFD8FFE0")};
        const auto carved = Carve(list, disk.Disk(), 0, 200);
        ASSERT_FALSE(carved.empty());
        EXPECT_EQ(carved[0].sectors, sectors) << limit;
    }
}

TEST(CarvingPass, TheSectorAfterAFullFileBelongsToNoFile) {
    // Once full, the next plain sector closes the file; a header right after starts the next.
    CarvingDisk disk(100);
    disk.Header(0);
    disk.Header(2);
    const SignatureList list = {Type(".jpg", "512", "FFD8FFE0")};
    EXPECT_THAT(
        Carve(list, disk.Disk(), 0, 100),
        ::testing::ElementsAre(IsFile("GNLM00001.jpg", 0, 1), IsFile("GNLM00002.jpg", 2, 1)));
}

TEST(CarvingPass, DecimalLookAlikesAndTheEmptySignatureMatchAsRead) {
    CarvingDisk disk(1024);
    disk.Put(5, {0x0C, 0x03});  // "123", like 01 17
    disk.Put(9, {0x01, 0x17});
    const SignatureList list = {Type(".a", "100000", "0117")};
    EXPECT_THAT(Carve(list, disk.Disk(), 0, 1024),
                ::testing::ElementsAre(IsFile("GNLM00001.a", 5, 4), IsFile("GNLM00002.a", 9, 196)));
    // An empty signature starts a file at every sector no earlier record claims.
    const SignatureList catchAll = {Type(".a", "100000", "0117"), Type(".b", "5000", "")};
    const auto carved = Carve(catchAll, disk.Disk(), 0, 1024);
    ASSERT_EQ(carved.size(), 1024u);
    EXPECT_THAT(carved[5], IsFile("GNLM00006.a", 5, 1));
    EXPECT_THAT(carved[6], IsFile("GNLM00007.b", 6, 1));
}

// No file starts at or after the range's end; one that starts before it runs on through the
// rest of its chunk to its limit or the next header, which ends it without starting another.
TEST(CarvingPass, NoFileStartsPastTheRangeButTheOpenOneRunsToTheChunkEnd) {
    CarvingDisk disk(3000);
    disk.Header(0);
    disk.Header(1000);
    disk.Header(1030);  // in the second chunk of a search from sector 0
    const SignatureList list = {Type(".jpg", "10000000", "FFD8FFE0")};
    struct Case {
        const char* name;
        std::uint64_t first;
        std::uint64_t last;
        std::vector<Carved> files;
    };
    const Case cases[] = {
        {"one sector", 0, 1, {{"GNLM00001.jpg", 0, 1000}}},
        {"ending at a header", 0, 1000, {{"GNLM00001.jpg", 0, 1000}}},
        {"ending after a header",
         0,
         1001,
         {{"GNLM00001.jpg", 0, 1000}, {"GNLM00002.jpg", 1000, 24}}},
        {"second chunk", 0, 1025, {{"GNLM00001.jpg", 0, 1000}, {"GNLM00002.jpg", 1000, 30}}},
        {"reaching the third header",
         0,
         1031,
         {{"GNLM00001.jpg", 0, 1000}, {"GNLM00002.jpg", 1000, 30}, {"GNLM00003.jpg", 1030, 1018}}},
        {"no header inside", 1001, 1002, {}},
        {"a header inside, the chunk past it", 1001, 1031, {{"GNLM00001.jpg", 1030, 995}}},
    };
    for (const Case& c : cases) {
        const std::vector<Carved> carved = Carve(list, disk.Disk(), c.first, c.last);
        ASSERT_EQ(carved.size(), c.files.size()) << c.name;
        for (std::size_t i = 0; i < carved.size(); ++i) {
            EXPECT_THAT(carved[i],
                        IsFile(c.files[i].name, c.files[i].firstSector, c.files[i].sectors))
                << c.name;
            EXPECT_LT(carved[i].firstSector, c.last) << c.name;
        }
    }
}

TEST(CarvingPass, StopsAtTheEndOfTheDisk) {
    CarvingDisk disk(1500);
    disk.Header(1400);
    const SignatureList list = {Type(".jpg", "10000000", "FFD8FFE0")};
    EXPECT_THAT(Carve(list, disk.Disk(), 1024, 1500),
                ::testing::ElementsAre(IsFile("GNLM00001.jpg", 1400, 100)));
    EXPECT_EQ(disk.Disk().ReadCalls(), 1u);
    // A range reaching past the disk reads nothing beyond it.
    EXPECT_TRUE(Carve(list, disk.Disk(), 1500, 5000).empty());
    EXPECT_EQ(disk.Disk().ReadCalls(), 1u);
}

TEST(CarvingPass, ReportsEveryChunkThroughTheStatisticsAndTheMainBar) {
    CarvingDisk disk(4096);
    RecordingReporter reporter;
    CollectingSink sink;
    RunCarvingPass(CarvingPass::Thorough, {}, disk.Disk(), 100, 2148, sink, reporter, {});
    const std::string sectors = std::to_string(static_cast<int>(Statistic::SectorProgress));
    const std::string method = std::to_string(static_cast<int>(Statistic::SearchMethod));
    const std::string bar = std::to_string(static_cast<int>(ProgressBar::MainScan));
    EXPECT_THAT(
        reporter.Calls(),
        ::testing::ElementsAre(
            "value " + std::to_string(static_cast<int>(Statistic::DirectoriesFound)) + ": 0",
            "value " + std::to_string(static_cast<int>(Statistic::BootSectorsFound)) + ": 0",
            "value " + sectors + ": Sectors  100 of 2148",
            "value " + method +
                ": (Currently performing Search based on: Thorough Scanning Algorithm)",
            "value " + sectors + ": Sectors  100 of 2148", "progress " + bar + ": 4 Completed ",
            "value " + sectors + ": Sectors  1124 of 2148", "progress " + bar + ": 52 Completed "));
}

TEST(CarvingPass, NamesGrowPastFiveDigits) {
    EXPECT_EQ(CarvedFileName(CarvingPass::General, 1, ".jpg"), "GNLM00001.jpg");
    EXPECT_EQ(CarvedFileName(CarvingPass::General, 12, ".jpg"), "GNLM00012.jpg");
    EXPECT_EQ(CarvedFileName(CarvingPass::Thorough, 1234, ".png"), "THLM01234.png");
    EXPECT_EQ(CarvedFileName(CarvingPass::General, 99999, ""), "GNLM99999");
    EXPECT_EQ(CarvedFileName(CarvingPass::General, 100000, ".jpg"), "GNLM100000.jpg");
    EXPECT_EQ(CarvedFileName(CarvingPass::General, 1, " .jpg"), "GNLM00001 .jpg");
}

TEST(CarvingPass, TheHundredThousandthFileTakesASixDigitName) {
    // Every sector a header, one-sector files: 100000 files in 100000 sectors.
    std::vector<std::uint8_t> bytes(100000 * kSector, 0);
    for (std::size_t s = 0; s < 100000; ++s) {
        bytes[s * kSector] = 0x42;
    }
    MemoryDisk disk(std::move(bytes));
    const SignatureList list = {Type(".bin", "512", "42")};
    const auto carved = Carve(list, disk, 0, 100000);
    ASSERT_EQ(carved.size(), 100000u);
    EXPECT_THAT(carved[99998], IsFile("GNLM99999.bin", 99998, 1));
    EXPECT_THAT(carved[99999], IsFile("GNLM100000.bin", 99999, 1));
}

// Any sector of a huge disk, made up on reading: a header every 4096 sectors, no storage.
class GeneratedDisk : public SectorSource {
  public:
    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        firstReads.push_back(firstSector);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* sector = buffer + std::size_t{i} * kSector;
            std::memset(sector, 0x11, kSector);
            const std::uint64_t number = firstSector + i;
            if (number % 4096 == 0) {
                std::memcpy(sector, "\xFF\xD8\xFF\xE1", 4);
                std::memcpy(sector + 8, &number, sizeof number);
            }
        }
        return 1;
    }
    std::uint64_t TotalSectors() const override { return 0; }
    std::string Name() const override { return "generated"; }

    std::vector<std::uint64_t> firstReads;
};

TEST(CarvingPass, RangesBeyondThirtyTwoBitsScanWhereTheyLie) {
    GeneratedDisk disk;
    const std::uint64_t first = (std::uint64_t{1} << 32) + 4096 * 3 - 10;
    const SignatureList list = {Type(".jpg", "1024", "FFD8FFE1")};
    CollectingSink sink;
    RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, list, disk, first, first + 3000, sink, reporter, {});
    ASSERT_EQ(sink.entries.size(), 1u);
    const auto& file = sink.entries[0];
    EXPECT_EQ(file.file.firstSector, first + 10);
    EXPECT_EQ(file.bytes.size(), 1024u);
    std::uint64_t stored = 0;
    std::memcpy(&stored, file.bytes.data() + 8, sizeof stored);
    EXPECT_EQ(stored, first + 10);
    EXPECT_THAT(disk.firstReads, ::testing::ElementsAre(first, first + 1024, first + 2048));
    EXPECT_THAT(
        reporter.Calls(),
        ::testing::Contains(::testing::HasSubstr("Sectors  " + std::to_string(first + 2048) +
                                                 " of " + std::to_string(first + 3000))));
    // Beyond 2^63 too, right up to the last chunk the numbers can address.
    GeneratedDisk top;
    const std::uint64_t last = ~std::uint64_t{0};
    CollectingSink topSink;
    RunCarvingPass(CarvingPass::General, list, top, last - 5000, last, topSink, reporter, {});
    EXPECT_EQ(top.firstReads.size(), 5u);
}

// Stops the pass when a given file is finished.
class StoppingSink : public CollectingSink {
  public:
    StoppingSink(std::stop_source& source, std::size_t stopAfter)
        : source_(source), stopAfter_(stopAfter) {}
    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override {
        CollectingSink::FileFinished(file, std::move(bytes));
        if (entries.size() == stopAfter_) {
            source_.request_stop();
        }
    }

  private:
    std::stop_source& source_;
    std::size_t stopAfter_;
};

TEST(CarvingPass, StopsAtOnceKeepingTheFinishedFiles) {
    CarvingDisk disk(4096);
    for (std::size_t s = 0; s < 4096; s += 100) {
        disk.Header(s);
    }
    const SignatureList list = {Type(".jpg", "100000", "FFD8FFE0")};
    std::stop_source source;
    StoppingSink sink(source, 3);
    RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, list, disk.Disk(), 0, 4096, sink, reporter,
                   source.get_token());
    // The fourth file was open when the stop came: it is incomplete and dropped.
    EXPECT_EQ(sink.Names(),
              (std::vector<std::string>{"GNLM00001.jpg", "GNLM00002.jpg", "GNLM00003.jpg"}));
    EXPECT_EQ(disk.Disk().ReadCalls(), 1u);
    std::stop_source already;
    already.request_stop();
    CollectingSink none;
    RunCarvingPass(CarvingPass::General, list, disk.Disk(), 0, 4096, none, reporter,
                   already.get_token());
    EXPECT_TRUE(none.entries.empty());
}

TEST(CarvingPass, UnreadableSectorsAreExaminedAsZeros) {
    CarvingDisk disk(1024);
    disk.Header(3);
    disk.Header(7);
    disk.Disk().MarkUnreadable(7);
    const SignatureList list = {Type(".jpg", "100000", "FFD8FFE0")};
    const auto carved = Carve(list, disk.Disk(), 0, 1024);
    ASSERT_EQ(carved.size(), 1u);
    EXPECT_THAT(carved[0], IsFile("GNLM00001.jpg", 3, 196));
}

TEST(CarvingPass, ThoroughFilesFollowTheThumbnailsAlreadyShown) {
    CarvingDisk disk(1024);
    disk.Header(0);
    disk.Header(4);
    const SignatureList list = {Type(".jpg", "512", "FFD8FFE0")};
    CollectingSink sink;
    RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, list, disk.Disk(), 0, 1024, sink, reporter, {});
    RunCarvingPass(CarvingPass::General, list, disk.Disk(), 0, 1024, sink, reporter, {});
    RunCarvingPass(CarvingPass::Thorough, list, disk.Disk(), 0, 1024, sink, reporter, {});
    ASSERT_EQ(sink.entries.size(), 6u);
    // Every general pass counts from position 0; the thorough one from the count shown.
    EXPECT_EQ(sink.entries[2].file.position, 0u);
    EXPECT_EQ(sink.entries[4].file.name, "THLM00001.jpg");
    EXPECT_EQ(sink.entries[4].file.position, 4u);
    EXPECT_EQ(sink.entries[5].file.position, 5u);
    EXPECT_EQ(sink.entries[5].file.extension, "jpg");
}

}  // namespace
}  // namespace lumarest
