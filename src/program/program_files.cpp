#include "program/program_files.h"

#include <system_error>

// LUMAREST_VERSION and LUMAREST_DATA_FROM_BIN come from the build: the project's version and
// the install layout's path from its bin folder to its data folder.

namespace lumarest {

std::filesystem::path DataFolderFor(const std::filesystem::path& executable) {
    const std::filesystem::path programFolder = executable.parent_path();
    const std::filesystem::path installed =
        (programFolder / LUMAREST_DATA_FROM_BIN).lexically_normal();
    std::error_code error;
    if (std::filesystem::is_directory(installed, error)) {
        return installed;
    }
    return programFolder;
}

std::string DataFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return ".";
    }
    return DataFolderFor(executable).string();
}

const char* ProgramVersion() {
    return LUMAREST_VERSION;
}

}  // namespace lumarest
