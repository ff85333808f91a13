#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/volume_params.h"
#include "partitions/partition_test_disks.h"
#include "support/made_images.h"

namespace lumarest::testing {

// One FAT volume made by make_volume_images.sh.
struct TestVolume {
    std::string name;  // "f16_s4"
    std::string fsName;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t start = 0;    // first sector of the volume on its disk
    std::uint64_t sectors = 0;  // sectors of the volume
};

inline void PrintTo(const TestVolume& volume, std::ostream* out) {
    *out << volume.name;
}

inline const std::vector<TestVolume>& TestVolumes() {
    static const std::vector<TestVolume> volumes{
        {"f16_s1", "FAT16", 1, 0, 32768},      {"f16_s4", "FAT16", 4, 0, 32768},
        {"f16_s16", "FAT16", 16, 0, 131072},   {"f32_s1", "FAT32", 1, 0, 81920},
        {"f32_s2", "FAT32", 2, 0, 143360},     {"part_f32", "FAT32", 1, 2048, 135168},
        {"part_f16", "FAT16", 4, 2048, 65536},
    };
    return volumes;
}

inline std::filesystem::path VolumeImagesFolder() {
    return std::filesystem::path(LUMAREST_FIXTURE_DIR) / "volume_images";
}

// Builds the images once per test program; false when the script failed.
inline bool MakeVolumeImages() {
    static const bool built = [] {
        const std::string command = "bash '" + std::string(LUMAREST_SOURCE_DIR) +
                                    "/tests/partitions/make_volume_images.sh' '" +
                                    VolumeImagesFolder().string() + "' >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }();
    return built;
}

inline std::string VolumeImage(const TestVolume& volume) {
    return (VolumeImagesFolder() / (volume.name + ".img")).string();
}

// The layout fsstat shows for a FAT volume, in absolute sectors, and its FAT contents as
// runs of sectors: first sector of a run -> (last sector, first sector of the next run or 0
// for the end).
struct FsstatFat {
    std::uint64_t firstFat = 0;
    std::uint64_t secondFat = 0;
    std::uint64_t sectorsPerFat = 0;
    std::uint64_t rootStart = 0;  // FAT16
    std::uint64_t rootSectors = 0;
    std::uint64_t clusterArea = 0;
    std::uint64_t sectorsPerCluster = 0;
    std::map<std::uint64_t, std::pair<std::uint64_t, std::uint64_t>> runs;
};

inline std::optional<FsstatFat> RunFsstat(const std::string& image, std::uint64_t start) {
    // One output file per process and image: the test programs run side by side.
    const std::string out = (VolumeImagesFolder() /
                             ("fsstat." + std::filesystem::path(image).filename().string() + "." +
                              std::to_string(start) + "." + std::to_string(::getpid()) + ".txt"))
                                .string();
    const std::string command =
        "fsstat -o " + std::to_string(start) + " '" + image + "' > '" + out + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return std::nullopt;
    }
    FsstatFat fat;
    static const std::regex range(R"(^\*+ ([A-Za-z0-9 ]+): (\d+) - (\d+)\s*$)");
    static const std::regex cluster(R"(^Cluster Size: (\d+)\s*$)");
    static const std::regex run(R"(^(\d+)-(\d+) \(\d+\) -> (EOF|\d+)\s*$)");
    std::istringstream lines(ReadText(out));
    std::filesystem::remove(out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, range)) {
            const std::uint64_t first = start + std::stoull(m[2]);
            const std::uint64_t last = start + std::stoull(m[3]);
            if (m[1] == "FAT 0") {
                fat.firstFat = first;
                fat.sectorsPerFat = last - first + 1;
            } else if (m[1] == "FAT 1") {
                fat.secondFat = first;
            } else if (m[1] == "Root Directory") {
                fat.rootStart = first;
                fat.rootSectors = last - first + 1;
            } else if (m[1] == "Cluster Area") {
                fat.clusterArea = first;
            }
        } else if (std::regex_match(line, m, cluster)) {
            fat.sectorsPerCluster = std::stoull(m[1]) / kSectorSize;
        } else if (std::regex_match(line, m, run)) {
            const std::uint64_t next = m[3] == "EOF" ? 0 : start + std::stoull(m[3]);
            fat.runs[start + std::stoull(m[1])] = {start + std::stoull(m[2]), next};
        }
    }
    return fat;
}

}  // namespace lumarest::testing
