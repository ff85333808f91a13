#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/le_bytes.h"
#include "exfat/entry_set.h"

namespace lumarest {

// The system entries a root directory holds, and the folders it lists, read from its first
// bytes. Cluster numbers are as stored: nothing here knows where the heap is.
struct ExFatRootEntries {
    std::uint32_t bitmapCluster = 0;
    std::uint64_t bitmapBytes = 0;
    std::uint32_t upcaseCluster = 0;
    std::uint64_t upcaseBytes = 0;
    // First clusters of the folders it lists, live and deleted, in directory order.
    std::vector<std::uint32_t> folderClusters;
};

// Whether `bytes` begin with a whole entry set (live 0x85, or deleted 0x05) whose entries are
// of the kinds a set holds and whose checksum matches. A deleted set is checked with its
// in-use bits restored: deleting clears only those.
bool StartsWithEntrySet(ByteSpan bytes);

// The root's system entries when `bytes` begin like a root directory: a run of sound system
// entries (label, bitmap, up-case, GUID) naming the allocation bitmap and the up-case table in
// distinct clusters of the heap. The folders are read from the sets after them.
std::optional<ExFatRootEntries> ReadRootEntries(ByteSpan bytes);

// Whether `sector` begins the standard up-case table (compressed or whole): both start with
// the same identity run, lower-case ASCII mapped to capitals.
bool IsUpcaseTableStart(ByteSpan sector);

}  // namespace lumarest
