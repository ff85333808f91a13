#pragma once

#include <cstdint>
#include <optional>

namespace lumarest {

// An exFAT time stamp (DOS date in the high half, DOS time in the low), its 10 ms count
// (0 to 199) and its UTC offset byte, as seconds since 1970 UTC. A valid offset places the
// wall-clock time; without one the time is the local wall clock of this process's zone.
// Nothing when the date or the time is out of range.
std::optional<std::int64_t> ExFatTimeSeconds(std::uint32_t stamp, std::uint8_t tenMs,
                                             std::uint8_t utcOffset);

}  // namespace lumarest
