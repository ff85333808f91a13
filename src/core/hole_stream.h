#pragma once

#include <cstdint>
#include <ostream>
#include <streambuf>

namespace lumarest {

// A stream buffer that can leave a run of zeros as a hole: the file reads them back as zeros,
// and they take no room on the disk.
class HoleStreamBuffer : public std::streambuf {
  public:
    // Moves on by `count` zero bytes without storing them; false when the file cannot grow that
    // far.
    virtual bool SkipZeros(std::uint64_t count) = 0;
};

// Puts `count` zero bytes on `out`: a hole when its buffer takes holes, written zeros otherwise
// (a string stream in a test). A hole costs nothing per byte.
void WriteZeros(std::ostream& out, std::uint64_t count);

}  // namespace lumarest
