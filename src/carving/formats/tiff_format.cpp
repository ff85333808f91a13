#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "carving/formats/known_formats.h"
#include "carving/formats/tiff_reader.h"

namespace lumarest {
namespace {

constexpr std::uint16_t kMaxIfdEntries = 4096;
constexpr std::size_t kMaxIfds = 256;
constexpr std::size_t kHeaderEntriesChecked = 8;
constexpr std::uint16_t kMaxFieldType = 18;

constexpr std::uint16_t kStripOffsets = 273;
constexpr std::uint16_t kStripByteCounts = 279;
constexpr std::uint16_t kTileOffsets = 324;
constexpr std::uint16_t kTileByteCounts = 325;
constexpr std::uint16_t kSubIfds = 330;
constexpr std::uint16_t kJpegOffset = 513;
constexpr std::uint16_t kJpegLength = 514;
constexpr std::uint16_t kExifIfd = 34665;
constexpr std::uint16_t kGpsIfd = 34853;
constexpr std::uint16_t kInteroperabilityIfd = 40965;
constexpr std::uint16_t kMake = 271;
constexpr std::uint16_t kModel = 272;
constexpr std::uint16_t kDngVersion = 50706;
// Canon's mark in a CR2 header, after the first IFD's offset.
constexpr std::size_t kCanonMarkAt = 8;

bool IsNumberType(std::uint16_t type) {
    return type == 3 || type == 4 || type == 13;
}

bool IsChildIfdTag(std::uint16_t tag) {
    return tag == kSubIfds || tag == kExifIfd || tag == kGpsIfd || tag == kInteroperabilityIfd;
}

// The first IFD, when it lies in the header's bytes, has a sane entry count and known types.
bool HeaderHolds(ByteSpan head, bool rawMagic) {
    const auto reader = TiffReader::Open(head, rawMagic);
    if (!reader) {
        return false;
    }
    const auto first = reader->FirstIfd();
    if (!first || *first < TiffReader::kHeaderSize) {
        return false;
    }
    const auto count = reader->U16(*first);
    if (!count) {
        return true;  // the IFD lies further on (writers often put it last)
    }
    if (*count == 0 || *count > kMaxIfdEntries) {
        return false;
    }
    const std::uint16_t checked = std::min<std::uint16_t>(*count, kHeaderEntriesChecked);
    for (std::uint16_t i = 0; i < checked; ++i) {
        const auto entry = reader->EntryAt(*first, i);
        if (entry && (entry->type == 0 || entry->type > kMaxFieldType)) {
            return false;
        }
    }
    return true;
}

// Offsets and byte counts given by two parallel entries (strips, tiles).
struct Pieces {
    std::optional<TiffReader::Entry> offsets;
    std::optional<TiffReader::Entry> counts;
};

class TiffWalk {
  public:
    // In a real file each IFD entry takes 12 bytes of its own and each piece four bytes of
    // offsets and counts; more than that are IFDs naming the same bytes over and over.
    explicit TiffWalk(const TiffReader& reader)
        : reader_(reader), budget_(reader.bytes().size() / 4 + 1) {}

    FormatEnd Run(std::uint32_t first) {
        if (!IfdHolds(first)) {
            // An IFD not yet read names no strips: a far offset alone, which a chance header
            // also has, says nothing of what lies between.
            return reader_.U16(first) ? NotThisFormat() : CutShort();
        }
        pending_.push_back(first);
        while (!pending_.empty() && visited_.size() < kMaxIfds) {
            const std::uint64_t ifd = pending_.back();
            pending_.pop_back();
            if (std::find(visited_.begin(), visited_.end(), ifd) != visited_.end()) {
                continue;  // a loop in the chain
            }
            visited_.push_back(ifd);
            Visit(ifd);
        }
        if (absurd_) {
            return NotThisFormat();
        }
        if (beyond_ || end_ > reader_.bytes().size()) {
            return GoesOnTo(end_);
        }
        return EndAt(end_, reader_.bytes().size());
    }

  private:
    // Cut short; the file's own offsets say it goes on at least to `end`, when past the bytes.
    FormatEnd GoesOnTo(std::uint64_t end) const {
        return {EndKind::PastBytes, end > reader_.bytes().size() ? end : 0};
    }

    bool IfdHolds(std::uint64_t ifd) const {
        const auto count = reader_.U16(ifd);
        return ifd >= TiffReader::kHeaderSize && count && *count > 0 && *count <= kMaxIfdEntries;
    }

    void Reach(std::uint64_t end) { end_ = std::max(end_, end); }

    bool Spend() {
        if (budget_ == 0) {
            absurd_ = true;
            return false;
        }
        --budget_;
        return true;
    }

