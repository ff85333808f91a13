#include "volume/rebuilt_volume.h"

#include <optional>

#include "core/new_file.h"
#include "core/recovery_run.h"
#include "volume/file_system_room.h"

namespace lumarest {

std::unique_ptr<RebuiltVolume> OpenRebuiltVolume(RecoveryRun& run, SectorSource& disk) {
    const std::optional<FileSystem> fileSystem = run.activeVolume.fileSystem;
    return fileSystem ? RoomFor(*fileSystem).OpenVolume(run, disk) : nullptr;
}

RecoveredFileStatus WriteListedFile(RecoveryRun& run, SectorSource& disk, const FileRef& file,
                                    std::ostream& out) {
    const std::unique_ptr<RebuiltVolume> volume = OpenRebuiltVolume(run, disk);
    if (!volume || file.IsFolder()) {
        return RecoveredFileStatus::NoData;
    }
    const RecoveredFileStatus status = volume->WriteFile(file, out);
    out.flush();
    return out ? status : RecoveredFileStatus::WriteFailed;
}

RecoveredFileStatus WriteListedCopy(RecoveryRun& run, SectorSource& disk, const FileRef& file,
                                    const std::string& folder, const std::string& name,
                                    FileReaders readers) {
    int error = 0;
    // Without a folder the copy stays where the program runs, as TempFilePath says.
    const std::optional<FolderHandle> handle =
        FolderHandle::Open(folder.empty() ? std::string(".") : folder, error);
    if (!handle) {
        return RecoveredFileStatus::WriteFailed;
    }
    const std::unique_ptr<NewFile> copy = NewFile::Create(*handle, error, readers);
    if (!copy) {
        return RecoveredFileStatus::WriteFailed;
    }
    const RecoveredFileStatus status = WriteListedFile(run, disk, file, copy->Stream());
    if (status == RecoveredFileStatus::WriteFailed || status == RecoveredFileStatus::NoData) {
        return status;
    }
    return copy->Place(name, PlaceMode::Replace) == 0 ? status : RecoveredFileStatus::WriteFailed;
}

}  // namespace lumarest
