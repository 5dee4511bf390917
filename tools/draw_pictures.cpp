// Draws the window's pictures (logo and the two wiring diagrams) with a tiny
// raster painter and a built-in 5x7 font, and writes them as JPEG files; with
// a second folder, also the application icon as PNG files at the usual sizes.
// Usage: draw_pictures OUTDIR [ICONDIR]
//   OUTDIR:  logo.jpg, wiring_2wire.jpg, wiring_4wire.jpg
//   ICONDIR: 16.png, 24.png, 32.png, 48.png, 64.png, 128.png, 256.png
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <png.h>

namespace {

struct Color {
    uint8_t r, g, b;
};
constexpr Color kWhite{255, 255, 255};
constexpr Color kBlack{0, 0, 0};
constexpr Color kSilver{192, 192, 192};
constexpr Color kNavy{20, 40, 110};
constexpr Color kRed{200, 20, 20};      // positive side of a loop
constexpr Color kBlue{20, 60, 210};     // negative side / return
constexpr Color kOrange{230, 120, 0};   // HART connection of the module
constexpr Color kGreen{0, 130, 40};     // jumper
constexpr Color kPanel{235, 240, 248};  // module body
constexpr Color kBox{250, 246, 225};    // field devices

// 5x7 glyphs, one string per row, '#' = ink.
struct Glyph {
    char32_t ch;
    const char* rows[7];
};
constexpr Glyph kFont[] = {
    {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#..", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'+', {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'(', {"...#.", "..#..", ".#...", ".#...", ".#...", "..#..", "...#."}},
    {')', {".#...", "..#..", "...#.", "...#.", "...#.", "..#..", ".#..."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {',', {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."}},
    {'/', {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."}},
    {';', {".....", ".##..", ".##..", ".....", ".##..", "..#..", ".#..."}},
    {'\'', {"..#..", "..#..", ".#...", ".....", ".....", ".....", "....."}},
    {'=', {".....", ".....", "#####", ".....", "#####", ".....", "....."}},
    {U'Ω', {".###.", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "##.##"}},
};

const Glyph* FindGlyph(char32_t ch) {
    if (ch >= 'a' && ch <= 'z') ch -= 'a' - 'A';
    if (ch == U'−' || ch == U'–') ch = '-';
    for (const Glyph& g : kFont) {
        if (g.ch == ch) return &g;
    }
    return nullptr;
}

// Decodes the next UTF-8 character of `s` at `i` (labels hold Ω and −).
char32_t NextChar(const std::string& s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i++]);
    if (b < 0x80) return b;
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    char32_t ch = b & (0x3F >> extra);
    for (int k = 0; k < extra && i < s.size(); ++k) ch = (ch << 6) | (s[i++] & 0x3F);
    return ch;
}

class Canvas {
public:
    Canvas(int w, int h, Color background) : w_(w), h_(h), px_(size_t(w) * h * 3) {
        FillRect(0, 0, w, h, background);
    }
    int width() const { return w_; }
    int height() const { return h_; }
    const uint8_t* row(int y) const { return &px_[size_t(y) * w_ * 3]; }

    void Set(int x, int y, Color c) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        uint8_t* p = &px_[(size_t(y) * w_ + x) * 3];
        p[0] = c.r, p[1] = c.g, p[2] = c.b;
    }
    void FillRect(int x, int y, int w, int h, Color c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) Set(i, j, c);
    }
    void Rect(int x, int y, int w, int h, Color c, int t = 2) {
        FillRect(x, y, w, t, c), FillRect(x, y + h - t, w, t, c);
        FillRect(x, y, t, h, c), FillRect(x + w - t, y, t, h, c);
    }
    // Bresenham with a square pen of width t.
    void Line(int x0, int y0, int x1, int y1, Color c, int t = 3) {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        for (int err = dx + dy;;) {
            FillRect(x0 - t / 2, y0 - t / 2, t, t, c);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x0 += sx;
            if (e2 <= dx) err += dx, y0 += sy;
        }
    }
    // A wire through the given corner points.
    void Wire(std::initializer_list<std::pair<int, int>> pts, Color c) {
        const std::pair<int, int>* prev = nullptr;
        for (const auto& p : pts) {
            if (prev) Line(prev->first, prev->second, p.first, p.second, c);
            prev = &p;
        }
    }
    void Dot(int x, int y, Color c) {
        for (int j = -5; j <= 5; ++j)
            for (int i = -5; i <= 5; ++i)
                if (i * i + j * j <= 25) Set(x + i, y + j, c);
    }
    static int TextWidth(const std::string& s, int scale) {
        int n = 0;
        for (size_t i = 0; i < s.size(); NextChar(s, i)) ++n;
        return n ? n * (5 * scale + scale) - scale : 0;
    }
    void Text(int x, int y, const std::string& s, int scale, Color c) {
        for (size_t i = 0; i < s.size();) {
            if (const Glyph* g = FindGlyph(NextChar(s, i))) {
                for (int r = 0; r < 7; ++r)
                    for (int col = 0; col < 5; ++col)
                        if (g->rows[r][col] == '#')
                            FillRect(x + col * scale, y + r * scale, scale, scale, c);
            }
            x += 6 * scale;
        }
    }
    void CenteredText(int cx, int y, const std::string& s, int scale, Color c) {
        Text(cx - TextWidth(s, scale) / 2, y, s, scale, c);
    }

private:
    int w_, h_;
    std::vector<uint8_t> px_;
};

bool WriteJpeg(const Canvas& canvas, const std::string& path) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        return false;
    }
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = canvas.width();
    info.image_height = canvas.height();
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(canvas.row(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

// ---- the application icon -------------------------------------------------

// The logo's emblem on its own: a navy badge with a white frame and a white
// signal wave, on a transparent ground. Each pixel is the average of 8x8
// samples, so the small sizes stay smooth.
std::vector<uint8_t> IconPixels(int size) {
    constexpr int kSamples = 8;
    const double radius = 0.18, frame = 0.06, inset = 0.09, pen = 0.055;
    std::vector<uint8_t> rgba(size_t(size) * size * 4);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, cover = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    // Unit square coordinates, 0..1.
                    const double u = (x + (sx + 0.5) / kSamples) / size;
                    const double v = (y + (sy + 0.5) / kSamples) / size;
                    // Distance inside the rounded square (negative outside).
                    const double qx = std::max(radius - u, u - (1 - radius));
                    const double qy = std::max(radius - v, v - (1 - radius));
                    const double inside = qx > 0 && qy > 0
                                              ? radius - std::hypot(qx, qy)
                                              : std::min(std::min(u, 1 - u), std::min(v, 1 - v));
                    if (inside < 0) continue;
                    const double wave = 0.5 - 0.22 * std::sin((u - 0.2) * 3.14159265 / 0.3);
                    const double slope =
                        0.22 * 3.14159265 / 0.3 * std::cos((u - 0.2) * 3.14159265 / 0.3);
                    const bool onWave = u > 0.2 && u < 0.8 &&
                                        std::abs(v - wave) / std::sqrt(1 + slope * slope) < pen / 2;
                    const bool onFrame = inside > inset && inside < inset + frame;
                    const Color c = onWave || onFrame ? kWhite : kNavy;
                    r += c.r, g += c.g, b += c.b, cover += 1;
                }
            }
            uint8_t* p = &rgba[(size_t(y) * size + x) * 4];
            if (cover > 0)
                p[0] = uint8_t(r / cover), p[1] = uint8_t(g / cover), p[2] = uint8_t(b / cover);
            p[3] = uint8_t(255.0 * cover / (kSamples * kSamples) + 0.5);
        }
    }
    return rgba;
}

bool WritePng(int size, const std::vector<uint8_t>& rgba, const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = size;
    image.height = size;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), image.message);
        return false;
    }
    return true;
}

