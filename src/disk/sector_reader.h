#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/device_files.h"
#include "core/recovery_run.h"

namespace lumarest {

class Reporter;

// open(O_RDONLY | O_CLOEXEC), pread, close. Nothing here ever opens a source for writing.
class PosixDeviceFiles : public DeviceFiles {
  public:
    int Open(const std::string& path) override;
    long long ReadAt(int handle, std::uint8_t* buffer, std::size_t bytes,
                     std::uint64_t offset) override;
    void Close(int handle) override;
    void WillRead(int handle, std::uint64_t offset, std::uint64_t bytes) override;
};

// The BIOS-style disk service of the 'F' access mode. Linux has none; tests use a fake.
class BiosDiskService {
  public:
    virtual ~BiosDiskService() = default;
    // Loads the service library; false when it is missing. Tried again at every read until it
    // works.
    virtual bool Load() = 0;
    // Finds ReadDisk32 in the loaded library.
    virtual bool Resolve() = 0;
    virtual int ReadDisk32(std::uint32_t drive, std::uint32_t a2, std::uint32_t a3,
                           std::uint32_t a4, std::uint32_t count, std::uint8_t* buffer,
                           std::uint32_t firstSectorLow, std::uint32_t a8) = 0;
};

// Everything ReadSectors needs besides its arguments; owned by the caller, never global.
struct SectorReaderContext {
    char accessMode = 'N';
    bool floppySelected = false;
    std::string floppyPath = "/dev/fd0";
    // Called once after a failed whole-request read, before the per-sector retry.
    std::function<void()> readFailureNotice;
    DeviceFiles* files = nullptr;     // null: POSIX calls
    BiosDiskService* bios = nullptr;  // null: the 'F' path has no library to load
    Reporter* reporter = nullptr;     // the 'F' path's two messages
    // Device path per disk number: the 'F' path takes its BIOS drive number from the slot.
    std::array<std::string, kDriveSlots> physicalDriveTable;
    // The service library stays loaded once it is; a failed load is tried again next time.
    bool biosLoaded = false;
    bool biosResolved = false;
};

// The reader settings of a run: access mode, floppy choice and path, the drive table. The
// caller adds the failure notice, the seams and the reporter.
SectorReaderContext ReaderContextFor(const RecoveryRun& run);

// Reads `count` 512-byte sectors from `firstSector` of the device into `buffer` (at least
// count * 512 bytes). One open, read and close per call. Returns 1 (mode N) or the service's
// result (mode F) on success, 0 on failure; sectors that stay unreadable are zero-filled.
int ReadSectors(SectorReaderContext& context, const std::string& devicePath,
                std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer);

// A device file a source keeps open between its reads; -1 while none is.
struct HeldDevice {
    int handle = -1;
};

// ReadSectors through a handle kept open in `held`, so scattered one-sector reads (a million in
// a search of a large disk) pay no open and close each. Result, notice and retry are
// ReadSectors' own; mode F reads as ReadSectors does. After a failed read the handle is closed,
// so the next read opens the device afresh, as a replaced medium needs.
int ReadSectorsHeld(SectorReaderContext& context, HeldDevice& held, const std::string& devicePath,
                    std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer);
// Passes a hint that these sectors are read next to the held handle, if one is open.
void HintNextRead(SectorReaderContext& context, HeldDevice& held, std::uint64_t firstSector,
                  std::uint32_t count);
// Closes a held handle, if any.
void ReleaseDevice(SectorReaderContext& context, HeldDevice& held);

}  // namespace lumarest
