// The Advance NTFS search's second step: record numbers for folders, and the volumes.

#include "ntfs/mft_number_assignment.h"

#include <algorithm>
#include <array>
#include <deque>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "ntfs/index_block.h"
#include "ntfs/ntfs_layout.h"
#include "ntfs/ntfs_work_tables.h"
#include "ntfs/volume_from_mft.h"

namespace lumarest {
namespace {

constexpr const char* kPleaseWaitStatus = "Please wait...";
constexpr const char* kPhase1Label = " Assigning MFT Numbers Phase 1 \\ 2   ...";
constexpr const char* kPhase1RowLabel = " Assigning MFT Numbers Phase 1 \\ 2 ( ";
constexpr const char* kPhase1RowLabelEnd = " ) .....";
constexpr const char* kPhase2Label = " Assigning MFT Numbers Phase 2 \\ 2   ...";
constexpr const char* kExtractingLabel = " Extracting Directory Entries .........";
constexpr const char* kAnalysingLabel = "Analysining File Systems List";
constexpr const char* kAssignedText = "Assigned ";
constexpr const char* kCompletedText = "Completed ";
constexpr int kFullPercent = 100;
// Before the first record the running number stands here, so a first record without one gets 2.
constexpr std::uint32_t kFirstRunningNumber = 1;
// Records this many slots apart and more are taken to lie in different stretches.
constexpr std::uint64_t kLargestSlotGap = 64;
// Before the first folder the volume number stands here.
constexpr std::uint32_t kFirstVolumeNumber = 1;
constexpr std::string_view kIndexSignature = "INDX";
// Record 0 is the master file table's own, named in the root directory.
constexpr std::string_view kMftRecordName = "$MFT";
constexpr std::uint32_t kRootRecord = 5;

int Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 || done >= total ? kFullPercent
                                       : static_cast<int>(done * kFullPercent / total);
}

// A folder of the scratch table while volumes are looked for.
struct Folder {
    std::uint64_t sector = 0;
    std::uint32_t self = 0;
    std::uint64_t firstRun = 0;
    std::uint32_t fsNumber = 0;
};

struct Block {
    std::uint64_t sector = 0;
    std::uint32_t owner = 0;
    bool dropped = false;
};

// A volume to test: folders after `start` and up to `end` whose first index cluster, counted
// from `start` at `spc` sectors a cluster, holds an index block belong to it.
struct CandidateVolume {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t spc = 0;
};

class Assignment {
  public:
    Assignment(RecoveryRun& run, SectorSource& disk, Reporter& reporter, std::stop_token stop)
        : run_(run), disk_(disk), reporter_(reporter), stop_(std::move(stop)) {}

    std::size_t Run() {
        run_.fileSystemTable.Clear();
        reporter_.SetStatusText(kPleaseWaitStatus);
        AssignFromIndexBlocks();
        NumberTheRest();
        ExtractFolders();
        VolumesFromBootSectors();
        VolumesFromFolderPairs();
        VolumesFromMasterFileTables();
        FillUnassignedFolders();
        WriteVolumeNumbers();
        run_.volumesFound = run_.fileSystemTable.RowCount();
        return run_.volumesFound;
    }

  private:
    bool Stopped() const { return stop_.stop_requested(); }

    void ShowLabel(const std::string& label, std::uint64_t done, std::uint64_t total) {
        const int percent = Percent(done, total);
        if (percent == shownPercent_ && done != total) {
            return;
        }
        shownPercent_ = percent;
        reporter_.SetPhaseLabel(label);
        reporter_.SetProgress(ProgressBar::MainScan, percent, kCompletedText);
    }

    void StartPhase(const char* label) {
        shownPercent_ = -1;
        reporter_.SetPhaseLabel(label);
        reporter_.SetProgress(ProgressBar::MainScan, 0, kCompletedText);
    }

    static std::string FolderKey(std::int64_t date, std::uint32_t parent, const std::string& name) {
        return std::to_string(date) + '/' + std::to_string(parent) + '/' + name;
    }

