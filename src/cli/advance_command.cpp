#include "cli/advance_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <stop_token>

#include "carving/destination_folder.h"
#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/disk_choice.h"
#include "cli/interrupt_stop.h"
#include "cli/json_stream.h"
#include "cli/tree_report.h"
#include "core/oem_code_page.h"
#include "disk/disk_inputs.h"
#include "partitions/partition_table.h"
#include "partitions/volume_params.h"
#include "search/advance_search.h"

namespace lumarest {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kAdvanceSearchText = "Advance Search";

// The range searched, with where it came from, for the listing's head.
struct SearchedRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;  // the first sector after the range
    std::optional<int> partition;
    std::string fileSystem;
    // Where the reading ended: `last` unless Ctrl+C stopped it.
    std::uint64_t searchedEnd = 0;
    bool Stopped() const { return searchedEnd < last; }
};

// The JSON keys of a found volume's layout, in the table's column order.
constexpr const char* kVolumeKeys[] = {
    "sector",          "sectorsPerFat", "sectorsPerCluster", "rootSectors", "rootStart",
    "reservedSectors", "cluster0Start", "firstFat",          "secondFat",   "totalSectors",
};
// A found volume's cells hold sector numbers past 32 bits: an NTFS volume keeps its last
// sector where a FAT one keeps its sectors per FAT.
std::uint64_t VolumeCell(const TextTable& table, std::size_t row, std::size_t column) {
    return table.CellU64(row, column);
}

std::optional<std::string> PickFileSystem(const std::optional<std::string>& asked,
                                          std::optional<FileSystem> partitionOwn,
                                          std::string& chosen) {
    if (asked) {
        const auto named = FileSystemNamed(*asked);
        if (!named) {
            return "unknown file system '" + *asked + "': give FAT16, FAT32, NTFS or exFAT";
        }
        chosen = *asked;
        return std::nullopt;
    }
    if (!partitionOwn) {
        return "--fs FAT16|FAT32|NTFS|exFAT is needed: the file system to look for";
    }
    chosen = std::string(FileSystemName(*partitionOwn));
    return std::nullopt;
}

// The range of listed partition `number`, the given sectors, or the whole disk.
std::optional<std::string> ChooseRange(CliContext& context, SectorSource& source,
                                       const DiskProperties& disk,
                                       const AdvanceSearchOptions& options, SearchedRange& range) {
    std::optional<FileSystem> partitionOwn;
    range.last = disk.totalSectors;
    if (options.partitionNumber) {
        const int number = *options.partitionNumber;
        ListPartitions(context.run, source, static_cast<std::uint16_t>(disk.index), kNoItem, [] {});
        const DiskPartitionList& list = context.run.diskPartitionLists[disk.index];
        if (number < 1 || static_cast<std::size_t>(number) > list.Count()) {
            return "disk " + std::to_string(disk.index) + " lists no partition " +
                   std::to_string(number) + "; 'lumarest-cli partitions' lists its partitions";
        }
        const PartitionRecord& record = list.partitions[static_cast<std::size_t>(number - 1)];
        range.first = record.startSector;
        range.last = EndWithinDisk(source, record.endSector);
        range.partition = number;
        partitionOwn = record.fileSystem;
    }
    range.first = options.firstSector.value_or(range.first);
    range.last = options.lastSector.value_or(range.last);
    if (range.last <= range.first) {
        return "the range's last sector must lie after its first";
    }
    if (range.last > disk.totalSectors) {
        return "disk " + std::to_string(disk.index) + " has " + std::to_string(disk.totalSectors) +
               " sectors; the range cannot end at " + std::to_string(range.last);
    }
    return PickFileSystem(options.fileSystem, partitionOwn, range.fileSystem);
}

void SelectRange(RecoveryRun& run, const DiskProperties& disk, const SearchedRange& range) {
    run.searchMode = SearchMode::Advance;
    SelectedPartition& selected = run.selectedPartition;
    selected.diskNumber = static_cast<std::uint16_t>(disk.index);
    selected.partitionNo = range.partition ? static_cast<std::uint32_t>(*range.partition - 1) : 0;
    SetPartitionFileSystem(selected, range.fileSystem);
    selected.searchModeText = kAdvanceSearchText;
    selected.startSector = static_cast<std::int64_t>(range.first);
    selected.endSector = static_cast<std::int64_t>(range.last) - 1;
}

void RangeMembers(JsonStream& json, int diskNumber, const SearchedRange& range) {
    json.Member("disk", diskNumber);
    if (range.partition) {
        json.Member("partition", *range.partition);
    }
    json.Member("fileSystem", range.fileSystem);
    json.Member("firstSector", range.first);
    json.Member("lastSector", range.last);
    json.Key("search");
    json.Value(Json{{"stopped", range.Stopped()}, {"searchedTo", range.searchedEnd}});
}

Json VolumeJson(const TextTable& table, std::size_t row) {
    Json volume{{"volume", row + 1}, {"fileSystem", table.Cell(row, kVolumePartType)}};
    for (std::size_t column = 0; column < std::size(kVolumeKeys); ++column) {
        volume[kVolumeKeys[column]] = VolumeCell(table, row, column);
    }
    return volume;
}

