#include "engine/recengine.h"

#include <QThread>

#include <algorithm>
#include <cstring>
#include <new>

#include "audiofile/dsdifffile.h"
#include "audiofile/dsdlayout.h"
#include "audiofile/dsffile.h"
#include "audiofile/pcmpack.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"
#include "engine/enginestate.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kCaptureRow = 0;  // the row the real-time path counts for the recorder

const wchar16 *widePath(const std::u16string &s) { return reinterpret_cast<const wchar16 *>(s.c_str()); }

}  // namespace

ClassRecEngine::ClassRecEngine()
    : mWav(new (std::nothrow) gClass_WavFile),
      mDsdiff(new (std::nothrow) gClass_DsdiffFile),
      mDsf(new (std::nothrow) gClass_DsfFile) {}

ClassRecEngine::~ClassRecEngine() {
    closeFile();
    delete mWav;
    delete mDsdiff;
    delete mDsf;
}

void ClassRecEngine::closeFile() {
    if (mFile) v_close(mFile);
    mFile = nullptr;
    mFileOpen = false;
}

int ClassRecEngine::createFileToRec(tRecParameters *param) {
    if (!param || !mHandler) return -1;
    closeFile();
    if (v_create(&mFile, widePath(param->path), "wb+") != 0 || !mFile) {
        mFile = nullptr;
        return -1;
    }
    mFileOpen = true;
    tBwfHdrParam hdr{};
    hdr.channels = static_cast<uint16_t>(param->channels);
    hdr.bits = static_cast<uint16_t>(param->bits & 0xFFFF);
    hdr.rate = static_cast<uint32_t>(param->rate);
    hdr.stereo = param->channels != 1;
    return mHandler->createHeader(mFile, &hdr, 0) == kAudioFileOK ? 0 : 1;
}

int ClassRecEngine::writeBlocks(int n) {
    const uint8_t channels = static_cast<uint8_t>(mChannels);
    for (int i = 0; i < n; ++i) {
        const int b = mCurrentBlock;
        const int32_t samples = mBlockSamples[b].load(kRelaxed);
        if (samples > 0) {
            if (samples > mWriteCapacity) {
                std::unique_ptr<uint8_t[]> grown(new (std::nothrow)
                                                     uint8_t[static_cast<size_t>(mChannels) * samples * 8]);
                if (!grown) return kRecErrFile;
                mWriteBuf = std::move(grown);
                mWriteCapacity = samples;
            }
            uint8_t *out = mWriteBuf.get();
            uint64_t bytes;
            if (mFormat == kRecFormatDsf) {
                (void)dsd2dsf(out, mDsdLeft[b], mDsdRight[b], static_cast<uint32_t>(samples), channels, 0, &mDsfWritten,
                              &mDsfValid);
                bytes = static_cast<uint64_t>(mDsfWritten) * mChannels / 8;
                mDsfBytes += bytes;
            } else if (mFormat == kRecFormatDsdiff) {
                (void)dsd2dsdiff(out, mDsdLeft[b], mDsdRight[b], static_cast<uint32_t>(samples), channels);
                bytes = static_cast<uint64_t>(mChannels) * samples * mBits / 8;
            } else {
                (void)pcm2wavFunc(out, mWorkBlocks[b], static_cast<uint32_t>(samples), channels,
                                  static_cast<uint8_t>(mBits), kPcmDitherNone);
                bytes = static_cast<uint64_t>(mChannels) * samples * mBits / 8;
            }
            if (bytes && v_write(mFile, out, static_cast<uint32_t>(bytes)) != bytes) return kRecErrFile;
            mTotal += samples;
        }
        mCurrentBlock = (b + 1) % kCaptureBlocks;
    }
    return kRecOk;
}

