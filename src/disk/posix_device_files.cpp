#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "disk/sector_reader.h"

namespace lumarest {

int PosixDeviceFiles::Open(const std::string& path) {
    int handle = -1;
    do {
        handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (handle < 0 && errno == EINTR);
    return handle;
}

// Reads until the request is complete or the device ends, so a short count always means
// the end of the data; an error anywhere fails the whole read.
long long PosixDeviceFiles::ReadAt(int handle, std::uint8_t* buffer, std::size_t bytes,
                                   std::uint64_t offset) {
    constexpr std::uint64_t kLastOffset =
        static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (offset > kLastOffset || bytes > kLastOffset - offset) {
        return -1;
    }
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got =
            ::pread(handle, buffer + done, bytes - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(done);
}

void PosixDeviceFiles::WillRead(int handle, std::uint64_t offset, std::uint64_t bytes) {
    constexpr std::uint64_t kLastOffset =
        static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    if (offset <= kLastOffset && bytes <= kLastOffset - offset) {
        ::posix_fadvise(handle, static_cast<off_t>(offset), static_cast<off_t>(bytes),
                        POSIX_FADV_WILLNEED);
    }
}

void PosixDeviceFiles::Close(int handle) {
    ::close(handle);
}

}  // namespace lumarest
