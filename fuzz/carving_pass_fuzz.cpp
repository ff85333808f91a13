// Fuzzes the carving pass over a small disk against a plain rendering of its rules.
//
// Input: byte 0 is the length of the signature text that follows (the definition file); byte 1
// picks the range's first sector (bits 0-3), its length (bits 4-6) and whether the disk's size
// is known (bit 7); the rest is the disk, sector by sector, at most kMostSectors. The pass must
// carve the same files as a sector-by-sector walk comparing decimal texts, read only inside a
// disk of known size, and hand on exactly the sectors of the disk. With the formats' own checks,
// to a sink that takes pieces, each file's pieces and rest are its saved bytes of the disk.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "carving/carving_scan.h"
#include "carving/signature_matcher.h"
#include "core/memory_disk.h"
#include "core/reporter.h"
#include "core/sector_source.h"

namespace {

using lumarest::kSectorSize;

constexpr std::size_t kMostSectors = 48;
constexpr std::uint64_t kChunkSectors = 1024;
constexpr std::uint64_t kMostCarvedBytes = 512ull << 20;
constexpr std::uint8_t kSizeKnown = 0x80;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

struct Carved {
    std::string name;
    std::uint64_t firstSector;
    std::vector<std::uint8_t> bytes;
};

// A memory disk that may hide its size, and aborts on a read past a size it tells.
class FuzzDisk : public lumarest::SectorSource {
  public:
    FuzzDisk(std::vector<std::uint8_t> bytes, bool sizeKnown)
        : disk_(std::move(bytes)), sizeKnown_(sizeKnown) {}
    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        if (sizeKnown_) {
            Check(firstSector + count <= disk_.TotalSectors());
        }
        return disk_.ReadSectors(firstSector, count, buffer);
    }
    std::uint64_t TotalSectors() const override { return sizeKnown_ ? disk_.TotalSectors() : 0; }
    std::string Name() const override { return "fuzz disk"; }

  private:
    lumarest::MemoryDisk disk_;
    bool sizeKnown_;
};

class KeepingSink : public lumarest::CarvedFileSink {
  public:
    void FileFinished(const lumarest::CarvedFile& file, std::vector<std::uint8_t> bytes) override {
        Check(file.position == files.size());
        Check(file.bytes == bytes.size());
        files.push_back({file.name, file.firstSector, std::move(bytes)});
    }
    std::uint64_t ImageCount() const override { return files.size(); }
    std::vector<Carved> files;
};

// Takes files in pieces and checks each file's pieces and rest against the disk.
class PieceCheckingSink : public lumarest::CarvedFileSink {
  public:
    explicit PieceCheckingSink(const std::vector<std::uint8_t>& disk) : disk_(disk) {}
    void FileFinished(const lumarest::CarvedFile& file, std::vector<std::uint8_t> bytes) override {
        Check(file.position == finished_++);
        held_.insert(held_.end(), bytes.begin(), bytes.end());
        Check(file.savedBytes <= file.bytes && held_.size() == file.savedBytes);
        const std::uint64_t at = file.firstSector * kSectorSize;
        for (std::size_t i = 0; i < held_.size(); ++i) {
            Check(held_[i] == (at + i < disk_.size() ? disk_[at + i] : 0));
        }
        held_.clear();
    }
    std::uint64_t ImageCount() const override { return finished_; }
    bool TakesPieces(const lumarest::CarvedFile&) const override { return true; }
    void FileSpilled(const lumarest::CarvedFile&, std::span<const std::uint8_t> piece) override {
        Check(!piece.empty());
        held_.insert(held_.end(), piece.begin(), piece.end());
    }

  private:
    const std::vector<std::uint8_t>& disk_;
    std::uint64_t finished_ = 0;
    std::vector<std::uint8_t> held_;
};

std::size_t ReferenceMatch(const lumarest::SignatureList& list, const std::uint8_t* sector) {
    for (std::size_t r = 0; r < list.size(); ++r) {
        const std::uint64_t count = lumarest::SignatureByteCount(list[r]);
        if (count <= kSectorSize &&
            lumarest::DecimalSignatureText(sector, count) == list[r].signature) {
            return r;
        }
    }
    return lumarest::SignatureMatcher::kNoMatch;
}

