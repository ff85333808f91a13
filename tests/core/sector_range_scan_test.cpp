#include "core/sector_range_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core/reporter.h"
#include "core/sector_source.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();

// What a visit saw: the chunk's first sector, its sectors of the range, the sectors read, and
// the sectors that held no mark (zeros).
struct Visit {
    std::uint64_t first = 0;
    std::uint32_t sectors = 0;
    std::size_t read = 0;
    std::vector<std::uint64_t> blank;
    bool operator==(const Visit&) const = default;
};

void PrintTo(const Visit& v, std::ostream* out) {
    *out << "{" << v.first << ", " << v.sectors << ", " << v.read << ", " << v.blank.size()
         << " blank}";
}

// Marks each sector it reads with its own number, but leaves those it cannot read untouched.
struct MarkingReader {
    std::set<std::uint64_t> unreadable;
    void operator()(std::uint64_t first, std::uint32_t count, std::uint8_t* into) const {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t sector = first + i;
            if (unreadable.count(sector) == 0) {
                std::memcpy(into + SectorsToBytes(i), &sector, sizeof sector);
                into[SectorsToBytes(i) + sizeof sector] = 1;
            }
        }
    }
};

Visit Seen(const ScanChunk& chunk) {
    Visit visit{chunk.first, chunk.sectors, chunk.bytes.size() / kSectorSize, {}};
    for (std::size_t i = 0; i < visit.read; ++i) {
        const ByteSpan sector = chunk.bytes.subspan(SectorsToBytes(i), kSectorSize);
        std::uint64_t number = 0;
        std::memcpy(&number, sector.data(), sizeof number);
        if (sector[sizeof number] == 0) {
            visit.blank.push_back(chunk.first + i);
        } else {
            EXPECT_EQ(number, chunk.first + i) << "sector read into the wrong place";
        }
    }
    return visit;
}

struct ChunkCase {
    const char* name;
    ScanRange range;
    std::set<std::uint64_t> unreadable;
    std::size_t stopAfter = 0;  // visits before a stop is asked for; 0 never
    std::size_t cutAt = 0;      // the visit that stops after 3 sectors; 0 none
    std::vector<Visit> visits;
    std::uint64_t reached = 0;
};

TEST(SectorRangeScan, ReadsEachChunkOnceAndSaysWhereItEnded) {
    const auto passOver8 = [](std::uint64_t sector) -> std::uint64_t {
        return sector == 8 ? 8 : 0;
    };
    const std::vector<ChunkCase> cases = {
        {"a range that is no multiple of the chunk",
         {.first = 3, .end = 25, .chunkSectors = 8},
         {},
         0,
         0,
         {{3, 8, 8, {}}, {11, 8, 8, {}}, {19, 6, 6, {}}},
         25},
        {"a tail read past each chunk, never past the range",
         {.first = 0, .end = 20, .chunkSectors = 8, .tailSectors = 2},
         {},
         0,
         0,
         {{0, 8, 10, {}}, {8, 8, 10, {}}, {16, 4, 4, {}}},
         20},
        {"whole chunks read past the range's end",
         {.first = 0, .end = 10, .chunkSectors = 8, .readEnd = 30},
         {},
         0,
         0,
         {{0, 8, 8, {}}, {8, 2, 8, {}}},
         10},
        {"reading ends before the range does",
         {.first = 0, .end = 20, .chunkSectors = 8, .readEnd = 12},
         {},
         0,
         0,
         {{0, 8, 8, {}}, {8, 8, 4, {}}},
         16},
        {"an unreadable chunk is zeros, not the chunk before it",
         {.first = 0, .end = 24, .chunkSectors = 8},
         {8, 9, 10, 11, 12, 13, 14, 15, 17},
         0,
         0,
         {{0, 8, 8, {}}, {8, 8, 8, {8, 9, 10, 11, 12, 13, 14, 15}}, {16, 8, 8, {17}}},
         24},
        {"an unreadable stretch passed over unread",
         {.first = 0, .end = 20, .chunkSectors = 8, .unreadableAt = passOver8},
         {},
         0,
         0,
         {{0, 8, 8, {}}, {16, 4, 4, {}}},
         20},
        {"a stop between chunks",
         {.first = 0, .end = 40, .chunkSectors = 8},
         {},
         2,
         0,
         {{0, 8, 8, {}}, {8, 8, 8, {}}},
         16},
        {"a chunk cut short ends the scan there",
         {.first = 0, .end = 40, .chunkSectors = 8},
         {},
         0,
         2,
         {{0, 8, 8, {}}, {8, 8, 8, {}}},
         11},
        {"an empty range", {.first = 5, .end = 5, .chunkSectors = 8}, {}, 0, 0, {}, 5},
        {"a range ending before it starts",
         {.first = 9, .end = 5, .chunkSectors = 8},
         {},
         0,
         0,
         {},
         9},
        {"the last sectors a number can address",
         {.first = kTop - 10, .end = kTop, .chunkSectors = 8},
         {},
         0,
         0,
         {{kTop - 10, 8, 8, {}}, {kTop - 2, 2, 2, {}}},
         kTop},
    };
    for (const ChunkCase& c : cases) {
        NullReporter reporter;
        SectorRangeScan scan(reporter, {ScanPace::AsRead, c.range.end});
        std::stop_source stop;
        std::vector<Visit> visits;
        const std::uint64_t reached = scan.Run(
            c.range, MarkingReader{c.unreadable},
            [&](const ScanChunk& chunk) -> std::uint64_t {
                visits.push_back(Seen(chunk));
                if (visits.size() == c.stopAfter) {
                    stop.request_stop();
                }
                return visits.size() == c.cutAt ? 3 : chunk.sectors;
            },
            stop.get_token());
        EXPECT_EQ(visits, c.visits) << c.name;
        EXPECT_EQ(reached, c.reached) << c.name;
    }
}

