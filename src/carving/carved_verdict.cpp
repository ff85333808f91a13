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
    return decodes == true ? CarvedVerdict::Complete : CarvedVerdict::Unchecked;
}

CarvedVerdict VerdictAfterDecoding(CarvedVerdict structural, bool picture, bool decodes) {
    if (picture && !decodes) {
        return CarvedVerdict::NotAPicture;
    }
    if (structural == CarvedVerdict::Unchecked && decodes) {
        return CarvedVerdict::Complete;
    }
    return structural;
}

}  // namespace lumarest