void PrintVolumes(CliContext& context, int diskNumber, const SearchedRange& range) {
    const TextTable& table = context.run.fileSystemTable;
    if (context.json) {
        JsonStream json(*context.out);
        json.BeginObject();
        RangeMembers(json, diskNumber, range);
        Json volumes = Json::array();
        for (std::size_t row = 0; row < table.RowCount(); ++row) {
            volumes.push_back(VolumeJson(table, row));
        }
        json.Key("volumes");
        json.Value(volumes);
        json.EndObject();
        *context.out << '\n';
        return;
    }
    *context.out << "File systems found in sectors " << range.first << " to " << range.searchedEnd
                 << " of disk " << diskNumber << " (sectors of 512 bytes): " << table.RowCount()
                 << '\n';
    TextRow captions{"Volume", "File system"};
    for (std::size_t column = 0; column < kVolumePartType; ++column) {
        captions.push_back(table.ColumnNames()[column]);
    }
    PrintTable(*context.out, captions, table.RowCount(), [&](std::size_t row) {
        TextRow cells{std::to_string(row + 1), table.Cell(row, kVolumePartType)};
        for (std::size_t column = 0; column < kVolumePartType; ++column) {
            cells.push_back(std::to_string(VolumeCell(table, row, column)));
        }
        return cells;
    });
}

double SecondsBetween(SearchWatch::Clock::time_point from, SearchWatch::Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// How long the reading of the range took (and how fast it read), the analysis that follows it,
// and the rebuild of the chosen volume.
void PrintTimings(std::ostream& err, const SearchWatch& watch, SearchWatch::Clock::time_point found,
                  const SearchedRange& range, std::optional<double> rebuildSeconds) {
    const auto analysis = watch.FirstPhaseStart().value_or(found);
    const double reading = SecondsBetween(watch.Started(), analysis);
    const double megabytes = static_cast<double>((range.last - range.first) * kSectorSize) / 1e6;
    char text[160];
    std::snprintf(text, sizeof text,
                  "lumarest-cli: timing: reading the range %.3f s (%.1f MB, %.0f MB/s)\n"
                  "lumarest-cli: timing: finding the volumes %.3f s\n",
                  reading, megabytes, reading > 0 ? megabytes / reading : 0.0,
                  SecondsBetween(analysis, found));
    err << text;
    if (rebuildSeconds) {
        std::snprintf(text, sizeof text, "lumarest-cli: timing: rebuilding the volume %.3f s\n",
                      *rebuildSeconds);
        err << text;
    }
}

}  // namespace

int RunAdvanceCommand(CliContext& context, const AdvanceSearchOptions& options) {
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
    if (options.only != RowFilter::All && !options.volumeNumber) {
        return context.Fail("--only needs --volume V: the found volume whose tree is listed");
    }
    // Held open from the check on: the files are written into the folder checked.
    std::optional<FolderHandle> destination;
    if (options.saveFolder) {
        if (!options.volumeNumber) {
            return context.Fail("--save needs --volume V: the found volume to rebuild and save");
        }
        std::string refusal;
        destination = OpenDestinationFolder(*options.saveFolder, disk->devicePath, refusal);
        if (!destination) {
            return context.Fail(refusal);
        }
    }
    RecoveryRun& run = context.run;
    DeviceSectorSource source = OpenDisk(DiskInputsOf(*disk, ReaderContextFor(run)));
    SearchedRange range;
    if (const auto problem = ChooseRange(context, source, *disk, options, range)) {
        return context.Fail(*problem);
    }
    SelectRange(run, *disk, range);

    SearchWatch watch(*context.reporter);
    run.ClearEntryTables();
    run.scanStop = std::stop_source{};
    AdvanceSearchResult found;
    {
        // Ctrl+C ends the reading; what was found is still analysed and listed.
        InterruptStop interrupt;
        std::stop_callback stopOnInterrupt(interrupt.Token(),
                                           [&run] { run.scanStop.request_stop(); });
        found = RunAdvanceSearch(run, source, watch, run.scanStop.get_token());
    }
    const SearchWatch::Clock::time_point searchEnd = SearchWatch::Clock::now();
    range.searchedEnd = found.stopped ? std::min(found.searchedEnd, range.last) : range.last;
    if (range.Stopped()) {
        *context.err << "lumarest-cli: note: the search was stopped at sector " << range.searchedEnd
                     << "; sectors " << range.searchedEnd << " to " << range.last
                     << " were not searched, and what was found before is listed.\n";
    }
    if (found.volumesFound == 0) {
        *context.err << "lumarest-cli: no " << range.fileSystem
                     << " file system could be identified in sectors " << range.first << " to "
                     << range.searchedEnd << " of disk " << options.diskNumber << '\n';
    }
    if (!options.volumeNumber) {
        PrintVolumes(context, options.diskNumber, range);
        if (options.timings) {
            PrintTimings(*context.err, watch, searchEnd, range, std::nullopt);
        }
        return kExitOk;
    }
    const int volume = *options.volumeNumber;
    if (volume < 1 || static_cast<std::size_t>(volume) > found.volumesFound) {
        return context.Fail("the search found " + std::to_string(found.volumesFound) +
                            " file systems; there is no volume " + std::to_string(volume));
    }
    RebuildFoundVolume(run, source, watch, static_cast<std::size_t>(volume - 1));
    NameEveryFolder(run, source);
    if (options.timings) {
        PrintTimings(*context.err, watch, searchEnd, range,
                     SecondsBetween(searchEnd, SearchWatch::Clock::now()));
    }
    TreeReportOptions report;
    report.saveFolder = options.saveFolder;
    report.destination = destination ? &*destination : nullptr;
    report.only = options.only;
    report.subject = "found volume " + std::to_string(volume) + " (" + run.activeVolume.fsName +
                     ") of disk " + std::to_string(options.diskNumber);
    report.head = [&](JsonStream& json) {
        RangeMembers(json, options.diskNumber, range);
        json.Key("volume");
        json.Value(VolumeJson(run.fileSystemTable, static_cast<std::size_t>(volume - 1)));
    };
    return ReportRebuiltTree(context, source, report).status;
}

}  // namespace lumarest
