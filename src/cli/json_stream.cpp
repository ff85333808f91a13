#include "cli/json_stream.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace lumarest {

namespace {
constexpr int kIndent = 2;
constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

// Text the dump writes between quotes as it is: printable ASCII other than a quote or a
// backslash. Anything else is left to the dump's own escaping and UTF-8 checks.
bool WrittenAsIs(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
            return false;
        }
    }
    return true;
}
}  // namespace

void WriteJsonDocument(std::ostream& out, const nlohmann::ordered_json& document) {
    out << document.dump(kIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
        << '\n';
}

void JsonStream::Flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

void JsonStream::FlushWhenFull() {
    if (buffer_.size() >= kFlushBytes) {
        Flush();
    }
}

void JsonStream::NewLine(std::size_t depth) {
    static constexpr std::string_view kSpaces = "                                ";
    buffer_ += '\n';
    for (std::size_t left = depth * kIndent; left > 0;) {
        const std::size_t part = std::min(left, kSpaces.size());
        buffer_.append(kSpaces.data(), part);
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
        buffer_ += ',';
    }
    NewLine(levels_.size());
}

void JsonStream::Key(std::string_view key) {
    StartElement();
    buffer_ += '"';
    buffer_ += key;
    buffer_ += "\": ";
    afterKey_ = true;
}

void JsonStream::Open(char opener) {
    StartElement();
    buffer_ += opener;
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
    buffer_ += closer;
    if (levels_.empty()) {
        Flush();
    } else {
        FlushWhenFull();
    }
}

void JsonStream::Scalar(std::string_view text) {
    StartElement();
    buffer_ += text;
    FlushWhenFull();
}

void JsonStream::String(std::string_view text) {
    if (!WrittenAsIs(text)) {
        Value(nlohmann::ordered_json(text));
        return;
    }
    StartElement();
    buffer_ += '"';
    buffer_ += text;
    buffer_ += '"';
    FlushWhenFull();
}

void JsonStream::Value(const nlohmann::ordered_json& value) {
    const std::size_t depth = levels_.size();
    StartElement();
    text_ = value.dump(kIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    if (!value.is_structured()) {
        buffer_ += text_;
        FlushWhenFull();
        return;
    }
    // A nested value is dumped from column 0; its own lines move in to this depth. A dumped
    // string never holds a raw line break, so every '\n' is a line of the layout.
    std::size_t from = 0;
    for (std::size_t at = text_.find('\n'); at != std::string::npos;
         from = at + 1, at = text_.find('\n', from)) {
        buffer_.append(text_, from, at - from);
        NewLine(depth);
    }
    buffer_.append(text_, from, text_.size() - from);
    FlushWhenFull();
}

}  // namespace lumarest
