#pragma once

#include <string>

namespace lumarest::testing {

// Remembers an image file's size, time and SHA-256 when made, and tells whether anything of
// it changed: every test that reads an image checks it is untouched afterwards. Only the data
// of a sparse image is hashed, with where it lies.
class ImageGuard {
  public:
    explicit ImageGuard(std::string path);
    bool Unchanged() const;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string digest_;
    long long size_ = -1;
    long long mtimeNs_ = -1;
};

std::string Sha256OfFile(const std::string& path);

// Full path of a fixture image made by the fixture builder; empty when it was not made.
std::string FixtureImage(const std::string& name);
// Full path of a real image from the shared set, unpacked into the build folder when it is
// stored as .gz; empty when the set is not there.
std::string RealImage(const std::string& name);

}  // namespace lumarest::testing
