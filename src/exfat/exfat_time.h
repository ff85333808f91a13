#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace lumarest {

// Turns wall-clock times of this process's zone into UTC. The C library's conversion costs
// microseconds, too slow for every stamp of a large volume, so each wall-clock hour's offset
// is asked for once and kept.
class LocalClock {
  public:
    // `wallSeconds` counts the wall clock as if it were UTC; the fields are the same moment.
    std::optional<std::int64_t> ToUtc(std::int64_t wallSeconds, int year, int month, int day,
                                      int hour);

  private:
    std::unordered_map<std::int64_t, std::optional<std::int64_t>> hourOffsets_;
};

// An exFAT time stamp (DOS date in the high half, DOS time in the low), its 10 ms count
// (0 to 199) and its UTC offset byte, as seconds since 1970 UTC. A valid offset places the
// wall-clock time; without one the time is the local wall clock of this process's zone.
// Nothing when the date or the time is out of range.
std::optional<std::int64_t> ExFatTimeSeconds(std::uint32_t stamp, std::uint8_t tenMs,
                                             std::uint8_t utcOffset, LocalClock& clock);
std::optional<std::int64_t> ExFatTimeSeconds(std::uint32_t stamp, std::uint8_t tenMs,
                                             std::uint8_t utcOffset);

}  // namespace lumarest
