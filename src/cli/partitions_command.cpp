#include "cli/partitions_command.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/disk_choice.h"
#include "cli/interrupt_stop.h"
#include "cli/json_stream.h"
#include "cli/terminal_text.h"
#include "core/text_number.h"
#include "disk/disk_inputs.h"
#include "partitions/partition_search.h"
#include "partitions/partition_table.h"

namespace lumarest {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kDiskItemImage = 2;
constexpr const char* kTableDamagedNote =
    "The partition table points near or past the end of the disk, or could not be read; it "
    "may be damaged.";
constexpr const char* kUnknownPartition = "Unknown Partition";
constexpr const char* kSearchingText = "Searching Partition :";
constexpr const char* kListFullNote =
    "Note: a disk lists at most 26 partitions; these are the first 26 found, and the disk may "
    "hold more.";
// The least width of each padded column of the text listing.
const std::vector<std::size_t> kColumnWidths{8, 13, 14, 14, 17};

struct ListedPartition {
    int number = 0;
    std::string fsName;
    std::uint64_t startSector = 0;
    std::uint64_t endSector = 0;
    std::string itemText;
    std::string source;
    bool pastDiskEnd = false;  // the partition claims sectors the disk does not have
};

struct PartitionListing {
    std::vector<ListedPartition> partitions;
    std::uint32_t sectorBytes = kSectorSize;  // the unit of every sector number shown
    std::uint64_t diskSectors = 0;
    bool tableDamaged = false;
    std::optional<PartitionSearchResult> search;
    bool Full() const { return partitions.size() >= kMaxListedPartitions; }
};

// The inventory's geometry of an attached disk, read as the inventory's texts are.
SearchGeometry GeometryOf(const DiskProperties& disk) {
    return {ParseTextU32(std::to_string(disk.totalCylinders)), disk.totalHeads,
            disk.sectorsPerTrack};
}

PartitionSearchResult SearchDisk(CliContext& context, SectorSource& source,
                                 const DiskProperties& disk, TreeItem diskItem) {
    RecoveryRun& run = context.run;
    const auto diskNumber = static_cast<std::uint16_t>(disk.index);
    Reporter& reporter = *context.reporter;
    reporter.SetPhaseLabel(kSearchingText);
    reporter.ShowProgress(ProgressBar::PartitionSearch, true);
    InterruptStop interrupt;
    const PartitionSearchResult result =
        SearchPartitions(run, source, diskNumber, GeometryOf(disk), reporter, interrupt.Token(),
                         [&](std::size_t index) {
                             AddPartitionItem(*run.partitionTree, diskItem,
                                              run.diskPartitionLists[diskNumber], index);
                         });
    if (!result.stopped) {
        reporter.SetProgress(ProgressBar::PartitionSearch, 100, "Completed ");
    }
    reporter.ShowProgress(ProgressBar::PartitionSearch, false);
    return result;
}

PartitionListing WalkDisk(CliContext& context, const DiskProperties& disk, bool search) {
    RecoveryRun& run = context.run;
    PartitionListing listing;
    const auto notice = [&listing] { listing.tableDamaged = true; };
    SectorReaderContext reader = ReaderContextFor(run);
    reader.readFailureNotice = notice;
    DeviceSectorSource source = OpenDisk(DiskInputsOf(disk, std::move(reader)));

    const auto diskNumber = static_cast<std::uint16_t>(disk.index);
    run.partitionTree = std::make_unique<TreeModel>();
    const TreeItem diskItem = run.partitionTree->InsertItem(
        kNoItem, "Disk " + std::to_string(diskNumber), kDiskItemImage, kDiskItemImage);
    ListPartitions(run, source, diskNumber, diskItem, notice);
    if (search) {
        listing.search = SearchDisk(context, source, disk, diskItem);
    }
    run.partitionTree->Expand(diskItem, ExpandAction::Expand);

    // Sectors are shown in the disk's own unit, as its tables and other tools count them.
    const DiskPartitionList& list = run.diskPartitionLists[diskNumber];
    listing.sectorBytes = source.LogicalSectorBytes();
    const std::uint32_t unit = SectorsPerUnit(listing.sectorBytes);
    listing.diskSectors = disk.totalSectors / unit;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        const PartitionRecord& record = list.partitions[i];
        listing.partitions.push_back({static_cast<int>(i + 1),
                                      std::string(FileSystemName(record.fileSystem)),
                                      record.startSector / unit, record.endSector / unit,
                                      run.partitionTree->Text(record.treeItem),
                                      std::string(PartitionSourceName(record.source)),
                                      record.endSector > disk.totalSectors});
    }
    return listing;
}

