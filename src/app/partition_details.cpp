#include "app/partition_details.h"

#include <algorithm>

#include "app/wizard_texts.h"
#include "core/sector_source.h"
#include "core/text_number.h"

namespace lumarest {

namespace {
// The captions keep their own spacing: it lines the values up in the details list.
const char* const kStandardDiskNumber = "1.   Disk Number                    :  ";
const char* const kStandardPartitionNumber = "2.   Partition Number              :  ";
const char* const kStandardPartitionType = "3.   Partition Type                   :  ";
const char* const kStandardSearchMode = "4.   Search Mode                   :  ";
const char* const kStandardStartSector = "5.   Start Sector                     :  ";
const char* const kStandardEndSector = "6.   End Sector                      :  ";
const char* const kStandardSize = "7.   Size                                 :  ";
const char* const kAdvancePartitionNumber = "1.   Partition Number          :          ";
const char* const kAdvanceSearchMode = "2.   Search Mode               :          ";
const char* const kAdvanceSize = "3.   Size                             :  ";
const char* const kStandardModeValue = "Standard";
const char* const kAdvanceModeValue = "Advance";
const char* const kDiskItemPrefix = "Disk";
// 2048 sectors of 512 bytes make a megabyte.
constexpr int kSectorsToMegabytesShift = 11;

std::string SizeText(std::uint64_t startSector, std::uint64_t endSector) {
    const std::uint64_t megabytes =
        (endSector - std::min(startSector, endSector)) >> kSectorsToMegabytesShift;
    return std::to_string(megabytes) + " MB";
}
}  // namespace

std::uint64_t ShownSectorUnit(const RecoveryRun& run) {
    const std::uint32_t bytes = run.shownDisk.logicalSectorBytes;
    return IsSupportedSectorSize(bytes) ? SectorsPerUnit(bytes) : 1;
}

std::string ShownSectorText(const RecoveryRun& run, std::uint64_t engineSector) {
    return NumberText(engineSector / ShownSectorUnit(run));
}

int PartitionTypeEntry(const std::string& fsName) {
    for (int entry = 0; entry < kUnknownTypeEntry; ++entry) {
        if (fsName == kPartitionTypes[entry]) {
            return entry;
        }
    }
    return kUnknownTypeEntry;
}

std::optional<FileSystem> ListedFileSystemOf(const RecoveryRun& run, int index) {
    if (run.selectedDiskNumber >= run.diskPartitionLists.size() || index < 0) {
        return std::nullopt;
    }
    const DiskPartitionList& list = run.diskPartitionLists[run.selectedDiskNumber];
    if (static_cast<std::size_t>(index) >= list.partitions.size()) {
        return std::nullopt;
    }
    return list.partitions[static_cast<std::size_t>(index)].fileSystem;
}

std::optional<PartitionDetails> DescribePartition(const RecoveryRun& run, SearchMode mode,
                                                  const std::string& fsName, int index,
                                                  std::uint16_t diskNumber) {
    if (diskNumber >= run.diskPartitionLists.size() || index < 0) {
        return std::nullopt;
    }
    const DiskPartitionList& list = run.diskPartitionLists[diskNumber];
    const bool unknown = fsName == kUnknownPartition;
    if (!unknown && static_cast<std::size_t>(index) >= list.partitions.size()) {
        return std::nullopt;
    }

    PartitionDetails details;
    details.typeEntry = PartitionTypeEntry(fsName);
    // The unknown partition stands for the whole disk.
    std::string startText = "0";
    std::string endText = run.shownDisk.totalSectorsText;
    std::string sizeText = run.shownDisk.capacityText;
    details.endSector = run.shownDisk.totalSectors;
    if (!unknown) {
        const PartitionRecord& partition = list.partitions[static_cast<std::size_t>(index)];
        startText = ShownSectorText(run, partition.startSector);
        endText = ShownSectorText(run, partition.endSector);
        sizeText = SizeText(partition.startSector, partition.endSector);
        details.startSector = partition.startSector;
        details.endSector = partition.endSector;
    }
    details.startField = startText;
    details.endField = endText;
    const std::string partitionNumber = std::to_string(index + 1);

    if (mode == SearchMode::Standard) {
        details.modeText = texts::kStandardSearch;
        details.typeBoxEnabled = false;
        details.rows = {
            {kStandardDiskNumber, std::to_string(diskNumber)},
            {kStandardPartitionNumber, partitionNumber},
            {kStandardPartitionType, unknown ? std::string(kUnknownPartition) : fsName},
            {kStandardSearchMode, kStandardModeValue},
            {kStandardStartSector, startText},
            {kStandardEndSector, endText},
            {kStandardSize, sizeText},
        };
        details.expandRoot = unknown;
    } else {
        // The user may correct the type the table or the boot sector gave.
        details.modeText = texts::kAdvanceSearch;
        details.typeBoxEnabled = true;
        details.rows = {
            {kAdvancePartitionNumber, partitionNumber},
            {kAdvanceSearchMode, kAdvanceModeValue},
            {kAdvanceSize, sizeText},
        };
    }
    return details;
}

std::optional<PartitionOfItem> FindPartitionOfItem(const RecoveryRun& run, TreeItem item) {
    if (!run.partitionTree || !run.partitionTree->Exists(item)) {
        return std::nullopt;
    }
    const TreeModel& tree = *run.partitionTree;
    const std::string prefix = kDiskItemPrefix;
    if (tree.Text(item).starts_with(prefix)) {
        return std::nullopt;
    }
    const TreeItem parent = tree.Parent(item);
    if (parent == kNoItem) {
        return std::nullopt;
    }
    const std::string& parentText = tree.Text(parent);
    if (!parentText.starts_with(prefix)) {
        return std::nullopt;
    }
    // "Disk " + N: the number follows the first four characters.
    const std::string number = parentText.substr(prefix.size());
    if (!IsTextNumber(number)) {
        return std::nullopt;
    }
    const std::int64_t diskNumber = ParseTextNumber(number);
    if (diskNumber < 0 || diskNumber >= static_cast<std::int64_t>(run.diskPartitionLists.size())) {
        return std::nullopt;
    }
    const DiskPartitionList& list = run.diskPartitionLists[static_cast<std::size_t>(diskNumber)];
    for (std::size_t i = 0; i < list.Count(); ++i) {
        if (list.partitions[i].treeItem == item) {
            return PartitionOfItem{static_cast<std::uint16_t>(diskNumber), static_cast<int>(i)};
        }
    }
    return std::nullopt;
}

}  // namespace lumarest
