#include "core/partition_list.h"

#include <array>
#include <utility>

namespace lumarest {

namespace {

constexpr std::array<std::pair<FileSystem, std::string_view>, 4> kFileSystemNames{{
    {FileSystem::Fat16, "FAT16"},
    {FileSystem::Fat32, "FAT32"},
    {FileSystem::Ntfs, "NTFS"},
    {FileSystem::ExFat, "exFAT"},
}};

}  // namespace

std::string_view FileSystemName(FileSystem fileSystem) {
    for (const auto& [kind, name] : kFileSystemNames) {
        if (kind == fileSystem) {
            return name;
        }
    }
    return {};
}

std::optional<FileSystem> FileSystemNamed(std::string_view name) {
    for (const auto& [kind, shown] : kFileSystemNames) {
        if (shown == name) {
            return kind;
        }
    }
    return std::nullopt;
}

std::string_view PartitionSourceName(PartitionSource source) {
    switch (source) {
        case PartitionSource::PartitionTable:
            return "partition table";
        case PartitionSource::ExtendedRecord:
            return "extended record";
        case PartitionSource::CylinderSearch:
            return "cylinder search";
        case PartitionSource::GptTable:
            return "GPT";
        case PartitionSource::WholeDisk:
            return "whole disk";
        case PartitionSource::AlignedSearch:
            return "aligned search";
        case PartitionSource::FoundVolume:
            return "found volume";
    }
    return {};
}

}  // namespace lumarest