bool WriteIcons(const std::string& dir) {
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        if (!WritePng(size, IconPixels(size), dir + "/" + std::to_string(size) + ".png"))
            return false;
    }
    return true;
}

// ---- the wiring diagrams ---------------------------------------------------

constexpr int kPitch = 76;          // terminal spacing on the module
constexpr int kUpperY = 300;        // centre of the upper terminal row
constexpr int kLowerY = 470;        // centre of the lower terminal row
constexpr int kDeviceBottom = 150;  // lower edge of the field device boxes
constexpr int kInputsTop = 560;     // upper edge of the analogue input box

const char* const kUpper[8] = {"DC24V", "GND", "DC24V", "LOOP+", "LOOP−", "(FREE)", "AI+", "AI−"};
const char* const kLower[8] = {"RS485A", "RS485B", "AO2", "GND", "AO3", "GND", "AO4", "GND"};

// A panel is one variant: the module at x0 with its terminals at T(i).
struct Panel {
    Canvas& c;
    int x0;
    int T(int i) const { return x0 + 54 + i * kPitch; }

    void Caption(const std::string& text) { c.Text(x0 + 20, 16, text, 3, kBlack); }

    void Terminal(int x, int y, Color ring) {
        c.FillRect(x - 12, y - 12, 24, 24, kWhite);
        c.Rect(x - 12, y - 12, 24, 24, kBlack);
        c.Dot(x, y, ring);
        c.Line(x - 4, y - 4, x + 4, y + 4, kWhite, 2);
    }

