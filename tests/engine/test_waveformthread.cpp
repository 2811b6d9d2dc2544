// The waveform worker: a job reaches the library's overview through the
// owner's entry point, reports every job (also one that cannot run), and
// its stop reaches the running computation through the abort byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "audiofile/wavfile.h"
#include "engine/waveformthread.h"
#include "enginetestutil.h"
#include "testutil.h"

namespace {

struct Prepared {
    std::mutex m;
    std::vector<std::pair<int, bool>> seen;
    void attach(waveFormThread &w) {
        QObject::connect(
            &w, &waveFormThread::waveFormPrepared, &w,
            [this](int track, bool aborted) {
                std::lock_guard<std::mutex> g(m);
                seen.emplace_back(track, aborted);
            },
            Qt::DirectConnection);
    }
    size_t count() {
        std::lock_guard<std::mutex> g(m);
        return seen.size();
    }
};

// One level of points, stereo pairs.
struct Level {
    explicit Level(int points) : count{points}, max(2 * points, 9.0), min(2 * points, 9.0) {
        maxima[0] = max.data();
        minima[0] = min.data();
    }
    int64_t count[1];
    std::vector<double> max, min;
    double *maxima[1];
    double *minima[1];
};

// A stand-in for the library that spins until the worker's abort byte is
// set, as the library's read loop would.
std::atomic<bool> gInsideStandIn{false};
int waitForAbort(const int16_t *, int64_t start, int64_t end, const int64_t *, double **, double **,
                 const uint8_t *abort, int64_t *progress, int) {
    if (start != 0 || end != INT64_MAX) return -100;  // the whole file is always asked for
    gInsideStandIn = true;
    while (!__atomic_load_n(abort, __ATOMIC_RELAXED)) {
        __atomic_store_n(progress, __atomic_load_n(progress, __ATOMIC_RELAXED) + 1, __ATOMIC_RELEASE);
        QThread::msleep(1);
    }
    gInsideStandIn = false;
    return -31;
}

TEST(WaveFormThread, WithoutAnEntryPointEveryJobFailsAndIsStillReported) {
    waveFormThread w;
    Prepared p;
    p.attach(w);
    Level level(10);
    const std::u16string path = u"/nonexistent.wav";
    w.setParameters(path.c_str(), level.count, 1, level.maxima, level.minima, nullptr, 1, 3);
    w.addTransaction(new ClassGetWaveForm);
    w.addTransaction(new ClassGetWaveForm);
    ASSERT_TRUE(engtest::waitFor([&] { return p.count() == 2 && w.isEnded(); }));
    EXPECT_EQ(w.getResult(), kWaveFormErrNoEntry);
    for (const auto &s : p.seen) EXPECT_EQ(s, std::make_pair(3, false));
    EXPECT_EQ(level.max[0], 9.0) << "nothing was written";
    EXPECT_FALSE(w.isRunningFlag());
}

TEST(WaveFormThread, StopEndsAnIdleWorkerAtOnceAndAJobQueuedAfterItStillRuns) {
    waveFormThread w;
    Prepared p;
    p.attach(w);
    w.stop();
    EXPECT_TRUE(w.isEnded());
    EXPECT_TRUE(w.isAborted());

    // Queuing clears the abort: the stand-in only returns once a new stop
    // comes, so the job must be seen running first.
    w.setWaveFormFunc(waitForAbort);
    Level level(4);
    const std::u16string path = u"x.wav";
    w.setParameters(path.c_str(), level.count, 1, level.maxima, level.minima, nullptr, 1, 7);
    w.addTransaction(new ClassGetWaveForm);
    ASSERT_TRUE(engtest::waitFor([] { return gInsideStandIn.load(); }));
    EXPECT_FALSE(w.isEnded()) << "a running worker has not ended";
    QThread::msleep(20);
    EXPECT_EQ(p.count(), 0u) << "the job was not cut short by the earlier stop";
    EXPECT_GT(w.getProgress(), 0);

    w.stop();
    ASSERT_TRUE(engtest::waitFor([&] { return p.count() == 1 && w.isEnded(); }));
    EXPECT_EQ(p.seen[0], std::make_pair(7, true));
    EXPECT_EQ(w.getResult(), -31);
    EXPECT_EQ(w.getFinalProgress(), w.getProgress());
}

// The owner clears or refills its arrays only after stopAndWait: it returns
// once the job has left the library, also for a stop given before the
// worker's thread had started (a lost stop would leave the stand-in
// spinning and the wait would report it).
TEST(WaveFormThread, StopAndWaitReturnsOnceTheJobHasLeftTheLibrary) {
    waveFormThread w;
    Prepared p;
    p.attach(w);
    w.setWaveFormFunc(waitForAbort);
    Level level(4);
    const std::u16string path = u"x.wav";
    w.setParameters(path.c_str(), level.count, 1, level.maxima, level.minima, nullptr, 1, 5);

    w.addTransaction(new ClassGetWaveForm);
    ASSERT_TRUE(w.stopAndWait(120000)) << "a stop right after the queueing was lost";
    EXPECT_FALSE(w.isRunning());
    EXPECT_FALSE(gInsideStandIn.load());
    ASSERT_EQ(p.count(), 1u);
    EXPECT_EQ(p.seen[0], std::make_pair(5, true));

    w.addTransaction(new ClassGetWaveForm);
    ASSERT_TRUE(engtest::waitFor([] { return gInsideStandIn.load(); }));
    ASSERT_TRUE(w.stopAndWait(120000));
    EXPECT_FALSE(w.isRunning());
    EXPECT_FALSE(gInsideStandIn.load());
    EXPECT_EQ(p.count(), 2u);
    // The arrays are the owner's again.
    std::fill(level.max.begin(), level.max.end(), 0.0);

    // An idle worker: nothing to wait for.
    EXPECT_TRUE(w.stopAndWait(0));
}

TEST(WaveFormThread, ALevelWithoutItsArraysIsRefusedBeforeTheLibrarySeesIt) {
    waveFormThread w;
    Prepared p;
    p.attach(w);
    w.setWaveFormFunc(waitForAbort);  // would hang if it were called
    Level level(4);
    const std::u16string path = u"x.wav";
    w.setParameters(path.c_str(), level.count, 1, nullptr, level.minima, nullptr, 1, 0);
    w.addTransaction(new ClassGetWaveForm);
    w.setParameters(path.c_str(), level.count, 1, level.maxima, level.minima, nullptr, 0, 0);
    w.addTransaction(new ClassGetWaveForm);
    ASSERT_TRUE(engtest::waitFor([&] { return p.count() == 2 && w.isEnded(); }));
    EXPECT_EQ(w.getResult(), kWaveFormErrParams);
}

// Through the built library: a 16-bit stereo file of +full scale on the left
// and -full scale on the right, in two levels.
TEST(WaveFormThread, ComputesTheOverviewThroughTheLibrary) {
    sxtest::TempDir dir;
    const std::string file = dir.file("square.wav");
    constexpr int kFrames = 4000;
    {
        gClass_WavFile wav;
        FILE *fp = std::fopen(file.c_str(), "wb+");
        ASSERT_NE(fp, nullptr);
        tBwfHdrParam hdr{};
        hdr.channels = 2;
        hdr.bits = 16;
        hdr.rate = 44100;
        hdr.stereo = 1;
        ASSERT_EQ(wav.createHeader(fp, &hdr, 0), 0);
        std::vector<int16_t> pcm(2 * kFrames);
        for (int i = 0; i < kFrames; ++i) {
            pcm[2 * i] = i < kFrames / 2 ? 32767 : 0;
            pcm[2 * i + 1] = -32768;
        }
        ASSERT_EQ(std::fseek(fp, 0, SEEK_END), 0);
        ASSERT_EQ(std::fwrite(pcm.data(), 2, pcm.size(), fp), pcm.size());
        ASSERT_EQ(wav.updateDataSize(fp, pcm.size() * 2, kFrames), 0);
        std::fclose(fp);
    }

    const tGetAudioWaveFormFunc entry = morphexBinding(QString::fromStdString(engtest::libraryFile())).getAudioWaveForm;
    ASSERT_NE(entry, nullptr);

    waveFormThread w;
    Prepared p;
    p.attach(w);
    w.setWaveFormFunc(entry);
    int64_t counts[2] = {2, 8};
    std::vector<double> max0(4, 9.0), min0(4, 9.0), max1(16, 9.0), min1(16, 9.0);
    double *maxima[2] = {max0.data(), max1.data()};
    double *minima[2] = {min0.data(), min1.data()};
    const std::u16string path = QString::fromStdString(file).toStdU16String();
    w.setParameters(path.c_str(), counts, 1, maxima, minima, nullptr, 2, 1);
    w.addTransaction(new ClassGetWaveForm);
    ASSERT_TRUE(engtest::waitFor([&] { return p.count() == 1; }));
    EXPECT_EQ(p.seen[0], std::make_pair(1, false));
    EXPECT_EQ(w.getResult(), 8);
    EXPECT_EQ(w.getFinalProgress(), 2) << "both first-level points done";

    const double top = 0.8 * 32767.0 / 32768.0;
    // Coarse level: first half loud on the left, second half silent there.
    EXPECT_NEAR(max0[0], top, 1e-12);
    EXPECT_EQ(max0[2], 0.0);
    EXPECT_NEAR(min0[1], -0.8, 1e-12);
    EXPECT_NEAR(min0[3], -0.8, 1e-12);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(max1[2 * i], i < 4 ? top : 0.0, 1e-12) << "point " << i;
        EXPECT_EQ(min1[2 * i], 0.0) << "positive samples only keep the minimum at 0";
        EXPECT_NEAR(min1[2 * i + 1], -0.8, 1e-12);
    }
}

}  // namespace
