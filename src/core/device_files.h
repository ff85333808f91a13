#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumarest {

// The device-file calls of the normal read path, behind a seam: tests inject faults through
// it, and the window and the command line read descriptors the system's disk service handed over.
class DeviceFiles {
  public:
    virtual ~DeviceFiles() = default;
    // A read-only handle, or -1 when the device cannot be opened.
    virtual int Open(const std::string& path) = 0;
    // Bytes read at the byte offset, or -1 on an error.
    virtual long long ReadAt(int handle, std::uint8_t* buffer, std::size_t bytes,
                             std::uint64_t offset) = 0;
    virtual void Close(int handle) = 0;
    // Asks the system to fetch a byte range in the background; no effect on any read.
    virtual void WillRead(int /*handle*/, std::uint64_t /*offset*/, std::uint64_t /*bytes*/) {}
};

}  // namespace lumarest
