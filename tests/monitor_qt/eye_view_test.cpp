// The eye displays: pixels of the mapping's examples at device pixel ratios
// 1 and 2, each modem's own points, a too-small area, and no active modem.
#include "window_fixture.h"

namespace {

QList<QPoint> white_pixels(const QImage &image) {
    QList<QPoint> white;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == qRgb(255, 255, 255)) {
                white << QPoint(x, y);
            } else if (line[x] != qRgb(0, 0, 0)) {
                ADD_FAILURE() << "pixel neither black nor white at " << x << "," << y;
            }
        }
    }
    return white;
}

// The mapping's examples: the centre, the square's top-left corner, and its
// bottom-right corner, which falls one row below a 300-pixel area.
const EyePoint EXAMPLES[] = {{0, 0}, {-20000, 20000}, {20000, -20000}};

}  // namespace

TEST(EyeRender, MappingExamplesInDevicePixelsAtEachRatio) {
    struct Row {
        qreal ratio;
        QSize device;
        QList<QPoint> white;
    } rows[] = {
        {1.0, {400, 300}, {{50, 0}, {200, 150}}},
        {2.0, {800, 600}, {{100, 0}, {400, 300}}},
        {1.5, {600, 450}, {{75, 0}, {300, 225}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.ratio);
        QImage image;
        ASSERT_TRUE(eye_render(&image, QSize(400, 300), row.ratio, EXAMPLES, 3));
        EXPECT_EQ(image.size(), row.device);
        EXPECT_EQ(image.devicePixelRatio(), row.ratio);
        EXPECT_EQ(white_pixels(image), row.white);
    }
}

TEST(EyeRender, AreaUnderTwoPixelsDrawsNothing) {
    for (QSize size : {QSize(1, 300), QSize(400, 1), QSize(0, 0)}) {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        EXPECT_FALSE(eye_render(&image, size, 1.0, EXAMPLES, 3));
        EXPECT_EQ(image.pixel(0, 0), QColor(Qt::red).rgb()) << "image touched";
    }
}

TEST_F(WindowTest, EachEyeDrawsOnlyItsModemsPointsOfThisTick) {
    EyeView one(1);
    EyeView two(2);
    one.resize(400, 300);
    two.resize(400, 300);
    activate(2);
    sim_queue_eye(1, EXAMPLES, 3);
    const EyePoint other[] = {{10000, 10000}};
    sim_queue_eye(2, other, 1);
    sim_clear_call_log();
    eye_tick(one, 1);
    eye_tick(two, 2);
    EXPECT_EQ(white_pixels(one.picture()), (QList<QPoint>{{50, 0}, {200, 150}}));
    EXPECT_EQ(white_pixels(two.picture()), (QList<QPoint>{{275, 75}}));
    const std::vector<std::string> calls = served_calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].rfind("GET_EYE_1 512 ", 0), 0u) << calls[0];
    EXPECT_EQ(calls[1].rfind("GET_EYE_2 512 ", 0), 0u) << calls[1];

    // The next tick clears the field: nothing carries over.
    eye_tick(one, 1);
    EXPECT_TRUE(white_pixels(one.picture()).isEmpty());

    // No modem active: the picture stays as it is.
    sim_queue_eye(2, other, 1);
    sim_set_active_modems(0);
    eye_tick(two, 2);
    EXPECT_EQ(white_pixels(two.picture()), (QList<QPoint>{{275, 75}}));
}
