#include "volume/file_system_room.h"

#include "exfat/exfat_room.h"
#include "fat/fat_room.h"
#include "ntfs/ntfs_room.h"

namespace lumarest {

const FileSystemRoom& RoomFor(FileSystem fileSystem) {
    static const FatRoom fat16(FileSystem::Fat16);
    static const FatRoom fat32(FileSystem::Fat32);
    static const NtfsRoom ntfs;
    static const ExFatRoom exFat;
    switch (fileSystem) {
        case FileSystem::Ntfs:
            return ntfs;
        case FileSystem::ExFat:
            return exFat;
        case FileSystem::Fat16:
            return fat16;
        case FileSystem::Fat32:
            break;
    }
    return fat32;
}

}  // namespace lumarest
