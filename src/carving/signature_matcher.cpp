#include "carving/signature_matcher.h"

#include <string_view>

#include "core/sector_source.h"

namespace lumarest {
namespace {

// A record is kept only when it can ever match: its bytes fit in a sector and its text is the
// length that many bytes can give.
bool CanMatch(const std::string& text, std::uint64_t byteCount) {
    if (byteCount > kSectorSize) {
        return false;
    }
    return text.size() >= byteCount && text.size() <= 3 * byteCount;
}

}  // namespace

std::string DecimalSignatureText(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    text.reserve(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += std::to_string(bytes[i]);
    }
    return text;
}

SignatureMatcher::SignatureMatcher(const SignatureList& list) {
    for (int value = 0; value < 256; ++value) {
        const std::string text = std::to_string(value);
        Digits& digits = digits_[static_cast<std::size_t>(value)];
        digits.length = static_cast<std::uint8_t>(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            digits.text[i] = text[i];
        }
    }
    // Each record joins the buckets of the bytes whose decimal text begins its signature: at
    // most three (the text's first one, two or three digits), or all when it has no bytes.
    std::array<std::vector<std::uint32_t>, 256> lists;
    records_.reserve(list.size());
    for (std::size_t r = 0; r < list.size(); ++r) {
        const std::string& text = list[r].signature;
        const std::uint64_t byteCount = SignatureByteCount(list[r]);
        const bool usable = CanMatch(text, byteCount);
        records_.push_back({text, static_cast<std::uint32_t>(usable ? byteCount : 0)});
        if (!usable) {
            continue;
        }
        const auto index = static_cast<std::uint32_t>(r);
        if (byteCount == 0) {
            for (auto& bucket : lists) {
                bucket.push_back(index);
            }
            continue;
        }
        for (std::size_t digits = 1; digits <= 3 && digits <= text.size(); ++digits) {
            const std::string_view prefix(text.data(), digits);
            if ((digits > 1 && prefix.front() == '0') ||
                prefix.find_first_not_of("0123456789") != std::string_view::npos) {
                break;
            }
            const int value = std::stoi(std::string(prefix));
            if (value > 255) {
                break;
            }
            lists[static_cast<std::size_t>(value)].push_back(index);
        }
    }
    for (std::size_t first = 0; first < 256; ++first) {
        buckets_[first].begin = static_cast<std::uint32_t>(candidates_.size());
        candidates_.insert(candidates_.end(), lists[first].begin(), lists[first].end());
        buckets_[first].end = static_cast<std::uint32_t>(candidates_.size());
    }
}

bool SignatureMatcher::Matches(const Record& record, const std::uint8_t* sector) const {
    const char* text = record.text.data();
    const std::size_t size = record.text.size();
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < record.byteCount; ++i) {
        const Digits& digits = digits_[sector[i]];
        if (size - at < digits.length) {
            return false;
        }
        for (std::uint8_t d = 0; d < digits.length; ++d) {
            if (text[at + d] != digits.text[d]) {
                return false;
            }
        }
        at += digits.length;
    }
    return at == size;
}

}  // namespace lumarest
