#include "engine/audiothread.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "audiofile/audiohelpers.h"
#include "engine/analysisrings.h"
#include "engine/audiothreadfunc.h"

const tMorphexBinding *sMorphexlib;
std::atomic<tSetDecimationFirParamFunc> sDecimFirParamFunc;
std::atomic<tSetMeterFirParamFunc> sDecimMeterFirParamFunc;
std::atomic<tAudioDecimationFirFunc> sDecimFirFunc;
std::atomic<tAnalyzeFFTspectrumFunc> sAnalyzeFFTspectrumFunc;
std::atomic<tInitAnalyzingFFTparamsFunc> sInitAnalyzingFFTparamsFunc;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool sEngineSetUp = false;

// The state the real-time path starts from; made by the first audio thread
// of the process, before any device runs.
void setUpEngine() {
    engine().runningCom.store(&engine().idleCom, kRelaxed);
    engine().convAbort.store(false, kRelaxed);
    engine().mixBufRegrown.store(false, kRelaxed);
    engine().clearPeakHold.store(false, kRelaxed);
    engine().lastBufferFrames.store(0, kRelaxed);
    engine().recBufferFrames.store(kRecBufferFramesDefault, kRelaxed);
    engine().captureBlockFrames.store(kCaptureBlockFramesDefault, kRelaxed);
    engine().numBufBlk.store(kRingBlocks, kRelaxed);

    resetAnalysisRings();

    engine().inputMonitorEnable.store(false, kRelaxed);
    engine().playFs.store(44100, kRelaxed);
    engine().inputMonitorChannel.store(0, kRelaxed);
    engine().firstOutputChannel.store(0, kRelaxed);
    engine().inputChannels.store(0, kRelaxed);
    engine().maxOutputs.store(kMaxOutputsDefault, kRelaxed);
    engine().prevBufferSize.store(-1, kRelaxed);
    engine().bufferSizeChanged.store(false, kRelaxed);

    engine().fadeCoefRequest.store(lpf::coefFor(0.01, 44100), kRelaxed);

    clearBufferParameters();
    for (int t = 0; t < kMaxTracks; ++t) {
        engine().monitorBuffer[t] = engine().captureRingTable[t];
        engine().captureWriteBlock[t].store(0, kRelaxed);
        engine().recordableBlocks[t].store(0, kRelaxed);
        engine().monitorReadBlock[t].store(0, kRelaxed);
        engine().monitorReadOffset[t].store(0, kRelaxed);
        engine().captureWriteOffset[t].store(0, kRelaxed);
        engine().trackDsdBlocks[t].store(engine().dsdIdleTable[t], kRelaxed);
        if (!engine().mixDecimFirSrcBufCh[t]) {
            engine().mixDecimFirSrcBufCh[t] = static_cast<double *>(_aligned_malloc(kMixDecimHistoryBytes, 16));
            if (engine().mixDecimFirSrcBufCh[t]) std::memset(engine().mixDecimFirSrcBufCh[t], 0, kMixDecimHistoryBytes);
        }
    }
    engine().outputFrameCount.store(0, kRelaxed);
    for (int c = 0; c < 2; ++c) {
        engine().monPeakPosi[c].store(0.0, kRelaxed);
        engine().monPeakNega[c].store(0.0, kRelaxed);
    }
    engine().clearMoniPeakFlag.store(false, kRelaxed);

    // A back-end that cannot be made stays null; the device layer checks
    // the one it uses.
    (void)audioThreadFunc_createBackEnds();

    for (int t = 0; t < kMaxTracks; ++t) {
        engine().mixBusy[t].store(false, kRelaxed);
        engine().convertPath[t].store(0, kRelaxed);
        engine().diff1[t].store(0, kRelaxed);
        engine().diff2[t].store(0, kRelaxed);
        engine().testCount[t].store(0, kRelaxed);
        engine().firstConverted[t].store(0, kRelaxed);
    }

    engine().stopTimeoutMs.store(kStopTimeoutSetUpMs, kRelaxed);
    engine().playTimeoutFlag.store(false, kRelaxed);
}

