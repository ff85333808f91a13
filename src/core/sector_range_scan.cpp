#include "core/sector_range_scan.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/reporter.h"
#include "core/sector_source.h"

namespace lumarest {
namespace {

constexpr const char* kSectorsText = "Sectors  ";
constexpr const char* kOfText = " of ";
constexpr const char* kCompletedText = "Completed ";
constexpr const char* kNoneFound = "0";
constexpr int kFullPercent = 100;
// A timed scan redraws at most this often, and whenever the bar moves.
constexpr auto kReportInterval = std::chrono::milliseconds(100);

}  // namespace

std::string SectorsText(std::uint64_t sector, std::uint64_t shownEnd) {
    return kSectorsText + std::to_string(sector) + kOfText + std::to_string(shownEnd);
}

SectorRangeScan::SectorRangeScan(Reporter& reporter, ScanShow show)
    : reporter_(reporter), show_(std::move(show)) {}

void SectorRangeScan::ShowStart(std::uint64_t sector) {
    reporter_.SetStatisticValue(Statistic::DirectoriesFound, kNoneFound);
    reporter_.SetStatisticValue(Statistic::BootSectorsFound, kNoneFound);
    ShowSectors(sector);
}

std::uint64_t SectorRangeScan::Run(const ScanRange& range, SectorSource& disk,
                                   const ChunkVisitor& visit, std::stop_token stop) {
    const ChunkReader read = [&disk](std::uint64_t first, std::uint32_t count, std::uint8_t* into) {
        disk.ReadSectors(first, count, into);
    };
    const ReadAhead readAhead = [&disk](std::uint64_t first, std::uint32_t count) {
        disk.WillRead(first, count);
    };
    return RunChunks(range, read, readAhead, visit, stop);
}

std::uint64_t SectorRangeScan::Run(const ScanRange& range, const ChunkReader& read,
                                   const ChunkVisitor& visit, std::stop_token stop) {
    return RunChunks(range, read, {}, visit, stop);
}

std::uint64_t SectorRangeScan::RunChunks(const ScanRange& range, const ChunkReader& read,
                                         const ReadAhead& readAhead, const ChunkVisitor& visit,
                                         const std::stop_token& stop) {
    const std::uint64_t readEnd = range.readEnd.value_or(range.end);
    std::uint64_t sector = range.first;
    while (sector < range.end && !stop.stop_requested()) {
        if (show_.pace == ScanPace::AsRead) {
            ShowSectors(sector);
        }
        std::uint64_t done =
            range.unreadableAt ? std::min(range.unreadableAt(sector), range.end - sector) : 0;
        if (done == 0) {
            const std::uint64_t readable = readEnd > sector ? readEnd - sector : 0;
            const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                std::uint64_t{range.chunkSectors} + range.tailSectors, readable));
            if (count == 0) {
                break;
            }
            const ByteSpan bytes = ReadChunk(sector, count, read);
            // The source fetches what follows while this chunk is looked at.
            if (readAhead && range.readAheadSectors > 0 && sector + count < range.end) {
                readAhead(sector + count, range.readAheadSectors);
            }
            const auto sectors = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(range.chunkSectors, range.end - sector));
            done = visit({sector, sectors, bytes});
            if (done < sectors) {
                return sector + done;
            }
        }
        // The last chunks a sector number can address end the scan rather than wrap.
        const std::uint64_t next = done > std::numeric_limits<std::uint64_t>::max() - sector
                                       ? std::numeric_limits<std::uint64_t>::max()
                                       : sector + done;
        AfterChunk(sector, std::min(next, range.end), next >= range.end);
        sector = next;
    }
    return std::min(sector, std::max(range.first, range.end));
}

// The buffer is kept from chunk to chunk and zeroed first: a sector that cannot be read
// must not show what an earlier chunk held there.
ByteSpan SectorRangeScan::ReadChunk(std::uint64_t first, std::uint32_t count,
                                    const ChunkReader& read) {
    const std::size_t bytes = SectorsToBytes(count);
    if (buffer_.size() < bytes) {
        buffer_.resize(bytes);
    }
    std::fill_n(buffer_.begin(), bytes, 0);
    read(first, count, buffer_.data());
    return ByteSpan(buffer_.data(), bytes);
}

void SectorRangeScan::AfterChunk(std::uint64_t first, std::uint64_t after, bool last) {
    switch (show_.pace) {
        case ScanPace::AsRead:
            ShowBar(PercentAt(first));
            return;
        case ScanPace::WhenBarMoves:
            if (PercentAt(after) != shownPercent_) {
                ShowDone(after);
            }
            return;
        case ScanPace::EveryChunk:
            ShowCounts();
            ShowSectors(after);
            shownPercent_ = PercentAt(after);
            reporter_.SetProgress(ProgressBar::MainScan, shownPercent_, kCompletedText);
            return;
        case ScanPace::Timed: {
            const int percent = PercentAt(first);
            const auto now = std::chrono::steady_clock::now();
            if (!last && percent == shownPercent_ && now - shownAt_ < kReportInterval) {
                return;
            }
            shownAt_ = now;
            ShowCounts();
            ShowSectors(first);
            ShowBar(percent);
            return;
        }
    }
}

void SectorRangeScan::ShowDone(std::uint64_t sector) {
    ShowSectors(sector);
    ShowCounts();
    shownPercent_ = PercentAt(sector);
    reporter_.SetProgress(ProgressBar::MainScan, shownPercent_, kCompletedText);
}

void SectorRangeScan::ShowSectors(std::uint64_t sector) {
    reporter_.SetStatisticValue(Statistic::SectorProgress, SectorsText(sector, show_.shownEnd));
}

void SectorRangeScan::ShowCounts() {
    if (show_.showCounts) {
        show_.showCounts();
    }
}

// Drawn only when it moves.
void SectorRangeScan::ShowBar(int percent) {
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        reporter_.SetProgress(ProgressBar::MainScan, percent, kCompletedText);
    }
}

int SectorRangeScan::PercentAt(std::uint64_t sector) const {
    if (show_.shownEnd <= show_.barFrom) {
        return kFullPercent;
    }
    const std::uint64_t done = sector > show_.barFrom ? sector - show_.barFrom : 0;
    // Wide enough for any sector number times a hundred.
    const unsigned __int128 percent =
        static_cast<unsigned __int128>(done) * kFullPercent / (show_.shownEnd - show_.barFrom);
    return percent > kFullPercent ? kFullPercent : static_cast<int>(percent);
}

}  // namespace lumarest
