#pragma once

#include <string>
#include <vector>

namespace lumarest {

// Whether the window may write its settings file at `filePath`: it has one (an absolute
// configuration folder was found) and its folder does not lie on any disk being searched
// (`searchedSources`: device paths and image files), where a write could overwrite what the
// user came to recover.
bool SettingsMayBeWritten(const std::string& filePath,
                          const std::vector<std::string>& searchedSources);

}  // namespace lumarest
