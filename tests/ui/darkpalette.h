// A dark desktop's palette, as a dark theme gives the application: light text
// on dark grey windows and bases.
#pragma once

#include <QPalette>

inline QPalette DarkPalette() {
    QPalette p;
    const struct {
        QPalette::ColorRole role;
        QColor color;
    } roles[] = {{QPalette::Window, QColor(0x2B, 0x2B, 0x2B)},
                 {QPalette::WindowText, QColor(0xE6, 0xE6, 0xE6)},
                 {QPalette::Base, QColor(0x1E, 0x1E, 0x1E)},
                 {QPalette::AlternateBase, QColor(0x33, 0x33, 0x33)},
                 {QPalette::Text, QColor(0xE6, 0xE6, 0xE6)},
                 {QPalette::Button, QColor(0x3A, 0x3A, 0x3A)},
                 {QPalette::ButtonText, QColor(0xE6, 0xE6, 0xE6)},
                 {QPalette::ToolTipBase, QColor(0x3A, 0x3A, 0x3A)},
                 {QPalette::ToolTipText, QColor(0xE6, 0xE6, 0xE6)},
                 {QPalette::PlaceholderText, QColor(0xA0, 0xA0, 0xA0)}};
    for (const auto& r : roles) p.setColor(r.role, r.color);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0xA0, 0xA0, 0xA0));
    return p;
}
