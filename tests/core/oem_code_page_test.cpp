#include "core/oem_code_page.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lumarest {
namespace {

// A code page is named as a user types it; only single-byte pages that keep ASCII are taken.
TEST(OemCodePage, LoadsSingleByteDosCodePagesByName) {
    struct Case {
        std::string name;
        std::optional<std::string> loaded;  // the name it is known by; nothing when refused
        char32_t byte0x9A = 0;              // what 0x9A reads as
    };
    const std::vector<Case> cases{
        {"437", "CP437", U'Ü'},         {"cp850", "CP850", U'Ü'}, {" 866 ", "CP866", U'Ъ'},
        {"IBM437", "IBM437", U'Ü'},     {"UTF-8", std::nullopt},  {"UTF-16", std::nullopt},
        {"no-such-page", std::nullopt}, {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<OemCodePage> page = OemCodePage::Load(c.name);
        ASSERT_EQ(page.has_value(), c.loaded.has_value()) << c.name;
        if (page) {
            EXPECT_EQ(page->Name(), *c.loaded) << c.name;
            EXPECT_EQ(page->Decode(0x9A), c.byte0x9A) << c.name;
            EXPECT_EQ(page->Decode('A'), U'A') << c.name;
        }
    }
    EXPECT_EQ(OemCodePage().Decode(0x9A), std::nullopt);
    EXPECT_EQ(OemCodePage().Decode('a'), U'a');
}

}  // namespace
}  // namespace lumarest
