#include "output/carved_picture_pool.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <stop_token>
#include <string>
#include <vector>

#include "carving/carved_verdict.h"
#include "support/encoded_picture.h"

namespace lumarest {
namespace {

std::vector<std::uint8_t> Encoded(const char* format) {
    return testing::EncodedPicture(testing::FilledPicture(64, 48, QColor(30, 120, 200)), format);
}

CarvedFile Carved(std::string name, CarvedVerdict verdict, std::uint64_t savedBytes = 0) {
    CarvedFile file;
    file.extension = name.substr(name.rfind('.') + 1);
    file.name = std::move(name);
    file.verdict = verdict;
    file.savedBytes = savedBytes;
    return file;
}

std::string Numbered(int i) {
    return "GNLM" + std::to_string(10000 + i) + ".png";
}

// Whatever the number of decoders, the files come back one at a time in the order they came;
// after a stop none is decoded and each keeps the scan's verdict.
TEST(CarvedPicturePoolTest, HandsBackEveryFileInOrderWhateverThreadDecodesIt) {
    const std::vector<std::uint8_t> png = Encoded("PNG");
    struct Case {
        unsigned decoders;
        bool stopped;
    };
    for (const Case c : {Case{1, false}, Case{3, false}, Case{2, true}}) {
        constexpr int kFiles = int(CarvedPicturePool::kMostWaitingFiles) * 3;
        std::stop_source stop;
        if (c.stopped) {
            stop.request_stop();
        }
        std::vector<CheckedCarvedFile> checked;
        {
            CarvedPicturePool pool(
                CarvedPicturePool::Wanted::DecodesOnly,
                [&](CheckedCarvedFile file) { checked.push_back(std::move(file)); },
                stop.get_token(), c.decoders);
            for (int i = 0; i < kFiles; ++i) {
                pool.FileCarved(Carved(Numbered(i), CarvedVerdict::Complete),
                                i % 2 == 0 ? png : std::vector<std::uint8_t>(512, 0));
            }
        }
        ASSERT_EQ(checked.size(), std::size_t(kFiles)) << c.decoders;
        for (int i = 0; i < kFiles; ++i) {
            const CheckedCarvedFile& file = checked[std::size_t(i)];
            EXPECT_EQ(file.file.name, Numbered(i));
            EXPECT_TRUE(file.thumbnail.isNull());
            if (c.stopped) {
                EXPECT_FALSE(file.decodes.has_value()) << i;
                EXPECT_EQ(file.file.verdict, CarvedVerdict::Complete) << i;
            } else {
                EXPECT_EQ(file.decodes, i % 2 == 0) << i;
                EXPECT_EQ(file.file.verdict,
                          i % 2 == 0 ? CarvedVerdict::Complete : CarvedVerdict::NotAPicture)
                    << i;
            }
        }
    }
}

// Only the saved bytes are decoded (all of them when the size is not known), and the verdict
// is the scan's once decoding has had its say.
TEST(CarvedPicturePoolTest, JudgesEachFileByItsSavedBytes) {
    const std::vector<std::uint8_t> jpeg = Encoded("JPG");
    std::vector<std::uint8_t> jpegAndFiller = jpeg;
    jpegAndFiller.resize(jpeg.size() + 4096, 0);
    const std::vector<std::uint8_t> png = Encoded("PNG");
    std::vector<std::uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0xE0};
    garbage.resize(2048, 0x41);
    struct Case {
        CarvedFile file;
        const std::vector<std::uint8_t>& bytes;
        bool decodes;
        CarvedVerdict verdict;
    };
    const Case cases[] = {
        {Carved("a.jpg", CarvedVerdict::Complete, jpeg.size()), jpegAndFiller, true,
         CarvedVerdict::Complete},
        {Carved("b.jpg", CarvedVerdict::Unchecked), jpegAndFiller, true, CarvedVerdict::Truncated},
        {Carved("c.jpg", CarvedVerdict::Truncated), jpeg, true, CarvedVerdict::Truncated},
        {Carved("d.jpg", CarvedVerdict::Complete), garbage, false, CarvedVerdict::NotAPicture},
        {Carved("e.png", CarvedVerdict::Truncated, 16), png, false, CarvedVerdict::NotAPicture},
        // Not a picture type: decoding says nothing of its verdict.
        {Carved("f.bin", CarvedVerdict::Unchecked), png, true, CarvedVerdict::Unchecked},
    };
    std::vector<CheckedCarvedFile> checked;
    {
        CarvedPicturePool pool(CarvedPicturePool::Wanted::DecodesOnly,
                               [&](CheckedCarvedFile file) { checked.push_back(std::move(file)); });
        for (const Case& c : cases) {
            pool.FileCarved(c.file, c.bytes);
        }
    }
    ASSERT_EQ(checked.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(checked[i].decodes, cases[i].decodes) << cases[i].file.name;
        EXPECT_EQ(VerdictText(checked[i].file.verdict), VerdictText(cases[i].verdict))
            << cases[i].file.name;
    }
}

// A file in pieces is decoded from its first piece, cut to its saved size like a whole one; the
// piece of a file the scan dropped never stands in for a later file.
TEST(CarvedPicturePoolTest, DecodesAFileInPiecesFromItsFirstPiece) {
    const std::vector<std::uint8_t> png = Encoded("PNG");
    const std::vector<std::uint8_t> tail(4096, 0x41);
    const CarvedFile unsized = Carved("a.bin", CarvedVerdict::Unchecked);
    const CarvedFile cut = Carved("b.bin", CarvedVerdict::Unchecked, 16);
    const CarvedFile dropped = Carved("c.bin", CarvedVerdict::Unchecked);
    ASSERT_TRUE(CarvedPicturePool::TakesPieces(unsized));
    ASSERT_FALSE(CarvedPicturePool::TakesPieces(Carved("d.jpg", CarvedVerdict::Unchecked)));
    std::vector<CheckedCarvedFile> checked;
    CarvedPicturePool pool(CarvedPicturePool::Wanted::DecodesOnly,
                           [&](CheckedCarvedFile file) { checked.push_back(std::move(file)); });
    for (const CarvedFile& file : {unsized, cut}) {
        pool.PieceCarved(file, png);
        pool.PieceCarved(file, tail);
        pool.FileCarved(file, tail);
    }
    pool.PieceCarved(dropped, png);
    pool.FileCarved(Carved("d.bin", CarvedVerdict::Unchecked), tail);
    pool.Finish();
    ASSERT_EQ(checked.size(), 3u);
    EXPECT_EQ(checked[0].decodes, true);
    EXPECT_EQ(checked[1].decodes, false);
    EXPECT_EQ(checked[2].decodes, false);
}

TEST(CarvedPicturePoolTest, LetsInAFileLargerThanTheWholeQueue) {
    std::vector<CheckedCarvedFile> checked;
    CarvedPicturePool pool(
        CarvedPicturePool::Wanted::DecodesOnly,
        [&](CheckedCarvedFile file) { checked.push_back(std::move(file)); }, {}, 1);
    pool.FileCarved(Carved("a.bin", CarvedVerdict::Unchecked),
                    std::vector<std::uint8_t>(CarvedPicturePool::kMostWaitingBytes + 1));
    pool.FileCarved(Carved("b.bin", CarvedVerdict::Unchecked), std::vector<std::uint8_t>(600));
    pool.Finish();
    EXPECT_EQ(checked.size(), 2u);
    // Finishing twice, as the destructor does after an explicit Finish, is harmless.
    pool.Finish();
    EXPECT_EQ(checked.size(), 2u);
}

}  // namespace
}  // namespace lumarest
