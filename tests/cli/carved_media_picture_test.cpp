#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "carving/formats/capture_time.h"
#include "output/picture.h"
#include "support/command_output.h"
#include "support/made_images.h"
#include "support/media_samples.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes Encoded(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return {data.begin(), data.end()};
}

QImage Gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x % 256, y % 256, 128));
        }
    }
    return image;
}

// Phone and camera files made once by the tools that make them, in one folder; a file a tool
// could not make is missing from the map.
class MadeMedia {
  public:
    MadeMedia() {
        const fs::path picture = folder_.Path() / "picture.png";
        const Bytes png = Encoded(Gradient(320, 240), "PNG");
        std::ofstream(picture, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()),
                   static_cast<std::streamsize>(png.size()));
        const std::string in = testing::ShellQuoted(picture.string());
        if (testing::ToolInstalled("heif-enc")) {
            Make("heic", "heif-enc -q 50 -o {} " + in);
            Make("heic with thumbnail", "heif-enc -q 50 -t 64 -o {} " + in);
            Make("avif", "heif-enc -A -q 50 -o {} " + in);
        }
        if (testing::ToolInstalled("ffmpeg")) {
            const std::string clip =
                "ffmpeg -loglevel error -f lavfi -i testsrc=duration=2:size=160x120:rate=10 "
                "-c:v mpeg4 ";
            Make("mp4 movie first", clip + "-movflags +faststart -f mp4 {}");
            Make("mp4 movie last", clip + "-f mp4 {}");
            Make("mov", clip + "-f mov {}");
        }
    }

    const Bytes* Find(const std::string& name) const {
        const auto found = files_.find(name);
        return found == files_.end() ? nullptr : &found->second;
    }

  private:
    void Make(const std::string& name, std::string command) {
        const fs::path out = folder_.Path() / ("made" + std::to_string(files_.size()));
        command.replace(command.find("{}"), 2, testing::ShellQuoted(out.string()));
        if (std::system((command + " >/dev/null 2>&1").c_str()) == 0 && fs::exists(out)) {
            files_[name] = testing::ReadWholeFile(out);
        }
    }

    testing::TempFolder folder_{"made_media"};
    std::map<std::string, Bytes> files_;
};

const MadeMedia& Media() {
    static const MadeMedia media;
    return media;
}

// Each made file decodes through its own decoder, also when only its head and its tail were
// kept; junk under the same names does not.
TEST(CarvedMediaPictures, EachTypeDecodesThroughItsOwnDecoder) {
    const Bytes preview = Encoded(Gradient(640, 480), "JPG");
    testing::RawShape shape{"NIKON CORPORATION", "NIKON D750", false, 0, 4096};
    const Bytes nef = testing::Joined({testing::RawPicture(shape), preview});
    const Bytes junk(64 * 1024, 0x5A);
    struct Case {
        const char* name;  // of a made file, or empty for `bytes`
        const Bytes* bytes;
        const char* extension;
        CarvedVerdict verdict;
        bool decodes;
    };
    const Case cases[] = {
        {"heic", nullptr, "heic", CarvedVerdict::Complete, true},
        {"heic with thumbnail", nullptr, "heic", CarvedVerdict::Complete, true},
        {"avif", nullptr, "avif", CarvedVerdict::Complete, true},
        {"mp4 movie first", nullptr, "mp4", CarvedVerdict::Complete, true},
        {"mp4 movie last", nullptr, "mp4", CarvedVerdict::Complete, true},
        {"mov", nullptr, "mov", CarvedVerdict::Complete, true},
        {"raw with a JPEG preview", &nef, "nef", CarvedVerdict::Complete, true},
        {"junk named heic", &junk, "heic", CarvedVerdict::Complete, false},
        {"junk named mp4", &junk, "mp4", CarvedVerdict::Complete, false},
        {"junk named nef", &junk, "nef", CarvedVerdict::Complete, false},
    };
    for (const Case& c : cases) {
        const Bytes* bytes = c.bytes != nullptr ? c.bytes : Media().Find(c.name);
        if (bytes == nullptr) {
            std::cout << "[ SKIPPED  ] " << c.name << ": its tool could not make it here\n";
            continue;
        }
        const QImage picture = DecodeCarvedPicture(*bytes, c.extension, c.verdict);
        EXPECT_EQ(!picture.isNull(), c.decodes) << c.name;
    }
}

// A clip handed on in pieces keeps its first piece and its last bytes: the movie box at its
// end and the first frame near its start are all a decoder needs.
TEST(CarvedMediaPictures, ClipsDecodeFromTheirHeadAndTail) {
    for (const char* name : {"mp4 movie first", "mp4 movie last", "mov"}) {
        const Bytes* clip = Media().Find(name);
        if (clip == nullptr) {
            GTEST_SKIP() << "ffmpeg could not make " << name;
        }
        const std::size_t head = clip->size() / 2;
        const std::size_t tailAt = clip->size() - clip->size() / 4;
        const KeptBytes kept{std::span(*clip).first(head), std::span(*clip).subspan(tailAt), tailAt,
                             clip->size()};
        EXPECT_FALSE(DecodeCarvedPicture(kept, "mp4", CarvedVerdict::Complete).isNull()) << name;
        ASSERT_TRUE(MovieLengthSeconds(*clip).has_value()) << name;
        EXPECT_NEAR(*MovieLengthSeconds(*clip), 2.0, 0.2) << name;
    }
}

// A HEIC's own thumbnail item stands for it when its structure is whole; one cut short is
// decoded whole, so its verdict rests on the picture itself, and shown at twice the
// thumbnail's size in its own colours.
TEST(CarvedMediaPictures, HeicThumbnailItemStandsForAWholePicture) {
    const Bytes* heic = Media().Find("heic with thumbnail");
    if (heic == nullptr) {
        GTEST_SKIP() << "heif-enc could not make a HEIC with a thumbnail";
    }
    EXPECT_LE(DecodeCarvedPicture(*heic, "heic", CarvedVerdict::Complete).width(), 64);
    const QImage whole = DecodeCarvedPicture(*heic, "heic", CarvedVerdict::Truncated);
    ASSERT_EQ(whole.size(), QSize(200, 150));
    // The gradient's colour at the middle: red 160, green 120, blue 128.
    const QColor middle = whole.pixelColor(100, 75);
    EXPECT_NEAR(middle.red(), 160, 24);
    EXPECT_NEAR(middle.green(), 120, 24);
    EXPECT_NEAR(middle.blue(), 128, 24);
}

}  // namespace
}  // namespace lumarest
