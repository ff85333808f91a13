#include "ntfs/mft_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/record_builder.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::RecordBuilder;
using testing::RecordingReporter;

constexpr std::uint8_t kDeletedFile = 0;
constexpr std::uint8_t kFile = 1;
constexpr std::uint8_t kDeletedFolder = 2;
constexpr std::uint8_t kFolder = 3;
constexpr std::uint64_t kCreated = 0x01CA047E5A1C2000;

// A disk holding a master file table laid out along `runs`, records placed by number.
class MftDisk {
  public:
    MftDisk(std::uint64_t sectors, std::vector<DataRun> runs) : bytes_(sectors * kSectorSize) {
        table.runs = std::move(runs);
    }

    // Writes the record's sectors where the runs put the slot, each on its own.
    void Put(std::uint32_t number, const MftRecordBuffer& record) {
        for (std::uint32_t half = 0; half < record.Sectors(); ++half) {
            const std::uint64_t sector = DiskSector(number * record.Sectors() + half);
            std::copy_n(record.begin() + half * kSectorSize, kSectorSize,
                        bytes_.begin() + sector * kSectorSize);
        }
    }

    void Scan(Reporter& reporter) {
        MemoryDisk disk(bytes_);
        for (const std::uint64_t sector : unreadable) {
            disk.MarkUnreadable(sector);
        }
        ScanMft(run, disk, table, reporter, run.scanStop.get_token());
        readCalls = disk.ReadCalls();
    }

    std::vector<std::uint32_t> Selves(const TextTable& rows) const {
        std::vector<std::uint32_t> selves;
        for (std::size_t row = 0; row < rows.RowCount(); ++row) {
            selves.push_back(rows.CellU32(row, kEntrySelf));
        }
        return selves;
    }

    RecoveryRun run;
    MftRunTable table;
    std::vector<std::uint64_t> unreadable;
    std::uint64_t readCalls = 0;

  private:
    std::uint64_t DiskSector(std::uint64_t position) const {
        for (const DataRun& run : table.runs) {
            if (position < run.sectorCount) {
                return run.startSector + position;
            }
            position -= run.sectorCount;
        }
        ADD_FAILURE() << "slot outside the runs";
        return 0;
    }

    std::vector<std::uint8_t> bytes_;
};

MftRecordBuffer Named(std::uint8_t flags, const std::u16string& name, std::uint32_t parent = 5,
                      std::uint8_t nameSpace = 1) {
    RecordBuilder record(flags);
    record.AddFileName(name, nameSpace, parent);
    return record.OnDisk();
}

MftRecordBuffer WithResidentData(std::uint8_t flags, const std::u16string& name, std::size_t bytes,
                                 std::uint32_t parent = 5) {
    RecordBuilder record(flags);
    record.AddFileName(name, 1, parent);
    record.AddResident(0x80, std::vector<std::uint8_t>(bytes, 'x'));
    return record.OnDisk();
}

MftRecordBuffer WithRunData(const std::u16string& name, std::uint64_t realSize) {
    RecordBuilder record(kFile);
    record.AddFileName(name, 1);
    record.AddNonResident(0x80, {0x21, 0x10, 0x00, 0x01}, realSize);
    return record.OnDisk();
}

// A file record whose only attribute is a resident list naming `extension` for its name.
MftRecordBuffer WithListTo(std::uint32_t own, std::uint32_t extension) {
    std::vector<std::uint8_t> entry(32);
    entry[0] = 0x30;  // $FILE_NAME
    entry[4] = 32;    // entry length
    for (std::size_t i = 0; i < 4; ++i) {
        entry[16 + i] = static_cast<std::uint8_t>(extension >> (8 * i));
    }
    std::vector<std::uint8_t> list(32);
    list[0] = 0x10;  // $STANDARD_INFORMATION, kept in the record itself
    list[4] = 32;
    for (std::size_t i = 0; i < 4; ++i) {
        list[16 + i] = static_cast<std::uint8_t>(own >> (8 * i));
    }
    list.insert(list.end(), entry.begin(), entry.end());
    RecordBuilder record(kFile);
    record.AddResident(0x20, list);
    return record.OnDisk();
}

