#include "support/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace lumarest::testing {

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (context_ == nullptr || EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context_);
        throw std::runtime_error("SHA-256 is not available");
    }
}

Sha256::~Sha256() {
    EVP_MD_CTX_free(context_);
}

void Sha256::Add(const void* data, std::size_t size) {
    EVP_DigestUpdate(context_, data, size);
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_, digest, &length);
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHexDigits[digest[i] >> 4];
        hex += kHexDigits[digest[i] & 0xF];
    }
    return hex;
}

std::string Sha256Hex(const std::string& text) {
    Sha256 hash;
    hash.Add(text.data(), text.size());
    return hash.HexDigest();
}

}  // namespace lumarest::testing
