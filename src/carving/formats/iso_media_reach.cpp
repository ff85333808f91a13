#include "carving/formats/iso_media_reach.h"

#include <algorithm>
#include <optional>

// A picture's item locations (meta/iloc) and a clip's chunk offsets (moov/trak/mdia/minf/stbl,
// stco or co64) name where in the file their media lie: a file whose boxes stop before that is
// broken off, however whole its first boxes are.
namespace lumarest {
namespace {

constexpr std::size_t kBoxHeaderBytes = 8;
constexpr std::size_t kFullBoxBytes = 4;   // version and flags
constexpr std::uint16_t kFileOffsets = 0;  // an item's construction method: offsets in the file
constexpr std::uint16_t kThisFile = 0;     // a data reference: the file itself

// Calls `visit` with the contents of each box of `type` among the boxes that fill `bytes`.
template <typename Visit>
void EachBox(ByteSpan bytes, std::string_view type, Visit visit) {
    std::size_t at = 0;
    while (at + kBoxHeaderBytes <= bytes.size()) {
        const std::uint32_t size = *LoadBe32(bytes, at);
        if (size < kBoxHeaderBytes || size > bytes.size() - at) {
            return;
        }
        if (SpellsAt(bytes, at + 4, type)) {
            visit(bytes.subspan(at + kBoxHeaderBytes, size - kBoxHeaderBytes));
        }
        at += size;
    }
}

// A number of 0, 4 or 8 bytes (0: the number is 0), read at `at`, which moves past it.
std::optional<std::uint64_t> Sized(ByteSpan bytes, std::size_t& at, unsigned size) {
    std::optional<std::uint64_t> value;
    if (size == 0) {
        value = 0;
    } else if (size == 4) {
        value = LoadBe32(bytes, at);
    } else if (size == 8) {
        value = LoadBe64(bytes, at);
    } else if (size == 2) {
        value = LoadBe16(bytes, at);
    }
    at += size;
    return value;
}

// The end of the furthest extent of an item stored in the file itself.
std::uint64_t ItemReach(ByteSpan iloc) {
    const auto version = LoadBe<std::uint8_t>(iloc, 0);
    const auto sizes = LoadBe16(iloc, kFullBoxBytes);
    if (!version || !sizes || *version > 2) {
        return 0;
    }
    const unsigned offsetSize = *sizes >> 12;
    const unsigned lengthSize = (*sizes >> 8) & 0xF;
    const unsigned baseSize = (*sizes >> 4) & 0xF;
    const unsigned indexSize = *version == 0 ? 0 : *sizes & 0xF;
    const unsigned idSize = *version < 2 ? 2 : 4;
    std::size_t at = kFullBoxBytes + 2;
    const auto items = Sized(iloc, at, idSize);
    std::uint64_t reach = 0;
    for (std::uint64_t item = 0; items && item < *items; ++item) {
        at += idSize;
        std::optional<std::uint64_t> method = kFileOffsets;
        if (*version > 0) {
            method = Sized(iloc, at, 2);
        }
        const auto reference = Sized(iloc, at, 2);
        const auto base = Sized(iloc, at, baseSize);
        const auto extents = Sized(iloc, at, 2);
        if (!method || !reference || !base || !extents) {
            return reach;
        }
        for (std::uint64_t e = 0; e < *extents; ++e) {
            at += indexSize;
            const auto offset = Sized(iloc, at, offsetSize);
            const auto length = Sized(iloc, at, lengthSize);
            if (!offset || !length) {
                return reach;
            }
            if ((*method & 0xF) == kFileOffsets && *reference == kThisFile) {
                reach = std::max(reach, *base + *offset + *length);
            }
        }
    }
    return reach;
}

// Just past the start of the furthest chunk a track's chunk offsets name.
std::uint64_t ChunkReach(ByteSpan table, unsigned offsetSize) {
    std::size_t at = kFullBoxBytes;
    const auto count = Sized(table, at, 4);
    std::uint64_t reach = 0;
    for (std::uint64_t i = 0; count && i < *count; ++i) {
        const auto offset = Sized(table, at, offsetSize);
        if (!offset) {
            break;
        }
        reach = std::max(reach, *offset + 1);
    }
    return reach;
}

std::uint64_t MovieReach(ByteSpan moov) {
    std::uint64_t reach = 0;
    EachBox(moov, "trak", [&](ByteSpan trak) {
        EachBox(trak, "mdia", [&](ByteSpan mdia) {
            EachBox(mdia, "minf", [&](ByteSpan minf) {
                EachBox(minf, "stbl", [&](ByteSpan stbl) {
                    EachBox(stbl, "stco",
                            [&](ByteSpan stco) { reach = std::max(reach, ChunkReach(stco, 4)); });
                    EachBox(stbl, "co64",
                            [&](ByteSpan co64) { reach = std::max(reach, ChunkReach(co64, 8)); });
                });
            });
        });
    });
    return reach;
}

}  // namespace

std::uint64_t MediaReach(std::string_view type, ByteSpan contents) {
    if (type == "moov") {
        return MovieReach(contents);
    }
    if (type == "meta" && contents.size() > kFullBoxBytes) {
        std::uint64_t reach = 0;
        EachBox(contents.subspan(kFullBoxBytes), "iloc",
                [&](ByteSpan iloc) { reach = std::max(reach, ItemReach(iloc)); });
        return reach;
    }
    return 0;
}

}  // namespace lumarest