MftRecordBuffer ExtensionOf(std::uint32_t base, const std::u16string& name) {
    RecordBuilder record(kFile);
    record.Put32(32, base);
    record.AddFileName(name, 1);
    record.AddResident(0x80, std::vector<std::uint8_t>(42, 'e'));
    return record.OnDisk();
}

std::vector<std::string> Row(const std::string& name, std::uint64_t sector, std::uint32_t self,
                             std::uint32_t parent, const std::string& size, const std::string& type,
                             bool deleted) {
    return {name,
            std::to_string(sector),
            std::to_string(self),
            std::to_string(parent),
            std::to_string(kCreated),
            "0",
            size,
            "0",
            "0",
            type,
            deleted ? "1" : ""};
}

// One table of every kind of slot: the rows carry the record's number, its sector, its
// parent, its creation time and its size, and deleted records are marked.
TEST(MftScanTest, ListsEveryNamedRecordAsAFolderOrFileRow) {
    MftDisk mft(400, {{100, 64, false}});
    mft.Put(0, WithRunData(u"$MFT", 5000000));
    mft.Put(5, Named(kFolder, u".", 5));
    mft.Put(6, Named(kFolder, u"Photos"));
    mft.Put(7, Named(kDeletedFolder, u"Old Photos"));
    MftRecordBuffer noise;  // a slot that is not a file record at all
    noise.fill(0xA5);
    mft.Put(8, noise);
    mft.Put(9, WithResidentData(kFile, u"beach.jpg", 300, 6));
    mft.Put(10, WithResidentData(kDeletedFile, u"gone.jpg", 12, 7));
    mft.Put(11, Named(kFile, u"PHOTO~1.JPG", 6, 2));  // DOS name only
    RecordBuilder both(kFile);
    both.AddFileName(u"LONGNA~1.JPG", 2, 6);
    both.AddFileName(u"Long name.jpg", 1, 6);
    mft.Put(12, both.OnDisk());
    mft.Put(13, RecordBuilder(kFile).OnDisk());  // a record without a name
    mft.Put(14, WithListTo(14, 15));
    mft.Put(15, ExtensionOf(14, u"extended.txt"));
    mft.Put(16, WithRunData(u"movie.avi", 5368709120ULL));
    mft.Put(31, Named(kFolder, u"Κείμενα 日本 📷"));

    RecordingReporter reporter;
    mft.Scan(reporter);

    const TextTable& folders = mft.run.folderTable;
    ASSERT_EQ(folders.RowCount(), 5u);
    EXPECT_EQ(folders.Row(0), (std::vector<std::string>{kOrphanFolderName, "0", "268435455", "5",
                                                        "0", "0", "0", "16", "0", "FOLDER", ""}));
    EXPECT_EQ(folders.Row(1), Row(".", 110, 5, 5, "0", "FOLDER", false));
    EXPECT_EQ(folders.Row(2), Row("Photos", 112, 6, 5, "0", "FOLDER", false));
    EXPECT_EQ(folders.Row(3), Row("Old Photos", 114, 7, 5, "0", "FOLDER", true));
    EXPECT_EQ(folders.Row(4), Row("Κείμενα 日本 📷", 162, 31, 5, "0", "FOLDER", false));

    const TextTable& files = mft.run.fileTable;
    ASSERT_EQ(files.RowCount(), 7u);
    EXPECT_EQ(files.Row(0), Row("$MFT", 100, 0, 5, "5000000", "FILE", false));
    EXPECT_EQ(files.Row(1), Row("beach.jpg", 118, 9, 6, "300", "FILE", false));
    EXPECT_EQ(files.Row(2), Row("gone.jpg", 120, 10, 7, "12", "FILE", true));
    EXPECT_EQ(files.Row(3), Row("PHOTO~1.JPG", 122, 11, 6, "0", "FILE", false));
    EXPECT_EQ(files.Row(4), Row("Long name.jpg", 124, 12, 6, "0", "FILE", false));
    // Named and sized from its extension record, which is no file of its own.
    EXPECT_EQ(files.Row(5), Row("extended.txt", 128, 14, 5, "42", "FILE", false));
    EXPECT_EQ(files.Row(6), Row("movie.avi", 132, 16, 5, "5368709120", "FILE", false));
}

