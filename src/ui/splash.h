#pragma once

#include <QDialog>

namespace lumarest {

// The splash box shown before the wizard: the product picture and the title, closing itself.
class CSplash : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kShowMilliseconds = 2000;

    explicit CSplash(QWidget* parent = nullptr, int showMilliseconds = kShowMilliseconds);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace lumarest
