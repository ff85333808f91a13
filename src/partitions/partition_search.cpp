#include "partitions/partition_search.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "partitions/boot_sector.h"
#include "partitions/search_candidates.h"

namespace lumarest {

namespace {

constexpr std::uint32_t kStandardHeads = 255;
constexpr std::uint32_t kStandardSectorsPerTrack = 63;
constexpr const char* kCompletedText = "Completed ";

constexpr std::size_t kFat32MarkOffset = 85;
constexpr std::size_t kFat16MarkOffset = 57;
constexpr std::size_t kNtfsMarkOffset = 3;
constexpr std::size_t kSmallSectorCountOffset = 19;
constexpr std::size_t kFatSectorCountOffset = 32;
constexpr std::size_t kNtfsSectorCountOffset = 40;
constexpr std::size_t kExFatNameOffset = 3;
constexpr std::size_t kExFatSectorCountOffset = 72;
constexpr std::size_t kExFatSectorShiftOffset = 108;
// exFAT gives its sector size as a power of two: 512 to 4096 bytes.
constexpr std::uint32_t kSmallestExFatSectorShift = 9;
constexpr std::uint32_t kLargestExFatSectorShift = 12;

// Volumes under 32 MiB keep their size in the 16-bit field and leave the 32-bit one at 0.
std::uint64_t FatSectorCount(ByteSpan sector) {
    const std::uint32_t large = LoadLe32(sector, kFatSectorCountOffset).value_or(0);
    if (large != 0) {
        return large;
    }
    return LoadLe16(sector, kSmallSectorCountOffset).value_or(0);
}

bool AlreadyListed(const DiskPartitionList& list, const PartitionRecord& candidate) {
    return std::any_of(
        list.partitions.begin(), list.partitions.end(), [&](const PartitionRecord& p) {
            return p.startSector == candidate.startSector && p.endSector == candidate.endSector &&
                   p.fileSystem == candidate.fileSystem;
        });
}

// The bar moves only when its percentage does: the window waits for each report.
class SearchProgress {
  public:
    SearchProgress(Reporter& reporter, std::uint64_t units) : reporter_(reporter), units_(units) {}

    void At(std::uint64_t n) {
        const int percent = static_cast<int>(n * 100 / units_);
        if (percent != shown_) {
            shown_ = percent;
            reporter_.SetProgress(ProgressBar::PartitionSearch, percent, kCompletedText);
        }
    }

