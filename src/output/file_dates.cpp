#include "output/file_dates.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ctime>

#include "core/text_number.h"
#include "core/wall_clock.h"

namespace lumarest {

namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
constexpr std::string_view kBadMonth = "ERR";

constexpr int kDosYearBase = 1980;
constexpr std::int64_t kStampUnitsPerSecond = 10'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Seconds from 1 January 1601 to 1 January 1970, and from 1970 to 1 January 2101.
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
constexpr std::int64_t kSecondsFrom1970To2101 = 4'133'980'800;
constexpr int kLastHour = 23;
constexpr int kLastMinute = 59;
constexpr int kLastSecond = 59;
constexpr int kFebruary = 2;
constexpr std::array<int, 12> kMonthDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1 January 1601 back to 1 March of year 0 of the proleptic Gregorian calendar.
constexpr std::int64_t kDaysFrom0000March1To1601 = 584'694;

// Dates and times are made for every row of a listing of millions: written into a small buffer,
// the text fits a string without an allocation.
class ShortText {
  public:
    ShortText& Number(std::int64_t value, std::size_t minDigits = 1) {
        std::array<char, kNumberChars> digits{};
        const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        const auto count = static_cast<std::size_t>(end - digits.data());
        for (std::size_t pad = count; pad < minDigits; ++pad) {
            Add("0");
        }
        return Add(std::string_view(digits.data(), count));
    }
    ShortText& Add(std::string_view text) {
        const std::size_t count = std::min(text.size(), text_.size() - size_);
        std::copy_n(text.data(), count, text_.data() + size_);
        size_ += count;
        return *this;
    }
    std::string Text() const { return std::string(text_.data(), size_); }

  private:
    static constexpr std::size_t kNumberChars = 20;  // "-9223372036854775808"
    std::array<char, 3 * kNumberChars + 8> text_{};
    std::size_t size_ = 0;
};

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// Calendar date of a day count from 1 March of year 0 (the leap day falls last in such a year).
void CivilFromMarchDays(std::int64_t days, CivilTime& civil) {
    const std::int64_t era = FloorDiv(days, 146'097);
    const std::int64_t dayOfEra = days - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    civil.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    civil.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
}

}  // namespace

std::string_view MonthName(int month) {
    if (month < 1 || month > static_cast<int>(kMonthNames.size())) {
        return kBadMonth;
    }
    return kMonthNames[static_cast<std::size_t>(month - 1)];
}

std::string DateText(int day, int month, std::int64_t year) {
    return ShortText().Number(day, 2).Add("-").Add(MonthName(month)).Add("-").Number(year).Text();
}

std::string TimeText(int hour, int minute) {
    return ShortText().Number(hour, 2).Add(":").Number(minute, 2).Text();
}

std::string FatDateText(std::uint16_t dateWord) {
    const int day = dateWord & 0x1F;
    const int month = (dateWord >> 5) & 0x0F;
    const int year = (dateWord >> 9) + kDosYearBase;
    return DateText(day, month, year);
}

std::string FatTimeText(std::uint16_t timeWord) {
    const int hour = timeWord >> 11;
    const int minute = (timeWord >> 5) & 0x3F;
    return TimeText(hour, minute);
}

CivilTime NtfsStampToCivil(std::int64_t stamp) {
    const std::int64_t seconds = FloorDiv(stamp, kStampUnitsPerSecond);
    const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t secondOfDay = seconds - days * kSecondsPerDay;
    CivilTime civil;
    CivilFromMarchDays(days + kDaysFrom0000March1To1601, civil);
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay / 60 % 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    return civil;
}

std::string NtfsDateText(std::int64_t stamp) {
    const CivilTime civil = NtfsStampToCivil(stamp);
    return DateText(civil.day, civil.month, civil.year);
}

std::string NtfsTimeText(std::int64_t stamp) {
    const CivilTime civil = NtfsStampToCivil(stamp);
    return ShortText()
        .Number(civil.hour, 2)
        .Add(":")
        .Number(civil.minute, 2)
        .Add(":")
        .Number(civil.second, 2)
        .Text();
}

std::optional<std::int64_t> FatLocalTime(std::uint16_t dateWord, std::uint16_t timeWord) {
    const int day = dateWord & 0x1F;
    const int month = (dateWord >> 5) & 0x0F;
    const int year = (dateWord >> 9) + kDosYearBase;
    const int hour = timeWord >> 11;
    const int minute = (timeWord >> 5) & 0x3F;
    const int second = (timeWord & 0x1F) * 2;
    if (month < 1 || month > static_cast<int>(kMonthDays.size()) || day < 1 ||
        day > kMonthDays[static_cast<std::size_t>(month - 1)] ||
        (month == kFebruary && day == 29 && !IsLeapYear(year)) || hour > kLastHour ||
        minute > kLastMinute || second > kLastSecond) {
        return std::nullopt;
    }
    return LocalWallClockSeconds({year, month, day, hour, minute, second});
}

std::optional<std::int64_t> NtfsStampSeconds(std::int64_t stamp) {
    const std::int64_t seconds = FloorDiv(stamp, kStampUnitsPerSecond) - kSecondsFrom1601To1970;
    if (seconds < 0 || seconds >= kSecondsFrom1970To2101) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace lumarest
