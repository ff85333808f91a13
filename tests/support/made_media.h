#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/media_samples.h"

// Photos, clips and raw pictures as real tools write them (heif-enc, ffmpeg, ImageMagick's
// convert, exiftool), made at test time: the box order, brands and IFD layout are the tools'
// own, not ours.
namespace lumarest::testing {

struct MadeMedia {
    std::string label;      // how it was made ("mp4, movie last")
    std::string extension;  // the type the raw search is to name it by, without a dot
    MediaBytes bytes;
};

struct MadeMediaSet {
    std::vector<MadeMedia> files;
    // The first tool needed that is not installed (the tests skip with it); empty when all are.
    std::string missing;
    // Files this build of a tool cannot make (AVIF without an AV1 encoder, 3GP without H.263).
    std::vector<std::string> notMade;
    MediaBytes jpeg;  // a small JPEG picture, to lay inside other files
    MediaBytes tiff;  // a small TIFF picture, likewise
};

// Makes every file in `folder`: HEIC (with and without a thumbnail), AVIF, MP4 with the movie
// box first and last, MOV, 3GP, and TIFFs given each raw family's marks: CR2, NEF, NRW, ARW,
// PEF, DNG, ORF, RW2 (one NEF with a JPEG preview on a 512-byte boundary inside it).
MadeMediaSet MakeToolMedia(const std::filesystem::path& folder);

// A box file (as ffmpeg writes it) turned into a CR3: its major brand rewritten to "crx ".
MediaBytes AsCr3(MediaBytes mp4);

// Where a top-level box of `type` starts in a box file, and its size; 0 when there is none.
struct BoxPlace {
    std::size_t at = 0;
    std::size_t size = 0;
};
BoxPlace FindTopLevelBox(const MediaBytes& file, std::string_view type);

// Where the first strip of a TIFF-laid file starts, and its byte count (little-endian only).
BoxPlace FirstStrip(const MediaBytes& tiff);

}  // namespace lumarest::testing
