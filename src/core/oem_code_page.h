#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumarest {

// DOS and Windows write 8.3 names in this code page when no long name is needed.
inline constexpr const char* kDefaultOemCodePage = "CP437";

// How the bytes 128 to 255 of an 8.3 name read as characters. Bytes below 128 are ASCII in
// every DOS code page. A default-made one knows ASCII only.
class OemCodePage {
  public:
    OemCodePage() = default;

    // The code page by the name iconv knows it by: "437", "cp850", "IBM866"; a bare number
    // means "CP" and that number. Nothing when iconv does not know it or it is not a
    // single-byte code page that keeps ASCII.
    static std::optional<OemCodePage> Load(std::string_view name);

    // "CP437", or an empty text for ASCII only.
    const std::string& Name() const { return name_; }

    // The character of one byte, or nothing when the code page has none for it.
    std::optional<char32_t> Decode(std::uint8_t byte) const;

  private:
    static constexpr std::size_t kUpperBytes = 128;
    std::string name_;
    // Shared: every run and name walk copies it; 0 where a byte has no character.
    std::shared_ptr<const std::array<char32_t, kUpperBytes>> upper_;
};

// The code page's name as iconv is asked for it: trimmed, upper case, "CP" before a number.
std::string OemCodePageIconvName(std::string_view name);

}  // namespace lumarest
