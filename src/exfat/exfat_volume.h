#pragma once

#include <memory>
#include <optional>

#include "exfat/exfat_contents.h"
#include "exfat/exfat_volume_reader.h"
#include "volume/rebuilt_volume.h"

namespace lumarest {

// An exFAT volume: folders list the files the walk found in them; files are written from
// their entry sets, along their clusters.
class ExFatVolume final : public RebuiltVolume {
  public:
    ExFatVolume(std::shared_ptr<const ExFatContents> contents, SectorSource& disk);

    FileSystem Kind() const override { return FileSystem::ExFat; }
    std::uint32_t RootFolderId() const override { return kExFatRootFolderId; }
    void DateFolderRow(const FolderNode& node, FileListRow& row) const override;
    void ForEachFile(std::uint32_t folderId, const VolumeFileVisitor& visit) override;
    RecoveredFileStatus WriteFile(const FileRef& file, std::ostream& out) override;
    std::uint64_t StoredBytes(const FileRef& file) override;
    std::optional<std::int64_t> FolderLastWrite(const FolderNode& node) override;

  private:
    // The entry set a listed file stands for; null for a reference no listing of this volume made.
    const ExFatEntrySet* EntryOf(const FileRef& file) const;

    std::shared_ptr<const ExFatContents> contents_;
    ExFatVolumeReader reader_;
};

// The date and time cells of a moment in seconds since 1970 (UTC), in local time, as FAT
// shows its dates; empty cells for none.
void ExFatDateCells(std::optional<std::int64_t> seconds, std::string& date, std::string& time);

}  // namespace lumarest