// The record number is the slot's place along the runs, whatever lies between: a record cut
// in two by a run's end, a sparse run, a run past the disk's end. A sparse run of a billion
// sectors is passed over without being walked.
TEST(MftScanTest, RecordsKeepTheirNumbersAcrossFragmentsAndHoles) {
    const std::uint64_t hole = 1000000000;
    MftDisk mft(400, {{200, 5, false},
                      {50, 7, false},
                      {0, 4, true},
                      {5000, 10, false},
                      {300, 4, false},
                      {0, hole, true},
                      {320, 4, false}});
    mft.Put(0, Named(kFile, u"first"));
    mft.Put(2, Named(kFile, u"split"));  // sectors 204 and 50
    mft.Put(3, Named(kFile, u"after split"));
    mft.Put(5, Named(kFile, u"end of second run"));
    mft.Put(13, Named(kFile, u"after the holes"));
    mft.Put(14, Named(kFolder, u"last before the big hole"));
    const std::uint32_t far = static_cast<std::uint32_t>((30 + hole) / 2);
    mft.Put(far + 1, Named(kFile, u"far"));

    RecordingReporter reporter;
    mft.Scan(reporter);

    EXPECT_EQ(mft.Selves(mft.run.fileTable), (std::vector<std::uint32_t>{0, 2, 3, 5, 13, far + 1}));
    EXPECT_EQ(mft.run.fileTable.Cell(1, kEntryName), "split");
    EXPECT_EQ(mft.run.fileTable.Cell(1, kEntrySector), "204");
    EXPECT_EQ(mft.run.fileTable.Cell(2, kEntrySector), "51");
    EXPECT_EQ(mft.run.fileTable.Cell(4, kEntrySector), "300");
    EXPECT_EQ(mft.run.fileTable.Cell(5, kEntrySector), "322");
    EXPECT_EQ(mft.Selves(mft.run.folderTable), (std::vector<std::uint32_t>{kOrphanFolderId, 14}));
    EXPECT_LT(mft.readCalls, 20u);

    MftDisk atStart(40, {{0, 8, false}});  // sector 0 is a real place, not a hole
    atStart.Put(1, Named(kFile, u"second"));
    atStart.Scan(reporter);
    EXPECT_EQ(atStart.run.fileTable.Cell(0, kEntrySector), "2");
}

// The table is read a chunk at a time, and the window hears of the walk only when the bar
// moves: a call per slot would slow it down. The last report shows the whole table done.
TEST(MftScanTest, ReadsInChunksAndReportsOnlyWhenThePercentMoves) {
    MftDisk mft(9000, {{100, 8001, false}});
    mft.Put(1, Named(kFile, u"one"));
    mft.Put(3998, Named(kFolder, u"near the end"));

    RecordingReporter reporter;
    mft.Scan(reporter);

    EXPECT_LE(mft.readCalls, 8u);
    const std::vector<std::string> calls = reporter.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "value 4: 0");
    EXPECT_EQ(calls[1], "value 5: 0");
    EXPECT_EQ(calls[2], "value 6: Sectors  0 of 8001");
    const auto progress = std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
        return call.rfind("progress 0: ", 0) == 0;
    });
    EXPECT_LE(progress, 102);
    EXPECT_EQ(calls.back(), "progress 0: 100 Completed ");
    EXPECT_EQ(calls[calls.size() - 3], "value 6: Sectors  8001 of 8001");
    EXPECT_EQ(calls[calls.size() - 2], "value 4: 4000");
}

