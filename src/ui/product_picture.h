#pragma once

#include <QIcon>
#include <QPainter>
#include <QRectF>

namespace lumarest {

// The product picture: a photo card coming back under a magnifying glass. Drawn, not loaded,
// so the program needs no picture files beside it.
void DrawProductPicture(QPainter& painter, const QRectF& area);

// The window icon, drawn at the usual icon sizes.
QIcon ProductIcon();

}  // namespace lumarest
