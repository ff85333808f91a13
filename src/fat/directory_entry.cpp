#include "fat/directory_entry.h"

#include <algorithm>
#include <array>
#include <vector>

namespace lumarest {
namespace {

constexpr std::size_t kNameBytes = 8;
constexpr std::size_t kExtensionOffset = 8;
constexpr std::size_t kExtensionBytes = 3;
constexpr std::size_t kAttributeOffset = 11;
// Windows NT and Linux keep a short-only name typed in lower case as upper case bytes and say
// so here, per part.
constexpr std::size_t kCaseOffset = 12;
constexpr std::uint8_t kLowerCaseName = 0x08;
constexpr std::uint8_t kLowerCaseExtension = 0x10;
constexpr std::uint8_t kLowerCaseShift = 'a' - 'A';
constexpr std::size_t kClusterHighOffset = 20;
constexpr std::size_t kClusterLowOffset = 26;
// A first byte 0x05 stores a real lead byte 0xE5, which would read as the deleted mark.
constexpr std::uint8_t kEscapedLeadByte = 0x05;
constexpr std::uint8_t kLastLongNameEntry = 0x40;
// Each long-name entry carries the checksum of the 11 bytes of the short entry it belongs to.
constexpr std::size_t kLongNameChecksumOffset = 13;
constexpr std::size_t kShortNameBytes = 11;
constexpr std::array<std::size_t, kLongNameEntryChars> kLongNameCharOffsets{
    1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr std::string_view kRefusedCharacters = "\"\\/?*<>|";
constexpr char32_t kFirstPrintable = 32;
constexpr char32_t kFirstNonAscii = 128;
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kLowSurrogateLast = 0xDFFF;
// Never written as text; 0xFFFF is the padding after a name's end.
constexpr char32_t kNonCharacterFirst = 0xFFFE;
constexpr char32_t kNonCharacterLast = 0xFFFF;

bool IsHighSurrogate(char16_t unit) {
    return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= kLowSurrogateFirst && unit <= kLowSurrogateLast;
}

// The characters of UTF-16 text; nothing when a surrogate has no partner.
std::optional<std::u32string> DecodeUtf16(std::u16string_view units) {
    std::u32string characters;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            characters.push_back(0x10000 + ((char32_t{unit} - kHighSurrogateFirst) << 10) +
                                 (char32_t{units[i + 1]} - kLowSurrogateFirst));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            return std::nullopt;
        } else {
            characters.push_back(unit);
        }
    }
    return characters;
}

bool IsRefusedCharacter(char32_t c) {
    return (c > 0 && c < kFirstPrintable) ||
           (c < kFirstNonAscii &&
            kRefusedCharacters.find(static_cast<char>(c)) != std::string_view::npos) ||
           (c >= kNonCharacterFirst && c <= kNonCharacterLast);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Only ASCII letters change case: a code-page byte is shown as stored.
void AppendWithoutSpaces(std::string& out, ByteSpan bytes, bool lowerCase) {
    for (std::uint8_t byte : bytes) {
        if (byte == ' ') {
            continue;
        }
        if (lowerCase && byte >= 'A' && byte <= 'Z') {
            byte = static_cast<std::uint8_t>(byte + kLowerCaseShift);
        }
        out.push_back(static_cast<char>(byte));
    }
}

// The sector a backward walk reads its entries from: the caller's, then earlier ones.
class BackwardSectors {
  public:
    BackwardSectors(const LongNameSource& source, ByteSpan sector, std::uint64_t sectorNumber)
        : source_(source), sector_(sector), sectorNumber_(sectorNumber) {}

    ByteSpan Current() const { return sector_; }

    // Moves to the directory's sector before; false when that would leave the directory or
    // the volume, or cannot be read.
    bool StepBack() {
        if (source_.disk == nullptr) {
            return false;
        }
        std::uint64_t previous = sectorNumber_ == 0 ? kNoPreviousSector : sectorNumber_ - 1;
        if (const auto link = source_.previousSector.find(sectorNumber_);
            link != source_.previousSector.end()) {
            previous = link->second;
        }
        if (previous == kNoPreviousSector || previous < source_.lowestSector) {
            return false;
        }
        sectorNumber_ = previous;
        copy_.assign(kSectorSize, 0);
        if (source_.disk->ReadSectors(sectorNumber_, 1, copy_.data()) == 0) {
            return false;
        }
        sector_ = ByteSpan(copy_.data(), copy_.size());
        return true;
    }

  private:
    const LongNameSource& source_;
    ByteSpan sector_;
    std::uint64_t sectorNumber_;
    std::vector<std::uint8_t> copy_;
};

}  // namespace

ByteSpan EntryAt(ByteSpan sector, std::size_t offset) {
    return SliceOrEmpty(sector, offset, kDirectoryEntrySize);
}

bool IsEndOfDirectory(ByteSpan entry) {
    return LoadLe8(entry, 0).value_or(0) == 0;
}

bool IsLongNameEntry(ByteSpan entry) {
    return LoadLe8(entry, kAttributeOffset) == kLongNameAttribute;
}

bool IsSkippedEntry(ByteSpan entry) {
    return (LoadLe8(entry, 0) == '.' && LoadLe8(entry, 3) == ' ') || IsLongNameEntry(entry);
}

std::uint32_t EntryFirstCluster(ByteSpan entry, std::string_view fsName) {
    const std::uint32_t low = LoadLe16(entry, kClusterLowOffset).value_or(0);
    if (fsName == "FAT16") {
        return low;
    }
    if (fsName == "FAT32") {
        return (std::uint32_t{LoadLe16(entry, kClusterHighOffset).value_or(0)} << 16) | low;
    }
    return 0;
}

ShortName ShortNameOf(ByteSpan entry) {
    ShortName result;
    const std::uint8_t caseBits = LoadLe8(entry, kCaseOffset).value_or(0);
    AppendWithoutSpaces(result.name, SliceOrEmpty(entry, 0, kNameBytes),
                        (caseBits & kLowerCaseName) != 0);
    const ByteSpan extension = SliceOrEmpty(entry, kExtensionOffset, kExtensionBytes);
    if (!extension.empty() && extension[0] != ' ') {
        result.name.push_back('.');
        AppendWithoutSpaces(result.name, extension, (caseBits & kLowerCaseExtension) != 0);
    }
    // A name byte 0 ends the name, as it ends any text the entry is shown as.
    result.name.erase(std::min(result.name.find('\0'), result.name.size()));
    if (!result.name.empty() && static_cast<std::uint8_t>(result.name[0]) == kDeletedEntryMark) {
        result.name[0] = '_';
        result.deleted = true;
    } else if (!result.name.empty() &&
               static_cast<std::uint8_t>(result.name[0]) == kEscapedLeadByte) {
        result.name[0] = static_cast<char>(kDeletedEntryMark);
    }
    return result;
}

std::uint8_t ShortNameChecksum(ByteSpan entry) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < kShortNameBytes && i < entry.size(); ++i) {
        sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + entry[i]);
    }
    return sum;
}

