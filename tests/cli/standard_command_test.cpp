#include <gtest/gtest.h>

#include <zlib.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli_fixture.h"
#include "support/command_output.h"
#include "support/fls_listing.h"
#include "support/image_guard.h"
#include "support/made_images.h"

namespace lumarest {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::CommandOutput;
using testing::ShellQuoted;

constexpr std::uint64_t kSector = 512;

// demo.img: FAT32, FAT16 and NTFS partitions, each with the common tree.
struct DemoPartition {
    int number;
    std::uint64_t start;      // in 512-byte sectors, as fls -o takes it
    const char* volumeLabel;  // the FAT volume label's entry: never listed as a file
    std::uint64_t diskSectorBytes = kSector;  // the unit the command shows sectors in
};
constexpr DemoPartition kDemoFat32{1, 2048, "DEMOFAT3.2"};
constexpr DemoPartition kDemoFat16{2, 71680, "DEMOFAT1.6"};
constexpr DemoPartition kDemoNtfs{3, 104448, nullptr};

// A disk with a FAT32 partition (folders and files named in Spanish, German, Greek, Japanese and
// with an emoji beyond U+FFFF) and an NTFS partition with files named alike in its root.
constexpr const char* kLanguagesDiskScript = R"(
set -euo pipefail
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
PATH=$PATH:/usr/sbin:/sbin
disk=$1
work=$(mktemp -d "$disk.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'Lumarest\n' >"$work/a.txt"
fat=$work/fat.img
mkfs.fat --invariant -C -F 32 -s 1 -S 512 -h 2048 -n LANGFAT32 "$fat" 34816 >/dev/null
mmd -i "$fat" "::/Año nuevo" "::/Größe" "::/Φωτογραφίες" "::/写真" "::/Party 🎉"
mcopy -i "$fat" "$work/a.txt" "::/Año nuevo/niño pequeño.txt"
mcopy -i "$fat" "$work/a.txt" "::/Año nuevo/Fiesta 🎉"
mcopy -i "$fat" "$work/a.txt" "::/Größe/Straße über.txt"
mcopy -i "$fat" "$work/a.txt" "::/Φωτογραφίες/Καλοκαίρι.jpg"
mcopy -i "$fat" "$work/a.txt" "::/写真/東京タワー.jpg"
# mtools keeps only the low 16 bits of a character beyond U+FFFF: write the surrogate pair a
# driver writes for a name ending in " U+1F389".
perl -0777 -pi -e 's/\x20\x00\x89\xF3\x00\x00\xFF\xFF/\x20\x00\x3C\xD8\x89\xDF\x00\x00/g' "$fat"
ntfs=$work/ntfs.img
truncate -s 16M "$ntfs"
mkntfs -F -q -Q -s 512 -c 4096 -p 71680 -H 255 -S 63 -L LANGNTFS "$ntfs" >/dev/null 2>&1
for name in "Año nuevo.txt" "Größe.txt" "Φωτογραφίες.txt" "写真.txt" "Party 🎉.txt"; do
    ntfscp -f "$ntfs" "$work/a.txt" "$name" >/dev/null
done
truncate -s $(((2048 + 69632 + 32768 + 2048) * 512)) "$disk"
sfdisk -q --no-reread --no-tell-kernel "$disk" <<<$'label: dos\n2048,69632,c\n71680,32768,7' >/dev/null
dd if="$fat" of="$disk" bs=512 seek=2048 conv=notrunc,sparse status=none
dd if="$ntfs" of="$disk" bs=512 seek=71680 conv=notrunc,sparse status=none
)";

// A GPT disk with one FAT16 partition at sector 2048 holding DOCS/SMALL.TXT.
constexpr const char* kGptFat16DiskScript = R"(
set -euo pipefail
export MTOOLS_SKIP_CHECK=1
PATH=$PATH:/usr/sbin:/sbin
disk=$1
work=$(mktemp -d "$disk.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'Lumarest\n' >"$work/a.txt"
mkfs.fat --invariant -C -F 16 -s 4 -S 512 "$work/f16.vol" 16384 >/dev/null
mmd -i "$work/f16.vol" ::/DOCS
mcopy -i "$work/f16.vol" "$work/a.txt" ::/DOCS/SMALL.TXT
truncate -s $((40000 * 512)) "$disk"
sfdisk -q --no-reread --no-tell-kernel "$disk" <<<$'label: gpt\nstart=2048, size=32768' >/dev/null
dd if="$work/f16.vol" of="$disk" bs=512 seek=2048 conv=notrunc status=none
)";

std::uint64_t LoadLe(const std::string& bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void StoreLe(std::string& bytes, std::size_t at, std::size_t size, std::uint64_t value) {
    for (std::size_t i = 0; i < size; ++i, value >>= 8) {
        bytes[at + i] = static_cast<char>(value & 0xFF);
    }
}

std::uint32_t Crc32(const std::string& bytes) {
    return static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Sets the primary GPT's last usable LBA and its first entry's last LBA to `lastLba`, with
// both checksums made good again, as a table that lies about its size well would be.
void SetGptLastLba(const std::string& image, std::uint64_t lastLba) {
    std::fstream disk(image, std::ios::in | std::ios::out | std::ios::binary);
    std::string header(512, '\0');
    disk.seekg(512);
    disk.read(header.data(), 512);
    const std::uint64_t entriesAt = LoadLe(header, 72, 8) * 512;
    std::string entries(LoadLe(header, 80, 4) * LoadLe(header, 84, 4), '\0');
    disk.seekg(static_cast<std::streamoff>(entriesAt));
    disk.read(entries.data(), static_cast<std::streamsize>(entries.size()));
    StoreLe(entries, 40, 8, lastLba);
    StoreLe(header, 48, 8, lastLba);
    StoreLe(header, 88, 4, Crc32(entries));
    StoreLe(header, 16, 4, 0);
    StoreLe(header, 16, 4, Crc32(header.substr(0, LoadLe(header, 12, 4))));
    disk.seekp(512);
    disk.write(header.data(), 512);
    disk.seekp(static_cast<std::streamoff>(entriesAt));
    disk.write(entries.data(), static_cast<std::streamsize>(entries.size()));
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// "Root\Photos\2009" as fls -p writes it: "Photos/2009".
std::string SlashPath(const std::string& treePath) {
    std::string path = treePath == "Root" ? "" : treePath.substr(5);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

std::string FilePath(const json& file) {
    const std::string folder = SlashPath(file.at("folder"));
    return (folder.empty() ? "" : folder + "/") + file.at("name").get<std::string>();
}

using testing::FlsEntry;

// Path -> entry of what `fls -r -p` lists, reallocated names too; the file system's own
// metadata ($MFT, $FAT1, streams, the volume label) is left out.
std::map<std::string, FlsEntry> FlsListing(const std::string& image, std::uint64_t offset) {
    std::map<std::string, FlsEntry> entries;
    for (FlsEntry& entry : testing::ParseFlsListing(testing::FlsOutput(image, "-r -p", offset))) {
        if (!testing::FileSystemOwn(entry.path)) {
            entries[entry.path] = std::move(entry);
        }
    }
    return entries;
}

std::string ReadBytes(const std::string& image, std::uint64_t offset, std::size_t count) {
    std::ifstream in(image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// A number fsstat reports after `label`: "Cluster Area: " is the first sector of cluster 2,
// relative to the volume; "Cluster Size: " is in bytes.
std::uint64_t FsstatNumber(const std::string& image, std::uint64_t offset,
                           const std::string& label) {
    const std::string report = CommandOutput("fsstat -o " + std::to_string(offset) + " " +
                                             ShellQuoted(image) + " 2>/dev/null");
    const auto at = report.find(label);
    return at == std::string::npos ? 0 : std::stoull(report.substr(at + label.size()));
}

// An NTFS partition's tree against fls: the same folders and files, by record number, deleted
// ones marked alike, each file's record sector holding a file record.
void CheckNtfsPartitionAgainstFls(const json& document, const std::string& image,
                                  std::uint64_t start) {
    ASSERT_TRUE(document.contains("files"));
    EXPECT_EQ(document.at("fileSystem"), "NTFS");
    const auto fls = FlsListing(image, start);
    ASSERT_FALSE(fls.empty());

    std::map<std::string, json> ourFolders;
    for (const json& folder : document.at("folders")) {
        const std::string path = SlashPath(folder.at("path"));
        if (!path.empty() && !path.starts_with('$') && path != "LMR_Miscellaneous") {
            ourFolders[path] = folder;
        }
    }
    std::size_t flsFolders = 0;
    for (const auto& [path, entry] : fls) {
        if (entry.kind == 'd') {
            ++flsFolders;
            ASSERT_TRUE(ourFolders.contains(path)) << path;
            EXPECT_EQ(ourFolders[path].at("self"), entry.inode) << path;
            EXPECT_EQ(ourFolders[path].at("deleted"), entry.deleted) << path;
        }
    }
    EXPECT_EQ(ourFolders.size(), flsFolders);

    std::size_t ourFiles = 0;
    for (const json& file : document.at("files")) {
        const std::string path = FilePath(file);
        if (path.starts_with('$')) {
            continue;
        }
        ++ourFiles;
        ASSERT_TRUE(fls.contains(path)) << path;
        EXPECT_EQ(file.at("record"), fls.at(path).inode) << path;
        EXPECT_EQ(file.at("deleted"), fls.at(path).deleted) << path;
        const std::uint64_t recordSector = file.at("recordSector");
        EXPECT_EQ(ReadBytes(image, recordSector * kSector, 4), "FILE") << path;
    }
    std::size_t flsFiles = 0;
    for (const auto& [path, entry] : fls) {
        flsFiles += entry.kind == 'd' ? 0 : 1;
    }
    EXPECT_EQ(ourFiles, flsFiles);
}

struct TreeCountsSeen {
    std::size_t folders = 0;
    std::size_t deletedFolders = 0;
    std::size_t files = 0;
    std::size_t deletedFiles = 0;
};

class StandardCommandTest : public testing::CliFixture {
  protected:
    static std::string RecordSizeImage(const std::string& name) {
        return testing::MadeImage("tests/support/make_ntfs_record_images.sh", "ntfs_records", name);
    }

    // A saved file by its path below the save folder's tree, wherever the tree's root went.
    static std::string FindSaved(const fs::path& folder, const std::string& path) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = entry.path().generic_string();
            if (entry.is_regular_file() && name.ends_with("/" + path)) {
                return name;
            }
        }
        return {};
    }

    static std::string LargeSectorImage(const std::string& name) {
        return testing::MadeImage("tests/support/make_large_sector_images.sh", "large_sectors",
                                  name);
    }

    std::string Fixture(const std::string& name) {
        const std::string path = testing::FixtureImage(name);
        if (path.empty()) {
            ADD_FAILURE() << name << " was not made: run the fixtures.make_images test first";
        }
        return path;
    }

    json RunJson(const std::string& image, int partition) {
        const int status =
            Run({"--json", "--image", image, "standard", "--partition", std::to_string(partition)});
        EXPECT_EQ(status, kExitOk) << err_.str();
        return status == kExitOk ? json::parse(out_.str()) : json::object();
    }

    // The demo's FAT partition against fls: the same folders and files, deleted ones marked
    // alike, each file's first cluster holding what icat reads as its first bytes.
    void CheckFatPartitionAgainstFls(const std::string& image, const DemoPartition& partition) {
        ASSERT_FALSE(image.empty());
        testing::ImageGuard guard(image);
        const json document = RunJson(image, partition.number);
        ASSERT_TRUE(document.contains("files"));
        EXPECT_EQ(document.at("bootSectorValid"), true);
        EXPECT_EQ(document.at("startSector"),
                  partition.start * kSector / partition.diskSectorBytes);
        const auto fls = FlsListing(image, partition.start);
        ASSERT_FALSE(fls.empty());

        std::set<std::pair<std::string, bool>> ourFolders;
        for (const json& folder : document.at("folders")) {
            const std::string path = folder.at("path");
            if (path != "Root" && path != "Root\\LMR_Miscellaneous") {
                ourFolders.emplace(SlashPath(path), folder.at("deleted"));
            }
        }
        std::set<std::pair<std::string, bool>> flsFolders;
        std::set<std::pair<std::string, bool>> flsFiles;
        for (const auto& [path, entry] : fls) {
            (entry.kind == 'd' ? flsFolders : flsFiles).emplace(Lower(path), entry.deleted);
        }
        for (const auto& [path, deleted] : ourFolders) {
            EXPECT_TRUE(flsFolders.contains({Lower(path), deleted})) << path;
        }
        EXPECT_EQ(ourFolders.size(), flsFolders.size());

        // Names without long-name entries are listed as stored, in capitals.
        std::set<std::pair<std::string, bool>> ourFiles;
        // fsstat counts the cluster area in the volume's own sectors.
        const std::uint64_t clusterArea =
            FsstatNumber(image, partition.start, "Cluster Area: ") *
            (FsstatNumber(image, partition.start, "Sector Size: ") / kSector);
        const std::uint64_t sectorsPerCluster =
            FsstatNumber(image, partition.start, "Cluster Size: ") / kSector;
        ASSERT_GT(clusterArea, 0u);
        ASSERT_GT(sectorsPerCluster, 0u);
        for (const json& file : document.at("files")) {
            EXPECT_NE(file.at("name"), partition.volumeLabel);
            const std::string path = FilePath(file);
            ourFiles.emplace(Lower(path), file.at("deleted"));
            const std::uint64_t cluster = file.at("firstCluster");
            const std::uint64_t size = file.at("size");
            ASSERT_GE(cluster, 2u) << path;
            const std::string flsPath = FlsName(fls, path);
            ASSERT_TRUE(fls.contains(flsPath)) << path;
            const std::string expected = CommandOutput(
                "icat -r -o " + std::to_string(partition.start) + " " + ShellQuoted(image) + " " +
                std::to_string(fls.at(flsPath).inode) + " 2>/dev/null | head -c 512");
            const std::uint64_t sector =
                partition.start + clusterArea + (cluster - 2) * sectorsPerCluster;
            EXPECT_EQ(ReadBytes(image, sector * kSector, std::min<std::uint64_t>(size, 512)),
                      expected)
                << path;
        }
        EXPECT_EQ(ourFiles, flsFiles);
        EXPECT_TRUE(guard.Unchanged());
    }

    // fls writes names stored in capitals with the case the entry asks for.
    static std::string FlsName(const std::map<std::string, FlsEntry>& fls,
                               const std::string& path) {
        for (const auto& [name, entry] : fls) {
            if (Lower(name) == Lower(path)) {
                return name;
            }
        }
        return path;
    }
};

TEST_F(StandardCommandTest, Fat32TreeMatchesFls) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("icat") ||
        !testing::ToolInstalled("fsstat")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    CheckFatPartitionAgainstFls(Fixture("demo.img"), kDemoFat32);
}

// A long-name set whose checksum is not its short entry's belongs to another file: the file
// keeps the short name its entry gives.
TEST_F(StandardCommandTest, ALongNameWithAnotherEntrysChecksumIsNotLent) {
    const std::string image = testing::RealImage("fat_lfn_test.raw");
    if (image.empty()) {
        GTEST_SKIP() << "fat_lfn_test.raw is not in the shared image set";
    }
    testing::ImageGuard guard(image);
    std::set<std::string> names;
    for (const json& file : RunJson(image, 1).value("files", json::array())) {
        names.insert(file.at("name").get<std::string>());
    }
    EXPECT_TRUE(names.contains("SHORT.TXT"));
    EXPECT_FALSE(names.contains("long_name_test.txt"));
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(StandardCommandTest, Fat16TreeMatchesFls) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("icat") ||
        !testing::ToolInstalled("fsstat")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    CheckFatPartitionAgainstFls(Fixture("demo.img"), kDemoFat16);
}

// Volumes whose boot sectors count in larger sectors, each at sector 2048 of an MBR disk.
TEST_F(StandardCommandTest, LargeSectorFatTreesMatchFls) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("icat") ||
        !testing::ToolInstalled("fsstat")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    for (const char* name : {"f32_4k.img", "f16_4k.img", "f32_2k.img", "f16_1k.img"}) {
        SCOPED_TRACE(name);
        CheckFatPartitionAgainstFls(LargeSectorImage(name), {1, 2048, ""});
    }
}

// A disk of 4096-byte sectors: its GPT lists both volumes where mmls -b 4096 puts them, in
// the disk's own sectors, and the FAT one is searched as fls reads it.
TEST_F(StandardCommandTest, GptDiskOf4096ByteSectorsIsListedAndSearchedInItsOwnSectors) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("icat") ||
        !testing::ToolInstalled("fsstat") || !testing::ToolInstalled("mmls")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    const std::string image = LargeSectorImage("gpt_4k.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mmls;
    std::istringstream lines(CommandOutput("mmls -b 4096 " + ShellQuoted(image)));
    static const std::regex row(R"(^\d+:\s+\d+\s+(\d+)\s+(\d+)\s+\d+.*$)");
    for (std::string line; std::getline(lines, line);) {
        if (std::smatch match; std::regex_match(line, match, row)) {
            mmls.emplace_back(std::stoull(match[1]), std::stoull(match[2]) + 1);
        }
    }
    ASSERT_EQ(Run({"--json", "--image", image, "partitions"}), kExitOk) << err_.str();
    const json listing = json::parse(out_.str());
    EXPECT_EQ(listing.at("sectorBytes"), 4096);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ours;
    for (const json& p : listing.at("partitions")) {
        ours.emplace_back(p.at("startSector"), p.at("endSector"));
    }
    EXPECT_EQ(ours, mmls);
    out_.str("");
    CheckFatPartitionAgainstFls(image, {1, 256 * 8, "", 4096});
    EXPECT_TRUE(guard.Unchanged());
}

// A boot sector giving a sector size no disk has is named on stderr; the search still ends
// with a tree (from the backup, or the calculated layout) or a refusal, never in silence.
TEST_F(StandardCommandTest, UnknownBytesPerSectorIsToldAndNeverSilent) {
    struct Case {
        const char* image;
        std::uint16_t bytesPerSector;
        bool backupRepairs;  // FAT32 keeps a backup boot sector
    };
    for (const Case& c : {Case{"f16_4k.img", 0, false}, Case{"f16_1k.img", 3000, false},
                          Case{"f32_2k.img", 3000, true}, Case{"f32_2k.img", 256, true}}) {
        const std::string row = std::string(c.image) + " " + std::to_string(c.bytesPerSector);
        const std::string source = LargeSectorImage(c.image);
        ASSERT_FALSE(source.empty());
        const fs::path copy = folder_ / "damaged.img";
        ASSERT_EQ(std::system(("cp --sparse=always " + ShellQuoted(source) + " " +
                               ShellQuoted(copy.string()))
                                  .c_str()),
                  0);
        {
            std::fstream out(copy, std::ios::in | std::ios::out | std::ios::binary);
            out.seekp(2048 * kSector + 11);
            const char bytes[2] = {static_cast<char>(c.bytesPerSector & 0xFF),
                                   static_cast<char>(c.bytesPerSector >> 8)};
            out.write(bytes, 2);
        }
        testing::ImageGuard guard(copy.string());
        const int status =
            Run({"--json", "--image", copy.string(), "standard", "--partition", "1"});
        const bool told = err_.str().find("gives " + std::to_string(c.bytesPerSector) +
                                          " bytes per sector") != std::string::npos;
        EXPECT_EQ(told, !c.backupRepairs) << row << ": " << err_.str();
        if (status == kExitOk) {
            const json document = json::parse(out_.str());
            EXPECT_EQ(document.at("bootSectorValid"), c.backupRepairs) << row;
            EXPECT_GE(document.at("files").size(), 3u) << row;
        } else {
            EXPECT_EQ(status, kExitBadInput) << row;
        }
        EXPECT_TRUE(guard.Unchanged()) << row;
    }
}

// A FAT32 volume that starts just below sector 2^32 and runs past it: its clusters beyond
// 2 TiB are read where they are, not wrapped round onto the start of the disk. No tool writes
// such an MBR entry into a file: it is put in place by hand, the rest of the image left sparse.
TEST_F(StandardCommandTest, PartitionAcross32BitSectorsIsSearchedNotWrapped) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("icat") ||
        !testing::ToolInstalled("fsstat")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    constexpr std::uint64_t kStart = 4294965248;  // 2048 sectors before 2^32
    const fs::path image = folder_ / "past_2tib.img";
    const std::string volume = LargeSectorImage("vol_f32_4k.img");
    ASSERT_FALSE(volume.empty());
    const std::uint64_t sectors = fs::file_size(volume) / kSector;
    {
        std::ofstream out(image, std::ios::binary);
        std::string entry(16, '\0');
        entry[4] = 0x0C;
        StoreLe(entry, 8, 4, kStart);
        StoreLe(entry, 12, 4, sectors);
        out.seekp(446);
        out << entry;
        out.seekp(510);
        out.write("\x55\xAA", 2);
    }
    ASSERT_EQ(
        std::system(("dd if=" + ShellQuoted(volume) + " of=" + ShellQuoted(image.string()) +
                     " bs=512 seek=" + std::to_string(kStart) + " conv=notrunc,sparse status=none")
                        .c_str()),
        0);
    CheckFatPartitionAgainstFls(image.string(), {1, kStart, ""});
}

// A sparse 3 TiB GPT disk with a FAT32 and an NTFS volume past 2 TiB: each is listed at its
// start, its tree matches fls, its files save with their exact bytes, and the Advance search
// over a short range there finds it at its boot sector.
TEST_F(StandardCommandTest, VolumesPast2TiBAreListedSearchedSavedAndFound) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("icat") ||
        !testing::ToolInstalled("fsstat")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    const std::string image =
        testing::MadeImage("tests/support/make_wide_disk_images.sh", "wide_disk", "wide_gpt.img");
    ASSERT_FALSE(image.empty());
    const fs::path sources = fs::path(image).parent_path();
    testing::ImageGuard guard(image);
    struct Case {
        int partition;
        const char* fileSystem;
        std::uint64_t start;
        std::vector<std::string> advance;
        std::vector<std::pair<std::string, std::string>> saved;  // saved path, source file
    };
    const Case cases[] = {
        {1,
         "FAT32",
         4400000000,
         {"advance", "--first", "4399990000", "--last", "4400140000", "--fs", "FAT32"},
         {{"DOCS/SMALL.TXT", "small.txt"},
          {"PHOTOS/LARGE.TXT", "large.txt"},
          {"DOCS/LETTERS/LETTER.TXT", "large.txt"}}},
        {2,
         "NTFS",
         5000000000,
         {"advance", "--partition", "2"},
         {{"small.txt", "small.txt"}, {"large.txt", "large.txt"}}},
    };

    ASSERT_EQ(Run({"--json", "--image", image, "partitions"}), kExitOk) << err_.str();
    const json listing = json::parse(out_.str());
    ASSERT_EQ(listing.at("partitions").size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileSystem);
        const json& listed = listing.at("partitions")[static_cast<std::size_t>(c.partition - 1)];
        EXPECT_EQ(listed.at("startSector"), c.start);
        EXPECT_EQ(listed.at("fileSystem"), c.fileSystem);

        if (std::string(c.fileSystem) == "FAT32") {
            CheckFatPartitionAgainstFls(image, {c.partition, c.start, "WIDEFAT3.2"});
        } else {
            CheckNtfsPartitionAgainstFls(RunJson(image, c.partition), image, c.start);
        }

        const fs::path saved = folder_ / (std::string(c.fileSystem) + ".saved");
        fs::create_directories(saved);
        ASSERT_EQ(Run({"--image", image, "standard", "--partition", std::to_string(c.partition),
                       "--save", saved.string()}),
                  kExitOk)
            << err_.str();
        for (const auto& [path, source] : c.saved) {
            const std::string file = FindSaved(saved, path);
            ASSERT_FALSE(file.empty()) << path;
            EXPECT_EQ(ReadBytes(file, 0, 1 << 20),
                      ReadBytes((sources / source).string(), 0, 1 << 20))
                << path;
        }

        std::vector<std::string> advance = c.advance;
        advance.insert(advance.begin(), {"--json", "--image", image});
        ASSERT_EQ(Run(advance), kExitOk) << err_.str();
        const json found = json::parse(out_.str());
        ASSERT_EQ(found.at("volumes").size(), 1u) << out_.str();
        EXPECT_EQ(found.at("volumes")[0].at("fileSystem"), c.fileSystem);
        EXPECT_EQ(found.at("volumes")[0].at("sector"), c.start);
    }
    EXPECT_TRUE(guard.Unchanged());
}

