#include "support/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarest::testing {
namespace {

struct KnownDigest {
    std::string text;
    const char* hex;
};

// The published digests: empty, one block, a message whose padding takes a second block, and
// many blocks.
TEST(Sha256, GivesThePublishedDigests) {
    const KnownDigest cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const KnownDigest& c : cases) {
        EXPECT_EQ(Sha256Hex(c.text), c.hex) << c.text.size() << " bytes";
    }
}

// Pieces of every size, across block boundaries, hash as the whole does.
TEST(Sha256, PiecesHashAsTheWhole) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += static_cast<char>(i * 7);
    }
    for (std::size_t piece = 1; piece <= 130; ++piece) {
        Sha256 hash;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            const std::string part = text.substr(at, piece);
            hash.Add(part.data(), part.size());
        }
        EXPECT_EQ(hash.HexDigest(), Sha256Hex(text)) << piece;
    }
}

}  // namespace
}  // namespace lumarest::testing
