#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/reporter.h"
#include "fat/directory_scan.h"
#include "fat/fat_chain.h"
#include "fat/fat_folder_tree.h"
#include "fat/name_children.h"
#include "partitions/volume_params.h"
#include "tree/folder_tree_build.h"

namespace lumarest::testing {

// Folder path -> deleted, as the recovered tree shows it.
using FolderPaths = std::map<std::string, bool>;

struct Recovery {
    RecoveryRun run;
    FolderPaths paths;
};

inline std::string PathOf(const FolderNodeList& nodes, const FolderNode& node) {
    std::string path = node.name;
    std::uint32_t parent = node.parentId;
    std::set<std::uint32_t> seen{node.selfId};
    while (parent != kFatRootId && seen.insert(parent).second) {
        const auto& all = nodes.Nodes();
        const auto up = std::find_if(all.begin(), all.end(),
                                     [&](const FolderNode& n) { return n.selfId == parent; });
        if (up == all.end()) {
            break;
        }
        path = up->name + "/" + path;
        parent = up->parentId;
    }
    return path;
}

// Scan, re-attach and build the folder tree as a Standard search does. The folder table the
// build empties is kept as it stood before the build, sorted by "self", for the tests to read.
inline std::unique_ptr<Recovery> Recover(SectorSource& disk, const std::string& fsName,
                                         std::uint64_t start, std::uint64_t sectors) {
    auto recovery = std::make_unique<Recovery>();
    RecoveryRun& run = recovery->run;
    SetPartitionFileSystem(run.selectedPartition, fsName);
    run.selectedPartition.startSector = static_cast<std::int64_t>(start);
    run.selectedPartition.endSector = static_cast<std::int64_t>(start + sectors - 1);
    NullReporter reporter;
    EXPECT_EQ(ValidatePartition(run, disk, reporter), 1);
    run.activeVolume = SnapshotVolume(run.volumeParams, fsName);
    EXPECT_EQ(ScanLostDirectories(run, disk, reporter, run.scanStop.get_token()), 1);
    TextTable& table = run.folderTable;
    table.SortByColumn(kEntrySelf);
    ReattachOrphans(table, reporter, ProgressBar::MainScan, kFatRootId, 0);
    const TextTable scanned = table;
    table.SortByColumn(kEntryParent);
    EXPECT_EQ(BuildFatFolderTree(run, disk, table, reporter, ProgressBar::MainScan), 1);
    EXPECT_TRUE(table.Empty());
    table = scanned;
    for (const FolderNode& node : run.folderNodes.Nodes()) {
        if (node.selfId != kOrphanFolderId) {
            recovery->paths[PathOf(run.folderNodes, node)] = node.deleted;
        }
    }
    return recovery;
}

}  // namespace lumarest::testing