// Copies automation items up to and including the end item, at most
// kJobVolItems; the rest are end items, so that nothing reads past what the
// caller's array holds.
void copyItems(tDspVolItem *dst, const tDspVolItem *src) {
    int i = 0;
    if (src) {
        for (; i < kJobVolItems; ++i) {
            dst[i] = src[i];
            // A negative start (the main window's unity list ends with -1)
            // is never a position: it ends the list.
            if (src[i].start < 0) dst[i].start = kDspVolEnd;
            if (dst[i].start == kDspVolEnd) {
                ++i;
                break;
            }
        }
    }
    for (; i < kJobVolItems; ++i) {
        dst[i] = tDspVolItem();
        dst[i].start = kDspVolEnd;
    }
    // A list without an end item among its first kJobVolItems would let
    // the envelope step past the job's copy: the last item always ends it.
    dst[kJobVolItems - 1].start = kDspVolEnd;
}

}  // namespace

void audioThread::setLibraryPath(const QString &path) { setMorphexLibraryPath(path); }

QString audioThread::libraryPath() { return morphexLibraryPath(); }

audioThread::audioThread(QObject *parent) : tTransactionThread<Transaction>(parent) {
    copyItems(mParam.items, nullptr);
    mJobRecord = &mParam.job;
    if (!sEngineSetUp) {
        sEngineSetUp = true;
        setUpEngine();
    }

    const tMorphexBinding &library = morphexBinding();
    mEntries.morphexert = library.morphexert;
    mEntries.id3tagInformation = library.id3tagInformation;
    mCommandWord = new (std::nothrow) uint32_t(0);

    // The registry has a fixed size; a thread beyond it is not entered (and
    // the real-time path cannot find it) instead of writing past the table.
    const int32_t index = engine().audioThreadCount.load(kRelaxed);
    if (index < kAudioThreadSlots) {
        engine().audioThreads[index].store(this, std::memory_order_release);
        mThreadIndex = index;
        engine().audioThreadCount.store(index + 1, kRelaxed);
    }
}

audioThread::~audioThread() {
    finishTransactions();
    // The real-time path must not keep the command block of a thread that
    // is gone (it clears a bit of it at a stop): back to the idle block.
    tMorphexCom *own = &mParam.job.com;
    (void)engine().runningCom.compare_exchange_strong(own, &engine().idleCom, std::memory_order_acq_rel);
    // Later entries move down one place. A thread that initAudioIoParameters
    // took out of the table leaves the count alone, so that no index handed
    // out is handed out again.
    const int32_t count = engine().audioThreadCount.load(kRelaxed);  // never above kAudioThreadSlots
    for (int32_t i = 0; i < count; ++i) {
        if (engine().audioThreads[i].load(kRelaxed) != this) continue;
        for (int32_t j = i; j + 1 < count; ++j)
            engine().audioThreads[j].store(engine().audioThreads[j + 1].load(kRelaxed), kRelaxed);
        engine().audioThreads[count - 1].store(nullptr, kRelaxed);
        engine().audioThreadCount.store(count - 1, kRelaxed);
        break;
    }
    delete mCommandWord;
}

void audioThread::setAudioThreadParam(int command, const tMorphexParam *record, const tAudioFileInfo *fileInfo,
                                      const tTimeInfo *timeInfo, const tDspVolItem *items, int track, tID3tagInfo *tag,
                                      int64_t trackOffset) {
    if (!record || !fileInfo) return;
    QMutexLocker lock(&mMutex);
    mParam.command = command;
    mParam.job = *record;
    mParam.fileInfo = *fileInfo;
    mParam.timeInfo = timeInfo ? *timeInfo : tTimeInfo();
    copyItems(mParam.items, items);
    mParam.track = track;
    mParam.tag = tag;
    mParam.trackOffset = trackOffset;
    mSourceRate.store(fileInfo->sampleRate, kRelaxed);
    mSourceLength.store(fileInfo->totalSamples, kRelaxed);
    mTrackOffset.store(trackOffset, kRelaxed);
    mSourceChannels.store(fileInfo->channels, kRelaxed);
}

