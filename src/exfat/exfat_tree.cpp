#include "exfat/exfat_tree.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "core/entry_rows.h"
#include "core/sector_range_scan.h"
#include "core/text_number.h"
#include "exfat/exfat_volume_reader.h"

namespace lumarest {
namespace {

constexpr std::uint64_t kFoldersPerReport = 256;
// Bytes of the heap read at once while looking for lost folders.
constexpr std::uint64_t kScanChunkBytes = 1024 * 1024;
constexpr std::uint8_t kFileEntryInUse = 0x85;
constexpr std::uint8_t kFileEntryDeleted = 0x05;
constexpr std::uint8_t kStreamEntryInUse = 0xC0;
constexpr std::uint8_t kStreamEntryDeleted = 0x40;

constexpr const char* kRootUnreadProblem =
    "The root folder of the exFAT volume could not be read; folders found elsewhere on it are "
    "listed as lost.";
constexpr const char* kFoldersUnreadProblem =
    "Some folders of the exFAT volume could not be read whole; their files may be missing.";

// Absolute sectors of offsets in a directory's bytes read from `clusters`.
class DirectorySectors {
  public:
    DirectorySectors(const ExFatLayout& layout, const ExFatClusters& clusters)
        : layout_(layout), runs_(clusters.runs) {
        std::uint64_t offset = 0;
        for (const ClusterRun& run : runs_) {
            starts_.push_back(offset);
            offset += run.count * layout.ClusterBytes();
        }
    }
    std::uint64_t SectorOf(std::size_t offset) const {
        const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
        const auto index = static_cast<std::size_t>(after - starts_.begin()) - 1;
        return layout_.ClusterSector(runs_[index].first) + (offset - starts_[index]) / kSectorSize;
    }

  private:
    const ExFatLayout& layout_;
    const std::vector<ClusterRun>& runs_;
    std::vector<std::uint64_t> starts_;
};

// A cluster that could be part of a directory: a File entry followed by its stream entry.
bool MayHoldEntrySets(ByteSpan cluster) {
    for (std::size_t at = 0; at + 2 * kExFatEntrySize <= cluster.size(); at += kExFatEntrySize) {
        const std::uint8_t type = cluster[at];
        const std::uint8_t next = cluster[at + kExFatEntrySize];
        if ((type == kFileEntryInUse && next == kStreamEntryInUse) ||
            (type == kFileEntryDeleted && next == kStreamEntryDeleted)) {
            return true;
        }
    }
    return false;
}

class TreeWalk {
  public:
    TreeWalk(SectorSource& disk, const ExFatLayout& layout, Reporter& reporter,
             std::stop_token stop)
        : reader_(disk, layout), layout_(layout), reporter_(reporter), stop_(std::move(stop)) {}

    ExFatTree Run() {
        reporter_.SetStatisticValue(Statistic::DirectoriesFound, "0");
        const ExFatClusters root = Claim(reader_.RootClusters());
        walked_.insert(layout_.rootCluster);
        if (!WalkFrom(kExFatRootFolderId, root)) {
            tree_.problem = kRootUnreadProblem;
        }
        reporter_.SetStatisticValue(Statistic::DirectoriesFound, NumberText(tree_.folders.size()));
        if (!stop_.stop_requested()) {
            ScanHeap();
        }
        if (tree_.problem.empty() && unreadFolders_) {
            tree_.problem = kFoldersUnreadProblem;
        }
        reporter_.SetStatisticValue(Statistic::DirectoriesFound, NumberText(tree_.folders.size()));
        return std::move(tree_);
    }

  private:
    struct Pending {
        std::uint32_t id = 0;
        ExFatClusters clusters;
    };

    // Reads the folder and every folder under it; false when the first could not be read.
    bool WalkFrom(std::uint32_t id, const ExFatClusters& clusters) {
        const bool read = ReadFolder(id, clusters) && clusters.count > 0;
        while (!pending_.empty() && !stop_.stop_requested()) {
            Pending next = std::move(pending_.front());
            pending_.pop_front();
            ReadFolder(next.id, next.clusters);
        }
        pending_.clear();
        return read;
    }

    bool ReadFolder(std::uint32_t id, const ExFatClusters& clusters) {
        const bool whole = reader_.ReadClusters(clusters, bytes_);
        if (!whole) {
            ++unreadFolders_;
        }
        const DirectorySectors sectors(layout_, clusters);
        std::vector<ExFatEntrySet> sets = ParseExFatEntrySets(
            bytes_, [&](std::size_t offset) { return sectors.SectorOf(offset); }, clock_);
        for (ExFatEntrySet& set : sets) {
            if (set.folder) {
                AddFolder(id, std::move(set));
            } else {
                tree_.files.push_back({id, std::move(set)});
            }
        }
        // The window waits for each report: a count every few hundred folders is enough.
        if (++foldersRead_ % kFoldersPerReport == 0) {
            reporter_.SetStatisticValue(Statistic::DirectoriesFound,
                                        NumberText(tree_.folders.size()));
        }
        return whole;
    }

