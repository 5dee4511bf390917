// The window's colours from the desktop: in a light theme the window keeps its
// grey (#C0C0C0) face, in a dark one it takes the desktop's palette whole, so
// text stays readable either way. The highlight labels carry their own
// colours (and dark text) in their style sheets.
#pragma once

#include <QObject>
#include <QPalette>

// Whether `palette` draws light text on a dark window.
bool IsDarkPalette(const QPalette& palette);

// The window's palette under the desktop's `desktop` palette.
QPalette WindowPalette(const QPalette& desktop);

// WCAG contrast ratio of two colours, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// `wanted` (a verdict's red, an OK's green) made dark enough on a light
// `background`, or light enough on a dark one, to reach 4.5:1, its hue kept:
// text the program colours itself stays readable in any theme.
QColor ReadableOn(const QColor& wanted, const QColor& background);
// The same on the application's text background (QPalette::Base) now.
QColor ReadableOnBase(const QColor& wanted);
// A red that reads on the window's background: the colour of a problem said.
QColor ProblemColor(const QWidget* on);

// Applies WindowPalette to `window` now and whenever the desktop's palette changes.
class TDesktopPalette : public QObject {
    Q_OBJECT
public:
    explicit TDesktopPalette(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply();
    QWidget* window_;
    bool applying_ = false;
};
