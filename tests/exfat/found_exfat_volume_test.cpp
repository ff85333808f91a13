#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "core/memory_disk.h"
#include "core/reporter.h"
#include "exfat/found_exfat_volume.h"
#include "support/command_output.h"
#include "support/image_guard.h"
#include "support/recording_reporter.h"

namespace lumarest {
namespace {

constexpr std::uint64_t kMaxSector = std::numeric_limits<std::uint64_t>::max();

struct Layout {
    std::uint64_t heapStart;
    std::uint32_t spc;
    std::uint32_t rootCluster;
};

std::uint64_t SectorOf(const Layout& l, std::uint32_t cluster) {
    return l.heapStart + std::uint64_t{cluster - 2} * l.spc;
}

ExFatRootEntries RootNaming(std::uint32_t bitmap, std::uint32_t upcase,
                            std::vector<std::uint32_t> folders) {
    ExFatRootEntries root;
    root.bitmapCluster = bitmap;
    root.bitmapBytes = 100;
    root.upcaseCluster = upcase;
    root.upcaseBytes = 5836;
    root.folderClusters = std::move(folders);
    return root;
}

ExFatBitmapSample BitmapAt(std::uint64_t sector, std::vector<std::uint32_t> inUse) {
    ExFatBitmapSample sample;
    sample.sector = sector;
    for (const std::uint32_t cluster : inUse) {
        sample.head[(cluster - 2) / 8] |= static_cast<std::uint8_t>(1u << ((cluster - 2) % 8));
    }
    return sample;
}

// What a scan finds of a volume as mkfs lays it out: bitmap in cluster 2, up-case table in 3,
// root in 4, the root's folders at `folders` (each starting with an entry set).
ExFatScanFacts VolumeFacts(const Layout& l, std::vector<std::uint32_t> folders) {
    ExFatScanFacts facts;
    facts.upcaseSectors = {SectorOf(l, 3)};
    facts.roots = {{SectorOf(l, l.rootCluster), RootNaming(2, 3, folders)}};
    for (const std::uint32_t folder : folders) {
        facts.directorySectors.push_back(SectorOf(l, folder));
    }
    std::vector<std::uint32_t> inUse = {2, 3, l.rootCluster};
    inUse.insert(inUse.end(), folders.begin(), folders.end());
    facts.bitmapSamples = {BitmapAt(SectorOf(l, 2), inUse)};
    return facts;
}

ExFatBootFact BootAt(std::uint64_t sector, const Layout& l) {
    ExFatBootFact boot;
    boot.sector = sector;
    boot.heapOffset = l.heapStart - sector;
    boot.sectorsPerCluster = l.spc;
    boot.clusterCount = 5000;
    boot.rootCluster = l.rootCluster;
    return boot;
}

constexpr Layout kSmall{1000, 8, 4};    // 4 KiB clusters
constexpr Layout kLarge{5000, 256, 4};  // 128 KiB clusters

struct InferCase {
    const char* name;
    ExFatScanFacts facts;
    std::vector<Layout> expected;  // best first
};

std::vector<InferCase> InferCases() {
    std::vector<InferCase> cases;
    cases.push_back({"4 KiB clusters", VolumeFacts(kSmall, {5, 7}), {kSmall}});
    cases.push_back({"128 KiB clusters", VolumeFacts(kLarge, {6}), {kLarge}});
    {
        // Without a bitmap the folders alone must agree; two of them do.
        ExFatScanFacts facts = VolumeFacts(kLarge, {5, 9});
        facts.bitmapSamples.clear();
        cases.push_back({"folders without the bitmap", facts, {kLarge}});
    }
    {
        // A second table start elsewhere gives heaps no other fact lands on.
        ExFatScanFacts facts = VolumeFacts(kSmall, {5, 7});
        facts.upcaseSectors.push_back(SectorOf(kSmall, 3) + 4096);
        cases.push_back({"a decoy up-case table", facts, {kSmall}});
    }
    {
        // The folders sit where 8-sector clusters put them, the bitmap where 16-sector ones do:
        // the reading with more agreeing facts wins, and the weaker is not listed for the root.
        ExFatScanFacts facts = VolumeFacts(kSmall, {5, 7, 9});
        facts.bitmapSamples = {BitmapAt(SectorOf(kSmall, 3) - 16, {2, 3})};
        cases.push_back({"bitmap and folders disagree", facts, {kSmall}});
    }
    {
        ExFatScanFacts facts;
        facts.upcaseSectors = {SectorOf(kSmall, 3)};
        cases.push_back({"an up-case table alone", facts, {}});
    }
    {
        ExFatScanFacts facts = VolumeFacts(kSmall, {5});
        facts.bitmapSamples.clear();
        facts.directorySectors.clear();
        cases.push_back({"a root and its table alone", facts, {}});
    }
    {
        // The table's cluster lies further into the heap than the sector it was found at.
        ExFatScanFacts facts = VolumeFacts(kSmall, {5});
        facts.roots[0].entries.upcaseCluster = 0xFFFFFFFF;
        cases.push_back({"heap start below sector 0", facts, {}});
    }
    {
        // Near the top of 64 bits the bitmap and folder sectors would wrap to where a sample
        // and a directory wait; nothing may land there.
        const std::uint64_t table = kMaxSector - 10;
        const std::uint64_t wrapped = 0xFFFFFFFDull - 12;
        ExFatScanFacts facts;
        facts.upcaseSectors = {table};
        facts.roots = {{kMaxSector, RootNaming(0xFFFFFFFF, 3, {0xFFFFFFFF})}};
        facts.directorySectors = {wrapped};
        facts.bitmapSamples = {BitmapAt(wrapped, {2, 3})};
        facts.bitmapSamples[0].head.fill(0xFF);
        cases.push_back({"clusters past 64 bits", facts, {}});
    }
    {
        ExFatScanFacts facts;
        facts.bootSectors = {BootAt(700, kSmall)};
        cases.push_back({"a boot sector alone", facts, {kSmall}});
    }
    {
        // A boot sector and its backup make one volume.
        ExFatScanFacts facts = VolumeFacts(kSmall, {5});
        facts.bootSectors = {BootAt(700, kSmall), BootAt(700, kSmall)};
        facts.bootSectors[1].sector = 712;
        cases.push_back({"a boot region and its backup", facts, {kSmall}});
    }
    {
        // Only the backup survived: read as a main sector its heap would miss the root.
        ExFatScanFacts facts = VolumeFacts(kSmall, {5});
        facts.bootSectors = {BootAt(700, kSmall)};
        facts.bootSectors[0].sector = 712;
        cases.push_back({"a backup boot sector alone", facts, {kSmall}});
    }
    {
        ExFatScanFacts facts = VolumeFacts(kLarge, {6});
        facts.bootSectors = {BootAt(900, kSmall)};
        facts.bootSectors[0].heapOffset = kMaxSector;
        cases.push_back({"a heap offset past 64 bits", facts, {kLarge}});
    }
    {
        ExFatScanFacts facts = VolumeFacts(kSmall, {5, 7});
        const ExFatScanFacts large = VolumeFacts(kLarge, {6});
        facts.upcaseSectors.push_back(large.upcaseSectors[0]);
        facts.roots.push_back(large.roots[0]);
        facts.directorySectors.push_back(large.directorySectors[0]);
        facts.bitmapSamples.push_back(large.bitmapSamples[0]);
        cases.push_back({"two volumes in one range", facts, {kSmall, kLarge}});
    }
    return cases;
}

TEST(InferExFatVolumesTest, PlacesTheHeapFromAgreeingFactsOnly) {
    for (const InferCase& c : InferCases()) {
        const std::vector<FoundExFatVolume> found = InferExFatVolumes(c.facts);
        ASSERT_EQ(found.size(), c.expected.size()) << c.name;
        for (std::size_t v = 0; v < found.size(); ++v) {
            EXPECT_EQ(found[v].heapStart, c.expected[v].heapStart) << c.name << " volume " << v;
            EXPECT_EQ(found[v].sectorsPerCluster, c.expected[v].spc) << c.name << " volume " << v;
            EXPECT_EQ(found[v].rootCluster, c.expected[v].rootCluster) << c.name << " volume " << v;
            EXPECT_TRUE(found[v].bootFound || found[v].evidence >= 2) << c.name;
        }
    }
}

// A live entry set with a good checksum, as a folder "Photos" with its first cluster at 5.
std::vector<std::uint8_t> FolderSet(std::uint8_t inUse) {
    std::vector<std::uint8_t> set(3 * 32, 0);
    set[0] = 0x05 | inUse;
    set[1] = 2;
    set[4] = 0x10;
    set[32] = 0x40 | inUse;
    set[35] = 6;
    set[32 + 20] = 5;
    set[64] = 0x41 | inUse;
    const char* name = "Photos";
    for (int i = 0; i < 6; ++i) {
        set[64 + 2 + 2 * i] = static_cast<std::uint8_t>(name[i]);
    }
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == 2 || i == 3) {
            continue;
        }
        const std::uint8_t byte = i % 32 == 0 ? set[i] | 0x80 : set[i];
        sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
    }
    set[2] = static_cast<std::uint8_t>(sum);
    set[3] = static_cast<std::uint8_t>(sum >> 8);
    return set;
}

