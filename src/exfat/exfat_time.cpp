#include "exfat/exfat_time.h"

#include <array>
#include <ctime>

#include "core/wall_clock.h"

namespace lumarest {
namespace {

constexpr int kYearBase = 1980;
constexpr std::array<int, 12> kMonthDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kFebruary = 2;
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr int kLastSecond = 59;
constexpr int kMostTenMs = 199;
constexpr std::uint8_t kOffsetValid = 0x80;
constexpr std::uint8_t kOffsetBits = 0x7F;
constexpr std::uint8_t kOffsetSignBit = 0x40;
constexpr int kOffsetValues = 0x80;
constexpr std::int64_t kSecondsPerOffsetStep = 15 * 60;
constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kSecondsPerHour = 3'600;
constexpr std::int64_t kSecondsPerMinute = 60;

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::optional<WallClock> WallClockOf(std::uint32_t stamp) {
    WallClock clock;
    clock.second = static_cast<int>(stamp & 0x1F) * 2;
    clock.minute = static_cast<int>((stamp >> 5) & 0x3F);
    clock.hour = static_cast<int>((stamp >> 11) & 0x1F);
    clock.day = static_cast<int>((stamp >> 16) & 0x1F);
    clock.month = static_cast<int>((stamp >> 21) & 0x0F);
    clock.year = static_cast<int>(stamp >> 25) + kYearBase;
    if (clock.month < 1 || clock.month > static_cast<int>(kMonthDays.size()) || clock.day < 1 ||
        clock.day > kMonthDays[static_cast<std::size_t>(clock.month - 1)] ||
        (clock.month == kFebruary && clock.day == 29 && !IsLeapYear(clock.year)) ||
        clock.hour > kLastHour || clock.minute > kLastMinute || clock.second > kLastSecond) {
        return std::nullopt;
    }
    return clock;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, years counted from March
// so the leap day ends each year.
std::int64_t DaysSince1970(int year, int month, int day) {
    const int y = month <= kFebruary ? year - 1 : year;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int monthFromMarch = month > kFebruary ? month - 3 : month + 9;
    const int dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    constexpr std::int64_t kDaysFrom0000March1To1970 = 719'468;
    return std::int64_t{era} * 146'097 + dayOfEra - kDaysFrom0000March1To1970;
}

}  // namespace

std::optional<std::int64_t> LocalClock::ToUtc(std::int64_t wallSeconds, int year, int month,
                                              int day, int hour) {
    const std::int64_t hourKey = wallSeconds >= 0 ? wallSeconds / kSecondsPerHour
                                                  : -((-wallSeconds - 1) / kSecondsPerHour) - 1;
    auto found = hourOffsets_.find(hourKey);
    if (found == hourOffsets_.end()) {
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_isdst = -1;  // the zone's own rule for that day
        const std::time_t seconds = std::mktime(&local);
        std::optional<std::int64_t> offset;
        if (seconds != static_cast<std::time_t>(-1)) {
            offset = hourKey * kSecondsPerHour - static_cast<std::int64_t>(seconds);
        }
        found = hourOffsets_.emplace(hourKey, offset).first;
    }
    if (!found->second) {
        return std::nullopt;
    }
    return wallSeconds - *found->second;
}

std::optional<std::int64_t> ExFatTimeSeconds(std::uint32_t stamp, std::uint8_t tenMs,
                                             std::uint8_t utcOffset, LocalClock& localClock) {
    const std::optional<WallClock> clock = WallClockOf(stamp);
    if (!clock) {
        return std::nullopt;
    }
    // The 10 ms count adds the odd second the 2-second field cannot hold.
    const int extraSecond = tenMs <= kMostTenMs ? tenMs / 100 : 0;
    const std::int64_t wall =
        DaysSince1970(clock->year, clock->month, clock->day) * kSecondsPerDay +
        clock->hour * kSecondsPerHour + clock->minute * kSecondsPerMinute + clock->second +
        extraSecond;
    if ((utcOffset & kOffsetValid) == 0) {
        return localClock.ToUtc(wall, clock->year, clock->month, clock->day, clock->hour);
    }
    int steps = utcOffset & kOffsetBits;
    if ((steps & kOffsetSignBit) != 0) {
        steps -= kOffsetValues;
    }
    return wall - steps * kSecondsPerOffsetStep;
}

std::optional<std::int64_t> ExFatTimeSeconds(std::uint32_t stamp, std::uint8_t tenMs,
                                             std::uint8_t utcOffset) {
    LocalClock clock;
    return ExFatTimeSeconds(stamp, tenMs, utcOffset, clock);
}

}  // namespace lumarest