void PrintJson(std::ostream& out, int diskNumber, const PartitionListing& listing) {
    Json partitions = Json::array();
    for (const ListedPartition& p : listing.partitions) {
        partitions.push_back({{"number", p.number},
                              {"fileSystem", p.fsName},
                              {"startSector", p.startSector},
                              {"endSector", p.endSector},
                              {"item", p.itemText},
                              {"source", p.source},
                              {"pastDiskEnd", p.pastDiskEnd}});
    }
    Json document = {{"disk", diskNumber},
                     {"sectorBytes", listing.sectorBytes},
                     {"partitions", partitions},
                     {"listFull", listing.Full()},
                     {"tableDamaged", listing.tableDamaged}};
    if (listing.search) {
        document["search"] = {{"added", listing.search->added},
                              {"stopped", listing.search->stopped},
                              {"listFull", listing.search->listFull}};
        if (listing.partitions.empty()) {
            document["item"] = kUnknownPartition;
        }
    }
    WriteJsonDocument(out, document);
}

// Searches of such a partition stop at the disk's end; the note says why they find less.
void PrintPastEndNotes(std::ostream& out, const PartitionListing& listing) {
    for (const ListedPartition& p : listing.partitions) {
        if (p.pastDiskEnd) {
            out << "Note: partition " << p.number << " ends at sector " << p.endSector
                << ", past the end of the disk (" << listing.diskSectors
                << " sectors); the table may be damaged, and searches stop at the disk's end.\n";
        }
    }
}

void PrintText(std::ostream& out, int diskNumber, const PartitionListing& listing) {
    const bool searched = listing.search.has_value();
    if (listing.partitions.empty()) {
        if (searched) {
            out << "Disk " << diskNumber
                << ": no FAT16, FAT32, NTFS or exFAT partition was found.\n"
                << kUnknownPartition << '\n';
        } else {
            out << "Disk " << diskNumber
                << ": no FAT16, FAT32, NTFS or exFAT partition is listed.\n";
        }
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const ListedPartition& p : listing.partitions) {
        rows.push_back({std::to_string(p.number), p.fsName, std::to_string(p.startSector),
                        std::to_string(p.endSector), p.source});
    }
    const std::vector<std::size_t> widths = ColumnWidths(kColumnWidths, rows);
    const auto printRow = [&](const std::vector<std::string>& cells, const std::string& item) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            out << PaddedCell(cells[c], widths[c]);
        }
        out << TerminalText(item) << '\n';
    };
    out << "Disk " << diskNumber << ", sectors of " << listing.sectorBytes << " bytes:\n";
    printRow({"Number", "File system", "Start sector", "End sector", "Found in"}, "Item");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        printRow(rows[i], listing.partitions[i].itemText);
    }
    if (listing.Full()) {
        out << kListFullNote << '\n';
    }
    PrintPastEndNotes(out, listing);
}

}  // namespace

int RunPartitionsCommand(CliContext& context, int diskNumber, bool search) {
    const std::optional<DiskProperties> disk = FindDisk(context, diskNumber);
    if (const auto problem = RefuseDisk(disk, diskNumber)) {
        return context.Fail(*problem);
    }
    const PartitionListing listing = WalkDisk(context, *disk, search);
    if (listing.tableDamaged) {
        *context.err << "lumarest-cli: note: " << kTableDamagedNote << '\n';
    }
    if (listing.search && listing.search->stopped) {
        *context.err << "lumarest-cli: note: the partition search was stopped; the partitions "
                        "found so far are listed.\n";
    }
    if (context.json) {
        PrintJson(*context.out, diskNumber, listing);
    } else {
        PrintText(*context.out, diskNumber, listing);
    }
    return kExitOk;
}

}  // namespace lumarest
