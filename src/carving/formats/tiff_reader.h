#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>

#include "core/le_bytes.h"

namespace lumarest {

// Reads a classic TIFF structure (a TIFF file, or the Exif block of a JPEG) whose header is at
// bytes[0], in the byte order the header names. Every read is bounds-checked.
class TiffReader {
  public:
    static constexpr std::size_t kHeaderSize = 8;
    static constexpr std::size_t kEntrySize = 12;
    static constexpr std::uint16_t kMagic = 42;
    // Raw pictures that keep TIFF's layout under a magic of their own (ORF, RW2).
    static constexpr std::uint16_t kRawMagics[] = {0x4F52, 0x5352, 0x0055};

    // An IFD entry's own fields; `at` is where the entry starts.
    struct Entry {
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::uint32_t count = 0;
        std::size_t at = 0;
    };

    // Empty when the bytes do not start with a classic TIFF header (or, `rawMagic`, with the
    // header of a raw picture laid out as TIFF).
    static std::optional<TiffReader> Open(ByteSpan bytes, bool rawMagic = false) {
        TiffReader reader(bytes);
        if (SpellsAt(bytes, 0, "II")) {
            reader.bigEndian_ = false;
        } else if (SpellsAt(bytes, 0, "MM")) {
            reader.bigEndian_ = true;
        } else {
            return std::nullopt;
        }
        const auto magic = reader.U16(2);
        const bool known =
            magic == kMagic || (rawMagic && magic &&
                                std::find(std::begin(kRawMagics), std::end(kRawMagics), *magic) !=
                                    std::end(kRawMagics));
        if (!known) {
            return std::nullopt;
        }
        return reader;
    }

    ByteSpan bytes() const { return bytes_; }

    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (offset > bytes_.size()) {
            return std::nullopt;
        }
        const auto at = static_cast<std::size_t>(offset);
        return bigEndian_ ? LoadBe16(bytes_, at) : LoadLe16(bytes_, at);
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (offset > bytes_.size()) {
            return std::nullopt;
        }
        const auto at = static_cast<std::size_t>(offset);
        return bigEndian_ ? LoadBe32(bytes_, at) : LoadLe32(bytes_, at);
    }

    std::optional<std::uint32_t> FirstIfd() const { return U32(4); }

    std::optional<Entry> EntryAt(std::uint64_t ifd, std::uint32_t index) const {
        const std::uint64_t at = ifd + 2 + std::uint64_t{index} * kEntrySize;
        const auto tag = U16(at);
        const auto type = U16(at + 2);
        const auto count = U32(at + 4);
        if (!tag || !type || !count) {
            return std::nullopt;
        }
        return Entry{*tag, *type, *count, static_cast<std::size_t>(at)};
    }

    // Bytes per value of a field type; 0 for a type this reader does not know.
    static std::uint64_t TypeSize(std::uint16_t type) {
        switch (type) {
            case 1:
            case 2:
            case 6:
            case 7:
                return 1;  // BYTE ASCII SBYTE UNDEFINED
            case 3:
            case 8:
                return 2;  // SHORT SSHORT
            case 4:
            case 9:
            case 11:
            case 13:
                return 4;  // LONG SLONG FLOAT IFD
            case 5:
            case 10:
            case 12:
            case 16:
            case 17:
            case 18:
                return 8;
            default:
                return 0;
        }
    }

    static std::uint64_t ValueBytes(const Entry& entry) {
        return TypeSize(entry.type) * entry.count;
    }

    // Where the entry's values lie: inside the entry when they fit in four bytes.
    std::optional<std::uint64_t> ValuesAt(const Entry& entry) const {
        if (ValueBytes(entry) <= 4) {
            return entry.at + 8;
        }
        const auto offset = U32(entry.at + 8);
        if (!offset) {
            return std::nullopt;
        }
        return *offset;
    }

    // The text of an ASCII entry, up to its first NUL; empty when it is none or not there.
    std::string_view Text(const Entry& entry) const {
        constexpr std::uint16_t kAscii = 2;
        const auto at = ValuesAt(entry);
        if (entry.type != kAscii || !at || *at > bytes_.size() ||
            entry.count > bytes_.size() - *at) {
            return {};
        }
        const std::string_view text(reinterpret_cast<const char*>(bytes_.data() + *at),
                                    entry.count);
        return text.substr(0, text.find('\0'));
    }

    // Value `index` of a SHORT or LONG (or IFD) entry.
    std::optional<std::uint64_t> Number(const Entry& entry, std::uint32_t index) const {
        const auto at = ValuesAt(entry);
        if (!at || index >= entry.count) {
            return std::nullopt;
        }
        if (entry.type == 3) {
            const auto value = U16(*at + std::uint64_t{index} * 2);
            return value ? std::optional<std::uint64_t>(*value) : std::nullopt;
        }
        if (entry.type == 4 || entry.type == 13) {
            const auto value = U32(*at + std::uint64_t{index} * 4);
            return value ? std::optional<std::uint64_t>(*value) : std::nullopt;
        }
        return std::nullopt;
    }

  private:
    explicit TiffReader(ByteSpan bytes) : bytes_(bytes) {}

    ByteSpan bytes_;
    bool bigEndian_ = false;
};

}  // namespace lumarest
