#include "app/sonvexcore.h"

#include <cstdlib>
#include <cstring>

#include "audiofile/jobs/flac2wavthread.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "base/alignedalloc.h"
#include "dsp/dynamics.h"
#include "engine/bouncethread.h"
#include "engine/contcoreaudiothread.h"
#include "engine/enginestate.h"
#include "engine/mixerthread.h"
#include "engine/recengine.h"
#include "engine/vsathread.h"

namespace {

constexpr int kCaptureStereoBytes = kCoreCaptureBlockFrames * 2 * static_cast<int>(sizeof(double));
constexpr int kCaptureByteBlockBytes = 4096;
constexpr int kMutePatBytes = 131072;
constexpr int kSineWaveBytes = 163840;
constexpr int kSineWaveFrames = 10240;
constexpr uint8_t kDsdSilenceByte = 0x96;

}  // namespace

void tControlThreadDeleter::operator()(CContCoreAudioThread *thread) const { startup_deleteWhenStopped(thread, 10); }

void tAnalysisThreadDeleter::operator()(mixerThread *thread) const {
    // It calls into the library: it has ended before the library's statics
    // go at exit, so its end is waited for, not polled for a while.
    mixerThread *t = thread;
    startup_stopAndDelete(t, kStartupJoinBoundMs, "the analysis thread");
}

void tCoreAlignedFree::operator()(void *block) const { _aligned_free(block); }

void tMutePatternFree::operator()(uint8_t *block) const {
    if (engine().mutePatBuffer[0] == block) engine().mutePatBuffer[0] = engine().mutePatBuffer[1] = nullptr;
    std::free(block);
}

void tSineBlockFree::operator()(double *block) const {
    if (engine().sineWaveBuffer[channel] == block) engine().sineWaveBuffer[channel] = nullptr;
    _aligned_free(block);
    engine().sineWaveBufSize = 0;
}

SonvexCore::SonvexCore()
    : mSineWaveBlock{{nullptr, tSineBlockFree{0}}, {nullptr, tSineBlockFree{1}}} {}

SonvexCore::~SonvexCore() {
    // The work threads go in their shut-down order (the members below would
    // do the same); the capture ring once no stream can write it.
    finishWorkers();
    freeCaptureRing();
}

bool SonvexCore::allocateCaptureRow(void *(*allocate)(uint64_t size, uint64_t alignment)) {
    bool ok = true;
    for (int i = 0; i < kCoreCaptureBlocks; ++i) {
        mCaptureStereo[0][i] = static_cast<double *>(allocate(kCaptureStereoBytes, 16));
        mCaptureBytes[0][0][i] = static_cast<uint8_t *>(allocate(kCaptureByteBlockBytes, 8));
        mCaptureBytes[1][0][i] = static_cast<uint8_t *>(allocate(kCaptureByteBlockBytes, 8));
        ok = ok && mCaptureStereo[0][i] && mCaptureBytes[0][0][i] && mCaptureBytes[1][0][i];
    }
    mCaptureBlockFrames = kCoreCaptureBlockFrames;
    return ok;
}

void SonvexCore::freeCaptureRing() {
    for (auto &row : mCaptureStereo)
        for (double *&block : row) {
            _aligned_free(block);
            block = nullptr;
        }
    for (auto &array : mCaptureBytes)
        for (auto &row : array)
            for (uint8_t *&block : row) {
                _aligned_free(block);
                block = nullptr;
            }
}

const char *SonvexCore::stopDevice() {
    // The analysis, the device stream and its control thread: the callbacks
    // let go of the buffers first, then the stop job closes the stream.
    // Every wait is bounded so that a device that never answers cannot keep
    // the program from closing.
    if (mMixerThread) mMixerThread->stop();
    CContCoreAudioThread *control = mContCoreAudioThread;
    if (!control) return "mContCoreAudioThread finish OK";
    control->ioThread()->AudioStopReq();
    control->addTransaction(new ClassStopAudioQueue);
    startup_waitDeviceStop(CCoreAudioIOThread::mAUHALEnable, control);
    control->stop();
    return startup_waitControlFinished(control);
}

void SonvexCore::endAnalysis() {
    startup_sleepMs(20);
    mMixerTransactParams.status = -1;
    if (mMixerThread) mMixerThread->setParams(&mMixerTransactParams);
}

void SonvexCore::makeTestBlocks() {
    mMutePatBlock.reset(static_cast<uint8_t *>(std::malloc(kMutePatBytes)));
    engine().mutePatBuffer[0] = mMutePatBlock;
    engine().mutePatBuffer[1] = nullptr;
    if (engine().mutePatBuffer[0]) {
        std::memset(engine().mutePatBuffer[0], kDsdSilenceByte, kMutePatBytes);
        engine().mutePatBuffer[1] = engine().mutePatBuffer[0] + kMutePatBytes / 2;
    }
    for (int i = 0; i < 2; ++i) {
        mSineWaveBlock[i].reset(static_cast<double *>(_aligned_malloc(kSineWaveBytes, 16)));
        engine().sineWaveBuffer[i] = mSineWaveBlock[i];
    }
    engine().sineWaveBufSize = kSineWaveFrames;
}

void SonvexCore::finishWorkers() {
    // The control thread has stopped the stream (stopDevice; one still
    // inside a device call is left alone), then the bounce, file and
    // recording threads; a job still writing is left running rather than
    // deleted, which would abort the process. The analysis thread is
    // joined (its deleter).
    mContCoreAudioThread.reset();
    mBounceThread.reset();
    mFlac2WavThread.reset();
    mRecEngineThread.reset();
    mVsaThread.reset();
    mPoly2MonosteThread.reset();
    mMixerThread.reset();
}
