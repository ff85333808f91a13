#include "output/file_dates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>

namespace lumarest {
namespace {

constexpr std::uint16_t DosDate(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

constexpr std::uint16_t DosTime(int hour, int minute, int secondPairs) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | secondPairs);
}

TEST(MonthName, OutsideOneToTwelveIsErr) {
    EXPECT_EQ(MonthName(1), "JAN");
    EXPECT_EQ(MonthName(12), "DEC");
    EXPECT_EQ(MonthName(0), "ERR");
    EXPECT_EQ(MonthName(13), "ERR");
    EXPECT_EQ(MonthName(-1), "ERR");
}

TEST(FatDateText, TwoDigitDayMonthNameAndYear) {
    EXPECT_EQ(FatDateText(DosDate(2009, 3, 5)), "05-MAR-2009");
    EXPECT_EQ(FatDateText(DosDate(2009, 1, 7)), "07-JAN-2009");
    EXPECT_EQ(FatDateText(DosDate(2107, 12, 31)), "31-DEC-2107");
    // An empty word (the orphan folder's) and impossible months are shown, not refused.
    EXPECT_EQ(FatDateText(0), "00-ERR-1980");
    EXPECT_EQ(FatDateText(DosDate(2010, 0, 9)), "09-ERR-2010");
    EXPECT_EQ(FatDateText(DosDate(2010, 13, 9)), "09-ERR-2010");
    EXPECT_EQ(FatDateText(DosDate(2010, 15, 31)), "31-ERR-2010");
    EXPECT_EQ(FatDateText(0xFFFF), "31-ERR-2107");
}

TEST(FatTimeText, TwoDigitHourAndMinuteWithoutSeconds) {
    EXPECT_EQ(FatTimeText(DosTime(9, 5, 0)), "09:05");
    EXPECT_EQ(FatTimeText(DosTime(9, 5, 29)), "09:05");
    EXPECT_EQ(FatTimeText(DosTime(23, 59, 29)), "23:59");
    EXPECT_EQ(FatTimeText(0), "00:00");
    // Out-of-range fields are shown as stored.
    EXPECT_EQ(FatTimeText(0xFFFF), "31:63");
}

// Stamps are (seconds since 1970 from `date -u -d ... +%s` + 11644473600) × 10^7.
struct StampCase {
    std::int64_t stamp;
    const char* date;
    const char* time;
};

TEST(NtfsStampText, CalendarDateAndTimeInUtcWithLeadingZerosAsFatDatesHaveThem) {
    const StampCase cases[] = {
        {0, "01-JAN-1601", "00:00:00"},
        {128807175000000000, "05-MAR-2009", "09:05:00"},
        {125963423990000000, "29-FEB-2000", "23:59:59"},  // leap year of a 400th year
        {94405824000000000, "01-MAR-1900", "00:00:00"},   // 1900 has no 29 February
        {133536816070000000, "29-FEB-2024", "12:00:07"},  // ordinary leap year
        {137919572480000000, "19-JAN-2038", "03:14:08"},  // past 32-bit seconds
        {157784543990000000, "31-DEC-2100", "23:59:59"},  // 2100 is no leap year
        {128807175009999999, "05-MAR-2009", "09:05:00"},  // fractions are cut, not rounded
        {std::numeric_limits<std::int64_t>::max(), "14-SEP-30828", "02:48:05"},
    };
    for (const StampCase& c : cases) {
        EXPECT_EQ(NtfsDateText(c.stamp), c.date) << c.stamp;
        EXPECT_EQ(NtfsTimeText(c.stamp), c.time) << c.stamp;
    }
}

TEST(NtfsStampText, StampsBefore1601CountBackwards) {
    EXPECT_EQ(NtfsDateText(-1), "31-DEC-1600");
    EXPECT_EQ(NtfsTimeText(-1), "23:59:59");
    const CivilTime earliest = NtfsStampToCivil(std::numeric_limits<std::int64_t>::min());
    EXPECT_GE(earliest.month, 1);
    EXPECT_LE(earliest.month, 12);
    EXPECT_GE(earliest.hour, 0);
    EXPECT_LT(earliest.year, -27000);
}

TEST(NtfsStampText, EveryDayOfALeapYearFollowsTheLast) {
    // Walk 2000 a day at a time from its first stamp: no day is skipped or repeated.
    constexpr std::int64_t kDay = 86'400LL * 10'000'000;
    constexpr std::int64_t kFirstOf2000 = 125911584000000000;
    constexpr int kDaysPerMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::int64_t stamp = kFirstOf2000;
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= kDaysPerMonth[month - 1]; ++day, stamp += kDay) {
            const CivilTime civil = NtfsStampToCivil(stamp);
            ASSERT_EQ(civil.year, 2000);
            ASSERT_EQ(civil.month, month);
            ASSERT_EQ(civil.day, day);
        }
    }
    EXPECT_EQ(NtfsDateText(stamp), "01-JAN-2001");
}

// Seconds are `date -u -d ... +%s`; the zone is set to UTC for the test's reading.
TEST(FatLocalTime, ConvertsValidWordsAndRefusesImpossibleOnes) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    struct Case {
        std::uint16_t date;
        std::uint16_t time;
        std::optional<std::int64_t> seconds;
    };
    const Case cases[] = {
        {DosDate(2009, 3, 5), DosTime(9, 5, 3), 1236243906},
        {DosDate(1980, 1, 1), 0, 315532800},
        {DosDate(2107, 12, 31), DosTime(23, 59, 29), 4354819198},
        {DosDate(2012, 2, 29), DosTime(12, 0, 0), 1330516800},  // a leap day
        {0, DosTime(12, 0, 0), std::nullopt},                   // never written
        {DosDate(2010, 0, 9), 0, std::nullopt},
        {DosDate(2010, 13, 9), 0, std::nullopt},
        {DosDate(2010, 4, 0), 0, std::nullopt},
        {DosDate(2010, 4, 31), 0, std::nullopt},
        {DosDate(2011, 2, 29), 0, std::nullopt},  // no leap day that year
        {DosDate(2010, 4, 1), DosTime(24, 0, 0), std::nullopt},
        {DosDate(2010, 4, 1), DosTime(1, 60, 0), std::nullopt},
        {DosDate(2010, 4, 1), DosTime(1, 1, 30), std::nullopt},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(FatLocalTime(row.date, row.time), row.seconds) << row.date << " " << row.time;
    }
    // The writer's wall clock: the same words are an hour earlier in UTC an hour east.
    ::setenv("TZ", "UTC-1", 1);
    ::tzset();
    EXPECT_EQ(FatLocalTime(DosDate(2009, 3, 5), DosTime(9, 5, 3)), 1236243906 - 3600);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

TEST(NtfsStampSeconds, KeepsStampsFrom1970To2100) {
    constexpr std::int64_t kUnits = 10'000'000;
    constexpr std::int64_t k1970 = 11'644'473'600;
    struct Case {
        std::int64_t stamp;
        std::optional<std::int64_t> seconds;
    };
    const Case cases[] = {
        {128807175000000000, 1236243900},
        {k1970 * kUnits, 0},
        {k1970 * kUnits - 1, std::nullopt},  // a tick before 1970
        {0, std::nullopt},
        {-1, std::nullopt},
        {(k1970 + 4'133'980'799) * kUnits, 4'133'980'799},  // the last second of 2100
        {(k1970 + 4'133'980'800) * kUnits, std::nullopt},
        {std::numeric_limits<std::int64_t>::max(), std::nullopt},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(NtfsStampSeconds(row.stamp), row.seconds) << row.stamp;
    }
}

}  // namespace
}  // namespace lumarest
