#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

class Reporter;
class SectorSource;

// "Sectors  N of M": how far a scan of a range has got.
std::string SectorsText(std::uint64_t sector, std::uint64_t shownEnd);

// When a scan shows "Sectors  N of M" and moves the main bar. The window waits for every
// report, so most scans spare it one per chunk.
enum class ScanPace {
    // N as each chunk is read, its first sector; the bar after the chunk, when it moves.
    AsRead,
    // After a chunk when the bar moves, N the sector after the chunk, then the counts.
    WhenBarMoves,
    // After every chunk: the counts, then N the sector after the chunk, and the bar.
    EveryChunk,
    // After a chunk when the bar moves, a while after the last report or the range ends: the
    // counts, then N the chunk's first sector, and the bar when it moves.
    Timed,
};

// What a scan shows while it runs.
struct ScanShow {
    ScanPace pace = ScanPace::AsRead;
    std::uint64_t shownEnd = 0;  // M of "Sectors  N of M"; the bar is full there
    std::uint64_t barFrom = 0;   // the bar is empty here
    // The scan's own counters, drawn with each report after a chunk.
    std::function<void()> showCounts{};
};

// The sectors [first, end), read a chunk at a time.
struct ScanRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    std::uint32_t chunkSectors = 0;
    // Sectors read after each chunk, for what starts near its end.
    std::uint32_t tailSectors = 0;
    // Reads stop here rather than at `end`: further, for what is carried on past the range's
    // end; nearer, where nothing more can be read.
    std::optional<std::uint64_t> readEnd{};
    // Sectors the source is asked to fetch beyond each chunk while it is looked at.
    std::uint32_t readAheadSectors = 0;
    // Sectors from here on that cannot be read: passed over without a read. 0 reads them.
    std::function<std::uint64_t(std::uint64_t sector)> unreadableAt{};
};

// One chunk read.
struct ScanChunk {
    std::uint64_t first = 0;    // its first sector
    std::uint32_t sectors = 0;  // of the range
    // What was read from `first` on: the chunk's sectors and any read past them, or fewer
    // where reading stops. Sectors that could not be read are zeros.
    ByteSpan bytes;
};

// Fills `into`, zeros already, with `count` sectors from `first`; what cannot be read stays
// zero.
using ChunkReader =
    std::function<void(std::uint64_t first, std::uint32_t count, std::uint8_t* into)>;

// Looks at a chunk and returns the sectors it is done with: fewer than the chunk's sectors
// end the scan there at once (stopped, or nothing more to find), more pass over the rest.
using ChunkVisitor = std::function<std::uint64_t(const ScanChunk& chunk)>;

// The one loop over a range of sectors: reads each chunk into a buffer it keeps, hands it
// on, shows how far it got, and stops between chunks when asked. A scan of several ranges
// keeps one, so the bar only moves forward.
class SectorRangeScan {
  public:
    SectorRangeScan(Reporter& reporter, ScanShow show);

    // Directories and boot sectors found "0", and "Sectors  N of M".
    void ShowStart(std::uint64_t sector);

    // Returns the first sector not looked at: the range's end unless stopped.
    std::uint64_t Run(const ScanRange& range, SectorSource& disk, const ChunkVisitor& visit,
                      std::stop_token stop);
    std::uint64_t Run(const ScanRange& range, const ChunkReader& read, const ChunkVisitor& visit,
                      std::stop_token stop);

    // The last report, drawn whatever the pace: N, the counts and the bar.
    void ShowDone(std::uint64_t sector);

  private:
    using ReadAhead = std::function<void(std::uint64_t first, std::uint32_t count)>;

    std::uint64_t RunChunks(const ScanRange& range, const ChunkReader& read,
                            const ReadAhead& readAhead, const ChunkVisitor& visit,
                            const std::stop_token& stop);
    ByteSpan ReadChunk(std::uint64_t first, std::uint32_t count, const ChunkReader& read);
    void AfterChunk(std::uint64_t first, std::uint64_t after, bool last);
    void ShowSectors(std::uint64_t sector);
    void ShowCounts();
    void ShowBar(int percent);
    int PercentAt(std::uint64_t sector) const;

    Reporter& reporter_;
    ScanShow show_;
    std::vector<std::uint8_t> buffer_;
    int shownPercent_ = -1;
    std::chrono::steady_clock::time_point shownAt_{};
};

}  // namespace lumarest
