#include "ui/text_table_model.h"

namespace lumarest {

TextTableModel::TextTableModel(const TextTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

void TextTableModel::Reload() {
    beginResetModel();
    endResetModel();
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.RowCount());
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.ColumnCount());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= table_.RowCount()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const bool deleted = rowDeleted_ && rowDeleted_(row);
    if (role == kDeletedRole) {
        return deleted;
    }
    const bool truncated = deleted && rowTruncated_ && rowTruncated_(row);
    if (role == kTruncatedRole) {
        return truncated;
    }
    const bool nameOnly = deleted && rowNameOnly_ && rowNameOnly_(row);
    if (role == kNameOnlyRole) {
        return nameOnly;
    }
    if (role == Qt::DecorationRole && index.column() == 0 && rowIcon_) {
        const QIcon icon = rowIcon_(table_.Row(row));
        return deleted ? deletedIcons_.Marked(icon.cacheKey(), icon) : icon;
    }
    if (role == Qt::ToolTipRole && index.column() == 0 && deleted) {
        return QString::fromUtf8(nameOnly    ? kNameOnlyToolTip
                                 : truncated ? kTruncatedToolTip
                                             : kDeletedToolTip);
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    return QString::fromStdString(table_.Cell(static_cast<std::size_t>(index.row()),
                                              static_cast<std::size_t>(index.column())));
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        static_cast<std::size_t>(section) >= table_.ColumnCount()) {
        return {};
    }
    return QString::fromStdString(table_.ColumnNames()[static_cast<std::size_t>(section)]);
}

}  // namespace lumarest
