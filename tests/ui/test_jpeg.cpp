// The libjpeg decoder: good pictures in every colour space, damaged ones
// rejected with a reason and without ending the process.
#include <gtest/gtest.h>

#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "ui/jpegimage.h"
#include "ui/timage.h"

namespace {

// Encodes a w x h picture of `components` channels whose pixel (x, y) is
// given by `pixel`, through libjpeg's compressor.
QByteArray Encode(int w, int h, J_COLOR_SPACE space, int components,
                  const std::function<void(int x, int y, JSAMPLE* out)>& pixel) {
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &data, &size);
    info.image_width = w;
    info.image_height = h;
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * components);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) pixel(x, y, &row[size_t(x) * components]);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    std::free(data);
    return bytes;
}

// Left half red, right half blue.
QByteArray RedBlue(int w, int h) {
    return Encode(w, h, JCS_RGB, 3, [w](int x, int, JSAMPLE* p) {
        const bool red = x < w / 2;
        p[0] = red ? 255 : 0, p[1] = 0, p[2] = red ? 0 : 255;
    });
}

void ExpectNear(QColor got, QColor want, const char* where) {
    constexpr int kTolerance = 24;  // JPEG is lossy
    EXPECT_NEAR(got.red(), want.red(), kTolerance) << where;
    EXPECT_NEAR(got.green(), want.green(), kTolerance) << where;
    EXPECT_NEAR(got.blue(), want.blue(), kTolerance) << where;
}

}  // namespace

TEST(Jpeg, DecodesColoursAndSize) {
    QString error = "stale";
    const QImage image = DecodeJpeg(RedBlue(64, 40), &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(image.size(), QSize(64, 40));
    EXPECT_EQ(image.format(), QImage::Format_RGB888);
    ExpectNear(image.pixelColor(8, 20), Qt::red, "left");
    ExpectNear(image.pixelColor(56, 20), Qt::blue, "right");
}

TEST(Jpeg, OtherColourSpacesBecomeRgb) {
    // Grey ramp.
    const QImage grey = DecodeJpeg(
        Encode(32, 16, JCS_GRAYSCALE, 1, [](int x, int, JSAMPLE* p) { p[0] = x < 16 ? 40 : 220; }));
    ASSERT_FALSE(grey.isNull());
    EXPECT_EQ(grey.format(), QImage::Format_RGB888);
    ExpectNear(grey.pixelColor(4, 8), QColor(40, 40, 40), "dark");
    ExpectNear(grey.pixelColor(28, 8), QColor(220, 220, 220), "light");

    // CMYK as Adobe applications store it (inks inverted): red, then green.
    const QImage cmyk = DecodeJpeg(Encode(32, 16, JCS_CMYK, 4, [](int x, int, JSAMPLE* p) {
        const bool red = x < 16;
        p[0] = red ? 255 : 0;  // cyan: none / full
        p[1] = red ? 0 : 255;  // magenta: full / none
        p[2] = 0;              // yellow: full
        p[3] = 255;            // black: none
    }));
    ASSERT_FALSE(cmyk.isNull());
    EXPECT_EQ(cmyk.size(), QSize(32, 16));
    ExpectNear(cmyk.pixelColor(4, 8), Qt::red, "cmyk red");
    ExpectNear(cmyk.pixelColor(28, 8), Qt::green, "cmyk green");
}

TEST(Jpeg, DamagedPicturesAreRejectedWithAReason) {
    const QByteArray good = RedBlue(64, 64);
    QByteArray corrupt = good;
    // Overwrite the entropy-coded data right after the start of scan.
    const qsizetype sos = good.indexOf("\xFF\xDA");
    ASSERT_GT(sos, 0);
    for (qsizetype i = sos + 20; i < corrupt.size() - 2; ++i) corrupt[i] = '\xFF';
    QByteArray badHeader = good;
    const qsizetype sof = good.indexOf("\xFF\xC0");  // marker, length, precision, height
    ASSERT_GT(sof, 0);
    badHeader[sof + 5] = 0;
    badHeader[sof + 6] = 0;

    struct Row {
        const char* name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"empty", QByteArray()},
        {"not a JPEG", QByteArray("GIF89a this is not a JPEG file at all")},
        {"only the start marker", good.left(2)},
        {"header cut off", good.left(good.size() / 10)},
        {"truncated scan", good.left(good.size() * 2 / 3)},
        {"corrupt scan", corrupt},
        {"zero height", badHeader},
    };
    for (const Row& r : rows) {
        QString error;
        const QImage image = DecodeJpeg(r.bytes, &error);
        EXPECT_TRUE(image.isNull()) << r.name;
        EXPECT_FALSE(error.isEmpty()) << r.name;
    }
}

TEST(Jpeg, MissingPictureIsReportedOnStandardError) {
    testing::internal::CaptureStderr();
    const QImage image = LoadJpegPicture(":/pictures/no-such-picture.jpg");
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(image.isNull());
    EXPECT_EQ(
        printed.rfind("tavrix: picture ':/pictures/no-such-picture.jpg' could not be decoded: ", 0),
        0u)
        << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
}

TEST(Jpeg, EmbeddedPicturesDecode) {
    Q_INIT_RESOURCE(pictures);
    struct Row {
        const char* path;
        QSize size;
    };
    const Row rows[] = {
        {":/pictures/logo.jpg", QSize(360, 120)},
        {":/pictures/wiring_2wire.jpg", QSize(1920, 760)},
        {":/pictures/wiring_4wire.jpg", QSize(1920, 760)},
    };
    for (const Row& r : rows) {
        QFile file(r.path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << r.path;
        QString error;
        const QByteArray bytes = file.readAll();
        const QImage image = DecodeJpeg(bytes, &error);
        EXPECT_EQ(image.size(), r.size) << r.path << ": " << error.toStdString();
        EXPECT_EQ(JpegPictureSize(bytes), r.size) << r.path;

        // The window's picture frames take their size from the header and
        // decode on first sight.
        TImage frame;
        frame.SetPictureSource(r.path);
        EXPECT_EQ(frame.sizeHint(), r.size) << r.path;
        EXPECT_EQ(frame.Picture().size(), r.size) << r.path;
    }
    for (const char* damaged : {"", "GIF89a not a JPEG", "\xFF\xD8"}) {
        EXPECT_FALSE(JpegPictureSize(QByteArray(damaged)).isValid()) << damaged;
    }
}
