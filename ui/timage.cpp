// Picture widget: the picture as large as the widget allows, its aspect
// kept, centred (a wiring diagram squashed is unreadable).
#include "ui/timage.h"

#include <QFile>
#include <QPainter>

#include "ui/jpegimage.h"

TImage::TImage(QWidget* parent) : QWidget(parent) {}

const QImage& TImage::Picture() const {
    if (!source_.isNull()) {
        picture_ = LoadJpegPicture(source_);
        source_.clear();
    }
    return picture_;
}

void TImage::SetPictureSource(const QString& path) {
    QFile file(path);
    sourceSize_ = file.open(QIODevice::ReadOnly) ? JpegPictureSize(file.readAll()) : QSize();
    if (!sourceSize_.isValid()) {
        SetPicture(LoadJpegPicture(path));  // reports why, now rather than at first sight
        return;
    }
    source_ = path;
    picture_ = QImage();
    updateGeometry();
    update();
}

void TImage::SetPicture(const QImage& picture) {
    source_.clear();
    picture_ = picture;
    updateGeometry();
    update();
}

QSize TImage::sizeHint() const {
    if (!source_.isNull()) return sourceSize_;
    return picture_.isNull() ? QWidget::sizeHint() : picture_.size();
}

void TImage::paintEvent(QPaintEvent*) {
    const QImage& picture = Picture();
    if (picture.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRect target(QPoint(), picture.size().scaled(size(), Qt::KeepAspectRatio));
    target.moveCenter(rect().center());
    painter.drawImage(target, picture);
}
