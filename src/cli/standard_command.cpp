#include "cli/standard_command.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>

#include "carving/destination_folder.h"
#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/disk_choice.h"
#include "cli/json_stream.h"
#include "cli/tree_report.h"
#include "core/oem_code_page.h"
#include "core/text_number.h"
#include "disk/disk_inputs.h"
#include "disk/disk_inventory.h"
#include "partitions/partition_table.h"
#include "partitions/volume_params.h"
#include "search/standard_search.h"
#include "volume/recovered_save.h"

namespace lumarest {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kStandardSearchText = "Standard Search";

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Fills the selected partition as the criteria page's Next does, or says why it cannot. The
// search takes the partition cut at the disk's end; `listedEnd` is its end as listed.
std::optional<std::string> SelectPartition(RecoveryRun& run, SectorSource& source,
                                           const DiskProperties& disk, int number,
                                           std::uint64_t& listedEnd) {
    const auto diskNumber = static_cast<std::uint16_t>(disk.index);
    ListPartitions(run, source, diskNumber, kNoItem, [] {});
    const DiskPartitionList& list = run.diskPartitionLists[diskNumber];
    if (number < 1 || static_cast<std::size_t>(number) > list.Count()) {
        return "disk " + std::to_string(disk.index) +
               " lists no FAT16, FAT32, NTFS or exFAT partition " + std::to_string(number) +
               "; 'lumarest-cli partitions' lists its partitions";
    }
    const auto index = static_cast<std::size_t>(number - 1);
    const PartitionRecord& record = list.partitions[index];
    if (record.endSector <= record.startSector) {
        return "partition " + std::to_string(number) + " of disk " + std::to_string(disk.index) +
               " has no sectors";
    }
    // Only the sectors on the disk are searched: an end past it does not count here.
    const std::uint64_t searchedEnd = EndWithinDisk(source, record.endSector);
    run.searchMode = SearchMode::Standard;
    SelectedPartition& selected = run.selectedPartition;
    selected.diskNumber = diskNumber;
    selected.partitionNo = static_cast<std::uint32_t>(index);
    SetPartitionFileSystem(selected, std::string(FileSystemName(record.fileSystem)));
    selected.searchModeText = kStandardSearchText;
    selected.startSector = static_cast<std::int64_t>(record.startSector);
    // The search takes the last sector of the partition, not the first one after it.
    selected.endSector = static_cast<std::int64_t>(searchedEnd) - 1;
    listedEnd = record.endSector;
    return std::nullopt;
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

// How long each phase took: the scan up to the orphans' re-attachment, the re-attachment, the
// tree build, and the listing that walks the built tree (with --json, writing it too).
void PrintTimings(std::ostream& err, const SearchWatch& watch, Clock::time_point searchEnd,
                  double listingSeconds, std::uint64_t partitionBytes, bool ntfs) {
    const auto reattach = watch.PhaseStart(kSearchingLostDirectoriesPhase);
    const auto build = watch.PhaseStart(kStoringDirectoryPhase);
    const std::string scanName = ntfs ? "MFT scan" : "lost-directory scan";
    if (reattach) {
        const double seconds = SecondsBetween(watch.Started(), *reattach);
        char rate[64] = "";
        // The MFT scan reads the table only, so a rate over the partition would mean nothing.
        if (seconds > 0 && !ntfs) {
            std::snprintf(rate, sizeof rate, " (%.1f MB of partition, %.0f MB/s)",
                          static_cast<double>(partitionBytes) / 1e6,
                          static_cast<double>(partitionBytes) / 1e6 / seconds);
        }
        err << "lumarest-cli: timing: " << scanName << ' ' << SecondsText(seconds) << rate << '\n';
    }
    if (reattach && build) {
        err << "lumarest-cli: timing: re-attaching orphans "
            << SecondsText(SecondsBetween(*reattach, *build)) << '\n';
    }
    if (build) {
        err << "lumarest-cli: timing: building the folder tree "
            << SecondsText(SecondsBetween(*build, searchEnd)) << '\n';
    }
    err << "lumarest-cli: timing: Standard search "
        << SecondsText(SecondsBetween(watch.Started(), searchEnd)) << '\n'
        << "lumarest-cli: timing: listing the tree " << SecondsText(listingSeconds) << '\n';
}

}  // namespace

int RunStandardCommand(CliContext& context, const StandardSearchOptions& options) {
    if (options.oemCodePage) {
        const std::optional<OemCodePage> page = OemCodePage::Load(*options.oemCodePage);
        if (!page) {
            return context.Fail("unknown code page '" + *options.oemCodePage +
                                "' for short names: give a DOS code page such as 437, 850 or 866");
        }
        context.run.oemCodePage = *page;
    }
    const std::optional<DiskProperties> disk = FindDisk(context, options.diskNumber);
    if (const auto problem = RefuseDisk(disk, options.diskNumber)) {
        return context.Fail(*problem);
    }
    // Refused before the search, so nobody waits for a save that cannot happen; the folder is
    // held open from here, and the files are written into the one checked.
    std::optional<FolderHandle> destination;
    if (options.saveFolder) {
        std::string refusal;
        destination = OpenDestinationFolder(*options.saveFolder, disk->devicePath, refusal);
        if (!destination) {
            return context.Fail(refusal);
        }
    }
    RecoveryRun& run = context.run;
    DeviceSectorSource source = OpenDisk(DiskInputsOf(*disk, ReaderContextFor(run)));
    std::uint64_t listedEnd = 0;
    if (const auto problem =
            SelectPartition(run, source, *disk, options.partitionNumber, listedEnd)) {
        return context.Fail(*problem);
    }
    const SelectedPartition& partition = run.selectedPartition;
    const bool ntfs = partition.fileSystem == FileSystem::Ntfs;
    if (listedEnd > disk->totalSectors) {
        *context.err << "lumarest-cli: note: partition " << options.partitionNumber
                     << " runs past the end of disk " << options.diskNumber
                     << "; only its sectors up to " << disk->totalSectors << " are searched\n";
    }

    SearchWatch watch(*context.reporter);
    run.ClearEntryTables();
    const bool bootSectorValid = ValidatePartition(run, source, watch) == 1;
    if (!bootSectorValid && ntfs) {
        *context.err << "lumarest-cli: warning: the boot sector of partition "
                     << options.partitionNumber
                     << " is not a valid NTFS boot sector; its master file table is searched "
                        "anyway\n";
    }
    run.scanStop = std::stop_source{};
    RunStandardSearch(run, source, watch, bootSectorValid, run.scanStop.get_token());
    const Clock::time_point searchEnd = Clock::now();
    if (watch.Refused()) {
        return context.Fail("partition " + std::to_string(options.partitionNumber) + " of disk " +
                            std::to_string(options.diskNumber) + " could not be read as " +
                            partition.fsName);
    }

    TreeReportOptions report;
    report.saveFolder = options.saveFolder;
    report.destination = destination ? &*destination : nullptr;
    report.only = options.only;
    report.subject = "partition " + std::to_string(options.partitionNumber) + " (" +
                     partition.fsName + ") of disk " + std::to_string(options.diskNumber);
    report.head = [&](JsonStream& json) {
        json.Member("disk", options.diskNumber);
        json.Member("partition", options.partitionNumber);
        json.Member("fileSystem", partition.fsName);
        // Sectors in the disk's own unit, as `partitions` lists them.
        const std::uint32_t sectorBytes = source.LogicalSectorBytes();
        json.Member("sectorBytes", sectorBytes);
        json.Member("startSector",
                    InDiskSectors(static_cast<std::uint64_t>(partition.startSector), sectorBytes));
        json.Member("endSector", InDiskSectors(listedEnd, sectorBytes));
        json.Member("bootSectorValid", bootSectorValid);
    };
    const TreeReportResult reported = ReportRebuiltTree(context, source, report);
    if (options.timings) {
        const auto bytes =
            static_cast<std::uint64_t>(partition.endSector + 1 - partition.startSector) *
            kSectorSize;
        PrintTimings(*context.err, watch, searchEnd, reported.listingSeconds, bytes, ntfs);
    }
    return reported.status;
}

}  // namespace lumarest
