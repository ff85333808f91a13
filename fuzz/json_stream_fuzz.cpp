// Fuzzes the JSON writers of the command line with text as a disk, a file name or a signature
// file may hold it: any bytes, UTF-8 or not.
//
// Input: split at '\n' into strings; each becomes a member value and an array element of one
// document. Both the streamed and the whole document must be written without an exception,
// parse back as JSON, and be the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_stream.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kMostStrings = 64;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (lines.size() < kMostStrings) {
        const std::size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> texts =
        SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
    Json document = Json::object();
    Json names = Json::array();
    std::ostringstream streamed;
    {
        lumarest::JsonStream stream(streamed);
        stream.BeginObject();
        stream.Key("names");
        stream.BeginArray();
        for (const std::string& text : texts) {
            stream.BeginObject();
            stream.Member("name", text);
            stream.Member("size", text.size());
            stream.EndObject();
            names.push_back({{"name", text}, {"size", text.size()}});
        }
        stream.EndArray();
        stream.Key("whole");
        stream.Value(names.back());
        stream.EndObject();
    }
    document["names"] = names;
    document["whole"] = names.back();
    std::ostringstream whole;
    lumarest::WriteJsonDocument(whole, document);
    Check(streamed.str() + "\n" == whole.str());
    Check(Json::accept(whole.str()));
    return 0;
}
