#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace lumarest::testing {

// Someone else who can write in a destination folder, while files are saved into it: links to
// `outside` are put under the names given up front (the names a saver may use); every entry
// made below the folder is swapped for a link as soon as it appears (a file for a link to
// `outside`, a folder for a link to `outsideFolder`), a name freed gets a link at once, and the
// listings are searched for temporary names. Files given their final name by a rename are left
// alone: replacing a finished file is beyond what any saver can prevent. Runs until destroyed.
class LinkPlanter {
  public:
    LinkPlanter(std::filesystem::path folder, std::filesystem::path outside,
                std::filesystem::path outsideFolder, const std::vector<std::string>& guesses);
    ~LinkPlanter();
    LinkPlanter(const LinkPlanter&) = delete;
    LinkPlanter& operator=(const LinkPlanter&) = delete;

    // Entries swapped for a link so far.
    std::size_t Swapped() const { return swapped_; }

  private:
    void Run();
    void Watch(const std::filesystem::path& folder);
    void Swap(const std::filesystem::path& entry);
    void SwapListedTemporaries();

    std::filesystem::path folder_;
    std::filesystem::path outside_;
    std::filesystem::path outsideFolder_;
    int inotify_ = -1;
    std::vector<std::pair<int, std::filesystem::path>> watches_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> swapped_{0};
    std::thread thread_;
};

// Every link below `folder`, not followed, and every entry found outside it by its real path.
struct FolderWalk {
    std::vector<std::string> links;
    std::size_t files = 0;
    std::size_t folders = 0;
    bool allInside = true;
};
FolderWalk WalkFolder(const std::filesystem::path& folder);

}  // namespace lumarest::testing
