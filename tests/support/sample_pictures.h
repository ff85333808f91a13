#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumarest::testing {

using SampleBytes = std::vector<std::uint8_t>;

// Small real files of each carved type, made once per test program by
// make_sample_pictures.sh into `folder` below the fixture folder: file name -> bytes. Besides
// the script's files it holds "jpeg_exif.jpg", jpeg_420.jpg with an Exif block carrying
// jpeg_thumb.jpg as its thumbnail. Empty, with a test failure, when the files could not be made.
std::map<std::string, SampleBytes> MakeSamplePictures(
    const std::string& folder = "sample_pictures");

// `jpeg` with its first segment replaced by an Exif APP1 whose IFD1 names `thumbnail`.
SampleBytes JpegWithExifThumbnail(const SampleBytes& jpeg, const SampleBytes& thumbnail);

}  // namespace lumarest::testing
