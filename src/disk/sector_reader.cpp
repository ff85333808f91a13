#include "disk/sector_reader.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "core/reporter.h"
#include "core/sector_source.h"

namespace lumarest {

namespace {

constexpr const char* kServiceMissing = "disk32.dll not found";
constexpr const char* kFunctionMissing = "Readdisk32 function not found";

// BIOS drive numbers: the floppy is 0, hard disks count up from 0x80; the service knows four.
constexpr std::uint32_t kBiosFloppyDrive = 0;
constexpr std::uint32_t kBiosFirstHardDisk = 0x80;
constexpr int kBiosHardDisks = 4;

// Sector numbers so large that their byte offset does not fit are simply unreadable.
constexpr std::uint64_t kLastAddressableSector =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / kSectorSize;

bool ByteOffset(std::uint64_t sector, std::uint64_t& offset) {
    if (sector > kLastAddressableSector) {
        return false;
    }
    offset = sector * kSectorSize;
    return true;
}

enum class RunRead { Read, Failed, PastEnd };

// One read of whole sectors. A count that stops inside the last sector of a file whose size
// is not a multiple of 512 is that file's end: the sector reads as its bytes plus zeros. A read
// that gets no byte at all starts at or past the end of the file or device.
RunRead ReadRun(DeviceFiles& files, int handle, std::uint64_t firstSector, std::uint64_t sectors,
                std::uint8_t* buffer) {
    std::uint64_t offset = 0;
    if (sectors == 0) {
        return RunRead::Read;
    }
    if (firstSector > kLastAddressableSector - (sectors - 1) || !ByteOffset(firstSector, offset)) {
        return RunRead::PastEnd;
    }
    const std::size_t bytes = static_cast<std::size_t>(sectors * kSectorSize);
    const long long got = files.ReadAt(handle, buffer, bytes, offset);
    if (got < 0) {
        return RunRead::Failed;
    }
    if (got == 0) {
        return RunRead::PastEnd;
    }
    const auto gotBytes = static_cast<std::size_t>(got);
    if (gotBytes >= bytes) {
        return RunRead::Read;
    }
    const bool endsInsideLastSector = gotBytes % kSectorSize != 0 && bytes - gotBytes < kSectorSize;
    if (!endsInsideLastSector) {
        return RunRead::Failed;
    }
    std::memset(buffer + gotBytes, 0, bytes - gotBytes);
    return RunRead::Read;
}

std::uint8_t* SectorAt(std::uint8_t* buffer, std::uint32_t i) {
    return buffer + static_cast<std::size_t>(i) * kSectorSize;
}

void NotifyReadFailure(const SectorReaderContext& context) {
    if (context.readFailureNotice) {
        context.readFailureNotice();
    }
}

// One read through an open handle; a failed whole read gets the notice and a retry sector by
// sector.
int ReadThroughHandle(SectorReaderContext& context, DeviceFiles& files, int handle,
                      std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) {
    const bool whole = ReadRun(files, handle, firstSector, count, buffer) == RunRead::Read;
    if (!whole) {
        NotifyReadFailure(context);
        // Sector by sector, so everything that can be read is in place; the rest is zeros,
        // never stale bytes a caller could take for disk content. Past the end nothing more can
        // be read, so the retry ends at the first sector there.
        std::uint32_t i = 0;
        for (; i < count; ++i) {
            const RunRead sector =
                firstSector <= kLastAddressableSector - i
                    ? ReadRun(files, handle, firstSector + i, 1, SectorAt(buffer, i))
                    : RunRead::PastEnd;
            if (sector == RunRead::PastEnd) {
                break;
            }
            if (sector == RunRead::Failed) {
                std::memset(SectorAt(buffer, i), 0, kSectorSize);
            }
        }
        std::memset(SectorAt(buffer, i), 0, std::size_t{count - i} * kSectorSize);
    }
    return whole ? 1 : 0;
}

DeviceFiles& FilesOf(SectorReaderContext& context, PosixDeviceFiles& posixFiles) {
    return context.files != nullptr ? *context.files : posixFiles;
}

const std::string& PathOf(const SectorReaderContext& context, const std::string& devicePath) {
    return context.floppySelected ? context.floppyPath : devicePath;
}

int ReadThroughDeviceFile(SectorReaderContext& context, const std::string& path,
                          std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) {
    PosixDeviceFiles posixFiles;
    DeviceFiles& files = FilesOf(context, posixFiles);
    const int handle = files.Open(path);
    if (handle < 0) {
        return 0;
    }
    const int result = ReadThroughHandle(context, files, handle, firstSector, count, buffer);
    files.Close(handle);
    return result;
}

// The disk number of a path: its slot in the drive table, or the digit that ends a
// "\\.\PhysicalDriveN" name. -1 when neither names a disk.
int DiskNumberOfPath(const SectorReaderContext& context, const std::string& path) {
    for (int slot = 0; slot < kDriveSlots; ++slot) {
        if (!path.empty() && context.physicalDriveTable[slot] == path) {
            return slot;
        }
    }
    constexpr std::string_view kDriveName = "\\\\.\\PhysicalDrive";
    if (path.size() == kDriveName.size() + 1 && path.starts_with(kDriveName) &&
        path.back() >= '0' && path.back() <= '9') {
        return path.back() - '0';
    }
    return -1;
}

void ShowServiceError(const SectorReaderContext& context, const char* text) {
    if (context.reporter != nullptr) {
        context.reporter->ShowMessage(text, MessageIcon::Error);
    }
}

bool ServiceReady(SectorReaderContext& context) {
    if (context.bios == nullptr) {
        ShowServiceError(context, kServiceMissing);
        return false;
    }
    if (!context.biosLoaded) {
        context.biosLoaded = context.bios->Load();
        if (!context.biosLoaded) {
            ShowServiceError(context, kServiceMissing);
            return false;
        }
        context.biosResolved = context.bios->Resolve();
    }
    if (!context.biosResolved) {
        ShowServiceError(context, kFunctionMissing);
        return false;
    }
    return true;
}

int ReadThroughBiosService(SectorReaderContext& context, const std::string& path,
                           std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) {
    if (!ServiceReady(context)) {
        return 0;
    }
    std::uint32_t drive = kBiosFloppyDrive;
    if (!context.floppySelected) {
        const int disk = DiskNumberOfPath(context, path);
        if (disk < 0 || disk >= kBiosHardDisks) {
            return 0;  // the service has no drive number for it, like a device that is not there
        }
        drive = kBiosFirstHardDisk + static_cast<std::uint32_t>(disk);
    }
    // The service addresses sectors with 32 bits.
    const auto firstLow = static_cast<std::uint32_t>(firstSector);
    const int result = context.bios->ReadDisk32(drive, 0, 0, 1, count, buffer, firstLow, 1);
    if (result != 0) {
        return result;
    }
    NotifyReadFailure(context);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (context.bios->ReadDisk32(drive, 0, 0, 1, 1, SectorAt(buffer, i), firstLow + i, 1) ==
            0) {
            std::memset(SectorAt(buffer, i), 0, kSectorSize);
        }
    }
    return 0;
}

}  // namespace

