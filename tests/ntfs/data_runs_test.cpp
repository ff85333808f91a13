#include <gtest/gtest.h>

#include <sstream>

#include "core/memory_disk.h"
#include "ntfs/attributes.h"
#include "ntfs/data_runs.h"
#include "ntfs/file_data.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/record_builder.h"

namespace lumarest {
namespace {

using testing::RecordBuilder;

constexpr std::uint64_t kVolumeStart = 2048;
constexpr std::uint32_t kSpc = 8;

std::vector<DataRun> Decode(const std::vector<std::uint8_t>& list, bool complete = true) {
    const DecodedRuns decoded = DecodeRuns(list, kVolumeStart, kSpc);
    EXPECT_EQ(decoded.complete, complete);
    return decoded.runs;
}

TEST(DataRuns, OffsetsCountFromTheLastRealRunAndMayGoBack) {
    // 16 clusters at cluster 256; then 4 clusters 16 clusters back; a sparse run of 2;
    // then 1 cluster 32 clusters on from the last real run.
    const auto runs =
        Decode({0x21, 0x10, 0x00, 0x01, 0x11, 0x04, 0xF0, 0x01, 0x02, 0x11, 0x01, 0x20, 0x00});
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0], (DataRun{kVolumeStart + 256 * kSpc, 16 * kSpc, false}));
    EXPECT_EQ(runs[1], (DataRun{kVolumeStart + 240 * kSpc, 4 * kSpc, false}));
    EXPECT_EQ(runs[2], (DataRun{0, 2 * kSpc, true}));
    EXPECT_EQ(runs[3], (DataRun{kVolumeStart + 272 * kSpc, 1 * kSpc, false}));
}

// Broken lists end without a run that points anywhere wrong: fields past the list, fields
// wider than 8 bytes, a start before the volume, a list without its end byte.
TEST(DataRuns, BrokenListsEndEarly) {
    EXPECT_EQ(Decode({0x21, 0x10, 0x00}, false).size(), 0u);
    EXPECT_EQ(Decode({0x91, 0x10, 0x00}, false).size(), 0u);
    EXPECT_EQ(Decode({0x01, 0x10}, false).size(), 1u);
    EXPECT_EQ(Decode({0x11, 0x10, 0x80, 0x00}, false).size(), 0u);  // cluster -128
    EXPECT_EQ(
        Decode({0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00}, false).size(),
        0u);  // sectors overflow
    EXPECT_EQ(DecodeRuns(std::vector<std::uint8_t>{0x11, 1, 1, 0}, 0, 0).runs.size(), 0u);
}

TEST(DataRuns, ListsAreBoundedByRunCount) {
    std::vector<std::uint8_t> list;
    for (std::size_t i = 0; i < kMaxRunsPerList + 5; ++i) {
        list.insert(list.end(), {0x01, 0x01});  // sparse runs of one cluster
    }
    EXPECT_EQ(DecodeRuns(list, 0, 1).runs.size(), kMaxRunsPerList);
}

TEST(MftRunTable, RecordSectorsFollowTheRuns) {
    MftRunTable table;
    table.runs = {{100, 8, false}, {0, 4, true}, {500, 8, false}};
    EXPECT_EQ(MftRecordSector(table, 0), 100u);
    EXPECT_EQ(MftRecordSector(table, 3), 106u);
    EXPECT_EQ(MftRecordSector(table, 4), 0u);  // sparse
    EXPECT_EQ(MftRecordSector(table, 6), 500u);
    EXPECT_EQ(MftRecordSector(table, 9), 506u);
    EXPECT_EQ(MftRecordSector(table, 10), 0u);
    EXPECT_EQ(MftRecordSector(MftRunTable{}, 0), 0u);
}

// Records are placed at their own size along the runs; a size not handled counts as 1024.
TEST(MftRunTable, RecordSectorsFollowTheRecordSize) {
    struct Case {
        std::uint32_t recordSectors;
        std::uint32_t record;
        std::uint64_t sector;
    };
    for (const Case& c : {Case{4, 1, 104}, Case{4, 2, 0}, Case{4, 3, 500}, Case{8, 1, 0},
                          Case{8, 2, 504}, Case{6, 5, 0}, Case{6, 6, 500}, Case{0, 1, 102}}) {
        MftRunTable table;
        table.runs = {{100, 8, false}, {0, 4, true}, {500, 16, false}};
        table.recordSectors = c.recordSectors;
        EXPECT_EQ(MftRecordSector(table, c.record), c.sector)
            << c.recordSectors << " sectors, record " << c.record;
    }
}

