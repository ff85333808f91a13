#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

struct ActiveVolume;
class SectorSource;

inline constexpr const char* kTempFilePrefix = "LMRC";

// "LMRC" + counter + "." + the name's text after its first dot ("LMRC0.jpg" for photo.jpg,
// "LMRC1.tar.gz" for backup.tar.gz, "LMRC3.README" for README).
std::string TempFileName(std::uint32_t counter, std::string_view name);

// The folder, a "/" unless it already ends in one, and the name.
std::string TempFilePath(const std::string& folder, const std::string& name);

// Creates every folder along `path`; folders that exist already are fine. False when the
// path is still not a folder afterwards.
bool CreateFolderPath(const std::string& path);

enum class RecoveredFileStatus {
    Written,
    Incomplete,   // fewer bytes could be found than the file's size; what was found was written
    NoData,       // nothing of the file could be located
    WriteFailed,  // the target could not be created or written
};

// Writes at most `size` bytes of a FAT file from `firstCluster` along its cluster chain. A
// live file ends with its chain. Where a deleted file's chain ends early (its clusters were
// freed), the clusters that follow the last one found are taken in order, as a file written
// in one piece lies, while the FAT marks them free. Nothing is added past what was found.
RecoveredFileStatus WriteFatFileData(const ActiveVolume& volume, SectorSource& disk,
                                     std::uint32_t firstCluster, std::uint64_t size, bool deleted,
                                     std::ostream& out);

}  // namespace lumarest
