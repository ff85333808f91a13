#include "core/new_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "core/hole_stream.h"

namespace lumarest {

namespace {

constexpr mode_t kFileMode = 0644;
constexpr mode_t kOwnerOnlyFileMode = 0600;
constexpr mode_t kFolderMode = 0755;
constexpr const char* kPartialPrefix = ".lumarest-";
constexpr const char* kPartialSuffix = ".part";
// Random bytes in a temporary name: enough that nobody guesses it ahead.
constexpr std::size_t kRandomBytes = 12;
// Names tried when each one drawn is taken already, by chance or by someone planting them.
constexpr int kMostNameTries = 64;
constexpr std::size_t kBufferBytes = 1 << 16;

// Access and modification time alike, to the second.
bool SetDescriptorTimes(int fd, std::int64_t seconds) {
    const timespec time{static_cast<time_t>(seconds), 0};
    const std::array<timespec, 2> times{time, time};
    return ::futimens(fd, times.data()) == 0;
}

// One name inside its folder, nothing that walks out of it or up.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool WriteAll(int fd, const char* data, std::size_t size, int& error) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string RandomPartialName() {
    std::array<unsigned char, kRandomBytes> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled < bytes.size()) {
        std::random_device device;
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(device());
        }
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name = kPartialPrefix;
    for (const unsigned char byte : bytes) {
        name += kHex[byte >> 4];
        name += kHex[byte & 0x0F];
    }
    return name + kPartialSuffix;
}

