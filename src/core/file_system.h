#pragma once

#include <optional>
#include <string_view>

namespace lumarest {

// The file systems a partition or a rebuilt volume can hold. A volume whose name is none of
// them holds nothing Lumarest can browse: it is kept as an empty optional. An exFAT partition
// is listed by its name, but its folders are not rebuilt: every search but the Raw one refuses it.
enum class FileSystem { Fat16, Fat32, Ntfs, ExFat };

// "FAT16", "FAT32", "NTFS" or "exFAT": the only place a file system becomes text.
std::string_view FileSystemName(FileSystem fileSystem);
// The file system a shown name stands for, or nothing for any other text.
std::optional<FileSystem> FileSystemNamed(std::string_view name);

inline bool IsFat(std::optional<FileSystem> fileSystem) {
    return fileSystem == FileSystem::Fat16 || fileSystem == FileSystem::Fat32;
}

}  // namespace lumarest
