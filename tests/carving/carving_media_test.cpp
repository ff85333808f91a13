#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "carving/carved_file_saver.h"
#include "carving/carved_verdict.h"
#include "carving/carving_scan.h"
#include "carving/collecting_sink.h"
#include "carving/formats/capture_time.h"
#include "carving/formats/carved_format.h"
#include "core/memory_disk.h"
#include "support/media_samples.h"
#include "support/recording_reporter.h"
#include "support/sample_pictures.h"
#include "support/temp_folder.h"

namespace lumarest {
namespace {

using Bytes = testing::MediaBytes;
using testing::Box;
using testing::BoxHeader;
using testing::Filling;
using testing::Ftyp;
using testing::Joined;
using testing::LargeBox;
using testing::RawPicture;
using testing::RawShape;

constexpr std::size_t kSector = 512;

const Bytes kMoov = Box("moov", Filling(300, 1));
const Bytes kMeta = Box("meta", Filling(200, 2));
const Bytes kMdat = Box("mdat", Filling(2000, 3));
const Bytes kTail = Filling(700, 4);

struct BoxCase {
    const char* name;
    Bytes file;   // the file's own bytes
    Bytes after;  // what follows it in the carved bytes
    EndKind kind;
    std::uint64_t length;  // of a found end, or how far a file cut short says it goes on
    const char* type;      // what its marks name ("" for none)
};

// Every box walk ends where the file's last whole box of a known type ends, once its movie or
// meta box was there; the brand names the type.
TEST(MediaFormats, BoxesGiveTheEndAndTheBrandTheType) {
    const Bytes mp4 = Joined({Ftyp("isom", {"isom", "avc1"}), kMoov, kMdat});
    const Bytes brandless = Joined({Box("ftyp", {}), kMoov, kMdat});
    const BoxCase cases[] = {
        {"heic", Joined({Ftyp("heic", {"mif1", "heic"}), kMeta, kMdat}), kTail, EndKind::Found, 0,
         "heic"},
        {"avif by a compatible brand", Joined({Ftyp("mif1", {"mif1", "avif"}), kMeta, kMdat}),
         kTail, EndKind::Found, 0, "avif"},
        {"image file brand alone", Joined({Ftyp("mif1", {"mif1"}), kMeta, kMdat}), kTail,
         EndKind::Found, 0, "heic"},
        {"cr3", Joined({Ftyp("crx ", {"crx ", "isom"}), kMoov, Box("uuid", Filling(64)), kMdat}),
         kTail, EndKind::Found, 0, "cr3"},
        {"mov, movie last", Joined({Ftyp("qt  ", {"qt  "}), Box("wide", {}), kMdat, kMoov}), kTail,
         EndKind::Found, 0, "mov"},
        {"mov with no ftyp", Joined({Box("wide", {}), kMdat, kMoov}), kTail, EndKind::Found, 0,
         "mov"},
        {"mp4, movie first", mp4, kTail, EndKind::Found, 0, "mp4"},
        {"3gp", Joined({Ftyp("3gp5", {"3gp5", "isom"}), kMoov, kMdat}), kTail, EndKind::Found, 0,
         "3gp"},
        {"m4v", Joined({Ftyp("M4V ", {"M4V ", "mp42"}), kMoov, kMdat}), kTail, EndKind::Found, 0,
         "m4v"},
        {"64-bit media box", Joined({Ftyp("mp42", {}), kMoov, LargeBox("mdat", Filling(900))}),
         kTail, EndKind::Found, 0, "mp4"},
        {"ends on the carved bytes' end", mp4, {}, EndKind::Found, 0, "mp4"},
        {"ftyp with no brand", brandless, kTail, EndKind::Found, 0, ""},
        // A broken box after the movie ends the file before it.
        {"box size 7", Joined({Ftyp("isom", {}), kMoov}), BoxHeader(7, "free"), EndKind::Found, 0,
         "mp4"},
        {"box size 2^64 - 1", Joined({Ftyp("isom", {}), kMoov}),
         Joined({BoxHeader(1, "free"), Bytes(8, 0xFF)}), EndKind::Found, 0, "mp4"},
        {"media box to the file's end", Joined({Ftyp("isom", {}), kMoov, BoxHeader(0, "mdat")}),
         kTail, EndKind::Unknown, 0, "mp4"},
        {"no movie box", Joined({Ftyp("isom", {}), kMdat}), kTail, EndKind::PastBytes, 0, "mp4"},
        {"no ftyp box", Joined({BoxHeader(7, "ftyp")}), kTail, EndKind::Unknown, 0, ""},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes carved = Joined({c.file, c.after});
        const FormatEnd end = FindFormatEnd("mp4", carved);
        EXPECT_EQ(end.kind, c.kind);
        EXPECT_EQ(end.length, c.kind == EndKind::Found ? c.file.size() : c.length);
        EXPECT_EQ(TrueFileType("mp4", carved), c.type);
    }
}

// A file cut short inside a box says how far its boxes go, and a broken first box or a header
// that is no ftyp starts no file.
TEST(MediaFormats, ACutFileSaysHowFarItsBoxesGo) {
    const Bytes mp4 = Joined({Ftyp("isom", {}), kMoov, kMdat});
    const FormatEnd cut = FindFormatEnd("mp4", std::span(mp4).first(mp4.size() - 100));
    EXPECT_EQ(cut.kind, EndKind::PastBytes);
    EXPECT_EQ(cut.length, mp4.size());
    EXPECT_TRUE(HeaderHolds("mp4", mp4));
    EXPECT_FALSE(HeaderHolds("mp4", Joined({BoxHeader(7, "ftyp"), kTail})));
    EXPECT_FALSE(HeaderHolds("mp4", Joined({BoxHeader(0x7FFFFFFF, "ftyp"), kTail})));
}

Bytes Be(std::uint64_t value, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

// An item locations box (version 1, 4-byte offsets and lengths) with one item of one extent.
Bytes Iloc(std::uint16_t method, std::uint32_t offset, std::uint32_t length) {
    return Box("iloc", Joined({{1, 0, 0, 0, 0x44, 0x00},
                               Be(1, 2),
                               Be(1, 2),
                               Be(method, 2),
                               Be(0, 2),
                               Be(1, 2),
                               Be(offset, 4),
                               Be(length, 4)}));
}

// A movie box with one track whose chunk offsets (stco: 4 bytes, co64: 8) are `offsets`.
Bytes MovieWithChunks(std::string_view table, std::initializer_list<std::uint64_t> offsets) {
    Bytes contents = Joined({{0, 0, 0, 0}, Be(offsets.size(), 4)});
    for (const std::uint64_t offset : offsets) {
        contents = Joined({contents, Be(offset, table == "co64" ? 8 : 4)});
    }
    const Bytes stbl = Box("stbl", Box(table, contents));
    return Box("moov", Box("trak", Box("mdia", Box("minf", stbl))));
}

struct ReachCase {
    const char* name;
    Bytes shown;  // the meta or movie box after the ftyp
    EndKind kind;
};

// A picture's item locations and a clip's chunk offsets that point past where its boxes stop
// (its media box overwritten) leave it cut short; media kept inside the meta box, or before
// the end, do not.
TEST(MediaFormats, MediaPointedAtPastTheLastBoxIsNoEnd) {
    constexpr std::uint32_t kFar = 5000;
    const auto meta = [](const Bytes& iloc) { return Box("meta", Joined({Bytes(4, 0), iloc})); };
    const ReachCase cases[] = {
        {"item in the file, past the boxes", meta(Iloc(0, kFar, 100)), EndKind::PastBytes},
        {"item in the meta box's idat", meta(Iloc(1, kFar, 100)), EndKind::Found},
        {"item before the end", meta(Iloc(0, 20, 10)), EndKind::Found},
        {"chunk past the boxes, stco", MovieWithChunks("stco", {100, kFar}), EndKind::PastBytes},
        {"chunk past the boxes, co64", MovieWithChunks("co64", {kFar}), EndKind::PastBytes},
        {"chunks before the end", MovieWithChunks("stco", {40, 60}), EndKind::Found},
    };
    for (const ReachCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Joined({Ftyp("isom", {}), c.shown});
        const FormatEnd end = FindFormatEnd("mp4", Joined({file, kTail}));
        EXPECT_EQ(end.kind, c.kind);
        EXPECT_EQ(end.length, c.kind == EndKind::Found ? file.size() : 0u);
    }
}

struct RawCase {
    RawShape shape;
    const char* type;
};

// Raw pictures laid out as TIFF are told apart by their marks and end with their furthest
// strip; one cut short says how far its strips go.
TEST(MediaFormats, RawPicturesAreNamedByTheirMarksAndEndWithTheirStrips) {
    const RawCase cases[] = {
        {{"NIKON CORPORATION", "NIKON D750", false, 1500, 3000}, "nef"},
        {{"NIKON", "COOLPIX P1000", false, 1500, 3000}, "nrw"},
        {{"SONY", "ILCE-7M3", false, 1500, 3000}, "arw"},
        {{"PENTAX", "PENTAX K-1", false, 1500, 3000}, "pef"},
        {{"Apple", "iPhone 15 Pro", true, 1500, 3000}, "dng"},
        {{"ACME", "Scanner", false, 0, 3000}, ""},
    };
    for (const RawCase& c : cases) {
        SCOPED_TRACE(c.shape.model);
        const Bytes raw = RawPicture(c.shape);
        EXPECT_EQ(TrueFileType("tif", raw), c.type);
        const std::string extension = *c.type == 0 ? "tif" : c.type;
        const FormatEnd end = FindFormatEnd(extension, Joined({raw, kTail}));
        EXPECT_EQ(end.kind, EndKind::Found);
        EXPECT_EQ(end.length, raw.size());
        const FormatEnd cut = FindFormatEnd(extension, std::span(raw).first(raw.size() - 100));
        EXPECT_EQ(cut.kind, EndKind::PastBytes);
        EXPECT_EQ(cut.length, raw.size());
    }
    for (const char* magic : {"IIU", "IIRO"}) {
        RawShape shape{"Panasonic", "DC-GH5", false, 1500, 3000, magic};
        const Bytes raw = RawPicture(shape);
        const char* extension = magic[2] == 'U' ? "rw2" : "orf";
        SCOPED_TRACE(extension);
        EXPECT_TRUE(HeaderHolds(extension, raw));
        EXPECT_EQ(FindFormatEnd(extension, Joined({raw, kTail})).length, raw.size());
    }
}

struct EndCase {
    const char* name;
    const char* extension;
    Bytes file;
    Bytes after;
    EndKind kind;
    std::uint64_t length;  // of a found end, or how far a file cut short says it goes on
    const char* type;
};

// A Fujifilm raw picture ends with the furthest piece its header names, a Matroska file with
// its Segment; offsets out of reason and sizes not known say no end.
TEST(MediaFormats, RafAndMatroskaEndWhereTheirHeadersSay) {
    const Bytes raf = testing::RafPicture(1500, 4000);
    const Bytes mkv = testing::MatroskaFile("matroska", 3000);
    const Bytes pointsOut = testing::RafHeader({600, 100, 700, 100, 800, 5000});
    const EndCase cases[] = {
        {"raf", "raf", raf, kTail, EndKind::Found, raf.size(), ""},
        {"raf cut short",
         "raf",
         Bytes(raf.begin(), raf.end() - 100),
         {},
         EndKind::PastBytes,
         raf.size(),
         ""},
        {"raf pointing past itself", "raf", pointsOut, {}, EndKind::PastBytes, 5800, ""},
        {"raf pointing out of reason", "raf", testing::RafHeader({0xFFFFFF00, 0xFF, 0, 0, 0, 0}),
         kTail, EndKind::Unknown, 0, ""},
        {"mkv", "mkv", mkv, kTail, EndKind::Found, mkv.size(), ""},
        {"webm", "mkv", testing::MatroskaFile("webm", 3000), kTail, EndKind::Found, 0, "webm"},
        {"mkv cut short",
         "mkv",
         Bytes(mkv.begin(), mkv.end() - 100),
         {},
         EndKind::PastBytes,
         mkv.size(),
         ""},
        {"mkv of unknown size", "mkv", testing::MatroskaFile("matroska", 3000, false), kTail,
         EndKind::Unknown, 0, ""},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes carved = Joined({c.file, c.after});
        const FormatEnd end = FindFormatEnd(c.extension, carved);
        EXPECT_EQ(end.kind, c.kind);
        EXPECT_EQ(end.length, c.kind == EndKind::Found ? c.file.size() : c.length);
        EXPECT_EQ(TrueFileType(c.extension, carved), c.type);
    }
}

// Runs a test in one time zone and gives back the one before.
class Local {
  public:
    explicit Local(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~Local() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    Local(const Local&) = delete;
    Local& operator=(const Local&) = delete;

  private:
    std::optional<std::string> old_;
};

struct CaptureCase {
    const char* name;
    const char* extension;
    Bytes file;
    std::optional<std::int64_t> seconds;
};

// Photos say when they were taken through Exif (a JPEG's segment, a HEIC's item, a raw
// picture's TIFF), clips through their movie header; a date out of reason is none.
TEST(MediaFormats, PhotosAndClipsSayWhenTheyWereTaken) {
    const Local utc("UTC0");
    constexpr std::int64_t k2024 = 1720953022;  // 2024-07-14 10:30:22 UTC
    constexpr std::uint64_t kFrom1904 = 2082844800;
    const Bytes heicExif = Joined({Bytes(4, 0), testing::ExifTiff("2024:07:14 10:30:22")});
    const CaptureCase cases[] = {
        {"jpeg", "jpg", testing::JpegWithExifDate("2024:07:14 10:30:22"), k2024},
        {"jpeg without a date", "jpg", testing::JpegWithExifDate("0000:00:00 00:00:00"), {}},
        {"heic", "heic", Joined({Ftyp("heic", {"mif1"}), kMeta, Box("mdat", heicExif)}), k2024},
        {"raw", "nef", testing::ExifTiff("2024:07:14 10:30:22"), k2024},
        {"clip", "mp4",
         Joined({Ftyp("isom", {}), Box("moov", testing::Mvhd(0, kFrom1904 + k2024)), kMdat}),
         k2024},
        {"clip, 64-bit times", "mov",
         Joined({Ftyp("qt  ", {}), kMdat, Box("moov", testing::Mvhd(1, kFrom1904 + k2024))}),
         k2024},
        {"clip never dated",
         "mp4",
         Joined({Ftyp("isom", {}), Box("moov", testing::Mvhd(0, 0))}),
         {}},
    };
    for (const CaptureCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CaptureSeconds(c.extension, c.file), c.seconds);
    }
    EXPECT_EQ(DatedFileName(k2024, "heic"), "2024-07-14 10.30.22.heic");
}

// Saved by date, each photo takes the moment it was taken as its name and its time; two taken
// in the same second are told apart, and one that does not say keeps its carved name.
TEST(MediaFormats, SavedByDatePhotosAreNamedAndTimedWhenTheyWereTaken) {
    const Local utc("UTC0");
    const Bytes dated = testing::JpegWithExifDate("2024:07:14 10:30:22");
    const Bytes undated = testing::JpegWithExifDate("no date");
    Bytes disk;
    for (const Bytes* file : {&dated, &dated, &undated}) {
        disk.insert(disk.end(), file->begin(), file->end());
        disk.resize((disk.size() + kSector - 1) / kSector * kSector + kSector, 0);
    }
    MemoryDisk memory(disk);
    SignatureList signatures;
    LoadSignatureFile(SignatureFilePath(LUMAREST_SOURCE_DIR "/data", kGeneralSignatureFile),
                      signatures);
    const testing::TempFolder folder("lumarest_by_date");
    testing::CollectingSink shown;
    testing::RecordingReporter reporter;
    {
        SavingSink saving(folder.Path().string(), shown, reporter);
        saving.NameByDate(true);
        RunCarvingPass(CarvingPass::General, signatures, memory, 0, memory.TotalSectors(), saving,
                       reporter, {});
    }
    const std::vector<std::string> names = {"2024-07-14 10.30.22.jpg",
                                            "2024-07-14 10.30.22 (2).jpg", "GNLM00003.jpg"};
    ASSERT_EQ(shown.entries.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::filesystem::path path = folder.Path() / names[i];
        EXPECT_EQ(shown.entries[i].file.savedPath, path.string());
        struct stat status {};
        ASSERT_EQ(::stat(path.c_str(), &status), 0) << names[i];
        if (i < 2) {
            EXPECT_EQ(status.st_mtime, 1720953022) << names[i];
        }
    }
}

struct Laid {
    std::string name;  // what the carved file is to be called
    Bytes bytes;
};

// Each file whole at its true length under its true type, though headers of other files lie
// on sector boundaries inside them: a JPEG and a TIFF inside a clip's media, a TIFF inside a
// CR3, a JPEG preview inside raw pictures (NEF, RW2, RAF).
TEST(MediaFormats, FilesHoldingOtherHeadersComeBackWhole) {
    const std::map<std::string, Bytes> samples = testing::MakeSamplePictures();
    ASSERT_FALSE(samples.empty());
    const Bytes& jpeg = samples.at("jpeg_420.jpg");
    const Bytes tiff = RawPicture({"ACME", "Scanner", false, 0, 600});
    // Media whose sector boundaries, counted from the file's start, hold other headers.
    const auto media = [&](const Bytes& head, std::size_t bytes) {
        Bytes contents = Filling(bytes, 7);
        const std::size_t start = head.size() + 8;
        testing::Overwrite(contents, 2 * kSector - start, jpeg);
        testing::Overwrite(contents,
                           2 * kSector + (jpeg.size() + kSector) / kSector * kSector - start, tiff);
        contents.resize(bytes);
        return Box("mdat", contents);
    };
    const Bytes mp4Head = Joined({Ftyp("isom", {"isom", "mp41"}), kMoov});
    const Bytes cr3Head = Joined({Ftyp("crx ", {"crx ", "isom"}), kMoov});
    const std::vector<Laid> laid = {
        {"GNLM00001.mp4", Joined({mp4Head, media(mp4Head, jpeg.size() + 4000)})},
        {"GNLM00002.cr3", Joined({cr3Head, media(cr3Head, jpeg.size() + 3000)})},
        {"GNLM00003.nef", RawPicture({"NIKON CORPORATION", "NIKON Z 6", false, 1200, 5000})},
        {"GNLM00004.rw2", RawPicture({"Panasonic", "DC-S5", false, 1200, 5000, "IIU"})},
        {"GNLM00005.heic",
         Joined({Ftyp("heic", {"mif1", "heic", "hevc", "MiHE", "MiPr"}), kMeta, kMdat})},
        {"GNLM00006.raf", testing::RafPicture(1200, 5000)},
        {"GNLM00007.mkv", testing::MatroskaFile("matroska", 3000)},
        {"GNLM00008.jpg", jpeg},
    };
    Bytes disk = Filling(3 * kSector, 9);
    std::vector<std::uint64_t> firstSectors;
    for (const Laid& file : laid) {
        firstSectors.push_back(disk.size() / kSector);
        disk.insert(disk.end(), file.bytes.begin(), file.bytes.end());
        disk.resize((disk.size() + kSector - 1) / kSector * kSector, 0);
        const Bytes gap = Filling(4 * kSector, static_cast<std::uint8_t>(disk.size()));
        disk.insert(disk.end(), gap.begin(), gap.end());
    }
    const auto entries = testing::CarvedFromMemory(disk);
    ASSERT_EQ(entries.size(), laid.size());
    for (std::size_t i = 0; i < laid.size(); ++i) {
        const auto& [file, bytes] = entries[i];
        SCOPED_TRACE(laid[i].name);
        EXPECT_EQ(file.name, laid[i].name);
        EXPECT_EQ(file.firstSector, firstSectors[i]);
        EXPECT_EQ(file.savedBytes, laid[i].bytes.size());
        EXPECT_EQ(file.verdict, CarvedVerdict::Complete);
        EXPECT_EQ(
            Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(file.savedBytes)),
            laid[i].bytes);
    }
}

}  // namespace
}  // namespace lumarest