    // Folders whose record holds no number of its own get the number an index block lists
    // them under: a directory entry with the same creation time, name and parent.
    void AssignFromIndexBlocks() {
        const TextTable& records = run_.ntfsRecordTable;
        std::unordered_map<std::string, std::deque<std::size_t>> unnumbered;
        for (std::size_t row = 0; row < records.RowCount(); ++row) {
            if (records.CellView(row, kRecordType) == kRecordFolderType &&
                records.CellU32(row, kRecordSelf) == 0) {
                unnumbered[FolderKey(records.CellNumber(row, kRecordDate),
                                     records.CellU32(row, kRecordParent),
                                     records.Cell(row, kRecordName))]
                    .push_back(row);
            }
        }
        StartPhase(kPhase1Label);
        const std::size_t count = run_.indexBlockTable.RowCount();
        std::vector<std::uint8_t> block;
        for (std::size_t j = 0; j < count && !Stopped(); ++j) {
            ShowLabel(kPhase1RowLabel + std::to_string(j + 1) + "/" + std::to_string(count) +
                          kPhase1RowLabelEnd,
                      j + 1, count);
            if (unnumbered.empty() ||
                !ReadIndexBlock(disk_, run_.indexBlockTable.CellNumber(j, kBlockSector), block)) {
                continue;
            }
            WalkIndexEntries(block, [&](const IndexEntry& entry) {
                if (!entry.NamesDirectory()) {
                    return true;
                }
                const auto found = unnumbered.find(
                    FolderKey(static_cast<std::int64_t>(entry.fileName.creationTime),
                              entry.fileName.parent, entry.fileName.name));
                if (found != unnumbered.end()) {
                    run_.ntfsRecordTable.SetCell(found->second.front(), kRecordSelf,
                                                 NumberText(entry.fileReference));
                    found->second.pop_front();
                    if (found->second.empty()) {
                        unnumbered.erase(found);
                    }
                }
                return !unnumbered.empty();
            });
        }
    }

