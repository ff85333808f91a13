#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace lumarest {

class DiskEnumerator;
class DiskService;

// What the command line takes from the machine; tests replace the disk list and the store.
struct CliEnvironment {
    std::function<std::unique_ptr<DiskEnumerator>()> makeDiskEnumerator;
    bool stderrIsTerminal = false;
    // Asked for a read-only descriptor of a disk this user may not open; empty: none is asked.
    std::function<std::unique_ptr<DiskService>()> makeDiskService;
    // Ask the disk service even for disks this user may open.
    bool alwaysAskDiskService = false;
};

CliEnvironment SystemCliEnvironment();

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 2;
// A save stopped by Ctrl+C or SIGTERM, as a shell reports a program ended by SIGINT.
inline constexpr int kExitInterrupted = 130;

// Runs one command line (without the program name). Results go to `out`, messages and
// progress to `err`. Returns the exit status: 0, 2 on bad input, or 130 when a save was stopped.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment);

}  // namespace lumarest
