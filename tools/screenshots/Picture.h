// The screenshot program's pictures, drawn at the screen's scale: a grab of a window is in device
// pixels, so the pictures it is drawn into are too.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>

class QWidget;

namespace screenshots {

// The height of the plain title bar drawn above a form.
inline constexpr int kCaption = 19;

// A picture `size` logical pixels large at `ratio` device pixels each, filled with `fill`.
QPixmap Canvas(QSize size, qreal ratio, const QColor& fill);

// The form as drawn now, under a plain title bar with its caption and the title-bar buttons its
// flags ask for (off screen there is no window manager to draw one).
QPixmap WithTitleBar(QWidget& form);

}  // namespace screenshots
