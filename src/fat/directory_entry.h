#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/le_bytes.h"
#include "core/oem_code_page.h"
#include "core/sector_source.h"

namespace lumarest {

inline constexpr std::size_t kDirectoryEntrySize = 32;
inline constexpr std::size_t kEntriesPerSector = kSectorSize / kDirectoryEntrySize;
inline constexpr std::uint8_t kLongNameAttribute = 0x0F;
inline constexpr std::uint8_t kDeletedEntryMark = 0xE5;
// A long name is taken until it has more than this many characters; one more long-name entry
// can follow, so a name holds at most 255 + 13.
inline constexpr std::size_t kLongNameLimit = 255;
inline constexpr std::size_t kLongNameEntryChars = 13;

// Marks a directory's first sector in `LongNameSource::previousSector`: nothing of the
// directory lies before it.
inline constexpr std::uint64_t kNoPreviousSector = UINT64_MAX;

// Where a backward long-name walk may read earlier sectors from: never below `lowestSector`
// (the volume's first sector). Without a disk the walk stays in the sector it was given.
// Short names are read through `codePage`.
// A directory's clusters need not lie in order on the disk: `previousSector` maps the first
// sector of such a cluster to the last sector of the cluster before it in the chain. Any
// other sector's predecessor is the sector just before it.
struct LongNameSource {
    SectorSource* disk = nullptr;
    std::uint64_t lowestSector = 0;
    std::unordered_map<std::uint64_t, std::uint64_t> previousSector = {};
    OemCodePage codePage = {};
};

// The 32-byte entry at `offset`, or an empty span when it does not fit.
ByteSpan EntryAt(ByteSpan sector, std::size_t offset);

// First byte 0: no entries follow in this directory.
bool IsEndOfDirectory(ByteSpan entry);
// The "." and ".." entries and long-name entries.
bool IsSkippedEntry(ByteSpan entry);
bool IsLongNameEntry(ByteSpan entry);

// FAT16: the word at 26; FAT32 also the high word at 20. Any other file system: 0.
std::uint32_t EntryFirstCluster(ByteSpan entry, std::string_view fsName);

struct ShortName {
    std::string name;
    bool deleted = false;
};
// The 8.3 name's bytes without its spaces, "_" in place of the deleted mark and 0xE5 in place
// of a first byte 0x05 (how a live name starting with code-page byte 0xE5 is stored). The
// letters A to Z of the name or the extension are in lower case where the entry's case bits
// say so, as Windows and Linux show such a name ("notes.txt", "README.txt").
ShortName ShortNameOf(ByteSpan entry);

// The checksum of a short entry's 11 name bytes that its long-name entries carry.
std::uint8_t ShortNameChecksum(ByteSpan entry);

// The UTF-16 characters of the long name before the short entry at `entryOffset` of `sector`
// (sector number `sectorNumber`), or nothing when the entries before it do not form one or
// carry another entry's checksum (a live entry's own, or for a deleted one, each other's).
std::optional<std::u16string> LongNameOf(const LongNameSource& source, ByteSpan sector,
                                         std::size_t entryOffset, std::uint64_t sectorNumber);

// A short name's bytes as UTF-8, read through the code page; nothing when a byte has no
// character there or a character is refused as in a long name.
std::optional<std::string> ShortNameText(std::string_view bytes, const OemCodePage& codePage);
// The name test on decoded characters: beyond ASCII is allowed, but not a control character
// (1 to 31), any of " \ / ? * < > |, an unpaired surrogate or a non-character.
bool IsValidLongName(std::u16string_view name);
// UTF-8 of UTF-16 text; surrogate pairs become one character.
std::string LongNameToUtf8(std::u16string_view name);

struct EntryNameResult {
    std::string name;
    bool deleted = false;
};
// The name an entry gives its file or folder: its long name when it has one that passes the
// name test, else its short name; nothing when the short name is garbage too.
std::optional<EntryNameResult> EntryName(const LongNameSource& source, ByteSpan sector,
                                         std::size_t entryOffset, std::uint64_t sectorNumber);

}  // namespace lumarest
