// A window's first size: what it would like, no larger than the screen's
// free area (less the title bar), so a small laptop screen still shows its
// bottom edge, where the results are said.
#pragma once

#include <QScreen>
#include <QStyle>
#include <QWidget>

inline QSize FittedSize(const QWidget* window, QSize preferred) {
    const QScreen* screen = window->screen();
    if (!screen) return preferred;
    const QSize free = screen->availableGeometry().size() -
                       QSize(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight));
    return preferred.boundedTo(free);
}
