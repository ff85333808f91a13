#include "support/image_guard.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QFile>
#include <cstdlib>
#include <filesystem>

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

}  // namespace

std::string Sha256OfFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex().toStdString();
}

ImageGuard::ImageGuard(std::string path) : path_(std::move(path)), digest_(Sha256OfFile(path_)) {
    StatFile(path_, size_, mtimeNs_);
}

bool ImageGuard::Unchanged() const {
    long long size = -1;
    long long mtimeNs = -1;
    if (!StatFile(path_, size, mtimeNs)) {
        return false;
    }
    return size == size_ && mtimeNs == mtimeNs_ && Sha256OfFile(path_) == digest_;
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
        const fs::path partial = unpacked.string() + ".part";
        const std::string command =
            "gzip -dc '" + packed.string() + "' > '" + partial.string() + "'";
        if (std::system(command.c_str()) != 0) {
            return {};
        }
        fs::rename(partial, unpacked);
    }
    return unpacked.string();
}

}  // namespace lumarest::testing
