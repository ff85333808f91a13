#include "ui/tree_item_model.h"

#include <QMetaObject>
#include <QThread>

#include "ui/tree_images.h"

namespace lumarest {

namespace {
Qt::CheckState CheckStateOf(int stateImage) {
    switch (stateImage) {
        case 2:
            return Qt::Checked;
        case 3:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}
}  // namespace

TreeItemModel::TreeItemModel(TreeModel& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree) {
    Rebuild();
    tree_.SetObserver(this);
}

TreeItemModel::~TreeItemModel() {
    if (!treeGone_) {
        tree_.SetObserver(nullptr);
    }
}

void TreeItemModel::TreeDestroyed() {
    OnModelThread([this] {
        beginResetModel();
        treeGone_ = true;
        children_.clear();
        parentOf_.clear();
        rowOf_.clear();
        children_[kNoItem];
        endResetModel();
    });
}

template <typename Change>
void TreeItemModel::OnModelThread(Change change) {
    if (QThread::currentThread() == thread()) {
        change();
    } else {
        QMetaObject::invokeMethod(this, change, Qt::BlockingQueuedConnection);
    }
}

void TreeItemModel::Rebuild() {
    children_.clear();
    parentOf_.clear();
    rowOf_.clear();
    children_[kNoItem];
    for (TreeItem top : tree_.Children(kNoItem)) {
        AddShape(top);
    }
}

void TreeItemModel::AddShape(TreeItem item) {
    const TreeItem parent = tree_.Parent(item);
    auto& siblings = children_[parent];
    rowOf_[item] = static_cast<int>(siblings.size());
    siblings.push_back(item);
    parentOf_[item] = parent;
    children_[item];
    for (TreeItem child : tree_.Children(item)) {
        AddShape(child);
    }
}

void TreeItemModel::ForgetShape(TreeItem item) {
    const auto found = children_.find(item);
    if (found != children_.end()) {
        const std::vector<TreeItem> children = std::move(found->second);
        children_.erase(found);
        for (TreeItem child : children) {
            ForgetShape(child);
        }
    }
    parentOf_.erase(item);
    rowOf_.erase(item);
}

void TreeItemModel::Renumber(TreeItem parent) {
    const auto& siblings = children_[parent];
    for (std::size_t row = 0; row < siblings.size(); ++row) {
        rowOf_[siblings[row]] = static_cast<int>(row);
    }
}

TreeItem TreeItemModel::ItemOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TreeItem>(index.internalId()) : kNoItem;
}

QModelIndex TreeItemModel::IndexOf(TreeItem item) const {
    const auto row = rowOf_.find(item);
    if (item == kNoItem || row == rowOf_.end()) {
        return {};
    }
    return createIndex(row->second, 0, static_cast<quintptr>(item));
}

QModelIndex TreeItemModel::index(int row, int column, const QModelIndex& parent) const {
    const auto found = children_.find(ItemOf(parent));
    if (column != 0 || row < 0 || found == children_.end() ||
        row >= static_cast<int>(found->second.size())) {
        return {};
    }
    return createIndex(row, 0, static_cast<quintptr>(found->second[row]));
}

QModelIndex TreeItemModel::parent(const QModelIndex& child) const {
    const auto found = parentOf_.find(ItemOf(child));
    return found == parentOf_.end() ? QModelIndex() : IndexOf(found->second);
}

int TreeItemModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    const auto found = children_.find(ItemOf(parent));
    return found == children_.end() ? 0 : static_cast<int>(found->second.size());
}

int TreeItemModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant TreeItemModel::data(const QModelIndex& index, int role) const {
    const TreeItem item = ItemOf(index);
    if (item == kNoItem) {
        return {};
    }
    const bool deleted = itemDeleted_ && itemDeleted_(item);
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(tree_.Text(item));
        case Qt::ToolTipRole:
            return deleted ? QString::fromUtf8(kDeletedToolTip)
                           : QString::fromStdString(tree_.Text(item));
        case kDeletedRole:
            return deleted;
        case Qt::DecorationRole: {
            const int image = tree_.Image(item);
            const int selectedImage = tree_.SelectedImage(item);
            if (deleted) {
                const qint64 key = (qint64{image} << 32) | static_cast<quint32>(selectedImage);
                return deletedIcons_.Marked(key, TreeItemIcon(image, selectedImage));
            }
            return TreeItemIcon(image, selectedImage);
        }
        case Qt::CheckStateRole:
            if (tree_.CheckState(item) == 0) {
                return {};
            }
            return CheckStateOf(tree_.CheckState(item));
        default:
            return {};
    }
}

Qt::ItemFlags TreeItemModel::flags(const QModelIndex& index) const {
    // Check boxes are toggled by the tree control's own click handling, not by the view.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TreeItemModel::ItemInserted(TreeItem item) {
    OnModelThread([this, item] {
        if (rowOf_.count(item) != 0 || !tree_.Exists(item)) {
            return;
        }
        const TreeItem parent = tree_.Parent(item);
        const int row = static_cast<int>(children_[parent].size());
        beginInsertRows(IndexOf(parent), row, row);
        AddShape(item);
        endInsertRows();
    });
}

void TreeItemModel::ItemRemoving(TreeItem item) {
    OnModelThread([this, item] {
        const auto row = rowOf_.find(item);
        if (row == rowOf_.end()) {
            return;
        }
        const TreeItem parent = parentOf_[item];
        beginRemoveRows(IndexOf(parent), row->second, row->second);
        auto& siblings = children_[parent];
        siblings.erase(siblings.begin() + row->second);
        ForgetShape(item);
        Renumber(parent);
        endRemoveRows();
    });
}

void TreeItemModel::ItemChanged(TreeItem item) {
    OnModelThread([this, item] {
        const QModelIndex index = IndexOf(item);
        if (!index.isValid()) {
            return;
        }
        emit dataChanged(index, index);
        emit ExpansionChanged(index, tree_.IsExpanded(item));
    });
}

void TreeItemModel::SelectionChanged(TreeItem item) {
    OnModelThread([this, item] { emit CurrentItemChanged(IndexOf(item)); });
}

void TreeItemModel::ChildrenReordered(TreeItem parent) {
    OnModelThread([this, parent] {
        if (children_.count(parent) == 0) {
            return;
        }
        const QModelIndex parentIndex = IndexOf(parent);
        emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)});
        const QModelIndexList before = persistentIndexList();
        std::vector<TreeItem> movedItems;
        movedItems.reserve(before.size());
        for (const QModelIndex& index : before) {
            movedItems.push_back(ItemOf(index));
        }
        children_[parent] = tree_.Children(parent);
        Renumber(parent);
        QModelIndexList after;
        after.reserve(before.size());
        for (TreeItem item : movedItems) {
            after.push_back(IndexOf(item));
        }
        changePersistentIndexList(before, after);
        emit layoutChanged({QPersistentModelIndex(parentIndex)});
    });
}

}  // namespace lumarest
