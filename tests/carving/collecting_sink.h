#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "carving/carving_scan.h"

namespace lumarest::testing {

// Keeps every carved file with its bytes, as the thumbnail list would show them.
class CollectingSink : public CarvedFileSink {
  public:
    struct Entry {
        CarvedFile file;
        std::vector<std::uint8_t> bytes;
    };

    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override {
        entries.push_back({file, std::move(bytes)});
    }
    std::uint64_t ImageCount() const override { return entries.size(); }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Entry& entry : entries) {
            names.push_back(entry.file.name);
        }
        return names;
    }

    std::vector<Entry> entries;
};

}  // namespace lumarest::testing
