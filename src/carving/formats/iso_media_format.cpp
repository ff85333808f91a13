#include <algorithm>
#include <string_view>

#include "carving/formats/iso_media_reach.h"
#include "carving/formats/known_formats.h"
#include "core/le_bytes.h"

// Pictures and clips made of boxes: HEIC, AVIF, MP4, MOV, M4V, 3GP and CR3. A box is a 32-bit
// big-endian size (1: a 64-bit size follows the type; 0: it runs to the end of the file), a
// four-letter type, then its contents.
namespace lumarest {
namespace {

constexpr std::size_t kBoxHeaderBytes = 8;
constexpr std::size_t kLargeBoxHeaderBytes = 16;
constexpr std::uint32_t kSizeRunsToTheEnd = 0;
constexpr std::uint32_t kSizeIsLarge = 1;
// No box of a real file is larger; one that says so is no box.
constexpr std::uint64_t kMostBoxBytes = 1ull << 40;
// More top-level boxes than any real file has: the walk stops there.
constexpr std::size_t kMostTopLevelBoxes = 1u << 16;
constexpr std::size_t kBrandAt = 8;
constexpr std::size_t kCompatibleBrandsAt = 16;
constexpr std::size_t kBrandBytes = 4;
// A `ftyp` box holding more than this is no real one.
constexpr std::uint64_t kMostFtypBytes = 4096;

// Boxes that real files keep at their top level.
constexpr std::string_view kTopLevelBoxes[] = {
    "ftyp", "moov", "mdat", "meta", "free", "skip", "wide", "uuid", "moof", "mfra",
    "sidx", "styp", "ssix", "prft", "emsg", "pdin", "udta", "pnot", "PICT", "junk",
};

struct BrandType {
    std::string_view brand;
    std::string_view extension;
};

// Brands that name a type, major brand first; a plain image-file brand (mif1, msf1) leaves the
// choice to the compatible brands, and is a HEIC picture when none chooses.
constexpr BrandType kBrandTypes[] = {
    {"heic", "heic"}, {"heix", "heic"}, {"heim", "heic"}, {"heis", "heic"}, {"hevc", "heic"},
    {"hevx", "heic"}, {"avif", "avif"}, {"avis", "avif"}, {"crx ", "cr3"},  {"qt  ", "mov"},
    {"M4V ", "m4v"},  {"M4VH", "m4v"},  {"M4VP", "m4v"},  {"3gp4", "3gp"},  {"3gp5", "3gp"},
    {"3gp6", "3gp"},  {"isom", "mp4"},  {"iso2", "mp4"},  {"iso4", "mp4"},  {"iso5", "mp4"},
    {"iso6", "mp4"},  {"mp41", "mp4"},  {"mp42", "mp4"},  {"avc1", "mp4"},  {"dash", "mp4"},
    {"MSNV", "mp4"},  {"XAVC", "mp4"},  {"M4A ", "m4a"},
};
constexpr std::string_view kImageFileBrands[] = {"mif1", "msf1"};

bool IsFourCharacterCode(ByteSpan bytes, std::size_t at) {
    if (at + kBrandBytes > bytes.size()) {
        return false;
    }
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + kBrandBytes),
                       [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

std::string_view CodeAt(ByteSpan bytes, std::size_t at) {
    return {reinterpret_cast<const char*>(bytes.data() + at), kBrandBytes};
}

bool IsTopLevelBox(std::string_view type) {
    return std::find(std::begin(kTopLevelBoxes), std::end(kTopLevelBoxes), type) !=
           std::end(kTopLevelBoxes);
}

// The extension a brand names, or empty.
std::string_view TypeOfBrand(std::string_view brand) {
    for (const BrandType& entry : kBrandTypes) {
        if (entry.brand == brand) {
            return entry.extension;
        }
    }
    return {};
}

struct Box {
    std::string_view type;
    std::uint64_t size = 0;  // 0: runs to the end of the file
    std::size_t headerBytes = kBoxHeaderBytes;
};

enum class BoxRead { Read, CutShort, Broken };

// The box header at `at`: cut short when its bytes are not all there, broken when it is no
// box header at all.
BoxRead ReadBox(ByteSpan bytes, std::uint64_t at, Box& box) {
    if (at + kBoxHeaderBytes > bytes.size()) {
        return BoxRead::CutShort;
    }
    const auto offset = static_cast<std::size_t>(at);
    if (!IsFourCharacterCode(bytes, offset + 4)) {
        return BoxRead::Broken;
    }
    box.type = CodeAt(bytes, offset + 4);
    const std::uint32_t size = *LoadBe32(bytes, offset);
    box.headerBytes = kBoxHeaderBytes;
    if (size == kSizeRunsToTheEnd) {
        box.size = 0;
        return BoxRead::Read;
    }
    if (size == kSizeIsLarge) {
        if (at + kLargeBoxHeaderBytes > bytes.size()) {
            return BoxRead::CutShort;
        }
        box.size = *LoadBe64(bytes, offset + kBoxHeaderBytes);
        box.headerBytes = kLargeBoxHeaderBytes;
    } else {
        box.size = size;
    }
    if (box.size < box.headerBytes || box.size > kMostBoxBytes) {
        return BoxRead::Broken;
    }
    return BoxRead::Read;
}

// The `ftyp` box at the start: a sane size and a printable major brand.
bool FtypHolds(ByteSpan head) {
    Box box;
    if (ReadBox(head, 0, box) != BoxRead::Read || box.type != "ftyp") {
        return false;
    }
    return box.size >= kBrandAt + kBrandBytes && box.size <= kMostFtypBytes &&
           IsFourCharacterCode(head, kBrandAt);
}

// What a file's boxes say of its type: the major brand, else the first compatible brand that
// names one; a QuickTime movie may start with a box other than `ftyp`.
std::string_view IsoMediaType(ByteSpan bytes) {
    Box box;
    if (ReadBox(bytes, 0, box) != BoxRead::Read) {
        return {};
    }
    if (box.type != "ftyp") {
        return IsTopLevelBox(box.type) ? "mov" : std::string_view{};
    }
    if (box.size < kBrandAt + kBrandBytes || !IsFourCharacterCode(bytes, kBrandAt)) {
        return {};
    }
    const std::string_view major = CodeAt(bytes, kBrandAt);
    if (const std::string_view type = TypeOfBrand(major); !type.empty()) {
        return type;
    }
    const std::uint64_t ftypEnd = std::min<std::uint64_t>(box.size, bytes.size());
    for (std::uint64_t at = kCompatibleBrandsAt; at + kBrandBytes <= ftypEnd; at += kBrandBytes) {
        const auto offset = static_cast<std::size_t>(at);
        if (IsFourCharacterCode(bytes, offset)) {
            if (const std::string_view type = TypeOfBrand(CodeAt(bytes, offset)); !type.empty()) {
                return type;
            }
        }
    }
    const bool imageFile = std::find(std::begin(kImageFileBrands), std::end(kImageFileBrands),
                                     major) != std::end(kImageFileBrands);
    return imageFile ? "heic" : std::string_view{};
}

// Pictures keep what they show in a `meta` box, clips in a `moov` (or, fragmented, `moof`).
bool IsEssentialBox(std::string_view type) {
    return type == "moov" || type == "meta" || type == "moof";
}

// The file's end after whole boxes up to `at`, when a box holding what it shows was among them:
// found, unless that box points at media past `at` (the boxes after it were overwritten).
FormatEnd EndAfterBoxes(std::uint64_t at, std::uint64_t available, const WalkPoint& point) {
    if (!point.keyUnitSeen || point.reach > at) {
        return CutShort();
    }
    return EndAt(at, available);
}

// Walks the top-level boxes from `point`: the file ends with the last whole box of a known
// type, when a box holding what the file shows was among them and its media lie before that
// end. A box whose size runs past the bytes says the file goes on at least that far, and the
// walk goes on from its end.
FormatEnd IsoMediaWalk(ByteSpan bytes, WalkPoint& point) {
    const std::uint64_t base = point.at;
    const std::uint64_t available = base + bytes.size();
    std::uint64_t at = 0;  // from `base`
    while (point.units < kMostTopLevelBoxes) {
        Box box;
        const BoxRead read = ReadBox(bytes, at, box);
        if (read == BoxRead::CutShort) {
            // Bytes that stop right after a whole file (its end on a sector's) are the file.
            return at == bytes.size() ? EndAfterBoxes(base + at, available, point) : CutShort();
        }
        if (read == BoxRead::Broken || !IsTopLevelBox(box.type)) {
            if (point.units == 0) {
                return NotThisFormat();
            }
            return EndAfterBoxes(base + at, available, point);
        }
        if (box.size == 0) {
            return FormatEnd{};  // it runs to where the file ends: nothing tells where
        }
        ++point.units;
        point.keyUnitSeen = point.keyUnitSeen || IsEssentialBox(box.type);
        point.at = base + at + box.size;
        if (at + box.size > bytes.size()) {
            return {EndKind::PastBytes, point.at};
        }
        if (IsEssentialBox(box.type)) {
            const auto start = static_cast<std::size_t>(at + box.headerBytes);
            const auto size = static_cast<std::size_t>(box.size - box.headerBytes);
            point.reach = std::max(point.reach, MediaReach(box.type, bytes.subspan(start, size)));
        }
        at += box.size;
    }
    return EndAfterBoxes(base + at, available, point);
}

FormatEnd IsoMediaEnd(ByteSpan bytes) {
    WalkPoint point;
    return IsoMediaWalk(bytes, point);
}

}  // namespace

const CarvedFormat kIsoMediaFormat{FtypHolds, IsoMediaEnd, false, IsoMediaType, IsoMediaWalk};
const CarvedFormat kIsoPictureFormat{FtypHolds, IsoMediaEnd, true, IsoMediaType, IsoMediaWalk};

}  // namespace lumarest
