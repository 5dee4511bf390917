// libjpeg decoder with a longjmp error manager: libjpeg's default handler calls
// exit(), which must never happen for a bad picture.
#include "ui/jpegimage.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

constexpr size_t kMaxCmykWidth = 16384;

struct ErrorManager {
    jpeg_error_mgr base;  // first, so libjpeg's pointer is also ours
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr info) {
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (such as a premature end of data, which libjpeg pads with grey)
// would yield a half picture; treat them as failures too.
void OnMessage(j_common_ptr info, int level) {
    if (level < 0) OnError(info);
}

// Adobe's CMYK JPEGs store inverted inks; others store them as they are.
void CmykRowToRgb(const JSAMPLE* cmyk, uchar* rgb, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const int k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int i = 0; i < 3; ++i) {
            const int ink = inverted ? cmyk[i] : 255 - cmyk[i];
            rgb[i] = static_cast<uchar>(ink * k / 255);
        }
    }
}

// Holds no C++ object and no local that changes after setjmp, so the longjmp
// back into it skips no destructor and loses no value; all state is the
// caller's.
// With `sizeOnly`, reads no further than the header and gives the picture's size.
bool Decode(const QByteArray& bytes, jpeg_decompress_struct& info, ErrorManager* err, QImage* out,
            QSize* sizeOnly, JSAMPLE* cmykRow, size_t cmykRowSize) {
    info.err = jpeg_std_error(&err->base);
    err->base.error_exit = OnError;
    err->base.emit_message = OnMessage;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    // libjpeg converts every colour space to RGB itself except CMYK/YCCK.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_calc_output_dimensions(&info);
    if (sizeOnly) {
        *sizeOnly = QSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
        jpeg_destroy_decompress(&info);
        return true;
    }
    if (cmyk && info.output_width * 4 > cmykRowSize) {
        std::snprintf(err->message, sizeof err->message, "CMYK picture wider than %zu pixels",
                      cmykRowSize / 4);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    *out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                  QImage::Format_RGB888);
    if (out->isNull()) {
        std::snprintf(err->message, sizeof err->message, "picture too large");
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        uchar* line = out->scanLine(static_cast<int>(info.output_scanline));
        JSAMPROW row = cmyk ? cmykRow : line;
        jpeg_read_scanlines(&info, &row, 1);
        if (cmyk) CmykRowToRgb(cmykRow, line, info.output_width, info.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes, QString* error) {
    if (error) error->clear();
    if (bytes.isEmpty()) {
        if (error) *error = QStringLiteral("empty file");
        return {};
    }
    jpeg_decompress_struct info{};
    ErrorManager err{};
    std::vector<JSAMPLE> cmykRow(4 * kMaxCmykWidth);
    QImage image;
    if (!Decode(bytes, info, &err, &image, nullptr, cmykRow.data(), cmykRow.size())) {
        if (error) *error = QString::fromLocal8Bit(err.message);
        return {};
    }
    return image;
}

QImage LoadJpegPicture(const QString& path) {
    QFile file(path);
    QString error;
    QImage image;
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
    } else {
        image = DecodeJpeg(file.readAll(), &error);
    }
    if (image.isNull()) {
        std::fprintf(stderr, "tavrix: picture '%s' could not be decoded: %s\n",
                     qUtf8Printable(path), qUtf8Printable(error));
    }
    return image;
}

QSize JpegPictureSize(const QByteArray& bytes) {
    if (bytes.isEmpty()) return {};
    jpeg_decompress_struct info{};
    ErrorManager err{};
    QSize size;
    if (!Decode(bytes, info, &err, nullptr, &size, nullptr, 0)) return {};
    return size;
}
