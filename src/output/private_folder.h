#pragma once

#include <memory>
#include <string>

namespace lumarest {

// A folder of this run's own for the copies of recovered files it opens: made with a name nobody
// can guess, readable by the user alone, and removed with all it holds when this ends. Recovered
// photos are private: they never lie in a folder other users of the machine can read.
class PrivateFolder {
  public:
    // A new folder inside `base`, which is made first (readable by the user alone) when missing.
    // Nothing, with the reason in `error`, when `base` is no folder of the user's or takes no
    // folder.
    static std::unique_ptr<PrivateFolder> Make(const std::string& base, std::string& error);

    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder();

    const std::string& Path() const { return path_; }

  private:
    explicit PrivateFolder(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

}  // namespace lumarest