std::optional<std::u16string> LongNameOf(const LongNameSource& source, ByteSpan sector,
                                         std::size_t entryOffset, std::uint64_t sectorNumber) {
    // A live entry's name is whole, so its checksum is known; a deleted one lost its first
    // byte, and only the long-name entries agreeing with each other is left to check.
    const ByteSpan shortEntry = EntryAt(sector, entryOffset);
    std::optional<std::uint8_t> checksum;
    if (shortEntry.size() == kDirectoryEntrySize && shortEntry[0] != kDeletedEntryMark) {
        checksum = ShortNameChecksum(shortEntry);
    }
    BackwardSectors sectors(source, sector, sectorNumber);
    std::u16string name;
    std::size_t offset = entryOffset;
    for (std::uint8_t pos = 1; name.size() <= kLongNameLimit; ++pos) {
        bool haveEntry = true;
        if (offset < kDirectoryEntrySize) {
            haveEntry = sectors.StepBack();
            offset = kSectorSize - kDirectoryEntrySize;
        } else {
            offset -= kDirectoryEntrySize;
        }
        const ByteSpan entry = haveEntry ? EntryAt(sectors.Current(), offset) : ByteSpan{};
        if (!IsLongNameEntry(entry)) {
            if (!name.empty() && name.size() % kLongNameEntryChars == 0) {
                return name;
            }
            return std::nullopt;
        }
        // A set written for another short entry names another file.
        if (!checksum) {
            checksum = entry[kLongNameChecksumOffset];
        } else if (entry[kLongNameChecksumOffset] != *checksum) {
            return std::nullopt;
        }
        for (const std::size_t charOffset : kLongNameCharOffsets) {
            const char16_t unit = LoadLe16(entry, charOffset).value_or(0);
            if (unit == 0) {
                return name;
            }
            name.push_back(unit);
        }
        if (entry[0] == kLastLongNameEntry + pos) {
            return name;
        }
    }
    return name;
}

std::optional<std::string> ShortNameText(std::string_view bytes, const OemCodePage& codePage) {
    std::string text;
    for (const char byte : bytes) {
        const std::optional<char32_t> c = codePage.Decode(static_cast<std::uint8_t>(byte));
        if (!c || IsRefusedCharacter(*c)) {
            return std::nullopt;
        }
        AppendUtf8(text, *c);
    }
    return text;
}

bool IsValidLongName(std::u16string_view name) {
    const std::optional<std::u32string> characters = DecodeUtf16(name);
    if (!characters) {
        return false;
    }
    for (const char32_t c : *characters) {
        if (IsRefusedCharacter(c)) {
            return false;
        }
    }
    return true;
}

std::string LongNameToUtf8(std::u16string_view name) {
    std::string out;
    for (const char32_t c : DecodeUtf16(name).value_or(std::u32string{})) {
        AppendUtf8(out, c);
    }
    return out;
}

std::optional<EntryNameResult> EntryName(const LongNameSource& source, ByteSpan sector,
                                         std::size_t entryOffset, std::uint64_t sectorNumber) {
    const ShortName shortName = ShortNameOf(EntryAt(sector, entryOffset));
    const std::optional<std::u16string> longName =
        LongNameOf(source, sector, entryOffset, sectorNumber);
    // A long name is the entry's real name. An empty one says nothing, and one the name test
    // refuses is damaged: the short name still names the file, so it is not lost.
    if (longName && !longName->empty() && IsValidLongName(*longName)) {
        return EntryNameResult{LongNameToUtf8(*longName), shortName.deleted};
    }
    if (shortName.name.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> text = ShortNameText(shortName.name, source.codePage);
    if (!text) {
        return std::nullopt;
    }
    return EntryNameResult{std::move(*text), shortName.deleted};
}

}  // namespace lumarest
