// Grouping the Advance FAT search's directory starts into volumes: by the boot sectors found,
// then by inferring a volume's cluster size and cluster-0 start from pairs of directories.

#include <algorithm>
#include <array>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/partition_list.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/advance_fat_search.h"
#include "fat/advance_fat_tables.h"

namespace lumarest {
namespace {

constexpr const char* kPhase1Label = "Analyzing The Data For File Systems Phase 1 \\ 2   ...";
constexpr const char* kPhase2Label = "Analyzing The Data For File Systems Phase 2 \\ 2   ...";
constexpr const char* kStartText = "0  % Completed ";
constexpr const char* kCompletedText = "Completed ";
constexpr int kFullPercent = 100;
// Sectors per cluster a pair of directories may imply.
constexpr std::array<std::uint32_t, 8> kClusterSizes = {1, 2, 4, 8, 16, 32, 64, 128};
// A FAT16 volume numbers no cluster above this.
constexpr std::uint64_t kFat16HighestCluster = 65536;
// How many directories are examined between looks at the stop request.
constexpr std::size_t kStopCheckInterval = 256;

// Moves the main bar by the directories assigned, redrawing it only when its figure changes.
class AnalysisProgress {
  public:
    AnalysisProgress(Reporter& reporter, std::size_t total) : reporter_(reporter), total_(total) {}

    void Step() {
        ++step_;
        const int percent = static_cast<int>(
            std::min<std::uint64_t>(std::uint64_t{step_} * kFullPercent / total_, kFullPercent));
        if (percent != shown_) {
            shown_ = percent;
            reporter_.SetProgress(ProgressBar::MainScan, percent, kCompletedText);
        }
    }

  private:
    Reporter& reporter_;
    std::size_t total_;
    std::size_t step_ = 0;
    int shown_ = 0;
};

struct Analysis {
    std::vector<FoundBootSector> bootSectors;
    std::vector<FoundDirectory> directories;
    std::vector<FoundBootSector> volumes;
};

// Phase 1: a directory belongs to a boot sector's volume when it lies inside the volume and at
// the sector its own cluster number gives.
void GroupByBootSectors(Analysis& a, AnalysisProgress& progress, std::stop_token stop) {
    std::vector<FoundDirectory>& dirs = a.directories;
    std::vector<std::uint32_t> bySector(dirs.size());
    std::iota(bySector.begin(), bySector.end(), 0U);
    std::stable_sort(bySector.begin(), bySector.end(), [&](std::uint32_t x, std::uint32_t y) {
        return dirs[x].sector < dirs[y].sector;
    });
    for (const FoundBootSector& b : a.bootSectors) {
        if (stop.stop_requested()) {
            return;
        }
        const auto lo = std::lower_bound(
            bySector.begin(), bySector.end(), b.cluster0Start,
            [&](std::uint32_t row, std::uint64_t sector) { return dirs[row].sector < sector; });
        const auto hi = std::upper_bound(
            lo, bySector.end(), b.totalSectors,
            [&](std::uint64_t sector, std::uint32_t row) { return sector < dirs[row].sector; });
        std::int64_t volume = kUngrouped;
        for (auto it = lo; it < hi; ++it) {
            FoundDirectory& d = dirs[*it];
            if (d.fileSystem != kUngrouped ||
                d.sector != std::uint64_t{d.self} * b.spc + b.cluster0Start) {
                continue;
            }
            if (volume == kUngrouped) {
                a.volumes.push_back(b);
                volume = static_cast<std::int64_t>(a.volumes.size());
            }
            d.fileSystem = volume;
            progress.Step();
        }
    }
}

// The ungrouped directories of phase 2, indexed for each cluster size o by where cluster 0
// would lie if o were the volume's: sector - self x o. Two directories of one volume share it.
class Cluster0Index {
  public:
    explicit Cluster0Index(const std::vector<FoundDirectory>& dirs) {
        for (std::size_t row = 0; row < dirs.size(); ++row) {
            if (dirs[row].fileSystem != kUngrouped) {
                continue;
            }
            for (std::size_t t = 0; t < kClusterSizes.size(); ++t) {
                byStart_[t][Cluster0Of(dirs[row], kClusterSizes[t])].push_back(
                    static_cast<std::uint32_t>(row));
            }
        }
    }

    static std::int64_t Cluster0Of(const FoundDirectory& d, std::uint32_t o) {
        return static_cast<std::int64_t>(d.sector) - std::int64_t{d.self} * o;
    }

    // Rows (in table order) whose cluster 0 lies at `start` for cluster size number t.
    std::vector<std::uint32_t>* Rows(std::size_t t, std::int64_t start) {
        const auto it = byStart_[t].find(start);
        return it == byStart_[t].end() ? nullptr : &it->second;
    }

    void Forget(std::size_t t, std::int64_t start) { byStart_[t].erase(start); }

