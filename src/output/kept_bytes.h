#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace lumarest {

// What a sink kept of a carved file: all of it in `head`, or, for a file whose middle was
// handed on in pieces, its first bytes and its last ones (`tail`, from `tailAt`). `size` is the
// whole file's; bytes not kept read as zeros.
struct KeptBytes {
    std::span<const std::uint8_t> head;
    std::span<const std::uint8_t> tail;
    std::uint64_t tailAt = 0;
    std::uint64_t size = 0;

    static KeptBytes Whole(std::span<const std::uint8_t> bytes) {
        return {bytes, {}, bytes.size(), bytes.size()};
    }

    // Copies `count` bytes from `at` (inside the file) to `out`.
    void CopyOut(std::uint64_t at, std::uint8_t* out, std::size_t count) const {
        std::memset(out, 0, count);
        CopyPart(head, 0, at, out, count);
        CopyPart(tail, tailAt, at, out, count);
    }

  private:
    static void CopyPart(std::span<const std::uint8_t> part, std::uint64_t partAt, std::uint64_t at,
                         std::uint8_t* out, std::size_t count) {
        const std::uint64_t from = std::max(at, partAt);
        const std::uint64_t to = std::min(at + count, partAt + part.size());
        if (from < to) {
            std::memcpy(out + (from - at), part.data() + (from - partAt), to - from);
        }
    }
};

}  // namespace lumarest
