#include "core/packed_texts.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumarest {
namespace {

// Groups of texts appended in turn, each read back from its position after all are in: lengths
// around the one- and two-byte length marks, bytes of every value, and groups that overflow a
// block so the next group starts a new one.
TEST(PackedTexts, ReadsBackEveryGroupAsAppended) {
    struct Group {
        const char* what;
        std::array<std::string, 3> texts;
    };
    std::string everyByte;
    for (int b = 0; b < 256; ++b) {
        everyByte += static_cast<char>(b);
    }
    const std::vector<Group> groups = {
        {"empty texts", {"", "", ""}},
        {"short names", {"IMG_0001.JPG", "Image File", "17-MAY-2020"}},
        {"127 and 128 bytes", {std::string(127, 'a'), std::string(128, 'b'), "c"}},
        {"every byte value", {everyByte, std::string(1, '\0'), "\xFF\xFE"}},
        {"larger than a block", {std::string(3 << 20, 'x'), "after", std::string(16383, 'y')}},
        {"after the large block", {"Root", std::string(16384, 'z'), "end"}},
    };
    PackedTexts store;
    std::vector<std::uint64_t> positions;
    for (int round = 0; round < 400; ++round) {
        for (const Group& group : groups) {
            positions.push_back(store.Append({group.texts[0], group.texts[1], group.texts[2]}));
        }
    }
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const Group& group = groups[i % groups.size()];
        std::array<std::string_view, 3> read;
        store.Read(positions[i], read);
        for (std::size_t t = 0; t < read.size(); ++t) {
            ASSERT_EQ(read[t], group.texts[t]) << group.what << ", text " << t << ", group " << i;
        }
    }
}

}  // namespace
}  // namespace lumarest
