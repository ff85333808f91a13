#pragma once

#include <string>

#include "disk/service_device_files.h"

namespace lumarest {

// The desktop's disk service on the system bus: finds the device's block object and asks it
// for a read-only descriptor, letting the desktop's password prompt appear. The bus is the
// one DBUS_SYSTEM_BUS_ADDRESS names, else the system's own.
class SystemDiskService : public DiskService {
  public:
    ServiceOpening OpenReadOnly(const std::string& devicePath) override;
};

// "always" in LUMAREST_DISK_SERVICE asks the service even for devices this user may open.
bool AlwaysAskDiskService();

}  // namespace lumarest
