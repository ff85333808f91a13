#include "core/packed_texts.h"

#include <algorithm>

namespace lumarest {

namespace {
// A block is filled before the next is made, so nothing is ever copied to grow; a group of
// texts larger than a block gets a block of its own.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
constexpr unsigned kOffsetBits = 32;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kOffsetBits) - 1;
constexpr unsigned kLengthBits = 7;
constexpr unsigned char kMoreLength = 0x80;
constexpr std::size_t kMaxLengthBytes = 10;

void AppendLength(std::string& block, std::size_t length) {
    while (length >= kMoreLength) {
        block += static_cast<char>((length & (kMoreLength - 1)) | kMoreLength);
        length >>= kLengthBits;
    }
    block += static_cast<char>(length);
}

std::size_t ReadLength(std::string_view block, std::size_t& at) {
    std::size_t length = 0;
    for (unsigned shift = 0; at < block.size(); shift += kLengthBits) {
        const auto byte = static_cast<unsigned char>(block[at++]);
        length |= std::size_t{byte & (kMoreLength - 1U)} << shift;
        if ((byte & kMoreLength) == 0) {
            break;
        }
    }
    return length;
}
}  // namespace

std::uint64_t PackedTexts::Append(std::initializer_list<std::string_view> texts) {
    std::size_t needed = 0;
    for (const std::string_view text : texts) {
        needed += text.size() + kMaxLengthBytes;
    }
    if (blocks_.empty() || blocks_.back().size() + needed > blocks_.back().capacity()) {
        blocks_.emplace_back().reserve(std::max(kBlockBytes, needed));
    }
    std::string& block = blocks_.back();
    const std::uint64_t position = ((blocks_.size() - 1) << kOffsetBits) | block.size();
    for (const std::string_view text : texts) {
        AppendLength(block, text.size());
        block.append(text);
    }
    return position;
}

void PackedTexts::Read(std::uint64_t position, std::span<std::string_view> out) const {
    const std::size_t index = position >> kOffsetBits;
    if (index >= blocks_.size()) {
        std::fill(out.begin(), out.end(), std::string_view());
        return;
    }
    const std::string_view block = blocks_[index];
    std::size_t at = std::min<std::size_t>(position & kOffsetMask, block.size());
    for (std::string_view& text : out) {
        const std::size_t length = ReadLength(block, at);
        text = block.substr(at, length);
        at += text.size();
    }
}

}  // namespace lumarest
