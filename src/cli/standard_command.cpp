#include "cli/standard_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <vector>

#include "carving/carved_file_saver.h"
#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/disk_choice.h"
#include "cli/json_stream.h"
#include "cli/terminal_text.h"
#include "cli/tree_listing.h"
#include "core/entry_rows.h"
#include "core/oem_code_page.h"
#include "core/text_number.h"
#include "disk/device_sector_source.h"
#include "disk/disk_inventory.h"
#include "fat/folder_tree_build.h"
#include "fat/folder_tree_events.h"
#include "output/fat_file_rows.h"
#include "output/ntfs_file_rows.h"
#include "partitions/partition_table.h"
#include "partitions/volume_params.h"
#include "search/standard_search.h"
#include "volume/recovered_save.h"

namespace lumarest {

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

constexpr const char* kStandardSearchText = "Standard Search";

struct Phase {
    std::string name;
    double seconds = 0;
};

// Passes every report on to the command line's reporter, and notes when each phase of the
// search began and whether the engines refused the volume with an error box.
class SearchWatch : public Reporter {
  public:
    explicit SearchWatch(Reporter& inner) : inner_(inner), started_(Clock::now()) {}

    void SetStatusText(const std::string& text) override { inner_.SetStatusText(text); }
    void SetStatisticCaption(Statistic which, const std::string& caption) override {
        inner_.SetStatisticCaption(which, caption);
    }
    void SetStatisticValue(Statistic which, const std::string& value) override {
        inner_.SetStatisticValue(which, value);
    }
    void ShowStatistics(bool visible) override { inner_.ShowStatistics(visible); }
    void SetPhaseLabel(const std::string& text) override {
        if (!text.empty() && (labels_.empty() || labels_.back().first != text)) {
            labels_.emplace_back(text, Clock::now());
        }
        inner_.SetPhaseLabel(text);
    }
    void SetProgress(ProgressBar bar, int position, const std::string& text) override {
        inner_.SetProgress(bar, position, text);
    }
    void ShowProgress(ProgressBar bar, bool visible) override { inner_.ShowProgress(bar, visible); }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        refused_ = refused_ || icon == MessageIcon::Error;
        inner_.ShowMessage(text, icon);
    }
    bool AskYesNo(const std::string& text) override { return inner_.AskYesNo(text); }
    void CarvedFileFinished(const CarvedFile& file) override { inner_.CarvedFileFinished(file); }

    bool Refused() const { return refused_; }
    Clock::time_point Started() const { return started_; }
    // When the phase with this label began, if it did.
    std::optional<Clock::time_point> PhaseStart(const std::string& label) const {
        for (const auto& [text, when] : labels_) {
            if (text == label) {
                return when;
            }
        }
        return std::nullopt;
    }

  private:
    Reporter& inner_;
    Clock::time_point started_;
    std::vector<std::pair<std::string, Clock::time_point>> labels_;
    bool refused_ = false;
};

// Saves without asking: a clash is renamed; a file the folder cannot take is named on stderr
// and skipped.
class CliSaveDecisions : public FixedSaveDecisions {
  public:
    explicit CliSaveDecisions(std::ostream& err) : err_(err) {}
    WriteError AskWriteError(const std::string& path) override {
        ++writeErrors_;
        err_ << "lumarest-cli: warning: could not write " << path << '\n';
        return WriteError::Skip;
    }
    std::size_t WriteErrors() const { return writeErrors_; }

  private:
    std::ostream& err_;
    std::size_t writeErrors_ = 0;
};

struct SavedTree {
    std::string folder;
    SaveSummary summary;
};