// Volumes made with file records of 1024, 2048 and 4096 bytes, each at sector 2048 of an MBR
// disk: the tree matches fls and every file saves with its exact bytes.
TEST_F(StandardCommandTest, NtfsTreesOfEveryRecordSizeMatchFlsAndSaveExactly) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("ntfs-3g") ||
        !fs::exists("/dev/fuse")) {
        GTEST_SKIP() << "needs The Sleuth Kit, ntfs-3g and FUSE";
    }
    const std::string files = RecordSizeImage("files");
    ASSERT_FALSE(files.empty());
    struct Case {
        const char* image;
        const char* recordBytes;
    };
    for (const Case& c :
         {Case{"rec1k.img", "1024"}, Case{"rec2k.img", "2048"}, Case{"rec4k.img", "4096"}}) {
        SCOPED_TRACE(c.image);
        const std::string image = RecordSizeImage(c.image);
        ASSERT_FALSE(image.empty());
        ASSERT_EQ(FsstatNumber(image, 2048, "Size of MFT Entries: "), std::stoull(c.recordBytes));
        testing::ImageGuard guard(image);
        const fs::path saved = folder_ / (std::string(c.image) + ".saved");
        fs::create_directories(saved);
        ASSERT_EQ(Run({"--json", "--image", image, "standard", "--partition", "1", "--save",
                       saved.string()}),
                  kExitOk)
            << err_.str();
        CheckNtfsPartitionAgainstFls(json::parse(out_.str()), image, 2048);
        const std::string wanted[][2] = {
            {"Docs/small.txt", "small.txt"},
            {"Photos/large.bin", "large.bin"},
            {"Docs/Letters/A letter with a name far longer than eight dot three.txt", "long.txt"},
            {"gone.txt", "small.txt"}};
        for (const auto& [path, original] : wanted) {
            EXPECT_EQ(ReadBytes(FindSaved(saved, path), 0, 1 << 20),
                      ReadBytes(files + "/" + original, 0, 1 << 20))
                << path;
        }
        EXPECT_TRUE(guard.Unchanged());
    }
}

