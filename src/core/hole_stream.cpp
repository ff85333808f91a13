#include "core/hole_stream.h"

#include <algorithm>
#include <array>

namespace lumarest {

namespace {
constexpr std::size_t kZeroBlockBytes = 4096;
}  // namespace

void WriteZeros(std::ostream& out, std::uint64_t count) {
    if (count == 0 || !out) {
        return;
    }
    if (auto* holes = dynamic_cast<HoleStreamBuffer*>(out.rdbuf())) {
        if (!holes->SkipZeros(count)) {
            out.setstate(std::ios_base::badbit);
        }
        return;
    }
    static constexpr std::array<char, kZeroBlockBytes> kZeros{};
    while (count > 0 && out) {
        const std::uint64_t part = std::min<std::uint64_t>(count, kZeros.size());
        out.write(kZeros.data(), static_cast<std::streamsize>(part));
        count -= part;
    }
}

}  // namespace lumarest
