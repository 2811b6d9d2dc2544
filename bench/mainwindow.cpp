// The main window as the user meets it, on the virtual audio device:
//   Launch       the program started until its window is mapped, and from
//                the close button until the process has ended
//   StartUp      construction to the window on screen, and its destruction
//   OpenToDrawn  a file opened through the window until its overview is
//                complete and drawn (the whole road: the stop before
//                opening, the description, the play-rate change, the
//                overview worker and the view's drawing of it)
//   IdleCpu      the window left alone with no file: CPU per thread group
//   PlayingCpu   the same while a file plays
// Run it under a virtual X server with the software renderer, as the
// window runs there (xvfb-run, LIBGL_ALWAYS_SOFTWARE=1). The files are
// written once into the temporary folder; the hour-long DSD file is the
// one bench_waveform uses.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include "../tests/morphex/audiogen.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "engine/audiothread.h"
#include "meter/metergraphic.h"
#include "ui_mainwindow.h"
// Last: the X headers define names (None, Bool) that Qt's headers use.
#include "../tests/app/xprogram.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Counts the paints of the widgets it watches, and notes the first paint
// at which `ready` held (the state was complete when the paint began).
class tPaintCounter : public QObject {
public:
    void watch(QWidget *w) {
        if (w) w->installEventFilter(this);
    }
    long paints = 0;
    std::function<bool()> ready;
    bool paintedReady = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (ready && !paintedReady && ready()) paintedReady = true;
        }
        return false;
    }
};

// The window's drawn parts: the track view and the four parts of the meter.
void watchWindow(tPaintCounter &counter, MainWindow &w) {
    counter.watch(probe(w).ui()->widgetTrack1);
    for (const QPointer<QWidget> &part : probe(w).ui()->widgetMeter->mDrawWidget) counter.watch(part.data());
    counter.watch(probe(w).ui()->lineEditTime);
}

// Runs the event loop until done() or the time-out (seconds); true when
// done. The loop sleeps between events, as the program's own does, so the
// benchmark adds no load of its own to the GUI thread.
template <typename F>
bool runUntil(F done, double timeout) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll;
    const auto t0 = Clock::now();
    bool ok = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done()) {
            ok = true;
            loop.quit();
        } else if (secondsSince(t0) > timeout) {
            loop.quit();
        }
    });
    poll.start(2);
    loop.exec();
    return ok;
}

void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU seconds of this process's threads, summed by group: the GUI thread,
// the software renderer's threads and everything else.
struct tCpu {
    double gui = 0, renderer = 0, other = 0;
    double total() const { return gui + renderer + other; }
};

tCpu readCpu() {
    tCpu cpu;
    const double tick = double(sysconf(_SC_CLK_TCK));
    const pid_t self = getpid();
    DIR *dir = opendir("/proc/self/task");
    if (!dir) return cpu;
    while (dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        char comm[64] = {};
        if (FILE *f = std::fopen((base + "/comm").c_str(), "r")) {
            if (!std::fgets(comm, sizeof comm, f)) comm[0] = 0;
            std::fclose(f);
        }
        unsigned long utime = 0, stime = 0;
        if (FILE *f = std::fopen((base + "/stat").c_str(), "r")) {
            char line[1024] = {};
            if (std::fgets(line, sizeof line, f)) {
                // Fields after the command's closing parenthesis: state is
                // field 3, utime 14 and stime 15.
                const char *p = std::strrchr(line, ')');
                if (p) std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
            }
            std::fclose(f);
        }
        const double s = double(utime + stime) / tick;
        if (std::atoi(e->d_name) == self)
            cpu.gui += s;
        else if (std::strncmp(comm, "llvmpipe", 8) == 0 || std::strncmp(comm, "gallium", 7) == 0)
            cpu.renderer += s;
        else
            cpu.other += s;
    }
    closedir(dir);
    return cpu;
}

std::string tempFile(const char *name) { return (std::filesystem::temp_directory_path() / name).string(); }

