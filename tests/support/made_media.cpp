#include "support/made_media.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "support/command_output.h"
#include "support/made_images.h"
#include "support/temp_folder.h"

namespace lumarest::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSector = 512;
constexpr std::size_t kBrandAt = 8;
// Canon's mark and the third IFD's offset take the eight bytes after the TIFF header.
constexpr std::size_t kCanonMarkBytes = 8;
constexpr std::size_t kTiffHeaderBytes = 8;
constexpr std::size_t kEntryBytes = 12;
constexpr std::uint16_t kStripOffsets = 273;
constexpr std::uint16_t kStripByteCounts = 279;
constexpr std::uint16_t kJpegOffset = 513;
constexpr std::uint16_t kJpegLength = 514;
constexpr std::uint16_t kLong = 4;
// Tags whose values are offsets into the file, and those naming child IFDs.
constexpr std::uint16_t kOffsetTags[] = {kStripOffsets, 324, kJpegOffset};
constexpr std::uint16_t kChildIfdTags[] = {330, 34665, 34853};
constexpr int kMostIfds = 16;

const char* const kVideo = "-f lavfi -i testsrc=duration=1:size=160x120:rate=10";

bool Runs(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Q(const fs::path& path) {
    return ShellQuoted(path.string());
}

std::uint32_t Le(const MediaBytes& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 8 | bytes.at(at + static_cast<std::size_t>(i));
    }
    return value;
}