std::string SaveSummaryText(const SavedTree& saved) {
    const SaveSummary& s = saved.summary;
    return "Saved in " + saved.folder + ": " + std::to_string(s.saved) + " files whole, " +
           std::to_string(s.incomplete) + " incomplete, " + std::to_string(s.skipped) +
           " skipped, " + std::to_string(s.failed) + " not saved";
}

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Fills the selected partition as the criteria page's Next does, or says why it cannot.
std::optional<std::string> SelectPartition(RecoveryRun& run, SectorSource& source,
                                           const DiskProperties& disk, int number) {
    const auto diskNumber = static_cast<std::uint16_t>(disk.index);
    ListPartitions(run, source, diskNumber, kNoItem, [] {});
    const DiskPartitionList& list = run.diskPartitionLists[diskNumber];
    if (number < 1 || static_cast<std::size_t>(number) > list.Count()) {
        return "disk " + std::to_string(disk.index) + " lists no FAT16, FAT32 or NTFS partition " +
               std::to_string(number) + "; 'lumarest-cli partitions' lists its partitions";
    }
    const auto index = static_cast<std::size_t>(number - 1);
    const PartitionRecord& record = list.partitions[index];
    if (record.endSector <= record.startSector) {
        return "partition " + std::to_string(number) + " of disk " + std::to_string(disk.index) +
               " has no sectors";
    }
    // Only the sectors on the disk are searched: an end past it does not count here.
    const std::uint64_t searchedEnd = EndWithinDisk(source, record.endSector);
    if (!FitsVolumeParams(static_cast<std::int64_t>(record.startSector),
                          static_cast<std::int64_t>(searchedEnd) - 1)) {
        return "partition " + std::to_string(number) + " of disk " + std::to_string(disk.index) +
               ": " + kBeyond32BitMessage;
    }
    run.searchMode = SearchMode::Standard;
    SelectedPartition& selected = run.selectedPartition;
    selected.diskNumber = diskNumber;
    selected.partitionNo = static_cast<std::uint32_t>(index);
    SetPartitionFileSystem(selected, std::string(FileSystemName(record.fileSystem)));
    selected.searchModeText = kStandardSearchText;
    selected.startSector = static_cast<std::int64_t>(record.startSector);
    // The search takes the last sector of the partition, not the first one after it.
    selected.endSector = static_cast<std::int64_t>(record.endSector) - 1;
    return std::nullopt;
}

// East Asian wide characters and emoji take two columns on a terminal.
bool IsWideCharacter(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// Columns are padded by what a terminal shows, not by bytes, so names in any script line up.
std::size_t TextWidth(const std::string& text) {
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return text.size();
    }
    std::size_t width = 0;
    char32_t character = 0;
    for (const char byte : text) {
        const auto b = static_cast<unsigned char>(byte);
        if ((b & 0xC0) == 0x80) {
            character = (character << 6) | (b & 0x3F);
            continue;
        }
        width += IsWideCharacter(character) ? 2 : (character != 0 ? 1 : 0);
        character = b >= 0xF0 ? b & 0x07 : b >= 0xE0 ? b & 0x0F : b >= 0xC0 ? b & 0x1F : b;
    }
    return width + (IsWideCharacter(character) ? 2 : (character != 0 ? 1 : 0));
}

using TextRow = std::vector<std::string>;
// The cells of row `index` of a table, made when they are needed: a table of many thousand
// files is never held as text all at once.
using RowCells = std::function<TextRow(std::size_t index)>;

TextRow EscapedRow(TextRow row) {
    for (std::string& cell : row) {
        cell = TerminalText(cell);
    }
    return row;
}

void PrintTable(std::ostream& out, const TextRow& captions, std::size_t rowCount,
                const RowCells& rowCells) {
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions) {
        widths.push_back(TextWidth(caption));
    }
    for (std::size_t index = 0; index < rowCount; ++index) {
        const TextRow row = EscapedRow(rowCells(index));
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], TextWidth(row[c]));
        }
    }
    std::string line;
    const auto printRow = [&](const TextRow& row) {
        line.clear();
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - TextWidth(row[c]) + 2, ' ');
            }
        }
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    };
    printRow(captions);
    for (std::size_t index = 0; index < rowCount; ++index) {
        printRow(EscapedRow(rowCells(index)));
    }
}

