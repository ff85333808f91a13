#pragma once

#include <stop_token>

namespace lumarest {

struct RecoveryRun;
struct MftRunTable;
class Reporter;
class SectorSource;

inline constexpr const char* kMftFoundCaption = "MFT Found                               :";

// Reads every record slot (table.recordSectors sectors each) of the master file table along
// `table` and writes one folder row per directory record into run.folderTable (after the
// "LMR_Miscellaneous" row, parent 5) and one file row per file record into run.fileTable. A
// slot's record number is its position in the walk, whatever the slot holds. Names left in the
// slack of a folder's index blocks whose records hold other files now are added as deleted
// name-only file rows (AddNameOnlyRows). Stops early when run.scanStop is requested, keeping
// the rows found so far.
void ScanMft(RecoveryRun& run, SectorSource& disk, const MftRunTable& table, Reporter& reporter,
             std::stop_token stop);

}  // namespace lumarest