bool writeStreamed(const std::string &path, const std::vector<uint8_t> &header, uint64_t bytes) {
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) == header.size() + bytes) return true;
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), fp) == header.size();
    const std::vector<uint8_t> piece = sxgen::noiseBytes(1 << 24, 12345);
    for (uint64_t done = 0; ok && done < bytes;) {
        const size_t n = size_t(std::min<uint64_t>(piece.size(), bytes - done));
        ok = std::fwrite(piece.data(), 1, n, fp) == n;
        done += n;
    }
    return std::fclose(fp) == 0 && ok;
}

// A stereo DSD64 DSF of `seconds`; the hour-long one is bench_waveform's.
std::string dsd64File(uint64_t seconds) {
    const std::string path = seconds == 3600 ? tempFile("sx_bench_60min_dsd64.dsf")
                                             : tempFile(("sx_bench_window_" + std::to_string(seconds) + "s_dsd64.dsf").c_str());
    const uint64_t samples = seconds * 2822400;
    const uint64_t payload = (samples / 8 + 4095) / 4096 * 4096 * 2;
    return writeStreamed(path, sxgen::dsfHeader(2822400, 2, samples), payload) ? path : std::string();
}

std::string wav44File(uint64_t seconds) {
    const std::string path = tempFile(("sx_bench_window_" + std::to_string(seconds) + "s_44k16.wav").c_str());
    const uint64_t bytes = seconds * 44100 * 4;
    return writeStreamed(path, sxtest::wavHeader(44100, 16, 2, uint32_t(bytes)), bytes) ? path : std::string();
}

// One window for the file and CPU benchmarks, made on first use.
std::unique_ptr<MainWindow> sWindow;

MainWindow &sharedWindow() {
    if (!sWindow) {
        sWindow = std::make_unique<MainWindow>();
        sWindow->show();
        runUntil([] { return sWindow->windowHandle() && sWindow->windowHandle()->isExposed(); }, 30);
        runFor(1.0);
    }
    return *sWindow;
}

void BM_Launch(benchmark::State &state) {
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/SonvexEditor");
    tXProgram x;
    if (!x.isOpen()) {
        state.SkipWithError("no X display");
        return;
    }
    double closing = 0;
    for (auto _ : state) {
        QTemporaryDir home;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        // The program's terminal output is not read here: it goes nowhere,
        // so a full pipe cannot hold the program up.
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        const auto t0 = Clock::now();
        process.start(program, {});
        Window window = 0;
        while (!window && secondsSince(t0) < 60 && process.state() != QProcess::NotRunning) {
            usleep(5000);
            window = x.findMapped(QStringLiteral("KAVELO Sonvex Editor"));
        }
        state.SetIterationTime(secondsSince(t0));
        if (!window) {
            state.SkipWithError("the window did not come up");
            process.kill();
            process.waitForFinished();
            break;
        }
        // The splash screen closes once the window has been drawn; a close
        // before that would leave the splash as the last window.
        usleep(2000000);
        const auto t1 = Clock::now();
        x.requestClose(window);
        if (!process.waitForFinished(60000)) state.SkipWithError("the program did not end");
        closing += secondsSince(t1);
    }
    state.counters["close_s"] = benchmark::Counter(closing / double(state.iterations()));
}

void BM_StartUp(benchmark::State &state) {
    sWindow.reset();  // one window at a time
    double closing = 0;
    for (auto _ : state) {
        tPaintCounter counter;
        const auto t0 = Clock::now();
        auto w = std::make_unique<MainWindow>();
        w->show();
        watchWindow(counter, *w);
        // On screen: the window is exposed and its view has been drawn.
        if (!runUntil([&] { return w->windowHandle() && w->windowHandle()->isExposed() && counter.paints > 0; }, 60))
            state.SkipWithError("the window did not come up");
        state.SetIterationTime(secondsSince(t0));
        runFor(0.5);
        const auto t1 = Clock::now();
        w->close();
        w.reset();
        closing += secondsSince(t1);
    }
    state.counters["close_s"] = benchmark::Counter(closing / double(state.iterations()));
}