    void AddFolder(std::uint32_t parentId, ExFatEntrySet set) {
        std::uint32_t id = set.firstCluster;
        // A folder starting in another folder's clusters (a deleted one overwritten, or a
        // cross-link) or outside the heap is listed but not read again, under an id of its
        // own so the other folder's files and folders are not shown in it too.
        if (layout_.HoldsCluster(id) && owned_.count(id) == 0 && walked_.insert(id).second) {
            ExFatEntrySet bounded = set;
            bounded.dataLength = std::min(bounded.dataLength, kExFatMaxDirectoryBytes);
            ExFatClusters clusters = Claim(reader_.FileClusters(bounded));
            if (clusters.count > 0) {
                pending_.push_back({id, std::move(clusters)});
            }
        } else {
            id = SpareId(id);
        }
        tree_.folders.push_back({id, parentId, std::move(set)});
    }

    // An id no cluster of the volume has, counting down from the top; the first cluster
    // itself on the rare volume so large that none is left.
    std::uint32_t SpareId(std::uint32_t firstCluster) {
        while (nextSpareId_ >= layout_.ClusterEnd()) {
            const std::uint32_t id = nextSpareId_--;
            if (id != kOrphanFolderId) {
                return id;
            }
        }
        return firstCluster;
    }

    // The clusters up to the first that another folder holds or that lies past the disk, each
    // then held by this folder: no cluster is read as a directory twice, however the entries
    // point at each other.
    ExFatClusters Claim(const ExFatClusters& clusters) {
        const std::uint64_t diskEnd = EndWithinDisk(reader_.Disk(), UINT64_MAX);
        ExFatClusters claimed;
        claimed.complete = clusters.complete;
        for (const ClusterRun& run : clusters.runs) {
            for (std::uint32_t i = 0; i < run.count; ++i) {
                const std::uint32_t cluster = run.first + i;
                if (layout_.ClusterSector(cluster) >= diskEnd || !owned_.insert(cluster).second) {
                    claimed.complete = false;
                    return claimed;
                }
                if (i == 0) {
                    claimed.runs.push_back({cluster, 0});
                }
                ++claimed.runs.back().count;
                ++claimed.count;
            }
        }
        return claimed;
    }

    // Clusters of entry sets no walked folder reached, and the folders they name. What the
    // walk already knows is never a lost folder and is not read again.
    void ScanHeap() {
        const std::uint64_t heapEnd =
            layout_.heapStart + std::uint64_t{layout_.clusterCount} * layout_.sectorsPerCluster;
        const std::uint64_t lastSector =
            std::max(layout_.heapStart, EndWithinDisk(reader_.Disk(), heapEnd)) - 1;
        // One scan for every stretch the walk left: the bar moves through the whole heap.
        HeapScan scan{lastSector, SectorRangeScan(reporter_, {ScanPace::AsRead, lastSector,
                                                              layout_.heapStart})};
        std::uint64_t cluster = kExFatFirstCluster;
        for (const ClusterRun& known : KnownClusters()) {
            ScanClusters(cluster, known.first, scan);
            cluster = std::max<std::uint64_t>(cluster, std::uint64_t{known.first} + known.count);
        }
        ScanClusters(cluster, layout_.ClusterEnd(), scan);
        AddLostFolders(scan.candidates, scan.named);
    }

    struct HeapScan {
        std::uint64_t lastSector = 0;
        SectorRangeScan sectors;
        std::vector<std::uint32_t> candidates{};
        std::unordered_set<std::uint32_t> named{};
    };

    // The walked folders' clusters, and those live files hold that the allocation bitmap
    // marks in use, as sorted runs that may overlap.
    std::vector<ClusterRun> KnownClusters() {
        std::vector<ClusterRun> known;
        for (const std::uint32_t cluster : owned_) {
            known.push_back({cluster, 1});
        }
        for (const ExFatFile& file : tree_.files) {
            if (file.entry.deleted) {
                continue;
            }
            for (const ClusterRun& run : reader_.FileClusters(file.entry).runs) {
                for (std::uint32_t i = 0; i < run.count; ++i) {
                    if (reader_.ClusterInUse(run.first + i) == true) {
                        AddCluster(known, run.first + i);
                    }
                }
            }
        }
        std::sort(known.begin(), known.end(),
                  [](const ClusterRun& a, const ClusterRun& b) { return a.first < b.first; });
        return known;
    }

    static void AddCluster(std::vector<ClusterRun>& runs, std::uint32_t cluster) {
        if (!runs.empty() && std::uint64_t{runs.back().first} + runs.back().count == cluster) {
            ++runs.back().count;
        } else {
            runs.push_back({cluster, 1});
        }
    }

