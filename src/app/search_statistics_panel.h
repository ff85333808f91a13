#pragma once

#include <QWidget>
#include <array>

#include "core/reporter.h"

class QLabel;

namespace lumarest {

class CTextProgressCtrl;

// What a running search shows: the statistics captions and values, the phase label over the
// main scan bar, and the tree-loading bar of the second phase.
class SearchStatisticsPanel : public QWidget {
    Q_OBJECT

  public:
    static constexpr std::size_t kStatistics = 6;

    explicit SearchStatisticsPanel(QWidget* parent = nullptr);

    QLabel* Caption(Statistic which) const;
    QLabel* Value(Statistic which) const;

    QWidget* statistics = nullptr;  // the caption/value grid
    QLabel* phaseLabel = nullptr;
    QWidget* mainScanRow = nullptr;
    CTextProgressCtrl* mainScanBar = nullptr;
    QWidget* treeLoadingRow = nullptr;
    CTextProgressCtrl* treeLoadingBar = nullptr;

  private:
    std::array<QLabel*, kStatistics> captions_{};
    std::array<QLabel*, kStatistics> values_{};
};

}  // namespace lumarest
