// The main of the tests on a real X server (Xvfb): the platform is the one the
// test's environment names, and the audio library is freed after the last test.
#include <gtest/gtest.h>

#include <QApplication>

#include "audio/Audio.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    audio::Free();
    return result;
}
