#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/volume_contents.h"
#include "exfat/exfat_layout.h"
#include "exfat/exfat_tree.h"

namespace lumarest {

// One exFAT volume as the walk read it: its layout, its folders and files, and the files of
// each folder by the folder's id.
struct ExFatContents final : VolumeContents {
    ExFatContents(const ExFatLayout& volumeLayout, ExFatTree walked)
        : layout(volumeLayout), tree(std::move(walked)) {
        for (std::size_t index = 0; index < tree.files.size(); ++index) {
            filesByFolder[tree.files[index].folderId].push_back(index);
        }
    }

    ExFatLayout layout;
    ExFatTree tree;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> filesByFolder;
};

}  // namespace lumarest
