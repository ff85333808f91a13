#include "support/link_planter.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <system_error>

namespace lumarest::testing {

namespace fs = std::filesystem;

namespace {

constexpr int kPollMilliseconds = 5;
constexpr std::size_t kEventBytes = 64 * 1024;
// What the names of files still being written start with, then and now.
constexpr const char* kTemporaryPrefix = ".lumarest";
constexpr uint32_t kWatched = IN_CREATE | IN_MOVED_TO | IN_DELETE;

}  // namespace

LinkPlanter::LinkPlanter(fs::path folder, fs::path outside, fs::path outsideFolder,
                         const std::vector<std::string>& guesses)
    : folder_(std::move(folder)),
      outside_(std::move(outside)),
      outsideFolder_(std::move(outsideFolder)),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    std::error_code error;
    for (const std::string& name : guesses) {
        fs::create_symlink(outside_, folder_ / name, error);
    }
    Watch(folder_);
    thread_ = std::thread([this] { Run(); });
}

LinkPlanter::~LinkPlanter() {
    stop_ = true;
    thread_.join();
    if (inotify_ >= 0) {
        ::close(inotify_);
    }
}

void LinkPlanter::Watch(const fs::path& folder) {
    const int watch = ::inotify_add_watch(inotify_, folder.c_str(), kWatched | IN_ONLYDIR);
    if (watch >= 0) {
        watches_.emplace_back(watch, folder);
    }
}

void LinkPlanter::SwapListedTemporaries() {
    std::error_code error;
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        const fs::path folder = watches_[i].second;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.path().filename().string().starts_with(kTemporaryPrefix)) {
                Swap(entry.path());
            }
        }
    }
}

void LinkPlanter::Swap(const fs::path& entry) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(entry, error);
    if (error || fs::is_symlink(status)) {
        return;
    }
    if (fs::is_directory(status)) {
        // The folder moves aside (its contents stay below the destination) and a link to a
        // folder outside takes its name.
        const fs::path aside = entry.parent_path() / (entry.filename().string() + ".moved");
        fs::rename(entry, aside, error);
        if (error) {
            return;
        }
        Watch(aside);
        fs::create_directory_symlink(outsideFolder_, entry, error);
    } else {
        fs::remove(entry, error);
        fs::create_symlink(outside_, entry, error);
    }
    if (!error) {
        ++swapped_;
    }
}

void LinkPlanter::Run() {
    std::array<char, kEventBytes> buffer{};
    while (!stop_) {
        pollfd wait{inotify_, POLLIN, 0};
        if (::poll(&wait, 1, kPollMilliseconds) <= 0) {
            // Between events, the listings are searched for files still being written.
            SwapListedTemporaries();
            continue;
        }
        const ssize_t length = ::read(inotify_, buffer.data(), buffer.size());
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            fs::path folder;
            for (const auto& [watch, path] : watches_) {
                if (watch == event->wd) {
                    folder = path;
                }
            }
            if (folder.empty() || event->len == 0) {
                continue;
            }
            const fs::path entry = folder / event->name;
            std::error_code error;
            if ((event->mask & IN_DELETE) != 0) {
                // A name just freed, as a check-then-remove saver leaves it for a moment.
                fs::create_symlink(outside_, entry, error);
            } else if ((event->mask & IN_CREATE) != 0) {
                Swap(entry);
            } else if ((event->mask & IN_ISDIR) != 0) {
                Watch(entry);
            }
        }
    }
}

FolderWalk WalkFolder(const fs::path& folder) {
    FolderWalk walk;
    const fs::path root = fs::canonical(folder);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path& path = entry.path();
        if (entry.is_symlink()) {
            walk.links.push_back(fs::relative(path, root).string());
            continue;
        }
        const fs::path real = fs::canonical(path);
        const auto [end, unused] = std::mismatch(root.begin(), root.end(), real.begin());
        walk.allInside = walk.allInside && end == root.end();
        if (entry.is_directory()) {
            ++walk.folders;
        } else {
            ++walk.files;
        }
    }
    return walk;
}

}  // namespace lumarest::testing