std::string YesNo(bool value) {
    return value ? "yes" : "no";
}

void PrintText(std::ostream& out, const TreeListing& listing, bool ntfs,
               std::uint32_t sectorBytes) {
    out << "Folders: " << listing.folders.size() << '\n';
    PrintTable(out, {"Path", "Self", "Parent", "Deleted"}, listing.folders.size(),
               [&](std::size_t index) -> TextRow {
                   const ListedFolder& f = listing.folders[index];
                   return {f.path, NumberText(f.self), NumberText(f.parent), YesNo(f.deleted)};
               });

    const auto fileCells = [&](std::size_t index) {
        const ListedFile& f = listing.files[index];
        TextRow row{f.folder,   f.row.name, f.row.type, NumberText(f.file.size),
                    f.row.date, f.row.time};
        if (ntfs) {
            row.push_back(NumberText(f.file.recordNumber));
            row.push_back(NumberText(InDiskSectors(f.file.recordSector, sectorBytes)));
        } else {
            row.push_back(NumberText(f.file.firstCluster));
        }
        row.push_back(YesNo(f.file.deleted));
        return row;
    };
    out << "\nFiles: " << listing.files.size() << '\n';
    if (ntfs) {
        PrintTable(out,
                   {"Folder", "Name", "Type", "Size", "Date", "Time", "Record", "Record sector",
                    "Deleted"},
                   listing.files.size(), fileCells);
    } else {
        PrintTable(out,
                   {"Folder", "Name", "Type", "Size", "Date", "Time", "First cluster", "Deleted"},
                   listing.files.size(), fileCells);
    }
}

struct ListingCounts {
    std::size_t folders = 0;
    std::size_t files = 0;
    std::size_t unplacedFiles = 0;
};

