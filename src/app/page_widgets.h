#pragma once

#include <string>
#include <utility>
#include <vector>

class QAbstractItemModel;
class QLabel;
class QString;
class QPushButton;
class QTreeView;

namespace lumarest {

struct RecoveryRun;

// The name and value columns of a details list, and the floppy's single one.
inline constexpr int kNameColumnWidth = 242;
inline constexpr int kValueColumnWidth = 243;
inline constexpr int kSingleColumnWidth = 485;
// The left column of every page.
inline constexpr int kLeftPanelWidth = 250;
// The left column's caption over the chosen disk's card.
inline constexpr const char* kDiskToSearchCaption = "Disk to search";

// The widgets every page is made of, so that all pages look alike.
QLabel* MakeCaption(const char* text, const char* objectName);
QPushButton* MakeButton(const char* caption, const char* objectName);
// A list of details: rows of names and values, one selected at a time, never edited.
QTreeView* MakeDetailsList(QAbstractItemModel* model);
void ResizeColumns(QTreeView* list, const std::vector<std::pair<std::string, int>>& columns);
// The card of the chosen disk in a left column, and what it says: the disk's line in the disk
// list, its model, its capacity and sectors.
QLabel* MakeDiskCard(const char* objectName);
QString ChosenDiskCardText(const RecoveryRun& run);

}  // namespace lumarest
