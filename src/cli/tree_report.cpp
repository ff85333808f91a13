// Listing and saving a rebuilt folder tree on the command line, whichever search built it.

#include "cli/tree_report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <nlohmann/json.hpp>
#include <span>
#include <string_view>
#include <unordered_set>

#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/interrupt_stop.h"
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
           "Deleted files among those saved: " + std::to_string(s.deleted) + "\n" +
           "Truncated files among those saved: " + std::to_string(s.truncated) + "\n" +
           "Name-only files among those chosen, nothing of their data left to save: " +
           std::to_string(s.nameOnly) +
           (s.stopped ? "\nThe saving was stopped before every file was saved" : "");
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
std::size_t TextWidth(std::string_view text) {
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

std::string_view YesNo(bool value) {
    return value ? "yes" : "no";
}

// Lines are gathered and written in large pieces: a stream call per cell or per row costs more
// than making the row.
class TableWriter {
  public:
    explicit TableWriter(std::ostream& out) : out_(out) { buffer_.reserve(kFlushBytes * 2); }
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    ~TableWriter() { Flush(); }

    void Text(std::string_view text) {
        buffer_ += text;
        FlushWhenFull();
    }
    // One row of escaped cells, each but the last padded to its column's width and two spaces.
    void Row(std::span<const std::string_view> cells, std::span<const std::size_t> widths) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            buffer_ += cells[c];
            if (c + 1 < cells.size()) {
                buffer_.append(widths[c] - TextWidth(cells[c]) + 2, ' ');
            }
        }
        buffer_ += '\n';
        FlushWhenFull();
    }
    void Flush() {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }

  private:
    static constexpr std::size_t kFlushBytes = std::size_t{1} << 16;

    void FlushWhenFull() {
        if (buffer_.size() >= kFlushBytes) {
            Flush();
        }
    }

    std::ostream& out_;
    std::string buffer_;
};

// A row's numbers as decimal text, kept until the next row is made.
class NumberCells {
  public:
    std::string_view operator()(std::uint64_t value) {
        std::array<char, kDigits>& digits = texts_[next_++ % texts_.size()];
        const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
        return {digits.data(), static_cast<std::size_t>(end - digits.data())};
    }

  private:
    static constexpr std::size_t kDigits = 20;  // the digits of the largest 64-bit number
    std::array<std::array<char, kDigits>, 4> texts_{};
    std::size_t next_ = 0;
};

// A table of escaped cells: the columns as wide as their widest cell, found in a first pass;
// `cellsOf(index, numbers)` gives the cells of row `index`, its numbers made by `numbers`.
template <std::size_t N, typename CellsOf>
void WriteTable(TableWriter& writer, const std::array<std::string_view, N>& captions,
                std::size_t rowCount, const CellsOf& cellsOf) {
    std::array<std::size_t, N> widths{};
    for (std::size_t c = 0; c < N; ++c) {
        widths[c] = TextWidth(captions[c]);
    }
    NumberCells numbers;
    for (std::size_t index = 0; index < rowCount; ++index) {
        const std::array<std::string_view, N> cells = cellsOf(index, numbers);
        for (std::size_t c = 0; c < N; ++c) {
            widths[c] = std::max(widths[c], TextWidth(cells[c]));
        }
    }
    writer.Row(captions, widths);
    for (std::size_t index = 0; index < rowCount; ++index) {
        writer.Row(cellsOf(index, numbers), widths);
    }
}