  private:
    std::array<std::unordered_map<std::int64_t, std::vector<std::uint32_t>>, kClusterSizes.size()>
        byStart_;
};

struct Partner {
    std::size_t row = 0;
    std::size_t sizeIndex = 0;
    std::int64_t cluster0Start = 0;
};

// The first later ungrouped directory that, with directory j, implies a cluster size of 1 to
// 128 sectors and a cluster 0 after sector 0. A partner shares j's cluster-0 start for exactly
// one size, so each size's index is looked up once.
bool FindPartner(const std::vector<FoundDirectory>& dirs, std::size_t j, Cluster0Index& index,
                 Partner& found) {
    const std::uint64_t l = dirs[j].self;
    const std::uint64_t m = dirs[j].sector;
    bool any = false;
    for (std::size_t t = 0; t < kClusterSizes.size(); ++t) {
        const std::uint64_t o = kClusterSizes[t];
        if (m <= l * o) {
            continue;
        }
        const auto c0 = static_cast<std::int64_t>(m - l * o);
        const std::vector<std::uint32_t>* rows = index.Rows(t, c0);
        if (rows == nullptr) {
            continue;
        }
        const std::size_t limit = any ? found.row : dirs.size();
        for (auto it = std::upper_bound(rows->begin(), rows->end(), j);
             it != rows->end() && *it < limit; ++it) {
            const FoundDirectory& k = dirs[*it];
            const std::uint64_t h = k.self;
            if (k.fileSystem == kUngrouped && h > l && h < m && h < k.sector) {
                found = Partner{*it, t, c0};
                any = true;
                break;
            }
        }
    }
    return any;
}

// Phase 2: every ungrouped directory, in order, either starts a volume with its first partner
// (and every other directory that lies where that volume puts its cluster) or fits none.
void GroupByInference(Analysis& a, const std::string& selectedFs, AnalysisProgress& progress,
                      std::stop_token stop) {
    std::vector<FoundDirectory>& dirs = a.directories;
    Cluster0Index index(dirs);
    const std::string fat32(FileSystemName(FileSystem::Fat32));
    for (std::size_t j = 0; j < dirs.size(); ++j) {
        if (j % kStopCheckInterval == 0 && stop.stop_requested()) {
            return;
        }
        if (dirs[j].fileSystem != kUngrouped) {
            continue;
        }
        Partner partner;
        if (!FindPartner(dirs, j, index, partner)) {
            dirs[j].fileSystem = kFitsNoVolume;
            progress.Step();
            continue;
        }
        const std::uint32_t o = kClusterSizes[partner.sizeIndex];
        FoundBootSector volume;
        volume.inferred = true;
        volume.spc = o;
        volume.cluster0Start = static_cast<std::uint64_t>(partner.cluster0Start);
        volume.partType = selectedFs;
        a.volumes.push_back(volume);
        const auto number = static_cast<std::int64_t>(a.volumes.size());
        dirs[j].fileSystem = number;
        dirs[partner.row].fileSystem = number;
        std::uint32_t highest = dirs[partner.row].self;
        for (const std::uint32_t row : *index.Rows(partner.sizeIndex, partner.cluster0Start)) {
            if (dirs[row].fileSystem != kUngrouped) {
                continue;
            }
            dirs[row].fileSystem = number;
            highest = std::max(highest, dirs[row].self);
            progress.Step();
        }
        index.Forget(partner.sizeIndex, partner.cluster0Start);
        if (selectedFs != fat32 && highest > kFat16HighestCluster) {
            a.volumes.back().partType = fat32;
        }
    }
}

void StoreAssignments(TextTable& table, const std::vector<FoundDirectory>& before,
                      const std::vector<FoundDirectory>& after) {
    for (std::size_t row = 0; row < after.size(); ++row) {
        if (after[row].fileSystem != before[row].fileSystem) {
            table.SetCellNumber(row, kDirFileSystem, after[row].fileSystem);
        }
    }
}

}  // namespace

std::size_t AnalyzeFoundVolumes(RecoveryRun& run, Reporter& reporter, std::stop_token stop) {
    reporter.SetPhaseLabel(kPhase1Label);
    reporter.SetProgress(ProgressBar::MainScan, 0, kStartText);
    run.volumesFound = 0;
    Analysis a;
    a.bootSectors = ReadBootSectorRows(run.bootSectorTable);
    a.directories = ReadDirectoryRows(run.foundDirectoryTable);
    const std::vector<FoundDirectory> before = a.directories;
    AnalysisProgress progress(reporter, std::max<std::size_t>(a.directories.size(), 1));
    GroupByBootSectors(a, progress, stop);
    reporter.SetPhaseLabel(kPhase2Label);
    GroupByInference(a, run.selectedPartition.fsName, progress, stop);
    StoreAssignments(run.foundDirectoryTable, before, a.directories);
    AppendBootSectorRows(run.fileSystemTable, a.volumes);
    run.volumesFound = a.volumes.size();
    return run.volumesFound;
}

}  // namespace lumarest
