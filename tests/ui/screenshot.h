// Pictures for the documentation: with TAVRIX_SCREENSHOTS set to a folder
// (and a display server, e.g. under xvfb-run with QT_QPA_PLATFORM=xcb), a
// test saves the widget it has brought into the state worth showing.
// scripts/screenshots takes them under a window manager on a 1024x768
// screen, with TAVRIX_SCREENSHOTS_FRAMED set: a window is then taken as the
// screen shows it, its frame and title bar with it.
#pragma once

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cstdlib>

#include "darkpalette.h"

inline void SaveScreenshot(QWidget* widget, const char* name) {
    const char* dir = std::getenv("TAVRIX_SCREENSHOTS");
    if (!dir) return;
    QTest::qWait(300);  // let the window manager map and paint it
    QPixmap shot;
    if (std::getenv("TAVRIX_SCREENSHOTS_FRAMED") && widget->isWindow()) {
        const QRect frame = widget->frameGeometry();
        shot = widget->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                            frame.height());
    } else {
        shot = widget->grab();
    }
    shot.save(QString("%1/%2").arg(dir, name));
}

// The same under a dark desktop theme: the palette such a theme gives the
// application.
inline void SaveDarkScreenshot(QWidget* widget, const char* name) {
    if (!std::getenv("TAVRIX_SCREENSHOTS")) return;
    const QPalette desktop = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    SaveScreenshot(widget, name);
    QApplication::setPalette(desktop);
}

// The whole screen with `window` raised on it: how it sits on a small one.
inline void SaveScreenScreenshot(QWidget* window, const char* name) {
    const char* dir = std::getenv("TAVRIX_SCREENSHOTS");
    if (!dir) return;
    window->raise();
    window->activateWindow();
    QTest::qWait(500);
    window->screen()->grabWindow(0).save(QString("%1/%2").arg(dir, name));
}