  private:
    Reporter& reporter_;
    std::uint64_t units_;
    int shown_ = -1;
};

// The boot sector counts in its own sectors; a size it gives in larger ones is turned into
// engine sectors, held at the largest count rather than wrapped.
std::uint64_t InEngineSectors(ByteSpan sector, std::uint64_t volumeSectors) {
    const std::uint64_t perUnit = SectorsPerUnit(VolumeSectorBytes(sector).value_or(kSectorSize));
    return volumeSectors > std::numeric_limits<std::uint64_t>::max() / perUnit
               ? std::numeric_limits<std::uint64_t>::max()
               : volumeSectors * perUnit;
}

// exFAT counts in sectors of its own shifted size, and leaves the FAT fields at 11 zero. A
// shift outside 512 to 4096 bytes gives no size, as a FAT or NTFS count of 0 does.
std::uint64_t ExFatEngineSectors(ByteSpan sector) {
    const std::uint32_t shift = LoadLe8(sector, kExFatSectorShiftOffset).value_or(0);
    if (shift < kSmallestExFatSectorShift || shift > kLargestExFatSectorShift) {
        return 0;
    }
    const std::uint64_t counted = LoadLe64(sector, kExFatSectorCountOffset).value_or(0);
    const std::uint64_t perUnit = std::uint64_t{1} << (shift - kSmallestExFatSectorShift);
    return counted > std::numeric_limits<std::uint64_t>::max() / perUnit
               ? std::numeric_limits<std::uint64_t>::max()
               : counted * perUnit;
}

}  // namespace

SearchGeometry InventoryGeometry(const RecoveryRun& run, std::uint16_t diskNumber) {
    const ShownDisk& shown = run.shownDisk;
    if (shown.diskNumber != std::int32_t{diskNumber}) {
        return {};
    }
    return {ParseTextU32(shown.cylinders), ParseTextU32(shown.heads),
            ParseTextU32(shown.sectorsPerTrack)};
}

SearchGeometry NormaliseGeometry(const SearchGeometry& geometry) {
    if (geometry.sectorsPerTrack == kStandardSectorsPerTrack) {
        return geometry;
    }
    // Taken in 64 bits, so a large disk is not cut to a wrapped product.
    const std::uint64_t sectors =
        std::uint64_t{geometry.cylinders} * geometry.heads * geometry.sectorsPerTrack;
    const std::uint64_t cylinders = sectors / (kStandardHeads * kStandardSectorsPerTrack);
    return {static_cast<std::uint32_t>(
                std::min<std::uint64_t>(cylinders, std::numeric_limits<std::uint32_t>::max())),
            kStandardHeads, kStandardSectorsPerTrack};
}

std::optional<RecognisedVolume> RecogniseBootSector(ByteSpan sector) {
    if (!HasBootSignature(sector)) {
        return std::nullopt;
    }
    // Its own fields fill the rest of the sector and may spell a FAT mark by chance.
    if (SpellsAt(sector, kExFatNameOffset, "EXFAT   ")) {
        return RecognisedVolume{FileSystem::ExFat, ExFatEngineSectors(sector)};
    }
    if (SpellsAt(sector, kFat32MarkOffset, "32")) {
        return RecognisedVolume{FileSystem::Fat32, InEngineSectors(sector, FatSectorCount(sector))};
    }
    if (SpellsAt(sector, kFat16MarkOffset, "16")) {
        return RecognisedVolume{FileSystem::Fat16, InEngineSectors(sector, FatSectorCount(sector))};
    }
    if (SpellsAt(sector, kNtfsMarkOffset, "NTFS")) {
        // The volume's backup boot sector lies one sector past the count it gives: the
        // partition holds it, so validation finds it at the last sector, and a table entry of
        // the same volume is not listed again.
        const std::uint64_t counted = LoadLe64(sector, kNtfsSectorCountOffset).value_or(0);
        const std::uint64_t withBackup =
            counted == 0 || counted == std::numeric_limits<std::uint64_t>::max() ? counted
                                                                                 : counted + 1;
        return RecognisedVolume{FileSystem::Ntfs, InEngineSectors(sector, withBackup)};
    }
    return std::nullopt;
}

PartitionSearchResult SearchPartitions(RecoveryRun& run, SectorSource& disk,
                                       std::uint16_t diskNumber, const SearchGeometry& geometry,
                                       Reporter& reporter, std::stop_token stop,
                                       const PartitionFoundHandler& found) {
    PartitionSearchResult result;
    if (diskNumber >= run.diskPartitionLists.size()) {
        return result;
    }
    DiskPartitionList& list = run.diskPartitionLists[diskNumber];
    CylinderCandidates cylinders(disk, NormaliseGeometry(geometry));
    AlignedCandidates aligned(disk, cylinders);
    SearchProgress progress(reporter, cylinders.Count() + aligned.Count());
    // One pass over its candidates, under the one bar; false once the search has to end.
    const auto pass = [&](auto& candidates, std::uint64_t firstUnit) {
        for (std::uint64_t n = 0; n < candidates.Count(); ++n) {
            if (stop.stop_requested()) {
                result.stopped = true;
                return false;
            }
            if (list.Full()) {
                result.listFull = true;
                return false;
            }
            progress.At(firstUnit + n);
            const auto candidate = candidates.Candidate(n);
            if (!candidate || AlreadyListed(list, *candidate)) {
                continue;
            }
            list.partitions.push_back(*candidate);
            ++result.added;
            if (found) {
                found(list.partitions.size() - 1);
            }
            if (list.Full()) {
                result.listFull = true;
                return false;
            }
        }
        return true;
    };
    if (pass(cylinders, 0)) {
        pass(aligned, cylinders.Count());
    }
    return result;
}

}  // namespace lumarest
