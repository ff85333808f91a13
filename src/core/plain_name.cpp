#include "core/plain_name.h"

namespace lumarest {

namespace {

constexpr char kReplacement = '_';
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstPrintable = 0x20;
// C1 controls U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
constexpr unsigned char kC1Lead = 0xC2;
constexpr unsigned char kC1First = 0x80;
constexpr unsigned char kC1Last = 0x9F;

bool IsC0OrDelete(unsigned char c) {
    return c < kFirstPrintable || c == kDelete;
}

}  // namespace

std::string PlainFileName(const std::string& name) {
    std::string plain;
    plain.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == kC1Lead && i + 1 < name.size()) {
            const auto next = static_cast<unsigned char>(name[i + 1]);
            if (next >= kC1First && next <= kC1Last) {
                plain += kReplacement;
                ++i;
                continue;
            }
        }
        plain += c == '/' || IsC0OrDelete(c) ? kReplacement : name[i];
    }
    if (plain.empty() || plain == "." || plain == "..") {
        plain.insert(plain.begin(), kReplacement);
    }
    return plain;
}

}  // namespace lumarest
