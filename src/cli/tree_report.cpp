// Listing and saving a rebuilt folder tree on the command line, whichever search built it.

#include "cli/tree_report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/json_stream.h"
#include "cli/terminal_text.h"
#include "cli/tree_listing.h"
#include "core/sector_source.h"
#include "core/text_number.h"
#include "volume/recovered_save.h"

namespace lumarest {

namespace {

using Json = nlohmann::ordered_json;

// Saves without asking: a clash is renamed; a file the folder cannot take is named on stderr
// and skipped.
class CliSaveDecisions : public FixedSaveDecisions {
  public:
    explicit CliSaveDecisions(std::ostream& err) : err_(err) {}
    WriteError AskWriteError(const std::string& path) override {
        ++writeErrors_;
        err_ << "lumarest-cli: warning: could not write " << path << '\n';
        return WriteError::Skip;
    }
    std::size_t WriteErrors() const { return writeErrors_; }

  private:
    std::ostream& err_;
    std::size_t writeErrors_ = 0;
};

struct SavedTree {
    std::string folder;
    SaveSummary summary;
};

std::string SaveSummaryText(const SavedTree& saved) {
    const SaveSummary& s = saved.summary;
    return "Saved in " + saved.folder + ": " + std::to_string(s.saved) + " files whole, " +
           std::to_string(s.incomplete) + " incomplete, " + std::to_string(s.skipped) +
           " skipped, " + std::to_string(s.failed) + " not saved\n" +
           "Deleted files among those saved: " + std::to_string(s.deleted);
}

// East Asian wide characters and emoji take two columns on a terminal.
bool IsWideCharacter(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

// Columns are padded by what a terminal shows, not by bytes, so names in any script line up.
std::size_t TextWidth(const std::string& text) {
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return text.size();
    }
    std::size_t width = 0;
    char32_t character = 0;
    for (const char byte : text) {
        const auto b = static_cast<unsigned char>(byte);
        if ((b & 0xC0) == 0x80) {
            character = (character << 6) | (b & 0x3F);
            continue;
        }
        width += IsWideCharacter(character) ? 2 : (character != 0 ? 1 : 0);
        character = b >= 0xF0 ? b & 0x07 : b >= 0xE0 ? b & 0x0F : b >= 0xC0 ? b & 0x1F : b;
    }
    return width + (IsWideCharacter(character) ? 2 : (character != 0 ? 1 : 0));
}

TextRow EscapedRow(TextRow row) {
    for (std::string& cell : row) {
        cell = TerminalText(cell);
    }
    return row;
}

std::string YesNo(bool value) {
    return value ? "yes" : "no";
}

void PrintText(std::ostream& out, const TreeListing& listing, bool ntfs,
               std::uint32_t sectorBytes) {
    out << "Folders: " << listing.folders.size() << '\n';
    PrintTable(out, {"Path", "Self", "Parent", "Deleted"}, listing.folders.size(),
               [&](std::size_t index) -> TextRow {
                   const ListedFolder& f = listing.folders[index];
                   return {f.path, NumberText(f.self), NumberText(f.parent), YesNo(f.deleted)};
               });

    const auto fileCells = [&](std::size_t index) {
        const ListedFile& f = listing.files[index];
        TextRow row{f.folder,   f.row.name, f.row.type, NumberText(f.file.size),
                    f.row.date, f.row.time};
        if (ntfs) {
            row.push_back(NumberText(f.file.recordNumber));
            row.push_back(NumberText(InDiskSectors(f.file.recordSector, sectorBytes)));
        } else {
            row.push_back(NumberText(f.file.firstCluster));
        }
        row.push_back(YesNo(f.file.deleted));
        return row;
    };
    out << "\nFiles: " << listing.files.size() << '\n';
    if (ntfs) {
        PrintTable(out,
                   {"Folder", "Name", "Type", "Size", "Date", "Time", "Record", "Record sector",
                    "Deleted"},
                   listing.files.size(), fileCells);
    } else {
        PrintTable(out,
                   {"Folder", "Name", "Type", "Size", "Date", "Time", "First cluster", "Deleted"},
                   listing.files.size(), fileCells);
    }
}

struct ListingCounts {
    std::size_t folders = 0;
    std::size_t files = 0;
    std::size_t unplacedFiles = 0;
};

// Writes the document as the tree is walked: the folders, then the files read again folder by
// folder, so no row is held in between.
ListingCounts PrintJson(std::ostream& out, RecoveryRun& run, SectorSource& disk,
                        const std::function<void(JsonStream&)>& head, bool ntfs,
                        const std::optional<SavedTree>& saved) {
    ListingCounts counts;
    JsonStream json(out);
    json.BeginObject();
    if (head) {
        head(json);
    }
    const std::uint32_t sectorBytes = disk.LogicalSectorBytes();
    json.Key("folders");
    json.BeginArray();
    WalkTree(
        run, disk,
        [&](const ListedFolder& f) {
            ++counts.folders;
            json.BeginObject();
            json.Member("path", f.path);
            json.Member("self", f.self);
            json.Member("parent", f.parent);
            json.Member("deleted", f.deleted);
            json.EndObject();
        },
        nullptr);
    json.EndArray();
    json.Key("files");
    json.BeginArray();
    counts.unplacedFiles =
        WalkTree(run, disk, nullptr, [&](const ListedFolder& folder, const ListedFile& f) {
            ++counts.files;
            json.BeginObject();
            json.Member("folder", folder.path);
            json.Member("name", f.row.name);
            json.Member("type", f.row.type);
            json.Member("size", f.file.size);
            json.Member("date", f.row.date);
            json.Member("time", f.row.time);
            if (ntfs) {
                json.Member("record", f.file.recordNumber);
                json.Member("recordSector", InDiskSectors(f.file.recordSector, sectorBytes));
            } else {
                json.Member("firstCluster", f.file.firstCluster);
            }
            json.Member("deleted", f.file.deleted);
            json.EndObject();
        });
    json.EndArray();
    if (saved) {
        const SaveSummary& summary = saved->summary;
        json.Key("save");
        json.Value(Json{{"folder", saved->folder},
                        {"saved", summary.saved},
                        {"incomplete", summary.incomplete},
                        {"skipped", summary.skipped},
                        {"failed", summary.failed},
                        {"deleted", summary.deleted}});
    }
    json.EndObject();
    out << '\n';
    return counts;
}

}  // namespace

void PrintTable(std::ostream& out, const TextRow& captions, std::size_t rowCount,
                const RowCells& rowCells) {
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions) {
        widths.push_back(TextWidth(caption));
    }
    for (std::size_t index = 0; index < rowCount; ++index) {
        const TextRow row = EscapedRow(rowCells(index));
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], TextWidth(row[c]));
        }
    }
    std::string line;
    const auto printRow = [&](const TextRow& row) {
        line.clear();
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - TextWidth(row[c]) + 2, ' ');
            }
        }
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    };
    printRow(captions);
    for (std::size_t index = 0; index < rowCount; ++index) {
        printRow(EscapedRow(rowCells(index)));
    }
}