SectorReaderContext ReaderContextFor(const RecoveryRun& run) {
    SectorReaderContext context;
    context.accessMode = run.accessMode;
    context.floppySelected = run.FloppySelected();
    context.floppyPath = run.floppyPath;
    context.physicalDriveTable = run.physicalDriveTable;
    context.files = run.deviceFiles;
    return context;
}

int ReadSectors(SectorReaderContext& context, const std::string& devicePath,
                std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) {
    if (context.accessMode == 'F') {
        return ReadThroughBiosService(context, devicePath, firstSector, count, buffer);
    }
    return ReadThroughDeviceFile(context, PathOf(context, devicePath), firstSector, count, buffer);
}

int ReadSectorsHeld(SectorReaderContext& context, HeldDevice& held, const std::string& devicePath,
                    std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) {
    if (context.accessMode == 'F') {
        return ReadThroughBiosService(context, devicePath, firstSector, count, buffer);
    }
    PosixDeviceFiles posixFiles;
    DeviceFiles& files = FilesOf(context, posixFiles);
    if (held.handle < 0) {
        held.handle = files.Open(PathOf(context, devicePath));
        if (held.handle < 0) {
            return 0;
        }
    }
    const int result = ReadThroughHandle(context, files, held.handle, firstSector, count, buffer);
    if (result == 0) {
        ReleaseDevice(context, held);
    }
    return result;
}

void HintNextRead(SectorReaderContext& context, HeldDevice& held, std::uint64_t firstSector,
                  std::uint32_t count) {
    if (context.accessMode == 'F' || held.handle < 0 ||
        firstSector > std::numeric_limits<std::uint64_t>::max() / kSectorSize) {
        return;
    }
    PosixDeviceFiles posixFiles;
    FilesOf(context, posixFiles)
        .WillRead(held.handle, firstSector * kSectorSize, std::uint64_t{count} * kSectorSize);
}

void ReleaseDevice(SectorReaderContext& context, HeldDevice& held) {
    if (held.handle >= 0) {
        PosixDeviceFiles posixFiles;
        FilesOf(context, posixFiles).Close(held.handle);
        held.handle = -1;
    }
}

}  // namespace lumarest
