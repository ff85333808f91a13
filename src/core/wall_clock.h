#pragma once

#include <cstdint>
#include <optional>

namespace lumarest {

// A time as a clock on the wall shows it, with no zone: as FAT, Exif and cameras keep it.
struct WallClock {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The moment `clock` shows in this process's zone (its own daylight-saving rule for that day),
// as seconds since 1970 UTC; nothing when the C library cannot place it.
std::optional<std::int64_t> LocalWallClockSeconds(const WallClock& clock);

}  // namespace lumarest
