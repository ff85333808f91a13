#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Files of today's cameras and phones laid out as their formats say, small and made in memory:
// boxes (HEIC, AVIF, MP4, MOV, CR3) and TIFF-laid raw pictures.
namespace lumarest::testing {

using MediaBytes = std::vector<std::uint8_t>;

// A box: its 32-bit size, its type, its contents.
MediaBytes Box(std::string_view type, const MediaBytes& contents);
// A box whose size is given in 64 bits after its type.
MediaBytes LargeBox(std::string_view type, const MediaBytes& contents);
// The size field and type of a box, with `size` written as it is (0, 1, 7, ...).
MediaBytes BoxHeader(std::uint32_t size, std::string_view type);
// A `ftyp` box: the major brand, a minor version of 0, the compatible brands.
MediaBytes Ftyp(std::string_view major, std::initializer_list<std::string_view> compatible);
// `count` bytes that hold no header of any format.
MediaBytes Filling(std::size_t count, std::uint8_t seed = 0x5A);
MediaBytes Joined(std::initializer_list<MediaBytes> parts);
// Writes `bytes` over `into` at `at`, growing it when needed.
void Overwrite(MediaBytes& into, std::size_t at, const MediaBytes& bytes);

// A little-endian TIFF-laid raw picture: IFD0 with the maker, model and (for `dng`) the DNG
// version, and one strip of `stripBytes` after a gap; a JPEG preview of `previewBytes` through
// the JPEG offset and length tags, placed on the 512-byte boundary after the IFD.
struct RawShape {
    std::string make;
    std::string model;
    bool dng = false;
    std::uint32_t previewBytes = 0;
    std::uint32_t stripBytes = 0;
    std::string magic = "II*";  // "IIU" for RW2, "IIRO" for ORF
};
MediaBytes RawPicture(const RawShape& shape);

// A big-endian TIFF structure whose Exif IFD holds `dateTimeOriginal` ("2024:07:14 10:30:22").
MediaBytes ExifTiff(std::string_view dateTimeOriginal);
// A JPEG holding that structure in its Exif segment.
MediaBytes JpegWithExifDate(std::string_view dateTimeOriginal);
// A movie header box (version 0: 32-bit times, 1: 64-bit) created `seconds1904` after 1904.
MediaBytes Mvhd(int version, std::uint64_t seconds1904);

// A Fujifilm raw picture: its header, a JPEG preview of `previewBytes` on the first 512-byte
// boundary, the sensor data's header and `sensorBytes` of sensor data.
MediaBytes RafPicture(std::uint32_t previewBytes, std::uint32_t sensorBytes);
// The header of a Fujifilm raw picture naming pieces at these offsets and lengths.
MediaBytes RafHeader(std::initializer_list<std::uint32_t> offsetsAndLengths);

// A Matroska (or WebM) file: the EBML header with its document type, then a Segment holding
// `segmentBytes` (written with the size "unknown" when `sizeKnown` is false).
MediaBytes MatroskaFile(std::string_view docType, std::size_t segmentBytes, bool sizeKnown = true);

// A camera's transport stream: `packets` of 192 bytes, each a 4-byte arrival stamp, the sync
// byte 0x47, then a sound 187-byte transport packet holding filling.
MediaBytes PacketStream(std::size_t packets, std::uint8_t seed = 0x21);

}  // namespace lumarest::testing
