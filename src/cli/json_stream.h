#pragma once

#include <charconv>
#include <cstddef>
#include <iterator>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lumarest {

// Writes a whole document as the dump with an indent of 2 lays it out, and a line end. Text
// that is not UTF-8 (a name from a disk, a file name, a signature file) gets U+FFFD instead of
// making the dump throw.
void WriteJsonDocument(std::ostream& out, const nlohmann::ordered_json& document);

// Writes one JSON document piece by piece, laid out byte for byte as nlohmann's dump with an
// indent of 2 would lay out the whole document, so a listing of millions of rows is never held
// as one JSON value. Strings that are not UTF-8 get U+FFFD, as error_handler_t::replace does.
class JsonStream {
  public:
    explicit JsonStream(std::ostream& out) : out_(out) {}
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;
    ~JsonStream() { Flush(); }

    // At the top, as an array element or after Key.
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    // The name of the next member of the open object; `key` is written as it is.
    void Key(std::string_view key);
    // A whole value: a scalar, or a small object or array written at once.
    void Value(const nlohmann::ordered_json& value);

    template <typename T>
    void Member(std::string_view key, const T& value) {
        Key(key);
        if constexpr (std::is_same_v<T, bool>) {
            Scalar(value ? "true" : "false");
        } else if constexpr (std::is_integral_v<T>) {
            // Written as the dump writes integers; saves a JSON value for each of millions.
            char digits[24];
            const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
            Scalar(std::string_view(digits, static_cast<std::size_t>(end - digits)));
        } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
            String(value);
        } else {
            Value(nlohmann::ordered_json(value));
        }
    }
    // What is written so far goes to the stream; done too when the document ends.
    void Flush();

  private:
    void Open(char opener);
    void Close(char closer);
    // What goes before an element of an array or a member of an object.
    void StartElement();
    void NewLine(std::size_t depth);
    void Scalar(std::string_view text);
    // A string value, written as the dump writes it.
    void String(std::string_view text);
    void FlushWhenFull();

    std::ostream& out_;
    // Per open object or array, how many members or elements it has so far.
    std::vector<std::size_t> levels_;
    bool afterKey_ = false;
    std::string text_;
    // Written out in large pieces: a stream call per token costs more than the token.
    std::string buffer_;
};

}  // namespace lumarest
