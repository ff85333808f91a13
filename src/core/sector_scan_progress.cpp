#include "core/sector_scan_progress.h"

#include <algorithm>
#include <string>

#include "core/reporter.h"
#include "core/text_number.h"

namespace lumarest {
namespace {

constexpr const char* kSectorsText = "Sectors  ";
constexpr const char* kOfText = " of ";
constexpr const char* kCompletedText = "Completed ";
constexpr int kFullPercent = 100;
// The window waits for every report, so counters and the bar are redrawn at most this often
// (and whenever the shown percentage changes).
constexpr auto kReportInterval = std::chrono::milliseconds(100);

std::string SectorsText(std::uint64_t sector, std::uint64_t endSector) {
    return kSectorsText + std::to_string(sector) + kOfText + std::to_string(endSector);
}

}  // namespace

SectorScanProgress::SectorScanProgress(Reporter& reporter, std::uint64_t endSector)
    : reporter_(reporter), endSector_(endSector) {
    reporter_.SetStatisticCaption(Statistic::BootSectorsFound, kBootSectorsFoundCaption);
    reporter_.SetStatisticValue(Statistic::DirectoriesFound, "0");
    reporter_.SetStatisticValue(Statistic::BootSectorsFound, "0");
    reporter_.SetStatisticValue(Statistic::SectorProgress, SectorsText(0, endSector_));
}

void SectorScanProgress::AfterChunk(std::uint64_t chunkStart, std::size_t directories,
                                    std::size_t bootSectors, bool last) {
    const int percent = PercentOf(chunkStart);
    const auto now = std::chrono::steady_clock::now();
    if (!last && percent == shownPercent_ && now - shownAt_ < kReportInterval) {
        return;
    }
    shownAt_ = now;
    ShowCounts(directories, bootSectors);
    reporter_.SetStatisticValue(Statistic::SectorProgress, SectorsText(chunkStart, endSector_));
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        reporter_.SetProgress(ProgressBar::MainScan, percent, kCompletedText);
    }
}

void SectorScanProgress::ShowCounts(std::size_t directories, std::size_t bootSectors) {
    if (directories != shownDirectories_) {
        shownDirectories_ = directories;
        reporter_.SetStatisticValue(Statistic::DirectoriesFound, NumberText(directories));
    }
    if (bootSectors != shownBootSectors_) {
        shownBootSectors_ = bootSectors;
        reporter_.SetStatisticValue(Statistic::BootSectorsFound, NumberText(bootSectors));
    }
}

int SectorScanProgress::PercentOf(std::uint64_t sector) const {
    return endSector_ == 0 ? kFullPercent
                           : static_cast<int>(std::min<std::uint64_t>(
                                 sector * kFullPercent / endSector_, kFullPercent));
}

}  // namespace lumarest
