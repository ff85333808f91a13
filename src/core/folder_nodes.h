#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/tree_model.h"

namespace lumarest {

// One folder of the rebuilt folder tree.
struct FolderNode {
    std::string name;
    TreeItem treeItem = kNoItem;
    std::uint32_t selfId = 0;  // FAT first cluster or MFT number
    std::uint32_t parentId = 0;
    std::int64_t date = 0;
    std::int64_t time = 0;
    bool listed = false;   // its own directory was read to name its children
    bool deleted = false;  // deleted, or shown inside a deleted folder
};

// What the folder tree remembers between clicks and expansions.
struct FolderTreeState {
    TreeItem openFolderItem = kNoItem;  // the folder shown open (image 5)
    TreeItem lastClickedFolderItem = kNoItem;
    // The user clicked a results tree while no scan ran; a new search clears it.
    bool browse = false;
    // The file list asked the next expansion to list the folder it expands.
    bool listOnExpand = false;
    // The value shown after "Current Folder  :".
    std::string currentFolder;
};

// Every folder node of the current tree in creation order. Nodes are only appended; the
// indexes give the same node a search of the list in order would find first.
class FolderNodeList {
  public:
    void Append(FolderNode node) {
        const std::size_t position = nodes_.size();
        byItem_.emplace(node.treeItem, position);
        bySelfAndParent_.emplace(SelfAndParentKey(node.selfId, node.parentId), position);
        nodes_.push_back(std::move(node));
    }
    void Clear() {
        nodes_.clear();
        byItem_.clear();
        bySelfAndParent_.clear();
    }
    std::int32_t Count() const { return static_cast<std::int32_t>(nodes_.size()); }
    const std::vector<FolderNode>& Nodes() const { return nodes_; }
    FolderNode& At(std::size_t position) { return nodes_.at(position); }

    // The node of a tree item, or null.
    FolderNode* FindByItem(TreeItem item) { return Lookup(byItem_, item); }
    // The first node with this folder number under this parent, or null.
    FolderNode* FindChild(std::uint32_t selfId, std::uint32_t parentId) {
        return Lookup(bySelfAndParent_, SelfAndParentKey(selfId, parentId));
    }

  private:
    static std::uint64_t SelfAndParentKey(std::uint32_t selfId, std::uint32_t parentId) {
        return (std::uint64_t{parentId} << 32) | selfId;
    }
    template <typename Key>
    FolderNode* Lookup(const std::unordered_map<Key, std::size_t>& index, Key key) {
        const auto found = index.find(key);
        return found == index.end() ? nullptr : &nodes_[found->second];
    }

    std::vector<FolderNode> nodes_;
    // emplace keeps the first position of a repeated key.
    std::unordered_map<TreeItem, std::size_t> byItem_;
    std::unordered_map<std::uint64_t, std::size_t> bySelfAndParent_;
};

}  // namespace lumarest
