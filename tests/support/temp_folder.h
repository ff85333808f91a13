#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace lumarest::testing {

// A fresh folder for one test's output, removed with everything in it when the test ends.
class TempFolder {
  public:
    explicit TempFolder(const std::string& name = "lumarest")
        : path_(std::filesystem::temp_directory_path() /
                (name + "_" + std::to_string(::getpid()) + "_" + std::to_string(next_++))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, error);
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    static inline int next_ = 0;
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace lumarest::testing
