#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <functional>

#include "core/text_table.h"
#include "ui/deleted_mark.h"

namespace lumarest {

// Shows a lumarest::TextTable (the details list, the file list) to a Qt view. The engines
// fill the table; Reload() tells the view after they have.
class TextTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit TextTableModel(const TextTable& table, QObject* parent = nullptr);

    void Reload();
    // Gives the first column of each row a picture, chosen from the row's cells.
    using RowIcon = std::function<QIcon(const std::vector<std::string>& row)>;
    void SetRowIcon(RowIcon rowIcon) { rowIcon_ = std::move(rowIcon); }
    // Rows this answers true for are drawn as deleted, with the tooltip saying so.
    using RowDeleted = std::function<bool(std::size_t row)>;
    void SetRowDeleted(RowDeleted rowDeleted) { rowDeleted_ = std::move(rowDeleted); }
    // Deleted rows this answers true for are marked truncated in their tooltip.
    void SetRowTruncated(RowDeleted rowTruncated) { rowTruncated_ = std::move(rowTruncated); }
    // Deleted rows this answers true for are marked name only in their tooltip.
    void SetRowNameOnly(RowDeleted rowNameOnly) { rowNameOnly_ = std::move(rowNameOnly); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    const TextTable& table_;
    RowIcon rowIcon_;
    RowDeleted rowDeleted_;
    RowDeleted rowTruncated_;
    RowDeleted rowNameOnly_;
    mutable DeletedIconCache deletedIcons_;
};

}  // namespace lumarest
