#include "engine/bouncethread.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "audiofile/audiohelpers.h"
#include "audiofile/dsdifffile.h"
#include "audiofile/dsdlayout.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"
#include "engine/dsdoutput.h"
#include "engine/enginestate.h"
#include "engine/playbackproducer.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kDsdiffFileType = 3;

template <class T>
void publish(T *word, T value) {
    __atomic_store_n(word, value, __ATOMIC_RELAXED);
}

bool cancelled(const tBounceContFlags *flags) { return flags && flags->cancel.load(kRelaxed); }

// Stereo double frames; frames x 16 bytes.
std::unique_ptr<double[]> allocFrames(int64_t frames) {
    return std::unique_ptr<double[]>(new (std::nothrow) double[2 * static_cast<size_t>(frames)]());
}

// The device's DSD output step on the mix: the mute pattern stands for the
// source stream, so nothing but the re-modulated mix or the pattern goes
// out; the channel count is handed on as the track count.
void engineDsdStep(uint8_t *left, uint8_t *right, const double *frames, int bits, int channels) {
    uint8_t *const out[2] = {left, right};
    const bool mute = engine().mutePatBuffer[0] && engine().mutePatBuffer[1];
    const uint8_t *const src[2] = {engine().mutePatBuffer[0], engine().mutePatBuffer[1]};
    uint8_t *const pattern[2] = {engine().mutePatBuffer[0], engine().mutePatBuffer[1]};
    fadeAudio(out, frames, mute ? src : nullptr, mute ? pattern : nullptr, bits, 0, channels);
}

}  // namespace

ClassBounce::ClassBounce(tBounceMixFunc mix, tBounceDsdFunc dsd)
    : mMix(mix ? mix : static_cast<tBounceMixFunc>(bounceMixing)), mDsd(dsd ? dsd : engineDsdStep) {}

ClassBounce::~ClassBounce() {
    closeFile();
    delete mHandler;
}

void ClassBounce::closeFile() {
    if (mFile) v_close(mFile);
    mFile = nullptr;
}

int64_t ClassBounce::outputSamples(int64_t length, int32_t outRate, int32_t srcRate) {
    if (length <= 0 || outRate <= 0 || srcRate <= 0) return 0;
    // In 128 bits: a long source at a DSD rate overflows 64.
    const __int128 n = static_cast<__int128>(length) * outRate / srcRate;
    return n > INT64_MAX ? INT64_MAX : static_cast<int64_t>(n);
}

int ClassBounce::checkFirstConverted(int count) {
    for (int t = 0; t < std::min<int>(count, kMaxTracks); ++t)
        if (getFirstConverted(t) < 1) return -1;
    return 0;
}

int ClassBounce::createFileToRec(tBounceParam *param) {
    if (!param) return -1;
    closeFile();
    delete mHandler;
    mHandler = param->fileType == kDsdiffFileType ? static_cast<AccessAudioFile *>(new (std::nothrow) gClass_DsdiffFile)
                                                  : static_cast<AccessAudioFile *>(new (std::nothrow) gClass_WavFile);
    if (!mHandler) return -1;
    if (v_create(&mFile, reinterpret_cast<const wchar16 *>(param->bouncePath.c_str()), "wb+") != 0 || !mFile) {
        mFile = nullptr;
        return -1;
    }
    tBwfHdrParam hdr{};
    hdr.channels = static_cast<uint16_t>(param->channels);
    hdr.bits = static_cast<uint16_t>(param->bits);
    hdr.rate = static_cast<uint32_t>(param->outRate);
    hdr.stereo = param->channels != 1;
    if (mHandler->createHeader(mFile, &hdr, 0) != kAudioFileOK) return 1;
    return 0;
}