// A master file table in two pieces: record 0 lists its $DATA in itself (VCN 0) and in
// record 3 (VCN 2), which lies in the first piece. The list is resident or lies in a cluster
// of its own.
TEST(MftRunTable, PiecesListedByRecordZeroAreJoined) {
    constexpr std::uint64_t kMftSector = 64;
    constexpr std::uint64_t kListSector = 40 * kSpc;
    for (const bool residentList : {true, false}) {
        MemoryDisk disk(std::vector<std::uint8_t>(512 * 512));
        const auto put = [&](std::uint64_t sector, const auto& bytes) {
            std::copy(bytes.begin(), bytes.end(), disk.Bytes().begin() + sector * 512);
        };
        std::vector<std::uint8_t> list(64);
        list[0] = 0x80;  // $DATA, VCN 0, in record 0
        list[4] = 32;
        list[32] = 0x80;  // $DATA, VCN 2, in record 3
        list[36] = 32;
        list[40] = 2;
        list[48] = 3;
        RecordBuilder mft;
        if (residentList) {
            mft.AddResident(kAttrAttributeList, list);
        } else {
            mft.AddNonResident(kAttrAttributeList, {0x11, 0x01, 40, 0x00}, list.size());
            put(kListSector, list);
        }
        // Cluster 8 (sector 64), then cluster 32 (sector 256).
        mft.AddNonResident(kAttrData, {0x11, 0x02, 0x08, 0x00}, 4 * 4096);
        RecordBuilder extension;
        extension.AddNonResident(kAttrData, {0x11, 0x02, 0x20, 0x00}, 0, 2);
        put(kMftSector, mft.OnDisk());
        put(kMftSector + 6, extension.OnDisk());
        put(kMftSector + 10, RecordBuilder().OnDisk());  // the root directory

        MftRunTable table;
        ASSERT_TRUE(BuildMftRunTable(disk, {0, kSpc, kMftSector}, table)) << residentList;
        ASSERT_EQ(table.runs.size(), 2u) << residentList;
        EXPECT_EQ(MftRecordSector(table, 7), 64u + 14);
        EXPECT_EQ(MftRecordSector(table, 8), 256u);

        // Without the root directory's record the table stays empty.
        std::fill(disk.Bytes().begin() + (kMftSector + 10) * 512,
                  disk.Bytes().begin() + (kMftSector + 12) * 512, 0);
        EXPECT_FALSE(BuildMftRunTable(disk, {0, kSpc, kMftSector}, table));
        EXPECT_TRUE(table.runs.empty());
    }
}

// Sparse runs and bytes past the initialised size read as zeros; runs that end before the
// size say so.
TEST(FileData, RunsAreWrittenUpToTheRealSize) {
    std::vector<std::uint8_t> bytes(512 * 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(1 + i % 251);
    }
    MemoryDisk disk(bytes);
    const std::vector<DataRun> runs{{2, 2, false}, {0, 2, true}, {6, 2, false}};
    std::ostringstream out;
    ASSERT_EQ(WriteRunBytes(disk, runs, 3000, 3000, out), FileDataStatus::Written);
    std::string expected(bytes.begin() + 1024, bytes.begin() + 2048);
    expected += std::string(1024, '\0');
    expected += std::string(bytes.begin() + 3072, bytes.begin() + 3072 + 952);
    EXPECT_TRUE(out.str() == expected);

    std::ostringstream uninitialised;
    ASSERT_EQ(WriteRunBytes(disk, runs, 3000, 100, uninitialised), FileDataStatus::Written);
    EXPECT_TRUE(uninitialised.str() == expected.substr(0, 100) + std::string(2900, '\0'));

    std::ostringstream shortRuns;
    EXPECT_EQ(WriteRunBytes(disk, runs, 9000, 9000, shortRuns), FileDataStatus::RunsShort);
    EXPECT_EQ(shortRuns.str().size(), 3072u);

    disk.MarkUnreadable(3);
    std::ostringstream unreadable;
    EXPECT_EQ(WriteRunBytes(disk, runs, 3000, 3000, unreadable), FileDataStatus::ReadFailed);
    EXPECT_EQ(unreadable.str().size(), 3000u);
}

TEST(FileData, CompressedDataIsNotPassedOffAsTheFile) {
    MemoryDisk disk(std::vector<std::uint8_t>(512 * 64));
    RecordBuilder builder;
    const std::size_t at = builder.AddNonResident(kAttrData, {0x11, 0x01, 0x01, 0x00}, 100);
    builder.Put16(at + 12, kAttrFlagCompressed);
    const std::vector<MftRecordBuffer> records{builder.Fixed()};
    std::ostringstream out;
    EXPECT_EQ(WriteRecordData(disk, {0, kSpc, 0}, records, out), FileDataStatus::Unsupported);
    EXPECT_EQ(WriteRecordData(disk, {0, kSpc, 0}, {}, out), FileDataStatus::NoData);
}

}  // namespace
}  // namespace lumarest
