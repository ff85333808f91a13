#include "core/oem_code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>

namespace lumarest {

namespace {

constexpr std::uint8_t kFirstUpperByte = 0x80;
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;
constexpr const char* kWideTarget = "UTF-32LE";
constexpr std::size_t kWideBytes = 4;

// Closes the converter however the load ends.
class Converter {
  public:
    explicit Converter(const std::string& from)
        : handle_(::iconv_open(kWideTarget, from.c_str())) {}
    ~Converter() {
        if (Open()) {
            ::iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Open() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // The one character a lone byte converts to; nothing when it is no whole character.
    std::optional<char32_t> Convert(std::uint8_t byte) {
        ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(byte);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        std::array<unsigned char, 2 * kWideBytes> out{};
        char* outPtr = reinterpret_cast<char*>(out.data());
        std::size_t outLeft = out.size();
        if (::iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0 || out.size() - outLeft != kWideBytes) {
            return std::nullopt;
        }
        return char32_t{out[0]} | (char32_t{out[1]} << 8) | (char32_t{out[2]} << 16) |
               (char32_t{out[3]} << 24);
    }

  private:
    iconv_t handle_;
};

bool KeepsAscii(Converter& converter) {
    for (std::uint32_t byte = kFirstPrintable; byte <= kLastPrintable; ++byte) {
        if (converter.Convert(static_cast<std::uint8_t>(byte)) != char32_t{byte}) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string OemCodePageIconvName(std::string_view name) {
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!name.empty() && space(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && space(name.back())) {
        name.remove_suffix(1);
    }
    std::string text(name);
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    const bool number = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    return number ? "CP" + text : text;
}

std::optional<OemCodePage> OemCodePage::Load(std::string_view name) {
    const std::string iconvName = OemCodePageIconvName(name);
    if (iconvName.empty()) {
        return std::nullopt;
    }
    Converter converter(iconvName);
    if (!converter.Open() || !KeepsAscii(converter)) {
        return std::nullopt;
    }
    auto upper = std::make_shared<std::array<char32_t, kUpperBytes>>();
    bool any = false;
    for (std::size_t i = 0; i < kUpperBytes; ++i) {
        const std::optional<char32_t> c =
            converter.Convert(static_cast<std::uint8_t>(kFirstUpperByte + i));
        (*upper)[i] = c.value_or(0);
        any = any || c.has_value();
    }
    // A multi-byte encoding gives no character for a lone upper byte.
    if (!any) {
        return std::nullopt;
    }
    OemCodePage page;
    page.name_ = iconvName;
    page.upper_ = std::move(upper);
    return page;
}

std::optional<char32_t> OemCodePage::Decode(std::uint8_t byte) const {
    if (byte < kFirstUpperByte) {
        return char32_t{byte};
    }
    if (!upper_ || (*upper_)[byte - kFirstUpperByte] == 0) {
        return std::nullopt;
    }
    return (*upper_)[byte - kFirstUpperByte];
}

}  // namespace lumarest
