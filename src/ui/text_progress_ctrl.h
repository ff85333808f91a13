#pragma once

#include <QString>
#include <QWidget>

namespace lumarest {

// A progress bar that draws its percentage, or the text the engine gave it, on itself, so
// the text stays readable whatever the widget style does with a bar's label.
class CTextProgressCtrl : public QWidget {
    Q_OBJECT

  public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    // Position 0 to 100; values outside are held at the ends.
    void SetPos(int position);
    int Pos() const { return position_; }
    // Drawn before the percentage while not empty ("Completed 42%").
    void SetText(const QString& text);
    const QString& Text() const { return text_; }
    // What the bar shows: "NN%", after the text when there is one.
    QString ShownText() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int position_ = 0;
    QString text_;
};

}  // namespace lumarest
