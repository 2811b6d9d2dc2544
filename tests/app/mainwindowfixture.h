// One main window for a whole test program, made the way the program makes
// it: the process gets a home of its own (HOME and the XDG data and config
// folders in a temporary directory), so that the window's settings, music
// folder and other files land in a temporary place, and the audio threads
// load the conversion library from this build.
#pragma once

#include <gtest/gtest.h>
#include <QString>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "engine/audiothread.h"

class tMainWindowSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        audioThread::setLibraryPath(qEnvironmentVariable("SONVEX_BIN_DIR") + QStringLiteral("/libmorphex.so.1"));
        sWindow = new MainWindow;
    }
    static void TearDownTestSuite() {
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    static inline QTemporaryDir *sHome = nullptr;
    static inline MainWindow *sWindow = nullptr;
};
