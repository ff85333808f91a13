#include "exfat/exfat_file_data.h"

#include <algorithm>
#include <vector>

namespace lumarest {
namespace {

// Sectors read and written at once.
constexpr std::uint64_t kCopySectors = 2048;

std::uint64_t StoredBytesOf(const ExFatLayout& layout, const ExFatEntrySet& file,
                            const ExFatClusters& clusters) {
    return std::min(file.dataLength, clusters.count * layout.ClusterBytes());
}

}  // namespace

std::uint64_t ExFatStoredBytes(ExFatVolumeReader& reader, const ExFatEntrySet& file) {
    return StoredBytesOf(reader.Layout(), file, reader.FileClusters(file));
}

RecoveredFileStatus WriteExFatFile(ExFatVolumeReader& reader, const ExFatEntrySet& file,
                                   std::ostream& out) {
    if (file.dataLength == 0) {
        return RecoveredFileStatus::Written;
    }
    const ExFatLayout& layout = reader.Layout();
    const ExFatClusters clusters = reader.FileClusters(file);
    const std::uint64_t total = StoredBytesOf(layout, file, clusters);
    if (total == 0) {
        return RecoveredFileStatus::NoData;
    }
    const std::uint64_t valid = std::min(file.validDataLength, file.dataLength);
    std::vector<std::uint8_t> buffer(SectorsToBytes(kCopySectors));
    std::uint64_t written = 0;
    bool readsWhole = true;
    for (const ClusterRun& run : clusters.runs) {
        const std::uint64_t start = layout.ClusterSector(run.first);
        const std::uint64_t runSectors = std::uint64_t{run.count} * layout.sectorsPerCluster;
        for (std::uint64_t done = 0; done < runSectors && written < total;) {
            const std::uint64_t left = total - written;
            const std::uint64_t sectors =
                std::min({kCopySectors, runSectors - done, (left + kSectorSize - 1) / kSectorSize});
            const std::uint64_t bytes = std::min(SectorsToBytes(sectors), left);
            std::fill(buffer.begin(), buffer.end(), 0);
            // What lies past the valid length was never written: a reader sees zeros.
            if (written < valid &&
                reader.Disk().ReadSectors(start + done, static_cast<std::uint32_t>(sectors),
                                          buffer.data()) == 0) {
                readsWhole = false;
            }
            if (written + bytes > valid) {
                const std::uint64_t keep = valid > written ? valid - written : 0;
                std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(keep),
                          buffer.begin() + static_cast<std::ptrdiff_t>(bytes), 0);
            }
            out.write(reinterpret_cast<const char*>(buffer.data()),
                      static_cast<std::streamsize>(bytes));
            if (!out) {
                return RecoveredFileStatus::WriteFailed;
            }
            written += bytes;
            done += sectors;
        }
    }
    return clusters.complete && readsWhole && written == file.dataLength
               ? RecoveredFileStatus::Written
               : RecoveredFileStatus::Incomplete;
}

}  // namespace lumarest
