#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumarest {

// Handle of a tree item; 0 is "no item". Handles are never reused within one tree.
using TreeItem = std::uint32_t;
inline constexpr TreeItem kNoItem = 0;

enum class ExpandAction { Expand, Collapse };

// What a view of the tree needs to hear. Calls arrive on the thread that changed the tree.
class TreeObserver {
  public:
    virtual ~TreeObserver() = default;
    virtual void ItemInserted(TreeItem item) = 0;
    virtual void ItemRemoving(TreeItem item) = 0;
    virtual void ItemChanged(TreeItem item) = 0;
    virtual void SelectionChanged(TreeItem item) = 0;
    virtual void ChildrenReordered(TreeItem parent) = 0;
    // The tree is going away: forget it and never call it again.
    virtual void TreeDestroyed() {}
};

// One left-panel tree as plain data: items with text, images, check state and children in
// order. Expanding or collapsing calls the expansion handler at once, on the calling thread.
class TreeModel {
  public:
    using ExpansionHandler = std::function<void(TreeItem, ExpandAction)>;

    TreeModel() = default;
    TreeModel(const TreeModel&) = delete;
    TreeModel& operator=(const TreeModel&) = delete;
    ~TreeModel();

    TreeItem InsertItem(TreeItem parent, std::string text, int image, int selectedImage);
    void RemoveItem(TreeItem item);
    void RemoveChildren(TreeItem item);
    void Clear();

    bool Exists(TreeItem item) const;
    TreeItem TopItem() const;
    TreeItem Parent(TreeItem item) const;
    const std::vector<TreeItem>& Children(TreeItem item) const;  // kNoItem: top-level items
    std::size_t ItemCount() const { return count_; }

    const std::string& Text(TreeItem item) const;
    void SetText(TreeItem item, std::string text);
    int Image(TreeItem item) const;
    int SelectedImage(TreeItem item) const;
    void SetImage(TreeItem item, int image, int selectedImage);
    // Check-box state image: 0 none, 1 unchecked, 2 checked, 3 partly checked.
    int CheckState(TreeItem item) const;
    void SetCheckState(TreeItem item, int state);
    std::uint64_t Data(TreeItem item) const;
    void SetData(TreeItem item, std::uint64_t data);

    bool IsExpanded(TreeItem item) const;
    void Expand(TreeItem item, ExpandAction action);

    TreeItem Selected() const { return selected_; }
    void Select(TreeItem item);

    // Sorts an item's children by their text, as the disk list does after listing.
    void SortChildren(TreeItem item);

    void SetExpansionHandler(ExpansionHandler handler) { expansionHandler_ = std::move(handler); }
    void SetObserver(TreeObserver* observer) { observer_ = observer; }

  private:
    struct Node {
        bool alive = false;
        TreeItem parent = kNoItem;
        std::string text;
        int image = 0;
        int selectedImage = 0;
        int checkState = 0;
        std::uint64_t data = 0;
        bool expanded = false;
        std::vector<TreeItem> children;
    };
    const Node* Find(TreeItem item) const;
    Node* Find(TreeItem item);
    void RemoveSubtree(TreeItem item);

    std::vector<Node> nodes_{Node{}};  // slot 0 holds the top-level children
    std::size_t count_ = 0;
    TreeItem selected_ = kNoItem;
    ExpansionHandler expansionHandler_;
    TreeObserver* observer_ = nullptr;
};

}  // namespace lumarest
