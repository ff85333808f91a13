#include "cli/raw_command.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <span>
#include <stop_token>
#include <vector>

#include "carving/carved_file_saver.h"
#include "carving/carved_verdict.h"
#include "carving/carving_scan.h"
#include "carving/signature_file.h"
#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/disk_choice.h"
#include "cli/interrupt_stop.h"
#include "cli/json_stream.h"
#include "cli/terminal_text.h"
#include "disk/disk_inputs.h"
#include "disk/disk_inventory.h"
#include "output/carved_picture_pool.h"
#include "output/picture.h"
#include "partitions/partition_table.h"

namespace lumarest {

namespace {

using Json = nlohmann::ordered_json;

// The window's own refusals of a sector range.
constexpr const char* kEndNotAfterStart = "End Sector should be greater than Start Sector.";
constexpr const char* kEndPastDisk =
    "The value of \u2018End Sectors\u2019 cannot be greater than the maximum number of sectors "
    "in drive.";

constexpr const char* kGeneralPassLabel =
    "(Currently performing Search based on: General Recovery Procedure)";
constexpr const char* kThoroughPassLabel =
    "(Currently performing Search based on: Thorough Scanning Algorithm)";
constexpr const char* kCompletedText = "Completed ";

struct SectorRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;  // the first sector after the range
};

// A carved file as the listing shows it.
struct CarvedRow {
    CarvedFile file;
    std::optional<bool> picture;  // empty when decoding was not asked for
};

// The end of the sink chain: keeps each file's row for the listing and, when asked, has it
// checked for a picture off the scan's thread, on every core.
class ListingSink : public CarvedFileSink {
  public:
    explicit ListingSink(bool decode) {
        if (decode) {
            // Handed back one at a time in the order the rows were added.
            pool_.emplace(
                CarvedPicturePool::Wanted::DecodesOnly,
                [this](CheckedCarvedFile checked) { checked_.push_back(std::move(checked)); });
        }
    }

    void FileFinished(const CarvedFile& file, std::vector<std::uint8_t> bytes) override {
        if (pool_) {
            pool_->FileCarved(file, std::move(bytes));
        }
        rows_.push_back({file, std::nullopt});
    }
    // Every carved file takes a place in the thumbnail list, pictures or not.
    std::uint64_t ImageCount() const override { return rows_.size(); }
    bool TakesPieces(const CarvedFile& file) const override {
        return !pool_ || CarvedPicturePool::TakesPieces(file);
    }
    void FileSpilled(const CarvedFile& file, std::span<const std::uint8_t> piece) override {
        if (pool_) {
            pool_->PieceCarved(file, piece);
        }
    }

    // The rows, once every picture check is done; a decoded file's verdict is final.
    const std::vector<CarvedRow>& FinishedRows() {
        if (pool_) {
            pool_->Finish();
            pool_.reset();
            for (std::size_t i = 0; i < rows_.size() && i < checked_.size(); ++i) {
                rows_[i].picture = checked_[i].decodes.value_or(false);
                rows_[i].file.verdict = checked_[i].file.verdict;
            }
        }
        return rows_;
    }

