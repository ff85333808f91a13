#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

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

}  // namespace lumarest