void audioThread::addTransaction(Transaction *job) { queueTransaction(job); }

void audioThread::snapshotParameters(Transaction *job) {
    const int32_t track = job->mJob.track;
    const int64_t offset = job->mJob.trackOffset;
    job->mJob = mParam;
    // The track index and offset stay the thread's own.
    job->mJob.track = track;
    job->mJob.trackOffset = offset;
}

int audioThread::runTransaction(Transaction *job) {
    emit transactionStarted_(0);
    tAudioThreadParam &p = job->mJob;
    {
        QMutexLocker lock(&mMutex);
        if (mCommandWord) {
            *mCommandWord = comWord(&mParam.job.com);
            mParam.job.com.commandCopy = mCommandWord;
        }
        mJobRecord = &p.job;
    }
    const int result = job->apply(p.command, &p.job, mEntries, &p.fileInfo, &p.timeInfo, p.items, p.tag);
    {
        QMutexLocker lock(&mMutex);
        // Progress and result words survive the job in the parameter set.
        mParam.job = p.job;
        mJobRecord = &mParam.job;
        engine().runningCom.store(&mParam.job.com, kRelaxed);
    }
    return result;
}

void audioThread::transactionsDone(int result) { emit allTransactionsDone_(result); }

void audioThread::stop() {
    mStopByte.store(true, kRelaxed);
    uint32_t word;
    {
        QMutexLocker lock(&mMutex);
        word = comWord(&mParam.job.com);
    }
    if (comWritesFile(word)) {
        engine().convAbort.store(true, kRelaxed);
    } else {
        // The time-out first: the real-time path counts it down as soon as
        // it sees the request.
        engine().stopTimeoutMs.store(kStopTimeoutMs, kRelaxed);
        engine().stopRequest.store(true, std::memory_order_release);
    }
}

int audioThread::getConvProgress() {
    QMutexLocker lock(&mMutex);
    return __atomic_load_n(&mJobRecord->progress, __ATOMIC_RELAXED);
}

int audioThread::getStatus() {
    mStatusCopy = engine().engineStatus.load(kRelaxed);
    return mStatusCopy;
}

void audioThread::setForceStatus(int status) { engine().engineStatus.store(status, kRelaxed); }

void audioThread::setMeteringPoint(eMeteringPoint point) {
    if (point == kMeteringPreFader || point == kMeteringPostFader) engine().meteringPoint.store(point, kRelaxed);
}

void audioThread::morphexPlayStarted(int code) { emit playStarted(code); }

int initAudioIO_parameters() {
    std::printf("sMorphexlib= %x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(sMorphexlib)));
    std::fflush(stdout);
    sMorphexlib = &morphexBinding();
    if (!sMorphexlib->loaded) {
        sDecimFirParamFunc.store(nullptr, kRelaxed);
    } else {
        sDecimFirParamFunc.store(sMorphexlib->setDecimationFirParam, kRelaxed);
        sDecimMeterFirParamFunc.store(sMorphexlib->setMeterFirParam, kRelaxed);
        sDecimFirFunc.store(sMorphexlib->gAudioDecimationFir, kRelaxed);
        sAnalyzeFFTspectrumFunc.store(sMorphexlib->analyzeFFTspectrum, kRelaxed);
        sInitAnalyzingFFTparamsFunc.store(sMorphexlib->initAnalyzingFFTparams, kRelaxed);
        if (tInitAnalyzingFFTparamsFunc init = sInitAnalyzingFFTparamsFunc.load(kRelaxed))
            init(kFftOrder, engine().playFs.load(kRelaxed));
    }

    for (double *&p : gpChAnalyzeBuf) p = nullptr;
    for (double *&p : gpChFFTAmplitude) p = nullptr;
    for (auto &id : engine().audioIoThreadId) id.store(-1, kRelaxed);

    return allocateDsdIdleBuffer(kDsdIdleInitialBytes);
}
