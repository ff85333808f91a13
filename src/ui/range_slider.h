#pragma once

#include <QWidget>

namespace lumarest {

// A horizontal range control with two thumbs: the left and right edges of a range between a
// minimum and a maximum. An inverted slider stores its values negated, so the edges read as
// -right and -left. A visual range may be shaded on the track behind the chosen range.
class CRangeSlider : public QWidget {
    Q_OBJECT

  public:
    explicit CRangeSlider(QWidget* parent = nullptr);

    void SetMinMax(double minimum, double maximum);
    // The edges, kept inside the minimum and maximum and in order.
    void SetRange(double left, double right);
    void SetVisualMinMax(double visualMinimum, double visualMaximum);
    void SetInverted(bool inverted);

    double Min() const { return min_; }
    double Max() const { return max_; }
    double Left() const { return left_; }
    double Right() const { return right_; }
    double VisualMin() const { return visualMin_; }
    double VisualMax() const { return visualMax_; }
    bool Inverted() const { return inverted_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    // The user moved an edge, with the mouse or the keyboard.
    void RangeChanged(double left, double right);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    enum class Thumb { None, Left, Right };

    QRectF Track() const;
    double PositionOf(double value) const;
    double ValueAt(double x) const;
    QRectF ThumbRect(double value) const;
    Thumb ThumbNear(const QPointF& point) const;
    void MoveThumb(Thumb thumb, double value);

    double min_ = 0;
    double max_ = 100;
    double left_ = 0;
    double right_ = 100;
    double visualMin_ = 0;
    double visualMax_ = 0;
    bool inverted_ = false;
    Thumb dragged_ = Thumb::None;
    Thumb focused_ = Thumb::Left;
};

}  // namespace lumarest
