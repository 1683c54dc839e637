// The Qt tests' entry: one QApplication on the offscreen platform for every
// test, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv) {
    // Test discovery runs this program too, without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
