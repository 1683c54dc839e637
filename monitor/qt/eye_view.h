// The eye display of one modem: white dots on a black field, redrawn from
// the points of each 100 ms tick.
#pragma once

#include <QImage>
#include <QWidget>

#include "driverlink/ioctl.h"

// Draws `count` points into *image as white dots on black, for a client area
// of `logical` size at device pixel ratio `ratio`: the image gets the area's
// size in device pixels and the mapping works in device pixels, so a dot is
// one physical pixel at any ratio. False, with *image untouched, for an area
// less than 2 device pixels wide or high.
bool eye_render(QImage *image, QSize logical, qreal ratio, const EyePoint *points, int count);

class EyeView : public QWidget {
    Q_OBJECT
public:
    EyeView(int modem, QWidget *parent = nullptr);

    // One tick: fetch up to 512 points of this modem and redraw. With no
    // modem active the picture stays as it is.
    void tick();
    // The picture of the last tick that drew (null before the first).
    const QImage &picture() const { return picture_; }
    int modem() const { return modem_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int modem_;
    QImage picture_;
};
