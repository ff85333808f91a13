#pragma once

#include <cstddef>
#include <memory>
#include <string>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace lumarest::testing {

// SHA-256 fed in pieces, through libcrypto, so the image guard hashes images of any size
// without Qt.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest in lowercase hex; the hash takes no more data after it.
    std::string HexDigest();

  private:
    EVP_MD_CTX* context_;
};

// The SHA-256 of `text`, in lowercase hex.
std::string Sha256Hex(const std::string& text);

}  // namespace lumarest::testing
