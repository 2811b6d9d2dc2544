// main() of the widget tests. The drawing widgets use fixed-function OpenGL,
// so every context is a 2.1 compatibility one: asking for 3.0 or more gives a
// core context on Mesa, in which the immediate-mode calls do nothing.
// Traces are switched off, so that no widget opens the trace connection.
//
// Mesa's software driver is pinned in memory: it keeps a few blocks until
// exit, and once unloaded its frames cannot be named, so the leak checker
// could not match them against tests/lsan.supp.
#include <dlfcn.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QSurfaceFormat>

#include "trace/debugclient.h"

int main(int argc, char **argv) {
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);

    QSurfaceFormat fmt;
    fmt.setRenderableType(QSurfaceFormat::OpenGL);
    fmt.setVersion(2, 1);
    fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
    QSurfaceFormat::setDefaultFormat(fmt);
    DebugClient::sDebugLevel = 9;

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
