#include "tree/folder_tree_events.h"

#include <ctime>
#include <string_view>
#include <vector>

#include "core/entry_rows.h"
#include "core/recovery_run.h"
#include "core/sector_source.h"
#include "output/file_dates.h"

namespace lumarest {
namespace {

constexpr char kPathSeparator = '\\';

bool IsTopItem(const TreeModel& tree, TreeItem item) {
    return item != kNoItem && tree.Parent(item) == kNoItem;
}

// Every child of `item` carries `state`: none are left out by the test.
bool AllChildrenIn(const TreeModel& tree, TreeItem item, int state) {
    for (const TreeItem child : tree.Children(item)) {
        if (tree.CheckState(child) != state) {
            return false;
        }
    }
    return true;
}

// Gives each ancestor `whole` when all its children carry it, else "partly checked".
void SettleAncestors(TreeModel& tree, TreeItem item, int whole) {
    for (TreeItem parent = tree.Parent(item); parent != kNoItem; parent = tree.Parent(parent)) {
        tree.SetCheckState(parent,
                           AllChildrenIn(tree, parent, whole) ? whole : kPartlyCheckedState);
    }
}

}  // namespace

ClockText LocalClockText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Written as the files' own dates are, never in the locale's words.
    return ClockText{DateText(local.tm_mday, local.tm_mon + 1, std::int64_t{local.tm_year} + 1900),
                     TimeText(local.tm_hour, local.tm_min)};
}

std::string ItemPath(const TreeModel& tree, TreeItem item) {
    if (!tree.Exists(item) || IsTopItem(tree, item)) {
        return {};
    }
    std::vector<TreeItem> ancestors;
    for (TreeItem up = tree.Parent(item); up != kNoItem && !IsTopItem(tree, up);
         up = tree.Parent(up)) {
        ancestors.push_back(up);
    }
    std::string path;
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        path += tree.Text(*it);
        if (path.empty() || path.back() != kPathSeparator) {
            path += kPathSeparator;
        }
    }
    return path + tree.Text(item);
}

void ToggleCheck(TreeModel& tree, TreeItem item) {
    const int state = tree.CheckState(item);
    if (state == kCheckedState || state == kPartlyCheckedState) {
        SetCheckRecursive(tree, item, kUncheckedState);
        UncheckParents(tree, item);
    } else {
        SetCheckRecursive(tree, item, kCheckedState);
        CheckParents(tree, item);
    }
}

void SetCheckRecursive(TreeModel& tree, TreeItem item, int state) {
    // A folder tree can be deeper than the stack allows recursion: walk it with a list.
    std::vector<TreeItem> pending{item};
    while (!pending.empty()) {
        const TreeItem next = pending.back();
        pending.pop_back();
        tree.SetCheckState(next, state);
        const auto& children = tree.Children(next);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

void CheckParents(TreeModel& tree, TreeItem item) {
    SettleAncestors(tree, item, kCheckedState);
}

void UncheckParents(TreeModel& tree, TreeItem item) {
    SettleAncestors(tree, item, kUncheckedState);
}

}  // namespace lumarest
