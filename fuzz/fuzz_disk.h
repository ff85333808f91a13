#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/sector_source.h"

namespace lumarest::fuzzing {

// Ends the run so libFuzzer keeps the input that broke a rule.
inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A small disk of fuzzed bytes. Reads past its end fail with zeros, as a device's do; the
// number of reads may be bounded so a walk that never ends is caught.
class FuzzDisk : public SectorSource {
  public:
    FuzzDisk(std::vector<std::uint8_t> bytes, std::uint64_t sectors,
             std::uint64_t maxReads = std::numeric_limits<std::uint64_t>::max())
        : bytes_(std::move(bytes)), sectors_(sectors), maxReads_(maxReads) {
        bytes_.resize(sectors_ * kSectorSize);
    }

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        Check(count > 0);
        Check(++reads_ <= maxReads_);
        int result = 1;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* out = buffer + std::size_t{i} * kSectorSize;
            std::memset(out, 0, kSectorSize);
            const std::uint64_t sector = firstSector + i;
            if (sector >= sectors_) {
                result = 0;
                continue;
            }
            std::memcpy(out, bytes_.data() + sector * kSectorSize, kSectorSize);
        }
        return result;
    }
    std::uint64_t TotalSectors() const override { return sectors_; }
    std::string Name() const override { return "fuzz disk"; }

    void ResetReads() { reads_ = 0; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t sectors_;
    std::uint64_t maxReads_;
    std::uint64_t reads_ = 0;
};

}  // namespace lumarest::fuzzing