    void ScanClusters(std::uint64_t cluster, std::uint64_t end, HeapScan& scan) {
        if (cluster >= end) {
            return;
        }
        const std::uint64_t clusterBytes = layout_.ClusterBytes();
        const std::uint64_t perChunk = std::max<std::uint64_t>(1, kScanChunkBytes / clusterBytes);
        const ScanRange range{
            .first = SectorOfCluster(cluster),
            .end = std::min(SectorOfCluster(end), scan.lastSector + 1),
            .chunkSectors = static_cast<std::uint32_t>(perChunk * layout_.sectorsPerCluster)};
        // Clusters the disk ends in are not read whole: they are not looked at.
        const auto scanChunk = [&](const ScanChunk& chunk) {
            for (std::uint64_t at = 0; at < chunk.bytes.size(); at += clusterBytes) {
                const ByteSpan bytes = SliceOrEmpty(chunk.bytes, at, clusterBytes);
                if (!bytes.empty() && MayHoldEntrySets(bytes)) {
                    const auto number = static_cast<std::uint32_t>(ClusterOfSector(chunk.first) +
                                                                   at / clusterBytes);
                    NoteCandidate(number, bytes, scan.candidates, scan.named);
                }
            }
            return std::uint64_t{chunk.sectors};
        };
        scan.sectors.Run(
            range,
            [this](std::uint64_t first, std::uint32_t count, std::uint8_t* into) {
                reader_.ReadStretch(first, count, into);
            },
            scanChunk, stop_);
    }

    // Cluster numbers past 32 bits too: the heap's end is one.
    std::uint64_t SectorOfCluster(std::uint64_t cluster) const {
        return layout_.heapStart + (cluster - kExFatFirstCluster) * layout_.sectorsPerCluster;
    }
    std::uint64_t ClusterOfSector(std::uint64_t sector) const {
        return kExFatFirstCluster + (sector - layout_.heapStart) / layout_.sectorsPerCluster;
    }

    void NoteCandidate(std::uint32_t cluster, ByteSpan bytes,
                       std::vector<std::uint32_t>& candidates,
                       std::unordered_set<std::uint32_t>& named) {
        const std::vector<ExFatEntrySet> sets = ParseExFatEntrySets(
            bytes, [](std::size_t) { return std::uint64_t{0}; }, clock_);
        if (std::none_of(sets.begin(), sets.end(),
                         [](const ExFatEntrySet& set) { return set.checksumGood; })) {
            return;
        }
        candidates.push_back(cluster);
        for (const ExFatEntrySet& set : sets) {
            if (set.folder && set.checksumGood) {
                named.insert(set.firstCluster);
            }
        }
    }

    // Runs of candidate clusters become lost folders: first those no other candidate names as
    // a folder, then any left unreached (folders naming each other in a loop).
    void AddLostFolders(const std::vector<std::uint32_t>& candidates,
                        const std::unordered_set<std::uint32_t>& named) {
        std::vector<ExFatClusters> groups;
        for (const std::uint32_t cluster : candidates) {
            const bool follows =
                !groups.empty() &&
                groups.back().runs.back().first + groups.back().runs.back().count == cluster &&
                named.count(cluster) == 0;
            if (follows) {
                ++groups.back().runs.back().count;
                ++groups.back().count;
            } else {
                groups.push_back({{{cluster, 1}}, 1, true});
            }
        }
        for (const bool namedToo : {false, true}) {
            for (const ExFatClusters& group : groups) {
                const std::uint32_t first = group.runs.front().first;
                if (stop_.stop_requested() || (!namedToo && named.count(first) != 0) ||
                    owned_.count(first) != 0 || !walked_.insert(first).second) {
                    continue;
                }
                ExFatFolder lost;
                lost.id = first;
                lost.parentId = kOrphanFolderId;
                lost.entry.folder = true;
                lost.entry.firstCluster = first;
                lost.entry.entrySector = layout_.ClusterSector(first);
                tree_.folders.push_back(std::move(lost));
                WalkFrom(first, Claim(group));
            }
        }
    }

    ExFatVolumeReader reader_;
    const ExFatLayout& layout_;
    Reporter& reporter_;
    std::stop_token stop_;
    ExFatTree tree_;
    std::deque<Pending> pending_;
    std::unordered_set<std::uint32_t> walked_;
    std::unordered_set<std::uint32_t> owned_;
    std::vector<std::uint8_t> bytes_;
    std::uint64_t unreadFolders_ = 0;
    std::uint64_t foldersRead_ = 0;
    std::uint32_t nextSpareId_ = kExFatChainEnd - 1;
    LocalClock clock_;
};

}  // namespace

ExFatTree WalkExFatVolume(SectorSource& disk, const ExFatLayout& layout, Reporter& reporter,
                          std::stop_token stop) {
    return TreeWalk(disk, layout, reporter, std::move(stop)).Run();
}

}  // namespace lumarest
