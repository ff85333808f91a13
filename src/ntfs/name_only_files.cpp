#include "ntfs/name_only_files.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/entry_rows.h"
#include "core/text_number.h"
#include "core/text_table.h"
#include "ntfs/extension_records.h"
#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "ntfs/mft_run_table.h"

namespace lumarest {
namespace {

// Keys over names are views into the slack entries and the file table: a listing of hundreds
// of thousands of files is compared without a copy of any name.
struct FolderName {
    std::uint32_t folder = 0;
    std::string_view name;
    bool operator==(const FolderName&) const = default;
};

// A folder, the record an entry names with its sequence number, and the name.
struct EntryKey {
    std::uint32_t folder = 0;
    std::uint32_t record = 0;
    std::uint16_t sequence = 0;
    std::string_view name;
    bool operator==(const EntryKey&) const = default;
};

constexpr std::size_t kHashMix = 0x9E3779B97F4A7C15ULL;

struct KeyHash {
    std::size_t operator()(const FolderName& key) const {
        return std::hash<std::string_view>{}(key.name) ^ (key.folder * kHashMix);
    }
    std::size_t operator()(const EntryKey& key) const {
        return std::hash<std::string_view>{}(key.name) ^ (key.folder * kHashMix) ^
               ((std::size_t{key.record} << 16 | key.sequence) * (kHashMix >> 1));
    }
};

using FolderNames = std::unordered_set<FolderName, KeyHash>;

std::uint64_t FileOf(std::uint32_t folder, std::uint32_t record) {
    return std::uint64_t{folder} << 32 | record;
}

EntryKey KeyOf(const IndexEntry& entry) {
    return {entry.fileName.parent, entry.fileReference, entry.sequence, entry.fileName.name};
}

FolderName FolderNameOf(const IndexEntry& entry) {
    return {entry.fileName.parent, entry.fileName.name};
}

// What the file table lists of the slack's names, in one walk of the table: each whole entry
// whose folder lists its record under its name is marked in `listedEntries`; each lost
// header's name its folder lists is put in `listedNames`.
void MarkListed(const TextTable& files, const std::vector<IndexEntry>& slackNames,
                std::vector<bool>& listedEntries, FolderNames& listedNames) {
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> wholeByFile;
    FolderNames lostNames;
    std::unordered_set<std::uint32_t> lostFolders;
    for (std::size_t i = 0; i < slackNames.size(); ++i) {
        const IndexEntry& entry = slackNames[i];
        if (entry.headerLost) {
            lostNames.insert(FolderNameOf(entry));
            lostFolders.insert(entry.fileName.parent);
        } else {
            wholeByFile[FileOf(entry.fileName.parent, entry.fileReference)].push_back(i);
        }
    }
    for (std::size_t row = 0; row < files.RowCount(); ++row) {
        const std::uint32_t parent = files.CellU32(row, kEntryParent);
        const auto whole = wholeByFile.find(FileOf(parent, files.CellU32(row, kEntrySelf)));
        if (whole != wholeByFile.end()) {
            const std::string_view name = files.CellView(row, kEntryName);
            for (const std::size_t i : whole->second) {
                listedEntries[i] = listedEntries[i] || slackNames[i].fileName.name == name;
            }
        }
        if (lostFolders.contains(parent)) {
            const auto lost = lostNames.find({parent, files.CellView(row, kEntryName)});
            if (lost != lostNames.end()) {
                listedNames.insert(*lost);
            }
        }
    }
}

// The sequence number a record takes when it is freed: the next one, 0 skipped.
std::uint16_t NextSequence(std::uint16_t sequence) {
    const auto next = static_cast<std::uint16_t>(sequence + 1);
    return next == 0 ? 1 : next;
}

// The record the entry names is still its file: listed from the record, deleted or not.
bool RecordStillCarries(SectorSource& disk, const NtfsLayout& layout, const MftRunTable& table,
                        const IndexEntry& entry) {
    const std::vector<MftRecordBuffer> records =
        ReadFileRecordsOf(disk, layout, table, entry.fileReference);
    if (records.empty()) {
        return false;
    }
    const auto header = ParseMftRecordHeader(records.front());
    if (!header) {
        return false;
    }
    const bool free = (header->flags & kRecordInUse) == 0;
    const bool sameFile = header->sequenceNumber == entry.sequence ||
                          (free && header->sequenceNumber == NextSequence(entry.sequence));
    if (!sameFile) {
        return false;
    }
    std::vector<FileNameInfo> names;
    for (const MftRecordBuffer& record : records) {
        CollectFileNames(record, names);
    }
    return std::any_of(names.begin(), names.end(),
                       [&](const FileNameInfo& name) { return name.name == entry.fileName.name; });
}

// A folder's file as the slack names it: folder, record and sequence number.
std::uint64_t IndexedFileOf(const IndexEntry& entry) {
    return FileOf(entry.fileName.parent, entry.fileReference) ^
           (std::uint64_t{entry.sequence} << 48);
}

// Files the slack holds a long name of: their short DOS names are the same files again.
std::unordered_set<std::uint64_t> FilesWithLongNames(const std::vector<IndexEntry>& slackNames) {
    std::unordered_set<std::uint64_t> files;
    for (const IndexEntry& entry : slackNames) {
        if (!entry.headerLost && entry.fileName.nameSpace != NameSpace::Dos) {
            files.insert(IndexedFileOf(entry));
        }
    }
    return files;
}

// A short DOS name is always the twin of a long one; any other name whose entry lost its
// header counts as listed when its folder lists the name already, from a record or a whole
// entry: the entry most likely moved within the index. Marks the name listed.
bool LostHeaderNameIsListed(const IndexEntry& entry, FolderNames& listed) {
    return entry.fileName.nameSpace == NameSpace::Dos || !listed.insert(FolderNameOf(entry)).second;
}

void AppendNameOnlyRow(TextTable& fileTable, const IndexEntry& entry) {
    RecoveredEntry row;
    row.name = entry.fileName.name;
    row.self = entry.fileReference;
    row.parent = entry.fileName.parent;
    row.date = static_cast<std::int64_t>(entry.fileName.creationTime);
    row.type = kNameOnlyFileType;
    row.deleted = true;
    const std::size_t at = AppendEntryRow(fileTable, row);
    // Sizes of 4 GiB and more are written whole: the row's own size field holds 32 bits.
    fileTable.SetCell(at, kEntrySize, NumberText(entry.fileSize));
}

}  // namespace

void AddNameOnlyRows(TextTable& fileTable, SectorSource& disk, const NtfsLayout& layout,
                     const MftRunTable& table, const std::vector<IndexEntry>& slackNames) {
    if (slackNames.empty()) {
        return;
    }
    std::vector<bool> listedEntries(slackNames.size(), false);
    FolderNames listedNames;
    MarkListed(fileTable, slackNames, listedEntries, listedNames);
    const std::unordered_set<std::uint64_t> longNamed = FilesWithLongNames(slackNames);
    // Rows are appended only once every decision is made: the keys view the table's names.
    std::vector<std::size_t> nameOnly;
    std::unordered_set<EntryKey, KeyHash> seen;
    for (std::size_t i = 0; i < slackNames.size(); ++i) {
        const IndexEntry& entry = slackNames[i];
        if (entry.headerLost || listedEntries[i] || !seen.insert(KeyOf(entry)).second ||
            (entry.fileName.nameSpace == NameSpace::Dos &&
             longNamed.contains(IndexedFileOf(entry))) ||
            RecordStillCarries(disk, layout, table, entry)) {
            continue;
        }
        nameOnly.push_back(i);
        listedNames.insert(FolderNameOf(entry));
    }
    // After every whole entry: a lost header's name that one of them gave is that file again.
    for (std::size_t i = 0; i < slackNames.size(); ++i) {
        if (slackNames[i].headerLost && !LostHeaderNameIsListed(slackNames[i], listedNames)) {
            nameOnly.push_back(i);
        }
    }
    for (const std::size_t i : nameOnly) {
        AppendNameOnlyRow(fileTable, slackNames[i]);
    }
}

}  // namespace lumarest
