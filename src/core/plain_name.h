#pragma once

#include <string>

namespace lumarest {

// `name` as one plain file name inside its folder: "/", NUL and the other control characters
// (C0, DEL, and C1 written in UTF-8) become "_", so no name walks out of its folder or sends
// escape sequences to a terminal that lists it; "", "." and ".." get a "_" in front.
std::string PlainFileName(const std::string& name);

// A name or path in double quotes, as messages show it.
inline std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace lumarest