    void Module() {
        c.FillRect(x0 + 10, kUpperY - 30, 620, kLowerY - kUpperY + 60, kPanel);
        c.Rect(x0 + 10, kUpperY - 30, 620, kLowerY - kUpperY + 60, kBlack, 3);
        c.CenteredText(x0 + 320, (kUpperY + kLowerY) / 2 - 7, "TAVRIX HART/MODBUS MODULE", 2,
                       kNavy);
        for (int i = 0; i < 8; ++i) {
            Terminal(T(i), kUpperY, i == 5 ? kSilver : Color{110, 110, 110});
            c.CenteredText(T(i), kUpperY + 20, kUpper[i], 2,
                           i == 5 ? Color{120, 120, 120} : kBlack);
            Terminal(T(i), kLowerY, {110, 110, 110});
            c.CenteredText(T(i), kLowerY - 36, kLower[i], 2, kBlack);
        }
    }

    // A field device box from x to x+w with bottom terminals (label, x).
    void Device(int x, int w, const std::vector<std::string>& title,
                const std::vector<std::pair<std::string, int>>& terms) {
        c.FillRect(x, 50, w, kDeviceBottom - 50, kBox);
        c.Rect(x, 50, w, kDeviceBottom - 50, kBlack);
        for (size_t i = 0; i < title.size(); ++i)
            c.CenteredText(x + w / 2, 58 + int(i) * 20, title[i], 2, kBlack);
        for (const auto& [label, tx] : terms) {
            c.CenteredText(tx, kDeviceBottom - 22, label, 2, kBlack);
            Terminal(tx, kDeviceBottom, {110, 110, 110});
        }
    }

    // The 250 ohm resistor across a control system input, on its terminals.
    void Resistor(int xa, int xb) {
        const int y = kDeviceBottom + 30;
        c.Wire({{xa, kDeviceBottom + 12}, {xa, y}, {xb, y}, {xb, kDeviceBottom + 12}}, kBlack);
        c.Dot(xa, y, kBlack);
        c.Dot(xb, y, kBlack);
        const int mid = (xa + xb) / 2;
        c.FillRect(mid - 24, y - 9, 48, 18, kWhite);
        c.Rect(mid - 24, y - 9, 48, 18, kBlack);
        c.CenteredText(mid, y + 14, "250Ω", 2, kBlack);
    }

    void SupplyForModule() {
        Device(x0 + 15, 150, {"24V DC", "SUPPLY"}, {{"+", T(0)}, {"-", T(1)}});
        c.Line(T(0), kDeviceBottom + 12, T(0), kUpperY - 12, kRed);
        c.Line(T(1), kDeviceBottom + 12, T(1), kUpperY - 12, kBlue);
    }

    // The module's HART pair across the instrument's loop terminals.
    void HartTap(int loopPlusX, int loopMinusX) {
        c.Wire({{T(3), kUpperY - 12}, {T(3), 215}, {loopPlusX, 215}}, kOrange);
        c.Dot(loopPlusX, 215, kOrange);
        c.Wire({{T(4), kUpperY - 12}, {T(4), 185}, {loopMinusX, 185}}, kOrange);
        c.Dot(loopMinusX, 185, kOrange);
    }