// Writes the document as the tree is walked: the folders, then the files read again folder by
// folder, so no row is held in between.
ListingCounts PrintJson(std::ostream& out, RecoveryRun& run, SectorSource& disk,
                        const StandardSearchOptions& options, const SelectedPartition& partition,
                        bool bootSectorValid, bool ntfs, const std::optional<SavedTree>& saved) {
    ListingCounts counts;
    JsonStream json(out);
    json.BeginObject();
    json.Member("disk", options.diskNumber);
    json.Member("partition", options.partitionNumber);
    json.Member("fileSystem", partition.fsName);
    // Sectors in the disk's own unit, as `partitions` lists them.
    const std::uint32_t sectorBytes = disk.LogicalSectorBytes();
    json.Member("sectorBytes", sectorBytes);
    json.Member("startSector",
                InDiskSectors(static_cast<std::uint64_t>(partition.startSector), sectorBytes));
    json.Member("endSector",
                InDiskSectors(static_cast<std::uint64_t>(partition.endSector) + 1, sectorBytes));
    json.Member("bootSectorValid", bootSectorValid);
    json.Key("folders");
    json.BeginArray();
    WalkTree(
        run, disk,
        [&](const ListedFolder& f) {
            ++counts.folders;
            json.BeginObject();
            json.Member("path", f.path);
            json.Member("self", f.self);
            json.Member("parent", f.parent);
            json.Member("deleted", f.deleted);
            json.EndObject();
        },
        nullptr);
    json.EndArray();
    json.Key("files");
    json.BeginArray();
    counts.unplacedFiles =
        WalkTree(run, disk, nullptr, [&](const ListedFolder& folder, const ListedFile& f) {
            ++counts.files;
            json.BeginObject();
            json.Member("folder", folder.path);
            json.Member("name", f.row.name);
            json.Member("type", f.row.type);
            json.Member("size", f.file.size);
            json.Member("date", f.row.date);
            json.Member("time", f.row.time);
            if (ntfs) {
                json.Member("record", f.file.recordNumber);
                json.Member("recordSector", InDiskSectors(f.file.recordSector, sectorBytes));
            } else {
                json.Member("firstCluster", f.file.firstCluster);
            }
            json.Member("deleted", f.file.deleted);
            json.EndObject();
        });
    json.EndArray();
    if (saved) {
        const SaveSummary& summary = saved->summary;
        json.Key("save");
        json.Value(Json{{"folder", saved->folder},
                        {"saved", summary.saved},
                        {"incomplete", summary.incomplete},
                        {"skipped", summary.skipped},
                        {"failed", summary.failed}});
    }
    json.EndObject();
    out << '\n';
    return counts;
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
    // Refused before the search, so nobody waits for a save that cannot happen.
    if (options.saveFolder) {
        if (const auto problem = CheckDestinationFolder(*options.saveFolder, disk->devicePath)) {
            return context.Fail(*problem);
        }
    }
    RecoveryRun& run = context.run;
    DeviceSectorSource source(ReaderContextFor(run), disk->devicePath, disk->totalSectors,
                              disk->bytesPerSector);
    if (const auto problem = SelectPartition(run, source, *disk, options.partitionNumber)) {
        return context.Fail(*problem);
    }
    const SelectedPartition& partition = run.selectedPartition;
    const bool ntfs = partition.fileSystem == FileSystem::Ntfs;
    if (static_cast<std::uint64_t>(partition.endSector) >= disk->totalSectors) {
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
    RunStandardSearch(run, source, watch, bootSectorValid);
    const Clock::time_point searchEnd = Clock::now();
    if (watch.Refused()) {
        return context.Fail("partition " + std::to_string(options.partitionNumber) + " of disk " +
                            std::to_string(options.diskNumber) + " could not be read as " +
                            partition.fsName);
    }

    // The text's columns are as wide as their widest cell, so its rows are kept (compactly)
    // until all are known; the JSON is written as the tree is walked, after any saving.
    std::optional<TreeListing> listing;
    if (!context.json) {
        listing.emplace(run, source);
    }
    double listingSeconds = SecondsBetween(searchEnd, Clock::now());
    std::optional<SavedTree> saved;
    CliSaveDecisions decisions(*context.err);
    if (options.saveFolder && run.folderTree) {
        const std::vector<SaveEntry> entries =
            CollectFolderEntries(run, source, run.folderTree->TopItem());
        saved = SavedTree{*options.saveFolder,
                          SaveEntries(run, source, entries, *options.saveFolder, decisions)};
    }
    ListingCounts counts;
    if (context.json) {
        const Clock::time_point listingStart = Clock::now();
        counts =
            PrintJson(*context.out, run, source, options, partition, bootSectorValid, ntfs, saved);
        listingSeconds = SecondsBetween(listingStart, Clock::now());
    } else {
        counts = {listing->folders.size(), listing->files.size(), listing->unplacedFiles};
        PrintText(*context.out, *listing, ntfs, source.LogicalSectorBytes());
        if (saved) {
            *context.out << SaveSummaryText(*saved) << '\n';
        }
    }
    if (counts.unplacedFiles > 0) {
        *context.err << "lumarest-cli: note: " << counts.unplacedFiles
                     << " file records name a folder that is not in the tree and are not listed\n";
    }
    *context.err << "lumarest-cli: " << counts.folders << " folders and " << counts.files
                 << " files in the rebuilt tree of partition " << options.partitionNumber << " ("
                 << partition.fsName << ") of disk " << options.diskNumber << '\n';
    if (options.timings) {
        const auto bytes =
            static_cast<std::uint64_t>(partition.endSector + 1 - partition.startSector) *
            kSectorSize;
        PrintTimings(*context.err, watch, searchEnd, listingSeconds, bytes, ntfs);
    }
    if (decisions.WriteErrors() > 0) {
        return context.Fail(std::to_string(decisions.WriteErrors()) +
                            " folders or files could not be written in " + *options.saveFolder);
    }
    return kExitOk;
}

}  // namespace lumarest