// The volume of 4096-byte sectors h-units builds with ntfscp, whose records are 4096 bytes.
TEST_F(StandardCommandTest, NtfsVolumeOf4096ByteSectorsIsSearched) {
    const std::string image = LargeSectorImage("ntfs_4k.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    const json document = RunJson(image, 1);
    ASSERT_TRUE(document.contains("files"));
    bool found = false;
    for (const json& file : document.at("files")) {
        found = found || (FilePath(file) == "SMALL.TXT" && file.at("deleted") == false);
    }
    EXPECT_TRUE(found) << document.dump();
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(StandardCommandTest, NtfsTreeMatchesFlsWithRecordNumbersAndSectors) {
    const std::string image = Fixture("demo.img");
    ASSERT_FALSE(image.empty());
    std::ifstream route(fs::path(LUMAREST_FIXTURE_DIR) / "ntfs_route.txt");
    std::string how;
    route >> how;
    if (how != "fuse") {
        GTEST_SKIP() << "the NTFS volumes were written without folders (no FUSE)";
    }
    if (!testing::ToolInstalled("fls")) {
        GTEST_SKIP() << "The Sleuth Kit is not installed";
    }
    testing::ImageGuard guard(image);
    CheckNtfsPartitionAgainstFls(RunJson(image, kDemoNtfs.number), image, kDemoNtfs.start);
    EXPECT_TRUE(guard.Unchanged());
}

// A Windows volume whose folder index still names a file no record holds: the name is listed
// and marked, and the save writes nothing for it but counts it.
TEST_F(StandardCommandTest, NameOnlyFileIsMarkedAndCountedButNotSaved) {
    const std::string image = testing::RealImage("ntfs_index.raw");
    if (image.empty()) {
        GTEST_SKIP() << "the shared images are not here";
    }
    testing::ImageGuard guard(image);
    const fs::path saved = folder_ / "name_only.saved";
    fs::create_directories(saved);
    ASSERT_EQ(
        Run({"--json", "--image", image, "standard", "--partition", "1", "--save", saved.string()}),
        kExitOk)
        << err_.str();
    const json document = json::parse(out_.str());
    std::set<std::string> nameOnly;
    for (const json& file : document.at("files")) {
        if (file.at("nameOnly") == true) {
            EXPECT_EQ(file.at("deleted"), true) << file;
            nameOnly.insert(FilePath(file));
        }
    }
    EXPECT_EQ(nameOnly, std::set<std::string>{"test_dir/BBBBBBBBBBBBB-del.txt"});
    EXPECT_EQ(document.at("save").at("nameOnly"), 1);
    EXPECT_TRUE(FindSaved(saved, "test_dir/BBBBBBBBBBBBB-del.txt").empty());
    EXPECT_FALSE(FindSaved(saved, "test_dir/AAAAAAAAAAA.txt").empty());
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(StandardCommandTest, PrintsFoldersThenFilesAsText) {
    const std::string image = Fixture("demo.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    ASSERT_EQ(Run({"--image", image, "standard", "--partition", "2"}), kExitOk) << err_.str();
    const std::string text = out_.str();
    EXPECT_TRUE(
        text.starts_with("Folders: 11\nPath                        Self       Parent  "
                         "Deleted\nRoot                        0          0       no\n"))
        << text;
    EXPECT_NE(text.find("\nRoot\\Old Holiday\\Day 2      11         10      yes\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nFiles: 15\nFolder                      Name                    Type    "
                        "    Size    Date         Time   First cluster  Deleted  Truncated\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nRoot\\Documents\\Old Letters  Letter to Grandma.txt   Text file   37 "
                        "     14-JUL-2009  10:30  8              no       no\n"),
              std::string::npos)
        << text;
    // The window's counts line shows the same numbers for this partition.
    EXPECT_NE(err_.str().find("9 folders below Root (2 deleted) and 15 files (5 deleted) in the "
                              "rebuilt "
                              "tree of partition 2 (FAT16) of disk 0"),
              std::string::npos)
        << err_.str();

    ASSERT_EQ(Run({"--image", image, "standard", "--partition", "3", "--timings"}), kExitOk);
    EXPECT_NE(out_.str().find("Record  Record sector  Deleted  Name only\n"), std::string::npos);
    EXPECT_NE(err_.str().find("timing: MFT scan "), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("timing: building the folder tree "), std::string::npos);
    EXPECT_TRUE(guard.Unchanged());
}

// The JSON is written as the tree is walked; it must read as the one document the whole
// listing dumps, key order and layout included, with and without a save summary.
TEST_F(StandardCommandTest, JsonIsLaidOutAsOneDocument) {
    const std::string image = Fixture("demo.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    const std::string saveFolder = (folder_ / "saved").string();
    fs::create_directories(saveFolder);
    const std::vector<std::vector<std::string>> runs = {
        {"--partition", "1"},
        {"--partition", "2", "--save", saveFolder},
        {"--partition", "3"},
    };
    for (const std::vector<std::string>& options : runs) {
        std::vector<std::string> args = {"--json", "--image", image, "standard"};
        args.insert(args.end(), options.begin(), options.end());
        ASSERT_EQ(Run(args), kExitOk) << options[1] << ": " << err_.str();
        const auto document = nlohmann::ordered_json::parse(out_.str());
        EXPECT_EQ(out_.str(), document.dump(2) + "\n") << "partition " << options[1];
        EXPECT_EQ(document.contains("save"), options.size() > 2) << "partition " << options[1];
        EXPECT_FALSE(document.at("files").empty()) << "partition " << options[1];
    }
    EXPECT_TRUE(guard.Unchanged());
}

TEST_F(StandardCommandTest, NamesInEveryScriptComeOutExactly) {
    for (const char* tool : {"mkfs.fat", "mmd", "mcopy", "mkntfs", "ntfscp", "sfdisk", "perl"}) {
        if (!testing::ToolInstalled(tool)) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    const std::string image = (folder_ / "languages.img").string();
    ASSERT_EQ(std::system(
                  ("bash -c " + ShellQuoted(kLanguagesDiskScript) + " build " + ShellQuoted(image))
                      .c_str()),
              0);
    testing::ImageGuard guard(image);

    const json fat = RunJson(image, 1);
    ASSERT_TRUE(fat.contains("folders"));
    std::set<std::string> folders;
    for (const json& folder : fat.at("folders")) {
        folders.insert(folder.at("path"));
    }
    for (const char* path :
         {"Root\\Año nuevo", "Root\\Größe", "Root\\Φωτογραφίες", "Root\\写真", "Root\\Party 🎉"}) {
        EXPECT_TRUE(folders.contains(path)) << path;
    }
    std::set<std::string> files;
    for (const json& file : fat.at("files")) {
        files.insert(FilePath(file));
    }
    for (const char* path :
         {"Año nuevo/niño pequeño.txt", "Año nuevo/Fiesta 🎉", "Größe/Straße über.txt",
          "Φωτογραφίες/Καλοκαίρι.jpg", "写真/東京タワー.jpg"}) {
        EXPECT_TRUE(files.contains(path)) << path;
    }
    // The raw UTF-8 bytes, not \u escapes.
    EXPECT_NE(out_.str().find("\"name\": \"東京タワー.jpg\""), std::string::npos);

    const json ntfs = RunJson(image, 2);
    ASSERT_TRUE(ntfs.contains("files"));
    std::set<std::string> ntfsFiles;
    for (const json& file : ntfs.at("files")) {
        if (file.at("folder") == "Root") {
            ntfsFiles.insert(file.at("name"));
        }
    }
    for (const char* name :
         {"Año nuevo.txt", "Größe.txt", "Φωτογραφίες.txt", "写真.txt", "Party 🎉.txt"}) {
        EXPECT_TRUE(ntfsFiles.contains(name)) << name;
    }

    // The text listing pads by characters, so the column after a Greek name lines up.
    ASSERT_EQ(Run({"--image", image, "standard", "--partition", "1"}), kExitOk);
    EXPECT_NE(out_.str().find("\nRoot\\Φωτογραφίες  Καλοκαίρι.jpg"), std::string::npos)
        << out_.str();
    EXPECT_TRUE(guard.Unchanged());
}

// Counts the rows of a listing by their deleted mark.
// The "Deleted" cell of every folder and file row of a text listing, read by its column.
std::vector<std::string> DeletedCells(const std::string& text) {
    const std::regex gap(" {2,}");
    std::vector<std::string> cells;
    std::size_t column = std::string::npos;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> row(
            std::sregex_token_iterator(line.begin(), line.end(), gap, -1), {});
        const auto caption = std::find(row.begin(), row.end(), "Deleted");
        if (caption != row.end()) {
            column = static_cast<std::size_t>(caption - row.begin());
        } else if (line.empty()) {
            column = std::string::npos;
        } else if (column < row.size()) {
            cells.push_back(row[column]);
        }
    }
    return cells;
}

TreeCountsSeen CountRows(const json& document) {
    TreeCountsSeen seen;
    for (const json& folder : document.at("folders")) {
        // Root and the orphan folder are places of the tree, not folders of the volume.
        if (folder.at("path") == "Root" || folder.at("path") == "Root\\LMR_Miscellaneous") {
            continue;
        }
        ++seen.folders;
        seen.deletedFolders += folder.at("deleted") == true ? 1 : 0;
    }
    for (const json& file : document.at("files")) {
        ++seen.files;
        seen.deletedFiles += file.at("deleted") == true ? 1 : 0;
    }
    return seen;
}

// --only keeps the rows whose deleted mark it names, in the text and the JSON alike, while the
// counts and the summary line still count the whole tree; a word it does not take is refused.
TEST_F(StandardCommandTest, OnlyListsDeletedOrLiveRowsAndCountsTheWholeTree) {
    const std::string image = Fixture("demo.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    for (const int partition : {1, 2, 3}) {
        SCOPED_TRACE(partition);
        const json all = RunJson(image, partition);
        ASSERT_TRUE(all.contains("counts"));
        const TreeCountsSeen whole = CountRows(all);
        ASSERT_GT(whole.deletedFiles, 0u);
        EXPECT_EQ(all.at("counts"), (json{{"folders", whole.folders},
                                          {"deletedFolders", whole.deletedFolders},
                                          {"files", whole.files},
                                          {"deletedFiles", whole.deletedFiles}}));
        const std::string summary =
            std::to_string(whole.folders) + " folders below Root (" +
            std::to_string(whole.deletedFolders) + " deleted) and " + std::to_string(whole.files) +
            " files (" + std::to_string(whole.deletedFiles) + " deleted) in the rebuilt tree";
        EXPECT_NE(err_.str().find(summary), std::string::npos) << err_.str();

        struct Case {
            const char* only;
            bool deleted;
            std::size_t folders;
            std::size_t files;
        };
        for (const Case& c : {Case{"deleted", true, whole.deletedFolders, whole.deletedFiles},
                              Case{"live", false, whole.folders - whole.deletedFolders,
                                   whole.files - whole.deletedFiles}}) {
            SCOPED_TRACE(c.only);
            const std::vector<std::string> args = {
                "--image", image, "standard", "--partition", std::to_string(partition),
                "--only",  c.only};
            std::vector<std::string> jsonArgs = args;
            jsonArgs.insert(jsonArgs.begin(), "--json");
            ASSERT_EQ(Run(jsonArgs), kExitOk) << err_.str();
            const json kept = json::parse(out_.str());
            EXPECT_EQ(kept.at("counts"), all.at("counts"));
            EXPECT_NE(err_.str().find(summary), std::string::npos) << err_.str();
            const TreeCountsSeen seen = CountRows(kept);
            EXPECT_EQ(seen.folders, c.folders);
            EXPECT_EQ(seen.files, c.files);
            EXPECT_EQ(seen.deletedFolders + seen.deletedFiles, c.deleted ? c.folders + c.files : 0);

            ASSERT_EQ(Run(args), kExitOk) << err_.str();
            // Root and the orphan folder are live rows of the listing, though not counted.
            const std::size_t listed = c.folders + (c.deleted ? 0 : 2);
            EXPECT_TRUE(out_.str().starts_with("Folders: " + std::to_string(listed) + "\n"))
                << out_.str();
            EXPECT_NE(out_.str().find("\nFiles: " + std::to_string(c.files) + "\n"),
                      std::string::npos);
            const std::vector<std::string> marks = DeletedCells(out_.str());
            EXPECT_EQ(marks.size(), listed + c.files);
            for (const std::string& mark : marks) {
                EXPECT_EQ(mark, c.deleted ? "yes" : "no") << out_.str();
            }
        }
    }

    const std::vector<std::vector<std::string>> refused = {
        {"--image", image, "standard", "--partition", "1", "--only", "gone"},
        {"--image", image, "standard", "--partition", "1", "--only", "Deleted"},
        {"--image", image, "advance", "--partition", "1", "--only", "deleted"},
    };
    for (const std::vector<std::string>& args : refused) {
        EXPECT_EQ(Run(args), kExitBadInput) << args.back();
        EXPECT_NE(err_.str().find("--only"), std::string::npos) << err_.str();
        EXPECT_TRUE(out_.str().empty()) << out_.str();
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A disk whose one partition entry, of the given type, points at zeros.
fs::path EmptyPartitionDisk(const fs::path& folder, std::uint8_t type) {
    const fs::path path = folder / ("empty_" + std::to_string(type) + ".img");
    std::string bytes(40 * 1024 * 1024, '\0');
    const std::size_t entry = 446;
    bytes[entry + 4] = static_cast<char>(type);
    bytes[entry + 8] = 0x00;  // first sector 2048
    bytes[entry + 9] = 0x08;
    bytes[entry + 12] = 0x00;  // 40960 sectors
    bytes[entry + 13] = static_cast<char>(0xA0);
    bytes[510] = 0x55;
    bytes[511] = static_cast<char>(0xAA);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST_F(StandardCommandTest, RefusesBadInputWithStatus2) {
    const std::string image = Fixture("demo.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    EXPECT_EQ(Run({"--image", image, "standard"}), kExitBadInput);
    EXPECT_EQ(Run({"--image", image, "standard", "--partition", "0"}), kExitBadInput);
    EXPECT_EQ(Run({"--image", image, "standard", "--partition", "4"}), kExitBadInput);
    EXPECT_NE(err_.str().find("lists no FAT16, FAT32, NTFS or exFAT partition 4"),
              std::string::npos)
        << err_.str();
    EXPECT_EQ(Run({"--image", image, "standard", "--partition", "1", "--disk", "5"}),
              kExitBadInput);
    EXPECT_NE(err_.str().find("there is no disk 5"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"--image", (folder_ / "missing.img").string(), "standard", "--partition", "1"}),
              kExitBadInput);
    EXPECT_TRUE(out_.str().empty());
    EXPECT_TRUE(guard.Unchanged());

    // A FAT32 entry over zeros: no boot sector and no directory to take a layout from.
    const fs::path noFat = EmptyPartitionDisk(folder_, 0x0C);
    testing::ImageGuard noFatGuard(noFat.string());
    EXPECT_EQ(Run({"--json", "--image", noFat.string(), "standard", "--partition", "1"}),
              kExitBadInput);
    EXPECT_NE(err_.str().find("Unable to calculate partition parameters"), std::string::npos)
        << err_.str();
    EXPECT_NE(err_.str().find("could not be read as FAT32"), std::string::npos) << err_.str();
    EXPECT_TRUE(out_.str().empty());
    EXPECT_TRUE(noFatGuard.Unchanged());
}

TEST_F(StandardCommandTest, SearchesAnNtfsPartitionWhoseBootSectorIsGoneWithAWarning) {
    const fs::path noNtfs = EmptyPartitionDisk(folder_, 0x07);
    testing::ImageGuard guard(noNtfs.string());
    ASSERT_EQ(Run({"--json", "--image", noNtfs.string(), "standard", "--partition", "1"}), kExitOk)
        << err_.str();
    EXPECT_NE(err_.str().find("warning: the boot sector of partition 1 is not a valid NTFS"),
              std::string::npos)
        << err_.str();
    const json document = json::parse(out_.str());
    EXPECT_EQ(document.at("bootSectorValid"), false);
    EXPECT_TRUE(document.at("files").empty());
    EXPECT_EQ(document.at("folders").at(0).at("path"), "Root");
    EXPECT_TRUE(guard.Unchanged());
}

// A file with hard links in three other folders is listed under every name, as fls lists it,
// and saved whole under each.
TEST_F(StandardCommandTest, NtfsHardLinksAreListedAndSavedUnderEveryName) {
    if (!testing::ToolInstalled("fls") || !testing::ToolInstalled("ntfs-3g") ||
        !fs::exists("/dev/fuse")) {
        GTEST_SKIP() << "needs The Sleuth Kit, ntfs-3g and FUSE";
    }
    const std::string files = RecordSizeImage("files");
    const std::string image = RecordSizeImage("links.img");
    ASSERT_FALSE(image.empty());
    testing::ImageGuard guard(image);
    const fs::path saved = folder_ / "saved";
    fs::create_directories(saved);
    ASSERT_EQ(
        Run({"--json", "--image", image, "standard", "--partition", "1", "--save", saved.string()}),
        kExitOk)
        << err_.str();
    CheckNtfsPartitionAgainstFls(json::parse(out_.str()), image, 2048);
    const std::string original = ReadBytes(files + "/small.txt", 0, 1 << 20);
    for (const char* path :
         {"Docs/one.txt", "Photos/two.txt", "three.txt", "Docs/Letters/four.txt"}) {
        EXPECT_TRUE(ReadBytes(FindSaved(saved, path), 0, 1 << 20) == original) << path;
    }
    EXPECT_TRUE(guard.Unchanged());
}

// A GPT entry ending at or past 2^63 sectors: the partition is listed as the table gives it,
// its columns widened to the long number, and searched up to the disk's end, where its intact
// FAT16 volume lies whole.
TEST_F(StandardCommandTest, HugeGptEndStillRebuildsTheFat16Tree) {
    const fs::path base = folder_ / "gpt_fat16.img";
    ASSERT_EQ(std::system(("bash -c " + ShellQuoted(kGptFat16DiskScript) + " build " +
                           ShellQuoted(base.string()))
                              .c_str()),
              0);
    for (const std::uint64_t lastLba :
         {(std::uint64_t{1} << 63) - 1, std::uint64_t{1} << 63, ~std::uint64_t{0}}) {
        SCOPED_TRACE(lastLba);
        const fs::path image = folder_ / "huge_end.img";
        fs::copy_file(base, image, fs::copy_options::overwrite_existing);
        SetGptLastLba(image.string(), lastLba);
        testing::ImageGuard guard(image.string());

        ASSERT_EQ(Run({"--image", image.string(), "partitions"}), kExitOk) << err_.str();
        std::istringstream lines(out_.str());
        std::string line, captions, row;
        while (std::getline(lines, line)) {
            if (line.starts_with("Number")) {
                captions = line;
            } else if (line.starts_with("1 ")) {
                row = line;
            }
        }
        ASSERT_NE(row.find("GPT"), std::string::npos) << out_.str();
        EXPECT_EQ(captions.find("Found in"), row.find("GPT")) << out_.str();
        EXPECT_EQ(captions.find("Item"), row.find("Partition - 1")) << out_.str();

        const json document = RunJson(image.string(), 1);
        ASSERT_TRUE(document.contains("files")) << err_.str();
        ASSERT_EQ(document.at("files").size(), 1u) << document.dump();
        EXPECT_EQ(FilePath(document.at("files").at(0)), "DOCS/SMALL.TXT");
        EXPECT_EQ(document.at("endSector"), lastLba == ~std::uint64_t{0} ? lastLba : lastLba + 1);
        EXPECT_TRUE(guard.Unchanged());
    }
}

}  // namespace
}  // namespace lumarest
