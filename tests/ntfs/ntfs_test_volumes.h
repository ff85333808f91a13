#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/le_bytes.h"
#include "core/memory_disk.h"
#include "ntfs/extension_records.h"
#include "ntfs/file_data.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"
#include "ntfs/ntfs_layout.h"

namespace lumarest::testing {

inline MemoryDisk LoadDisk(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.tellg()));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return MemoryDisk(std::move(bytes), path);
}

// The layout an NTFS boot sector at `firstSector` gives.
inline NtfsLayout LayoutFromBootSector(SectorSource& disk, std::uint64_t firstSector) {
    std::vector<std::uint8_t> boot(kSectorSize);
    disk.ReadSectors(firstSector, 1, boot.data());
    NtfsLayout layout;
    layout.cluster0Start = firstSector;
    layout.sectorsPerCluster = boot[13];
    layout.mftSector = firstSector + *LoadLe64(boot, 48) * layout.sectorsPerCluster;
    return layout;
}

// One file record as the scan will see it: named through its extension records.
struct WalkedRecord {
    std::uint32_t number = 0;
    std::uint8_t flags = 0;
    FileNameInfo name;
    std::vector<FileNameInfo> allNames;
    std::optional<std::uint64_t> size;
};

// Every named record of the master file table, by number.
inline std::map<std::uint32_t, WalkedRecord> WalkVolume(SectorSource& disk,
                                                        const NtfsLayout& layout,
                                                        const MftRunTable& table) {
    std::map<std::uint32_t, WalkedRecord> records;
    const std::uint64_t slots = TotalSectors(table.runs) / kMftRecordSectors;
    for (std::uint32_t r = 0; r < slots; ++r) {
        const auto file = ReadFileRecordsOf(disk, layout, table, r);
        const auto name = RecordName(file);
        if (!name) {
            continue;
        }
        WalkedRecord walked;
        walked.number = r;
        walked.flags = ParseMftRecordHeader(file.front())->flags;
        walked.name = *name;
        for (const auto& one : file) {
            CollectFileNames(one, walked.allNames);
        }
        walked.size = DataSize(file);
        records[r] = walked;
    }
    return records;
}

// "Documents/Old Letters" from parent numbers; the root (record 5) is the empty path.
inline std::string PathOf(const std::map<std::uint32_t, WalkedRecord>& records,
                          std::uint32_t number) {
    std::string path;
    for (int depth = 0; depth < 64 && number != 5; ++depth) {
        const auto found = records.find(number);
        if (found == records.end()) {
            return "?" + path;
        }
        path = path.empty() ? found->second.name.name : found->second.name.name + "/" + path;
        number = found->second.name.parent;
    }
    return path;
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace lumarest::testing