void PutLe(MediaBytes& bytes, std::size_t at, int count, std::uint32_t value) {
    for (int i = 0; i < count; ++i) {
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void AppendLe(MediaBytes& bytes, int count, std::uint32_t value) {
    bytes.resize(bytes.size() + static_cast<std::size_t>(count));
    PutLe(bytes, bytes.size() - static_cast<std::size_t>(count), count, value);
}

std::size_t TypeBytes(std::uint16_t type) {
    switch (type) {
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
            return 8;
        default:
            return 1;
    }
}

template <std::size_t N>
bool OneOf(std::uint16_t tag, const std::uint16_t (&tags)[N]) {
    return std::find(std::begin(tags), std::end(tags), tag) != std::end(tags);
}

// Moves every offset in the little-endian IFD at `ifd` (already moved), its chain and its
// child IFDs on by `delta`, as when bytes are put in after the header.
void ShiftIfd(MediaBytes& tiff, std::size_t ifd, std::uint32_t delta, int depth) {
    for (int hops = 0; ifd != 0 && hops < kMostIfds && depth < kMostIfds; ++hops) {
        const std::size_t count = Le(tiff, ifd, 2);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = ifd + 2 + i * kEntryBytes;
            const auto tag = static_cast<std::uint16_t>(Le(tiff, entry, 2));
            const auto type = static_cast<std::uint16_t>(Le(tiff, entry + 2, 2));
            const std::size_t values = Le(tiff, entry + 4, 4);
            std::size_t valuesAt = entry + 8;
            if (TypeBytes(type) * values > 4) {
                PutLe(tiff, entry + 8, 4, Le(tiff, entry + 8, 4) + delta);
                valuesAt = Le(tiff, entry + 8, 4);
            }
            const bool offsets = OneOf(tag, kOffsetTags);
            const bool children = OneOf(tag, kChildIfdTags);
            if (!offsets && !children) {
                continue;
            }
            const int size = static_cast<int>(TypeBytes(type));
            for (std::size_t v = 0; v < values; ++v) {
                const std::size_t at = valuesAt + v * static_cast<std::size_t>(size);
                PutLe(tiff, at, size, Le(tiff, at, size) + delta);
                if (children) {
                    ShiftIfd(tiff, Le(tiff, at, size), delta, depth + 1);
                }
            }
        }
        const std::size_t next = ifd + 2 + count * kEntryBytes;
        const std::uint32_t following = Le(tiff, next, 4);
        if (following != 0) {
            PutLe(tiff, next, 4, following + delta);
        }
        ifd = following == 0 ? 0 : following + delta;
    }
}

// A little-endian TIFF with Canon's mark after its header: the first IFD at 16, as in a CR2.
MediaBytes WithCanonMark(const MediaBytes& tiff) {
    MediaBytes cr2(tiff.begin(), tiff.begin() + kTiffHeaderBytes);
    const MediaBytes mark = {'C', 'R', 2, 0, 0, 0, 0, 0};
    cr2.insert(cr2.end(), mark.begin(), mark.end());
    cr2.insert(cr2.end(), tiff.begin() + kTiffHeaderBytes, tiff.end());
    const std::uint32_t first = Le(cr2, 4, 4) + kCanonMarkBytes;
    PutLe(cr2, 4, 4, first);
    ShiftIfd(cr2, first, kCanonMarkBytes, 0);
    return cr2;
}

// A little-endian TIFF with a last IFD naming `jpeg` as its preview, laid on the 512-byte
// boundary after it.
MediaBytes WithJpegPreview(MediaBytes tiff, const MediaBytes& jpeg) {
    std::size_t ifd = Le(tiff, 4, 4);
    for (int hops = 0; hops < kMostIfds; ++hops) {
        const std::size_t next = ifd + 2 + Le(tiff, ifd, 2) * kEntryBytes;
        if (Le(tiff, next, 4) == 0) {
            tiff.resize(tiff.size() + tiff.size() % 2);
            PutLe(tiff, next, 4, static_cast<std::uint32_t>(tiff.size()));
            break;
        }
        ifd = Le(tiff, next, 4);
    }
    constexpr int kEntries = 2;
    const std::size_t jpegAt =
        (tiff.size() + 2 + kEntries * kEntryBytes + 4 + kSector - 1) / kSector * kSector;
    AppendLe(tiff, 2, kEntries);
    for (const auto& [tag, value] :
         {std::pair<std::uint16_t, std::size_t>{kJpegOffset, jpegAt}, {kJpegLength, jpeg.size()}}) {
        AppendLe(tiff, 2, tag);
        AppendLe(tiff, 2, kLong);
        AppendLe(tiff, 4, 1);
        AppendLe(tiff, 4, static_cast<std::uint32_t>(value));
    }
    AppendLe(tiff, 4, 0);
    tiff.resize(jpegAt, 0);
    tiff.insert(tiff.end(), jpeg.begin(), jpeg.end());
    return tiff;
}

enum class RawMark { None, Canon, Olympus, Panasonic };

struct RawRecipe {
    const char* label;
    const char* extension;
    const char* make;
    const char* model;
    bool dng = false;
    RawMark mark = RawMark::None;
    bool bigEndian = false;
    bool preview = false;
};

// The makers' names as their cameras write them. Olympus and Panasonic files keep no picture
// a TIFF reader knows, only their JPEG preview.
const RawRecipe kRawRecipes[] = {
    {"cr2, Canon's mark", "cr2", "Canon", "Canon EOS 5D Mark IV", false, RawMark::Canon},
    {"nef with a JPEG preview", "nef", "NIKON CORPORATION", "NIKON D750", false, RawMark::None,
     false, true},
    {"nrw, a Nikon compact", "nrw", "NIKON CORPORATION", "COOLPIX P7800"},
    {"arw", "arw", "SONY", "ILCE-7M3"},
    {"pef, big-endian", "pef", "PENTAX", "PENTAX K-1", false, RawMark::None, true},
    {"pef by Ricoh", "pef", "RICOH IMAGING COMPANY, LTD.", "PENTAX K-3 Mark III"},
    {"dng by its version tag", "dng", "Apple", "iPhone 15 Pro", true},
    {"orf, IIRO", "orf", "OLYMPUS CORPORATION", "E-M1MarkII", false, RawMark::Olympus, false, true},
    {"rw2, IIU", "rw2", "Panasonic", "DC-GH5", false, RawMark::Panasonic, false, true},
};

class Maker {
  public:
    explicit Maker(const fs::path& folder) : folder_(folder) {}

    fs::path Path(const std::string& name) const { return folder_ / name; }

    // Runs `command`, which writes `name`; adds the file when it did.
    bool Add(const std::string& label, const std::string& extension, const std::string& name,
             const std::string& command) {
        if (!Runs(command)) {
            return false;
        }
        made_.files.push_back({label, extension, ReadWholeFile(Path(name))});
        return !made_.files.back().bytes.empty();
    }

    void Pictures() {
        Runs("convert -seed 7 -size 160x120 plasma:red-blue -quality 92 " + Q(Path("source.jpg")));
        Runs("convert -seed 3 -size 40x30 plasma: -quality 70 " + Q(Path("small.jpg")));
        Runs("convert -seed 4 -size 8x8 plasma: -compress none " + Q(Path("small.tif")));
        made_.jpeg = ReadWholeFile(Path("small.jpg"));
        made_.tiff = ReadWholeFile(Path("small.tif"));
        const std::string source = Q(Path("source.jpg"));
        Add("heic", "heic", "plain.heic",
            "heif-enc -q 80 -o " + Q(Path("plain.heic")) + " " + source);
        Add("heic with a thumbnail", "heic", "thumb.heic",
            "heif-enc -q 80 -t 64 -o " + Q(Path("thumb.heic")) + " " + source);
        if (!Add("avif", "avif", "picture.avif",
                 "heif-enc -A -q 60 -o " + Q(Path("picture.avif")) + " " + source)) {
            made_.notMade.push_back("avif: heif-enc has no AV1 encoder that works here");
        }
    }

    void Clips() {
        const std::string codec = Runs("ffmpeg -v error -y " + std::string(kVideo) +
                                       " -c:v libx264 -pix_fmt yuv420p " + Q(Path("probe.mp4")))
                                      ? "-c:v libx264 -pix_fmt yuv420p"
                                      : "-c:v mpeg4";
        const std::string ffmpeg = "ffmpeg -v error -y " + std::string(kVideo) + " " + codec + " ";
        Add("mp4, movie last", "mp4", "last.mp4", ffmpeg + Q(Path("last.mp4")));
        Add("mp4, movie first", "mp4", "first.mp4",
            ffmpeg + "-movflags +faststart " + Q(Path("first.mp4")));
        Add("mov", "mov", "clip.mov", ffmpeg + "-f mov " + Q(Path("clip.mov")));
        const std::string phone = "ffmpeg -v error -y " + std::string(kVideo) + " -f 3gp ";
        if (!Add("3gp, h263", "3gp", "h263.3gp",
                 phone + "-s 176x144 -c:v h263 " + Q(Path("h263.3gp"))) &&
            !Add("3gp, mpeg4", "3gp", "mpeg4.3gp", phone + "-c:v mpeg4 " + Q(Path("mpeg4.3gp")))) {
            made_.notMade.push_back("3gp: this ffmpeg writes no 3GP");
        }
    }

    void RawPictures() {
        for (const RawRecipe& recipe : kRawRecipes) {
            const fs::path path = Path(std::string("raw_") + recipe.extension + ".tif");
            // convert's -endian does not reach the TIFF writer; the define does.
            const std::string endian = recipe.bigEndian ? "msb" : "lsb";
            Runs(
                "convert -seed 5 -size 96x64 plasma: -depth 8 -compress none -define tiff:endian=" +
                endian + " " + Q(path));
            // exiftool lays the first IFD right after the header and the strip after it, as
            // cameras do.
            std::string tags =
                "-Make=" + ShellQuoted(recipe.make) + " -Model=" + ShellQuoted(recipe.model);
            if (recipe.dng) {
                tags += " -DNGVersion=1.4.0.0";
            }
            Runs("exiftool -q -overwrite_original " + tags + " " + Q(path));
            MediaBytes raw = ReadWholeFile(path);
            if (raw.size() < kSector) {
                continue;
            }
            switch (recipe.mark) {
                case RawMark::Canon:
                    raw = WithCanonMark(raw);
                    break;
                case RawMark::Olympus:
                    raw[2] = 'R';
                    raw[3] = 'O';
                    break;
                case RawMark::Panasonic:
                    raw[2] = 'U';
                    raw[3] = 0;
                    break;
                case RawMark::None:
                    break;
            }
            if (recipe.preview) {
                raw = WithJpegPreview(raw, made_.jpeg);
            }
            made_.files.push_back({recipe.label, recipe.extension, raw});
        }
    }

    MadeMediaSet Take() { return std::move(made_); }

  private:
    fs::path folder_;
    MadeMediaSet made_;
};

}  // namespace

