#include "app/search_statistics_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/text_progress_ctrl.h"

namespace lumarest {

namespace {
// Captions in the order of the Statistic values.
constexpr const char* kCaptions[SearchStatisticsPanel::kStatistics] = {
    "Searching in Physical Drive\t:",
    "Searching from sectors",
    "Selected File System\t\t:",
    "Searching Criteria\t\t:",
    "Directories Found\t\t\t:",
    "Boot Sectors Found\t\t:",
    "",
    "",
};
const char* const kTreeLoadingCaption = "Loading tree, Please Wait...";
const char* const kStatisticsTitle = "Search statistics";

CTextProgressCtrl* MakeBar(const char* objectName) {
    auto* bar = new CTextProgressCtrl;
    bar->setObjectName(QString::fromUtf8(objectName));
    return bar;
}
}  // namespace

SearchStatisticsPanel::SearchStatisticsPanel(QWidget* parent) : QWidget(parent) {
    auto* group = new QGroupBox(QString::fromUtf8(kStatisticsTitle));
    statistics = group;
    auto* grid = new QGridLayout(group);
    for (std::size_t i = 0; i < kGridStatistics; ++i) {
        captions_[i] = new QLabel;
        SetCaption(static_cast<Statistic>(i), kCaptions[i]);
        values_[i] = new QLabel;
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(captions_[i], static_cast<int>(i), 0);
        grid->addWidget(values_[i], static_cast<int>(i), 1);
    }
    grid->setColumnStretch(1, 1);
    group->hide();

    carvingRow = new QWidget;
    auto* carvingLayout = new QVBoxLayout(carvingRow);
    carvingLayout->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = kGridStatistics; i < kStatistics; ++i) {
        // Nothing captions these texts; the labels exist so every statistic has one.
        captions_[i] = new QLabel(carvingRow);
        captions_[i]->hide();
        values_[i] = new QLabel;
        carvingLayout->addWidget(values_[i]);
    }
    values_[static_cast<std::size_t>(Statistic::SectorProgress)]->setObjectName(
        QStringLiteral("sectorProgressLabel"));
    values_[static_cast<std::size_t>(Statistic::SearchMethod)]->setObjectName(
        QStringLiteral("searchMethodLabel"));
    carvingRow->hide();

    mainScanRow = new QWidget;
    auto* mainLayout = new QVBoxLayout(mainScanRow);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    phaseLabel = new QLabel;
    phaseLabel->setObjectName(QStringLiteral("phaseLabel"));
    mainScanBar = MakeBar("mainScanBar");
    mainLayout->addWidget(phaseLabel);
    mainLayout->addWidget(mainScanBar);
    mainScanRow->hide();

    treeLoadingRow = new QWidget;
    auto* treeLayout = new QVBoxLayout(treeLoadingRow);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->addWidget(new QLabel(QString::fromUtf8(kTreeLoadingCaption)));
    treeLoadingBar = MakeBar("treeLoadingBar");
    treeLayout->addWidget(treeLoadingBar);
    treeLoadingRow->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    layout->addWidget(carvingRow);
    layout->addWidget(mainScanRow);
    layout->addWidget(treeLoadingRow);
}

QLabel* SearchStatisticsPanel::Caption(Statistic which) const {
    return captions_[static_cast<std::size_t>(which)];
}

void SearchStatisticsPanel::SetCaption(Statistic which, const std::string& caption) {
    const auto i = static_cast<std::size_t>(which);
    captionTexts_[i] = caption;
    captions_[i]->setText(QString::fromStdString(caption).simplified());
}

const std::string& SearchStatisticsPanel::CaptionText(Statistic which) const {
    return captionTexts_[static_cast<std::size_t>(which)];
}

QLabel* SearchStatisticsPanel::Value(Statistic which) const {
    return values_[static_cast<std::size_t>(which)];
}

}  // namespace lumarest
