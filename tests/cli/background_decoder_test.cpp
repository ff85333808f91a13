#include "cli/background_decoder.h"

#include <gtest/gtest.h>

namespace lumarest {
namespace {

TEST(BackgroundDecoderTest, KeepsEachResultAtItsIndexWhateverThreadChecksIt) {
    BackgroundDecoder decoder(
        [](std::span<const std::uint8_t> bytes) { return !bytes.empty() && bytes[0] % 2 == 1; }, 3,
        1 << 20);
    for (std::size_t i = 0; i < 200; ++i) {
        decoder.Submit(i, std::vector<std::uint8_t>(100, static_cast<std::uint8_t>(i)));
    }
    const std::vector<bool> results = decoder.Finish();
    ASSERT_EQ(results.size(), 200u);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i], i % 2 == 1) << i;
    }
}

TEST(BackgroundDecoderTest, LetsInAFileLargerThanTheWholeQueue) {
    BackgroundDecoder decoder([](std::span<const std::uint8_t>) { return true; }, 1, 1000);
    decoder.Submit(0, std::vector<std::uint8_t>(5000));
    decoder.Submit(2, std::vector<std::uint8_t>(600));  // index 1 is never submitted
    decoder.Submit(3, std::vector<std::uint8_t>(600));
    const std::vector<bool> results = decoder.Finish();
    EXPECT_EQ(results, (std::vector<bool>{true, false, true, true}));
    // Finishing twice, as the destructor does after an explicit Finish, is harmless.
    EXPECT_EQ(decoder.Finish(), results);
}

}  // namespace
}  // namespace lumarest
