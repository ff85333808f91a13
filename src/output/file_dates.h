#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumarest {

// "JAN" to "DEC" for months 1 to 12; any other month reads "ERR".
std::string_view MonthName(int month);

// Every date the system shows reads "07-JAN-2009" and every time "09:05" (with ":07" seconds
// where the file system keeps them to the second), whatever the file system.
std::string DateText(int day, int month, std::int64_t year);
std::string TimeText(int hour, int minute);

// A DOS date word (day bits 0-4, month bits 5-8, year bits 9-15 from 1980) as "07-JAN-2009".
// Only the month is checked: a day of 0 or 31 in February shows as stored.
std::string FatDateText(std::uint16_t dateWord);
// A DOS time word (hour bits 11-15, minute bits 5-10) as "09:05"; seconds are not shown.
std::string FatTimeText(std::uint16_t timeWord);

// A calendar moment in UTC; years before 1 and after 9999 are kept as they come.
struct CivilTime {
    std::int64_t year = 1601;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// An NTFS time stamp (100-nanosecond units since 1 January 1601, UTC) as a calendar moment in
// UTC, never in local time. Stamps before 1601 count backwards rather than wrapping.
CivilTime NtfsStampToCivil(std::int64_t stamp);
// "05-MAR-2009" and "09:05:00".
std::string NtfsDateText(std::int64_t stamp);
std::string NtfsTimeText(std::int64_t stamp);

// A FAT entry's last-write date and time words as seconds since 1970 (UTC), read as the local
// wall-clock time of the process's time zone, the way the volume's writer kept it. Nothing when
// the date is 0 or a field is out of range: such a file keeps the time it is written at.
std::optional<std::int64_t> FatLocalTime(std::uint16_t dateWord, std::uint16_t timeWord);

// An NTFS stamp as seconds since 1970 (UTC); nothing before 1970 or after 2100, where a stamp
// is more likely damage than a date.
std::optional<std::int64_t> NtfsStampSeconds(std::int64_t stamp);

}  // namespace lumarest
