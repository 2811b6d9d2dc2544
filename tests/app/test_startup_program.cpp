// The real program, started as a user starts it, on this test's own X
// display with the virtual audio device: it comes up with its main window,
// sits in the music folder with only the mixer-analysis thread running, and
// when its window is closed it saves the settings, stops in order, removes
// the decoding temporaries and exits 0.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <set>
#include <string>

#include "xprogram.h"

namespace {

const QString kTitle = QStringLiteral("KAVELO Sonvex Editor");

// Names the program's work threads carry (the kernel keeps 15 characters).
const char *const kWorkThreadNames[] = {"audioThread", "waveFormThread",  "flac2wavThread", "recEngineThread",
                                        "vsaThread",   "poly2monosteThr", "bounceThread",   "CContCoreAudioT"};

std::set<std::string> threadNames(qint64 pid) {
    std::set<std::string> names;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly)) names.insert(comm.readAll().trimmed().toStdString());
    }
    return names;
}

void pause(int ms) {
    QCoreApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(ms));
}

}  // namespace

TEST(ProgramRun, StartsInTheMusicFolderAndShutsDownInOrderOnClose) {
    const QString bin = qEnvironmentVariable("SONVEX_BIN_DIR");
    ASSERT_TRUE(QFileInfo::exists(bin + QStringLiteral("/SonvexEditor")));
    ASSERT_TRUE(QFileInfo::exists(bin + QStringLiteral("/libmorphex.so.1")));

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString music = home.filePath(QStringLiteral("Music"));
    const QString documents = home.filePath(QStringLiteral("Documents"));
    const QString settings = home.filePath(QStringLiteral("data/KAVELO/sonvexEditor.txt"));
    // Both decoding temporaries, as a crashed earlier run would leave them.
    ASSERT_TRUE(QDir().mkpath(music));
    for (int n = 0; n < 2; ++n) {
        QFile temp(music + QStringLiteral("/SonvexEditorFlacTemp%1.wav").arg(n));
        ASSERT_TRUE(temp.open(QIODevice::WriteOnly));
        temp.write("RIFF");
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("LANGUAGE"));
    env.remove(QStringLiteral("LC_ALL"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home.path());
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(bin + QStringLiteral("/SonvexEditor"), QStringList());
    ASSERT_TRUE(program.waitForStarted(10000));

    tXProgram x;
    ASSERT_TRUE(x.isOpen());
    Window window = 0;
    QElapsedTimer clock;
    clock.start();
    while (!window && clock.elapsed() < 120000 && program.state() == QProcess::Running) {
        pause(200);
        window = x.findMapped(kTitle);
    }
    ASSERT_NE(window, 0u) << program.readAllStandardError().toStdString();
    // Let the first paints and the one-shot timer run.
    pause(1500);

    // The current folder is the music folder; the documents folder exists
    // for the project dialogs.
    EXPECT_EQ(QFileInfo(QStringLiteral("/proc/%1/cwd").arg(program.processId())).symLinkTarget(),
              QFileInfo(music).canonicalFilePath());
    EXPECT_TRUE(QFileInfo(documents).isDir());

    // Of the work threads only the mixer-analysis thread runs.
    const std::set<std::string> names = threadNames(program.processId());
    EXPECT_EQ(names.count("mixerThread"), 1u);
    for (const char *name : kWorkThreadNames) EXPECT_EQ(names.count(name), 0u) << name;

    // The window has a fixed size: the window manager is told so.
    XSizeHints hints;
    long supplied = 0;
    Display *display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    ASSERT_TRUE(XGetWMNormalHints(display, window, &hints, &supplied));
    XCloseDisplay(display);
    EXPECT_TRUE(hints.flags & PMinSize);
    EXPECT_TRUE(hints.flags & PMaxSize);
    EXPECT_EQ(hints.min_width, hints.max_width);
    EXPECT_EQ(hints.min_height, hints.max_height);

    // For the eye: the started main window.
    x.grab(x.geometry(window)).save(QStringLiteral("startup-mainwindow.png"));

    // Close the window as the title bar's button does, and read the
    // shut-down's lines as they come: the settings must be on disk by the
    // time playback has been stopped.
    x.requestClose(window);
    QByteArray out;
    bool settingsBeforeStop = false;
    bool sawStop = false;
    clock.restart();
    while (program.state() == QProcess::Running && clock.elapsed() < 120000) {
        program.waitForReadyRead(20);
        out += program.readAllStandardOutput();
        if (!sawStop && out.contains("Play Stop OK \n")) {
            sawStop = true;
            settingsBeforeStop = QFileInfo::exists(settings);
        }
    }
    if (program.state() != QProcess::NotRunning) ASSERT_TRUE(program.waitForFinished(10000));
    out += program.readAllStandardOutput();
    const QByteArray err = program.readAllStandardError();

    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();

    const std::string text = out.toStdString();
    EXPECT_NE(text.find("Device not found\n"), std::string::npos) << text;
    const size_t stop = text.find("Play Stop OK \n");
    ASSERT_NE(stop, std::string::npos) << text;
    const std::string after = text.substr(stop);
    const size_t ok = after.find("mContCoreAudioThread finish OK\n");
    const size_t timeout = after.find("mContCoreAudioThread finish timeout\n");
    EXPECT_TRUE((ok == std::string::npos) != (timeout == std::string::npos)) << text;
    EXPECT_EQ(text.find("mContCoreAudioThread finish"), stop + after.find("mContCoreAudioThread finish"))
        << "a finish line before the stop line:\n"
        << text;

    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(settingsBeforeStop);
    EXPECT_TRUE(QFileInfo::exists(settings));
    for (int n = 0; n < 2; ++n)
        EXPECT_FALSE(QFileInfo::exists(music + QStringLiteral("/SonvexEditorFlacTemp%1.wav").arg(n))) << n;
}
