#pragma once

#include <set>
#include <string>

namespace lumarest {

// The whole disks ("8:0") a block device's data lies on, found through the kernel's block
// device tree under `sysfsRoot`: a partition resolves to its disk, a mapped or RAID device to
// the disks below it. Empty for a device the tree does not know (a memory file system).
std::set<std::string> WholeDisksOf(unsigned major, unsigned minor, const std::string& sysfsRoot);

}  // namespace lumarest
