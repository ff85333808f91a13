#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumarest {

// What the checks of a carved file found.
enum class CarvedVerdict {
    Unchecked,    // no end is known for its type and it was not decoded
    Complete,     // its end was found and, for a picture, it decodes
    Truncated,    // the carved bytes end before the format's end
    NotAPicture,  // a picture type that does not decode
};

struct CarvedFile {
    std::string name;              // "GNLM00001.jpg"
    std::uint64_t position = 0;    // order of arrival, from 0
    std::uint64_t bytes = 0;       // carved: from the header sector to the next header or limit
    std::uint64_t savedBytes = 0;  // where the format says the file ends; `bytes` when unknown
    std::uint64_t firstSector = 0;
    std::string extension;  // "jpg"
    std::string savedPath;  // where the file was written, empty when it was not saved
    CarvedVerdict verdict = CarvedVerdict::Unchecked;
    // When the photo or clip was taken by its own record, seconds since 1970 UTC.
    std::optional<std::int64_t> captured;
};

}  // namespace lumarest
