// The Advance NTFS scan: boot sectors, file records and index blocks anywhere in a range.

#include "ntfs/ntfs_raw_scan.h"

namespace lumarest {

void ScanNtfsRaw(RecoveryRun&, SectorSource&, Reporter&) {}

}  // namespace lumarest
