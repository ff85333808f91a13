#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "disk/sector_reader.h"

namespace lumarest {

// What the system's disk service answered for one device: a descriptor, or why there is none.
struct ServiceOpening {
    int descriptor = -1;
    std::string problem;
};

// The system's disk service, asked for a read-only descriptor of a device this user may not
// open. It may ask the user for a password first.
class DiskService {
  public:
    virtual ~DiskService() = default;
    // The caller owns a descriptor handed over.
    virtual ServiceOpening OpenReadOnly(const std::string& devicePath) = 0;
};

// True when the descriptor is open for reading only.
bool IsReadOnlyDescriptor(int descriptor);

// Device files opened directly, except for the devices whose descriptor the disk service
// handed over: each is kept for the run, and every open of its path reads a copy of it. Opens
// may come from any thread.
class ServiceDeviceFiles : public DeviceFiles {
  public:
    ServiceDeviceFiles() = default;
    ~ServiceDeviceFiles() override;
    ServiceDeviceFiles(const ServiceDeviceFiles&) = delete;
    ServiceDeviceFiles& operator=(const ServiceDeviceFiles&) = delete;

    // Keeps `descriptor` for `path`, taking it over. A descriptor open for writing is closed
    // instead and false returned: nothing here may ever write to a disk.
    bool Hold(const std::string& path, int descriptor);
    bool Holds(const std::string& path) const;
    // Closes every descriptor kept; handles already opened stay valid.
    void ReleaseAll();

    int Open(const std::string& path) override;
    long long ReadAt(int handle, std::uint8_t* buffer, std::size_t bytes,
                     std::uint64_t offset) override;
    void Close(int handle) override;
    void WillRead(int handle, std::uint64_t offset, std::uint64_t bytes) override;

  private:
    PosixDeviceFiles direct_;
    mutable std::mutex mutex_;
    std::map<std::string, int> held_;
};

// Makes sure the device can be read: directly when this user may open it, else through a
// descriptor the disk service hands over (asked always when `alwaysAsk`, else only when the
// open is refused for want of permission). Returns the message to show when it cannot be read
// either way. `service` may be null: there is none.
std::optional<std::string> OpenForReading(const std::string& devicePath, ServiceDeviceFiles& files,
                                          DiskService* service, bool alwaysAsk);

}  // namespace lumarest
