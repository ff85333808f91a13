#include "cli/disks_command.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/cli_app.h"
#include "cli/cli_context.h"
#include "cli/json_stream.h"
#include "cli/terminal_text.h"

namespace lumarest {

namespace {

using Json = nlohmann::ordered_json;

struct ListedDisk {
    DiskProperties properties;
    std::string itemText;
    std::vector<std::pair<std::string, std::string>> details;
    std::string readProblem;
};

std::vector<ListedDisk> CollectDisks(CliContext& context) {
    RefreshInventory(context.run, *context.disks, *context.store, *context.reporter);
    std::vector<ListedDisk> listed;
    for (const DiskProperties& disk : context.disks->ListDisks(context.run)) {
        ListedDisk entry;
        entry.properties = disk;
        entry.itemText = DiskItemText(disk);
        // The same details the window shows when the disk is selected.
        if (ShowDiskDetails(context.run, *context.disks, disk.index)) {
            const TextTable& rows = context.run.detailsList;
            for (std::size_t r = 0; r < rows.RowCount(); ++r) {
                entry.details.emplace_back(rows.Cell(r, 0), rows.Cell(r, 1));
            }
        }
        entry.readProblem = CheckDeviceReadable(disk.devicePath).value_or("");
        listed.push_back(std::move(entry));
    }
    // The disk list shows its items sorted by their text.
    std::stable_sort(listed.begin(), listed.end(), [](const ListedDisk& a, const ListedDisk& b) {
        return a.itemText < b.itemText;
    });
    return listed;
}

Json DiskJson(const ListedDisk& disk) {
    Json details = Json::array();
    for (const auto& [caption, value] : disk.details) {
        details.push_back({{"name", caption}, {"value", value}});
    }
    const DiskProperties& p = disk.properties;
    return {
        {"number", p.index},
        {"item", disk.itemText},
        {"devicePath", p.devicePath},
        {"totalSectors", p.totalSectors},
        {"logicalSectorBytes", p.bytesPerSector},
        {"image", p.isImage},
        {"readable", disk.readProblem.empty()},
        {"properties",
         {{"Index", p.index},
          {"MediaType", p.mediaType},
          {"Model", p.model},
          {"InterfaceType", p.interfaceType},
          {"TotalCylinders", p.totalCylinders},
          {"TotalHeads", p.totalHeads},
          {"TotalSectors", SectorsInDiskUnit(p)},
          {"FirmwareRevision", p.firmwareRevision},
          {"PNPDeviceID", p.pnpDeviceId},
          {"SerialNumber", p.serialNumber},
          {"SystemName", p.systemName},
          {"DeviceID", p.deviceId},
          {"SectorsPerTrack", p.sectorsPerTrack},
          {"BytesPerSector", p.bytesPerSector}}},
        {"details", details},
    };
}

void PrintRow(std::ostream& out, const std::string& caption, const std::string& value) {
    constexpr std::size_t kCaptionWidth = 28;
    const std::string shown = TerminalText(caption);
    out << "  " << shown
        << std::string(kCaptionWidth - std::min(kCaptionWidth - 1, shown.size()), ' ')
        << TerminalText(value) << '\n';
}

void PrintDisk(std::ostream& out, const ListedDisk& disk) {
    const DiskProperties& p = disk.properties;
    out << "Disk " << p.index << "  " << TerminalText(disk.itemText) << '\n';
    PrintRow(out, "Device path :", p.devicePath);
    PrintRow(out, "Total sectors :", std::to_string(SectorsInDiskUnit(p)));
    PrintRow(out, "Logical sector size :", std::to_string(p.bytesPerSector) + " bytes");
    for (const auto& [caption, value] : disk.details) {
        PrintRow(out, caption, value);
    }
    if (!disk.readProblem.empty()) {
        PrintRow(out, "Not readable :", disk.readProblem);
    }
}

}  // namespace

int RunDisksCommand(CliContext& context) {
    const std::vector<ListedDisk> disks = CollectDisks(context);
    const bool floppy = context.disks->HasFloppy();
    std::ostream& out = *context.out;
    if (context.json) {
        Json list = Json::array();
        for (const ListedDisk& disk : disks) {
            list.push_back(DiskJson(disk));
        }
        Json document = {{"disks", list}};
        if (floppy) {
            document["floppy"] = {{"item", kFloppyItemText},
                                  {"devicePath", context.run.floppyPath}};
        }
        WriteJsonDocument(out, document);
        return kExitOk;
    }
    if (disks.empty() && !floppy) {
        out << "No disks found. Attach a disk image with --image PATH.\n";
    }
    for (std::size_t i = 0; i < disks.size(); ++i) {
        if (i > 0) {
            out << '\n';
        }
        PrintDisk(out, disks[i]);
    }
    if (floppy) {
        out << '\n' << kFloppyItemText << "  " << TerminalText(context.run.floppyPath) << '\n';
    }
    return kExitOk;
}

}  // namespace lumarest
