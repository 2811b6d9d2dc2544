// The audio thread: its jobs, their parameter snapshot and signals, the
// stop request, the progress word, the library binding and the thread
// registry.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "engine/audiothread.h"
#include "engine/audiothreadfunc.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"

namespace {

// A job that records what it was given and returns a set result.
struct Seen {
    std::mutex m;
    std::vector<int> commands;
    std::vector<std::u16string> sources;
    std::vector<int32_t> tracks;
    std::vector<int64_t> offsets;
    std::vector<uint32_t> rates;
    std::vector<bool> bound;
    std::vector<int64_t> secondItemStart;
};

class RecordingJob : public Transaction {
public:
    RecordingJob(Seen *seen, int result, int progress = 0) : mSeen(seen), mResult(result), mProgress(progress) {}
    int apply(int command, tMorphexParam *record, tMorphexAPIs entries, tAudioFileInfo *info, tTimeInfo *,
              tDspVolItem *items, tID3tagInfo *) override {
        std::lock_guard<std::mutex> g(mSeen->m);
        mSeen->commands.push_back(command);
        mSeen->sources.push_back(record->srcPath);
        mSeen->tracks.push_back(mJob.track);
        mSeen->offsets.push_back(mJob.trackOffset);
        mSeen->rates.push_back(info->sampleRate);
        mSeen->bound.push_back(entries.morphexert != nullptr);
        mSeen->secondItemStart.push_back(items[1].start);
        record->progress = mProgress;
        return mResult;
    }

private:
    Seen *mSeen;
    int mResult;
    int mProgress;
};

struct Signals {
    std::mutex m;
    std::vector<int> started, done;
    void attach(audioThread &t) {
        QObject::connect(&t, &audioThread::transactionStarted_, [this](int c) {
            std::lock_guard<std::mutex> g(m);
            started.push_back(c);
        });
        QObject::connect(&t, &audioThread::allTransactionsDone_, [this](int r) {
            std::lock_guard<std::mutex> g(m);
            done.push_back(r);
        });
    }
    size_t doneCount() {
        std::lock_guard<std::mutex> g(m);
        return done.size();
    }
};

void setParams(audioThread &t, int command, const char16_t *src, uint32_t comWord, uint32_t rate, int track,
               int64_t offset) {
    tMorphexParam p;
    p.srcPath = src;
    p.com.command = comWord;
    tAudioFileInfo info;
    info.sampleRate = rate;
    info.totalSamples = 1000;
    tDspVolItem items[3];
    items[0].start = 0;
    items[0].level = 1.0;
    items[1].start = 500;
    items[2].start = kDspVolEnd;
    t.setAudioThreadParam(command, &p, &info, nullptr, items, track, nullptr, offset);
}

class AudioThreadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { engtest::useBuiltLibrary(); }
    engtest::FreshEngine mEngine;
};

