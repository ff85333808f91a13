#include "ntfs/name_only_files.h"

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
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

// A folder, the record an entry names with its sequence number, and the name.
using EntryKey = std::tuple<std::uint32_t, std::uint32_t, std::uint16_t, std::string>;
// A folder and a file of it: the record with its sequence number.
using FileKey = std::tuple<std::uint32_t, std::uint32_t, std::uint16_t>;

EntryKey KeyOf(const IndexEntry& entry) {
    return {entry.fileName.parent, entry.fileReference, entry.sequence, entry.fileName.name};
}

std::string ListedKey(std::uint32_t folder, std::uint32_t record, const std::string& name) {
    return std::to_string(folder) + '/' + std::to_string(record) + '/' + name;
}

// A name in a folder, whatever record gave it.
std::string FolderNameKey(std::uint32_t folder, const std::string& name) {
    return std::to_string(folder) + '/' + name;
}

// What the file table lists that slack names may stand for: by folder, record and name for
// the records whole entries name, by folder and name where a header was lost.
std::unordered_set<std::string> ListedNames(const TextTable& files,
                                            const std::vector<IndexEntry>& slackNames) {
    std::unordered_set<std::uint32_t> records;
    std::unordered_set<std::uint32_t> folders;
    for (const IndexEntry& entry : slackNames) {
        if (entry.headerLost) {
            folders.insert(entry.fileName.parent);
        } else {
            records.insert(entry.fileReference);
        }
    }
    std::unordered_set<std::string> listed;
    for (std::size_t row = 0; row < files.RowCount(); ++row) {
        const std::uint32_t self = files.CellU32(row, kEntrySelf);
        const std::uint32_t parent = files.CellU32(row, kEntryParent);
        if (records.contains(self)) {
            listed.insert(ListedKey(parent, self, files.Cell(row, kEntryName)));
        }
        if (folders.contains(parent)) {
            listed.insert(FolderNameKey(parent, files.Cell(row, kEntryName)));
        }
    }
    return listed;
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

// Files the slack holds a long name of: their short DOS names are the same files again.
std::set<FileKey> FilesWithLongNames(const std::vector<IndexEntry>& slackNames) {
    std::set<FileKey> files;
    for (const IndexEntry& entry : slackNames) {
        if (!entry.headerLost && entry.fileName.nameSpace != NameSpace::Dos) {
            files.emplace(entry.fileName.parent, entry.fileReference, entry.sequence);
        }
    }
    return files;
}

bool WholeEntryIsListed(SectorSource& disk, const NtfsLayout& layout, const MftRunTable& table,
                        const IndexEntry& entry, const std::unordered_set<std::string>& listed,
                        const std::set<FileKey>& longNamed) {
    return listed.contains(
               ListedKey(entry.fileName.parent, entry.fileReference, entry.fileName.name)) ||
           (entry.fileName.nameSpace == NameSpace::Dos &&
            longNamed.contains({entry.fileName.parent, entry.fileReference, entry.sequence})) ||
           RecordStillCarries(disk, layout, table, entry);
}

// A name whose entry lost its header counts as listed when its folder lists the name already,
// from a record or a whole entry: the entry most likely moved within the index. A short DOS
// name is always the twin of a long one. Marks the name listed.
bool LostHeaderNameIsListed(const IndexEntry& entry, std::unordered_set<std::string>& listed) {
    return entry.fileName.nameSpace == NameSpace::Dos ||
           !listed.insert(FolderNameKey(entry.fileName.parent, entry.fileName.name)).second;
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
    std::unordered_set<std::string> listed = ListedNames(fileTable, slackNames);
    const std::set<FileKey> longNamed = FilesWithLongNames(slackNames);
    std::set<EntryKey> seen;
    for (const IndexEntry& entry : slackNames) {
        if (entry.headerLost || !seen.insert(KeyOf(entry)).second ||
            WholeEntryIsListed(disk, layout, table, entry, listed, longNamed)) {
            continue;
        }
        AppendNameOnlyRow(fileTable, entry);
        listed.insert(FolderNameKey(entry.fileName.parent, entry.fileName.name));
    }
    // After every whole entry: a lost header's name that one of them gave is that file again.
    for (const IndexEntry& entry : slackNames) {
        if (entry.headerLost && !LostHeaderNameIsListed(entry, listed)) {
            AppendNameOnlyRow(fileTable, entry);
        }
    }
}

}  // namespace lumarest
