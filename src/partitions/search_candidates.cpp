#include "partitions/search_candidates.h"

#include <algorithm>
#include <limits>

#include "partitions/boot_sector.h"
#include "partitions/partition_search.h"

namespace lumarest {

namespace {

std::uint64_t EndOf(std::uint64_t start, std::uint64_t sectors) {
    return sectors > std::numeric_limits<std::uint64_t>::max() - start
               ? std::numeric_limits<std::uint64_t>::max()
               : start + sectors;
}

PartitionRecord Found(std::uint64_t sector, const RecognisedVolume& volume,
                      PartitionSource source) {
    PartitionRecord record;
    record.startSector = sector;
    record.endSector = EndOf(sector, volume.sectors);
    record.fileSystem = volume.fileSystem;
    record.source = source;
    return record;
}

// A product of geometry numbers held at the largest count rather than wrapped: such a cylinder
// starts past any disk's end.
std::uint64_t Times(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > std::numeric_limits<std::uint64_t>::max() / b
               ? std::numeric_limits<std::uint64_t>::max()
               : a * b;
}

}  // namespace

CylinderCandidates::CylinderCandidates(SectorSource& disk, const SearchGeometry& geometry)
    : disk_(disk), totalSectors_(disk.TotalSectors()) {
    const std::uint64_t perUnit = SectorsPerUnit(disk.LogicalSectorBytes());
    cylinderSectors_ = Times(std::uint64_t{geometry.heads} * geometry.sectorsPerTrack, perUnit);
    trackSectors_ = std::uint64_t{geometry.sectorsPerTrack} * perUnit;
    // Only cylinders that start inside the disk are read; absurd geometry ends there.
    if (totalSectors_ != 0 && cylinderSectors_ != 0) {
        const std::uint64_t onDisk =
            totalSectors_ / cylinderSectors_ + (totalSectors_ % cylinderSectors_ != 0 ? 1 : 0);
        cylinders_ = std::min<std::uint64_t>(geometry.cylinders, onDisk);
    }
}

std::optional<PartitionRecord> CylinderCandidates::Candidate(std::uint64_t n) {
    const std::uint64_t first = n * cylinderSectors_;
    for (const std::uint64_t sector : {first + trackSectors_, first}) {
        if (sector >= totalSectors_) {
            continue;
        }
        disk_.ReadSectors(sector, 1, bytes_.data());
        if (sector % kAlignedStepSectors == 0) {
            alignedRead_.insert(sector);
        }
        if (!HasBootSignature(bytes_)) {
            continue;
        }
        const auto volume = RecogniseBootSector(bytes_);
        if (!volume) {
            return std::nullopt;
        }
        return Found(sector, *volume, PartitionSource::CylinderSearch);
    }
    return std::nullopt;
}

bool CylinderCandidates::Read(std::uint64_t sector) const {
    return alignedRead_.contains(sector);
}

AlignedCandidates::AlignedCandidates(SectorSource& disk, const CylinderCandidates& cylinders)
    : disk_(disk), cylinders_(cylinders) {
    const std::uint64_t total = disk.TotalSectors();
    boundaries_ = total / kAlignedStepSectors + (total % kAlignedStepSectors != 0 ? 1 : 0);
}

std::optional<PartitionRecord> AlignedCandidates::Candidate(std::uint64_t k) {
    const std::uint64_t sector = k * kAlignedStepSectors;
    if (cylinders_.Read(sector)) {
        return std::nullopt;
    }
    disk_.ReadSectors(sector, 1, bytes_.data());
    const auto volume = RecogniseBootSector(bytes_);
    if (!volume) {
        return std::nullopt;
    }
    return Found(sector, *volume, PartitionSource::AlignedSearch);
}

}  // namespace lumarest
