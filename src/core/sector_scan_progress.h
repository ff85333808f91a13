#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace lumarest {

class Reporter;

inline constexpr const char* kBootSectorsFoundCaption = "Boot Sectors Found\t\t:";

// What a scan of every sector of a range shows while it runs: the directories and boot
// sectors found so far, "Sectors  N of M" and the main bar, sparing the window a report per
// sector. Shared by the Advance searches that read a whole range.
class SectorScanProgress {
  public:
    SectorScanProgress(Reporter& reporter, std::uint64_t endSector);

    void AfterChunk(std::uint64_t chunkStart, std::size_t directories, std::size_t bootSectors,
                    bool last);
    void ShowCounts(std::size_t directories, std::size_t bootSectors);

  private:
    int PercentOf(std::uint64_t sector) const;

    Reporter& reporter_;
    std::uint64_t endSector_;
    std::size_t shownDirectories_ = 0;
    std::size_t shownBootSectors_ = 0;
    int shownPercent_ = -1;
    std::chrono::steady_clock::time_point shownAt_{};
};

}  // namespace lumarest
