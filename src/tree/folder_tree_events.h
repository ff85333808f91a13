#pragma once

#include <cstdint>
#include <string>

#include "core/tree_model.h"

namespace lumarest {

// Pictures of the folder tree's items.
inline constexpr int kVisitedFolderImage = 3;
inline constexpr int kOpenFolderImage = 5;
inline constexpr int kOpenedFromListImage = 7;
// Check-box states beyond "unchecked" (kUncheckedState).
inline constexpr int kCheckedState = 2;
inline constexpr int kPartlyCheckedState = 3;
inline constexpr const char* kDeletedFolderType = "Deleted FOLDER";

// The local moment a click shows on the orphan folder's row: "10-DEC-2026" and "09:05".
struct ClockText {
    std::string date;
    std::string time;
};
ClockText LocalClockText();

// The texts of `item` and its ancestors below the top item, joined with "\".
std::string ItemPath(const TreeModel& tree, TreeItem item);

// The tri-state check boxes: toggling checks or unchecks a folder with everything below it
// and gives each ancestor "checked", "unchecked" or "partly checked" from its children.
void ToggleCheck(TreeModel& tree, TreeItem item);
void SetCheckRecursive(TreeModel& tree, TreeItem item, int state);
void CheckParents(TreeModel& tree, TreeItem item);
void UncheckParents(TreeModel& tree, TreeItem item);

}  // namespace lumarest
