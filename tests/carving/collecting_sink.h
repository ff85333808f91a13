#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "carving/carving_scan.h"
#include "carving/signature_file.h"
#include "core/memory_disk.h"
#include "support/recording_reporter.h"

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

// Every file the general pass carves, with the signature file the program ships with, from a
// disk held in memory; the disk itself is never written.
inline std::vector<CollectingSink::Entry> CarvedFromMemory(const std::vector<std::uint8_t>& disk) {
    MemoryDisk memory(disk);
    SignatureList signatures;
    LoadSignatureFile(SignatureFilePath(LUMAREST_SOURCE_DIR "/data", kGeneralSignatureFile),
                      signatures);
    CollectingSink sink;
    RecordingReporter reporter;
    RunCarvingPass(CarvingPass::General, signatures, memory, 0, memory.TotalSectors(), sink,
                   reporter, {});
    EXPECT_EQ(memory.Bytes(), disk) << "the disk was written";
    return std::move(sink.entries);
}

}  // namespace lumarest::testing
