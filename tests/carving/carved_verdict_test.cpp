#include "carving/carved_verdict.h"

#include <gtest/gtest.h>

namespace lumarest {
namespace {

// Complete means the end was found and a picture decodes; judging at once or after the scan's
// own verdict gives the same answer.
TEST(CarvedVerdict, CompleteOnlyWhenTheEndWasFound) {
    using enum CarvedVerdict;
    struct Case {
        const char* name;
        EndKind end;
        bool picture;
        bool decodes;
        CarvedVerdict verdict;
    };
    const Case cases[] = {
        {"end found, decodes", EndKind::Found, true, true, Complete},
        {"end found, does not decode", EndKind::Found, true, false, NotAPicture},
        {"cut short, decodes", EndKind::PastBytes, true, true, Truncated},
        {"structure broken off, decodes", EndKind::Unknown, true, true, Truncated},
        {"structure broken off, does not decode", EndKind::Unknown, true, false, NotAPicture},
        {"no end known, other type decodes", EndKind::Unknown, false, true, Unchecked},
        {"end found, other type", EndKind::Found, false, false, Complete},
    };
    for (const Case& c : cases) {
        const FormatEnd end{c.end, c.end == EndKind::Found ? 100u : 0u};
        EXPECT_EQ(JudgeCarvedFile(end, c.picture, c.decodes), c.verdict) << c.name;
        const CarvedVerdict structural = JudgeCarvedFile(end, c.picture, std::nullopt);
        EXPECT_EQ(VerdictAfterDecoding(structural, c.picture, c.decodes), c.verdict) << c.name;
    }
}

}  // namespace
}  // namespace lumarest
