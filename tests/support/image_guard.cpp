#include "support/image_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/sha256.h"

namespace lumarest::testing {

namespace {

bool StatFile(const std::string& path, long long& size, long long& mtimeNs) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    size = static_cast<long long>(info.st_size);
    mtimeNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return true;
}

// SHA-256 of the file's data extents, each after its offset: a sparse image of terabytes is
// read only where it holds data. A write into a hole adds an extent, so it still shows.
std::string Sha256OfDataExtents(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    Sha256 hash;
    std::vector<char> buffer(std::size_t{1} << 20);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    off_t at = 0;
    bool readable = size >= 0;
    while (readable && at < size) {
        off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0) {
            // No data past `at`; any other failure reads the rest whole.
            if (errno == ENXIO) {
                break;
            }
            data = at;
        }
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0) {
            hole = size;
        }
        const std::string offset = std::to_string(data) + ":";
        hash.Add(offset.data(), offset.size());
        for (off_t pos = data; pos < hole;) {
            const auto want = static_cast<std::size_t>(
                std::min<off_t>(hole - pos, static_cast<off_t>(buffer.size())));
            const ssize_t got = ::pread(fd, buffer.data(), want, pos);
            if (got <= 0) {
                readable = false;
                break;
            }
            hash.Add(buffer.data(), static_cast<std::size_t>(got));
            pos += got;
        }
        at = hole;
    }
    ::close(fd);
    return readable ? hash.HexDigest() : std::string();
}

}  // namespace

std::string Sha256OfFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    Sha256 hash;
    std::vector<char> buffer(std::size_t{1} << 20);
    while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
           file.gcount() > 0) {
        hash.Add(buffer.data(), static_cast<std::size_t>(file.gcount()));
    }
    return hash.HexDigest();
}

ImageGuard::ImageGuard(std::string path)
    : path_(std::move(path)), digest_(Sha256OfDataExtents(path_)) {
    StatFile(path_, size_, mtimeNs_);
}

bool ImageGuard::Unchanged() const {
    long long size = -1;
    long long mtimeNs = -1;
    if (!StatFile(path_, size, mtimeNs)) {
        return false;
    }
    return size == size_ && mtimeNs == mtimeNs_ && Sha256OfDataExtents(path_) == digest_;
}

std::string FixtureImage(const std::string& name) {
    const std::string path = std::string(LUMAREST_FIXTURE_DIR) + "/" + name;
    return std::filesystem::exists(path) ? path : std::string();
}

std::string RealImage(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path stored = fs::path(LUMAREST_REALDATA_DIR) / name;
    if (fs::exists(stored)) {
        return stored.string();
    }
    const fs::path packed = fs::path(LUMAREST_REALDATA_DIR) / (name + ".gz");
    if (!fs::exists(packed)) {
        return {};
    }
    const fs::path unpacked = fs::path(LUMAREST_FIXTURE_DIR) / "realdata" / name;
    if (!fs::exists(unpacked)) {
        fs::create_directories(unpacked.parent_path());
        // Tests run side by side: each unpacks into its own file, and the first
        // to link it in wins, so no test ever sees a half-written or replaced image.
        const fs::path partial = unpacked.string() + "." + std::to_string(::getpid()) + ".part";
        const std::string command =
            "gzip -dc '" + packed.string() + "' > '" + partial.string() + "'";
        if (std::system(command.c_str()) != 0) {
            fs::remove(partial);
            return {};
        }
        std::error_code linked;
        fs::create_hard_link(partial, unpacked, linked);
        fs::remove(partial);
        if (linked && !fs::exists(unpacked)) {
            return {};
        }
    }
    return unpacked.string();
}

}  // namespace lumarest::testing
