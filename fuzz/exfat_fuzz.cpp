// Fuzzes the exFAT engine over a small disk of random bytes: the boot region, the entry-set
// parser, the folder walk and file writing.
//
// Input: byte 0 picks the engine sectors per cluster (1, 2, 4 or 8), bytes 1-2 the cluster
// count (1 to 1024), byte 3 the root cluster; the rest fills the disk. The layout comes from
// the disk's own boot region when it holds one, else from the header with the FAT at sector
// 24 and the heap after it. Every set parsed lies in the bytes, every walked folder's parent
// is listed before it, the walk ends within a bounded number of reads, and each file writes
// exactly the bytes its stored size counts, all of them only when it is Written.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <set>
#include <streambuf>
#include <vector>

#include "core/entry_rows.h"
#include "core/reporter.h"
#include "exfat/boot_region.h"
#include "exfat/entry_set.h"
#include "exfat/exfat_file_data.h"
#include "exfat/exfat_tree.h"
#include "fuzz_disk.h"

namespace {

using lumarest::fuzzing::Check;
using lumarest::fuzzing::FuzzDisk;

constexpr std::uint64_t kDiskSectors = 512;
constexpr std::size_t kHeaderBytes = 4;
constexpr std::uint64_t kMostReads = 200'000;
constexpr std::size_t kFilesWritten = 16;

class CountingBuffer : public std::streambuf {
  public:
    std::uint64_t count = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        count += static_cast<std::uint64_t>(n);
        return n;
    }
    int overflow(int c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }
};

lumarest::ExFatLayout HeaderLayout(const std::uint8_t* data) {
    lumarest::ExFatLayout layout;
    layout.sectorsPerCluster = 1u << (data[0] % 4);
    layout.clusterCount = 1 + ((data[1] | (data[2] << 8)) % 1024);
    layout.fatStart = 24;
    layout.fatSectors = (std::uint64_t{layout.clusterCount} + 2) * 4 / lumarest::kSectorSize + 1;
    layout.heapStart = layout.fatStart + layout.fatSectors;
    layout.volumeSectors =
        layout.heapStart + std::uint64_t{layout.clusterCount} * layout.sectorsPerCluster;
    layout.rootCluster = 2 + data[3] % layout.clusterCount;
    return layout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes) {
        return 0;
    }
    std::vector<std::uint8_t> bytes(data + kHeaderBytes, data + size);
    bytes.resize(kDiskSectors * lumarest::kSectorSize);
    const std::vector<std::uint8_t> original = bytes;

    // Sets straight from the bytes, each placed inside them.
    const std::vector<lumarest::ExFatEntrySet> sets = lumarest::ParseExFatEntrySets(
        original, [](std::size_t offset) { return std::uint64_t{offset / lumarest::kSectorSize}; });
    for (const lumarest::ExFatEntrySet& set : sets) {
        Check(set.entrySector < kDiskSectors);
        Check(set.entryOffset % lumarest::kExFatEntrySize == 0);
        Check(set.name.size() <= 255 * 3);
    }

    FuzzDisk disk(std::move(bytes), kDiskSectors, kMostReads);
    const lumarest::BootRegionReading reading = lumarest::ReadExFatBootRegion(disk, 0);
    Check(reading.layout.has_value() == reading.problem.empty());
    const lumarest::ExFatLayout layout = reading.layout.value_or(HeaderLayout(data));
    if (reading.layout) {
        Check(layout.HoldsCluster(layout.rootCluster));
        Check(layout.sectorsPerCluster > 0);
    }

    disk.ResetReads();
    lumarest::NullReporter reporter;
    const lumarest::ExFatTree tree = lumarest::WalkExFatVolume(disk, layout, reporter, {});
    std::set<std::uint32_t> listed{lumarest::kExFatRootFolderId, lumarest::kOrphanFolderId};
    for (const lumarest::ExFatFolder& folder : tree.folders) {
        Check(listed.count(folder.parentId) != 0);
        listed.insert(folder.id);
    }
    for (const lumarest::ExFatFile& file : tree.files) {
        Check(listed.count(file.folderId) != 0);
    }

    disk.ResetReads();
    lumarest::ExFatVolumeReader reader(disk, layout);
    for (std::size_t i = 0; i < tree.files.size() && i < kFilesWritten; ++i) {
        const lumarest::ExFatEntrySet& file = tree.files[i].entry;
        CountingBuffer counter;
        std::ostream out(&counter);
        const lumarest::RecoveredFileStatus status = lumarest::WriteExFatFile(reader, file, out);
        Check(counter.count == lumarest::ExFatStoredBytes(reader, file));
        Check(counter.count <= file.dataLength);
        Check((status == lumarest::RecoveredFileStatus::Written) ==
                  (counter.count == file.dataLength) ||
              status == lumarest::RecoveredFileStatus::Incomplete);
    }
    return 0;
}
