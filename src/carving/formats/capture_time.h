#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lumarest {

// When a carved photo or clip was taken, by its own record, as seconds since 1970 UTC: a
// picture's Exif DateTimeOriginal (else its DateTime), read as the wall clock of this
// process's zone as cameras write it; a clip's movie header creation time. Nothing when the
// file keeps none, or one out of reason (before 1970 or after 2100).
std::optional<std::int64_t> CaptureSeconds(std::string_view extension,
                                           std::span<const std::uint8_t> bytes);

// A clip's length by its movie header, found anywhere in `bytes`; nothing without one.
std::optional<double> MovieLengthSeconds(std::span<const std::uint8_t> bytes);

// "2024-07-14 10.30.22.heic": the capture time in this process's zone and the extension.
std::string DatedFileName(std::int64_t seconds, std::string_view extension);

}  // namespace lumarest
