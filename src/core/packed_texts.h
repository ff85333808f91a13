#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumarest {

// Short texts kept one after another in large blocks, each with its length in front: millions
// of names cost their bytes and a byte or two each, not a string object and an allocation each.
// Texts appended together are read back together from the position Append gave them.
class PackedTexts {
  public:
    // Appends the texts in order and returns where the first begins.
    std::uint64_t Append(std::initializer_list<std::string_view> texts);
    // Reads out.size() texts from `position` on; the views last as long as the store.
    void Read(std::uint64_t position, std::span<std::string_view> out) const;

  private:
    std::vector<std::string> blocks_;
};

}  // namespace lumarest
