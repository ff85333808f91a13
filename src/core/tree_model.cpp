#include "core/tree_model.h"

#include <algorithm>

namespace lumarest {

namespace {
const std::string kNoText;
const std::vector<TreeItem> kNoChildren;
}  // namespace

TreeModel::~TreeModel() {
    // A view may outlive the tree it showed; tell it before the items go.
    if (observer_ != nullptr) {
        observer_->TreeDestroyed();
    }
}

const TreeModel::Node* TreeModel::Find(TreeItem item) const {
    if (item == kNoItem || item >= nodes_.size() || !nodes_[item].alive) {
        return nullptr;
    }
    return &nodes_[item];
}

TreeModel::Node* TreeModel::Find(TreeItem item) {
    return const_cast<Node*>(static_cast<const TreeModel*>(this)->Find(item));
}

TreeItem TreeModel::InsertItem(TreeItem parent, std::string text, int image, int selectedImage) {
    if (parent != kNoItem && Find(parent) == nullptr) {
        return kNoItem;
    }
    const auto item = static_cast<TreeItem>(nodes_.size());
    Node node;
    node.alive = true;
    node.parent = parent;
    node.text = std::move(text);
    node.image = image;
    node.selectedImage = selectedImage;
    nodes_.push_back(std::move(node));
    nodes_[parent].children.push_back(item);
    ++count_;
    if (observer_ != nullptr) {
        observer_->ItemInserted(item);
    }
    return item;
}

void TreeModel::RemoveSubtree(TreeItem item) {
    // Children first, from a copy: removal edits the list being walked.
    const std::vector<TreeItem> children = nodes_[item].children;
    for (TreeItem child : children) {
        RemoveSubtree(child);
    }
    if (selected_ == item) {
        selected_ = kNoItem;
    }
    nodes_[item] = Node{};
    --count_;
}

void TreeModel::RemoveItem(TreeItem item) {
    Node* node = Find(item);
    if (node == nullptr) {
        return;
    }
    if (observer_ != nullptr) {
        observer_->ItemRemoving(item);
    }
    auto& siblings = nodes_[node->parent].children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    RemoveSubtree(item);
}

void TreeModel::RemoveChildren(TreeItem item) {
    if (item != kNoItem && Find(item) == nullptr) {
        return;
    }
    const std::vector<TreeItem> children = nodes_[item].children;
    for (TreeItem child : children) {
        RemoveItem(child);
    }
}

void TreeModel::Clear() {
    RemoveChildren(kNoItem);
}

bool TreeModel::Exists(TreeItem item) const {
    return Find(item) != nullptr;
}

TreeItem TreeModel::TopItem() const {
    return nodes_[0].children.empty() ? kNoItem : nodes_[0].children.front();
}

TreeItem TreeModel::Parent(TreeItem item) const {
    const Node* node = Find(item);
    return node == nullptr ? kNoItem : node->parent;
}

const std::vector<TreeItem>& TreeModel::Children(TreeItem item) const {
    if (item == kNoItem) {
        return nodes_[0].children;
    }
    const Node* node = Find(item);
    return node == nullptr ? kNoChildren : node->children;
}

const std::string& TreeModel::Text(TreeItem item) const {
    const Node* node = Find(item);
    return node == nullptr ? kNoText : node->text;
}

void TreeModel::SetText(TreeItem item, std::string text) {
    if (Node* node = Find(item)) {
        node->text = std::move(text);
        if (observer_ != nullptr) {
            observer_->ItemChanged(item);
        }
    }
}

int TreeModel::Image(TreeItem item) const {
    const Node* node = Find(item);
    return node == nullptr ? 0 : node->image;
}

int TreeModel::SelectedImage(TreeItem item) const {
    const Node* node = Find(item);
    return node == nullptr ? 0 : node->selectedImage;
}

void TreeModel::SetImage(TreeItem item, int image, int selectedImage) {
    if (Node* node = Find(item)) {
        node->image = image;
        node->selectedImage = selectedImage;
        if (observer_ != nullptr) {
            observer_->ItemChanged(item);
        }
    }
}

int TreeModel::CheckState(TreeItem item) const {
    const Node* node = Find(item);
    return node == nullptr ? 0 : node->checkState;
}

void TreeModel::SetCheckState(TreeItem item, int state) {
    if (Node* node = Find(item)) {
        node->checkState = state;
        if (observer_ != nullptr) {
            observer_->ItemChanged(item);
        }
    }
}

std::uint64_t TreeModel::Data(TreeItem item) const {
    const Node* node = Find(item);
    return node == nullptr ? 0 : node->data;
}

void TreeModel::SetData(TreeItem item, std::uint64_t data) {
    if (Node* node = Find(item)) {
        node->data = data;
    }
}

bool TreeModel::IsExpanded(TreeItem item) const {
    const Node* node = Find(item);
    return node != nullptr && node->expanded;
}

void TreeModel::Expand(TreeItem item, ExpandAction action) {
    Node* node = Find(item);
    if (node == nullptr) {
        return;
    }
    // The handler hears every request, as the tree's expanding notification does.
    if (expansionHandler_) {
        expansionHandler_(item, action);
    }
    if (Node* after = Find(item)) {
        after->expanded = action == ExpandAction::Expand;
        if (observer_ != nullptr) {
            observer_->ItemChanged(item);
        }
    }
}

void TreeModel::Select(TreeItem item) {
    if (item != kNoItem && Find(item) == nullptr) {
        return;
    }
    selected_ = item;
    if (observer_ != nullptr) {
        observer_->SelectionChanged(item);
    }
}

void TreeModel::SortChildren(TreeItem item) {
    if (item != kNoItem && Find(item) == nullptr) {
        return;
    }
    auto& children = nodes_[item].children;
    std::stable_sort(children.begin(), children.end(),
                     [this](TreeItem a, TreeItem b) { return nodes_[a].text < nodes_[b].text; });
    if (observer_ != nullptr) {
        observer_->ChildrenReordered(item);
    }
}

}  // namespace lumarest
