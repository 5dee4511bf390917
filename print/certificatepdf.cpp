#include "print/certificatepdf.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

namespace {

const QColor kInk(0x1e, 0x1e, 0x1e);
const QColor kMuted(0x60, 0x60, 0x60);
const QColor kRule(0xa8, 0xa8, 0xa8);
const QColor kStripe(0xf1, 0xf1, 0xf1);
const QColor kBadFill(0xfa, 0xd9, 0xd9);
const QColor kBadInk(0x9a, 0x0e, 0x0e);
const QColor kGoodFill(0xdc, 0xef, 0xde);
const QColor kGoodInk(0x13, 0x56, 0x20);

// Loop check lines beyond this are left to the JSON certificate, so that a long
// log never pushes the settings off the page.
constexpr int kMaxLoopCheckLines = 10;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QFont Font(double points, bool bold = false, bool italic = false, bool condensed = false) {
    QFont f;
    if (condensed)
        f.setFamilies({"DejaVu Sans Condensed", "Liberation Sans Narrow", "Arial Narrow",
                       "DejaVu Sans", "Liberation Sans", "Arial"});
    else
        f.setFamilies({"DejaVu Sans", "Liberation Sans", "Arial", "Helvetica"});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    // Any letter spacing turns ligatures off, so "fl" in a setting's name stays
    // two letters when the text is searched or copied out of the PDF.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
    return f;
}

QFont TableFont(double points, bool bold = false) { return Font(points, bold, false, true); }

int Mismatches(const Certificate& c) {
    return static_cast<int>(
        std::count_if(c.rows.begin(), c.rows.end(), [](const VerifyRow& r) { return r.mismatch; }));
}

QString ReadableDate(const std::string& iso) {
    const QDateTime when = QDateTime::fromString(Q(iso), Qt::ISODateWithMs);
    if (!when.isValid()) return Q(iso);
    return when.toString("yyyy-MM-dd HH:mm:ss") + "  (" + when.timeZoneAbbreviation() + ")";
}

// Device units, millimetres and text on the paintable area of the page.
class Canvas {
public:
    Canvas(QPainter& painter, double width, double height)
        : p_(painter),
          unit_(painter.device()->logicalDpiY() / 25.4),
          width_(width),
          height_(height) {}

    double mm(double v) const { return v * unit_; }
    double width() const { return width_; }
    double height() const { return height_; }
    QPainter& painter() { return p_; }

    double LineHeight(const QFont& f) const { return QFontMetricsF(f, p_.device()).height(); }
    double TextWidth(const QFont& f, const QString& s) const {
        return QFontMetricsF(f, p_.device()).horizontalAdvance(s);
    }