    // RS485 to the MODBUS master; AO2..AO4 to three analogue inputs.
    void LowerRow() {
        const int bottom = kInputsTop + 80;
        c.FillRect(x0 + 15, kInputsTop, 130, 80, kBox);
        c.Rect(x0 + 15, kInputsTop, 130, 80, kBlack);
        c.CenteredText(x0 + 80, kInputsTop + 40, "MODBUS", 2, kBlack);
        c.CenteredText(x0 + 80, kInputsTop + 58, "MASTER", 2, kBlack);
        const int boxX = T(2) - 35;
        const int boxW = T(7) + 35 - boxX;
        c.FillRect(boxX, kInputsTop, boxW, 80, kBox);
        c.Rect(boxX, kInputsTop, boxW, 80, kBlack);
        c.CenteredText(boxX + boxW / 2, kInputsTop + 58, "DCS/PLC ANALOGUE INPUTS", 2, kBlack);
        const char* const inputs[6] = {"AI1+", "AI1-", "AI2+", "AI2-", "AI3+", "AI3-"};
        for (int i = 0; i < 8; ++i) {
            const int x = T(i);
            const Color wire = i < 2 ? kBlack : (i % 2 == 0 ? kRed : kBlue);
            c.Line(x, kLowerY + 12, x, kInputsTop - 12, wire);
            Terminal(x, kInputsTop, {110, 110, 110});
            c.CenteredText(x, kInputsTop + 18, i < 2 ? (i == 0 ? "A" : "B") : inputs[i - 2], 2,
                           kBlack);
        }
        (void)bottom;
    }

    void Notes(const std::vector<std::string>& lines) {
        for (size_t i = 0; i < lines.size(); ++i)
            c.Text(x0 + 20, 665 + int(i) * 22, lines[i], 2, kBlack);
    }
};

void Legend(Canvas& c) {
    int x = 20;
    const int y = c.height() - 26;
    const std::pair<Color, const char*> keys[] = {{kRed, "+ / 24V"},
                                                  {kBlue, "- / RETURN"},
                                                  {kOrange, "HART (MODULE LOOP+/LOOP-)"},
                                                  {kGreen, "JUMPER"},
                                                  {kBlack, "RS485, RESISTOR"}};
    for (const auto& [color, text] : keys) {
        c.Line(x, y + 7, x + 40, y + 7, color, 4);
        c.Text(x + 50, y, text, 2, kBlack);
        x += 50 + Canvas::TextWidth(text, 2) + 40;
    }
}

Canvas TwoWire() {
    Canvas c(1920, 760, kWhite);
    for (int v = 0; v < 3; ++v) {
        Panel p{c, v * 640};
        if (v > 0) c.Line(p.x0, 10, p.x0, 740, kSilver, 2);
        p.SupplyForModule();
        p.Module();
        p.LowerRow();
        const int ip = p.T(2) + 20, im = p.T(4) - 20;  // instrument LOOP+ / LOOP-
        p.Device(ip - 45, im - ip + 90, {"2-WIRE HART", "INSTRUMENT"},
                 {{"LOOP+", ip}, {"LOOP-", im}});
        p.HartTap(ip, im);
        if (v == 0) {
            p.Caption("A) NO DCS READING THE LOOP");
            c.Wire({{p.T(2), kUpperY - 12}, {p.T(2), 230}, {ip, 230}, {ip, kDeviceBottom + 12}},
                   kRed);
            c.Wire({{im, kDeviceBottom + 12}, {im, 245}, {p.T(6), 245}, {p.T(6), kUpperY - 12}},
                   kBlue);
            c.Wire({{p.T(7), kUpperY - 12}, {p.T(7), 256}, {p.T(1), 256}, {p.T(1), kUpperY - 12}},
                   kGreen);
            c.Dot(p.T(1), 256, kGreen);
            p.Notes({"MODULE DC24V POWERS THE LOOP, AI+/AI-", "MEASURES IT. JUMPER AI- TO GND."});
        } else {
            const bool ownSupply = v == 2;
            p.Caption(ownSupply ? "C) DCS INPUT WITH OWN 24V" : "B) DCS INPUT WITHOUT 24V");
            const int ai = p.T(6), am = p.T(7) + 10, src = p.T(5);
            if (ownSupply) {
                p.Device(src - 35, am - src + 70, {"DCS INPUT"},
                         {{"24V+", src}, {"AI+", ai}, {"AI-", am}});
                c.Wire({{ip, kDeviceBottom + 12}, {ip, 235}, {src, 235}, {src, kDeviceBottom + 12}},
                       kRed);
                c.Wire({{im, kDeviceBottom + 12}, {im, 200}, {ai, 200}, {ai, kDeviceBottom + 12}},
                       kBlue);
                p.Notes({"THE DCS POWERS THE LOOP FROM ITS 24V+;",
                         "250Ω ACROSS AI+/AI-. MODULE DC24V UNUSED."});
            } else {
                p.Device(ai - 40, am - ai + 75, {"DCS INPUT"}, {{"AI+", ai}, {"AI-", am}});
                c.Wire({{p.T(2), kUpperY - 12}, {p.T(2), 230}, {ip, 230}, {ip, kDeviceBottom + 12}},
                       kRed);
                c.Wire({{im, kDeviceBottom + 12}, {im, 200}, {ai, 200}, {ai, kDeviceBottom + 12}},
                       kBlue);
                c.Wire({{am, kDeviceBottom + 12}, {am, 256}, {p.T(1), 256}, {p.T(1), kUpperY - 12}},
                       kBlue);
                c.Dot(p.T(1), 256, kBlue);
                p.Notes({"MODULE DC24V POWERS THE LOOP; DCS AI-",
                         "RETURNS TO GND. 250Ω ACROSS AI+/AI-."});
            }
            p.Resistor(ai, am);
        }
    }
    Legend(c);
    return c;
}

