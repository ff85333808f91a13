// Fuzzes directory-entry and long-name reading, the lost-directory scan and the re-attachment
// of orphan folders over a random disk.
//
// Input: byte 0 picks FAT16 or FAT32 (bit 0) and the sectors per cluster (bits 1 to 3, 1 to
// 8), byte 1 the volume's first sector (0 to 7), byte 2 the directory sector read (0 to 15);
// the rest fills a 16-sector disk. Every name must pass the name test, no long-name walk may
// read before the volume's first sector, and the scan's rows must come in ascending cluster
// order with every parent found, the root or the orphan folder after re-attachment.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/entry_rows.h"
#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/directory_entry.h"
#include "fat/directory_scan.h"
#include "fat/name_children.h"

namespace {

using namespace lumarest;

constexpr std::uint64_t kDiskSectors = 16;
constexpr std::size_t kHeaderBytes = 3;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A memory disk that remembers the lowest sector read.
class WatchedDisk : public MemoryDisk {
  public:
    using MemoryDisk::MemoryDisk;
    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        lowest = std::min(lowest, firstSector);
        return MemoryDisk::ReadSectors(firstSector, count, buffer);
    }
    std::uint64_t lowest = UINT64_MAX;
};

void CheckNameIsClean(const std::string& name) {
    Check(!name.empty());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        Check(byte >= 32);
        Check(std::string_view("\"\\/?*<>|").find(c) == std::string_view::npos);
    }
}

void FuzzEntryNames(WatchedDisk& disk, std::uint64_t lowest, std::uint64_t sectorNumber,
                    const std::string& fsName) {
    std::vector<std::uint8_t> sector(kSectorSize);
    disk.ReadSectors(sectorNumber, 1, sector.data());
    disk.lowest = UINT64_MAX;
    // Short names' upper bytes are decoded as the program decodes them by default.
    static const OemCodePage codePage =
        OemCodePage::Load(kDefaultOemCodePage).value_or(OemCodePage{});
    LongNameSource source{&disk, lowest};
    source.codePage = codePage;
    const ByteSpan bytes(sector.data(), sector.size());
    for (std::size_t offset = 0; offset < kSectorSize; offset += kDirectoryEntrySize) {
        if (const auto longName = LongNameOf(source, bytes, offset, sectorNumber)) {
            Check(longName->size() <= kLongNameLimit + kLongNameEntryChars);
        }
        if (const auto name = EntryName(source, bytes, offset, sectorNumber)) {
            CheckNameIsClean(name->name);
        }
        EntryFirstCluster(EntryAt(bytes, offset), fsName);
    }
    Check(disk.lowest == UINT64_MAX || disk.lowest >= lowest);
}

void FuzzScan(WatchedDisk& disk, const std::string& fsName, std::uint32_t spc,
              std::uint64_t lowest) {
    RecoveryRun run;
    SetPartitionFileSystem(run.selectedPartition, fsName);
    run.selectedPartition.startSector = static_cast<std::int64_t>(lowest);
    run.selectedPartition.endSector = kDiskSectors - 1;
    run.volumeParams.sectorsPerCluster = spc;
    run.volumeParams.cluster0Start = static_cast<std::uint32_t>(lowest);
    NullReporter reporter;
    Check(ScanLostDirectories(run, disk, reporter, run.scanStop.get_token()) == 1);
    TextTable& table = run.folderTable;
    Check(table.RowCount() >= 1);
    for (std::size_t row = 2; row < table.RowCount(); ++row) {
        Check(table.CellU32(row - 1, kEntrySelf) < table.CellU32(row, kEntrySelf));
    }
    ReattachOrphans(table, reporter, ProgressBar::MainScan, kFatRootId, 0);
    std::unordered_set<std::uint32_t> selves;
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        selves.insert(table.CellU32(row, kEntrySelf));
    }
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        const std::uint32_t parent = table.CellU32(row, kEntryParent);
        Check(parent == kFatRootId || parent == kOrphanFolderId || selves.count(parent) == 1);
        Check(parent != table.CellU32(row, kEntrySelf));
    }
    run.activeVolume = SnapshotVolume(run.volumeParams, fsName);
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        AddFolderNode(run, kNoItem, table.Cell(row, kEntryName), table.CellU32(row, kEntrySelf), 0,
                      0, table.CellU32(row, kEntryParent), false);
    }
    for (std::uint64_t sector = lowest; sector < kDiskSectors; ++sector) {
        NameChildFolders(run, disk, sector, table.CellU32(sector % table.RowCount(), kEntrySelf));
    }
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.name.rfind("Dir", 0) != 0 && node.name != kOrphanFolderName) {
            CheckNameIsClean(node.name);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) {
        return 0;
    }
    const std::string fsName = (data[0] & 1) != 0 ? "FAT32" : "FAT16";
    const std::uint32_t spc = ((data[0] >> 1) & 7) + 1;
    const std::uint64_t lowest = data[1] % 8;
    const std::uint64_t sectorNumber = data[2] % kDiskSectors;
    std::vector<std::uint8_t> bytes(kDiskSectors * kSectorSize, 0);
    std::copy(data + kHeaderBytes, data + std::min(size, kHeaderBytes + bytes.size()),
              bytes.begin());
    WatchedDisk disk(bytes);
    FuzzEntryNames(disk, lowest, sectorNumber, fsName);
    FuzzScan(disk, fsName, spc, lowest);
    return 0;
}
