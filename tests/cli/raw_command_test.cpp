#include "cli/raw_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli_fixture.h"
#include "disk/disk_inventory.h"
#include "program/program_files.h"
#include "support/image_guard.h"
#include "support/made_media.h"
#include "support/media_samples.h"
#include "support/sample_pictures.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr std::uint64_t kDemoSectors = 139264;
// The FAT32 and FAT16 volumes of the demo disk end here; they are the same on every build, the
// NTFS volume after them is not.
constexpr std::uint64_t kDemoFatEnd = 104448;

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An image of `sectors` zero sectors with each piece written at its sector.
std::string MakeImage(const fs::path& path, std::size_t sectors,
                      const std::vector<std::pair<std::size_t, testing::SampleBytes>>& pieces) {
    std::string bytes(sectors * 512, '\0');
    for (const auto& [sector, piece] : pieces) {
        std::copy(piece.begin(), piece.end(), bytes.begin() + static_cast<long>(sector * 512));
    }
    WriteFile(path, bytes);
    return path.string();
}

std::string ReadBytes(const std::string& path, std::uint64_t offset, std::uint64_t count) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

class RawCommandTest : public testing::CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        demo_ = testing::FixtureImage("demo.img");
        if (demo_.empty()) {
            FAIL() << "demo.img was not made: run the fixtures.make_images test first";
        }
    }

    Json RunJson(std::vector<std::string> args) {
        args.insert(args.begin(), {"--json", "--image", demo_, "raw"});
        const int status = Run(args);
        EXPECT_EQ(status, kExitOk) << err_.str();
        return status == kExitOk ? Json::parse(out_.str()) : Json();
    }

    // Runs the raw command on `image` with the general signature file `general` and no other.
    int RunWithSignatures(const std::string& image, const std::string& general, bool json) {
        const fs::path signatures = folder_ / "signatures";
        fs::create_directories(signatures);
        WriteFile(signatures / "LMXExt2.dll", general);
        CliContext context;
        context.out = &out_;
        context.err = &err_;
        context.json = json;
        context.disks = environment_.makeDiskEnumerator();
        context.store = std::make_unique<ParameterStore>();
        context.reporter = std::make_unique<CliReporter>(err_, false);
        EXPECT_FALSE(AttachImage(context.run, image).has_value());
        RawSearchOptions options;
        options.diskNumber = 0;
        options.signatureFolder = signatures.string();
        out_.str("");
        err_.str("");
        return RunRawCommand(context, options);
    }

    std::string demo_;
};

TEST_F(RawCommandTest, CarvesTheWholeDemoDiskIntoNumberedFiles) {
    testing::ImageGuard guard(demo_);
    const Json document = RunJson({});
    ASSERT_TRUE(document.is_object());
    EXPECT_EQ(document.at("disk"), 0);
    EXPECT_EQ(document.at("firstSector"), 0);
    EXPECT_EQ(document.at("lastSector"), kDemoSectors);
    EXPECT_EQ(document.at("thorough"), false);
    const Json& files = document.at("files");
    EXPECT_EQ(document.at("count"), files.size());
    ASSERT_GT(files.size(), 18u);
    std::uint64_t previousSector = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Json& file = files[i];
        char name[32];
        std::snprintf(name, sizeof name, "GNLM%05zu.", i + 1);
        EXPECT_EQ(file.at("name"), name + file.at("extension").get<std::string>());
        EXPECT_GT(file.at("firstSector").get<std::uint64_t>(), previousSector) << file;
        previousSector = file.at("firstSector");
        EXPECT_EQ(file.at("bytes").get<std::uint64_t>() % 512, 0u) << file;
        EXPECT_EQ(file.at("carvedBytes"), file.at("bytes")) << file;
        EXPECT_LE(file.at("savedBytes").get<std::uint64_t>(), file.at("bytes").get<std::uint64_t>())
            << file;
        EXPECT_FALSE(file.contains("savedPath"));
        // A file that decodes is complete, or cut short where its format says so.
        EXPECT_TRUE(file.at("verdict") == "complete" || file.at("verdict") == "truncated") << file;
        // Every header the general list knows starts a real picture of the common tree.
        EXPECT_EQ(file.at("picture"), true) << file;
    }

    // Each FAT volume, in its data's order: five photos, the PNG, the GIF, the BMP, one more photo.
    const Json fat = RunJson({"--last", std::to_string(kDemoFatEnd)});
    std::vector<std::string> extensions;
    for (const Json& file : fat.at("files")) {
        extensions.push_back(file.at("extension"));
    }
    const std::vector<std::string> volume = {"jpg", "jpg", "jpg", "jpg", "jpg",
                                             "png", "gif", "bmp", "jpg"};
    std::vector<std::string> twice = volume;
    twice.insert(twice.end(), volume.begin(), volume.end());
    EXPECT_EQ(extensions, twice);
    EXPECT_TRUE(guard.Unchanged());
}

