#include "core/tree_model.h"

#include <gtest/gtest.h>

#include "core/le_bytes.h"

namespace lumarest {
namespace {

TEST(TreeModel, KeepsChildrenInOrderAndRemovesWholeSubtrees) {
    TreeModel tree;
    const TreeItem top = tree.InsertItem(kNoItem, "My Computer", 2, 2);
    const TreeItem b = tree.InsertItem(top, "Removable Media (Disk1)", 0, 0);
    const TreeItem a = tree.InsertItem(top, "Fixed hard disk media (Disk0)", 0, 0);
    const TreeItem leaf = tree.InsertItem(b, "leaf", 4, 4);
    EXPECT_EQ(tree.TopItem(), top);
    EXPECT_EQ(tree.Children(top), (std::vector<TreeItem>{b, a}));
    tree.SortChildren(top);
    EXPECT_EQ(tree.Children(top), (std::vector<TreeItem>{a, b}));

    tree.Select(leaf);
    tree.RemoveItem(b);
    EXPECT_FALSE(tree.Exists(b));
    EXPECT_FALSE(tree.Exists(leaf));
    EXPECT_EQ(tree.Selected(), kNoItem);
    EXPECT_EQ(tree.ItemCount(), 2u);
    // A stale handle is never reused and reads as nothing.
    EXPECT_EQ(tree.Text(leaf), "");
    EXPECT_NE(tree.InsertItem(top, "new", 0, 0), leaf);
    EXPECT_EQ(tree.InsertItem(leaf, "under a removed item", 0, 0), kNoItem);
}

TEST(TreeModel, ExpansionCallsTheHandlerOnTheCallingThreadFirst) {
    TreeModel tree;
    const TreeItem top = tree.InsertItem(kNoItem, "Root", 2, 2);
    std::vector<std::pair<TreeItem, ExpandAction>> heard;
    bool expandedWhileHandling = true;
    tree.SetExpansionHandler([&](TreeItem item, ExpandAction action) {
        heard.emplace_back(item, action);
        expandedWhileHandling = tree.IsExpanded(item);
    });
    tree.Expand(top, ExpandAction::Expand);
    EXPECT_FALSE(expandedWhileHandling);
    EXPECT_TRUE(tree.IsExpanded(top));
    tree.Expand(top, ExpandAction::Collapse);
    EXPECT_FALSE(tree.IsExpanded(top));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].second, ExpandAction::Collapse);
}

TEST(LeBytes, ReadsLittleEndianAndRefusesToLeaveTheBuffer) {
    const std::uint8_t bytes[] = {0x55, 0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    const ByteSpan span(bytes);
    EXPECT_EQ(LoadLe16(span, 0), 0xAA55);
    EXPECT_EQ(LoadLe32(span, 2), 0x04030201u);
    EXPECT_EQ(LoadLe64(span, 2), 0x0807060504030201ull);
    EXPECT_FALSE(LoadLe16(span, 9).has_value());
    EXPECT_FALSE(LoadLe32(span, SIZE_MAX - 1).has_value());
    EXPECT_TRUE(SliceOrEmpty(span, 8, 3).empty());
    EXPECT_EQ(SliceOrEmpty(span, 8, 2).size(), 2u);
}

}  // namespace
}  // namespace lumarest
