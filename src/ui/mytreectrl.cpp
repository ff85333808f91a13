#include "ui/mytreectrl.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionViewItem>

namespace lumarest {

mytreectrl::mytreectrl(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        TellTreeAboutExpansion(index, ExpandAction::Expand);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        TellTreeAboutExpansion(index, ExpandAction::Collapse);
    });
}

mytreectrl::~mytreectrl() {
    // The view must let go of the model before the model goes.
    QItemSelectionModel* oldSelection = selectionModel();
    setModel(nullptr);
    delete oldSelection;
}

void mytreectrl::SetTree(TreeModel* tree) {
    QItemSelectionModel* oldSelection = selectionModel();
    setModel(nullptr);
    delete oldSelection;
    itemModel_.reset();
    tree_ = tree;
    lastClickedText = " ";
    if (tree_ == nullptr) {
        return;
    }
    itemModel_ = std::make_unique<TreeItemModel>(*tree_);
    itemModel_->SetItemDeleted(itemDeleted_);
    setModel(itemModel_.get());
    connect(itemModel_.get(), &TreeItemModel::ExpansionChanged, this, &mytreectrl::FollowExpansion);
    connect(itemModel_.get(), &TreeItemModel::CurrentItemChanged, this,
            &mytreectrl::FollowCurrentItem);
    // An item the tree had expanded before it had children opens once they arrive.
    connect(itemModel_.get(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent) {
                if (parent.isValid()) {
                    FollowExpansion(parent, tree_->IsExpanded(itemModel_->ItemOf(parent)));
                }
            });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!followingSelection_ && tree_ != nullptr) {
                    const TreeItem item = itemModel_->ItemOf(current);
                    followingSelection_ = true;
                    tree_->Select(item);
                    followingSelection_ = false;
                    if (item != kNoItem) {
                        emit CurrentItemChosen(item);
                    }
                }
            });
    ApplyTreeState(kNoItem);
    FollowCurrentItem(itemModel_->IndexOf(tree_->Selected()));
}

void mytreectrl::ApplyTreeState(TreeItem item) {
    for (TreeItem child : tree_->Children(item)) {
        if (tree_->IsExpanded(child)) {
            FollowExpansion(itemModel_->IndexOf(child), true);
        }
        ApplyTreeState(child);
    }
}

void mytreectrl::SetItemDeleted(TreeItemModel::ItemDeleted deleted) {
    itemDeleted_ = std::move(deleted);
    if (itemModel_) {
        itemModel_->SetItemDeleted(itemDeleted_);
    }
}

TreeItem mytreectrl::ItemAt(const QPoint& position) const {
    return itemModel_ ? itemModel_->ItemOf(indexAt(position)) : kNoItem;
}

bool mytreectrl::OnCheckBox(const QPoint& position) const {
    const QModelIndex index = indexAt(position);
    if (!index.isValid() || !index.data(Qt::CheckStateRole).isValid()) {
        return false;
    }
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.rect = visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.features |= QStyleOptionViewItem::HasDecoration;
    option.decorationSize = iconSize();
    option.text = index.data(Qt::DisplayRole).toString();
    const QRect box = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
    return box.contains(position);
}

void mytreectrl::mousePressEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (event->button() == Qt::LeftButton && tree_ != nullptr) {
        const QModelIndex index = indexAt(position);
        const TreeItem item = ItemAt(position);
        if (item != kNoItem && OnCheckBox(position)) {
            emit CheckBoxClicked(item);
            event->accept();
            return;
        }
        // A click on the expand arrow or the indentation is the view's alone.
        if (!index.isValid() || position.x() >= visualRect(index).left()) {
            emit ItemClicked(item);
        }
    }
    QTreeView::mousePressEvent(event);
}

void mytreectrl::keyPressEvent(QKeyEvent* event) {
    const QModelIndex before = currentIndex();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && itemModel_ &&
        before.isValid()) {
        emit ItemEntered(itemModel_->ItemOf(before));
    }
    if (event->key() == Qt::Key_Asterisk && itemModel_ && before.isValid() && itemsExpandable()) {
        ExpandAllBelow(before);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
    if (itemModel_ && currentIndex() != before && currentIndex().isValid()) {
        emit ItemKeySelected(itemModel_->ItemOf(currentIndex()));
    }
}

void mytreectrl::ExpandAllBelow(const QModelIndex& current) {
    const TreeItem item = itemModel_->ItemOf(current);
    expandingAll_ = true;
    expandRecursively(current);
    expandingAll_ = false;
    // Whatever the expansions selected on the way, the item "*" was pressed on stays current.
    const QModelIndex index = itemModel_->IndexOf(item);
    if (!index.isValid()) {
        return;
    }
    if (currentIndex() != index) {
        setCurrentIndex(index);  // tells the tree and the wizard through currentChanged
        return;
    }
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    emit CurrentItemChosen(item);
}

void mytreectrl::FollowExpansion(const QModelIndex& index, bool expanded) {
    if (!index.isValid() || isExpanded(index) == expanded) {
        return;
    }
    followingExpansion_ = true;
    setExpanded(index, expanded);
    followingExpansion_ = false;
}

void mytreectrl::FollowCurrentItem(const QModelIndex& index) {
    if (followingSelection_) {
        return;
    }
    followingSelection_ = true;
    if (index.isValid()) {
        setCurrentIndex(index);
    } else {
        clearSelection();
        setCurrentIndex({});
    }
    followingSelection_ = false;
}

void mytreectrl::TellTreeAboutExpansion(const QModelIndex& index, ExpandAction action) {
    if (followingExpansion_ || tree_ == nullptr) {
        return;
    }
    followingExpansion_ = true;
    tree_->Expand(itemModel_->ItemOf(index), action);
    followingExpansion_ = false;
}

}  // namespace lumarest
