#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "partitions/boot_sector.h"
#include "partitions/volume_params.h"

namespace lumarest {

namespace {

// The partition is read this many sectors at a time; the tests still go sector by sector.
constexpr std::uint32_t kScanChunkSectors = 256;
// FAT16 shows its progress after this many directory-head tests.
constexpr std::uint32_t kFat16ProgressEvery = 500;
constexpr std::uint32_t kNoAnchorCluster = 0xFFFFFFFF;
constexpr std::uint32_t kFat16RootSectors = 32;
constexpr std::uint32_t kFat32RootCluster = 2;
// Above this a sector gap per cluster gap is no cluster size at all.
constexpr std::uint64_t kLargestClusterSectors = std::numeric_limits<std::uint32_t>::max();
constexpr const char* kFat16ProgressText = "Completed ";
constexpr std::size_t kFat32ProgressLeadingSpaces = 94;
constexpr std::size_t kFat32ProgressTrailingSpaces = 90;

// Where each FAT kind looks for its first FAT, and what it assumes when it finds none.
struct ReservedSearch {
    std::uint32_t firstOffset;
    std::uint32_t lastOffset;
    std::uint32_t fallback;
};
constexpr ReservedSearch kFat16Reserved{0, 9, 1};
constexpr ReservedSearch kFat32Reserved{30, 59, 32};

using Sector = std::array<std::uint8_t, kSectorSize>;

std::uint32_t FindReservedSectors(SectorSource& disk, std::uint64_t start,
                                  const ReservedSearch& search) {
    std::uint32_t reserved = search.fallback;
    for (std::uint32_t offset = search.firstOffset; offset <= search.lastOffset; ++offset) {
        Sector bytes{};
        disk.ReadSectors(start + offset, 1, bytes.data());
        if (StartsLikeFat(bytes)) {
            reserved = offset;
        }
    }
    return reserved;
}

struct DirectoryHead {
    std::uint64_t sector = 0;
    std::uint32_t cluster = 0;
};

class LayoutCalculation {
  public:
    LayoutCalculation(RecoveryRun& run, SectorSource& disk, Reporter& reporter, bool fat16,
                      std::stop_token stop)
        : run_(run),
          stop_(std::move(stop)),
          disk_(disk),
          reporter_(reporter),
          fat16_(fat16),
          start_(static_cast<std::uint64_t>(run.selectedPartition.startSector)),
          end_(EndWithinDisk(disk, static_cast<std::uint64_t>(std::max<std::int64_t>(
                                       run.selectedPartition.endSector, 0)))) {}

    int Run() {
        VolumeParams& params = run_.volumeParams;
        reserved_ = FindReservedSectors(disk_, start_, fat16_ ? kFat16Reserved : kFat32Reserved);
        params.reservedSectors = reserved_;
        if (fat16_) {
            params.rootSectors = kFat16RootSectors;
        } else {
            params.rootSectors = 0;
            params.rootStart = kFat32RootCluster;
        }
        return Scan() ? 1 : 0;
    }

  private:
    bool Scan() {
        std::vector<std::uint8_t> chunk(std::size_t{kScanChunkSectors} * kSectorSize);
        const std::stop_token& stop = stop_;
        for (std::uint64_t first = start_; first < end_; first += kScanChunkSectors) {
            if (stop.stop_requested()) {
                return false;
            }
            const auto count = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(kScanChunkSectors, end_ - first));
            std::fill(chunk.begin(), chunk.end(), 0);
            disk_.ReadSectors(first, count, chunk.data());
            for (std::uint32_t i = 0; i < count; ++i) {
                const ByteSpan sector(chunk.data() + std::size_t{i} * kSectorSize, kSectorSize);
                if (TestSector(first + i, sector)) {
                    return true;
                }
            }
            if (!fat16_) {
                ShowFat32Progress(first + count - 1);
            }
        }
        return false;
    }