void openToDrawn(benchmark::State &state, const std::string &path) {
    if (path.empty()) {
        state.SkipWithError("cannot write the file");
        return;
    }
    MainWindow &w = sharedWindow();
    tPaintCounter counter;
    counter.watch(probe(w).ui()->widgetTrack1);
    const QString file = QString::fromStdString(path);
    double opening = 0, computed = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        w.openFile(file, 0);
        opening += secondsSince(t0);
        // Complete: the worker has reported the whole overview. Drawn: the
        // view has painted with it.
        bool complete = false;
        counter.paintedReady = false;
        counter.ready = [&] { return probe(w).tracks()[0].waveJobActive == 1 && probe(w).tracks()[0].waveJobDone == 1; };
        const bool ok = runUntil(
            [&] {
                if (!complete && counter.ready()) {
                    complete = true;
                    computed += secondsSince(t0);
                }
                return counter.paintedReady;
            },
            600);
        counter.ready = nullptr;
        if (!ok) state.SkipWithError("the overview was not drawn");
        state.SetIterationTime(secondsSince(t0));
        runFor(0.3);
    }
    // Where the time goes: the open call itself, and the overview reported
    // complete (the rest is its drawing).
    state.counters["open_call_s"] = benchmark::Counter(opening / double(state.iterations()));
    state.counters["complete_s"] = benchmark::Counter(computed / double(state.iterations()));
}

void BM_OpenToDrawn_Dsd64_60s(benchmark::State &state) { openToDrawn(state, dsd64File(60)); }
void BM_OpenToDrawn_Dsd64_10s(benchmark::State &state) { openToDrawn(state, dsd64File(10)); }
void BM_OpenToDrawn_Dsd64_3600s(benchmark::State &state) { openToDrawn(state, dsd64File(3600)); }
void BM_OpenToDrawn_Wav44k16_60s(benchmark::State &state) { openToDrawn(state, wav44File(60)); }

// CPU of the window over a few seconds, as percent of one core per group.
void measureCpu(benchmark::State &state, MainWindow &w, double seconds) {
    tPaintCounter counter;
    watchWindow(counter, w);
    tCpu used;
    double wall = 0;
    long paints = 0;
    for (auto _ : state) {
        const tCpu a = readCpu();
        const long p0 = counter.paints;
        const auto t0 = Clock::now();
        runFor(seconds);
        wall += secondsSince(t0);
        const tCpu b = readCpu();
        used.gui += b.gui - a.gui;
        used.renderer += b.renderer - a.renderer;
        used.other += b.other - a.other;
        paints += counter.paints - p0;
    }
    state.counters["gui_pct"] = 100.0 * used.gui / wall;
    state.counters["renderer_pct"] = 100.0 * used.renderer / wall;
    state.counters["drawing_pct"] = 100.0 * (used.gui + used.renderer) / wall;
    state.counters["other_pct"] = 100.0 * used.other / wall;
    state.counters["paints_per_s"] = double(paints) / wall;
}

void BM_IdleCpu(benchmark::State &state) {
    sWindow.reset();
    MainWindow &w = sharedWindow();
    runFor(2.0);
    measureCpu(state, w, 5.0);
}

void BM_PlayingCpu(benchmark::State &state) {
    const std::string path = wav44File(120);
    MainWindow &w = sharedWindow();
    w.openFile(QString::fromStdString(path), 0);
    runUntil([&] { return probe(w).tracks()[0].waveJobDone == 1; }, 60);
    probe(w).cursorSample() = 0;
    probe(w).ui()->playButton->click();
    runFor(1.0);
    measureCpu(state, w, 5.0);
    probe(w).ui()->stopButton->click();
}

}  // namespace

BENCHMARK(BM_Launch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IdleCpu)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OpenToDrawn_Wav44k16_60s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenToDrawn_Dsd64_10s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenToDrawn_Dsd64_60s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenToDrawn_Dsd64_3600s)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PlayingCpu)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv) {
    // A home of its own, so that the settings and work files of the runs
    // do not touch the user's; the virtual device alone unless the caller
    // chose otherwise.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("SONVEX_AUDIO") && qEnvironmentVariableIsEmpty("SONVEX_AUDIO_CONFIG"))
        qputenv("SONVEX_AUDIO", "virtual=on;real=off");
    // The application as the program makes it: its OpenGL format, its
    // scaling, font and style sheet.
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(2, 1);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QSurfaceFormat::setDefaultFormat(format);
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    app.setStyleSheet(startup_composeStyleSheet(startup_readStyleSheet(), startup_registerFont()));
    audioThread::setLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/libmorphex.so.1"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sWindow.reset();
    return 0;
}
