#include "app/page_widgets.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

namespace lumarest {

QLabel* MakeCaption(const char* text, const char* objectName) {
    auto* label = new QLabel(QString::fromUtf8(text));
    label->setObjectName(QString::fromUtf8(objectName));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QPushButton* MakeButton(const char* caption, const char* objectName) {
    auto* button = new QPushButton(QString::fromUtf8(caption));
    button->setObjectName(QString::fromUtf8(objectName));
    // Enter in a field must never press a wizard button.
    button->setAutoDefault(false);
    return button;
}

QTreeView* MakeDetailsList(QAbstractItemModel* model) {
    auto* list = new QTreeView;
    list->setRootIsDecorated(false);
    list->setAlternatingRowColors(true);
    list->setUniformRowHeights(true);
    list->header()->setStretchLastSection(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setModel(model);
    return list;
}

void ResizeColumns(QTreeView* list, const std::vector<std::pair<std::string, int>>& columns) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        list->header()->resizeSection(static_cast<int>(i), columns[i].second);
    }
}

}  // namespace lumarest
