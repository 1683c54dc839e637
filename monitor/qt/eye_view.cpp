// Eye display drawing.
#include "monitor/qt/eye_view.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cmath>

#include "monitor/eye.h"

// The device pixel of each point that lands on the area, for one tick.
struct TickPixels {
    int count = 0;
    int x[EYE_POINTS_WANTED];
    int y[EYE_POINTS_WANTED];
};

static bool map_points(QSize device, const EyePoint *points, int count, TickPixels *pixels) {
    EyeMapping mapping;
    if (!eye_mapping(device.width(), device.height(), &mapping)) {
        return false;
    }
    pixels->count = 0;
    for (int i = 0; i < count && i < static_cast<int>(EYE_POINTS_WANTED); ++i) {
        int px = 0;
        int py = 0;
        eye_pixel(mapping, points[i].x, points[i].y, &px, &py);
        // Points off the area are not seen.
        if (px >= 0 && px < device.width() && py >= 0 && py < device.height()) {
            pixels->x[pixels->count] = px;
            pixels->y[pixels->count] = py;
            ++pixels->count;
        }
    }
    return true;
}

static QSize device_size(QSize logical, qreal ratio) {
    return QSize(qRound(logical.width() * ratio), qRound(logical.height() * ratio));
}

// One image per window, reused while its size stays.
static void fit(QImage *image, QSize size, QImage::Format format, qreal ratio) {
    if (image->size() != size || image->format() != format) {
        *image = QImage(size, format);
    }
    image->setDevicePixelRatio(ratio);
}

bool eye_render(QImage *image, QSize logical, qreal ratio, const EyePoint *points, int count) {
    const QSize device = device_size(logical, ratio);
    static TickPixels pixels;
    if (!map_points(device, points, count, &pixels)) {
        return false;
    }
    fit(image, device, QImage::Format_RGB32, ratio);
    image->fill(Qt::black);
    const QRgb white = qRgb(255, 255, 255);
    for (int i = 0; i < pixels.count; ++i) {
        reinterpret_cast<QRgb *>(image->scanLine(pixels.y[i]))[pixels.x[i]] = white;
    }
    return true;
}

int eye_density_grey(uint32_t count, uint32_t max_count) {
    if (count == 0 || max_count == 0) {
        return 0;
    }
    return qRound(255.0 * std::log1p(double(count)) / std::log1p(double(max_count)));
}

bool eye_render_persistent(EyePersistence *p, QImage *picture, QSize logical, qreal ratio,
                           const EyePoint *points, int count) {
    if (p->mode == EYE_LAST_TICK) {
        return eye_render(picture, logical, ratio, points, count);
    }
    const QSize device = device_size(logical, ratio);
    static TickPixels pixels;
    if (!map_points(device, points, count, &pixels)) {
        return false;
    }
    const QImage::Format state_format = p->mode == EYE_FADE ? QImage::Format_Grayscale8 : QImage::Format_Grayscale16;
    if (p->state.size() != device || p->state.format() != state_format) {
        p->state = QImage(device, state_format);
        p->state.fill(0);
        p->max_count = 0;
    }
    fit(picture, device, QImage::Format_RGB32, ratio);
    const int w = device.width();
    const int h = device.height();
    if (p->mode == EYE_FADE) {
        // Ticks of life left: every pixel loses one, the tick's points get N.
        const int n = std::clamp(p->fade_ticks, EYE_FADE_MIN, EYE_FADE_MAX);
        for (int y = 0; y < h; ++y) {
            uchar *life = p->state.scanLine(y);
            for (int x = 0; x < w; ++x) {
                life[x] = life[x] > 0 ? static_cast<uchar>(life[x] - 1) : 0;
            }
        }
        for (int i = 0; i < pixels.count; ++i) {
            p->state.scanLine(pixels.y[i])[pixels.x[i]] = static_cast<uchar>(n);
        }
        for (int y = 0; y < h; ++y) {
            const uchar *life = p->state.constScanLine(y);
            QRgb *out = reinterpret_cast<QRgb *>(picture->scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int g = 255 * life[x] / n;
                out[x] = qRgb(g, g, g);
            }
        }
    } else {
        for (int i = 0; i < pixels.count; ++i) {
            quint16 &c = reinterpret_cast<quint16 *>(p->state.scanLine(pixels.y[i]))[pixels.x[i]];
            if (c < 0xFFFF) {
                ++c;  // saturates: a count never wraps to black
            }
            p->max_count = std::max<uint16_t>(p->max_count, c);
        }
        // A grey level per count, worked out once per tick.
        int greys[256];
        const uint32_t max = p->max_count;
        for (int c = 0; c < 256; ++c) {
            greys[c] = eye_density_grey(static_cast<uint32_t>(c), max);
        }
        for (int y = 0; y < h; ++y) {
            const quint16 *counts = reinterpret_cast<const quint16 *>(p->state.constScanLine(y));
            QRgb *out = reinterpret_cast<QRgb *>(picture->scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int g = counts[x] < 256 ? greys[counts[x]] : eye_density_grey(counts[x], max);
                out[x] = qRgb(g, g, g);
            }
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
    create_actions();
}

void EyeView::create_actions() {
    setContextMenuPolicy(Qt::ActionsContextMenu);
    QActionGroup *modes = new QActionGroup(this);
    const char *names[3] = {"&Last Tick", "&Fade Over N Ticks...", "&Density"};
    for (int m = 0; m < 3; ++m) {
        QAction *action = new QAction(QString::fromLatin1(names[m]), this);
        action->setCheckable(true);
        action->setChecked(m == EYE_LAST_TICK);
        modes->addAction(action);
        addAction(action);
        mode_actions_[m] = action;
    }
    connect(mode_actions_[EYE_LAST_TICK], &QAction::triggered, this, [this] { set_mode(EYE_LAST_TICK, fade_ticks()); });
    connect(mode_actions_[EYE_FADE], &QAction::triggered, this, &EyeView::ask_fade_ticks);
    connect(mode_actions_[EYE_DENSITY], &QAction::triggered, this, [this] { set_mode(EYE_DENSITY, fade_ticks()); });
    QAction *clear_action = new QAction(QStringLiteral("&Clear"), this);
    connect(clear_action, &QAction::triggered, this, &EyeView::clear);
    addAction(clear_action);
    QAction *separator = new QAction(this);
    separator->setSeparator(true);
    addAction(separator);
    freeze_action_ = new QAction(QStringLiteral("F&reeze"), this);
    freeze_action_->setCheckable(true);
    connect(freeze_action_, &QAction::toggled, this, &EyeView::set_frozen);
    addAction(freeze_action_);
    readouts_action_ = new QAction(QStringLiteral("&Readouts"), this);
    readouts_action_->setCheckable(true);
    connect(readouts_action_, &QAction::toggled, this, &EyeView::set_readouts);
    addAction(readouts_action_);
    QAction *save = new QAction(QStringLiteral("&Save Image..."), this);
    connect(save, &QAction::triggered, this, &EyeView::save_image_as);
    addAction(save);
}

void EyeView::ask_fade_ticks() {
    bool ok = false;
    const int n = QInputDialog::getInt(this, QStringLiteral("Fade"), QStringLiteral("Fade over ticks (2 to 50):"),
                                       fade_ticks(), EYE_FADE_MIN, EYE_FADE_MAX, 1, &ok);
    set_mode(ok ? EYE_FADE : mode(), ok ? n : fade_ticks());
}

void EyeView::set_mode(EyeMode mode, int fade_ticks) {
    persistence_.mode = mode;
    persistence_.fade_ticks = std::clamp(fade_ticks, EYE_FADE_MIN, EYE_FADE_MAX);
    persistence_.state = QImage();  // a new mode starts from a black field
    persistence_.max_count = 0;
    mode_actions_[mode]->setChecked(true);
}

void EyeView::clear() {
    if (!persistence_.state.isNull()) {
        persistence_.state.fill(0);
    }
    persistence_.max_count = 0;
    kept_count_ = -1;
    if (!picture_.isNull()) {
        picture_.fill(Qt::black);
    }
    update();
}

void EyeView::set_frozen(bool frozen) {
    frozen_ = frozen;
    freeze_action_->setChecked(frozen);
}

void EyeView::set_readouts(bool shown) {
    readouts_ = shown;
    readouts_action_->setChecked(shown);
    update();
}

bool EyeView::save_image(const QString &path) const { return !picture_.isNull() && picture_.save(path, "PNG"); }

void EyeView::save_image_as() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Eye Image"),
                                                      QStringLiteral("modem%1-eye.png").arg(modem_),
                                                      QStringLiteral("PNG (*.png)"));
    if (!path.isEmpty() && !save_image(path)) {
        QMessageBox::warning(this, QStringLiteral("Save Eye Image"), QStringLiteral("Could not save %1").arg(path));
    }
}

