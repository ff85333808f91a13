#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "core/reporter.h"

class QLabel;

namespace lumarest {

class CTextProgressCtrl;

// What a running search shows: the statistics captions and values, the phase label over the
// main scan bar, and the tree-loading bar of the second phase.
class SearchStatisticsPanel : public QWidget {
    Q_OBJECT

  public:
    static constexpr std::size_t kStatistics = 8;
    // The statistics of the caption/value grid; the others are the raw search's progress texts.
    static constexpr std::size_t kGridStatistics = 6;

    explicit SearchStatisticsPanel(QWidget* parent = nullptr);

    QLabel* Caption(Statistic which) const;
    QLabel* Value(Statistic which) const;
    // Captions carry tabs that lined them up in a fixed font; the grid lines them up here, so
    // the label shows the caption with its runs of blanks made one, and keeps the text as given.
    void SetCaption(Statistic which, const std::string& caption);
    const std::string& CaptionText(Statistic which) const;

    QWidget* statistics = nullptr;  // the caption/value grid
    // A raw search's "Sectors  N of M" and the carving pass that runs.
    QWidget* carvingRow = nullptr;
    QLabel* phaseLabel = nullptr;
    QWidget* mainScanRow = nullptr;
    CTextProgressCtrl* mainScanBar = nullptr;
    QWidget* treeLoadingRow = nullptr;
    CTextProgressCtrl* treeLoadingBar = nullptr;

  private:
    std::array<QLabel*, kStatistics> captions_{};
    std::array<QLabel*, kStatistics> values_{};
    std::array<std::string, kStatistics> captionTexts_;
};

}  // namespace lumarest