    // True when the sector completes the layout.
    bool TestSector(std::uint64_t sector, ByteSpan bytes) {
        if (fat16_ && ++tests_ % kFat16ProgressEvery == 0) {
            ShowFat16Progress(sector);
        }
        if (!IsDirectoryHead(bytes)) {
            return false;
        }
        if (!anchor_) {
            const std::uint32_t cluster = EntryFirstCluster32(bytes, 0);
            if (cluster >= 2 && cluster < kNoAnchorCluster) {
                anchor_ = DirectoryHead{sector, cluster};
            }
            return false;
        }
        const std::uint32_t cluster =
            fat16_ ? EntryFirstCluster16(bytes, 0) : EntryFirstCluster32(bytes, 0);
        return TryCandidate(DirectoryHead{sector, cluster});
    }

    bool TryCandidate(const DirectoryHead& second) {
        const DirectoryHead& first = *anchor_;
        if (!fat16_ && second.cluster == kNoAnchorCluster) {
            return false;
        }
        if (second.cluster == first.cluster) {
            return false;
        }
        const std::uint64_t sectorGap = second.sector - first.sector;
        const std::uint32_t clusterGap = second.cluster - first.cluster;
        if (sectorGap % clusterGap != 0 || second.cluster >= second.sector ||
            second.cluster >= first.sector) {
            return false;
        }
        const std::uint64_t gapPerCluster = sectorGap / clusterGap;
        if (gapPerCluster > kLargestClusterSectors ||
            !IsValidSectorsPerCluster(static_cast<std::uint32_t>(gapPerCluster))) {
            return false;
        }
        const auto sectorsPerCluster = static_cast<std::uint32_t>(gapPerCluster);
        // A pair that would put the anchor inside the reserved area, the root directory or the
        // FATs of its own layout does not describe this volume.
        const std::uint64_t rootTerm = fat16_ ? kFat16RootSectors : 0;
        const std::uint64_t beforeFats =
            start_ + reserved_ + rootTerm + std::uint64_t{first.cluster - 2} * sectorsPerCluster;
        if (first.sector < beforeFats + kFatCount) {
            return false;
        }
        Fill(first, sectorsPerCluster,
             static_cast<std::uint32_t>((first.sector - beforeFats) / kFatCount));
        return true;
    }

    void Fill(const DirectoryHead& first, std::uint32_t sectorsPerCluster,
              std::uint32_t sectorsPerFat) {
        VolumeParams& params = run_.volumeParams;
        params.sectorsPerCluster = sectorsPerCluster;
        params.cluster0Start = first.sector - std::uint64_t{first.cluster} * sectorsPerCluster;
        params.sectorsPerFat = sectorsPerFat;
        params.firstFat = start_ + reserved_;
        params.secondFat = params.firstFat + sectorsPerFat;
        if (fat16_) {
            params.rootStart = params.secondFat + sectorsPerFat;
        }
    }

    int PercentOf(std::uint64_t sector) const {
        if (end_ == 0) {
            return 100;
        }
        return static_cast<int>(std::min<std::uint64_t>(100, sector * 100 / end_));
    }

    void ShowFat16Progress(std::uint64_t sector) {
        reporter_.SetProgress(ProgressBar::MainScan, PercentOf(sector), kFat16ProgressText);
    }

    void ShowFat32Progress(std::uint64_t sector) {
        const std::string text = std::string(kFat32ProgressLeadingSpaces, ' ') +
                                 std::to_string(sector) + " / " + std::to_string(end_) +
                                 std::string(kFat32ProgressTrailingSpaces, ' ');
        reporter_.SetProgress(ProgressBar::MainScan, PercentOf(sector), text);
    }

    RecoveryRun& run_;
    std::stop_token stop_;
    SectorSource& disk_;
    Reporter& reporter_;
    bool fat16_;
    std::uint64_t start_;
    std::uint64_t end_;
    std::uint32_t reserved_ = 0;
    std::uint64_t tests_ = 0;
    std::optional<DirectoryHead> anchor_;
};

}  // namespace

int CalculateVolumeParams(RecoveryRun& run, SectorSource& disk, Reporter& reporter,
                          std::stop_token stop) {
    reporter.SetPhaseLabel(kCalculatingCaption);
    reporter.ShowProgress(ProgressBar::MainScan, true);
    const std::optional<FileSystem> fileSystem = run.selectedPartition.fileSystem;
    if (!IsFat(fileSystem)) {
        return 0;
    }
    return LayoutCalculation(run, disk, reporter, fileSystem == FileSystem::Fat16, stop).Run();
}

}  // namespace lumarest
