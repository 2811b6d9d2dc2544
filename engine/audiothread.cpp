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
// The command block the real-time path sees while no job has run.
tMorphexCom sIdleCom;

// The state the real-time path starts from; made by the first audio thread
// of the process, before any device runs.
void setUpEngine() {
    spRunningCom.store(&sIdleCom, kRelaxed);
    sConvAbort.store(false, kRelaxed);
    s2mixBufAlloc_F.store(false, kRelaxed);
    clearPeakHoldF.store(false, kRelaxed);
    sLastBufferFrames.store(0, kRelaxed);
    sRecBufferFrames.store(kRecBufferFramesDefault, kRelaxed);
    sCaptureBlockFrames.store(kCaptureBlockFramesDefault, kRelaxed);
    sNumBufBlk.store(kRingBlocks, kRelaxed);

    resetAnalysisRings();

    sInputMonitorEnable.store(false, kRelaxed);
    gAudioThread_playFs.store(44100, kRelaxed);
    sInputMonitorChannel.store(0, kRelaxed);
    sFirstOutputChannel.store(0, kRelaxed);
    sInputChannels.store(0, kRelaxed);
    sMaxOutputs.store(kMaxOutputsDefault, kRelaxed);
    sPrevBufferSize.store(-1, kRelaxed);
    sBufferSizeChanged_F.store(false, kRelaxed);

    sFadeCoefRequest.store(lpf::coefFor(0.01, 44100), kRelaxed);

    clearBufferParameters();
    for (int t = 0; t < kMaxTracks; ++t) {
        spMonitorBuffer[t] = sCaptureRingTable[t];
        sCaptureWriteBlock[t].store(0, kRelaxed);
        sRecordableBlocks[t].store(0, kRelaxed);
        sMonitorReadBlock[t].store(0, kRelaxed);
        sMonitorReadOffset[t].store(0, kRelaxed);
        sCaptureWriteOffset[t].store(0, kRelaxed);
        spTrackDsdBlocks[t].store(sDsdIdleTable[t], kRelaxed);
        if (!spMixDecimFirSrcBufCh[t]) {
            spMixDecimFirSrcBufCh[t] = static_cast<double *>(_aligned_malloc(kMixDecimHistoryBytes, 16));
            if (spMixDecimFirSrcBufCh[t]) std::memset(spMixDecimFirSrcBufCh[t], 0, kMixDecimHistoryBytes);
        }
    }
    sOutputFrameCount.store(0, kRelaxed);
    for (int c = 0; c < 2; ++c) {
        sMonPeakPosi[c].store(0.0, kRelaxed);
        sMonPeakNega[c].store(0.0, kRelaxed);
    }
    sClearMoniPeakFlag.store(false, kRelaxed);

    // A back-end that cannot be made stays null; the device layer checks
    // the one it uses.
    (void)audioThreadFunc_createBackEnds();

    for (int t = 0; t < kMaxTracks; ++t) {
        sMixBusy[t].store(false, kRelaxed);
        gConvertPath[t].store(0, kRelaxed);
        gDiff1[t].store(0, kRelaxed);
        gDiff2[t].store(0, kRelaxed);
        gTestCount[t].store(0, kRelaxed);
        gFirstConverted[t].store(0, kRelaxed);
    }

    sStopTimeoutMs.store(kStopTimeoutSetUpMs, kRelaxed);
    sPlayTimeoutFlag.store(false, kRelaxed);
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
    const int32_t index = sAudioThreadCount.load(kRelaxed);
    if (index < kAudioThreadSlots) {
        pAudioThreads[index].store(this, std::memory_order_release);
        mThreadIndex = index;
        sAudioThreadCount.store(index + 1, kRelaxed);
    }
}

audioThread::~audioThread() {
    finishTransactions();
    // The real-time path must not keep the command block of a thread that
    // is gone (it clears a bit of it at a stop): back to the idle block.
    tMorphexCom *own = &mParam.job.com;
    (void)spRunningCom.compare_exchange_strong(own, &sIdleCom, std::memory_order_acq_rel);
    // Later entries move down one place. A thread that initAudioIoParameters
    // took out of the table leaves the count alone, so that no index handed
    // out is handed out again.
    const int32_t count = sAudioThreadCount.load(kRelaxed);  // never above kAudioThreadSlots
    for (int32_t i = 0; i < count; ++i) {
        if (pAudioThreads[i].load(kRelaxed) != this) continue;
        for (int32_t j = i; j + 1 < count; ++j) pAudioThreads[j].store(pAudioThreads[j + 1].load(kRelaxed), kRelaxed);
        pAudioThreads[count - 1].store(nullptr, kRelaxed);
        sAudioThreadCount.store(count - 1, kRelaxed);
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
        spRunningCom.store(&mParam.job.com, kRelaxed);
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
        sConvAbort.store(true, kRelaxed);
    } else {
        // The time-out first: the real-time path counts it down as soon as
        // it sees the request.
        sStopTimeoutMs.store(kStopTimeoutMs, kRelaxed);
        sStopRequest.store(true, std::memory_order_release);
    }
}

int audioThread::getConvProgress() {
    QMutexLocker lock(&mMutex);
    return __atomic_load_n(&mJobRecord->progress, __ATOMIC_RELAXED);
}

int audioThread::getStatus() {
    mStatusCopy = sEngineStatus.load(kRelaxed);
    return mStatusCopy;
}

void audioThread::setForceStatus(int status) { sEngineStatus.store(status, kRelaxed); }

void audioThread::setMeteringPoint(eMeteringPoint point) {
    if (point == kMeteringPreFader || point == kMeteringPostFader) sMeteringPoint.store(point, kRelaxed);
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
            init(kFftOrder, gAudioThread_playFs.load(kRelaxed));
    }

    for (double *&p : gpChAnalyzeBuf) p = nullptr;
    for (double *&p : gpChFFTAmplitude) p = nullptr;
    for (auto &id : sAudioIoThreadId) id.store(-1, kRelaxed);

    return allocateDsdIdleBuffer(kDsdIdleInitialBytes);
}