std::vector<std::uint8_t> UpcaseStart() {
    std::vector<std::uint8_t> sector(512, 0);
    for (std::uint16_t unit = 0; unit < 256; ++unit) {
        const auto mapped =
            static_cast<std::uint16_t>(unit >= 'a' && unit <= 'z' ? unit - 32 : unit);
        sector[2 * unit] = static_cast<std::uint8_t>(mapped);
        sector[2 * unit + 1] = static_cast<std::uint8_t>(mapped >> 8);
    }
    return sector;
}

std::vector<std::uint8_t> RootStart() {
    std::vector<std::uint8_t> root(3 * 32, 0);
    root[0] = 0x83;
    root[32] = 0x81;
    root[32 + 20] = 2;
    root[32 + 24] = 248;
    root[64] = 0x82;
    root[64 + 20] = 3;
    root[64 + 24] = 0xCC;
    root[64 + 25] = 0x16;
    const std::vector<std::uint8_t> folder = FolderSet(0x80);
    root.insert(root.end(), folder.begin(), folder.end());
    return root;
}

struct SectorCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t broken;  // a byte whose change must undo the finding
    std::size_t directories, roots, upcases, boots;
};

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// 4096-byte sectors, 8 of them a cluster: 64 engine sectors, the heap 8 * 4096 engine sectors on.
std::vector<std::uint8_t> BootSector() {
    std::vector<std::uint8_t> boot(512, 0);
    const char* name = "EXFAT   ";
    std::copy(name, name + 8, boot.begin() + 3);
    Put32(boot, 72, 65536);
    Put32(boot, 80, 24);
    Put32(boot, 84, 64);
    Put32(boot, 88, 4096);
    Put32(boot, 92, 7000);
    Put32(boot, 96, 4);
    boot[108] = 12;
    boot[109] = 3;
    boot[110] = 1;
    boot[510] = 0x55;
    boot[511] = 0xAA;
    return boot;
}

