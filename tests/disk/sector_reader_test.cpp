#include "disk/sector_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "core/recovery_run.h"
#include "disk/device_sector_source.h"
#include "disk/disk_test_files.h"
#include "support/image_guard.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

using testing::ImageGuard;
using testing::NumberedSectors;
using testing::TempFolder;
using testing::WriteBytes;

constexpr std::uint8_t kStale = 0xEE;

std::vector<std::uint8_t> StaleBuffer(std::uint32_t sectors) {
    return std::vector<std::uint8_t>(sectors * kSectorSize, kStale);
}

bool SectorIs(const std::vector<std::uint8_t>& buffer, std::uint32_t i, std::uint8_t value) {
    return std::all_of(buffer.begin() + i * kSectorSize, buffer.begin() + (i + 1) * kSectorSize,
                       [value](std::uint8_t b) { return b == value; });
}

using SizeAndTime = std::pair<long long, long long>;

SizeAndTime StatOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {-1, -1};
    }
    return {static_cast<long long>(info.st_size),
            static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

struct NoticeCounter {
    int calls = 0;
    void Arm(SectorReaderContext& context) {
        context.readFailureNotice = [this] { ++calls; };
    }
};

class SectorReaderTest : public ::testing::Test {
  protected:
    TempFolder folder{"sector-reader"};
    SectorReaderContext context;
    NoticeCounter notice;

    void SetUp() override { notice.Arm(context); }

    std::string Image(const std::string& name, std::size_t sectors) {
        const std::string path = folder.File(name);
        WriteBytes(path, NumberedSectors(sectors));
        return path;
    }
};

TEST_F(SectorReaderTest, WholeRequestReadsEverySectorInPlace) {
    const std::string path = Image("eight.img", 8);
    ImageGuard guard(path);
    auto buffer = StaleBuffer(8);
    EXPECT_EQ(ReadSectors(context, path, 0, 8, buffer.data()), 1);
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_TRUE(SectorIs(buffer, i, static_cast<std::uint8_t>(i + 1))) << "sector " << i;
    }
    EXPECT_EQ(notice.calls, 0);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(SectorReaderTest, RequestPastTheEndFillsUpToTheEndAndFails) {
    const std::string path = Image("eight.img", 8);
    ImageGuard guard(path);
    auto buffer = StaleBuffer(4);
    EXPECT_EQ(ReadSectors(context, path, 6, 4, buffer.data()), 0);
    EXPECT_EQ(notice.calls, 1);
    EXPECT_TRUE(SectorIs(buffer, 0, 7));
    EXPECT_TRUE(SectorIs(buffer, 1, 8));
    // Beyond the end: zeros, never the caller's stale bytes.
    EXPECT_TRUE(SectorIs(buffer, 2, 0));
    EXPECT_TRUE(SectorIs(buffer, 3, 0));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(SectorReaderTest, MissingDeviceFailsWithoutNoticeAndLeavesTheBuffer) {
    auto buffer = StaleBuffer(2);
    EXPECT_EQ(ReadSectors(context, folder.File("no-such-disk"), 0, 2, buffer.data()), 0);
    EXPECT_EQ(notice.calls, 0);
    EXPECT_TRUE(SectorIs(buffer, 0, kStale));
    EXPECT_TRUE(SectorIs(buffer, 1, kStale));
}

TEST_F(SectorReaderTest, SectorNumbersAbove32BitsReachTheirOwnOffset) {
    const std::string path = folder.File("sparse.img");
    constexpr std::uint64_t kFarSector = (1ULL << 32) + 1;
    const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(handle, 0);
    if (::ftruncate(handle, static_cast<off_t>((kFarSector + 8) * kSectorSize)) != 0) {
        ::close(handle);
        GTEST_SKIP() << "this file system cannot hold a sparse file beyond 2 TiB";
    }
    std::vector<std::uint8_t> marker(kSectorSize, 0x5A);
    std::memcpy(marker.data(), "FAR SECTOR", 10);
    ASSERT_EQ(::pwrite(handle, marker.data(), marker.size(),
                       static_cast<off_t>(kFarSector * kSectorSize)),
              static_cast<ssize_t>(kSectorSize));
    ::close(handle);
    // Hashing two terabytes of holes would take hours: size and time tell a write apart here.
    const SizeAndTime before = StatOf(path);

    auto buffer = StaleBuffer(2);
    EXPECT_EQ(ReadSectors(context, path, kFarSector, 2, buffer.data()), 1);
    EXPECT_EQ(std::memcmp(buffer.data(), marker.data(), kSectorSize), 0);
    EXPECT_TRUE(SectorIs(buffer, 1, 0));
    // Sector 1 shares the low 32 bits and must not be mistaken for the far one.
    EXPECT_EQ(ReadSectors(context, path, 1, 1, buffer.data()), 1);
    EXPECT_TRUE(SectorIs(buffer, 0, 0));
    EXPECT_EQ(StatOf(path), before);
}

TEST_F(SectorReaderTest, FileEndingInsideASectorReadsItZeroPadded) {
    const std::string path = folder.File("odd.img");
    auto bytes = NumberedSectors(3);
    bytes.insert(bytes.end(), 100, 0x44);
    WriteBytes(path, bytes);
    ImageGuard guard(path);

    auto buffer = StaleBuffer(2);
    EXPECT_EQ(ReadSectors(context, path, 2, 2, buffer.data()), 1);
    EXPECT_TRUE(SectorIs(buffer, 0, 3));
    EXPECT_TRUE(std::all_of(buffer.begin() + kSectorSize, buffer.begin() + kSectorSize + 100,
                            [](std::uint8_t b) { return b == 0x44; }));
    EXPECT_TRUE(std::all_of(buffer.begin() + kSectorSize + 100, buffer.end(),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(notice.calls, 0);

    // One sector beyond the padded one is past the end like any other.
    auto past = StaleBuffer(2);
    EXPECT_EQ(ReadSectors(context, path, 3, 2, past.data()), 0);
    EXPECT_EQ(notice.calls, 1);
    EXPECT_EQ(past[0], 0x44);
    EXPECT_TRUE(SectorIs(past, 1, 0));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(SectorReaderTest, SelectedFloppyReplacesThePathGiven) {
    const std::string disk = Image("disk.img", 2);
    std::string floppy = folder.File("floppy.img");
    WriteBytes(floppy, std::vector<std::uint8_t>(2 * kSectorSize, 0xF1));
    ImageGuard diskGuard(disk);
    ImageGuard floppyGuard(floppy);

    RecoveryRun run;
    run.floppyPath = floppy;
    run.selectedDiskKey = "1.44\" Floppy";
    SectorReaderContext floppyContext = ReaderContextFor(run);
    auto buffer = StaleBuffer(1);
    EXPECT_EQ(ReadSectors(floppyContext, disk, 0, 1, buffer.data()), 1);
    EXPECT_TRUE(SectorIs(buffer, 0, 0xF1));

    run.selectedDiskKey = "0)";
    SectorReaderContext diskContext = ReaderContextFor(run);
    EXPECT_EQ(ReadSectors(diskContext, disk, 0, 1, buffer.data()), 1);
    EXPECT_TRUE(SectorIs(buffer, 0, 1));
    EXPECT_TRUE(diskGuard.Unchanged());
    EXPECT_TRUE(floppyGuard.Unchanged());
}

// A disk in memory with bad sectors: any read that touches one fails, like a real medium.
class FaultyDeviceFiles : public DeviceFiles {
  public:
    explicit FaultyDeviceFiles(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::set<std::uint64_t> badSectors;
    int opens = 0;
    int closes = 0;
    int reads = 0;

    int Open(const std::string&) override { return ++opens; }
    long long ReadAt(int, std::uint8_t* buffer, std::size_t bytes, std::uint64_t offset) override {
        ++reads;
        for (std::uint64_t at = offset; at < offset + bytes; at += kSectorSize) {
            if (badSectors.count(at / kSectorSize) != 0) {
                std::memset(buffer, 0x99, bytes);  // a failed read may leave anything behind
                return -1;
            }
        }
        const std::size_t available =
            offset >= bytes_.size() ? 0 : std::min<std::size_t>(bytes, bytes_.size() - offset);
        std::memcpy(buffer, bytes_.data() + offset, available);
        return static_cast<long long>(available);
    }
    void Close(int) override { ++closes; }

  private:
    std::vector<std::uint8_t> bytes_;
};

TEST_F(SectorReaderTest, UnreadableSectorsAreZeroFilledAfterTheRetry) {
    FaultyDeviceFiles files(NumberedSectors(16));
    files.badSectors = {5, 7};
    context.files = &files;
    auto buffer = StaleBuffer(6);
    EXPECT_EQ(ReadSectors(context, "/dev/faulty", 3, 6, buffer.data()), 0);
    EXPECT_EQ(notice.calls, 1);
    const std::uint8_t expected[] = {4, 5, 0, 7, 0, 9};
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(SectorIs(buffer, i, expected[i])) << "sector " << 3 + i;
    }
    // One open and one close per call, however many retries.
    EXPECT_EQ(files.opens, 1);
    EXPECT_EQ(files.closes, 1);
}

// A request reaching past the end is retried up to the end only: a damaged table that sends a
// scan past a small image must not cost a read per missing sector.
TEST_F(SectorReaderTest, TheRetryEndsAtTheFirstSectorPastTheEnd) {
    struct Case {
        const char* name;
        std::uint64_t first;
        std::uint32_t count;
        std::set<std::uint64_t> bad;
        int reads;  // the whole request, then one per sector up to the first one past the end
    };
    const Case cases[] = {
        {"straddling the end", 10, 4000, {}, 1 + 6 + 1},
        {"wholly past the end", 100, 4000, {}, 1 + 1},
        {"a bad sector before the end", 12, 4000, {13}, 1 + 4 + 1},
    };
    for (const Case& c : cases) {
        FaultyDeviceFiles files(NumberedSectors(16));
        files.badSectors = c.bad;
        context.files = &files;
        auto buffer = StaleBuffer(c.count);
        EXPECT_EQ(ReadSectors(context, "/dev/faulty", c.first, c.count, buffer.data()), 0)
            << c.name;
        EXPECT_EQ(files.reads, c.reads) << c.name;
        for (std::uint32_t i = 0; i < c.count; ++i) {
            const std::uint64_t sector = c.first + i;
            const bool readable = sector < 16 && c.bad.count(sector) == 0;
            const auto expected = static_cast<std::uint8_t>(readable ? sector + 1 : 0);
            ASSERT_TRUE(SectorIs(buffer, i, expected)) << c.name << ", sector " << sector;
        }
    }
}

TEST_F(SectorReaderTest, DeviceSectorSourceReadsItsOwnDevice) {
    const std::string path = Image("four.img", 4);
    ImageGuard guard(path);
    DeviceSectorSource source(context, path, 4);
    EXPECT_EQ(source.TotalSectors(), 4u);
    EXPECT_EQ(source.Name(), path);
    auto buffer = StaleBuffer(2);
    EXPECT_EQ(source.ReadSectors(2, 2, buffer.data()), 1);
    EXPECT_TRUE(SectorIs(buffer, 0, 3));
    EXPECT_TRUE(SectorIs(buffer, 1, 4));
    EXPECT_EQ(source.ReadSectors(3, 2, buffer.data()), 0);
    EXPECT_EQ(notice.calls, 1);
    EXPECT_TRUE(guard.Unchanged());
}

// A source keeps its device open across reads; a failed read lets it go, so the next read
// opens the device afresh, as a replaced medium needs.
TEST_F(SectorReaderTest, DeviceSectorSourceKeepsItsDeviceOpenUntilAReadFails) {
    struct Read {
        std::uint64_t first;
        std::uint32_t count;
        int result;
    };
    struct Case {
        const char* name;
        std::set<std::uint64_t> bad;
        std::vector<Read> reads;
        int opens;
        int notices;
    };
    const std::vector<Case> cases = {
        {"reads share one open", {}, {{0, 1, 1}, {9, 2, 1}, {5, 1, 1}}, 1, 0},
        {"a failed read opens afresh", {5}, {{0, 1, 1}, {4, 2, 0}, {9, 1, 1}}, 2, 1},
        {"past the end as well", {}, {{15, 2, 0}, {15, 1, 1}, {0, 1, 1}}, 2, 1},
    };
    for (const Case& c : cases) {
        FaultyDeviceFiles files(NumberedSectors(16));
        files.badSectors = c.bad;
        context.files = &files;
        notice.calls = 0;
        {
            DeviceSectorSource source(context, "/dev/faulty", 16);
            for (const Read& read : c.reads) {
                auto buffer = StaleBuffer(read.count);
                EXPECT_EQ(source.ReadSectors(read.first, read.count, buffer.data()), read.result)
                    << c.name << ", sector " << read.first;
                if (read.result == 1) {
                    EXPECT_TRUE(SectorIs(buffer, 0, static_cast<std::uint8_t>(read.first + 1)))
                        << c.name << ", sector " << read.first;
                }
            }
            EXPECT_EQ(files.opens, c.opens) << c.name;
            EXPECT_EQ(files.closes, c.opens - 1) << c.name;
        }
        EXPECT_EQ(files.closes, c.opens) << c.name << ": closed with the source";
        EXPECT_EQ(notice.calls, c.notices) << c.name;
    }
}

TEST_F(SectorReaderTest, AMovedDeviceSectorSourceTakesItsOpenDeviceAlong) {
    FaultyDeviceFiles files(NumberedSectors(4));
    context.files = &files;
    auto buffer = StaleBuffer(1);
    {
        DeviceSectorSource first(context, "/dev/faulty", 4);
        EXPECT_EQ(first.ReadSectors(1, 1, buffer.data()), 1);
        DeviceSectorSource second(std::move(first));
        EXPECT_EQ(second.ReadSectors(2, 1, buffer.data()), 1);
        EXPECT_TRUE(SectorIs(buffer, 0, 3));
        DeviceSectorSource third(context, "/dev/faulty", 4);
        EXPECT_EQ(third.ReadSectors(0, 1, buffer.data()), 1);
        third = std::move(second);
        EXPECT_EQ(files.closes, 1);  // third's own device
        EXPECT_EQ(third.ReadSectors(3, 1, buffer.data()), 1);
        EXPECT_EQ(files.opens, 2);
    }
    EXPECT_EQ(files.closes, 2);
}

struct BiosCall {
    std::uint32_t drive;
    std::uint32_t count;
    std::uint32_t firstLow;
    bool fixedArguments;
};

class FakeBiosService : public BiosDiskService {
  public:
    std::vector<bool> loadResults{true};  // one per attempt; the last one repeats
    bool resolves = true;
    int result = 1;
    std::set<std::uint32_t> badSectors;
    int loads = 0;
    std::vector<BiosCall> calls;

    bool Load() override {
        const bool loaded = loadResults[std::min<std::size_t>(loads, loadResults.size() - 1)];
        ++loads;
        return loaded;
    }
    bool Resolve() override { return resolves; }
    int ReadDisk32(std::uint32_t drive, std::uint32_t a2, std::uint32_t a3, std::uint32_t a4,
                   std::uint32_t count, std::uint8_t* buffer, std::uint32_t firstSectorLow,
                   std::uint32_t a8) override {
        calls.push_back({drive, count, firstSectorLow, a2 == 0 && a3 == 0 && a4 == 1 && a8 == 1});
        for (std::uint32_t i = 0; i < count; ++i) {
            if (badSectors.count(firstSectorLow + i) != 0) {
                return 0;
            }
            std::memset(buffer + i * kSectorSize, static_cast<int>(firstSectorLow + i + 1),
                        kSectorSize);
        }
        return result;
    }
};

class BiosPathTest : public SectorReaderTest {
  protected:
    FakeBiosService bios;
    testing::RecordingReporter reporter;

    void SetUp() override {
        SectorReaderTest::SetUp();
        context.accessMode = 'F';
        context.bios = &bios;
        context.reporter = &reporter;
        for (int slot = 0; slot < kDriveSlots; ++slot) {
            context.physicalDriveTable[slot] =
                "/dev/disk" + std::string(1, static_cast<char>('a' + slot));
        }
    }
};

TEST_F(BiosPathTest, DriveNumbersFollowTheDiskSlot) {
    auto buffer = StaleBuffer(1);
    bios.result = 7;
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 7);
    EXPECT_EQ(ReadSectors(context, "/dev/diskd", 0, 1, buffer.data()), 7);
    EXPECT_EQ(ReadSectors(context, "\\\\.\\PhysicalDrive2", 0, 1, buffer.data()), 7);
    ASSERT_EQ(bios.calls.size(), 3u);
    EXPECT_EQ(bios.calls[0].drive, 0x80u);
    EXPECT_EQ(bios.calls[1].drive, 0x83u);
    EXPECT_EQ(bios.calls[2].drive, 0x82u);
    EXPECT_TRUE(bios.calls[0].fixedArguments);

    context.floppySelected = true;
    EXPECT_EQ(ReadSectors(context, "/dev/diskc", 0, 1, buffer.data()), 7);
    EXPECT_EQ(bios.calls.back().drive, 0u);
}

TEST_F(BiosPathTest, DisksBeyondTheFourthFailWithoutACall) {
    auto buffer = StaleBuffer(1);
    EXPECT_EQ(ReadSectors(context, "/dev/diske", 0, 1, buffer.data()), 0);
    EXPECT_EQ(ReadSectors(context, "/dev/diskj", 0, 1, buffer.data()), 0);
    EXPECT_TRUE(bios.calls.empty());
    EXPECT_EQ(notice.calls, 0);
}

TEST_F(BiosPathTest, FailedRequestIsRetriedSectorBySectorWithLow32Bits) {
    bios.badSectors = {2};
    auto buffer = StaleBuffer(3);
    const std::uint64_t first = (1ULL << 32) + 1;  // the service sees sector 1
    EXPECT_EQ(ReadSectors(context, "/dev/diskb", first, 3, buffer.data()), 0);
    EXPECT_EQ(notice.calls, 1);
    ASSERT_EQ(bios.calls.size(), 4u);
    EXPECT_EQ(bios.calls[0].count, 3u);
    EXPECT_EQ(bios.calls[0].firstLow, 1u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bios.calls[1 + i].count, 1u);
        EXPECT_EQ(bios.calls[1 + i].firstLow, 1u + i);
        EXPECT_EQ(bios.calls[1 + i].drive, 0x81u);
    }
    EXPECT_TRUE(SectorIs(buffer, 0, 2));
    EXPECT_TRUE(SectorIs(buffer, 1, 0));
    EXPECT_TRUE(SectorIs(buffer, 2, 4));
}

TEST_F(BiosPathTest, MissingLibraryIsReportedAndLoadedAgainAtTheNextRead) {
    bios.loadResults = {false, true};
    auto buffer = StaleBuffer(1);
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 0);
    EXPECT_EQ(reporter.Calls(), std::vector<std::string>{"message 3: disk32.dll not found"});
    EXPECT_TRUE(bios.calls.empty());
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 1);
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 1);
    EXPECT_EQ(bios.loads, 2);  // loaded once, never again
    EXPECT_EQ(reporter.Messages().size(), 1u);
}

TEST_F(BiosPathTest, MissingFunctionFailsEveryRead) {
    bios.resolves = false;
    auto buffer = StaleBuffer(1);
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 0);
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 0);
    EXPECT_EQ(reporter.Calls(),
              (std::vector<std::string>{"message 3: Readdisk32 function not found",
                                        "message 3: Readdisk32 function not found"}));
    EXPECT_TRUE(bios.calls.empty());
    EXPECT_EQ(notice.calls, 0);
}

TEST_F(BiosPathTest, NoServiceAtAllReadsAsAMissingLibrary) {
    context.bios = nullptr;
    auto buffer = StaleBuffer(1);
    EXPECT_EQ(ReadSectors(context, "/dev/diska", 0, 1, buffer.data()), 0);
    EXPECT_EQ(reporter.Messages(), std::vector<std::string>{"disk32.dll not found"});
}

}  // namespace
}  // namespace lumarest
