// JPEG decoding through libjpeg's own API, so a damaged picture is reported
// rather than trusted to an image plugin.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Decodes a whole JPEG file held in `bytes` into an RGB888 image; grayscale,
// CMYK and other colour spaces are converted to RGB. On failure returns a
// null image and, if `error` is given, libjpeg's reason.
QImage DecodeJpeg(const QByteArray& bytes, QString* error = nullptr);

// The size of the JPEG picture in `bytes` from its header alone, without
// decoding it; an invalid size when the header cannot be read.
QSize JpegPictureSize(const QByteArray& bytes);

// Reads and decodes the picture at `path` (a resource path or a file). On
// failure prints "tavrix: picture '<path>' could not be decoded: <reason>" on
// standard error and returns a null image.
QImage LoadJpegPicture(const QString& path);
