// The eye display of one modem: white dots on a black field, redrawn from
// the points of each 100 ms tick. Options: persistence (fade over N ticks,
// or a density count per pixel on a logarithmic grey scale), freeze, a
// readout overlay, and saving the picture as PNG.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

#include "driverlink/ioctl.h"

class QAction;

enum EyeMode {
    EYE_LAST_TICK,  // each tick clears the field and draws its own points
    EYE_FADE,       // points dim over N ticks; a point lit again is full again
    EYE_DENSITY,    // a count per pixel since the last clear, on a log grey scale
};
constexpr int EYE_FADE_MIN = 2;
constexpr int EYE_FADE_MAX = 50;
constexpr int EYE_FADE_DEFAULT = 8;

// Draws `count` points into *image as white dots on black, for a client area
// of `logical` size at device pixel ratio `ratio`: the image gets the area's
// size in device pixels and the mapping works in device pixels, so a dot is
// one physical pixel at any ratio. False, with *image untouched, for an area
// less than 2 device pixels wide or high.
bool eye_render(QImage *image, QSize logical, qreal ratio, const EyePoint *points, int count);

// The persistence of one eye window: a state image of the window's size in
// device pixels (ticks of life left per pixel for fade, counts for density)
// and the picture drawn from it. Neither grows with time.
struct EyePersistence {
    EyeMode mode = EYE_LAST_TICK;
    int fade_ticks = EYE_FADE_DEFAULT;
    QImage state;
    uint16_t max_count = 0;
};

// One tick of points in the persistence's mode into *picture. False, with
// nothing touched, for an area under 2 device pixels. A change of size
// starts the persistence over.
bool eye_render_persistent(EyePersistence *persistence, QImage *picture, QSize logical, qreal ratio,
                           const EyePoint *points, int count);
// Grey level of a density count against the largest count (log scale).
int eye_density_grey(uint32_t count, uint32_t max_count);

class EyeView : public QWidget {
    Q_OBJECT
public:
    EyeView(int modem, QWidget *parent = nullptr);

    // One tick's points of this modem (the core fetched them): redraws.
    // A negative count (no modem active) leaves the picture as it is;
    // frozen, the points are not drawn (the core still fetched them, so the
    // driver's queue never backs up).
    void show_points(const EyePoint *points, int count);
    // The picture of the last tick that drew (null before the first).
    const QImage &picture() const { return picture_; }
    int modem() const { return modem_; }

    void set_mode(EyeMode mode, int fade_ticks);
    EyeMode mode() const { return persistence_.mode; }
    int fade_ticks() const { return persistence_.fade_ticks; }
    // Starts fade and density over from a black field.
    void clear();
    void set_frozen(bool frozen);
    bool frozen() const { return frozen_; }
    void set_readouts(bool shown);
    bool readouts() const { return readouts_; }
    int points_drawn() const { return points_drawn_; }
    // Writes the picture as PNG, at the window's device pixel ratio.
    bool save_image(const QString &path) const;
    // Tests: draw as if at this device pixel ratio (0: the window's own).
    void set_ratio_for_tests(qreal ratio) { ratio_override_ = ratio; }

protected:
    void paintEvent(QPaintEvent *event) override;
    // A picture drawn for another size (before the window was laid out, or
    // before a resize) is drawn again from its points at the new size.
    void resizeEvent(QResizeEvent *event) override;

private:
    void create_actions();
    void save_image_as();
    void ask_fade_ticks();
    bool draw(const EyePoint *points, int count);

    int modem_;
    QImage picture_;
    EyePersistence persistence_;
    bool frozen_ = false;
    bool readouts_ = false;
    int points_drawn_ = 0;
    // The points of the last tick shown, for drawing them again at a new
    // size; -1 before the first and after a clear.
    EyePoint kept_[EYE_POINTS_WANTED] = {};
    int kept_count_ = -1;
    qreal ratio_override_ = 0;
    QAction *mode_actions_[3] = {};
    QAction *freeze_action_ = nullptr;
    QAction *readouts_action_ = nullptr;
};