Canvas FourWire() {
    Canvas c(1920, 760, kWhite);
    for (int v = 0; v < 2; ++v) {
        Panel p{c, v * 960 + 160};
        if (v > 0) c.Line(960, 10, 960, 740, kSilver, 2);
        p.SupplyForModule();
        p.Module();
        p.LowerRow();
        const int ip = p.T(2) + 20, im = p.T(4) - 20;
        p.Device(ip - 45, im - ip + 90, {"4-WIRE HART", "INSTRUMENT", "OWN SUPPLY"},
                 {{"LOOP+", ip}, {"LOOP-", im}});
        p.HartTap(ip, im);
        const int ai = p.T(6), am = p.T(7);
        if (v == 0) {
            p.Caption("A) NO DCS READING THE 4-20MA SIGNAL");
            c.Wire({{ip, kDeviceBottom + 12}, {ip, 230}, {ai, 230}, {ai, kUpperY - 12}}, kRed);
            c.Wire({{im, kDeviceBottom + 12}, {im, 250}, {am, 250}, {am, kUpperY - 12}}, kBlue);
            p.Notes({"THE INSTRUMENT DRIVES ITS 4-20MA INTO THE", "MODULE'S AI+/AI-."});
        } else {
            p.Caption("B) DCS READING THE 4-20MA SIGNAL");
            p.Device(ai - 40, am - ai + 80, {"DCS INPUT"}, {{"AI+", ai}, {"AI-", am}});
            c.Wire({{ip, kDeviceBottom + 12}, {ip, 230}, {ai, 230}, {ai, kDeviceBottom + 12}},
                   kRed);
            c.Wire({{im, kDeviceBottom + 12}, {im, 250}, {am, 250}, {am, kDeviceBottom + 12}},
                   kBlue);
            p.Resistor(ai, am);
            p.Notes({"THE INSTRUMENT DRIVES ITS 4-20MA INTO THE DCS;",
                     "250Ω ACROSS AI+/AI-. MODULE AI UNUSED."});
        }
    }
    Legend(c);
    return c;
}

Canvas Logo() {
    Canvas c(360, 120, kSilver);
    // Emblem: a navy badge with a white signal wave.
    c.FillRect(10, 10, 100, 100, kNavy);
    c.Rect(14, 14, 92, 92, kWhite, 2);
    int px = 20, py = 60;
    for (int x = 20; x <= 100; x += 2) {
        const int y = 60 - int(28 * std::sin((x - 20) * 3.14159265 / 40));
        c.Line(px, py, x, y, kWhite, 5);
        px = x, py = y;
    }
    c.Text(126, 16, "TAVRIX", 6, kNavy);
    c.Text(128, 78, "INSTRUMENTS", 2, kBlack);
    c.Text(128, 96, "HART / MODBUS", 2, kBlack);
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR [ICONDIR]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok =
        WriteJpeg(Logo(), dir + "/logo.jpg") && WriteJpeg(TwoWire(), dir + "/wiring_2wire.jpg") &&
        WriteJpeg(FourWire(), dir + "/wiring_4wire.jpg") && (argc < 3 || WriteIcons(argv[2]));
    return ok ? 0 : 1;
}
