#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "carving/signature_file.h"

namespace lumarest {

// The decimal signature text of a run of bytes: each byte in decimal without leading zeros,
// back to back ("255216255" for FF D8 FF).
std::string DecimalSignatureText(const std::uint8_t* bytes, std::size_t count);

// Finds the first record of a list whose signature text equals the decimal text of a sector's
// leading bytes, without writing any text per sector: the records are indexed by the first byte
// whose decimal text their signature can begin with, in list order, so a sector that starts no
// file costs one table look-up. A record needing more bytes than a sector holds never matches;
// a record with no signature bytes and an empty signature matches every sector.
class SignatureMatcher {
  public:
    static constexpr std::size_t kNoMatch = static_cast<std::size_t>(-1);

    explicit SignatureMatcher(const SignatureList& list);

    // The index in the list of the first record from index `from` on matching the 512-byte
    // sector, or kNoMatch.
    std::size_t Match(const std::uint8_t* sector, std::size_t from = 0) const {
        const Bucket& bucket = buckets_[sector[0]];
        for (std::uint32_t i = bucket.begin; i < bucket.end; ++i) {
            const std::uint32_t record = candidates_[i];
            if (record >= from && Matches(records_[record], sector)) {
                return record;
            }
        }
        return kNoMatch;
    }

  private:
    struct Record {
        std::string text;
        std::uint32_t byteCount = 0;
    };
    struct Bucket {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
    };
    // The decimal digits of every byte value.
    struct Digits {
        char text[3];
        std::uint8_t length;
    };

    bool Matches(const Record& record, const std::uint8_t* sector) const;

    std::array<Digits, 256> digits_{};
    std::vector<Record> records_;
    std::vector<std::uint32_t> candidates_;
    std::array<Bucket, 256> buckets_{};
};

}  // namespace lumarest
