#include "carving/carved_file_resave.h"

#include <algorithm>

#include "carving/carved_file_saver.h"
#include "core/reporter.h"
#include "core/sector_source.h"

namespace lumarest {
namespace {

// Sectors read at once: a file of many megabytes is read in steps a disk answers quickly.
constexpr std::uint32_t kReadSectors = 2048;
// A file is read again and written in pieces of this size (whole sectors), so a long clip is
// never held whole.
constexpr std::uint64_t kResavePieceBytes = 4ull << 20;

// `length` bytes of `disk` from `offset` (whole sectors) past `firstSector`; false when a sector
// of them cannot be read.
bool ReadPiece(SectorSource& disk, std::uint64_t firstSector, std::uint64_t offset,
               std::uint64_t length, std::vector<std::uint8_t>& bytes) {
    const std::uint64_t first = firstSector + offset / kSectorSize;
    const std::uint64_t sectors = (length + kSectorSize - 1) / kSectorSize;
    bytes.assign(SectorsToBytes(sectors), 0);
    for (std::uint64_t done = 0; done < sectors;) {
        const auto count =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kReadSectors, sectors - done));
        if (disk.ReadSectors(first + done, count, bytes.data() + SectorsToBytes(done)) == 0) {
            return false;
        }
        done += count;
    }
    bytes.resize(length);
    return true;
}

// Reads the file again and hands it to the saver: every piece but the last as a piece, the last
// as the file's rest. False when a sector of it cannot be read, or the saver ran out of room
// before its end, the file then dropped.
bool ResaveInPieces(SectorSource& disk, const CarvedFile& file, SavingSink& saver) {
    const std::uint64_t length = BytesToSave(file);
    std::vector<std::uint8_t> bytes;
    std::uint64_t done = 0;
    for (; length - done > kResavePieceBytes; done += kResavePieceBytes) {
        if (!ReadPiece(disk, file.firstSector, done, kResavePieceBytes, bytes)) {
            saver.DropOpenFile();
            return false;
        }
        saver.FileSpilled(file, bytes);
        if (!saver.NoRoom().empty()) {
            saver.DropOpenFile();
            return false;
        }
    }
    if (!ReadPiece(disk, file.firstSector, done, length - done, bytes)) {
        saver.DropOpenFile();
        return false;
    }
    saver.FileFinished(file, std::move(bytes));
    return true;
}

// Learns where the saver put each file: an empty path means it could not be written.
class PlacedSink : public CarvedFileSink {
  public:
    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t>) override {
        lastPath = file.savedPath;
    }
    std::uint64_t ImageCount() const override { return 0; }

    std::string lastPath;
};

}  // namespace

std::uint64_t BytesToSave(const CarvedFile& file) {
    return file.savedBytes != 0 ? file.savedBytes : file.bytes;
}

bool ReadCarvedFile(SectorSource& disk, const CarvedFile& file, std::vector<std::uint8_t>& bytes) {
    return ReadPiece(disk, file.firstSector, 0, BytesToSave(file), bytes);
}

ResaveSummary ResaveCarvedFiles(const std::vector<CarvedFile>& files, SectorSource& disk,
                                FolderHandle folder, const std::string& shownFolder,
                                const std::function<void(std::size_t, std::size_t)>& progress,
                                std::stop_token stop, bool nameByDate) {
    ResaveSummary summary;
    PlacedSink placed;
    // The saver's own box speaks of a running search; the summary tells the user instead.
    NullReporter quiet;
    SavingSink saver(std::move(folder), shownFolder, placed, quiet);
    saver.NameByDate(nameByDate);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (stop.stop_requested()) {
            summary.stopped = true;
            break;
        }
        const CarvedFile& file = files[i];
        placed.lastPath.clear();
        const bool whole = ResaveInPieces(disk, file, saver);
        if (!whole && saver.NoRoom().empty()) {
            summary.unreadable.push_back(file.name);
        } else {
            if (!saver.NoRoom().empty()) {
                summary.noRoom = saver.NoRoom();
                summary.stopped = true;
                break;
            }
            if (placed.lastPath.empty()) {
                summary.unwritten.push_back(file.name);
            } else {
                ++summary.saved;
            }
        }
        if (progress) {
            progress(i + 1, files.size());
        }
    }
    return summary;
}

}  // namespace lumarest