    // Records still without a number (the older layout keeps none) take their place in the
    // master file table: the record before them, plus the record slots between the two when
    // they lie in one stretch, else plus one.
    void NumberTheRest() {
        StartPhase(kPhase2Label);
        TextTable& records = run_.ntfsRecordTable;
        std::uint32_t previous = kFirstRunningNumber;
        std::optional<std::uint64_t> previousSector;
        for (std::size_t row = 0; row < records.RowCount() && !Stopped(); ++row) {
            const auto sector = static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector));
            std::uint32_t self = records.CellU32(row, kRecordSelf);
            if (records.CellView(row, kRecordSelf).empty()) {
                self = previous +
                       SlotsAfter(previousSector, sector, records.CellU32(row, kRecordSectors));
                records.SetCell(row, kRecordSelf, NumberText(self));
            }
            previous = self;
            previousSector = sector;
            ShowLabel(kPhase2Label, row + 1, records.RowCount());
        }
    }

    static std::uint32_t SlotsAfter(std::optional<std::uint64_t> before, std::uint64_t sector,
                                    std::uint32_t recordSectors) {
        const std::uint32_t slot = UsableRecordSectors(recordSectors);
        if (!before || sector <= *before || (sector - *before) % slot != 0 ||
            (sector - *before) / slot > kLargestSlotGap) {
            return 1;
        }
        return static_cast<std::uint32_t>((sector - *before) / slot);
    }

    void ExtractFolders() {
        StartPhase(kExtractingLabel);
        const TextTable& records = run_.ntfsRecordTable;
        TextTable& found = run_.foundDirectoryTable;
        found.SetColumns(NtfsFoundFolderColumns());
        for (std::size_t row = 0; row < records.RowCount(); ++row) {
            if (records.CellView(row, kRecordType) != kRecordFolderType) {
                continue;
            }
            Folder folder{static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector)),
                          records.CellU32(row, kRecordSelf),
                          static_cast<std::uint64_t>(records.CellNumber(row, kRecordFirstRun)), 0};
            found.AppendRow({records.Cell(row, kRecordSector), NumberText(folder.self),
                             records.Cell(row, kRecordParent), "0", records.Cell(row, kRecordDate),
                             records.Cell(row, kRecordName), records.Cell(row, kRecordFirstRun),
                             kRecordFolderType, records.Cell(row, kRecordDeleted)});
            folders_.push_back(folder);
        }
        KeepFirstIndexBlocks();
        bySector_.resize(folders_.size());
        for (std::size_t i = 0; i < folders_.size(); ++i) {
            bySector_[i] = i;
        }
        std::stable_sort(bySector_.begin(), bySector_.end(), [&](std::size_t a, std::size_t b) {
            return folders_[a].sector < folders_[b].sector;
        });
    }

    // Only a directory's first index block tells where its volume starts.
    void KeepFirstIndexBlocks() {
        TextTable& table = run_.indexBlockTable;
        TextTable kept(table.ColumnNames());
        for (std::size_t row = 0; row < table.RowCount(); ++row) {
            const auto sector = static_cast<std::uint64_t>(table.CellNumber(row, kBlockSector));
            knownIndexSectors_.insert(sector);
            if (table.CellU32(row, kBlockVcn) != 0) {
                continue;
            }
            kept.AppendRow(table.Row(row));
            const std::size_t index = blocks_.size();
            blocks_.push_back({sector, table.CellU32(row, kBlockOwner),
                               table.CellU32(row, kBlockFsNumber) != kUnassignedVolume});
            blocksBySector_.emplace(sector, index);
            blocksByOwner_[blocks_.back().owner].push_back(index);
        }
        table = std::move(kept);
    }

    void VolumesFromBootSectors() {
        StartPhase(kAnalysingLabel);
        const TextTable& boots = run_.bootSectorTable;
        for (std::size_t row = 0; row < boots.RowCount() && !Stopped(); ++row) {
            const auto start = static_cast<std::uint64_t>(boots.CellNumber(row, kBootSector));
            const auto total = static_cast<std::uint64_t>(boots.CellNumber(row, kBootTotalSectors));
            const CandidateVolume volume{
                start, SaturatedAdd(start, total),
                static_cast<std::uint64_t>(boots.CellNumber(row, kBootSpc))};
            if (TestVolume(volume) > 0) {
                AddVolumeRow(volume);
            }
        }
    }

    // Volumes whose boot sectors are gone: two folders whose first index blocks lie at sectors
    // SA and SB and whose first index clusters are PA and PB give the cluster size and so the
    // volume's first sector.
    void VolumesFromFolderPairs() {
        const auto last =
            static_cast<std::uint64_t>(std::max<std::int64_t>(run_.selectedPartition.endSector, 0));
        std::vector<std::size_t> open = OpenFolders();
        for (std::size_t a = 0; a < folders_.size() && !Stopped(); ++a) {
            Folder& folderA = folders_[a];
            if (folderA.fsNumber != 0) {
                continue;
            }
            std::uint64_t sectorA = 0;
            if (folderA.firstRun == 0 || !FirstIndexBlock(folderA.self, sectorA)) {
                folderA.fsNumber = kUnassignedVolume;
                continue;
            }
            const auto later = std::upper_bound(open.begin(), open.end(), a);
            for (auto it = later; it != open.end() && !Stopped(); ++it) {
                const Folder& folderB = folders_[*it];
                std::uint64_t sectorB = 0;
                if (folderB.fsNumber != 0 || !FirstIndexBlock(folderB.self, sectorB) ||
                    sectorB == sectorA) {
                    continue;
                }
                CandidateVolume volume{0, last, 0};
                if (!PairVolume(folderA.firstRun, sectorA, folderB.firstRun, sectorB, volume) ||
                    failedVolumes_.contains({volume.start, volume.spc})) {
                    continue;
                }
                if (TestVolume(volume) == 0) {
                    failedVolumes_.insert({volume.start, volume.spc});
                    continue;
                }
                AddVolumeRow(volume);
                std::erase_if(open, [&](std::size_t i) { return folders_[i].fsNumber != 0; });
                break;
            }
        }
    }

    // Volumes neither a boot sector nor a pair of folders gave, as small volumes with few index
    // blocks are: record 0 of a master file table names its own first cluster.
    void VolumesFromMasterFileTables() {
        const TextTable& records = run_.ntfsRecordTable;
        for (std::size_t row = 0; row < records.RowCount() && !Stopped(); ++row) {
            const auto sector = static_cast<std::uint64_t>(records.CellNumber(row, kRecordSector));
            if (records.CellView(row, kRecordType) == kRecordFolderType ||
                records.CellView(row, kRecordName) != kMftRecordName ||
                records.CellU32(row, kRecordParent) != kRootRecord || InFoundVolume(sector)) {
                continue;
            }
            const auto found = FindVolumeFromMft(
                disk_, sector, records.CellU32(row, kRecordSectors), DiskSectors());
            if (found) {
                const CandidateVolume volume{found->start, found->lastSector,
                                             found->sectorsPerCluster};
                TieFoldersWithin(volume);
                AddVolumeRow(volume);
            }
        }
    }

    bool InFoundVolume(std::uint64_t sector) const {
        return std::any_of(volumes_.begin(), volumes_.end(), [&](const CandidateVolume& v) {
            return sector >= v.start && sector <= v.end;
        });
    }

    // Runs must stay on the disk; a disk of unknown size ends where the range does.
    std::uint64_t DiskSectors() const {
        const auto last =
            static_cast<std::uint64_t>(std::max<std::int64_t>(run_.selectedPartition.endSector, 0));
        return disk_.TotalSectors() != 0 ? disk_.TotalSectors() : last + 1;
    }

    // A volume found from its table holds the folders whose records lie inside it.
    void TieFoldersWithin(const CandidateVolume& volume) {
        const auto number = static_cast<std::uint32_t>(run_.fileSystemTable.RowCount() + 1);
        for (Folder& folder : folders_) {
            if ((folder.fsNumber == 0 || folder.fsNumber == kUnassignedVolume) &&
                folder.sector >= volume.start && folder.sector <= volume.end) {
                folder.fsNumber = number;
            }
        }
    }

    // Folders that may pair: not tied to a volume and with an index allocation.
    std::vector<std::size_t> OpenFolders() const {
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < folders_.size(); ++i) {
            if (folders_[i].fsNumber == 0 && folders_[i].firstRun != 0) {
                open.push_back(i);
            }
        }
        return open;
    }

    static bool PairVolume(std::uint64_t runA, std::uint64_t sectorA, std::uint64_t runB,
                           std::uint64_t sectorB, CandidateVolume& volume) {
        std::uint64_t spc = 0;
        if (runB < runA && sectorA > sectorB) {
            spc = (sectorA - sectorB) / (runA - runB);
        } else if (runA < runB && sectorB > sectorA) {
            spc = (sectorB - sectorA) / (runB - runA);
        } else {
            // Equal first runs give no pair; runs and sectors in opposite order give no
            // cluster size.
            return false;
        }
        if (std::find(kNtfsClusterSectors.begin(), kNtfsClusterSectors.end(), spc) ==
                kNtfsClusterSectors.end() ||
            runA > sectorA / spc) {
            return false;
        }
        volume.start = sectorA - runA * spc;
        volume.spc = spc;
        return true;
    }

    // The sector of directory `owner`'s first index block not yet taken by a volume.
    bool FirstIndexBlock(std::uint32_t owner, std::uint64_t& sector) {
        const auto found = blocksByOwner_.find(owner);
        if (found == blocksByOwner_.end()) {
            return false;
        }
        for (const std::size_t index : found->second) {
            if (!blocks_[index].dropped) {
                sector = blocks_[index].sector;
                return true;
            }
        }
        return false;
    }

    // Ties the volume's folders to it, under the number it gets if any folder belongs to it.
    std::uint64_t TestVolume(const CandidateVolume& volume) {
        const auto number = static_cast<std::uint32_t>(run_.fileSystemTable.RowCount() + 1);
        std::uint64_t assigned = 0;
        auto it = std::upper_bound(
            bySector_.begin(), bySector_.end(), volume.start,
            [&](std::uint64_t sector, std::size_t i) { return sector < folders_[i].sector; });
        for (; it != bySector_.end() && folders_[*it].sector <= volume.end; ++it) {
            Folder& folder = folders_[*it];
            if (folder.fsNumber != 0 || folder.firstRun == 0) {
                continue;
            }
            std::uint64_t blockSector = 0;
            if (!ClusterSector(volume, folder.firstRun, blockSector) ||
                !HoldsIndexBlock(blockSector)) {
                continue;
            }
            folder.fsNumber = number;
            ++assigned;
            DropIndexBlockAt(blockSector);
            ShowLabel(
                kAssignedText + std::to_string(assigned) + " / " + std::to_string(folders_.size()),
                assigned, folders_.size());
        }
        return assigned;
    }

    static bool ClusterSector(const CandidateVolume& volume, std::uint64_t cluster,
                              std::uint64_t& sector) {
        constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
        if (volume.spc != 0 && cluster > (kMax - volume.start) / volume.spc) {
            return false;
        }
        sector = volume.start + cluster * volume.spc;
        return true;
    }

    bool HoldsIndexBlock(std::uint64_t sector) {
        if (knownIndexSectors_.contains(sector)) {
            return true;
        }
        const auto cached = readSectors_.find(sector);
        if (cached != readSectors_.end()) {
            return cached->second;
        }
        std::array<std::uint8_t, kSectorSize> bytes{};
        const bool holds = disk_.ReadSectors(sector, 1, bytes.data()) == 1 &&
                           SpellsAt(ByteSpan(bytes.data(), bytes.size()), 0, kIndexSignature);
        readSectors_.emplace(sector, holds);
        return holds;
    }

    void DropIndexBlockAt(std::uint64_t sector) {
        const auto found = blocksBySector_.find(sector);
        if (found != blocksBySector_.end()) {
            blocks_[found->second].dropped = true;
        }
    }

    void AddVolumeRow(const CandidateVolume& volume) {
        volumes_.push_back(volume);
        const std::string first = NumberText(volume.start);
        run_.fileSystemTable.AppendRow({first, NumberText(volume.end), NumberText(volume.spc), "",
                                        "", "", first, "", "", "", kNtfsFsName});
    }

    // Folders not tied to a volume belong to the volume of the folder before them.
    void FillUnassignedFolders() {
        std::uint32_t previous = kFirstVolumeNumber;
        for (std::size_t i = 0; i < folders_.size() && !Stopped(); ++i) {
            if (folders_[i].fsNumber == kUnassignedVolume) {
                folders_[i].fsNumber = previous;
            }
            previous = folders_[i].fsNumber;
            ShowLabel(
                kAssignedText + std::to_string(i + 1) + " / " + std::to_string(folders_.size()),
                i + 1, folders_.size());
        }
    }

    void WriteVolumeNumbers() {
        TextTable& found = run_.foundDirectoryTable;
        for (std::size_t i = 0; i < folders_.size(); ++i) {
            found.SetCell(i, kFoundFolderFsNumber, NumberText(folders_[i].fsNumber));
        }
        TextTable& table = run_.indexBlockTable;
        TextTable kept(table.ColumnNames());
        for (std::size_t row = 0; row < table.RowCount() && row < blocks_.size(); ++row) {
            if (!blocks_[row].dropped) {
                kept.AppendRow(table.Row(row));
            }
        }
        table = std::move(kept);
    }

    static std::uint64_t SaturatedAdd(std::uint64_t a, std::uint64_t b) {
        return a > std::numeric_limits<std::uint64_t>::max() - b
                   ? std::numeric_limits<std::uint64_t>::max()
                   : a + b;
    }

    RecoveryRun& run_;
    SectorSource& disk_;
    Reporter& reporter_;
    std::stop_token stop_;
    int shownPercent_ = -1;
    std::vector<Folder> folders_;
    std::vector<std::size_t> bySector_;  // folders by record sector
    std::vector<Block> blocks_;          // the index blocks of vcn 0, in table order
    std::unordered_map<std::uint64_t, std::size_t> blocksBySector_;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> blocksByOwner_;
    std::set<std::uint64_t> knownIndexSectors_;
    std::unordered_map<std::uint64_t, bool> readSectors_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> failedVolumes_;
    std::vector<CandidateVolume> volumes_;  // as the rows of run.fileSystemTable
};

}  // namespace

std::size_t AssignMftNumbers(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                             std::stop_token stop) {
    return Assignment(run, disk, reporter, std::move(stop)).Run();
}

}  // namespace lumarest