// The rename that keeps a taken name, where the file system cannot do it in one step: a hard
// link fails on a taken name too; without links, a look first is the best left.
int LinkIntoPlace(int folderFd, const std::string& from, const std::string& to) {
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) == 0) {
        ::unlinkat(folderFd, from.c_str(), 0);
        return 0;
    }
    if (errno == EEXIST) {
        return EEXIST;
    }
    struct stat info {};
    if (::fstatat(folderFd, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return EEXIST;
    }
    return ::renameat(folderFd, from.c_str(), folderFd, to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

// Collects the bytes in a buffer and writes them to the file in large pieces. Runs of zeros
// skipped over stay holes: the file is only moved on, and sized at the end.
class NewFile::Buffer : public HoleStreamBuffer {
  public:
    explicit Buffer(int fd) : fd_(fd), data_(kBufferBytes) { Reset(); }

    int Error() const { return error_; }

    void StopWhen(std::stop_token stop) { stop_ = std::move(stop); }

    bool Drain() {
        if (error_ == 0 && stop_.stop_requested()) {
            error_ = ECANCELED;
        }
        if (error_ != 0) {
            return false;
        }
        const auto count = static_cast<std::size_t>(pptr() - pbase());
        const bool written = WriteAll(fd_, pbase(), count, error_);
        Moved(count, false);
        Reset();
        return written;
    }

    bool SkipZeros(std::uint64_t count) override {
        if (count == 0) {
            return error_ == 0;
        }
        if (!Drain()) {
            return false;
        }
        if (count > kMaxFileOffset - position_) {
            error_ = EFBIG;
            return false;
        }
        if (::lseek(fd_, static_cast<off_t>(position_ + count), SEEK_SET) < 0) {
            error_ = errno;
            return false;
        }
        Moved(count, true);
        return true;
    }

    // Writes out what is held and gives the file its whole length: a hole at its end has no
    // bytes that would.
    bool Close() {
        if (!Drain()) {
            return false;
        }
        if (holeAtEnd_ && ::ftruncate(fd_, static_cast<off_t>(position_)) != 0) {
            error_ = errno;
            return false;
        }
        return true;
    }

  protected:
    int_type overflow(int_type c) override {
        if (!Drain()) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        if (count < static_cast<std::streamsize>(data_.size())) {
            return std::streambuf::xsputn(text, count);
        }
        if (!Drain() || !WriteAll(fd_, text, static_cast<std::size_t>(count), error_)) {
            return 0;
        }
        Moved(static_cast<std::uint64_t>(count), false);
        return count;
    }

    int sync() override { return Drain() ? 0 : -1; }

  private:
    static constexpr std::uint64_t kMaxFileOffset =
        static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

    void Reset() { setp(data_.data(), data_.data() + data_.size()); }

    void Moved(std::uint64_t count, bool hole) {
        if (count > 0) {
            position_ += count;
            holeAtEnd_ = hole;
        }
    }

    int fd_;
    std::vector<char> data_;
    int error_ = 0;
    std::stop_token stop_;
    std::uint64_t position_ = 0;  // where the next byte goes in the file
    bool holeAtEnd_ = false;
};

std::optional<FolderHandle> FolderHandle::Open(const std::string& path, int& error) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) {
        error = errno;
        return std::nullopt;
    }
    // A link put in place of the resolved folder since is refused, not followed.
    const int fd = ::open(resolved.get(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    return FolderHandle(fd);
}

std::optional<FolderHandle> FolderHandle::Duplicate(int& error) const {
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    return FolderHandle(fd);
}

std::string FolderHandle::RealPath() const {
    const std::string link = "/proc/self/fd/" + std::to_string(fd_);
    std::array<char, PATH_MAX> path{};
    const ssize_t length = ::readlink(link.c_str(), path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    return std::string(path.data(), static_cast<std::size_t>(length));
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FolderHandle::~FolderHandle() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<FolderHandle> FolderHandle::OpenChild(const std::string& name, bool create,
                                                    int& error) const {
    if (!IsPlainName(name)) {
        error = EINVAL;
        return std::nullopt;
    }
    if (create && ::mkdirat(fd_, name.c_str(), kFolderMode) != 0 && errno != EEXIST) {
        error = errno;
        return std::nullopt;
    }
    const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    return FolderHandle(fd);
}

std::optional<std::uint64_t> FolderHandle::FreeBytes() const {
    struct statvfs info {};
    if (::fstatvfs(fd_, &info) != 0) {
        return std::nullopt;
    }
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    const std::uint64_t blocks = info.f_bavail;
    return unit != 0 && blocks > UINT64_MAX / unit ? UINT64_MAX : blocks * unit;
}

bool FolderHandle::SetTimes(std::int64_t seconds) const {
    return SetDescriptorTimes(fd_, seconds);
}

FolderHandle::Entry FolderHandle::Lookup(const std::string& name) const {
    struct stat info {};
    if (::fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? Entry::None : Entry::Other;
    }
    return S_ISDIR(info.st_mode) ? Entry::Folder : Entry::Other;
}

std::unique_ptr<NewFile> NewFile::Create(const FolderHandle& folder, int& error,
                                         FileReaders readers) {
    const mode_t mode = readers == FileReaders::OwnerOnly ? kOwnerOnlyFileMode : kFileMode;
    error = EEXIST;
    for (int tries = 0; tries < kMostNameTries && error == EEXIST; ++tries) {
        std::string name = RandomPartialName();
        const int fd = ::openat(folder.Descriptor(), name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            error = 0;
            return std::unique_ptr<NewFile>(new NewFile(folder.Descriptor(), fd, std::move(name)));
        }
        error = errno;
    }
    return nullptr;
}

NewFile::NewFile(int folderFd, int fd, std::string name)
    : folderFd_(folderFd),
      fd_(fd),
      partialName_(std::move(name)),
      buffer_(std::make_unique<Buffer>(fd)),
      stream_(buffer_.get()) {}

NewFile::~NewFile() {
    Discard();
}

void NewFile::StopWhen(std::stop_token stop) {
    buffer_->StopWhen(std::move(stop));
}

int NewFile::Finish() {
    if (fd_ < 0) {
        return buffer_->Error();
    }
    buffer_->Close();
    int error = buffer_->Error();
    // A time the file system refuses leaves the file as written: its bytes are what counts.
    if (error == 0 && times_) {
        SetDescriptorTimes(fd_, *times_);
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0) {
        device_ = info.st_dev;
        inode_ = info.st_ino;
    } else if (error == 0) {
        error = errno;
    }
    if (::close(fd_) != 0 && error == 0) {
        error = errno;
    }
    fd_ = -1;
    if (error == 0 && !stream_) {
        error = EIO;
    }
    return error;
}

int NewFile::Place(const std::string& name, PlaceMode mode) {
    if (placed_) {
        return EINVAL;
    }
    if (const int error = Finish(); error != 0) {
        return error;
    }
    if (!IsPlainName(name)) {
        return EINVAL;
    }
    // Someone who can write in the folder may have swapped the file for a link while it was
    // written: that is never given the name.
    if (!HoldsThisFile(partialName_)) {
        return ESTALE;
    }
    int error = 0;
    if (mode == PlaceMode::Replace) {
        error =
            ::renameat(folderFd_, partialName_.c_str(), folderFd_, name.c_str()) == 0 ? 0 : errno;
    } else if (::renameat2(folderFd_, partialName_.c_str(), folderFd_, name.c_str(),
                           RENAME_NOREPLACE) == 0) {
        error = 0;
    } else {
        error = errno;
        // File systems without the one-step form say so; a taken name is the answer itself.
        if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
            error = LinkIntoPlace(folderFd_, partialName_, name);
        }
    }
    if (error == 0 && !HoldsThisFile(name)) {
        // Swapped between the look and the rename: what was moved in is not this file.
        ::unlinkat(folderFd_, name.c_str(), 0);
        return ESTALE;
    }
    placed_ = error == 0;
    return error;
}

bool NewFile::HoldsThisFile(const std::string& name) const {
    struct stat info {};
    return ::fstatat(folderFd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(info.st_mode) && std::uint64_t{info.st_dev} == device_ &&
           std::uint64_t{info.st_ino} == inode_;
}

void NewFile::Discard() {
    if (placed_) {
        return;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!partialName_.empty()) {
        ::unlinkat(folderFd_, partialName_.c_str(), 0);
        partialName_.clear();
    }
}

}  // namespace lumarest
