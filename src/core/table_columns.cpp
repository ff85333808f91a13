#include "core/table_columns.h"

namespace lumarest {

std::vector<std::string> EntryTableColumns() {
    return {"Name", "sector", "self",  "parent", "date",   "time",
            "size", "attr",   "sysID", "Type",   "Deleted"};
}

std::vector<std::string> FoundDirectoryColumns() {
    return {"Sector", "Self Cluster", "Parent Cluster", "File System", "Date", "Time", "First Run"};
}

std::vector<std::string> BootSectorColumns() {
    return {"Sector",          "SPF",           "SPC",      "Root Sectors", "Root Start",
            "Reserve Sectors", "Cluster0Start", "firstFAT", "secondFAT",    "TotalSectors",
            "PartType"};
}

std::vector<std::string> IndexBlockColumns() {
    return {"sector", "mftReference", "vcn", "fsNumber"};
}

std::vector<std::string> NtfsRecordColumns() {
    return {"name",     "Sector", "parentMFT", "selfMFT", "size",         "type",
            "fsNumber", "date",   "First Run", "Deleted", "recordSectors"};
}

std::vector<std::string> FileListColumns() {
    return {"Name", "Type", "Size", "Date", "Time", "Debug Info 1", "Debug Info 2", "Debug Info 3"};
}

std::vector<std::string> DetailsListColumns() {
    return {"Name", "Value"};
}

}  // namespace lumarest