    // One line, cut with an ellipsis where it would run past the rectangle.
    void Line(const QRectF& r, const QString& s, const QFont& f, const QColor& ink,
              int align = Qt::AlignLeft) {
        const QString shown =
            QFontMetricsF(f, p_.device()).elidedText(s, Qt::ElideRight, r.width());
        p_.setFont(f);
        p_.setPen(ink);
        p_.drawText(r, align | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }

    // A table cell: a value a little too long is set in smaller type rather
    // than cut, since the record is worth more than an even look.
    void Cell(const QRectF& r, const QString& s, QFont f, const QColor& ink) {
        const double wide = TextWidth(f, s);
        if (wide > r.width()) f.setPointSizeF(f.pointSizeF() * std::max(0.8, r.width() / wide));
        Line(r, s, f, ink);
    }

    // Word-wrapped text from `y`; returns its height. Measures only unless `draw`.
    double Paragraph(double y, double x, double w, const QString& s, const QFont& f,
                     const QColor& ink, bool draw) {
        const QRectF bound(x, y, w, height_);
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        const QRectF used = QFontMetricsF(f, p_.device()).boundingRect(bound, flags, s);
        if (draw) {
            p_.setFont(f);
            p_.setPen(ink);
            p_.drawText(bound, flags, s);
        }
        return used.height();
    }

    void Rule(double y, double x0, double x1, const QColor& ink, double thicknessMm = 0.2) {
        p_.setPen(QPen(ink, mm(thicknessMm)));
        p_.drawLine(QPointF(x0, y), QPointF(x1, y));
    }

    void Fill(const QRectF& r, const QColor& colour) { p_.fillRect(r, colour); }

private:
    QPainter& p_;
    double unit_;
    double width_;
    double height_;
};

double Heading(Canvas& c, double y, const QString& text, bool draw) {
    const QFont f = Font(10, true);
    const double h = c.LineHeight(f);
    if (draw) c.Line(QRectF(0, y, c.width(), h), text, f, kInk);
    return h + c.mm(1.2);
}

// "label  value" with the labels in one column.
double Fact(Canvas& c, double y, double x, double w, const QString& label, const QString& value,
            bool draw) {
    const QFont labelFont = Font(8.5, false);
    const QFont valueFont = Font(9.5, true);
    const double h = c.LineHeight(valueFont) * 1.2;
    const double labelWidth = c.mm(22);
    if (draw) {
        c.Line(QRectF(x, y, labelWidth, h), label, labelFont, kMuted);
        c.Line(QRectF(x + labelWidth, y, w - labelWidth, h), value, valueFont, kInk);
    }
    return h;
}

double Top(Canvas& c, const Certificate& cert, bool draw) {
    double y = 0;
    const QFont title = Font(20, true);
    const double titleHeight = c.LineHeight(title);
    if (draw) {
        c.Line(QRectF(0, y, c.width(), titleHeight), "Commissioning certificate", title, kInk);
        c.Line(QRectF(0, y, c.width(), titleHeight), "Tavrix Configurator " + Q(cert.toolVersion),
               Font(8), kMuted, Qt::AlignRight);
    }
    y += titleHeight + c.mm(1);
    if (draw) c.Rule(y, 0, c.width(), kInk, 0.4);
    y += c.mm(2.5);

    const double half = c.width() / 2;
    y += Fact(c, y, 0, c.width(), "Module", Q(cert.moduleVersion), draw);
    y += std::max(Fact(c, y, 0, half, "Port", Q(cert.port), draw),
                  Fact(c, y, half, half, "Date", ReadableDate(cert.date), draw));
    y += Fact(c, y, 0, c.width(), "Profile", Q(cert.profileFile), draw);
    y += c.mm(2.5);

    const QFont verdictFont = Font(15, true);
    const double verdictHeight = c.LineHeight(verdictFont) * 1.6;
    if (draw) {
        const bool good = CertificateVerdict(cert).rfind("Verified", 0) == 0;
        const QRectF box(0, y, c.width(), verdictHeight);
        c.Fill(box, good ? kGoodFill : kBadFill);
        c.Line(box.adjusted(c.mm(3), 0, -c.mm(3), 0), Q(CertificateVerdict(cert)), verdictFont,
               good ? kGoodInk : kBadInk);
    }
    y += verdictHeight + c.mm(4);
    return y;
}

struct TableLayout {
    double points = 7;
    double rowHeight = 0;
    int columns = 1;
    int shown = 0;  // rows drawn; the rest are counted in a last line
};

double LineRow(Canvas& c, double points) { return c.LineHeight(TableFont(points)) * 1.3; }

constexpr double kMarkMm = 2.5;
constexpr double kPadMm = 0.6;
constexpr double kColumnGapMm = 4;

// The width a column of rows [from, to) needs at `points` to show every value whole.
double NeededWidth(Canvas& c, double points, const std::vector<VerifyRow>& rows, size_t from,
                   size_t to) {
    const QFont plain = TableFont(points);
    const QFont bold = TableFont(points, true);
    double name = c.TextWidth(bold, "Setting");
    double value = c.TextWidth(bold, "Read back");
    for (size_t i = from; i < to; ++i) {
        const VerifyRow& row = rows[i];
        name = std::max(name, c.TextWidth(plain, Q(row.setting)));
        value = std::max({value, c.TextWidth(plain, Q(row.wanted)),
                          c.TextWidth(row.mismatch ? bold : plain, Q(row.readBack))});
    }
    return c.mm(kMarkMm) + name + 2 * value + c.mm(6 * kPadMm);
}

// The largest readable type that fits the page, across and down: one column,
// else two side by side; as a last resort the rows that fit and a count.
// Room left over opens the rows up a little, so the page reads evenly.
TableLayout ChooseTableLayout(Canvas& c, double available, const std::vector<VerifyRow>& all) {
    const int rows = static_cast<int>(all.size());
    const double room = available - Heading(c, 0, {}, false);
    auto laid = [&](double points, int columns, int shown, int lines) {
        const double tight = LineRow(c, points);
        const double rowHeight = std::min(tight * 1.4, room / std::max(1, lines));
        return TableLayout{points, rowHeight, columns, shown};
    };
    const double half = (c.width() - c.mm(kColumnGapMm)) / 2;
    for (double points : {7.5, 7.0, 6.5, 6.0}) {
        // A line for the column titles above the rows.
        const int perColumn = static_cast<int>(room / LineRow(c, points)) - 1;
        if (rows <= perColumn && NeededWidth(c, points, all, 0, all.size()) <= c.width())
            return laid(points, 1, rows, rows + 1);
        const size_t split = (all.size() + 1) / 2;
        const double needed = std::max(NeededWidth(c, points, all, 0, split),
                                       NeededWidth(c, points, all, split, all.size()));
        if (rows <= 2 * perColumn && needed <= half)
            return laid(points, 2, rows, (rows + 1) / 2 + 1);
    }
    // Too wide even in small type: the cells shrink or cut what does not fit.
    for (double points : {6.5, 6.0, 5.5}) {
        const int perColumn = static_cast<int>(room / LineRow(c, points)) - 1;
        if (rows <= 2 * perColumn) return laid(points, 2, rows, (rows + 1) / 2 + 1);
    }
    const double points = 5.5;
    // Titles and the line that counts what was left out.
    const int perColumn = std::max(0, static_cast<int>(room / LineRow(c, points)) - 2);
    return laid(points, 2, std::min(rows, 2 * perColumn), perColumn + 2);
}

double SettingsHeight(Canvas& c, const TableLayout& layout, int rows) {
    const int perColumn = (layout.shown + layout.columns - 1) / layout.columns;
    const int extra = layout.shown < rows ? 1 : 0;
    return Heading(c, 0, {}, false) + layout.rowHeight * (1 + perColumn + extra);
}

void SettingsColumn(Canvas& c, double x, double y, double w, const TableLayout& layout,
                    const std::vector<VerifyRow>& rows, size_t from, size_t to) {
    const QFont plain = TableFont(layout.points);
    const QFont bold = TableFont(layout.points, true);
    const double h = layout.rowHeight;
    const double pad = c.mm(kPadMm);

    // Each column takes what its text needs and a little air; a table narrower
    // than the page stays compact rather than spreading its values apart.
    double nameWidth = c.TextWidth(bold, "Setting");
    double valueWidth = c.TextWidth(bold, "Read back");
    for (size_t i = from; i < to; ++i) {
        nameWidth = std::max(nameWidth, c.TextWidth(plain, Q(rows[i].setting)));
        valueWidth = std::max({valueWidth, c.TextWidth(plain, Q(rows[i].wanted)),
                               c.TextWidth(rows[i].mismatch ? bold : plain, Q(rows[i].readBack))});
    }
    const double mark = c.mm(kMarkMm);
    nameWidth += 2 * pad;
    valueWidth += 2 * pad;
    const double slack = w - mark - nameWidth - 2 * valueWidth;
    if (slack >= 0) {
        const double air = std::min(slack / 3, c.mm(12));
        nameWidth += air;
        valueWidth += air;
    } else {  // too wide even so: the cells shrink or cut their text
        nameWidth = std::min(nameWidth, w * 0.4);
        valueWidth = (w - mark - nameWidth) / 2;
    }
    w = mark + nameWidth + 2 * valueWidth;
    const double xName = x + mark;
    const double xWanted = xName + nameWidth;
    const double xRead = xWanted + valueWidth;

    c.Line(QRectF(xName, y, nameWidth - pad, h), "Setting", bold, kMuted);
    c.Line(QRectF(xWanted + pad, y, valueWidth - pad, h), "Wanted", bold, kMuted);
    c.Line(QRectF(xRead + pad, y, valueWidth - pad, h), "Read back", bold, kMuted);
    y += h;
    c.Rule(y, x, x + w, kRule);

    // Bands first: a band drawn after the row above would hide its descenders.
    for (size_t i = from; i < to; ++i) {
        const QRectF band(x, y + h * (i - from), w, h);
        if (rows[i].mismatch)
            c.Fill(band, kBadFill);
        else if ((i - from) % 2 == 1)
            c.Fill(band, kStripe);
    }
    for (size_t i = from; i < to; ++i) {
        const VerifyRow& row = rows[i];
        if (row.mismatch)
            c.Line(QRectF(x, y, mark, h), QString(QChar(0x2260)), bold, kBadInk, Qt::AlignHCenter);
        c.Cell(QRectF(xName, y, nameWidth - pad, h), Q(row.setting), plain, kInk);
        c.Cell(QRectF(xWanted + pad, y, valueWidth - 2 * pad, h), Q(row.wanted), plain, kInk);
        c.Cell(QRectF(xRead + pad, y, valueWidth - 2 * pad, h), Q(row.readBack),
               row.mismatch ? bold : plain, row.mismatch ? kBadInk : kInk);
        y += h;
    }
}

void Settings(Canvas& c, double y, const TableLayout& layout, const Certificate& cert) {
    const int differ = Mismatches(cert);
    const double headingHeight = Heading(c, y, "Settings: wanted and read back", true);
    QString tally = QString("%1 settings").arg(cert.rows.size());
    if (differ > 0) tally += QString(", %1 differ (marked %2)").arg(differ).arg(QChar(0x2260));
    c.Line(QRectF(0, y, c.width(), c.LineHeight(Font(10, true))), tally, Font(8), kMuted,
           Qt::AlignRight);
    y += headingHeight;

    const double gap = layout.columns > 1 ? c.mm(kColumnGapMm) : 0;
    const double w = (c.width() - gap * (layout.columns - 1)) / layout.columns;
    const size_t perColumn = (layout.shown + layout.columns - 1) / layout.columns;
    for (int col = 0; col < layout.columns; ++col) {
        const size_t from = std::min<size_t>(col * perColumn, layout.shown);
        const size_t to = std::min<size_t>(from + perColumn, layout.shown);
        SettingsColumn(c, col * (w + gap), y, w, layout, cert.rows, from, to);
    }
    if (layout.shown < static_cast<int>(cert.rows.size())) {
        const double h = layout.rowHeight;
        const QString more = QString("... and %1 more settings, in the JSON certificate")
                                 .arg(cert.rows.size() - layout.shown);
        c.Line(QRectF(0, y + h * (1 + perColumn), c.width(), h), more,
               Font(layout.points, false, true), kMuted);
    }
}

double Hart(Canvas& c, double y, const Certificate& cert, bool draw) {
    double used = Heading(c, y, "HART instrument", draw);
    const QString identity = cert.hartIdentity ? Q(*cert.hartIdentity) : "did not answer";
    QString current = "not read";
    if (cert.loopCurrentMa && std::isfinite(*cert.loopCurrentMa))
        current = QString::number(*cert.loopCurrentMa, 'f', 3) + " mA";
    // The identity gets the whole width: a revision 7 one is long, and cut
    // short it would lose the device id.
    used += Fact(c, y + used, 0, c.width(), "Identity", identity, draw);
    const auto told = [](const std::optional<std::string>& t) {
        return t && !t->empty() ? Q(*t) : QString("-");
    };
    const double third = c.width() / 3;
    Fact(c, y + used, 0, third, "Tag", told(cert.hartTag), draw);
    Fact(c, y + used, third, third, "Descriptor", told(cert.hartDescriptor), draw);
    used += Fact(c, y + used, 2 * third, third, "Range", told(cert.hartRange), draw);
    used += Fact(c, y + used, 0, c.width(), "Loop current", current, draw);
    return used + c.mm(3);
}

double CrossCheck(Canvas& c, double y, const Certificate& cert, bool draw) {
    const double start = y;
    y += Heading(c, y, "Cross-check after the apply: HART against MODBUS", draw);
    if (!cert.crossCheck.empty()) {
        const QFont plain = Font(8);
        const QFont header = Font(8, true);
        const double h = c.LineHeight(plain) * 1.35;
        const double pad = c.mm(1.5);
        const double xs[] = {0,
                             c.mm(20),
                             c.mm(42),
                             c.mm(42) + (c.width() - c.mm(62)) / 2,
                             c.width() - c.mm(20),
                             c.width()};
        auto cell = [&](int column, const QString& text, const QFont& f, const QColor& ink) {
            c.Line(QRectF(xs[column] + pad, y, xs[column + 1] - xs[column] - 2 * pad, h), text, f,
                   ink);
        };
        if (draw) {
            int column = 0;
            for (const char* title : {"Variable", "Register", "HART", "MODBUS", "Agree"})
                cell(column++, title, header, kMuted);
        }
        y += h;
        if (draw) c.Rule(y, 0, c.width(), kRule);
        for (const CertificateCheck& check : cert.crossCheck) {
            if (draw) {
                if (!check.agree) c.Fill(QRectF(0, y, c.width(), h), kBadFill);
                cell(0, QString::number(check.variable), plain, kInk);
                cell(1, QString::number(check.address), plain, kInk);
                cell(2, Q(check.hartValue), plain, kInk);
                cell(3, Q(check.modbusValue), plain, kInk);
                cell(4, check.agree ? "yes" : "NO", check.agree ? plain : header,
                     check.agree ? kInk : kBadInk);
            }
            y += h;
        }
        y += c.mm(1);
    }
    if (!cert.crossCheckNote.empty())
        y += c.Paragraph(y, 0, c.width(), Q(cert.crossCheckNote), Font(8.5, false, true), kInk,
                         draw);
    return y - start + c.mm(3);
}

double LoopCheck(Canvas& c, double y, const Certificate& cert, bool draw) {
    if (cert.loopCheck.empty()) return 0;
    const double start = y;
    y += Heading(c, y, "Loop check", draw);
    const QFont f = Font(8);
    const size_t shown = cert.loopCheck.size() > size_t{kMaxLoopCheckLines}
                             ? size_t{kMaxLoopCheckLines - 1}
                             : cert.loopCheck.size();
    for (size_t i = 0; i < shown; ++i)
        y += c.Paragraph(y, c.mm(2), c.width() - c.mm(2), Q(cert.loopCheck[i]), f, kInk, draw);
    if (shown < cert.loopCheck.size()) {
        const QString more = QString("... and %1 more lines, in the JSON certificate")
                                 .arg(cert.loopCheck.size() - shown);
        y += c.Paragraph(y, c.mm(2), c.width(), more, Font(8, false, true), kMuted, draw);
    }
    return y - start + c.mm(3);
}

// Lines to sign on, anchored to the foot of the page.
double Foot(Canvas& c, const Certificate& cert, bool draw) {
    const QFont label = Font(7.5);
    const QFont small = Font(6.5);
    const double labelHeight = c.LineHeight(label);
    const double smallHeight = c.LineHeight(small);
    const double height = c.mm(12) + labelHeight + c.mm(3) + smallHeight;
    if (!draw) return height;

    double y = c.height() - height + c.mm(12);
    const double gap = c.mm(8);
    const double widths[] = {c.width() * 0.38, c.width() * 0.38, 0};
    double x = 0;
    int i = 0;
    for (const char* what : {"Commissioned by (name)", "Signature", "Date"}) {
        const double w = widths[i] > 0 ? widths[i] : c.width() - x;
        c.Rule(y, x, x + w, kInk, 0.25);
        c.Line(QRectF(x, y + c.mm(0.5), w, labelHeight), what, label, kMuted);
        x += w + gap;
        ++i;
    }
    y += labelHeight + c.mm(3);
    c.Line(QRectF(0, y, c.width(), smallHeight), Q(CertificateBaseName(cert)), small, kMuted);
    c.Line(QRectF(0, y, c.width(), smallHeight), "Tavrix Configurator " + Q(cert.toolVersion),
           small, kMuted, Qt::AlignRight);
    return height;
}

}  // namespace

std::string CertificateVerdict(const Certificate& c) {
    if (!c.failure.empty()) return "NOT verified: the apply failed: " + c.failure;
    const int differ = Mismatches(c);
    if (differ == 1) return "NOT verified: 1 setting differs";
    if (differ > 1) return "NOT verified: " + std::to_string(differ) + " settings differ";
    // Nothing read back verifies nothing, whatever the flag says.
    if (c.rows.empty()) return "NOT verified: no setting was read back";
    if (!c.verified) return "NOT verified: the read-back did not complete";
    return "Verified: every setting read back as wanted";
}

bool WriteCertificatePdf(const Certificate& cert, const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return fail("drawing the certificate needs a QGuiApplication");

    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(12, 12, 12, 10), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle("Commissioning certificate " + Q(CertificateBaseName(cert)));
    writer.setCreator("Tavrix Configurator " + Q(cert.toolVersion));

    QPainter painter;
    if (!painter.begin(&writer)) return fail("cannot write " + path);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    Canvas c(painter, writer.width(), writer.height());
    const double top = Top(c, cert, false);
    const double below =
        Hart(c, 0, cert, false) + CrossCheck(c, 0, cert, false) + LoopCheck(c, 0, cert, false);
    const double foot = Foot(c, cert, false);
    const double available = c.height() - top - below - foot - c.mm(6);
    const TableLayout layout = ChooseTableLayout(c, available, cert.rows);

    double y = Top(c, cert, true);
    Settings(c, y, layout, cert);
    y += SettingsHeight(c, layout, static_cast<int>(cert.rows.size())) + c.mm(4);
    y += Hart(c, y, cert, true);
    y += CrossCheck(c, y, cert, true);
    LoopCheck(c, y, cert, true);
    Foot(c, cert, true);

    if (!painter.end()) return fail("cannot finish " + path);
    if (QFileInfo(path).size() == 0) return fail("nothing was written to " + path);
    return true;
}
