#include "cli/cli_app.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/advance_command.h"
#include "cli/cli_context.h"
#include "cli/disk_choice.h"
#include "cli/disks_command.h"
#include "cli/partitions_command.h"
#include "cli/raw_command.h"
#include "cli/standard_command.h"
#include "disk/service_device_files.h"
#include "program/program_files.h"
#include "service/system_disk_service.h"

namespace lumarest {

namespace {

constexpr const char* kDescription =
    "Lumarest on the command line: lists disks and disk images and recovers lost files from "
    "them. Sources are only ever opened read-only. A disk this user may not read is asked for "
    "from the system's disk service, read-only, which may ask for a password first.";

// Partitions count from 1 as 'partitions' lists them; the library's own range message would
// name the limits of a double instead.
const CLI::Validator kPartitionNumber(
    [](std::string& text) -> std::string {
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc{} && end == text.data() + text.size() && value >= 1) {
            return {};
        }
        return "partitions are numbered from 1, as 'lumarest-cli partitions' lists them; " + text +
               " is not a partition number";
    },
    "NUMBER");

// Attaches every --image in order; the first that cannot be used ends the command.
int AttachImages(CliContext& context, const std::vector<std::string>& images) {
    for (const std::string& image : images) {
        if (const auto problem = AttachImage(context.run, image)) {
            return context.Fail(*problem);
        }
    }
    return kExitOk;
}

constexpr const char* kOnlyHelp =
    "List only the deleted or only the live folders and files (a file counts as deleted by its "
    "own mark, whatever its folder's); with --save, save only those, in the folders that hold "
    "them";

// --only's word as a filter, or nothing for a word it does not take.
std::optional<RowFilter> OnlyFilter(const std::optional<std::string>& word) {
    if (!word) {
        return RowFilter::All;
    }
    if (*word == "deleted") {
        return RowFilter::Deleted;
    }
    if (*word == "live") {
        return RowFilter::Live;
    }
    return std::nullopt;
}

// Sets `only` from --only's word, or says what the word should have been.
std::optional<std::string> ReadOnlyFilter(const std::optional<std::string>& word, RowFilter& only) {
    const std::optional<RowFilter> filter = OnlyFilter(word);
    if (!filter) {
        return "--only takes 'deleted' or 'live', not '" + *word + "'";
    }
    only = *filter;
    return std::nullopt;
}

}  // namespace

int CliContext::Fail(const std::string& text) const {
    *err << "lumarest-cli: error: " << text << '\n';
    return kExitBadInput;
}

CliEnvironment SystemCliEnvironment() {
    CliEnvironment environment;
    environment.makeDiskEnumerator = [] { return std::make_unique<SystemDiskEnumerator>(); };
    environment.stderrIsTerminal = ::isatty(STDERR_FILENO) == 1;
    environment.makeDiskService = [] { return std::make_unique<SystemDiskService>(); };
    environment.alwaysAskDiskService = AlwaysAskDiskService();
    return environment;
}

