#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lumarest::testing {

// A fresh folder in the build tree for one test, removed again afterwards.
class TempFolder {
  public:
    explicit TempFolder(const std::string& name)
        : path_(std::filesystem::path(LUMAREST_FIXTURE_DIR).parent_path() / "disk-tests" /
                (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (handle >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(handle, bytes.data(), bytes.size());
        ::close(handle);
    }
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Sector i filled with the byte (i + 1): every sector tells where it came from.
inline std::vector<std::uint8_t> NumberedSectors(std::size_t sectors) {
    std::vector<std::uint8_t> bytes(sectors * 512);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i / 512 + 1);
    }
    return bytes;
}

// Runs a block of a test as a user who may not read root's files, where the test runs as root.
class UnprivilegedScope {
  public:
    UnprivilegedScope() : wasRoot_(::geteuid() == 0) {
        if (wasRoot_) {
            dropped_ = ::seteuid(kNobody) == 0;
        }
    }
    ~UnprivilegedScope() {
        if (dropped_) {
            [[maybe_unused]] const int restored = ::seteuid(0);
        }
    }
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;

    // False when the test cannot take away its own read rights.
    bool Active() const { return !wasRoot_ || dropped_; }

  private:
    static constexpr uid_t kNobody = 65534;
    bool wasRoot_;
    bool dropped_ = false;
};

}  // namespace lumarest::testing
