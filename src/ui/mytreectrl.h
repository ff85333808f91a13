#pragma once

#include <QTreeView>
#include <memory>
#include <string>

#include "core/tree_model.h"
#include "ui/tree_item_model.h"

namespace lumarest {

// The left-panel tree control: shows one TreeModel with its item pictures and tri-state
// check boxes, and tells the wizard about clicks. The wizard decides what a click means for
// each of the four trees; the TreeModel stays the one truth for expansion and selection.
class mytreectrl : public QTreeView {
    Q_OBJECT

  public:
    explicit mytreectrl(QWidget* parent = nullptr);
    ~mytreectrl() override;

    // Shows `tree` (not owned), or nothing when null.
    void SetTree(TreeModel* tree);
    TreeModel* Tree() const { return tree_; }
    TreeItemModel* ItemModel() const { return itemModel_.get(); }
    // Marks deleted items of every tree shown from now on.
    void SetItemDeleted(TreeItemModel::ItemDeleted deleted);

    TreeItem ItemAt(const QPoint& position) const;
    // True when `position` lies on the check box of the item there.
    bool OnCheckBox(const QPoint& position) const;

    // True while "*" opens every item below the current one; the current item stays.
    bool ExpandingAll() const { return expandingAll_; }

    // The text of the disk item last selected; a single space until then.
    std::string lastClickedText = " ";

  signals:
    // A click on an item (kNoItem for empty space). A click on a check box is reported by
    // CheckBoxClicked instead and not handled further by the view.
    void ItemClicked(lumarest::TreeItem item);
    void CheckBoxClicked(lumarest::TreeItem item);
    // The keyboard moved the selection to `item`.
    void ItemKeySelected(lumarest::TreeItem item);
    // The user moved the current item by any means (keys, typing a name, a click); a change
    // that follows the tree's own selection is not reported.
    void CurrentItemChosen(lumarest::TreeItem item);
    // Enter or Return on the current item.
    void ItemEntered(lumarest::TreeItem item);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FollowExpansion(const QModelIndex& index, bool expanded);
    void FollowCurrentItem(const QModelIndex& index);
    void TellTreeAboutExpansion(const QModelIndex& index, ExpandAction action);
    void ApplyTreeState(TreeItem item);
    void ExpandAllBelow(const QModelIndex& current);

    TreeModel* tree_ = nullptr;
    std::unique_ptr<TreeItemModel> itemModel_;
    TreeItemModel::ItemDeleted itemDeleted_;
    bool followingExpansion_ = false;
    bool followingSelection_ = false;
    bool expandingAll_ = false;
};

}  // namespace lumarest
