#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumarest {

struct CliContext;

// What `raw` was asked for. The range is the whole disk unless sectors or a partition are named.
struct RawSearchOptions {
    int diskNumber = -1;
    std::optional<std::uint64_t> firstSector;
    std::optional<std::uint64_t> lastSector;  // the first sector after the range
    std::optional<int> partitionNumber;       // 1-based, as `partitions` lists them
    bool thorough = false;
    bool decode = true;
    bool keepCarvedLength = false;         // save files as carved, not cut at their found end
    bool nameByDate = false;               // save files under the time they were taken
    std::optional<std::string> outFolder;  // none: nothing is saved
    std::string signatureFolder;           // where the two signature files lie
};

// Carves files from the chosen sectors of a disk with the general signature list, then the
// thorough one when asked, and prints one row per carved file (name, first sector, carved and
// saved bytes, extension, verdict, whether it decodes as a picture) as text or one JSON
// document. With an out folder every file is saved there as it is finished, at its saved
// length unless the carved length is asked for. Exit status 2 on bad input: an unknown
// or unreadable disk, a bad range or partition, a refused folder, no general signatures, or
// files that could not be saved.
int RunRawCommand(CliContext& context, const RawSearchOptions& options);

}  // namespace lumarest
