// Fuzzes the file-list formatting: NTFS stamps to calendar dates, DOS date and time words, the
// type description of a name, and the NTFS folder listing over a file table built from input.
//
// Input: bytes 0-7 an NTFS stamp, 8-9 a DOS date word, 10-11 a DOS time word, 12-15 a folder
// number; the rest is split at '\n' into names, each a file row whose parent is the folder
// when its first byte is even and the folder + 1 otherwise.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/recovery_run.h"
#include "core/text_number.h"
#include "fat/fat_file_rows.h"
#include "ntfs/ntfs_file_rows.h"
#include "output/file_dates.h"
#include "output/file_type.h"

namespace {

using namespace lumarest;

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kMaxNames = 64;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <typename T>
T Load(const std::uint8_t* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

bool IsLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(std::int64_t year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1601 by counting, independent of the conversion under test.
std::int64_t DaysSince1601(const CivilTime& civil) {
    const std::int64_t y = civil.year - 1601;
    const auto floorDiv = [](std::int64_t a, std::int64_t b) {
        return a / b - ((a % b != 0) && (a < 0) ? 1 : 0);
    };
    std::int64_t days = 365 * y + floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400);
    for (int month = 1; month < civil.month; ++month) {
        days += DaysInMonth(civil.year, month);
    }
    return days + civil.day - 1;
}

void CheckStamp(std::int64_t stamp) {
    const CivilTime civil = NtfsStampToCivil(stamp);
    Check(civil.month >= 1 && civil.month <= 12);
    Check(civil.day >= 1 && civil.day <= DaysInMonth(civil.year, civil.month));
    Check(civil.hour >= 0 && civil.hour < 24 && civil.minute >= 0 && civil.minute < 60 &&
          civil.second >= 0 && civil.second < 60);
    std::int64_t seconds = stamp / 10'000'000;
    if (stamp % 10'000'000 != 0 && stamp < 0) {
        --seconds;
    }
    const std::int64_t back =
        DaysSince1601(civil) * 86'400 + civil.hour * 3600 + civil.minute * 60 + civil.second;
    Check(back == seconds);
    Check(NtfsDateText(stamp).find("ERR") == std::string::npos);
}

void CheckDosWords(std::uint16_t dateWord, std::uint16_t timeWord) {
    const std::string date = FatDateText(dateWord);
    Check(date.size() == 11 && date[2] == '-' && date[6] == '-');
    const int month = (dateWord >> 5) & 0x0F;
    Check((date.substr(3, 3) == "ERR") == (month < 1 || month > 12));
    const std::string time = FatTimeText(timeWord);
    Check(time.size() == 5 && time[2] == ':');
}

void CheckName(std::string_view name) {
    const std::string chain = FileTypeDescription(name, FileTypeWording::ClusterChainFolder);
    const std::string root = FileTypeDescription(name, FileTypeWording::RootFolderOrNtfs);
    Check(!chain.empty() && !root.empty());
    if (chain != root) {
        Check((chain == "Compressed File" && root == "Winzip File") ||
              (chain == "Windows Registry file" && root == "Registry file"));
    }
    const std::string_view extension = IconExtension(name);
    Check(name.ends_with(extension));
}

std::vector<std::string> SplitNames(std::string_view text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size() && names.size() < kMaxNames) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        names.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

void CheckNtfsListing(std::uint32_t folderId, std::int64_t stamp,
                      const std::vector<std::string>& names) {
    RecoveryRun run;
    std::size_t expected = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool inFolder = names[i].empty() || (names[i][0] & 1) == 0;
        expected += inFolder ? 1 : 0;
        const std::uint32_t parent = inFolder ? folderId : folderId + 1;
        run.fileTable.AppendRow({names[i], NumberText(std::uint64_t{i}),
                                 NumberText(std::uint64_t{i}), NumberText(parent),
                                 NumberText(stamp), "0", "1", "0", "0", "FILE", ""});
    }
    Check(AddNtfsFileRows(run, 0, folderId) == expected);
    Check(run.fileList.RowCount() == expected);
    for (std::size_t r = 0; r < run.fileList.RowCount(); ++r) {
        Check(run.fileList.Cell(r, 6) == NumberText(folderId));
        Check(run.fileList.Cell(r, 3) == NtfsDateText(stamp));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) {
        return 0;
    }
    const auto stamp = Load<std::int64_t>(data);
    CheckStamp(stamp);
    CheckDosWords(Load<std::uint16_t>(data + 8), Load<std::uint16_t>(data + 10));
    const std::vector<std::string> names = SplitNames(
        std::string_view(reinterpret_cast<const char*>(data + kHeaderSize), size - kHeaderSize));
    for (const std::string& name : names) {
        CheckName(name);
    }
    CheckNtfsListing(Load<std::uint32_t>(data + 12), stamp, names);
    return 0;
}