MadeMediaSet MakeToolMedia(const fs::path& folder) {
    for (const char* tool : {"convert", "exiftool", "heif-enc", "ffmpeg"}) {
        if (!ToolInstalled(tool)) {
            MadeMediaSet none;
            none.missing = tool;
            return none;
        }
    }
    Maker maker(folder);
    maker.Pictures();
    maker.Clips();
    maker.RawPictures();
    return maker.Take();
}

MediaBytes AsCr3(MediaBytes mp4) {
    const MediaBytes brand = {'c', 'r', 'x', ' '};
    Overwrite(mp4, kBrandAt, brand);
    return mp4;
}

BoxPlace FindTopLevelBox(const MediaBytes& file, std::string_view type) {
    for (std::size_t at = 0; at + 8 <= file.size();) {
        const std::size_t size = std::size_t{file[at]} << 24 | std::size_t{file[at + 1]} << 16 |
                                 std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (std::string_view(reinterpret_cast<const char*>(&file[at + 4]), 4) == type) {
            return {at, size};
        }
        if (size < 8) {
            break;
        }
        at += size;
    }
    return {};
}

BoxPlace FirstStrip(const MediaBytes& tiff) {
    const std::size_t ifd = Le(tiff, 4, 4);
    BoxPlace strip;
    for (std::size_t i = 0; i < Le(tiff, ifd, 2); ++i) {
        const std::size_t entry = ifd + 2 + i * kEntryBytes;
        const std::uint16_t tag = static_cast<std::uint16_t>(Le(tiff, entry, 2));
        const int size =
            static_cast<int>(TypeBytes(static_cast<std::uint16_t>(Le(tiff, entry + 2, 2))));
        const std::size_t valuesAt = Le(tiff, entry + 4, 4) * static_cast<std::size_t>(size) > 4
                                         ? Le(tiff, entry + 8, 4)
                                         : entry + 8;
        if (tag == kStripOffsets) {
            strip.at = Le(tiff, valuesAt, size);
        } else if (tag == kStripByteCounts) {
            strip.size = Le(tiff, valuesAt, size);
        }
    }
    return strip;
}

}  // namespace lumarest::testing
