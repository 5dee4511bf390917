// A picture drawn stretched to the widget's frame, as the window's logo and
// wiring diagrams are shown. An empty picture leaves the frame blank.
#pragma once

#include <QImage>
#include <QWidget>

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};