namespace {

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const CliEnvironment& environment) {
    CLI::App app{kDescription, "lumarest-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("lumarest-cli ") + ProgramVersion(),
                         "Print the version and exit");
    std::vector<std::string> images;
    bool json = false;
    app.add_option("--image", images,
                   "Attach a raw disk image (dd, img, bin, raw) read-only; repeatable")
        ->type_name("PATH");
    app.add_flag("--json", json, "Write the result as one JSON document on stdout");
    CLI::App* disks =
        app.add_subcommand("disks", "List the disks and attached images with their details");
    disks->fallthrough();
    int partitionDisk = -1;
    CLI::App* partitions = app.add_subcommand(
        "partitions",
        "List a disk's FAT16, FAT32, NTFS and exFAT partitions from its MBR and extended records, "
        "its GPT, or a volume that fills the whole disk (and with --search from its cylinders and "
        "1 MiB boundaries): number, file system, start sector, end sector (the first sector "
        "after the partition, both in the disk's own sectors), where it was found and item text");
    partitions
        ->add_option("--disk", partitionDisk,
                     "Disk number, as 'disks' shows it; may be left out when exactly one --image "
                     "is given")
        ->check(CLI::NonNegativeNumber);
    bool partitionSearch = false;
    partitions->add_flag("--search", partitionSearch,
                         "After the table, search every cylinder, then every 1 MiB boundary, for "
                         "FAT16, FAT32, NTFS and exFAT boot sectors the table does not list "
                         "(Ctrl+C stops and lists what was found)");
    partitions->fallthrough();
    RawSearchOptions raw;
    CLI::App* rawSearch = app.add_subcommand(
        "raw",
        "Carve files from a disk's raw sectors by their leading bytes and list each one: name, "
        "first sector, carved bytes, saved bytes (up to the end its format gives), extension, "
        "verdict (complete, truncated, not a picture, unchecked) and whether it decodes as a "
        "picture");
    rawSearch
        ->add_option("--disk", raw.diskNumber,
                     "Disk number, as 'disks' shows it; may be left out when exactly one --image "
                     "is given")
        ->check(CLI::NonNegativeNumber);
    CLI::Option* rawFirst =
        rawSearch->add_option("--first", raw.firstSector, "First sector to search (default 0)")
            ->check(CLI::NonNegativeNumber);
    CLI::Option* rawLast =
        rawSearch
            ->add_option("--last", raw.lastSector,
                         "The first sector after the search (default: the disk's sector count)")
            ->check(CLI::NonNegativeNumber);
    rawSearch
        ->add_option("--partition", raw.partitionNumber,
                     "Search the sectors of this partition, numbered as 'partitions' lists them")
        ->check(kPartitionNumber)
        ->excludes(rawFirst)
        ->excludes(rawLast);
    rawSearch->add_flag("--thorough", raw.thorough,
                        "Run the thorough scan after the general one (off unless given)");
    bool rawNoDecode = false;
    rawSearch->add_flag("--no-decode", rawNoDecode,
                        "Do not check whether each file decodes as a picture (faster)");
    CLI::Option* rawOut =
        rawSearch
            ->add_option("--out", raw.outFolder,
                         "Save every carved file in this folder as it is found, up to the end "
                         "its format gives; the folder must exist and lie on another disk")
            ->type_name("DIR");
    rawSearch
        ->add_flag("--keep-carved-length", raw.keepCarvedLength,
                   "Save every file with all the bytes carved (to the next header or the type's "
                   "size limit), not cut at the end its format gives")
        ->needs(rawOut);
    rawSearch
        ->add_flag("--name-by-date", raw.nameByDate,
                   "Name each saved photo or clip by when it was taken (\"2024-07-14 "
                   "10.30.22.heic\"), where it says, instead of its carved name")
        ->needs(rawOut);
    rawSearch->fallthrough();
    StandardSearchOptions standard;
    CLI::App* standardSearch = app.add_subcommand(
        "standard",
        "Rebuild the folder tree of a FAT16, FAT32, NTFS or exFAT partition from its lost and live "
        "directories (FAT) or its master file table (NTFS) and list every folder and file in it");
    standardSearch
        ->add_option("--disk", standard.diskNumber,
                     "Disk number, as 'disks' shows it; may be left out when exactly one --image "
                     "is given")
        ->check(CLI::NonNegativeNumber);
    standardSearch
        ->add_option("--partition", standard.partitionNumber,
                     "The partition to search, numbered as 'partitions' lists them")
        ->check(kPartitionNumber)
        ->required();
    standardSearch->add_flag("--timings", standard.timings,
                             "Print how long each phase of the search took on stderr");
    standardSearch
        ->add_option("--save", standard.saveFolder,
                     "Save every folder and file of the rebuilt tree, deleted ones too, below "
                     "this folder; it must exist and lie on another disk. A name taken already "
                     "gets \" (2)\" and so on")
        ->type_name("DIR");
    standardSearch
        ->add_option("--oem-codepage", standard.oemCodePage,
                     "The DOS code page FAT short names are written in, such as 437 (the "
                     "default), 850 or 866")
        ->type_name("NAME");
    std::optional<std::string> standardOnly;
    standardSearch->add_option("--only", standardOnly, kOnlyHelp)->type_name("deleted|live");
    standardSearch->fallthrough();
    AdvanceSearchOptions advance;
    CLI::App* advanceSearch = app.add_subcommand(
        "advance",
        "Look through a partition, a sector range or the whole disk for FAT16, FAT32, NTFS or "
        "exFAT file "
        "systems that no partition table or boot sector describes any more, and list the ones "
        "found; with --volume, rebuild one of them and list every folder and file in it");
    advanceSearch
        ->add_option("--disk", advance.diskNumber,
                     "Disk number, as 'disks' shows it; may be left out when exactly one --image "
                     "is given")
        ->check(CLI::NonNegativeNumber);
    CLI::Option* advancePartition =
        advanceSearch
            ->add_option("--partition", advance.partitionNumber,
                         "Search inside this partition, numbered as 'partitions' lists them "
                         "(default: the whole disk)")
            ->check(kPartitionNumber);
    advanceSearch->add_option("--first", advance.firstSector, "First sector to search")
        ->excludes(advancePartition);
    advanceSearch
        ->add_option("--last", advance.lastSector,
                     "The first sector after the search (default: the disk's sector count)")
        ->excludes(advancePartition);
    advanceSearch
        ->add_option("--fs", advance.fileSystem,
                     "The file system to look for: FAT16, FAT32, NTFS or exFAT (default: the "
                     "partition's own)")
        ->type_name("FS");
    advanceSearch
        ->add_option("--volume", advance.volumeNumber,
                     "Rebuild this found volume, numbered as the list of found volumes numbers "
                     "them, and list its tree as 'standard' does")
        ->check(CLI::PositiveNumber);
    advanceSearch
        ->add_option("--save", advance.saveFolder,
                     "With --volume: save every folder and file of the rebuilt tree below this "
                     "folder; it must exist and lie on another disk")
        ->type_name("DIR");
    advanceSearch
        ->add_option("--oem-codepage", advance.oemCodePage,
                     "The DOS code page FAT short names are written in, such as 437 (the "
                     "default), 850 or 866")
        ->type_name("NAME");
    advanceSearch->add_flag("--timings", advance.timings,
                            "Print how long each phase of the search took on stderr");
    std::optional<std::string> advanceOnly;
    advanceSearch->add_option("--only", advanceOnly, std::string("With --volume: ") + kOnlyHelp)
        ->type_name("deleted|live");
    advanceSearch->fallthrough();

    // CLI11 parses the arguments back to front from a vector.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return kExitOk;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << '\n';
        return kExitOk;
    } catch (const CLI::ParseError& error) {
        err << "lumarest-cli: error: " << error.what() << "\n"
            << "Run 'lumarest-cli --help' for usage.\n";
        return kExitBadInput;
    }

    CliContext context;
    context.json = json;
    context.out = &out;
    context.err = &err;
    context.reporter = std::make_unique<CliReporter>(err, environment.stderrIsTerminal);
    context.disks = environment.makeDiskEnumerator();
    // The command line writes no settings: a listing leaves no trace on any disk.
    context.store = std::make_unique<ParameterStore>();
    // A word --only does not take is refused before any image is attached.
    if (standardSearch->parsed()) {
        if (const auto problem = ReadOnlyFilter(standardOnly, standard.only)) {
            return context.Fail(*problem);
        }
    }
    if (advanceSearch->parsed()) {
        if (const auto problem = ReadOnlyFilter(advanceOnly, advance.only)) {
            return context.Fail(*problem);
        }
    }
    if (environment.makeDiskService) {
        context.diskService = environment.makeDiskService();
    }
    context.alwaysAskDiskService = environment.alwaysAskDiskService;
    context.run.deviceFiles = &context.deviceFiles;
    if (const int status = AttachImages(context, images); status != kExitOk) {
        return status;
    }
    if (disks->parsed()) {
        return RunDisksCommand(context);
    }
    if (partitions->parsed()) {
        if (partitionDisk < 0) {
            partitionDisk = DefaultDiskNumber(context);
        }
        if (partitionDisk < 0) {
            return context.Fail("--disk N is needed unless exactly one --image is given");
        }
        if (const auto problem = OpenDiskForReading(context, partitionDisk)) {
            return context.Fail(*problem);
        }
        return RunPartitionsCommand(context, partitionDisk, partitionSearch);
    }
    if (rawSearch->parsed()) {
        if (raw.diskNumber < 0) {
            raw.diskNumber = DefaultDiskNumber(context);
        }
        if (raw.diskNumber < 0) {
            return context.Fail("--disk N is needed unless exactly one --image is given");
        }
        if (const auto problem = OpenDiskForReading(context, raw.diskNumber)) {
            return context.Fail(*problem);
        }
        raw.decode = !rawNoDecode;
        raw.signatureFolder = DataFolder();
        return RunRawCommand(context, raw);
    }
    if (standardSearch->parsed()) {
        if (standard.diskNumber < 0) {
            standard.diskNumber = DefaultDiskNumber(context);
        }
        if (standard.diskNumber < 0) {
            return context.Fail("--disk N is needed unless exactly one --image is given");
        }
        if (const auto problem = OpenDiskForReading(context, standard.diskNumber)) {
            return context.Fail(*problem);
        }
        return RunStandardCommand(context, standard);
    }
    if (advanceSearch->parsed()) {
        if (advance.diskNumber < 0) {
            advance.diskNumber = DefaultDiskNumber(context);
        }
        if (advance.diskNumber < 0) {
            return context.Fail("--disk N is needed unless exactly one --image is given");
        }
        if (const auto problem = OpenDiskForReading(context, advance.diskNumber)) {
            return context.Fail(*problem);
        }
        return RunAdvanceCommand(context, advance);
    }
    return context.Fail("no command given");
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment) {
    int status = kExitBadInput;
    // Whatever a command throws ends as a message and status 2, never as an abort.
    try {
        status = RunCommand(args, out, err, environment);
    } catch (const std::exception& error) {
        err << "lumarest-cli: error: " << error.what() << '\n';
        return kExitBadInput;
    } catch (...) {
        err << "lumarest-cli: error: the command failed for an unknown reason\n";
        return kExitBadInput;
    }
    // A listing that did not reach its file (a full disk, a closed pipe) is no success.
    errno = 0;
    out.flush();
    if (!out) {
        const int cause = errno;
        err << "lumarest-cli: error: the output could not be written"
            << (cause != 0 ? std::string(": ") + std::strerror(cause) : std::string()) << '\n';
        return kExitBadInput;
    }
    return status;
}

}  // namespace lumarest
