#include "carving/carved_verdict.h"

namespace lumarest {

const char* VerdictText(CarvedVerdict verdict) {
    switch (verdict) {
        case CarvedVerdict::Complete:
            return "complete";
        case CarvedVerdict::Truncated:
            return "truncated";
        case CarvedVerdict::NotAPicture:
            return "not a picture";
        case CarvedVerdict::Unchecked:
            break;
    }
    return "unchecked";
}

CarvedVerdict JudgeCarvedFile(const FormatEnd& end, bool picture, std::optional<bool> decodes) {
    if (picture && decodes == false) {
        return CarvedVerdict::NotAPicture;
    }
    switch (end.kind) {
        case EndKind::Found:
            return CarvedVerdict::Complete;
        case EndKind::PastBytes:
            return CarvedVerdict::Truncated;
        case EndKind::Unknown:
            break;
    }
    return decodes ? VerdictAfterDecoding(CarvedVerdict::Unchecked, picture, *decodes)
                   : CarvedVerdict::Unchecked;
}

CarvedVerdict VerdictAfterDecoding(CarvedVerdict structural, bool picture, bool decodes) {
    if (picture && !decodes) {
        return CarvedVerdict::NotAPicture;
    }
    // No end was found: the decoder reads what it can of a picture cut short or broken off, so
    // decoding never makes it complete.
    if (structural == CarvedVerdict::Unchecked && picture) {
        return CarvedVerdict::Truncated;
    }
    return structural;
}

}  // namespace lumarest
