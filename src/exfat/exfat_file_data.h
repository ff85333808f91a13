#pragma once

#include <cstdint>
#include <ostream>

#include "exfat/entry_set.h"
#include "exfat/exfat_volume_reader.h"
#include "output/recovered_file.h"

namespace lumarest {

// Writes the file's bytes: contiguous from its first cluster for its data length; chained
// along the FAT chain; a deleted chained file along what is left of its chain, and when the
// chain is gone (zero or bad entries) the clusters after it that the allocation bitmap marks
// free, never past them. Bytes past the valid data length are written as zeros, as a reader of
// the volume sees them. A chain that loops, leaves the heap or ends early gives Incomplete
// with what was found written.
RecoveredFileStatus WriteExFatFile(ExFatVolumeReader& reader, const ExFatEntrySet& file,
                                   std::ostream& out);

// The bytes WriteExFatFile would write.
std::uint64_t ExFatStoredBytes(ExFatVolumeReader& reader, const ExFatEntrySet& file);

}  // namespace lumarest