void PrintText(std::ostream& out, const TreeListing& listing, bool ntfs,
               std::uint32_t sectorBytes) {
    TableWriter writer(out);
    writer.Text("Folders: " + std::to_string(listing.FolderCount()) + "\n");
    WriteTable<4>(writer, {"Path", "Self", "Parent", "Deleted"}, listing.FolderCount(),
                  [&](std::size_t index, NumberCells& number) {
                      const ListedFolderView f = listing.Folder(index);
                      return std::array<std::string_view, 4>{f.path, number(f.self),
                                                             number(f.parent), YesNo(f.deleted)};
                  });

    writer.Text("\nFiles: " + std::to_string(listing.FileCount()) + "\n");
    if (ntfs) {
        WriteTable<10>(writer,
                       {"Folder", "Name", "Type", "Size", "Date", "Time", "Record", "Record sector",
                        "Deleted", "Name only"},
                       listing.FileCount(), [&](std::size_t index, NumberCells& number) {
                           const ListedFileView f = listing.File(index);
                           return std::array<std::string_view, 10>{
                               f.folder,
                               f.name,
                               f.type,
                               number(f.file->size),
                               f.date,
                               f.time,
                               number(f.file->recordNumber),
                               number(InDiskSectors(f.file->recordSector, sectorBytes)),
                               YesNo(f.file->deleted),
                               YesNo(f.file->nameOnly)};
                       });
    } else {
        WriteTable<9>(writer,
                      {"Folder", "Name", "Type", "Size", "Date", "Time", "First cluster", "Deleted",
                       "Truncated"},
                      listing.FileCount(), [&](std::size_t index, NumberCells& number) {
                          const ListedFileView f = listing.File(index);
                          return std::array<std::string_view, 9>{f.folder,
                                                                 f.name,
                                                                 f.type,
                                                                 number(f.file->size),
                                                                 f.date,
                                                                 f.time,
                                                                 number(f.file->firstCluster),
                                                                 YesNo(f.file->deleted),
                                                                 YesNo(f.file->truncated)};
                      });
    }
}

struct ListingCounts {
    TreeCounts tree;
    std::size_t unplacedFiles = 0;
};

// Writes the document as the tree is walked: the folders, then the files read again folder by
// folder, so no row is held in between. Only the rows the filter keeps are written; every row
// is counted.
ListingCounts PrintJson(std::ostream& out, RecoveryRun& run, SectorSource& disk,
                        const std::function<void(JsonStream&)>& head, bool ntfs, RowFilter filter,
                        const std::optional<SavedTree>& saved) {
    ListingCounts counts;
    TreeCounts& tree = counts.tree;
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
            tree.Count(f);
            if (!Keeps(filter, f.deleted)) {
                return;
            }
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
            tree.Count(f.file);
            if (!Keeps(filter, f.file.deleted)) {
                return;
            }
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
            if (ntfs) {
                json.Member("nameOnly", f.file.nameOnly);
            } else {
                json.Member("truncated", f.file.truncated);
            }
            json.EndObject();
        });
    json.EndArray();
    json.Key("counts");
    json.BeginObject();
    json.Member("folders", tree.folders);
    json.Member("deletedFolders", tree.deletedFolders);
    json.Member("files", tree.files);
    json.Member("deletedFiles", tree.deletedFiles);
    json.EndObject();
    if (saved) {
        const SaveSummary& summary = saved->summary;
        json.Key("save");
        json.Value(Json{{"folder", saved->folder},
                        {"saved", summary.saved},
                        {"incomplete", summary.incomplete},
                        {"skipped", summary.skipped},
                        {"failed", summary.failed},
                        {"deleted", summary.deleted},
                        {"truncated", summary.truncated},
                        {"nameOnly", summary.nameOnly},
                        {"stopped", summary.stopped}});
    }
    json.EndObject();
    out << '\n';
    return counts;
}

// The entries the filter keeps: its files, and the folders that hold one of them at any depth.
std::vector<SaveEntry> KeptEntries(std::vector<SaveEntry> entries, RowFilter filter) {
    if (filter == RowFilter::All) {
        return entries;
    }
    std::unordered_set<std::string_view> holders;
    for (const SaveEntry& entry : entries) {
        if (entry.folder || !Keeps(filter, entry.file.deleted)) {
            continue;
        }
        const std::string_view path = entry.relativePath;
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', slash + 1)) {
            holders.insert(path.substr(0, slash));
        }
    }
    std::vector<SaveEntry> kept;
    for (SaveEntry& entry : entries) {
        if (entry.folder ? holders.contains(entry.relativePath)
                         : Keeps(filter, entry.file.deleted)) {
            kept.push_back(std::move(entry));
        }
    }
    return kept;
}

