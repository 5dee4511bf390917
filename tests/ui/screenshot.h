// Pictures for the documentation: with TAVRIX_SCREENSHOTS set to a folder
// (and a display server, e.g. under xvfb-run with QT_QPA_PLATFORM=xcb), a
// test saves the widget it has brought into the state worth showing.
#pragma once

#include <QTest>
#include <QWidget>
#include <cstdlib>

inline void SaveScreenshot(QWidget* widget, const char* name) {
    if (const char* dir = std::getenv("TAVRIX_SCREENSHOTS")) {
        QTest::qWait(300);  // let the window manager map and paint it
        widget->grab().save(QString("%1/%2").arg(dir, name));
    }
}
