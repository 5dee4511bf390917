#include "ui/desktoppalette.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

const QColor kWindowFace(0xC0, 0xC0, 0xC0);

double Luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
           0.0722 * channel(c.blueF());
}

}  // namespace

bool IsDarkPalette(const QPalette& palette) {
    return Luminance(palette.color(QPalette::Window)) <
           Luminance(palette.color(QPalette::WindowText));
}

QPalette WindowPalette(const QPalette& desktop) {
    QPalette p = desktop;
    if (!IsDarkPalette(desktop)) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, QPalette::Window, kWindowFace);
    }
    return p;
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& background) {
    constexpr double kReadable = 4.5;
    const bool darkBackground = Luminance(background) < 0.18;
    QColor c = wanted.toHsl();
    for (int step = 0; step < 100 && ContrastRatio(c, background) < kReadable; ++step) {
        const double l = c.lightnessF() + (darkBackground ? 0.02 : -0.02);
        c = QColor::fromHslF(c.hslHueF(), c.hslSaturationF(), std::clamp(l, 0.0, 1.0));
    }
    return c.toRgb();
}

QColor ReadableOnBase(const QColor& wanted) {
    return ReadableOn(wanted, QApplication::palette().color(QPalette::Base));
}

QColor ProblemColor(const QWidget* on) {
    return ReadableOn(QColor(0xC6, 0x28, 0x28), on->palette().color(QPalette::Window));
}

TDesktopPalette::TDesktopPalette(QWidget* window) : QObject(window), window_(window) {
    window->installEventFilter(this);
    Apply();
}

bool TDesktopPalette::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::ApplicationPaletteChange && !applying_)
        Apply();
    return false;
}

void TDesktopPalette::Apply() {
    applying_ = true;
    window_->setPalette(WindowPalette(QApplication::palette()));
    applying_ = false;
}