// The rules read plainly: a header starts a file and closes the open one; a full file is closed
// by the next plain sector, which belongs to no file; the open file is finished at the end.
// From `last` on no file starts: the open one runs on to the end, and a header there ends it.
std::vector<Carved> ReferenceCarve(const lumarest::SignatureList& list,
                                   const std::vector<std::uint8_t>& disk, std::uint64_t first,
                                   std::uint64_t last, std::uint64_t end) {
    std::vector<Carved> files;
    bool open = false;
    std::uint64_t limit = 0;
    std::vector<std::uint8_t> sector(kSectorSize);
    for (std::uint64_t s = first; s < end && (s < last || open); ++s) {
        std::fill(sector.begin(), sector.end(), 0);
        if ((s + 1) * kSectorSize <= disk.size()) {
            std::memcpy(sector.data(), disk.data() + s * kSectorSize, kSectorSize);
        }
        const std::size_t match = ReferenceMatch(list, sector.data());
        if (match != lumarest::SignatureMatcher::kNoMatch && s >= last) {
            open = false;
        } else if (match != lumarest::SignatureMatcher::kNoMatch) {
            const std::string name = lumarest::CarvedFileName(
                lumarest::CarvingPass::General, files.size() + 1, list[match].extension);
            files.push_back({name, s, sector});
            open = true;
            limit = std::min(lumarest::SizeLimitBytes(list[match]), kMostCarvedBytes);
        } else if (open && files.back().bytes.size() < limit) {
            files.back().bytes.insert(files.back().bytes.end(), sector.begin(), sector.end());
        } else {
            open = false;
        }
    }
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t textLength = std::min<std::size_t>(data[0], size - 2);
    const std::uint8_t shape = data[1];
    lumarest::SignatureList list;
    lumarest::ParseSignatureText(
        std::string_view(reinterpret_cast<const char*>(data + 2), textLength), list);
    const std::uint8_t* rest = data + 2 + textLength;
    const std::size_t restSize = std::min(size - 2 - textLength, kMostSectors * kSectorSize);
    // Whole sectors only, so that the disk's size is what its bytes say.
    std::vector<std::uint8_t> bytes(rest, rest + restSize / kSectorSize * kSectorSize);
    // A size of 0 is how a disk says its size is unknown.
    const bool sizeKnown = (shape & kSizeKnown) != 0 && !bytes.empty();
    const std::uint64_t first = shape & 0x0F;
    const std::uint64_t last = first + 1 + ((shape >> 4) & 0x07) * 300;
    const std::uint64_t diskSectors = bytes.size() / kSectorSize;

    FuzzDisk disk(bytes, sizeKnown);
    KeepingSink sink;
    lumarest::NullReporter reporter;
    // The plain rules alone: what a format's own fields say of a header or an end is fuzzed by
    // carved_format_fuzz, and would make an extension such as "webp" carve otherwise here.
    lumarest::CarvingOptions plain;
    plain.checks.headerHolds = [](std::string_view, std::span<const std::uint8_t>) { return true; };
    plain.checks.findEnd = [](std::string_view, std::span<const std::uint8_t>) {
        return lumarest::FormatEnd{};
    };
    plain.checks.walkFrom = [](std::string_view, std::span<const std::uint8_t>,
                               lumarest::WalkPoint&) -> std::optional<lumarest::FormatEnd> {
        return std::nullopt;
    };
    plain.checks.runsOnUnits = [](std::string_view) { return false; };
    plain.checks.markedTypes = [] { return std::span<const lumarest::MarkedType>{}; };
    lumarest::RunCarvingPass(lumarest::CarvingPass::General, list, disk, first, last, sink,
                             reporter, {}, plain);

    // Whole chunks from the first sector, clipped at the end of a disk of known size.
    std::uint64_t end = first;
    while (end < last) {
        end += kChunkSectors;
    }
    if (sizeKnown) {
        end = std::min(end, std::max(diskSectors, first));
    }
    const std::vector<Carved> expected = ReferenceCarve(list, bytes, first, last, end);
    Check(sink.files.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Check(sink.files[i].name == expected[i].name);
        Check(sink.files[i].firstSector == expected[i].firstSector);
        Check(sink.files[i].bytes == expected[i].bytes);
    }

    PieceCheckingSink pieces(bytes);
    lumarest::RunCarvingPass(lumarest::CarvingPass::General, list, disk, first, last, pieces,
                             reporter, {});
    return 0;
}
