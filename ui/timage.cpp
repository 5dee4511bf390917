// Stretched picture widget.
#include "ui/timage.h"

#include <QPainter>

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetPicture(const QImage& picture) {
    picture_ = picture;
    updateGeometry();
    update();
}

QSize TImage::sizeHint() const { return picture_.isNull() ? QWidget::sizeHint() : picture_.size(); }

void TImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), picture_);
}
