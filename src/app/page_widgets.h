#pragma once

#include <string>
#include <utility>
#include <vector>

class QAbstractItemModel;
class QLabel;
class QVBoxLayout;
class QWidget;
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

// A column of a page: headed by its caption, the rest laid out below it.
struct PageColumn {
    QWidget* widget = nullptr;
    QVBoxLayout* layout = nullptr;
    QLabel* caption = nullptr;
};
PageColumn MakeLeftColumn(const char* caption, const char* captionName);
PageColumn MakeRightColumn(const char* caption, const char* captionName);
// A page: its left column, fixed in width, beside its right one, which takes the rest.
QWidget* MakePage(QWidget* leftColumn, QWidget* rightColumn);
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
