#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "core/volume_params.h"
#include "fat/fat_chain.h"
#include "fat/fat_file_rows.h"
#include "fat/name_children.h"
#include "partitions/volume_params.h"
#include "support/command_output.h"

namespace lumarest::testing {

// The volumes make_file_listing_images.sh builds, and the bytes of the files it wrote.
struct ListingVolume {
    std::string name;  // "f16"
    std::string fsName;
};

inline void PrintTo(const ListingVolume& volume, std::ostream* out) {
    *out << volume.name;
}

inline std::vector<ListingVolume> ListingVolumes() {
    return {{"f16", "FAT16"}, {"f32", "FAT32"}};
}

inline std::filesystem::path ListingFolder() {
    return std::filesystem::path(LUMAREST_FIXTURE_DIR) / "file_listing";
}

inline std::string ListingImage(const ListingVolume& volume) {
    return (ListingFolder() / (volume.name + ".img")).string();
}

// False when the script failed.
inline bool MakeListingImages() {
    static const bool built = [] {
        const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/output/make_file_listing_images.sh' '" +
                                    ListingFolder().string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    return built;
}

inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The bytes the script wrote under `name` in its files folder.
inline std::string WrittenBytes(const std::string& name) {
    return FileText(ListingFolder() / "files" / name);
}

// A copy of a volume image in memory, validated as its file system, with the run's active
// volume loaded from it as a search leaves it.
struct LoadedVolume {
    explicit LoadedVolume(const ListingVolume& volume)
        : LoadedVolume(ListingImage(volume), volume.fsName) {}

    LoadedVolume(const std::string& image, const std::string& fsName) : disk(Load(image)) {
        SetPartitionFileSystem(run.selectedPartition, fsName);
        run.selectedPartition.startSector = 0;
        run.selectedPartition.endSector = static_cast<std::int64_t>(disk.TotalSectors()) - 1;
        NullReporter reporter;
        EXPECT_EQ(ValidatePartition(run, disk, reporter), 1);
        run.activeVolume = SnapshotVolume(run.volumeParams, fsName);
    }

    static MemoryDisk Load(const std::string& path) {
        const std::string bytes = FileText(path);
        return MemoryDisk(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), path);
    }

    // The first cluster of the entry `name` in the folder `folderId` (0: the root).
    std::uint32_t ClusterOf(std::uint32_t folderId, const std::string& name) {
        std::uint32_t found = 0;
        FatTable fat(run.activeVolume, disk);
        const auto visit = [&](std::uint64_t sector, ByteSpan bytes) {
            return ForEachNamedEntry(VolumeNameSource(run, disk), bytes, sector,
                                     run.activeVolume.fsName,
                                     [&](std::uint32_t cluster, const EntryNameResult& entry) {
                                         if (entry.name == name && found == 0) {
                                             found = cluster;
                                         }
                                     });
        };
        if (folderId == 0) {
            ForEachRootDirectorySector(run.activeVolume, disk, fat, visit);
        } else {
            ForEachDirectorySector(run.activeVolume, disk, fat, folderId, visit);
        }
        return found;
    }

    RecoveryRun run;
    MemoryDisk disk;
};

}  // namespace lumarest::testing
