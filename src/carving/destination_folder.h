#pragma once

#include <optional>
#include <string>

#include "core/new_file.h"

namespace lumarest {

// Opens the folder recovered files are to be saved into, once, and checks what was opened:
// every check asks the open folder, never its path again, and the files are then written
// through this very handle, so a path swapped for a link in between leads nowhere. Nothing,
// with the message to show in `refusal`, when the folder may not take the files (see
// CheckDestinationFolder).
std::optional<FolderHandle> OpenDestinationFolder(const std::string& path,
                                                  const std::string& sourceDevicePath,
                                                  std::string& refusal);

// The message to show when files may not be saved into the open `folder` (named `shownPath`
// to the user): it cannot be written, lies among devices or kernel settings (below /dev, /proc
// or /sys, or on such a file system), or lies on the disk being searched (`sourceDevicePath`),
// where saving would overwrite what is being recovered. Nothing when the folder is fine.
std::optional<std::string> CheckDestinationFolder(const FolderHandle& folder,
                                                  const std::string& shownPath,
                                                  const std::string& sourceDevicePath);

// The same for the folder at `path`, opened for the check alone: also refuses an empty path,
// a path that does not exist and one that is no folder. For judging what the user typed; the
// saving itself opens the folder with OpenDestinationFolder.
std::optional<std::string> CheckDestinationFolder(const std::string& path,
                                                  const std::string& sourceDevicePath);

}  // namespace lumarest
