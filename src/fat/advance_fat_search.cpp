// The Advance FAT search: boot sectors and directory starts anywhere in a range, and the
// volumes they make up.

#include "fat/advance_fat_search.h"

#include "core/recovery_run.h"

namespace lumarest {

void AdvanceFatSearch(RecoveryRun&, SectorSource&, Reporter&) {}

std::size_t AnalyzeFoundVolumes(RecoveryRun& run, Reporter&, std::stop_token) {
    run.volumesFound = 0;
    return 0;
}

}  // namespace lumarest
