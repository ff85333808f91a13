#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lumarest::testing {

// SHA-256 fed in pieces, so the image guard hashes images of any size without Qt.
class Sha256 {
  public:
    Sha256();
    void Add(const void* data, std::size_t size);
    // The digest in lowercase hex; the hash takes no more data after it.
    std::string HexDigest();

  private:
    static constexpr std::size_t kBlockBytes = 64;
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, kBlockBytes> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The SHA-256 of `text`, in lowercase hex.
std::string Sha256Hex(const std::string& text);

}  // namespace lumarest::testing
