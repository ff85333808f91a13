#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "disk/device_sector_source.h"
#include "partitions/partition_table.h"
#include "support/made_images.h"

namespace lumarest::testing {

using SectorBytes = std::array<std::uint8_t, kSectorSize>;

// A disk that holds only the sectors a test puts in it, zeros elsewhere, and claims any size:
// a 2 TiB disk costs nothing. Reads past the claimed end fail like a device's and are counted.
class SparseDisk : public SectorSource {
  public:
    explicit SparseDisk(std::uint64_t totalSectors) : SparseDisk(totalSectors, totalSectors) {}
    // A disk that tells a size other than its own, as a device with a wrong size does.
    SparseDisk(std::uint64_t realSectors, std::uint64_t claimedSectors)
        : totalSectors_(realSectors), claimedSectors_(claimedSectors) {}

    SectorBytes& At(std::uint64_t sector) { return sectors_[sector]; }

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        ++readCalls_;
        int result = 1;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t* out = buffer + static_cast<std::size_t>(i) * kSectorSize;
            std::memset(out, 0, kSectorSize);
            const std::uint64_t sector = firstSector + i;
            ++readsOf_[sector];
            if (sector >= totalSectors_) {
                ++readsOutside_;
                result = 0;
                continue;
            }
            if (const auto found = sectors_.find(sector); found != sectors_.end()) {
                std::memcpy(out, found->second.data(), kSectorSize);
            }
        }
        return result;
    }
    std::uint64_t TotalSectors() const override { return claimedSectors_; }
    std::string Name() const override { return "sparse disk"; }

    std::uint64_t readCalls_ = 0;
    std::uint64_t readsOutside_ = 0;
    std::map<std::uint64_t, int> readsOf_;

  private:
    std::uint64_t totalSectors_;
    std::uint64_t claimedSectors_;
    std::map<std::uint64_t, SectorBytes> sectors_;
};

// An image file read through the sector reader, read-only, with bytes patched in memory after
// each read: the broken tables no tool writes, while the file itself stays as it was.
class PatchedImage : public SectorSource {
  public:
    explicit PatchedImage(const std::string& path)
        : source_(SectorReaderContext{}, path, std::filesystem::file_size(path) / kSectorSize) {}

    void Patch(std::uint64_t byteOffset, std::uint8_t value) { patches_[byteOffset] = value; }
    void PatchLe32(std::uint64_t byteOffset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            Patch(byteOffset + i, static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    void ZeroSector(std::uint64_t sector) {
        for (std::uint32_t i = 0; i < kSectorSize; ++i) {
            Patch(sector * kSectorSize + i, 0);
        }
    }

    int ReadSectors(std::uint64_t firstSector, std::uint32_t count, std::uint8_t* buffer) override {
        ++readCalls_;
        if (firstSector + count > TotalSectors()) {
            ++readsOutside_;
        }
        const int result = source_.ReadSectors(firstSector, count, buffer);
        const std::uint64_t begin = firstSector * kSectorSize;
        const std::uint64_t end = begin + std::uint64_t{count} * kSectorSize;
        for (auto it = patches_.lower_bound(begin); it != patches_.end() && it->first < end; ++it) {
            buffer[it->first - begin] = it->second;
        }
        return result;
    }
    std::uint64_t TotalSectors() const override { return source_.TotalSectors(); }
    std::string Name() const override { return source_.Name(); }

    std::uint64_t readCalls_ = 0;
    std::uint64_t readsOutside_ = 0;

  private:
    DeviceSectorSource source_;
    std::map<std::uint64_t, std::uint8_t> patches_;
};

// One walk of a disk as disk number 0, under a "Disk 0" item, with the notices counted.
struct Walk {
    RecoveryRun run;
    TreeItem diskItem = kNoItem;
    int notices = 0;

    explicit Walk(SectorSource& disk, bool withTree = true) {
        if (withTree) {
            run.partitionTree = std::make_unique<TreeModel>();
            diskItem = run.partitionTree->InsertItem(kNoItem, "Disk 0", 2, 2);
        }
        ListPartitions(run, disk, 0, diskItem, [this] { ++notices; });
    }

    const DiskPartitionList& List() const { return run.diskPartitionLists[0]; }
    std::size_t Count() const { return List().Count(); }
    std::vector<std::string> ItemTexts() const {
        std::vector<std::string> texts;
        for (TreeItem item : run.partitionTree->Children(diskItem)) {
            texts.push_back(run.partitionTree->Text(item));
        }
        return texts;
    }
    // "FAT32 2048-69632" per listed partition, in walk order.
    std::vector<std::string> Spans() const {
        std::vector<std::string> spans;
        for (const PartitionRecord& p : List().partitions) {
            spans.push_back(std::string(FileSystemName(p.fileSystem)) + " " +
                            std::to_string(p.startSector) + "-" + std::to_string(p.endSector));
        }
        return spans;
    }
};

// One partition row of an mmls listing: slot "000:001", first and last sector, type byte.
struct MmlsRow {
    std::string slot;
    std::uint64_t start = 0;
    std::uint64_t last = 0;
    int type = -1;
};

inline std::vector<MmlsRow> ParseMmls(const std::string& text) {
    static const std::regex row(
        R"(^\d+:\s+(\d+:\d+)\s+(\d+)\s+(\d+)\s+\d+\s+.*\(0x([0-9a-fA-F]{2})\)\s*$)");
    std::vector<MmlsRow> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, row)) {
            rows.push_back({match[1], std::stoull(match[2]), std::stoull(match[3]),
                            std::stoi(match[4], nullptr, 16)});
        }
    }
    return rows;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// mmls's partition rows for an image; nothing when mmls refuses it.
inline std::vector<MmlsRow> RunMmls(const std::string& image, const std::string& out) {
    const std::string command = "mmls '" + image + "' > '" + out + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    return ParseMmls(ReadText(out));
}

// Every listed partition is a partition mmls shows, with the same first and last sector.
inline void ExpectListedAsMmlsShows(const Walk& walk, const std::vector<MmlsRow>& rows) {
    for (std::size_t i = 0; i < walk.Count(); ++i) {
        const PartitionRecord& p = walk.List().partitions[i];
        bool found = false;
        for (const MmlsRow& row : rows) {
            found = found || (row.start == p.startSector && row.last + 1 == p.endSector);
        }
        EXPECT_TRUE(found) << "partition " << i + 1 << " at " << p.startSector << " to "
                           << p.endSector << " is not in the mmls listing";
    }
}

}  // namespace lumarest::testing
