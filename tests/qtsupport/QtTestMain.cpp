// main() for GoogleTest executables that need a QApplication. Widgets run on the offscreen
// platform unless the environment names another (the end-to-end tests use Xvfb).

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
