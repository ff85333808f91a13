#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <span>

#include "core/le_bytes.h"
#include "ntfs/mft_record.h"

namespace lumarest {

class SectorSource;

enum class NameSpace : std::uint8_t { Posix = 0, Win32 = 1, Dos = 2, Win32AndDos = 3 };

// The order names are asked for: long names first, the short DOS name last. Volumes written
// on Linux name their files in the POSIX namespace only; those names are full names too.
inline constexpr std::array<NameSpace, 4> kNameSpaceOrder{NameSpace::Win32, NameSpace::Win32AndDos,
                                                          NameSpace::Posix, NameSpace::Dos};

struct FileNameInfo {
    std::string name;                // UTF-8
    std::uint32_t parent = 0;        // low half of the parent directory's record number
    std::uint64_t creationTime = 0;  // 100 ns units since 1601, as stored
    NameSpace nameSpace = NameSpace::Posix;
};

// Decodes the content of a $FILE_NAME attribute; nothing when the content is too short for
// the name it announces.
std::optional<FileNameInfo> ParseFileName(ByteSpan content);

// The first unnamed resident $FILE_NAME of `nameSpace` in a fixed-up record.
std::optional<FileNameInfo> FindFileName(ByteSpan record, NameSpace nameSpace);

// Every unnamed resident $FILE_NAME of a fixed-up record, in record order: hard links
// included.
void CollectFileNames(ByteSpan record, std::vector<FileNameInfo>& names);

// Reads the record at `recordSector` (of `recordSectors` sectors), fixes it up and looks for
// its name of `nameSpace`.
std::optional<FileNameInfo> ReadFileName(SectorSource& source, std::uint64_t recordSector,
                                         NameSpace nameSpace,
                                         std::uint32_t recordSectors = kMftRecordSectors);

// The name a file is listed under, from its records (its own first, then its extension
// records): the first name of the first namespace of kNameSpaceOrder found in any of them,
// so a long name in an extension record wins over a short one in the file's own record.
std::optional<FileNameInfo> RecordName(std::span<const MftRecordBuffer> records);

// Every name a file is reached by (its hard links), RecordName's first, then the others in
// record order: each long or POSIX name with its own parent. A short DOS name is the twin of
// the long name in the same folder, not a link of its own; it counts only where that folder
// holds no long name of the file. Empty when the records hold no name.
std::vector<FileNameInfo> RecordLinks(std::span<const MftRecordBuffer> records);

}  // namespace lumarest