std::string CountsText(std::size_t count, std::size_t deleted, std::string_view what) {
    return std::to_string(count) + " " + std::string(what) + " (" + std::to_string(deleted) +
           " deleted)";
}

}  // namespace

void PrintTable(std::ostream& out, const TextRow& captions, std::size_t rowCount,
                const RowCells& rowCells) {
    const auto escaped = [](TextRow row) {
        for (std::string& cell : row) {
            cell = TerminalText(cell);
        }
        return row;
    };
    std::vector<std::size_t> widths;
    for (const std::string& caption : captions) {
        widths.push_back(TextWidth(caption));
    }
    for (std::size_t index = 0; index < rowCount; ++index) {
        const TextRow row = escaped(rowCells(index));
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], TextWidth(row[c]));
        }
    }
    TableWriter writer(out);
    std::vector<std::string_view> cells;
    const auto writeRow = [&](const TextRow& row) {
        cells.assign(row.begin(), row.end());
        writer.Row(cells, widths);
    };
    writeRow(captions);
    for (std::size_t index = 0; index < rowCount; ++index) {
        writeRow(escaped(rowCells(index)));
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
        listing.emplace(run, disk, options.only);
    }
    result.listingSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::optional<SavedTree> saved;
    CliSaveDecisions decisions(*context.err);
    if (options.saveFolder && run.folderTree) {
        const std::vector<SaveEntry> entries =
            KeptEntries(CollectFolderEntries(run, disk, run.folderTree->TopItem()), options.only);
        const InterruptStop interrupt;
        int error = 0;
        const std::optional<FolderHandle> opened =
            options.destination ? options.destination->Duplicate(error)
                                : FolderHandle::Open(*options.saveFolder, error);
        saved = SavedTree{*options.saveFolder, SaveSummary{}};
        if (opened) {
            saved->summary = SaveEntries(run, disk, entries, *opened, *options.saveFolder,
                                         decisions, interrupt.Token());
        } else {
            decisions.AskWriteError(*options.saveFolder);
        }
    }
    ListingCounts counts;
    if (context.json) {
        const Clock::time_point listingStart = Clock::now();
        counts = PrintJson(*context.out, run, disk, options.head, ntfs, options.only, saved);
        result.listingSeconds = std::chrono::duration<double>(Clock::now() - listingStart).count();
    } else {
        counts = {listing->counts, listing->unplacedFiles};
        PrintText(*context.out, *listing, ntfs, disk.LogicalSectorBytes());
        if (saved) {
            *context.out << SaveSummaryText(*saved) << '\n';
        }
    }
    if (counts.unplacedFiles > 0) {
        *context.err << "lumarest-cli: note: " << counts.unplacedFiles
                     << " file records name a folder that is not in the tree and are not listed\n";
    }
    const TreeCounts& tree = counts.tree;
    *context.err << "lumarest-cli: "
                 << CountsText(tree.folders, tree.deletedFolders, "folders below Root") << " and "
                 << CountsText(tree.files, tree.deletedFiles, "files") << " in the rebuilt tree of "
                 << options.subject << '\n';
    if (saved && !saved->summary.noRoom.empty()) {
        result.status = context.Fail(saved->summary.noRoom);
    } else if (saved && saved->summary.stopped) {
        *context.err << "lumarest-cli: the saving into " << *options.saveFolder
                     << " was stopped; the file being written was removed\n";
        result.status = kExitInterrupted;
    } else if (decisions.WriteErrors() > 0) {
        result.status =
            context.Fail(std::to_string(decisions.WriteErrors()) +
                         " folders or files could not be written in " + *options.saveFolder);
    }
    return result;
}

}  // namespace lumarest
