#include "exfat/exfat_volume.h"

#include <ctime>

#include "core/entry_rows.h"
#include "core/folder_nodes.h"
#include "core/text_number.h"
#include "exfat/exfat_file_data.h"
#include "output/file_dates.h"
#include "output/file_type.h"

namespace lumarest {
namespace {

constexpr int kFirstCivilYear = 1900;

// An empty volume for a run whose scan kept nothing: every listing is empty.
const ExFatContents& Contents(const std::shared_ptr<const ExFatContents>& contents) {
    static const ExFatContents kNone(ExFatLayout{}, ExFatTree{});
    return contents ? *contents : kNone;
}

}  // namespace

void ExFatDateCells(std::optional<std::int64_t> seconds, std::string& date, std::string& time) {
    if (!seconds) {
        return;
    }
    const auto moment = static_cast<std::time_t>(*seconds);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) {
        return;
    }
    date = DateText(local.tm_mday, local.tm_mon + 1, std::int64_t{local.tm_year} + kFirstCivilYear);
    time = TimeText(local.tm_hour, local.tm_min);
}

ExFatVolume::ExFatVolume(std::shared_ptr<const ExFatContents> contents, SectorSource& disk)
    : contents_(std::move(contents)), reader_(disk, Contents(contents_).layout) {}

void ExFatVolume::DateFolderRow(const FolderNode& node, FileListRow& row) const {
    if (node.selfId == kOrphanFolderId || node.date == 0) {
        return;
    }
    ExFatDateCells(node.date, row.date, row.time);
}

void ExFatVolume::ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) {
    const ExFatContents& contents = Contents(contents_);
    const auto found = contents.filesByFolder.find(folderId);
    if (found == contents.filesByFolder.end()) {
        return;
    }
    for (const std::size_t index : found->second) {
        const ExFatEntrySet& entry = contents.tree.files[index].entry;
        FileListRow row;
        row.name = entry.name;
        row.type = FileTypeDescription(entry.name, FileTypeWording::ClusterChainFolder);
        row.size = NumberText(entry.dataLength);
        ExFatDateCells(entry.modified, row.date, row.time);
        row.debugInfo1 = NumberText(entry.firstCluster);
        row.debugInfo2 = entry.deleted ? kDeletedMarkText : "";
        FileRef file;
        file.size = entry.dataLength;
        file.firstCluster = entry.firstCluster;
        file.deleted = entry.deleted;
        file.entryIndex = index;
        file.lastWrite = entry.modified;
        visit(row, file);
    }
}

const ExFatEntrySet* ExFatVolume::EntryOf(const FileRef& file) const {
    const ExFatContents& contents = Contents(contents_);
    if (file.entryIndex >= contents.tree.files.size()) {
        return nullptr;
    }
    return &contents.tree.files[file.entryIndex].entry;
}

RecoveredFileStatus ExFatVolume::WriteFile(const FileRef& file, std::ostream& out) {
    const ExFatEntrySet* entry = EntryOf(file);
    return entry != nullptr ? WriteExFatFile(reader_, *entry, out) : RecoveredFileStatus::NoData;
}

std::uint64_t ExFatVolume::StoredBytes(const FileRef& file) {
    const ExFatEntrySet* entry = EntryOf(file);
    return entry != nullptr ? ExFatStoredBytes(reader_, *entry) : 0;
}

std::optional<std::int64_t> ExFatVolume::FolderLastWrite(const FolderNode& node) {
    if (node.selfId == kOrphanFolderId || node.date == 0) {
        return std::nullopt;
    }
    return node.date;
}

}  // namespace lumarest