// A source that counts what it is asked to fetch ahead.
class HintedDisk : public SectorSource {
  public:
    int ReadSectors(std::uint64_t, std::uint32_t count, std::uint8_t* buffer) override {
        std::memset(buffer, 0, SectorsToBytes(count));
        return 1;
    }
    std::uint64_t TotalSectors() const override { return 0; }
    std::string Name() const override { return "hinted"; }
    void WillRead(std::uint64_t first, std::uint32_t count) override {
        hints.push_back(std::to_string(first) + "+" + std::to_string(count));
    }
    std::vector<std::string> hints;
};

TEST(SectorRangeScan, AsksTheDiskToFetchAheadWithinTheRange) {
    HintedDisk disk;
    NullReporter reporter;
    SectorRangeScan scan(reporter, {ScanPace::AsRead, 20});
    scan.Run({.first = 0, .end = 20, .chunkSectors = 8, .readAheadSectors = 32}, disk,
             [](const ScanChunk& chunk) { return std::uint64_t{chunk.sectors}; }, {});
    EXPECT_THAT(disk.hints, ::testing::ElementsAre("8+32", "16+32"));
}

struct PaceCase {
    ScanPace pace;
    std::uint64_t barFrom;
    std::vector<std::string> calls;
};

TEST(SectorRangeScan, ShowsSectorsAndTheBarAtItsPace) {
    const std::string sectors = "value 6: Sectors  ";
    const std::string counts = "value 4: counts";
    const std::vector<PaceCase> cases = {
        {ScanPace::AsRead,
         0,
         {sectors + "0 of 20", "progress 0: 0 Completed ", sectors + "8 of 20",
          "progress 0: 40 Completed ", sectors + "16 of 20", "progress 0: 80 Completed "}},
        {ScanPace::AsRead,
         10,
         {sectors + "0 of 20", "progress 0: 0 Completed ", sectors + "8 of 20",
          sectors + "16 of 20", "progress 0: 60 Completed "}},
        {ScanPace::WhenBarMoves,
         0,
         {sectors + "8 of 20", counts, "progress 0: 40 Completed ", sectors + "16 of 20", counts,
          "progress 0: 80 Completed ", sectors + "20 of 20", counts, "progress 0: 100 Completed "}},
        {ScanPace::EveryChunk,
         0,
         {counts, sectors + "8 of 20", "progress 0: 40 Completed ", counts, sectors + "16 of 20",
          "progress 0: 80 Completed ", counts, sectors + "20 of 20", "progress 0: 100 Completed "}},
        {ScanPace::Timed,
         0,
         {counts, sectors + "0 of 20", "progress 0: 0 Completed ", counts, sectors + "8 of 20",
          "progress 0: 40 Completed ", counts, sectors + "16 of 20", "progress 0: 80 Completed "}},
    };
    for (const PaceCase& c : cases) {
        testing::RecordingReporter reporter;
        const auto showCounts = [&] {
            reporter.SetStatisticValue(Statistic::DirectoriesFound, "counts");
        };
        SectorRangeScan scan(reporter, {c.pace, 20, c.barFrom, showCounts});
        scan.Run({.first = 0, .end = 20, .chunkSectors = 8}, MarkingReader{},
                 [](const ScanChunk& chunk) { return std::uint64_t{chunk.sectors}; }, {});
        EXPECT_EQ(reporter.Calls(), c.calls) << static_cast<int>(c.pace) << " from " << c.barFrom;
    }
}

}  // namespace
}  // namespace lumarest