  private:
    std::vector<CarvedRow> rows_;
    std::vector<CheckedCarvedFile> checked_;  // the pool's threads only, until it is finished
    std::optional<CarvedPicturePool> pool_;
};

// The sectors of listed partition `number`, or the reason there is none.
std::optional<std::string> PartitionRange(CliContext& context, const DiskProperties& disk,
                                          int number, SectorRange& range) {
    DeviceSectorSource source = OpenDisk(DiskInputsOf(disk, ReaderContextFor(context.run)));
    const auto diskNumber = static_cast<std::uint16_t>(disk.index);
    ListPartitions(context.run, source, diskNumber, kNoItem, [] {});
    const DiskPartitionList& list = context.run.diskPartitionLists[diskNumber];
    if (number < 1 || static_cast<std::size_t>(number) > list.Count()) {
        return "disk " + std::to_string(disk.index) + " has no partition " +
               std::to_string(number) + "; 'lumarest-cli partitions' lists its partitions";
    }
    const PartitionRecord& record = list.partitions[static_cast<std::size_t>(number - 1)];
    if (record.startSector >= disk.totalSectors) {
        return "partition " + std::to_string(number) + " starts at sector " +
               std::to_string(record.startSector) + ", past the end of disk " +
               std::to_string(disk.index) + " (" + std::to_string(disk.totalSectors) + " sectors)";
    }
    range = {record.startSector, record.endSector};
    // A damaged table may claim more than the disk holds; only the sectors there are searched.
    if (range.last > disk.totalSectors) {
        *context.err << "lumarest-cli: note: partition " << number << " runs past the end of disk "
                     << disk.index << "; only its sectors up to " << disk.totalSectors
                     << " are searched\n";
        range.last = disk.totalSectors;
    }
    return std::nullopt;
}

std::optional<std::string> ChooseRange(CliContext& context, const DiskProperties& disk,
                                       const RawSearchOptions& options, SectorRange& range) {
    range = {0, disk.totalSectors};
    if (options.partitionNumber) {
        if (auto problem = PartitionRange(context, disk, *options.partitionNumber, range)) {
            return problem;
        }
    }
    range.first = options.firstSector.value_or(range.first);
    range.last = options.lastSector.value_or(range.last);
    if (range.last <= range.first) {
        return std::string(kEndNotAfterStart);
    }
    if (range.last > disk.totalSectors) {
        return std::string(kEndPastDisk) + " Disk " + std::to_string(disk.index) + " has " +
               std::to_string(disk.totalSectors) + " sectors; the range ends at sector " +
               std::to_string(range.last) + ".";
    }
    return std::nullopt;
}

// The records of one signature file; a record it refuses is added to `refused`.
SignatureList LoadSignatures(const std::string& folder, const char* fileName, std::string& path,
                             std::vector<std::string>& refused) {
    SignatureList list;
    path = SignatureFilePath(folder, fileName);
    for (std::string& message : LoadSignatureFile(path, list)) {
        refused.push_back(std::move(message));
    }
    return list;
}

// One carving pass with its own bar; named when a second pass follows or went before.
void RunPass(CarvingPass pass, const SignatureList& signatures, SectorSource& source,
             const SectorRange& range, CarvedFileSink& sink, Reporter& reporter, bool named,
             const CarvingOptions& options, std::stop_token stop) {
    if (named) {
        reporter.SetPhaseLabel(pass == CarvingPass::General ? kGeneralPassLabel
                                                            : kThoroughPassLabel);
    }
    reporter.ShowProgress(ProgressBar::MainScan, true);
    RunCarvingPass(pass, signatures, source, range.first, range.last, sink, reporter, stop,
                   options);
    // The pass shows the percentage at each chunk's start; the bar ends full.
    reporter.SetProgress(ProgressBar::MainScan, 100, kCompletedText);
    reporter.ShowProgress(ProgressBar::MainScan, false);
}

std::string PictureText(const std::optional<bool>& picture) {
    if (!picture) {
        return "-";
    }
    return *picture ? "yes" : "no";
}

void PrintText(std::ostream& out, const std::vector<CarvedRow>& rows, bool saved) {
    if (rows.empty()) {
        return;
    }
    std::vector<std::vector<std::string>> cells;
    for (const CarvedRow& row : rows) {
        const CarvedFile& f = row.file;
        cells.push_back({f.name, std::to_string(f.firstSector), std::to_string(f.bytes),
                         std::to_string(f.savedBytes), f.extension, VerdictText(f.verdict)});
        if (saved) {
            cells.back().push_back(PictureText(row.picture));
        }
    }
    std::vector<std::size_t> least{16, 14, 14, 13, 7, 15};
    if (saved) {
        least.push_back(9);
    }
    const std::vector<std::size_t> widths = ColumnWidths(std::move(least), cells);
    const auto printRow = [&](const std::vector<std::string>& padded, const std::string& last) {
        for (std::size_t c = 0; c < padded.size(); ++c) {
            out << PaddedCell(padded[c], widths[c]);
        }
        out << TerminalText(last) << '\n';
    };
    std::vector<std::string> captions{"Name",        "First sector", "Carved bytes",
                                      "Saved bytes", "Type",         "Verdict"};
    if (saved) {
        captions.push_back("Picture");
    }
    printRow(captions, saved ? "Saved as" : "Picture");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        printRow(cells[i], saved ? rows[i].file.savedPath : PictureText(rows[i].picture));
    }
}

void PrintJson(std::ostream& out, int diskNumber, const SectorRange& range, bool thorough,
               const std::vector<CarvedRow>& rows) {
    Json files = Json::array();
    for (const CarvedRow& row : rows) {
        const CarvedFile& f = row.file;
        Json entry = {{"name", f.name},
                      {"firstSector", f.firstSector},
                      {"bytes", f.bytes},
                      {"carvedBytes", f.bytes},
                      {"savedBytes", f.savedBytes},
                      {"verdict", VerdictText(f.verdict)},
                      {"extension", f.extension},
                      {"picture", row.picture ? Json(*row.picture) : Json(nullptr)}};
        if (!f.savedPath.empty()) {
            entry["savedPath"] = f.savedPath;
        }
        files.push_back(std::move(entry));
    }
    const Json document = {{"disk", diskNumber},       {"firstSector", range.first},
                           {"lastSector", range.last}, {"thorough", thorough},
                           {"files", files},           {"count", rows.size()}};
    WriteJsonDocument(out, document);
}

}  // namespace

