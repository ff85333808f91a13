#pragma once

#include <optional>

#include "carving/formats/carved_format.h"
#include "core/carved_file.h"

namespace lumarest {

// "complete", "truncated", "not a picture", "unchecked".
const char* VerdictText(CarvedVerdict verdict);

// The verdict from where the structure ends and, when the file was decoded, whether it
// decodes as a picture (`decodes` empty: not decoded). Complete only when the end was found;
// a picture type that does not decode is "not a picture" whatever its structure says, and one
// that decodes with no end found is truncated.
CarvedVerdict JudgeCarvedFile(const FormatEnd& end, bool picture, std::optional<bool> decodes);

// The scan's verdict (judged without decoding) once the file has been decoded.
CarvedVerdict VerdictAfterDecoding(CarvedVerdict structural, bool picture, bool decodes);

}  // namespace lumarest
