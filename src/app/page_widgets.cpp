#include "app/page_widgets.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/recovery_run.h"

namespace lumarest {

namespace {
constexpr int kColumnSpacing = 12;

PageColumn MakeColumn(const char* caption, const char* captionName) {
    PageColumn column;
    column.widget = new QWidget;
    column.layout = new QVBoxLayout(column.widget);
    column.layout->setContentsMargins(0, 0, 0, 0);
    column.caption = MakeCaption(caption, captionName);
    column.layout->addWidget(column.caption);
    return column;
}
}  // namespace

PageColumn MakeLeftColumn(const char* caption, const char* captionName) {
    PageColumn column = MakeColumn(caption, captionName);
    column.widget->setFixedWidth(kLeftPanelWidth);
    return column;
}

PageColumn MakeRightColumn(const char* caption, const char* captionName) {
    return MakeColumn(caption, captionName);
}

QWidget* MakePage(QWidget* leftColumn, QWidget* rightColumn) {
    auto* page = new QWidget;
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kColumnSpacing);
    layout->addWidget(leftColumn);
    layout->addWidget(rightColumn, 1);
    return page;
}

namespace {
const char* const kChosenDiskCaption = "Chosen disk";
constexpr int kDiskCardMargin = 10;
}  // namespace

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

QLabel* MakeDiskCard(const char* objectName) {
    auto* card = new QLabel;
    card->setObjectName(QString::fromUtf8(objectName));
    card->setWordWrap(true);
    card->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    card->setFrameShape(QFrame::StyledPanel);
    card->setMargin(kDiskCardMargin);
    return card;
}

QString ChosenDiskCardText(const RecoveryRun& run) {
    QString card = QStringLiteral("<b>%1</b><br><br>").arg(QString::fromUtf8(kChosenDiskCaption));
    if (run.diskTree) {
        card +=
            QString::fromStdString(run.diskTree->Text(run.diskTree->Selected())).toHtmlEscaped();
    }
    if (!run.shownDisk.model.empty()) {
        card += QStringLiteral("<br>%1").arg(
            QString::fromStdString(run.shownDisk.model).toHtmlEscaped());
    }
    if (!run.shownDisk.capacityText.empty()) {
        card += QStringLiteral("<br>%1, %2 sectors")
                    .arg(QString::fromStdString(run.shownDisk.capacityText),
                         QString::fromStdString(run.shownDisk.totalSectorsText));
    }
    return card;
}

}  // namespace lumarest