int ClassBounce::apply(tBounceParam *param, tBounceContFlags *flags, int32_t *progress, tBounceStatusStruct *status) {
    if (!param) return kBounceErrParam;
    const int32_t tracks = std::clamp<int32_t>(param->trackCount, 1, kMaxTracks);
    const int32_t channels = param->channels;
    const int32_t bits = param->bits;
    const bool dsd = param->fileType == kDsdiffFileType;
    // Only what the packers write: 1 or 2 channels, 16/24/32/64-bit WAV
    // samples, 1-bit DSDIFF; and rates that give a length.
    const bool formatOk = (channels == 1 || channels == 2) &&
                          (dsd ? bits == 1 : (bits == 16 || bits == 24 || bits == 32 || bits == 64)) &&
                          param->outRate > 0 && param->srcRate > 0;
    if (!formatOk) return kBounceErrParam;

    auto setStatus = [&](int32_t result) {
        if (status) publish(&status->result, result);
    };

    // The feeds start on their own threads; give every track up to five
    // seconds to deliver its first block, then go on regardless. A cancel or
    // a failed feed ends the wait: no file exists yet.
    waitThread(kBounceFirstBlockWaitMs);
    for (int i = 0; i < kBounceFirstBlockChecks && checkFirstConverted(tracks) != 0; ++i) {
        if (cancelled(flags)) return kBounceErrCancelled;
        if (getBounceConvertStatus()) {
            setStatus(kBounceStatusFeed);
            return kBounceErrFeed;
        }
        waitThread(kBounceFirstBlockWaitMs);
    }
    // Track 0's first samples give the engine's block size.
    int blockFrames = 0;
    while (getConvertedCountAndBufBlkSize(0, &blockFrames) < 1 || blockFrames < 1) {
        if (cancelled(flags)) return kBounceErrCancelled;
        if (getBounceConvertStatus()) {
            setStatus(kBounceStatusFeed);
            return kBounceErrFeed;
        }
        waitThread(kBouncePollMs);
    }

    std::unique_ptr<double[]> master[2] = {allocFrames(blockFrames), allocFrames(blockFrames)};
    std::unique_ptr<uint8_t[]> dsdBytes[2] = {std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kBounceDsdBytes]),
                                              std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kBounceDsdBytes])};
    const int writeBytes = dsd ? kBounceDsdWriteBytes : kBounceWavWriteBytes;
    std::unique_ptr<uint8_t[]> writeBuf(new (std::nothrow) uint8_t[writeBytes]);
    if (!master[0] || !master[1] || !dsdBytes[0] || !dsdBytes[1] || !writeBuf) return kBounceErrMemory;

    const int created = createFileToRec(param);
    if (created != 0) {
        // Nothing of the mix is in it: the caller must not export it.
        closeFile();
        return kBounceErrFile;
    }
    if (status) {
        publish(&status->file, mFile);
        publish(&status->writeBuffer, writeBuf.get());
    }

    const int64_t total = outputSamples(param->length, param->outRate, param->srcRate);
    int64_t left = total;
    int64_t written = 0;  // samples per channel in the file
    uint64_t positions[kMaxTracks] = {};
    uint64_t previous[kMaxTracks] = {};
    int block = 0;
    int32_t ringFrames = blockFrames;

    auto fail = [&](int code, int32_t statusResult) {
        closeFile();
        setStatus(statusResult);
        return code;
    };

    while (left > 0) {
        if (progress) publish(progress, static_cast<int32_t>((total - left) * 100 / total));
        if (cancelled(flags)) break;
        if (getBounceConvertStatus()) return fail(kBounceErrFeed, kBounceStatusFeed);

        for (int t = 0; t < tracks; ++t) (void)getConvertedCountAndBufBlkSize(t, &ringFrames);
        if (ringFrames > blockFrames) {
            // Both master buffers take a whole block: the mixing step writes
            // the effect return as far as the mix.
            auto m0 = allocFrames(ringFrames), m1 = allocFrames(ringFrames);
            if (!m0 || !m1) {
                closeFile();
                return kBounceErrMemory;
            }
            master[0] = std::move(m0);
            master[1] = std::move(m1);
            blockFrames = ringFrames;
        }

        if (status) {
            publish<uint8_t>(&status->ready, 1);
            publish(&status->blockSize, blockFrames);
        }
        double *masters[2] = {master[0].get(), master[1].get()};
        const int mixed = mMix(block, positions, masters, blockFrames, 0);
        if (status) publish<uint8_t>(&status->ready, 0);
        setStatus(mixed);
        if (mixed == kBounceNotReady) {
            // Not enough converted yet: the next pass checks the cancel and
            // the feeds again before it retries.
            waitThread(kBouncePollMs);
            continue;
        }
        if (mixed < 0) return fail(kBounceErrMix, mixed);
        block = (block + 1) % kRingBlocks;

        if (positions[0] < previous[0]) return fail(kBounceErrTrackBack, kBounceStatusTrackBack);
        int64_t n = 0;
        for (int t = 0; t < tracks; ++t) n = std::max<int64_t>(n, static_cast<int64_t>(positions[t] - previous[t]));
        std::copy(positions, positions + kMaxTracks, previous);
        // The last block may run past the planned length; the file ends there.
        n = std::min({n, left, static_cast<int64_t>(blockFrames)});

        for (int64_t done = 0; done < n;) {
            const int chunk = static_cast<int>(std::min<int64_t>(kBounceChunkFrames, n - done));
            const double *src = master[0].get() + 2 * done;
            uint32_t bytes;
            if (dsd) {
                mDsd(dsdBytes[0].get(), dsdBytes[1].get(), src, chunk, channels);
                (void)dsd2dsdiff(writeBuf.get(), dsdBytes[0].get(), dsdBytes[1].get(), static_cast<uint32_t>(chunk),
                                 static_cast<uint8_t>(channels));
                bytes = static_cast<uint32_t>(channels) * static_cast<uint32_t>(chunk) / 8;
            } else {
                (void)pcm2wavFunc(writeBuf.get(), src, static_cast<uint32_t>(chunk), static_cast<uint8_t>(channels),
                                  static_cast<uint8_t>(bits), kPcmDitherNone);
                bytes =
                    static_cast<uint32_t>(channels) * static_cast<uint32_t>(chunk) * static_cast<uint32_t>(bits) / 8;
            }
            if (v_write(mFile, writeBuf.get(), bytes) != bytes) return fail(kBounceErrWrite, kBounceStatusWrite);
            done += chunk;
            written += chunk;
            left -= chunk;
        }
    }

    setFinishBounceFlag();
    // The sizes of what is in the file: after a cancel that is less than
    // planned, and a reader must not take the rest for audio.
    const uint64_t audioBytes = static_cast<uint64_t>(written) * channels * bits / 8;
    const int sized = mHandler->updateDataSize(mFile, audioBytes, static_cast<uint64_t>(written));
    const int flushed = v_flush(mFile);
    closeFile();
    if (sized != kAudioFileOK || flushed != 0) {
        setStatus(kBounceStatusSize);
        return kBounceErrSize;
    }
    if (progress) publish<int32_t>(progress, 100);
    if (flags) flags->done.store(true, kRelaxed);
    setStatus(kBounceStatusDone);
    return kBounceOk;
}

bounceThread::bounceThread(QObject *parent) : tTransactionThread<bounceTransaction>(parent) {}

bounceThread::~bounceThread() {
    // A running mix-down ends at its next pass (or wait) and finishes its file.
    mCont.cancel.store(true, kRelaxed);
    mFlags.stop();
    finishTransactions();
}

void bounceThread::setParameters(tBounceParam *param) {
    if (!param) return;
    QMutexLocker lock(&mMutex);
    mParam = *param;
    mProgress = &param->progress;
}

void bounceThread::addTransaction(bounceTransaction *job) {
    if (!job) return;
    mFlags.abort.store(false, kRelaxed);
    queueTransaction(job);
    setPriority(QThread::NormalPriority);
}

void bounceThread::stop() { mFlags.stop(); }

void bounceThread::snapshotParameters(bounceTransaction *job) {
    job->mParam = mParam;
    job->mProgressWord = mProgress;
}

void bounceThread::runStarting() {
    // The running flag stays set after run returns.
    mFlags.runStarting();
}

int bounceThread::runTransaction(bounceTransaction *job) {
    const int result = job->apply(&job->mParam, &mCont, job->mProgressWord, job->mParam.status);
    emit bounceFinished(result);
    return result;
}
