#include "cli/json_stream.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace lumarest {

namespace {
constexpr int kIndent = 2;
}

void JsonStream::NewLine(std::size_t depth) {
    static constexpr std::string_view kSpaces = "                                ";
    out_ << '\n';
    for (std::size_t left = depth * kIndent; left > 0;) {
        const std::size_t part = std::min(left, kSpaces.size());
        out_.write(kSpaces.data(), static_cast<std::streamsize>(part));
        left -= part;
    }
}

void JsonStream::StartElement() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    if (levels_.back()++ > 0) {
        out_ << ',';
    }
    NewLine(levels_.size());
}

void JsonStream::Key(std::string_view key) {
    StartElement();
    out_ << '"' << key << "\": ";
    afterKey_ = true;
}

void JsonStream::Open(char opener) {
    StartElement();
    out_ << opener;
    levels_.push_back(0);
}

void JsonStream::Close(char closer) {
    if (levels_.empty()) {
        return;
    }
    const bool empty = levels_.back() == 0;
    levels_.pop_back();
    // An empty object or array is written "{}" or "[]".
    if (!empty) {
        NewLine(levels_.size());
    }
    out_ << closer;
}

void JsonStream::Scalar(std::string_view text) {
    StartElement();
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void JsonStream::Value(const nlohmann::ordered_json& value) {
    const std::size_t depth = levels_.size();
    StartElement();
    text_ = value.dump(kIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    if (!value.is_structured()) {
        out_ << text_;
        return;
    }
    // A nested value is dumped from column 0; its own lines move in to this depth. A dumped
    // string never holds a raw line break, so every '\n' is a line of the layout.
    std::size_t from = 0;
    for (std::size_t at = text_.find('\n'); at != std::string::npos;
         from = at + 1, at = text_.find('\n', from)) {
        out_.write(text_.data() + from, static_cast<std::streamsize>(at - from));
        NewLine(depth);
    }
    out_.write(text_.data() + from, static_cast<std::streamsize>(text_.size() - from));
}

}  // namespace lumarest
