#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>

#include "core/partition_list.h"
#include "core/sector_source.h"

namespace lumarest {

struct SearchGeometry;

// Partitioning tools of today start volumes on 1 MiB boundaries: every this many engine sectors.
inline constexpr std::uint64_t kAlignedStepSectors = (std::uint64_t{1} << 20) / kSectorSize;

// The cylinder pass: one track into each cylinder, then its first sector when that one has no
// boot signature. The geometry counts in the disk's own sectors.
class CylinderCandidates {
  public:
    CylinderCandidates(SectorSource& disk, const SearchGeometry& geometry);

    std::uint64_t Count() const { return cylinders_; }
    // The boot sector of cylinder `n`'s candidates, with where it lies.
    std::optional<PartitionRecord> Candidate(std::uint64_t n);
    // Whether this pass has read `sector` already (kept for 1 MiB boundaries only).
    bool Read(std::uint64_t sector) const;

  private:
    SectorSource& disk_;
    std::uint64_t totalSectors_;
    std::uint64_t cylinderSectors_;
    std::uint64_t trackSectors_;
    std::uint64_t cylinders_ = 0;
    std::set<std::uint64_t> alignedRead_;
    std::array<std::uint8_t, kSectorSize> bytes_{};
};

// The aligned pass: each 1 MiB boundary of the disk, in ascending order, that the cylinder pass
// did not read. A sector is tested once, whichever pass reaches it.
class AlignedCandidates {
  public:
    AlignedCandidates(SectorSource& disk, const CylinderCandidates& cylinders);

    std::uint64_t Count() const { return boundaries_; }
    // The boot sector on boundary `k`, with where it lies.
    std::optional<PartitionRecord> Candidate(std::uint64_t k);

  private:
    SectorSource& disk_;
    const CylinderCandidates& cylinders_;
    std::uint64_t boundaries_ = 0;
    std::array<std::uint8_t, kSectorSize> bytes_{};
};

}  // namespace lumarest
