#include "core/wall_clock.h"

#include <ctime>

namespace lumarest {

std::optional<std::int64_t> LocalWallClockSeconds(const WallClock& clock) {
    std::tm local{};
    local.tm_year = clock.year - 1900;
    local.tm_mon = clock.month - 1;
    local.tm_mday = clock.day;
    local.tm_hour = clock.hour;
    local.tm_min = clock.minute;
    local.tm_sec = clock.second;
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds);
}

}  // namespace lumarest