void EyeView::show_points(const EyePoint *points, int count) {
    if (count < 0 || frozen_) {
        return;
    }
    count = std::min(count, static_cast<int>(EYE_POINTS_WANTED));
    std::copy(points, points + count, kept_);
    kept_count_ = count;
    if (draw(points, count)) {
        points_drawn_ = count;
    }
}

bool EyeView::draw(const EyePoint *points, int count) {
    const qreal ratio = ratio_override_ > 0 ? ratio_override_ : devicePixelRatioF();
    if (!eye_render_persistent(&persistence_, &picture_, size(), ratio, points, count)) {
        // Too small an area to map onto: it shows nothing but the field.
        if (picture_.isNull()) {
            return false;
        }
        picture_ = QImage();
    }
    update();
    return true;
}

void EyeView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    const qreal ratio = ratio_override_ > 0 ? ratio_override_ : devicePixelRatioF();
    if (kept_count_ >= 0 && picture_.size() != device_size(size(), ratio) && draw(kept_, kept_count_)) {
        // The same points, mapped anew (a persistence starts over at a new size).
        points_drawn_ = kept_count_;
    }
}

void EyeView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // The last picture until the next tick redraws at the current size.
    if (!picture_.isNull()) {
        painter.drawImage(QPointF(0, 0), picture_);
    }
    painter.setPen(QColor(0, 160, 255));
    if (frozen_) {
        painter.drawText(QRect(4, 2, width() - 8, 20), Qt::AlignRight | Qt::AlignTop, QStringLiteral("frozen"));
    }
    EyeMapping mapping;
    if (!readouts_ || !eye_mapping(width(), height(), &mapping)) {
        return;
    }
    // Axis marks at +-10000 and +-20000 on both axes, and the points drawn.
    const int marks[] = {-20000, -10000, 10000, 20000};
    for (int v : marks) {
        int x = 0;
        int y = 0;
        eye_pixel(mapping, v, 0, &x, &y);
        painter.drawLine(x, y - 4, x, y + 4);
        eye_pixel(mapping, 0, v, &x, &y);
        painter.drawLine(x - 4, y, x + 4, y);
    }
    painter.drawLine(mapping.origin_x - 2, mapping.origin_y, mapping.origin_x + 2, mapping.origin_y);
    painter.drawLine(mapping.origin_x, mapping.origin_y - 2, mapping.origin_x, mapping.origin_y + 2);
    painter.drawText(QRect(4, 2, width() - 8, 20), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("%1 points").arg(points_drawn_));
}
