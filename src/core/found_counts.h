#pragma once

#include <cstddef>

namespace lumarest {

class Reporter;

inline constexpr const char* kBootSectorsFoundCaption = "Boot Sectors Found\t\t:";

// The directories and boot sectors a scan of a whole range has found so far, under their
// captions; each is redrawn only when it changes.
class FoundCounts {
  public:
    // Captions the boot sector count.
    explicit FoundCounts(Reporter& reporter);

    void Show(std::size_t directories, std::size_t bootSectors);

  private:
    Reporter& reporter_;
    std::size_t shownDirectories_ = 0;
    std::size_t shownBootSectors_ = 0;
};

}  // namespace lumarest