TEST(ExFatFactsScanTest, TellsEachKindOfSectorAndNotItsBrokenTwin) {
    const std::vector<SectorCase> cases = {
        {"live folder set", FolderSet(0x80), 64 + 4, 1, 0, 0, 0},
        // Deleting clears the in-use bits only: the checksum is still that of the live set.
        {"deleted folder set", FolderSet(0), 64 + 2, 1, 0, 0, 0},
        {"up-case table", UpcaseStart(), 2 * 'a', 0, 0, 1, 0},
        {"root", RootStart(), 32, 0, 1, 0, 0},
        {"root whose up-case entry has a reserved byte set", RootStart(), 64 + 10, 0, 1, 0, 0},
        {"boot sector", BootSector(), 3, 0, 0, 0, 1},
    };
    for (const SectorCase& c : cases) {
        for (const bool broken : {false, true}) {
            std::vector<std::uint8_t> bytes = c.bytes;
            bytes.resize(1024, 0);
            if (broken) {
                bytes[c.broken] ^= 0x01;
            }
            ExFatScanFacts facts;
            TestSectorForExFatFacts(bytes, 77, facts);
            const std::size_t want = broken ? 0 : 1;
            EXPECT_EQ(facts.directorySectors.size(), want * c.directories) << c.name << broken;
            EXPECT_EQ(facts.roots.size(), want * c.roots) << c.name << broken;
            EXPECT_EQ(facts.upcaseSectors.size(), want * c.upcases) << c.name << broken;
            EXPECT_EQ(facts.bootSectors.size(), want * c.boots) << c.name << broken;
            if (!broken && c.roots != 0) {
                EXPECT_EQ(facts.roots[0].entries.folderClusters, std::vector<std::uint32_t>{5});
            }
            if (!broken && c.boots != 0) {
                EXPECT_EQ(facts.bootSectors[0].heapOffset, 4096u * 8);
                EXPECT_EQ(facts.bootSectors[0].sectorsPerCluster, 64u);
                EXPECT_EQ(facts.bootSectors[0].sectorUnit, 8u);
            }
        }
    }
}