// Slots of 2048 and 4096 bytes are numbered and placed at their own size, one cut in two by
// a run's end read whole from both runs.
TEST(MftScanTest, LargerRecordsAreNumberedAndPlacedByTheirSize) {
    for (const std::uint32_t sectors : {4u, 8u}) {
        SCOPED_TRACE(sectors);
        MftDisk mft(400, {{100, sectors + sectors / 2, false}, {300, 3 * sectors, false}});
        mft.table.recordSectors = sectors;
        const auto named = [&](std::uint8_t flags, const std::u16string& name) {
            RecordBuilder record(flags, sectors);
            record.AddResident(0x10, std::vector<std::uint8_t>(sectors * kSectorSize - 600, 1));
            record.AddFileName(name, 1);
            return record.OnDisk();
        };
        mft.Put(0, named(kFolder, u"first"));
        mft.Put(1, named(kFile, u"split.txt"));
        mft.Put(3, named(kDeletedFile, u"last.txt"));
        RecordingReporter reporter;
        mft.Scan(reporter);
        const std::uint64_t splitSector = 100 + sectors;
        const std::uint64_t lastSector = 300 + sectors / 2 + sectors;
        EXPECT_EQ(mft.run.folderTable.Row(1), Row("first", 100, 0, 5, "0", "FOLDER", false));
        ASSERT_EQ(mft.run.fileTable.RowCount(), 2u);
        EXPECT_EQ(mft.run.fileTable.Row(0),
                  Row("split.txt", splitSector, 1, 5, "0", "FILE", false));
        EXPECT_EQ(mft.run.fileTable.Row(1), Row("last.txt", lastSector, 3, 5, "0", "FILE", true));
    }
}

// A sector that cannot be read costs only the record it belongs to, not the rest of its chunk.
TEST(MftScanTest, AnUnreadableSectorLosesOnlyItsRecord) {
    MftDisk mft(200, {{10, 40, false}});
    mft.Put(1, Named(kFile, u"before"));
    mft.Put(2, Named(kFile, u"unreadable"));
    mft.Put(3, Named(kFile, u"after"));
    mft.unreadable = {14};

    RecordingReporter reporter;
    mft.Scan(reporter);

    EXPECT_EQ(mft.Selves(mft.run.fileTable), (std::vector<std::uint32_t>{1, 3}));
}

// Stops at the next slot once asked, keeping what it listed; an empty run table lists
// nothing but the orphan folder.
TEST(MftScanTest, StopsWhenAskedAndKeepsTheRowsFound) {
    class StopHalfWay : public NullReporter {
      public:
        explicit StopHalfWay(RecoveryRun& run) : run_(run) {}
        void SetProgress(ProgressBar, int position, const std::string&) override {
            if (position >= 50) {
                run_.scanStop.request_stop();
            }
        }

      private:
        RecoveryRun& run_;
    };
    MftDisk mft(9000, {{100, 8000, false}});
    mft.Put(1, Named(kFile, u"early"));
    mft.Put(3999, Named(kFile, u"late"));
    StopHalfWay reporter(mft.run);
    mft.Scan(reporter);
    EXPECT_EQ(mft.Selves(mft.run.fileTable), (std::vector<std::uint32_t>{1}));

    MftDisk empty(10, {});
    RecordingReporter quiet;
    empty.Scan(quiet);
    EXPECT_EQ(empty.Selves(empty.run.folderTable), (std::vector<std::uint32_t>{kOrphanFolderId}));
    EXPECT_EQ(empty.run.fileTable.RowCount(), 0u);
    EXPECT_EQ(quiet.Calls().back(), "progress 0: 100 Completed ");
}

}  // namespace
}  // namespace lumarest