    void Visit(std::uint64_t ifd) {
        const auto count = reader_.U16(ifd);
        if (!count) {
            Reach(ifd + 2);
            beyond_ = true;
            return;
        }
        if (*count == 0 || *count > kMaxIfdEntries) {
            return;  // not an IFD: ignore the pointer to it
        }
        const std::uint64_t next = ifd + 2 + std::uint64_t{*count} * TiffReader::kEntrySize;
        Reach(next + 4);
        Pieces strips;
        Pieces tiles;
        Pieces jpeg;
        for (std::uint16_t i = 0; i < *count; ++i) {
            if (!Spend()) {
                return;
            }
            const auto entry = reader_.EntryAt(ifd, i);
            if (!entry) {
                beyond_ = true;
                return;
            }
            if (TiffReader::TypeSize(entry->type) == 0) {
                continue;  // an unknown type: readers skip it
            }
            const std::uint64_t bytes = TiffReader::ValueBytes(*entry);
            if (bytes > 4) {
                Reach(*reader_.ValuesAt(*entry) + bytes);
            }
            switch (entry->tag) {
                case kStripOffsets:
                    strips.offsets = entry;
                    break;
                case kStripByteCounts:
                    strips.counts = entry;
                    break;
                case kTileOffsets:
                    tiles.offsets = entry;
                    break;
                case kTileByteCounts:
                    tiles.counts = entry;
                    break;
                case kJpegOffset:
                    jpeg.offsets = entry;
                    break;
                case kJpegLength:
                    jpeg.counts = entry;
                    break;
                default:
                    break;
            }
            if (IsChildIfdTag(entry->tag)) {
                // No more child IFDs than the walk visits in all.
                const std::uint32_t children = std::min<std::uint32_t>(entry->count, kMaxIfds);
                for (std::uint32_t v = 0; v < children && pending_.size() < kMaxIfds; ++v) {
                    const auto child = reader_.Number(*entry, v);
                    if (!child) {
                        break;
                    }
                    if (*child != 0) {
                        pending_.push_back(*child);
                    }
                }
            }
        }
        ReachPieces(strips);
        ReachPieces(tiles);
        ReachPieces(jpeg);
        const auto following = reader_.U32(next);
        if (!following) {
            beyond_ = true;
        } else if (*following != 0 && pending_.size() < kMaxIfds) {
            pending_.push_back(*following);
        }
    }

    // The end of the furthest piece. Offsets and counts each lie in the bytes at most once, so
    // the loop is bounded by the bytes.
    void ReachPieces(const Pieces& pieces) {
        if (!pieces.offsets || !pieces.counts) {
            return;
        }
        const std::uint32_t n = std::min(pieces.offsets->count, pieces.counts->count);
        for (std::uint32_t i = 0; i < n; ++i) {
            if (!Spend()) {
                return;
            }
            const auto offset = reader_.Number(*pieces.offsets, i);
            const auto length = reader_.Number(*pieces.counts, i);
            if (!offset || !length) {
                // Numbers that could not be read lie past the bytes; other types are not
                // offsets at all.
                beyond_ = beyond_ ||
                          (IsNumberType(pieces.offsets->type) && IsNumberType(pieces.counts->type));
                return;
            }
            Reach(*offset + *length);
        }
    }

    const TiffReader& reader_;
    std::vector<std::uint64_t> pending_;
    std::vector<std::uint64_t> visited_;
    std::uint64_t end_ = TiffReader::kHeaderSize;
    std::uint64_t budget_;
    bool beyond_ = false;
    bool absurd_ = false;
};

// The end of the furthest strip, tile, IFD or out-of-line value, following the IFD chain and
// the SubIFD, Exif, GPS and interoperability IFDs.
FormatEnd End(ByteSpan bytes, bool rawMagic) {
    const auto reader = TiffReader::Open(bytes, rawMagic);
    if (!reader) {
        return NotThisFormat();
    }
    const auto first = reader->FirstIfd();
    if (!first) {
        return CutShort();
    }
    return TiffWalk(*reader).Run(*first);
}

bool TiffHeaderHolds(ByteSpan head) {
    return HeaderHolds(head, false);
}
bool RawHeaderHolds(ByteSpan head) {
    return HeaderHolds(head, true);
}
FormatEnd TiffEnd(ByteSpan bytes) {
    return End(bytes, false);
}
FormatEnd RawEnd(ByteSpan bytes) {
    return End(bytes, true);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

struct MakerType {
    std::string_view make;
    std::string_view extension;
};
// Raw pictures that keep the TIFF header, told apart by their maker.
constexpr MakerType kMakerTypes[] = {
    {"NIKON", "nef"}, {"SONY", "arw"},    {"PENTAX", "pef"},    {"RICOH IMAGING", "pef"},
    {"Canon", "cr2"}, {"OLYMPUS", "orf"}, {"Panasonic", "rw2"},
};

// A camera's raw picture laid out as TIFF: DNG by its version tag, CR2 by Canon's mark, the
// others by the maker their first IFD names (a Nikon compact's is NRW); empty for a plain TIFF.
std::string_view RawTiffType(ByteSpan bytes) {
    const auto reader = TiffReader::Open(bytes);
    const auto first = reader ? reader->FirstIfd() : std::nullopt;
    const auto count = first ? reader->U16(*first) : std::nullopt;
    if (!count || *count > kMaxIfdEntries) {
        return {};
    }
    if (SpellsAt(bytes, kCanonMarkAt, "CR")) {
        return "cr2";
    }
    std::string_view make;
    std::string_view model;
    for (std::uint16_t i = 0; i < *count; ++i) {
        const auto entry = reader->EntryAt(*first, i);
        if (!entry) {
            break;
        }
        if (entry->tag == kDngVersion) {
            return "dng";
        }
        if (entry->tag == kMake) {
            make = reader->Text(*entry);
        } else if (entry->tag == kModel) {
            model = reader->Text(*entry);
        }
    }
    if (StartsWithNoCase(make, "NIKON") && StartsWithNoCase(model, "COOLPIX")) {
        return "nrw";
    }
    for (const MakerType& maker : kMakerTypes) {
        if (StartsWithNoCase(make, maker.make)) {
            return maker.extension;
        }
    }
    return {};
}

}  // namespace

const CarvedFormat kTiffFormat{TiffHeaderHolds, TiffEnd, true, RawTiffType};
// Raw pictures are shown by the JPEG preview they carry.
const CarvedFormat kRawTiffFormat{RawHeaderHolds, RawEnd, true, RawTiffType};

}  // namespace lumarest