TreeReportResult ReportRebuiltTree(CliContext& context, SectorSource& disk,
                                   const TreeReportOptions& options) {
    using Clock = std::chrono::steady_clock;
    RecoveryRun& run = context.run;
    const bool ntfs = run.activeVolume.fileSystem == FileSystem::Ntfs;
    TreeReportResult result;
    const Clock::time_point start = Clock::now();
    // The text's columns are as wide as their widest cell, so its rows are kept (compactly)
    // until all are known; the JSON is written as the tree is walked, after any saving.
    std::optional<TreeListing> listing;
    if (!context.json) {
        listing.emplace(run, disk);
    }
    result.listingSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::optional<SavedTree> saved;
    CliSaveDecisions decisions(*context.err);
    if (options.saveFolder && run.folderTree) {
        const std::vector<SaveEntry> entries =
            CollectFolderEntries(run, disk, run.folderTree->TopItem());
        saved = SavedTree{*options.saveFolder,
                          SaveEntries(run, disk, entries, *options.saveFolder, decisions)};
    }
    ListingCounts counts;
    if (context.json) {
        const Clock::time_point listingStart = Clock::now();
        counts = PrintJson(*context.out, run, disk, options.head, ntfs, saved);
        result.listingSeconds = std::chrono::duration<double>(Clock::now() - listingStart).count();
    } else {
        counts = {listing->folders.size(), listing->files.size(), listing->unplacedFiles};
        PrintText(*context.out, *listing, ntfs, disk.LogicalSectorBytes());
        if (saved) {
            *context.out << SaveSummaryText(*saved) << '\n';
        }
    }
    if (counts.unplacedFiles > 0) {
        *context.err << "lumarest-cli: note: " << counts.unplacedFiles
                     << " file records name a folder that is not in the tree and are not listed\n";
    }
    *context.err << "lumarest-cli: " << counts.folders << " folders and " << counts.files
                 << " files in the rebuilt tree of " << options.subject << '\n';
    if (decisions.WriteErrors() > 0) {
        result.status =
            context.Fail(std::to_string(decisions.WriteErrors()) +
                         " folders or files could not be written in " + *options.saveFolder);
    }
    return result;
}

}  // namespace lumarest
