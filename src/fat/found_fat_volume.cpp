// The second phase of an Advance FAT search: one found volume's folder tree.

#include "fat/found_fat_volume.h"

namespace lumarest {

void RebuildFoundFatVolume(RecoveryRun&, SectorSource&, Reporter&, std::size_t) {}

}  // namespace lumarest
