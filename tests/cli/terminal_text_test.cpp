#include "cli/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace lumarest {
namespace {

TEST(TerminalText, ControlCharactersAndBrokenBytesBecomeVisibleEscapes) {
    struct Case {
        const char* name;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain", "Beach Day.jpg", "Beach Day.jpg"},
        {"escape sequence", "a\x1b[2Jb", "a\\x1b[2Jb"},
        {"newline and return", "row\nforged\r", "row\\x0aforged\\x0d"},
        {"tab and NUL", std::string("a\tb\0c", 5), "a\\x09b\\x00c"},
        {"delete", "a\x7f", "a\\x7f"},
        {"C1 control as UTF-8",
         "a\xc2\x9b"
         "b\xc2\x85",
         "a\\xc2\\x9bb\\xc2\\x85"},
        {"first character past C1", "\xc2\xa0\xc3\xa9", "\xc2\xa0\xc3\xa9"},
        {"lone C1 byte",
         "a\x9b"
         "b",
         "a\\x9bb"},
        {"wide and four-byte characters", "日本\xf0\x9f\x93\xb7", "日本\xf0\x9f\x93\xb7"},
        {"cut sequence", "\xe6\x97", "\\xe6\\x97"},
        {"overlong NUL", "\xc0\x80", "\\xc0\\x80"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"backslash kept", "Root\\Photos", "Root\\Photos"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TerminalText(c.text), c.shown) << c.name;
    }
}

}  // namespace
}  // namespace lumarest
