// Fuzzes the reading of a signature definition file and the first-byte matcher built from it.
//
// Input: the file's text. Every record must hold a signature text that its byte count can give,
// with no line end in any field; sectors cut from the input must match the same record in the
// matcher as in a plain comparison of decimal texts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "carving/signature_file.h"
#include "carving/signature_matcher.h"
#include "core/sector_source.h"

namespace {

using lumarest::kSectorSize;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool HasLineEnd(const std::string& text) {
    return text.find('\n') != std::string::npos;
}

std::size_t ReferenceMatch(const lumarest::SignatureList& list, const std::uint8_t* sector) {
    for (std::size_t r = 0; r < list.size(); ++r) {
        const std::uint64_t count = lumarest::SignatureByteCount(list[r]);
        if (count <= kSectorSize &&
            lumarest::DecimalSignatureText(sector, count) == list[r].signature) {
            return r;
        }
    }
    return lumarest::SignatureMatcher::kNoMatch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    lumarest::SignatureList list;
    lumarest::ParseSignatureText(text, list);
    // Four lines a record at most, one record per four lines at least when nothing is blank.
    Check(list.size() <= size / 4 + 1);
    for (const lumarest::FileType& type : list) {
        Check(!HasLineEnd(type.extension) && !HasLineEnd(type.sizeLimit) &&
              !HasLineEnd(type.spare));
        const std::uint64_t count = lumarest::SignatureByteCount(type);
        Check(std::to_string(count) == type.byteCount);
        // A record with no signature bytes would match every sector: it is never listed.
        Check(count > 0);
        Check(type.signature.size() >= count && type.signature.size() <= 3 * count);
        Check(type.signature.find_first_not_of("0123456789") == std::string::npos);
    }
    const lumarest::SignatureMatcher matcher(list);
    std::vector<std::uint8_t> sector(kSectorSize, 0);
    // Sectors cut from the signature texts themselves, so that matches happen.
    for (std::size_t r = 0; r < list.size() && r < 64; ++r) {
        std::fill(sector.begin(), sector.end(), 0);
        const std::string& signature = list[r].signature;
        for (std::size_t i = 0; i < signature.size() && i < kSectorSize; ++i) {
            sector[i] = static_cast<std::uint8_t>(signature[i] - '0');
        }
        Check(matcher.Match(sector.data()) == ReferenceMatch(list, sector.data()));
    }
    for (std::size_t offset = 0; offset < size && offset < 4096; offset += 97) {
        std::fill(sector.begin(), sector.end(), 0);
        std::memcpy(sector.data(), data + offset,
                    std::min<std::size_t>(kSectorSize, size - offset));
        Check(matcher.Match(sector.data()) == ReferenceMatch(list, sector.data()));
    }
    return 0;
}