int ClassRecEngine::apply(tRecParameters *param, tRecControlFlags *flags) {
    if (!param || !flags) return kRecErrFile;
    mPath = param->path;
    mRate = param->rate;
    mBits = param->bits & 0xFFFF;
    mChannels = param->channels;
    mFormat = param->format;
    mHandler = mFormat == kRecFormatDsf ? mDsf : mFormat == kRecFormatDsdiff ? mDsdiff : mWav;
    if (mFormat != kRecFormatDsf && mFormat != kRecFormatDsdiff) mFormat = kRecFormatWav;

    // Only what the packers write: 1 or 2 channels, 16/24/32-bit WAV, 1-bit
    // DSD; a block list the main window has registered.
    mWorkBlocks = engine().monitorBuffer[kCaptureRow];
    mDsdLeft = engine().dsdRecBuffer0[kCaptureRow];
    mDsdRight = engine().dsdRecBuffer1[kCaptureRow];
    mBlockSamples = engine().samplesPerCaptureBlock;
    bool usable = mHandler && (mChannels == 1 || mChannels == 2) && mRate > 0 &&
                  (mFormat == kRecFormatWav ? (mBits == 16 || mBits == 24 || mBits == 32) : mBits == 1);
    for (int b = 0; usable && b < kCaptureBlocks; ++b)
        usable = mFormat == kRecFormatWav ? mWorkBlocks && mWorkBlocks[b] : mDsdLeft[b] && mDsdRight[b];

    mWriteBuf.reset(new (std::nothrow)
                        uint8_t[static_cast<size_t>(std::max(mChannels, 1)) * kRecWriteBufBytesPerChannel]);
    mWriteCapacity = kRecWriteBufSamples;
    mTotal = 0;
    mDsfBytes = 0;
    if (mFormat == kRecFormatDsf) clearDsfOffset();

    int result = usable && mWriteBuf ? kRecOk : kRecErrFile;
    while (result == kRecOk && !flags->stop.load(kRelaxed)) {
        const bool recording = flags->recording.load(kRelaxed);
        if (recording && !flags->fileCreated.load(kRelaxed)) {
            if (createFileToRec(param) != 0) {
                // A file without a usable header holds nothing to keep.
                closeFile();
                (void)v_rm(widePath(mPath));
                result = kRecErrFile;
                break;
            }
            engine().recordableBlocks[kCaptureRow].store(0, kRelaxed);
            mCurrentBlock =
                std::clamp<int>(engine().captureWriteBlock[kCaptureRow].load(kRelaxed), 0, kCaptureBlocks - 1);
            flags->fileCreated.store(true, kRelaxed);
        }
        if (recording && flags->fileCreated.load(kRelaxed)) {
            const int n =
                std::min<int>(engine().recordableBlocks[kCaptureRow].load(std::memory_order_acquire), kCaptureBlocks);
            if (n > kRecBatchBlocks) {
                if (writeBlocks(n) != kRecOk) result = kRecErrFile;
                engine().recordableBlocks[kCaptureRow].fetch_sub(n, std::memory_order_release);
            }
        }
        if (result == kRecOk) QThread::msleep(kRecPollMs);
    }

    if (result != kRecOk) {
        // The file keeps what was written; its sizes stay as they were.
        closeFile();
    } else if (flags->fileCreated.load(kRelaxed)) {
        // Everything still waiting, however little.
        const int n =
            std::min<int>(engine().recordableBlocks[kCaptureRow].load(std::memory_order_acquire), kCaptureBlocks);
        int written = writeBlocks(n);
        engine().recordableBlocks[kCaptureRow].fetch_sub(n, std::memory_order_release);
        if (written == kRecOk && mFormat == kRecFormatDsf) {
            // The unfinished block group, padded with the idle byte.
            const int b = mCurrentBlock;
            (void)dsd2dsf(mWriteBuf.get(), mDsdLeft[b], mDsdRight[b], 0, static_cast<uint8_t>(mChannels), 1,
                          &mDsfWritten, &mDsfValid);
            const uint64_t bytes = static_cast<uint64_t>(mDsfWritten) * mChannels / 8;
            if (bytes && v_write(mFile, mWriteBuf.get(), static_cast<uint32_t>(bytes)) != bytes) written = kRecErrFile;
            mDsfBytes += bytes;
        }
        if (written != kRecOk) {
            result = kRecErrFile;
        } else {
            const uint64_t audioBytes =
                mFormat == kRecFormatDsf ? mDsfBytes : static_cast<uint64_t>(mTotal) * mChannels * mBits / 8;
            const bool sized =
                mHandler->updateDataSize(mFile, audioBytes, static_cast<uint64_t>(mTotal)) == kAudioFileOK;
            const bool flushed = v_flush(mFile) == 0;
            if (!flushed)
                result = kRecErrFile;
            else if (!sized)
                result = kRecErrSize;
        }
        closeFile();
    } else if (mFileOpen) {
        closeFile();
        (void)v_rm(widePath(mPath));
    }
    flags->done.store(true, kRelaxed);
    return result;
}

recEngineThread::recEngineThread(QObject *parent) : tTransactionThread<recEngineTransaction>(parent) {}

recEngineThread::~recEngineThread() {
    // A recording still running ends as at the stop button: what was
    // captured is written and the file finished.
    recStop();
    mFlags.stop();
    finishTransactions();
}

void recEngineThread::addTransaction(recEngineTransaction *job) {
    if (!job) return;
    mFlags.abort.store(false, kRelaxed);
    mCont.clear();
    queueTransaction(job);
    setPriority(QThread::NormalPriority);
}

void recEngineThread::setRecParameters(const tRecParameters *param) {
    if (!param) return;
    QMutexLocker lock(&mMutex);
    mParam = *param;
}

void recEngineThread::changeRecFileName(const QString &name) {
    QMutexLocker lock(&mMutex);
    mParam.path = name.toStdU16String();
}

void recEngineThread::stop() { mFlags.stop(); }

void recEngineThread::snapshotParameters(recEngineTransaction *job) { job->mParam = mParam; }

void recEngineThread::runStarting() {
    // The running flag stays set after run returns.
    mFlags.runStarting();
}

int recEngineThread::runTransaction(recEngineTransaction *job) {
    const int result = job->apply(&job->mParam, &mCont);
    mLastResult.store(result, kRelaxed);
    emit recStopped();
    return result;
}
