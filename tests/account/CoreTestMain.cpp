// main() for GoogleTest executables of the account layer: a QCoreApplication, whose event
// loop the lookups report on. No widgets, as in the layer itself.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    // A lookup left unanswered goes on in Qt's thread pool after its deadline, and the
    // application's end waits for it: one try of two seconds, not glibc's three of five.
    ::setenv("RES_OPTIONS", "timeout:2 attempts:1", 0);
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
