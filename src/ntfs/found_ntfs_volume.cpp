// The second phase of an Advance NTFS search: one found volume's folders and files.

#include "ntfs/found_ntfs_volume.h"

namespace lumarest {

void RebuildFoundNtfsVolume(RecoveryRun&, SectorSource&, Reporter&, std::size_t) {}

}  // namespace lumarest