TEST_F(AudioThreadTest, TwoJobsRunInOrderWithTheirSignals) {
    audioThread t;
    Signals sig;
    sig.attach(t);
    Seen seen;
    // The second job is queued while the first still runs: one batch.
    setParams(t, kMorphexCmdPlay, u"first.wav", kMorphexComFeedOnly, 44100, 3, 700);
    t.addTransaction(new RecordingJob(&seen, -5));
    setParams(t, kMorphexCmdExport, u"second.wav", kMorphexComWriteFile, 96000, 4, 900);
    t.addTransaction(new RecordingJob(&seen, -7));
    ASSERT_TRUE(engtest::waitFor([&] { return sig.doneCount() >= 1 && t.isFinished(); }));
    std::lock_guard<std::mutex> g1(sig.m), g2(seen.m);
    EXPECT_EQ(sig.started, (std::vector<int>{0, 0}));
    if (sig.done.size() == 1) {
        EXPECT_EQ(sig.done, (std::vector<int>{-7})) << "one completion with the second job's result";
    } else {
        // The first job ended before the second was queued: two batches.
        EXPECT_EQ(sig.done, (std::vector<int>{-5, -7}));
    }
    EXPECT_EQ(seen.commands, (std::vector<int>{kMorphexCmdPlay, kMorphexCmdExport}));
    EXPECT_EQ(seen.sources, (std::vector<std::u16string>{u"first.wav", u"second.wav"}));
    EXPECT_EQ(seen.rates, (std::vector<uint32_t>{44100, 96000}));
    EXPECT_EQ(seen.secondItemStart, (std::vector<int64_t>{500, 500}));
    // The track index and offset stay with the thread.
    EXPECT_EQ(seen.tracks, (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(seen.offsets, (std::vector<int64_t>{0, 0}));
    EXPECT_EQ(seen.bound, (std::vector<bool>{true, true}));
    EXPECT_EQ(t.getSourceRate(), 96000u);
    EXPECT_EQ(t.getTrackOffset(), 900);
}

TEST_F(AudioThreadTest, AJobQueuedRightAfterACompletionRuns) {
    // Queue the next job from the completion itself, on the thread, while
    // run() is between its emptiness test and its return.
    audioThread t;
    Seen seen;
    std::atomic<int> completions{0};
    QObject::connect(&t, &audioThread::allTransactionsDone_, [&](int) {
        if (completions.fetch_add(1) < 20) t.addTransaction(new RecordingJob(&seen, 0));
    });
    t.addTransaction(new RecordingJob(&seen, 0));
    ASSERT_TRUE(engtest::waitFor([&] { return completions.load() == 21 && t.isFinished(); }));
    std::lock_guard<std::mutex> g(seen.m);
    EXPECT_EQ(seen.commands.size(), 21u);
}

TEST_F(AudioThreadTest, ProgressAndResultWordsSurviveTheJob) {
    audioThread t;
    Signals sig;
    sig.attach(t);
    Seen seen;
    setParams(t, kMorphexCmdExport, u"a.wav", kMorphexComWriteFile, 44100, 0, 0);
    EXPECT_EQ(t.getConvProgress(), 0);
    t.addTransaction(new RecordingJob(&seen, 0, 100));
    ASSERT_TRUE(engtest::waitFor([&] { return sig.doneCount() == 1 && t.isFinished(); }));
    EXPECT_EQ(t.getConvProgress(), 100);
}

TEST_F(AudioThreadTest, StopCancelsAFileJobAndFadesOutPlayback) {
    audioThread t;
    struct Row {
        uint32_t comWord;
        bool abort, request;
    } rows[] = {
        {kMorphexComWriteFile, true, false},
        {kMorphexComWriteFile | kMorphexComEndBit, true, false},
        {kMorphexComFeedOnly, false, true},
        {0, false, true},
    };
    std::optional<engtest::FreshEngine> fresh;
    for (const Row &row : rows) {
        fresh.emplace();
        engine().stopTimeoutMs = -40;  // what an earlier forced stop leaves
        setParams(t, kMorphexCmdPlay, u"x.wav", row.comWord, 44100, 0, 0);
        t.stop();
        EXPECT_EQ(engine().convAbort.load(), row.abort) << row.comWord;
        EXPECT_EQ(engine().stopRequest.load(), row.request) << row.comWord;
        EXPECT_EQ(engine().stopTimeoutMs.load(), row.request ? kStopTimeoutMs : -40) << row.comWord;
    }
}

TEST_F(AudioThreadTest, StatusAndMeteringPoint) {
    audioThread t;
    t.setForceStatus(kEngineBounceFeed);
    EXPECT_EQ(engine().engineStatus.load(), kEngineBounceFeed);
    EXPECT_EQ(t.getStatus(), kEngineBounceFeed);
    t.setMeteringPoint(kMeteringPostFader);
    EXPECT_EQ(engine().meteringPoint.load(), kMeteringPostFader);
    t.setMeteringPoint(static_cast<eMeteringPoint>(2));
    EXPECT_EQ(engine().meteringPoint.load(), kMeteringPostFader);
    t.setMeteringPoint(kMeteringPreFader);
    EXPECT_EQ(engine().meteringPoint.load(), kMeteringPreFader);
}

TEST_F(AudioThreadTest, FirstThreadSetsUpTheEngineAndTheBackEnds) {
    audioThread t;
    ASSERT_NE(pCAudioThreadCoreAudioFunc, nullptr);
    ASSERT_NE(pCAudioThreadAsioFunc, nullptr);
    ASSERT_NE(pCAudioThreadWasapiFunc, nullptr);
    EXPECT_EQ(engine().monitorBuffer[5], engine().captureRingTable[5]);
    ASSERT_NE(engine().runningCom.load(), nullptr);
    EXPECT_EQ(engine().runningCom.load()->command, 0u);
    EXPECT_TRUE(t.isLibraryBound());
}

TEST_F(AudioThreadTest, RegistryCountSurvivesInitAudioIoParameters) {
    auto *a = new audioThread;
    const int ia = a->getThreadIndex();
    ASSERT_GE(ia, 0);
    EXPECT_EQ(engine().audioThreads[ia].load(), a);
    initAudioIoParameters();
    EXPECT_EQ(engine().audioThreads[ia].load(), nullptr);
    auto *b = new audioThread;
    EXPECT_EQ(b->getThreadIndex(), ia + 1) << "registration continues after the old count";
    EXPECT_EQ(engine().audioThreads[ia + 1].load(), b);
    delete b;
    EXPECT_EQ(engine().audioThreads[ia + 1].load(), nullptr);
    EXPECT_EQ(engine().audioThreadCount.load(), ia + 1);
    delete a;  // no longer in the table: the count stays
    EXPECT_EQ(engine().audioThreadCount.load(), ia + 1);
}

TEST_F(AudioThreadTest, DeletingAThreadMovesLaterEntriesDown) {
    const int base = engine().audioThreadCount.load();
    ASSERT_LE(base + 3, kAudioThreadSlots);
    auto *a = new audioThread;
    auto *b = new audioThread;
    auto *c = new audioThread;
    delete b;
    EXPECT_EQ(engine().audioThreads[base].load(), a);
    EXPECT_EQ(engine().audioThreads[base + 1].load(), c);
    EXPECT_EQ(engine().audioThreads[base + 2].load(), nullptr);
    EXPECT_EQ(engine().audioThreadCount.load(), base + 2);
    delete c;
    delete a;
    EXPECT_EQ(engine().audioThreadCount.load(), base);
}

TEST_F(AudioThreadTest, AFullRegistryTakesNoFurtherThread) {
    std::vector<audioThread *> threads;
    while (engine().audioThreadCount.load() < kAudioThreadSlots) threads.push_back(new audioThread);
    audioThread extra;
    EXPECT_EQ(extra.getThreadIndex(), -1);
    EXPECT_EQ(engine().audioThreadCount.load(), kAudioThreadSlots);
    for (int i = 0; i < kAudioThreadSlots; ++i) EXPECT_NE(engine().audioThreads[i].load(), &extra);
    for (auto it = threads.rbegin(); it != threads.rend(); ++it) delete *it;
}

TEST_F(AudioThreadTest, AJobWithoutTheLibraryFailsWithoutStartingTheEngine) {
    const QString good = audioThread::libraryPath();
    audioThread::setLibraryPath(QStringLiteral("/nonexistent/libmorphex.so.1"));
    audioThread t;
    audioThread::setLibraryPath(good);
    EXPECT_FALSE(t.isLibraryBound());
    Signals sig;
    sig.attach(t);
    setParams(t, kMorphexCmdPlay, u"x.wav", kMorphexComFeedOnly, 44100, 0, 0);
    t.addTransaction(new ClassMorphex(2));
    ASSERT_TRUE(engtest::waitFor([&] { return sig.doneCount() == 1 && t.isFinished(); }));
    std::lock_guard<std::mutex> g(sig.m);
    EXPECT_EQ(sig.done[0], kClassMorphexErrNoLibrary);
    EXPECT_EQ(engine().startMode.load(), kStartNone);
    EXPECT_TRUE(engine().convFailed.load());
}

TEST_F(AudioThreadTest, LibraryBindingForTheAnalysis) {
    audioThread t;
    ASSERT_EQ(initAudioIO_parameters(), kEngineMemOk);
    EXPECT_NE(sDecimFirParamFunc.load(), nullptr);
    EXPECT_NE(sDecimMeterFirParamFunc.load(), nullptr);
    EXPECT_NE(sDecimFirFunc.load(), nullptr);
    EXPECT_NE(sAnalyzeFFTspectrumFunc.load(), nullptr);
    EXPECT_NE(sInitAnalyzingFFTparamsFunc.load(), nullptr);
    for (int k = 0; k < kMaxTracks; ++k) EXPECT_EQ(engine().audioIoThreadId[k].load(), -1);
    EXPECT_EQ(engine().dsdIdleBytes, kDsdIdleInitialBytes);
    for (int k = 0; k < kDsdIdleRow; ++k) {
        ASSERT_EQ(engine().dsdIdleTable[31][k], engine().dsdIdleBuffer);
    }
    EXPECT_EQ(engine().dsdIdleBuffer[0], kDsdIdleByte);
    EXPECT_EQ(engine().dsdIdleBuffer[2 * kDsdIdleInitialBytes - 1], kDsdIdleByte);
}

}  // namespace

// The main window's unity list ends with a start of -1, and a list may hold
// no end item at all: neither lets a job's envelope step past its copy.
TEST_F(AudioThreadTest, ANegativeStartOrAMissingEndEndsTheEnvelope) {
    audioThread t;
    Signals sig;
    sig.attach(t);
    Seen seen;
    tMorphexParam p;
    p.srcPath = u"unity.wav";
    tAudioFileInfo info;
    info.sampleRate = 44100;
    tDspVolItem unity[kJobVolItems] = {};
    unity[0] = {0, 1.0, 0.0, 0};
    unity[1] = {-1, 1.0, 0.0, 0};
    t.setAudioThreadParam(kMorphexCmdBounceFeed, &p, &info, nullptr, unity, 0, nullptr, 0);
    t.addTransaction(new RecordingJob(&seen, 0));
    tDspVolItem noEnd[kJobVolItems + 5] = {};
    for (int i = 0; i < kJobVolItems + 5; ++i) noEnd[i].start = 10 * i;
    t.setAudioThreadParam(kMorphexCmdBounceFeed, &p, &info, nullptr, noEnd, 0, nullptr, 0);
    t.addTransaction(new RecordingJob(&seen, 0));
    ASSERT_TRUE(engtest::waitFor([&] { return sig.doneCount() >= 1 && t.isFinished(); }));
    std::lock_guard<std::mutex> g(seen.m);
    ASSERT_EQ(seen.secondItemStart.size(), 2u);
    EXPECT_EQ(seen.secondItemStart[0], kDspVolEnd);
    EXPECT_EQ(seen.secondItemStart[1], 10);
}
