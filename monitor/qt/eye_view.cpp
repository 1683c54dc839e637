// Eye display drawing.
#include "monitor/qt/eye_view.h"

#include <QPainter>
#include <QtMath>

#include "monitor/eye.h"

bool eye_render(QImage *image, QSize logical, qreal ratio, const EyePoint *points, int count) {
    const int width = qRound(logical.width() * ratio);
    const int height = qRound(logical.height() * ratio);
    EyeMapping mapping;
    if (!eye_mapping(width, height, &mapping)) {
        return false;
    }
    // One image per window, reused while its size stays.
    if (image->size() != QSize(width, height) || image->format() != QImage::Format_RGB32) {
        *image = QImage(width, height, QImage::Format_RGB32);
    }
    image->setDevicePixelRatio(ratio);
    image->fill(Qt::black);
    const QRgb white = qRgb(255, 255, 255);
    for (int i = 0; i < count; ++i) {
        int px = 0;
        int py = 0;
        eye_pixel(mapping, points[i].x, points[i].y, &px, &py);
        // Points off the area are not seen.
        if (px >= 0 && px < width && py >= 0 && py < height) {
            reinterpret_cast<QRgb *>(image->scanLine(py))[px] = white;
        }
    }
    return true;
}

EyeView::EyeView(int modem, QWidget *parent) : QWidget(parent), modem_(modem) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void EyeView::tick() {
    EyePoint points[EYE_POINTS_WANTED];
    const int count = eye_fetch(modem_, points);
    if (count < 0) {
        return;
    }
    if (!eye_render(&picture_, size(), devicePixelRatioF(), points, count)) {
        // Too small an area to map onto: it shows nothing but the field.
        if (picture_.isNull()) {
            return;
        }
        picture_ = QImage();
    }
    update();
}

void EyeView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // The last picture until the next tick redraws at the current size.
    if (!picture_.isNull()) {
        painter.drawImage(QPointF(0, 0), picture_);
    }
}
