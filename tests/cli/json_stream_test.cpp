#include "cli/json_stream.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace lumarest {
namespace {

using Json = nlohmann::ordered_json;

// Streams a document member by member, small objects whole where `wholeKey` names them.
void Stream(JsonStream& stream, const Json& value, const std::string& wholeKey) {
    if (value.is_object()) {
        stream.BeginObject();
        for (const auto& [key, member] : value.items()) {
            if (member.is_string()) {
                stream.Member(key, member.get<std::string>());
                continue;
            }
            stream.Key(key);
            if (key == wholeKey) {
                stream.Value(member);
            } else {
                Stream(stream, member, wholeKey);
            }
        }
        stream.EndObject();
    } else if (value.is_array()) {
        stream.BeginArray();
        for (const Json& element : value) {
            Stream(stream, element, wholeKey);
        }
        stream.EndArray();
    } else {
        stream.Value(value);
    }
}

// The stream lays a document out byte for byte as the whole document's dump does, names that
// are not UTF-8 included.
TEST(JsonStream, WritesWhatTheWholeDocumentDumps) {
    struct Case {
        const char* what;
        Json document;
        std::string wholeKey;
    };
    const std::vector<Case> cases = {
        {"empty object", Json::object(), ""},
        {"empty lists", Json{{"disk", 0}, {"folders", Json::array()}, {"files", Json::array()}},
         ""},
        {"rows of objects",
         Json{{"fileSystem", "FAT32"},
              {"folders",
               {{{"path", "Root"}, {"self", 0}, {"deleted", false}},
                {{"path", "Root\\Día"}, {"self", 4294967295U}, {"deleted", true}}}},
              {"endSector", 18446744073709551615ULL}},
         ""},
        {"bytes that are not UTF-8 and control characters",
         Json{{"files", {{{"name", std::string("bad\xFF\xC3(name\x01\n\"q\"\\")}}}}}, ""},
        {"strings written as they are and escaped",
         Json{{"plain", "Letter to Grandma.txt"},
              {"empty", ""},
              {"quote", "say \"hi\""},
              {"backslash", "Root\\Photos"},
              {"delete", "a\x7F"},
              {"tab", "a\tb"},
              {"utf8", "写真 🎉"},
              {"cut", std::string("ab\xE5\x86")}},
         ""},
        {"a nested object written whole",
         Json{{"files", Json::array({Json::object()})},
              {"save", {{"folder", "/tmp/x"}, {"saved", 3}, {"list", {1, 2}}}}},
         "save"},
        {"a top-level list", Json::array({1, "two", Json::array(), Json::object()}), ""},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        JsonStream stream(out);
        Stream(stream, c.document, c.wholeKey);
        EXPECT_EQ(out.str(), c.document.dump(2, ' ', false, Json::error_handler_t::replace))
            << c.what;
    }
}

}  // namespace
}  // namespace lumarest