TEST(ExFatFactsScanTest, StopsBeforeReadingWhenAsked) {
    MemoryDisk disk(std::vector<std::uint8_t>(64 * 512, 0));
    std::stop_source stop;
    stop.request_stop();
    NullReporter reporter;
    const ExFatScanFacts facts = ScanForExFatFacts(disk, 3, 63, reporter, stop.get_token());
    EXPECT_EQ(facts.nextSector, 3u);
    EXPECT_EQ(disk.ReadCalls(), 0u);
}

// A volume made by mkfs.exfat and filled through FUSE, placed at sector 12345 with both boot
// regions wiped: the scan and the inference must give back its heap and cluster size.
TEST(FoundExFatVolumeTest, FindsAWipedVolumeMadeByTheTools) {
    const std::string folder = std::string(LUMAREST_FIXTURE_DIR) + "/found_exfat";
    const std::string command = "bash " +
                                testing::ShellQuoted(std::string(LUMAREST_SOURCE_DIR) +
                                                     "/tests/exfat/make_found_exfat_images.sh") +
                                " " + testing::ShellQuoted(folder) + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "the exfat-fuse mount does not work here";
    }
    ASSERT_EQ(status, 0) << "make_found_exfat_images.sh failed";
    Layout truth{};
    std::ifstream(folder + "/wiped.truth") >> truth.heapStart >> truth.spc >> truth.rootCluster;
    ASSERT_NE(truth.spc, 0u);

    const std::string image = folder + "/wiped.img";
    testing::ImageGuard guard(image);
    std::ifstream file(image, std::ios::binary);
    MemoryDisk disk(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {}));
    testing::RecordingReporter reporter;
    const ExFatScanFacts facts =
        ScanForExFatFacts(disk, 0, disk.TotalSectors() - 1, reporter, std::stop_token{});
    EXPECT_EQ(facts.nextSector, disk.TotalSectors());
    EXPECT_TRUE(facts.bootSectors.empty());
    const std::vector<FoundExFatVolume> found = InferExFatVolumes(facts);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].heapStart, truth.heapStart);
    EXPECT_EQ(found[0].sectorsPerCluster, truth.spc);
    EXPECT_EQ(found[0].rootCluster, truth.rootCluster);
    EXPECT_FALSE(found[0].bootFound);
    const std::vector<std::string> calls = reporter.Calls();
    const std::string last = " of " + std::to_string(disk.TotalSectors() - 1);
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.find(last) != std::string::npos;
    })) << "no final sector count reported";
    EXPECT_TRUE(guard.Unchanged());
}

}  // namespace
}  // namespace lumarest
