#pragma once

#include <QWidget>

class QAction;
class QToolButton;

namespace lumarest {

// The band across the top of the window: the product picture and name, and the window menu
// with "About Lumarest..." (also its context menu), standing in for the system menu item that
// Linux windows do not offer.
class HeaderBand : public QWidget {
    Q_OBJECT

  public:
    explicit HeaderBand(QWidget* parent = nullptr);

    QAction* aboutAction = nullptr;
    QToolButton* menuButton = nullptr;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace lumarest