int RunRawCommand(CliContext& context, const RawSearchOptions& options) {
    const std::optional<DiskProperties> disk = FindDisk(context, options.diskNumber);
    if (const auto problem = RefuseDisk(disk, options.diskNumber)) {
        return context.Fail(*problem);
    }
    SectorRange range;
    if (const auto problem = ChooseRange(context, *disk, options, range)) {
        return context.Fail(*problem);
    }
    // An empty --out is refused like any other folder that cannot be used.
    const bool saving = options.outFolder.has_value();
    const std::string outFolder = options.outFolder.value_or("");
    // Held open from the check on: the files are written into the folder checked.
    std::optional<FolderHandle> destination;
    if (saving) {
        std::string refusal;
        destination = OpenDestinationFolder(outFolder, disk->devicePath, refusal);
        if (!destination) {
            return context.Fail(refusal);
        }
    }
    std::vector<std::string> refused;
    std::string generalPath;
    const SignatureList general =
        LoadSignatures(options.signatureFolder, kGeneralSignatureFile, generalPath, refused);
    std::string thoroughPath;
    SignatureList thorough;
    if (options.thorough) {
        thorough =
            LoadSignatures(options.signatureFolder, kThoroughSignatureFile, thoroughPath, refused);
    }
    // A broken list is mended by its owner, not searched with half its records.
    if (!refused.empty()) {
        for (const std::string& message : refused) {
            context.Fail(message);
        }
        return kExitBadInput;
    }
    if (general.empty()) {
        return context.Fail("the signature file " + generalPath +
                            " is missing or lists no file type, so nothing can be recognised");
    }
    if (options.thorough) {
        if (thorough.empty()) {
            *context.err << "lumarest-cli: note: the signature file " << thoroughPath
                         << " is missing or lists no file type; the thorough scan finds nothing\n";
        }
    }

    if (options.decode) {
        QuietPictureDecoders();
        ReturnDecodedMemory();
    }
    ListingSink listing(options.decode);
    std::optional<SavingSink> saver;
    if (destination) {
        saver.emplace(std::move(*destination), outFolder, listing, *context.reporter,
                      options.keepCarvedLength);
        saver->NameByDate(options.nameByDate);
    }
    CarvedFileSink& sink = saver ? static_cast<CarvedFileSink&>(*saver) : listing;
    DeviceSectorSource source = OpenDisk(DiskInputsOf(*disk, ReaderContextFor(context.run)));
    Reporter& reporter = *context.reporter;
    CarvingOptions carving;
    carving.keepCarvedBytes = saving && options.keepCarvedLength;
    bool stopped = false;
    {
        // Ctrl+C or SIGTERM ends the passes; the files finished so far are listed.
        const InterruptStop interrupt;
        RunPass(CarvingPass::General, general, source, range, sink, reporter, options.thorough,
                carving, interrupt.Token());
        if (options.thorough && !thorough.empty() && !interrupt.Token().stop_requested()) {
            RunPass(CarvingPass::Thorough, thorough, source, range, sink, reporter, true, carving,
                    interrupt.Token());
        }
        stopped = interrupt.Token().stop_requested();
    }
    if (saver) {
        // The file the stopped pass was writing is no recovered file.
        saver->DropOpenFile();
    }

    const std::vector<CarvedRow>& rows = listing.FinishedRows();
    if (context.json) {
        PrintJson(*context.out, options.diskNumber, range, options.thorough, rows);
    } else {
        PrintText(*context.out, rows, saving);
    }
    *context.err << "lumarest-cli: " << rows.size() << (rows.size() == 1 ? " file" : " files")
                 << " carved from sectors " << range.first << " to " << range.last << " of disk "
                 << options.diskNumber;
    if (saver) {
        *context.err << ", " << saver->SavedCount() << " saved in " << outFolder;
    }
    *context.err << '\n';
    if (stopped) {
        *context.err << "lumarest-cli: the search was stopped"
                     << (saver ? "; the file being written was removed" : "") << '\n';
        return kExitInterrupted;
    }
    if (saver && saver->SavedCount() < rows.size()) {
        return context.Fail(std::to_string(rows.size() - saver->SavedCount()) +
                            " carved files could not be saved in " + outFolder);
    }
    return kExitOk;
}

}  // namespace lumarest
