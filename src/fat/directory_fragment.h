#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/le_bytes.h"

namespace lumarest {

struct ActiveVolume;
class SectorSource;
class TextTable;

// Short entries a cluster's first sector must hold, every entry before them well formed, for
// the cluster to be taken for part of a directory that lost its start. File data seldom
// passes for this many entries in a row.
inline constexpr std::size_t kFragmentEntries = 3;

// True when `sector`, the first sector of a cluster that does not begin a directory, holds at
// least kFragmentEntries short entries and, up to the directory's end, nothing but well-formed
// entries: a valid attribute and case flags, printable upper-case name bytes, a first cluster of 0
// or below `clusterLimit`, and a real date and time; long-name entries with a sane order byte.
bool LooksLikeDirectoryFragment(ByteSpan sector, std::string_view fsName,
                                std::uint64_t clusterLimit);

// Adds a folder row under the orphan folder for each of `fragments` (clusters in ascending
// order) that no directory reaches: neither the root nor any folder row of `table` by its
// directory's clusters, nor a fragment added before it. A fragment's own directory clusters
// run on over the free clusters that follow it, so one row holds a whole stretch of them.
// A row is named as the scan names its folders and marked deleted when its cluster is free.
void AppendUnreachedFragments(TextTable& table, const ActiveVolume& volume, SectorSource& disk,
                              const std::vector<std::uint32_t>& fragments);

}  // namespace lumarest
