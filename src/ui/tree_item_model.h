#pragma once

#include <QAbstractItemModel>
#include <functional>
#include <unordered_map>
#include <vector>

#include "core/tree_model.h"
#include "ui/deleted_mark.h"

namespace lumarest {

// Shows a lumarest::TreeModel to Qt views. The model keeps its own copy of the tree's shape,
// updated from the tree's notifications, so a view never sees rows that are half inserted or
// half removed. Changes made on another thread are carried to this model's thread first.
class TreeItemModel : public QAbstractItemModel, public TreeObserver {
    Q_OBJECT

  public:
    explicit TreeItemModel(TreeModel& tree, QObject* parent = nullptr);
    ~TreeItemModel() override;

    TreeModel& Tree() const { return tree_; }
    TreeItem ItemOf(const QModelIndex& index) const;
    QModelIndex IndexOf(TreeItem item) const;
    // Items this answers true for are drawn as deleted, with the tooltip saying so.
    using ItemDeleted = std::function<bool(TreeItem item)>;
    void SetItemDeleted(ItemDeleted deleted) { itemDeleted_ = std::move(deleted); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void ItemInserted(TreeItem item) override;
    void ItemRemoving(TreeItem item) override;
    void ItemChanged(TreeItem item) override;
    void SelectionChanged(TreeItem item) override;
    void ChildrenReordered(TreeItem parent) override;
    void TreeDestroyed() override;

  signals:
    // The tree's own expanded flag or selection changed; the view follows.
    void ExpansionChanged(const QModelIndex& index, bool expanded);
    void CurrentItemChanged(const QModelIndex& index);

  private:
    template <typename Change>
    void OnModelThread(Change change);
    void Rebuild();
    void AddShape(TreeItem item);
    void ForgetShape(TreeItem item);
    void Renumber(TreeItem parent);

    TreeModel& tree_;
    // Set once the tree is gone: the model then shows nothing and never calls it.
    bool treeGone_ = false;
    ItemDeleted itemDeleted_;
    mutable DeletedIconCache deletedIcons_;
    std::unordered_map<TreeItem, std::vector<TreeItem>> children_;
    std::unordered_map<TreeItem, TreeItem> parentOf_;
    std::unordered_map<TreeItem, int> rowOf_;
};

}  // namespace lumarest
