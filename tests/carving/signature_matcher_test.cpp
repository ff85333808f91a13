#include "carving/signature_matcher.h"

#include <gtest/gtest.h>

#include <random>

namespace lumarest {
namespace {

using Sector = std::vector<std::uint8_t>;

// A record as a signature file gives it; one with no signature bytes, which no file gives, is
// made by hand.
FileType Record(const std::string& hex) {
    if (hex.empty()) {
        return {".x", "512", "", "d", "0"};
    }
    SignatureList list;
    ParseSignatureText(".x\n512\n" + hex + "\nd\n", list);
    return list.at(0);
}

// Writes the decimal text of the sector for every record in turn, as the definition reads.
std::size_t ReferenceMatch(const SignatureList& list, const Sector& sector) {
    for (std::size_t r = 0; r < list.size(); ++r) {
        const std::uint64_t count = SignatureByteCount(list[r]);
        if (count > sector.size()) {
            continue;
        }
        if (DecimalSignatureText(sector.data(), count) == list[r].signature) {
            return r;
        }
    }
    return SignatureMatcher::kNoMatch;
}

Sector SectorStarting(std::initializer_list<std::uint8_t> bytes) {
    Sector sector(512, 0xAA);
    std::copy(bytes.begin(), bytes.end(), sector.begin());
    return sector;
}

TEST(SignatureMatcher, ComparesDecimalTextNotBytes) {
    const SignatureList list = {Record("0117")};  // 01 17 gives "123"
    const SignatureMatcher matcher(list);
    EXPECT_EQ(matcher.Match(SectorStarting({0x01, 0x17}).data()), 0u);
    EXPECT_EQ(matcher.Match(SectorStarting({0x0C, 0x03}).data()), 0u);  // 12 3
    EXPECT_EQ(matcher.Match(SectorStarting({0x01, 0x02}).data()), SignatureMatcher::kNoMatch);
    EXPECT_EQ(matcher.Match(SectorStarting({0x7B, 0x00}).data()), SignatureMatcher::kNoMatch);
}

TEST(SignatureMatcher, FirstMatchingRecordWinsAndEmptySignatureMatchesEverything) {
    const SignatureList list = {Record("FFD8FFE1"), Record("FFD8"), Record(""), Record("FFD8FFE0")};
    const SignatureMatcher matcher(list);
    EXPECT_EQ(matcher.Match(SectorStarting({0xFF, 0xD8, 0xFF, 0xE1}).data()), 0u);
    EXPECT_EQ(matcher.Match(SectorStarting({0xFF, 0xD8, 0xFF, 0xE0}).data()), 1u);
    EXPECT_EQ(matcher.Match(SectorStarting({0x00}).data()), 2u);
    EXPECT_EQ(matcher.Match(SectorStarting({0x12, 0x34}).data()), 2u);
}

TEST(SignatureMatcher, RecordsNeedingMoreThanASectorNeverMatch) {
    SignatureList list = {Record(std::string(2 * 513, '0'))};
    EXPECT_EQ(list[0].byteCount, "513");
    EXPECT_EQ(SignatureMatcher(list).Match(Sector(512, 0).data()), SignatureMatcher::kNoMatch);
    list = {Record(std::string(2 * 512, '0'))};
    EXPECT_EQ(SignatureMatcher(list).Match(Sector(512, 0).data()), 0u);
    // Hand-made records whose count and text disagree are judged by the text, as read.
    FileType odd;
    odd.signature = "123";
    odd.byteCount = "1";
    EXPECT_EQ(SignatureMatcher({odd}).Match(SectorStarting({123}).data()), 0u);
    odd.byteCount = "junk";
    EXPECT_EQ(SignatureMatcher({odd}).Match(SectorStarting({123}).data()),
              SignatureMatcher::kNoMatch);
}

// Random records built from few byte values, random sectors built from the same values, so
// matches (and decimal look-alikes such as 1 23 and 12 3) come often.
TEST(SignatureMatcher, AgreesWithTheTextComparisonOnRandomSectors) {
    std::mt19937 random(20240611);
    const std::uint8_t alphabet[] = {0, 1, 2, 3, 12, 17, 23, 123, 200, 255};
    auto pick = [&] { return alphabet[random() % std::size(alphabet)]; };
    std::size_t matched = 0;
    for (int round = 0; round < 300; ++round) {
        SignatureList list;
        const int records = 1 + static_cast<int>(random() % 8);
        for (int r = 0; r < records; ++r) {
            FileType type;
            const std::size_t count = random() % 5;
            std::string hex;
            for (std::size_t i = 0; i < count; ++i) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02X", pick());
                hex += pair;
            }
            if (random() % 5 == 0 && !hex.empty()) {
                hex.pop_back();  // odd digit counts
            }
            list.push_back(Record(hex));
            if (random() % 7 == 0) {
                list.back().byteCount = std::to_string(random() % 6);  // disagreeing count
            }
        }
        const SignatureMatcher matcher(list);
        for (int s = 0; s < 200; ++s) {
            Sector sector(512);
            for (std::size_t i = 0; i < 8; ++i) {
                sector[i] = pick();
            }
            const std::size_t expected = ReferenceMatch(list, sector);
            ASSERT_EQ(matcher.Match(sector.data()), expected) << "round " << round;
            matched += expected != SignatureMatcher::kNoMatch;
        }
    }
    EXPECT_GT(matched, 1000u);
}

}  // namespace
}  // namespace lumarest
