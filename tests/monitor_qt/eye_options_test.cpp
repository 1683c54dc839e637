// Eye display options: fade and density pixel values after k ticks of a
// fixed point feed, freeze while fetching goes on, the PNG at pixel ratio 2,
// and the readout marks.
#include <QImageReader>

#include "window_fixture.h"

namespace {

int grey_at(const QImage &image, QPoint p) { return qBlue(image.pixel(p)); }

const EyePoint P = {0, 0};            // pixel (200, 150) on 400 x 300
const EyePoint Q = {-20000, 20000};   // pixel (50, 0)
const QPoint P_PIXEL(200, 150);
const QPoint Q_PIXEL(50, 0);

}  // namespace

TEST(EyePersistence, FadeDimsOverNTicksAndRelightsFully) {
    EyePersistence fade;
    fade.mode = EYE_FADE;
    fade.fade_ticks = 4;
    QImage picture;
    struct Row {
        std::vector<EyePoint> points;
        int p_grey, q_grey;
    } rows[] = {
        {{P}, 255, 0},   {{Q}, 191, 255}, {{Q}, 127, 255}, {{P, Q}, 255, 255},
        {{}, 191, 191},  {{}, 127, 127},  {{}, 63, 63},    {{}, 0, 0},  {{}, 0, 0},
    };
    int tick = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(tick++);
        ASSERT_TRUE(eye_render_persistent(&fade, &picture, QSize(400, 300), 1.0, row.points.data(),
                                          static_cast<int>(row.points.size())));
        EXPECT_EQ(grey_at(picture, P_PIXEL), row.p_grey);
        EXPECT_EQ(grey_at(picture, Q_PIXEL), row.q_grey);
        EXPECT_EQ(grey_at(picture, QPoint(10, 10)), 0);
    }
    // The state is one image of the area's size, whatever the ticks.
    EXPECT_EQ(fade.state.size(), QSize(400, 300));
}

TEST(EyePersistence, DensityCountsOnALogGreyScaleUntilCleared) {
    EyePersistence density;
    density.mode = EYE_DENSITY;
    QImage picture;
    for (int tick = 0; tick < 4; ++tick) {
        std::vector<EyePoint> points = {P};
        if (tick % 2 == 0) {
            points.push_back(Q);
        }
        ASSERT_TRUE(eye_render_persistent(&density, &picture, QSize(400, 300), 1.0, points.data(),
                                          static_cast<int>(points.size())));
    }
    // Counts 4 and 2: grey 255 * ln(1 + c) / ln(1 + 4).
    EXPECT_EQ(grey_at(picture, P_PIXEL), 255);
    EXPECT_EQ(grey_at(picture, Q_PIXEL), 174);
    EXPECT_EQ(grey_at(picture, QPoint(10, 10)), 0);
    EXPECT_EQ(density.max_count, 4);
    struct Row {
        uint32_t count, max;
        int grey;
    } greys[] = {{0, 9, 0}, {1, 1, 255}, {1, 3, 128}, {3, 15, 128}, {65535, 65535, 255}, {5, 0, 0}};
    for (const Row &row : greys) {
        EXPECT_EQ(eye_density_grey(row.count, row.max), row.grey) << row.count << "/" << row.max;
    }
}

TEST_F(WindowTest, EyeViewOptionsClearFreezeAndSaveAtPixelRatioTwo) {
    EyeView view(1);
    view.resize(400, 300);
    activate(1);
    // Density through the view; Clear starts the counts over.
    view.set_mode(EYE_DENSITY, 8);
    const EyePoint feed[] = {P, P, Q};
    sim_queue_eye(1, feed, 3);
    eye_tick(view, 1);
    EXPECT_EQ(grey_at(view.picture(), P_PIXEL), 255);
    EXPECT_EQ(grey_at(view.picture(), Q_PIXEL), 161);  // 1 of 2: ln 2 / ln 3
    view.clear();
    sim_queue_eye(1, &Q, 1);
    eye_tick(view, 1);
    EXPECT_EQ(grey_at(view.picture(), P_PIXEL), 0);
    EXPECT_EQ(grey_at(view.picture(), Q_PIXEL), 255);

    // Frozen: the points are fetched and the picture stays.
    view.set_frozen(true);
    const QImage before = view.picture().copy();
    sim_queue_eye(1, &P, 1);
    sim_clear_call_log();
    eye_tick(view, 1);
    EXPECT_EQ(served_calls(), std::vector<std::string>{"GET_EYE_1 512 1"});
    EXPECT_EQ(view.picture(), before);
    eye_tick(view, 1);
    EXPECT_EQ(served_calls().back(), "GET_EYE_1 512 0") << "the point was fetched while frozen";
    view.set_frozen(false);

    // The PNG has the window's device pixels at ratio 2.
    view.set_mode(EYE_LAST_TICK, 8);
    view.set_ratio_for_tests(2.0);
    sim_queue_eye(1, &P, 1);
    eye_tick(view, 1);
    const QString path = QString::fromStdString(directory_ + "/eye.png");
    ASSERT_TRUE(view.save_image(path));
    QImage saved(path);
    EXPECT_EQ(saved.size(), QSize(800, 600));
    EXPECT_EQ(qBlue(saved.pixel(400, 300)), 255);
    EXPECT_EQ(QImageReader(path).format(), "png");
}

TEST_F(WindowTest, ReadoutsMarkTheAxesAndCountThePoints) {
    EyeView view(1);
    view.resize(400, 300);
    activate(1);
    sim_queue_eye(1, &P, 1);
    eye_tick(view, 1);
    const QRgb mark = QColor(0, 160, 255).rgb();
    EXPECT_NE(view.grab().toImage().pixel(275, 148), mark);
    view.set_readouts(true);
    EXPECT_EQ(view.points_drawn(), 1);
    const QImage shown = view.grab().toImage();
    // +10000 on the x axis sits 75 pixels right of the centre; +20000 on y at the top.
    EXPECT_EQ(shown.pixel(275, 148), mark);
    EXPECT_EQ(shown.pixel(275, 152), mark);
    EXPECT_EQ(shown.pixel(198, 0), mark);
}
