// A picture drawn stretched to the widget's frame, as the window's logo and
// wiring diagrams are shown. An empty picture leaves the frame blank.
#pragma once

#include <QImage>
#include <QWidget>

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    const QImage& Picture() const;  // decodes a pending source first
    void SetPicture(const QImage& picture);
    // The JPEG picture at `path`, decoded the first time it is painted or
    // asked for: the wiring pages are seldom opened, and decoding them at
    // start costs start-up time and some megabytes of memory.
    void SetPictureSource(const QString& path);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    mutable QImage picture_;
    mutable QString source_;  // not decoded yet
    QSize sourceSize_;
};