// Saved at the length the format gives, or as carved when asked.
TEST_F(RawCommandTest, SavesEachFileFromTheSectorsItWasCarvedFrom) {
    testing::ImageGuard guard(demo_);
    for (const bool keep : {false, true}) {
        const fs::path out = folder_ / (keep ? "as carved" : "recovered");
        fs::create_directories(out);
        std::vector<std::string> args = {"--out", out.string()};
        if (keep) {
            args.push_back("--keep-carved-length");
        }
        const Json document = RunJson(args);
        ASSERT_TRUE(document.is_object());
        const Json& files = document.at("files");
        ASSERT_FALSE(files.empty());
        EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(out), {})),
                  files.size());
        for (const Json& file : files) {
            const std::string saved = file.at("savedPath");
            EXPECT_EQ(fs::path(saved).parent_path(), out);
            EXPECT_EQ(fs::path(saved).filename(), file.at("name").get<std::string>());
            const std::uint64_t bytes = file.at(keep ? "carvedBytes" : "savedBytes");
            ASSERT_EQ(fs::file_size(saved), bytes) << saved;
            EXPECT_TRUE(ReadBytes(saved, 0, bytes) ==
                        ReadBytes(demo_, file.at("firstSector").get<std::uint64_t>() * 512, bytes))
                << saved;
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(RawCommandTest, ListsTheSameFilesAsTextWithAHeader) {
    testing::ImageGuard guard(demo_);
    const Json document = RunJson({"--no-decode"});
    ASSERT_TRUE(document.is_object());
    for (const Json& file : document.at("files")) {
        EXPECT_TRUE(file.at("picture").is_null());
        // Without decoding, a type with no known end stays unchecked.
        if (file.at("savedBytes") == file.at("carvedBytes")) {
            EXPECT_NE(file.at("verdict"), "complete") << file;
        }
    }
    ASSERT_EQ(Run({"raw", "--image", demo_, "--no-decode"}), kExitOk) << err_.str();
    std::istringstream lines(out_.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line,
              "Name            First sector  Carved bytes  Saved bytes  Type   Verdict        "
              "Picture");
    const Json& first = document.at("files").at(0);
    std::getline(lines, line);
    const std::string row = first.at("name").get<std::string>();
    EXPECT_EQ(line.rfind(row, 0), 0u) << line;
    const std::string cells = std::to_string(first.at("firstSector").get<std::uint64_t>()) + " " +
                              std::to_string(first.at("carvedBytes").get<std::uint64_t>()) + " " +
                              std::to_string(first.at("savedBytes").get<std::uint64_t>()) + " " +
                              first.at("extension").get<std::string>() + " " +
                              first.at("verdict").get<std::string>() + " -";
    std::istringstream words(line.substr(row.size()));
    std::string word;
    std::string joined;
    while (words >> word) {
        joined += (joined.empty() ? "" : " ") + word;
    }
    EXPECT_EQ(joined, cells) << line;
    std::size_t rows = 1;
    while (std::getline(lines, line)) {
        ++rows;
    }
    EXPECT_EQ(rows, document.at("count"));
    EXPECT_NE(err_.str().find(std::to_string(rows) + " files carved from sectors 0 to 139264"),
              std::string::npos)
        << err_.str();
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(RawCommandTest, TheThoroughScanFollowsOnlyWhenAsked) {
    // A JFIF header the general list knows at sector 8; a bare quantisation-table header only
    // the thorough list knows at sector 40.
    const fs::path path = folder_ / "two headers.img";
    {
        std::string bytes(64 * 512, '\0');
        bytes.replace(8 * 512, 4, "\xFF\xD8\xFF\xE0");
        bytes.replace(40 * 512, 4, "\xFF\xD8\xFF\xDB");
        std::ofstream(path, std::ios::binary) << bytes;
    }
    testing::ImageGuard guard(path.string());
    const auto run = [this, &path](std::vector<std::string> args) {
        args.insert(args.begin(), {"--json", "raw", "--image", path.string()});
        EXPECT_EQ(Run(args), kExitOk) << err_.str();
        return Json::parse(out_.str());
    };
    const Json general = run({});
    EXPECT_EQ(general.at("thorough"), false);
    ASSERT_EQ(general.at("count"), 1);
    EXPECT_EQ(general.at("files")[0].at("name"), "GNLM00001.jpg");
    EXPECT_EQ(general.at("files")[0].at("picture"), false);
    // The general file runs on past the thorough header, which means nothing to it.
    EXPECT_GE(general.at("files")[0].at("bytes"), 56 * 512);

    const Json both = run({"--thorough"});
    EXPECT_EQ(both.at("thorough"), true);
    ASSERT_EQ(both.at("count"), 2);
    EXPECT_EQ(both.at("files")[0], general.at("files")[0]);
    EXPECT_EQ(both.at("files")[1].at("name"), "THLM00001.jpg");
    EXPECT_EQ(both.at("files")[1].at("firstSector"), 40);
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(RawCommandTest, SearchesTheSectorsOfANamedPartition) {
    testing::ImageGuard guard(demo_);
    const Json byPartition = RunJson({"--partition", "2"});
    ASSERT_TRUE(byPartition.is_object());
    EXPECT_EQ(byPartition.at("firstSector"), 71680);
    EXPECT_EQ(byPartition.at("lastSector"), 104448);
    const Json bySectors = RunJson({"--first", "71680", "--last", "104448"});
    EXPECT_EQ(bySectors.at("files"), byPartition.at("files"));
    for (const Json& file : byPartition.at("files")) {
        EXPECT_GE(file.at("firstSector").get<std::uint64_t>(), 71680u);
    }
    EXPECT_TRUE(guard.Unchanged());
}

// The last sector named is the first one not searched: no file may start there or later, while
// a file that starts before it is carved whole.
TEST_F(RawCommandTest, NoFileStartsAtOrAfterTheEndOfTheRange) {
    testing::ImageGuard guard(demo_);
    const Json whole = RunJson({"--no-decode"});
    ASSERT_GE(whole.at("files").size(), 3u);
    const Json& second = whole.at("files").at(1);
    const auto secondStart = second.at("firstSector").get<std::uint64_t>();
    struct Case {
        const char* name;
        std::uint64_t first;
        std::uint64_t last;
        std::size_t expected;
    };
    const Case cases[] = {
        {"ending at the second file's start", 0, secondStart, 1},
        {"ending just after it", 0, secondStart + 1, 2},
        {"inside one chunk", secondStart - 1, secondStart, 0},
        {"one sector that holds a header", secondStart, secondStart + 1, 1},
    };
    for (const Case& c : cases) {
        const Json part = RunJson(
            {"--no-decode", "--first", std::to_string(c.first), "--last", std::to_string(c.last)});
        const Json& files = part.at("files");
        for (const Json& file : files) {
            EXPECT_LT(file.at("firstSector").get<std::uint64_t>(), c.last) << c.name;
            EXPECT_GE(file.at("firstSector").get<std::uint64_t>(), c.first) << c.name;
        }
        EXPECT_EQ(files.size(), c.expected) << c.name;
    }
    // A file cut short by nothing but the range's end is carved as the whole disk carves it.
    const Json first = RunJson({"--no-decode", "--last", std::to_string(secondStart)});
    ASSERT_EQ(first.at("files").size(), 1u);
    EXPECT_EQ(first.at("files").at(0).at("bytes"), whole.at("files").at(0).at("bytes"));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(RawCommandTest, RefusesBadRangesPartitionsAndFolders) {
    testing::ImageGuard guard(demo_);
    const auto refused = [this](std::vector<std::string> args, const std::string& message) {
        args.insert(args.begin(), {"--image", demo_, "raw"});
        EXPECT_EQ(Run(args), kExitBadInput) << message;
        EXPECT_NE(err_.str().find(message), std::string::npos) << err_.str();
        EXPECT_TRUE(out_.str().empty());
    };
    refused({"--first", "100", "--last", "100"}, "End Sector should be greater than Start Sector.");
    refused({"--first", "139264"}, "End Sector should be greater than Start Sector.");
    refused({"--last", "139265"},
            "cannot be greater than the maximum number of sectors in drive. Disk 0 has 139264");
    refused({"--first", "-5"}, "--first");
    refused({"--partition", "4"}, "disk 0 has no partition 4");
    refused({"--partition", "0"}, "partitions are numbered from 1");
    refused({"--out", ""}, "Please choose a destination folder");
    refused({"--partition", "1", "--first", "5"}, "excludes");
    refused({"--out", (folder_ / "not there").string()}, "not there");
    refused({"--keep-carved-length"}, "--keep-carved-length requires --out");
    refused({"--disk", "1"}, "there is no disk 1");
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(RawCommandTest, SaysSoWhenTheSignatureFilesAreMissing) {
    testing::ImageGuard guard(demo_);
    CliContext context;
    std::ostringstream out;
    std::ostringstream err;
    context.out = &out;
    context.err = &err;
    context.disks = environment_.makeDiskEnumerator();
    context.store = std::make_unique<ParameterStore>();
    context.reporter = std::make_unique<CliReporter>(err, false);
    ASSERT_FALSE(AttachImage(context.run, demo_).has_value());
    RawSearchOptions options;
    options.diskNumber = 0;
    options.signatureFolder = (folder_ / "empty").string();
    EXPECT_EQ(RunRawCommand(context, options), kExitBadInput);
    EXPECT_NE(err.str().find("LMXExt2.dll is missing or lists no file type"), std::string::npos)
        << err.str();
    EXPECT_TRUE(out.str().empty());

    // Without the thorough file the general scan still runs, and the note says why nothing more.
    fs::create_directories(folder_ / "general only");
    fs::copy_file(fs::path(DataFolder()) / "LMXExt2.dll", folder_ / "general only" / "LMXExt2.dll");
    options.signatureFolder = (folder_ / "general only").string();
    options.thorough = true;
    options.lastSector = 71680;
    err.str("");
    EXPECT_EQ(RunRawCommand(context, options), kExitOk) << err.str();
    EXPECT_NE(err.str().find("LMXExt2Adv.dll is missing"), std::string::npos) << err.str();
    EXPECT_EQ(out.str().find("THLM"), std::string::npos);
    EXPECT_NE(out.str().find("GNLM00001"), std::string::npos);
    EXPECT_TRUE(guard.Unchanged());
}

// Complete means the end was found: a picture the decoder reads although its structure breaks
// off before its end is not.
TEST_F(RawCommandTest, APictureWhoseEndWasNotFoundIsNeverComplete) {
    const auto samples = testing::MakeSamplePictures();
    ASSERT_TRUE(samples.count("anim.gif") && samples.count("jpeg_420.jpg"));
    testing::SampleBytes noTrailer = samples.at("anim.gif");
    ASSERT_EQ(noTrailer.back(), 0x3B);
    noTrailer.pop_back();
    testing::SampleBytes emptySegment = samples.at("jpeg_420.jpg");
    emptySegment[4] = emptySegment[5] = 0;  // the first segment's length
    const std::string image =
        MakeImage(folder_ / "broken.img", 256, {{0, noTrailer}, {128, emptySegment}});
    testing::ImageGuard guard(image);
    ASSERT_EQ(Run({"--json", "--image", image, "raw"}), kExitOk) << err_.str();
    const Json files = Json::parse(out_.str()).at("files");
    ASSERT_EQ(files.size(), 2u) << files;
    for (const Json& file : files) {
        EXPECT_TRUE(file.at("verdict") == "truncated" || file.at("verdict") == "not a picture")
            << file;
    }
    EXPECT_TRUE(guard.Unchanged());
}

// Photos, clips and raw pictures that heif-enc, ffmpeg, convert and exiftool made are saved
// byte for byte, each under its true type.
TEST_F(RawCommandTest, SavesFilesMadeByRealToolsByteForByte) {
    const fs::path made = folder_ / "made";
    fs::create_directories(made);
    const testing::MadeMediaSet media = testing::MakeToolMedia(made);
    if (!media.missing.empty()) {
        GTEST_SKIP() << media.missing << " is not installed";
    }
    std::vector<std::pair<std::size_t, testing::SampleBytes>> pieces;
    std::size_t sector = 3;
    for (const testing::MadeMedia& file : media.files) {
        pieces.push_back({sector, file.bytes});
        sector += (file.bytes.size() + 511) / 512 + 2;
    }
    const std::string image = MakeImage(folder_ / "made.img", sector, pieces);
    testing::ImageGuard guard(image);
    const fs::path out = folder_ / "recovered";
    fs::create_directories(out);
    ASSERT_EQ(Run({"--json", "--image", image, "raw", "--out", out.string()}), kExitOk)
        << err_.str();
    const Json files = Json::parse(out_.str()).at("files");
    ASSERT_EQ(files.size(), media.files.size()) << files;
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(media.files[i].label);
        EXPECT_EQ(files[i].at("extension"), media.files[i].extension);
        EXPECT_EQ(files[i].at("firstSector"), pieces[i].first);
        EXPECT_EQ(files[i].at("verdict"), "complete");
        EXPECT_TRUE(testing::ReadWholeFile(files[i].at("savedPath").get<std::string>()) ==
                    media.files[i].bytes);
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A clip longer than one piece and a camera's stream are saved byte-exact at their own length,
// decoded or not, and listed with that length and their verdict; one cut short by the disk's
// end is saved as carved.
TEST_F(RawCommandTest, SavesLongClipsAndStreamsAtTheirOwnLength) {
    using testing::Box;
    constexpr std::size_t kSector = 512;
    const testing::MediaBytes clip = testing::Joined(
        {testing::Ftyp("qt  ", {"qt  "}), Box("mdat", testing::Filling((12u << 20) + 333, 4)),
         Box("moov", testing::Mvhd(0, 3800000000u))});
    const testing::MediaBytes stream = testing::PacketStream(40000);
    const std::size_t streamAt = clip.size() / kSector + 8;
    const std::size_t cutAt = streamAt + stream.size() / kSector + 8;
    const std::size_t sectors = cutAt + 64;
    testing::MediaBytes cut = testing::PacketStream(200);
    cut.resize((sectors - cutAt) * kSector);  // the image ends inside a packet
    const std::string image =
        MakeImage(folder_ / "streams.img", sectors, {{1, clip}, {streamAt, stream}, {cutAt, cut}});
    testing::ImageGuard guard(image);
    struct Listed {
        const char* extension;
        std::uint64_t firstSector;
        std::uint64_t savedBytes;
        const char* verdict;
    };
    const Listed listed[] = {{"mov", 1, clip.size(), "complete"},
                             {"mts", streamAt, stream.size(), "complete"},
                             {"mts", cutAt, (sectors - cutAt) * kSector, "truncated"}};
    for (const bool decode : {true, false}) {
        SCOPED_TRACE(decode ? "decoded" : "not decoded");
        const fs::path out = folder_ / (decode ? "decoded" : "plain");
        fs::create_directories(out);
        std::vector<std::string> args = {"--json", "--image", image, "raw", "--out", out.string()};
        if (!decode) {
            args.push_back("--no-decode");
        }
        out_.str("");
        ASSERT_EQ(Run(args), kExitOk) << err_.str();
        const Json files = Json::parse(out_.str()).at("files");
        ASSERT_EQ(files.size(), std::size(listed)) << files;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const Json& file = files[i];
            EXPECT_EQ(file.at("extension"), listed[i].extension) << file;
            EXPECT_EQ(file.at("firstSector"), listed[i].firstSector) << file;
            EXPECT_EQ(file.at("savedBytes"), listed[i].savedBytes) << file;
            EXPECT_EQ(file.at("verdict"), listed[i].verdict) << file;
            const std::string saved = file.at("savedPath");
            ASSERT_EQ(fs::file_size(saved), listed[i].savedBytes) << saved;
            EXPECT_TRUE(ReadBytes(saved, 0, listed[i].savedBytes) ==
                        ReadBytes(image, listed[i].firstSector * kSector, listed[i].savedBytes))
                << saved;
        }
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A 2 x 2 grey TIFF, little-endian, whose directory carries a tag no reader knows (65000):
// decoders warn about such fields on the terminal themselves.
std::vector<std::uint8_t> TiffWithAnUnknownTag() {
    std::vector<std::uint8_t> tiff{'I', 'I', 42, 0, 12, 0, 0, 0, 0, 255, 255, 0};
    const auto put16 = [&](std::uint32_t v) {
        tiff.push_back(static_cast<std::uint8_t>(v));
        tiff.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const std::uint32_t entries[][4] = {
        {256, 3, 1, 2}, {257, 3, 1, 2}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
        {273, 4, 1, 8}, {277, 3, 1, 1}, {278, 3, 1, 2}, {279, 4, 1, 4}, {65000, 3, 1, 7}};
    put16(static_cast<std::uint32_t>(std::size(entries)));
    for (const auto& entry : entries) {
        put16(entry[0]);
        put16(entry[1]);
        put32(entry[2]);
        put32(entry[3]);
    }
    put32(0);
    return tiff;
}

// Nothing but the program's own messages reaches stderr, whatever a decoder thinks of a file.
TEST_F(RawCommandTest, DecodersSayNothingOnTheTerminal) {
    using testing::Box;
    using testing::Filling;
    // Boxes whose movie and meta boxes hold nothing a decoder knows.
    const testing::MediaBytes clip = testing::Joined(
        {testing::Ftyp("isom", {"isom"}), Box("moov", Filling(300)), Box("mdat", Filling(2000))});
    const testing::MediaBytes heic =
        testing::Joined({testing::Ftyp("heic", {"mif1", "heic"}), Box("meta", Filling(200)),
                         Box("mdat", Filling(2000))});
    const std::string image = MakeImage(folder_ / "unknown_tag.img", 64,
                                        {{4, TiffWithAnUnknownTag()}, {16, clip}, {32, heic}});
    testing::ImageGuard guard(image);
    ::testing::internal::CaptureStderr();
    const int status = Run({"--json", "--image", image, "raw"});
    const std::string terminal = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(status, kExitOk) << err_.str();
    EXPECT_EQ(terminal, "");
    const Json files = Json::parse(out_.str()).at("files");
    ASSERT_EQ(files.size(), 3u) << files;
    EXPECT_EQ(files[0].at("verdict"), "complete") << files;
    EXPECT_EQ(files[1].at("picture"), false) << files;
    EXPECT_EQ(files[2].at("verdict"), "not a picture") << files;
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(RawCommandTest, RefusesASignatureRecordWithNoSignatureBytes) {
    const std::string image = MakeImage(folder_ / "small.img", 16, {});
    const std::string list =
        "Extension:.jpg\nSize:1000\nSignature:FFD8FF\nDescription:a\n"
        "Extension:.all\nSize:1000\nSignature:\nDescription:b\n";
    EXPECT_EQ(RunWithSignatures(image, list, false), kExitBadInput);
    const std::string path = (folder_ / "signatures" / "LMXExt2.dll").string();
    EXPECT_NE(err_.str().find(path + ", line 7: "), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty()) << out_.str();
}

// A signature file's extension reaches the listing's names: bytes that are not UTF-8 are
// replaced in JSON, never a reason to fail.
TEST_F(RawCommandTest, AnExtensionThatIsNotUtf8StaysValidJson) {
    const std::string image = MakeImage(folder_ / "one.img", 16, {{0, {0xFF, 0xD8, 0xFF, 0xE0}}});
    testing::ImageGuard guard(image);
    const std::string list = "Extension:.j\xFFg\nSize:1024\nSignature:FFD8FFE0\nDescription:a\n";
    ASSERT_EQ(RunWithSignatures(image, list, true), kExitOk) << err_.str();
    const Json files = Json::parse(out_.str()).at("files");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].at("extension"), "j\uFFFDg");
    EXPECT_EQ(files[0].at("name"), "GNLM00001.j\uFFFDg");
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest
