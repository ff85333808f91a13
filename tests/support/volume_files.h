#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/recovery_run.h"
#include "volume/rebuilt_volume.h"

namespace lumarest::testing {

// The files of one folder of the run's volume, each row with what identifies its file.
inline std::vector<std::pair<FileListRow, FileRef>> VolumeFiles(RecoveryRun& run,
                                                                SectorSource& disk,
                                                                std::uint32_t folderId) {
    std::vector<std::pair<FileListRow, FileRef>> files;
    if (const auto volume = OpenRebuiltVolume(run, disk)) {
        volume->ForEachFile(folderId, [&](const FileListRow& row, const FileRef& file) {
            files.emplace_back(row, file);
        });
    }
    return files;
}

}  // namespace lumarest::testing
