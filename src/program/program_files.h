#pragma once

#include <filesystem>
#include <string>

namespace lumarest {

// Where the program's read-only data (the signature files, the guide) lies for the executable
// at EXECUTABLE: the installed share/lumarest found from the executable's own folder, so a moved
// installation still works, else the executable's own folder (a build tree).
std::filesystem::path DataFolderFor(const std::filesystem::path& executable);

// DataFolderFor the running program. Both the window and the command line ask here.
std::string DataFolder();

// The version the build was made as, from the project's one version number.
const char* ProgramVersion();

}  // namespace lumarest
