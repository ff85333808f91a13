#pragma once

#include <cstdint>
#include <string>

#include "core/recovery_run.h"

namespace lumarest {

// The key of a disk item: the last two characters of its trimmed text, the disk number and
// the closing parenthesis ("Removable Media (Disk1)" gives "1)").
std::string DiskKeyOfItemText(const std::string& itemText);

// The disk number a key names: its first character as a digit, 0 when it is none. Only disks
// 0 to 9 can be named, as only ten drive slots exist.
std::uint16_t DiskNumberOfKey(const std::string& key);

// The file the chosen disk is read from: the floppy's or the listed disk's; empty when the
// choice names no listed disk.
std::string SelectedDevicePath(const RecoveryRun& run);

}  // namespace lumarest
