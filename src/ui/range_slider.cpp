#include "ui/range_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace lumarest {

namespace {
constexpr double kThumbWidth = 12;
constexpr double kThumbHeight = 20;
constexpr double kTrackHeight = 6;
constexpr int kTickCount = 10;
// Arrow keys move the focused thumb by this share of the whole range; Page keys by ten times.
constexpr double kKeyStepShare = 0.01;
const QColor kTrackColour(0xdc, 0xe2, 0xe9);
const QColor kTrackBorder(0xa8, 0xb3, 0xbf);
const QColor kRangeColour(0x1f, 0x6f, 0xb2);
const QColor kVisualColour(0x9c, 0xc3, 0xe6);
const QColor kThumbColour(0xfa, 0xfb, 0xfc);
const QColor kThumbBorder(0x4a, 0x5a, 0x6b);
const QColor kFocusColour(0x1f, 0x6f, 0xb2);
}  // namespace

CRangeSlider::CRangeSlider(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(false);
}

void CRangeSlider::SetMinMax(double minimum, double maximum) {
    if (maximum < minimum) {
        std::swap(minimum, maximum);
    }
    min_ = inverted_ ? -maximum : minimum;
    max_ = inverted_ ? -minimum : maximum;
    SetRange(inverted_ ? -right_ : left_, inverted_ ? -left_ : right_);
}

void CRangeSlider::SetRange(double left, double right) {
    if (inverted_) {
        const double negatedLeft = -right;
        right = -left;
        left = negatedLeft;
    }
    left_ = std::clamp(std::min(left, right), min_, max_);
    right_ = std::clamp(std::max(left, right), min_, max_);
    update();
}

void CRangeSlider::SetVisualMinMax(double visualMinimum, double visualMaximum) {
    visualMin_ = std::min(visualMinimum, visualMaximum);
    visualMax_ = std::max(visualMinimum, visualMaximum);
    update();
}

void CRangeSlider::SetInverted(bool inverted) {
    if (inverted == inverted_) {
        return;
    }
    inverted_ = inverted;
    // The stored values change sign and swap ends.
    const double oldMin = min_;
    min_ = -max_;
    max_ = -oldMin;
    const double oldLeft = left_;
    left_ = -right_;
    right_ = -oldLeft;
    update();
}

QSize CRangeSlider::sizeHint() const {
    return {300, static_cast<int>(kThumbHeight) + 12};
}

QSize CRangeSlider::minimumSizeHint() const {
    return {80, static_cast<int>(kThumbHeight) + 12};
}

QRectF CRangeSlider::Track() const {
    const double half = kThumbWidth / 2 + 1;
    const double middle = (height() - 8) / 2.0;
    return {half, middle - kTrackHeight / 2, std::max(1.0, width() - 2 * half), kTrackHeight};
}

double CRangeSlider::PositionOf(double value) const {
    const QRectF track = Track();
    if (max_ <= min_) {
        return track.left();
    }
    return track.left() + track.width() * (value - min_) / (max_ - min_);
}

double CRangeSlider::ValueAt(double x) const {
    const QRectF track = Track();
    const double share = std::clamp((x - track.left()) / track.width(), 0.0, 1.0);
    return std::round(min_ + share * (max_ - min_));
}

QRectF CRangeSlider::ThumbRect(double value) const {
    const QRectF track = Track();
    const double x = PositionOf(value);
    return {x - kThumbWidth / 2, track.center().y() - kThumbHeight / 2, kThumbWidth, kThumbHeight};
}

CRangeSlider::Thumb CRangeSlider::ThumbNear(const QPointF& point) const {
    const double toLeft = std::abs(point.x() - PositionOf(left_));
    const double toRight = std::abs(point.x() - PositionOf(right_));
    // Thumbs on top of each other: the side the user pulls towards decides.
    if (toLeft == toRight) {
        return point.x() < PositionOf(left_) ? Thumb::Left : Thumb::Right;
    }
    return toLeft < toRight ? Thumb::Left : Thumb::Right;
}

void CRangeSlider::MoveThumb(Thumb thumb, double value) {
    value = std::clamp(value, min_, max_);
    if (thumb == Thumb::Left) {
        value = std::min(value, right_);
        if (value == left_) {
            return;
        }
        left_ = value;
    } else if (thumb == Thumb::Right) {
        value = std::max(value, left_);
        if (value == right_) {
            return;
        }
        right_ = value;
    } else {
        return;
    }
    update();
    emit RangeChanged(left_, right_);
}

void CRangeSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = Track();

    painter.setPen(kTrackBorder);
    painter.setBrush(kTrackColour);
    painter.drawRoundedRect(track, 3, 3);

    if (visualMax_ > visualMin_) {
        QRectF visual = track;
        visual.setLeft(PositionOf(std::clamp(visualMin_, min_, max_)));
        visual.setRight(PositionOf(std::clamp(visualMax_, min_, max_)));
        painter.fillRect(visual, kVisualColour);
    }
    QRectF chosen = track;
    chosen.setLeft(PositionOf(left_));
    chosen.setRight(PositionOf(right_));
    painter.setPen(Qt::NoPen);
    painter.setBrush(isEnabled() ? kRangeColour : kTrackBorder);
    painter.drawRoundedRect(chosen, 3, 3);

    painter.setPen(kTrackBorder);
    const double tickTop = track.bottom() + kThumbHeight / 2 - 1;
    for (int tick = 0; tick <= kTickCount; ++tick) {
        const double x = track.left() + track.width() * tick / kTickCount;
        painter.drawLine(QPointF(x, tickTop), QPointF(x, tickTop + 4));
    }

    for (const Thumb thumb : {Thumb::Left, Thumb::Right}) {
        const QRectF shape = ThumbRect(thumb == Thumb::Left ? left_ : right_);
        QPainterPath path;
        path.addRoundedRect(shape, 3, 3);
        const bool marked = hasFocus() && focused_ == thumb;
        painter.setPen(QPen(marked ? kFocusColour : kThumbBorder, marked ? 2 : 1));
        painter.setBrush(kThumbColour);
        painter.drawPath(path);
        painter.setPen(kTrackBorder);
        const double middle = shape.center().x();
        painter.drawLine(QPointF(middle, shape.top() + 5), QPointF(middle, shape.bottom() - 5));
    }
}

void CRangeSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragged_ = ThumbNear(event->position());
    focused_ = dragged_;
    MoveThumb(dragged_, ValueAt(event->position().x()));
    update();
}

void CRangeSlider::mouseMoveEvent(QMouseEvent* event) {
    if (dragged_ != Thumb::None && (event->buttons() & Qt::LeftButton)) {
        MoveThumb(dragged_, ValueAt(event->position().x()));
    }
}

void CRangeSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragged_ = Thumb::None;
    }
}

void CRangeSlider::keyPressEvent(QKeyEvent* event) {
    const double step = std::max(1.0, std::round((max_ - min_) * kKeyStepShare));
    const double current = focused_ == Thumb::Left ? left_ : right_;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            MoveThumb(focused_, current - step);
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            MoveThumb(focused_, current + step);
            break;
        case Qt::Key_PageDown:
            MoveThumb(focused_, current - 10 * step);
            break;
        case Qt::Key_PageUp:
            MoveThumb(focused_, current + 10 * step);
            break;
        case Qt::Key_Home:
            MoveThumb(focused_, min_);
            break;
        case Qt::Key_End:
            MoveThumb(focused_, max_);
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

}  // namespace lumarest
