// The streams: start with a buffer derived from the engine rate, the
// callbacks that hand every device buffer to the engine, stop and
// tear-down.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/audiothreadfunc.h"
#include "engine/bufferswitch.h"
#include "engine/coreaudioio.h"
#include "engine/enginestate.h"

namespace {

constexpr auto kTermSettle = std::chrono::milliseconds(30);
// Every buffer lasts about 2048 frames at 48 kHz (42.7 ms).
constexpr uint64_t kBufferFrames48k = 2048;
// DSD buffers are whole multiples of this many container frames.
constexpr uint32_t kDsdFrameStep = 192;

bool isNative(uint32_t rate) {
    return rate >= CCoreAudioIOThread::kNativeDsdRateFloor && CCoreAudioIOThread::mZoltVx_DsdNative;
}

tAudioHostFormat format(int kind, int bits, int channels, int bytesPerFrame) {
    tAudioHostFormat f{};
    f.mKind = kind;
    f.mBits = bits;
    f.mChannels = channels;
    f.mBytesPerFrame = bytesPerFrame;
    return f;
}

}  // namespace

uint32_t CCoreAudioIOThread::bufferFramesFor(uint32_t rate, bool nativeDsd, bool ioProc, int *bytesPerSample) {
    if (rate < kDsdRateFloor) {
        if (bytesPerSample) *bytesPerSample = 4;
        return uint32_t(uint64_t(rate) * kBufferFrames48k / 48000);
    }
    const int d = ioProc ? 4 : (nativeDsd ? 2 : 3);
    if (bytesPerSample) *bytesPerSample = d;
    // As many container frames as 42.7 ms of d-byte words at the DoP rate.
    const uint64_t frames = uint64_t(rate) * kBufferFrames48k / (uint64_t(d) * 192000);
    return uint32_t((frames + kDsdFrameStep - 1) / kDsdFrameStep * kDsdFrameStep);
}

int CCoreAudioIOThread::outputTypeFor(uint32_t rate, bool nativeDsd, bool integer, bool ioProc, bool startUpMute) {
    if (rate < kDsdRateFloor) return ioProc && !integer ? (kTypeFloatContainer | kSampleInt32) : kSampleInt32;
    const bool native = nativeDsd && rate >= kNativeDsdRateFloor;
    if (!ioProc) return native ? (kTypeNativeDsd | kSampleDsd) : kSampleDsd;
    if (!native) return kTypeFloatContainer | kSampleDsd;
    return kTypeFloatContainer | kTypeNativeDsd | kSampleDsd | (startUpMute ? kTypeNativeDsdStartMute : 0);
}

int CCoreAudioIOThread::inputTypeFor(int bits, bool monitoring) {
    if (bits == 16) return kSampleInt16;
    if (bits == 32) return kSampleInt32;
    if (bits == 24 && monitoring) return kSampleInt32;
    return kSampleInt24;
}

uint32_t CCoreAudioIOThread::rangedBytes(uint32_t id, uint32_t bytes, int channels) {
    uint32_t minFrames = 0, maxFrames = 0;
    if (audiohost_getBufferFrameRange(id, &minFrames, &maxFrames) != kAudioHostOK || channels <= 0) return bytes;
    const uint64_t unit = 4ull * uint64_t(channels);
    const uint64_t lo = uint64_t(minFrames) * unit, hi = uint64_t(maxFrames) * unit;
    uint64_t b = bytes;
    if (lo > b)
        b = lo;
    else if (b > hi)
        b = hi;
    b &= ~uint64_t(31);
    // Rounding the minimum down would ask for a buffer the device refuses;
    // the next 32-byte step up is the smallest it takes.
    if (b < lo) b = (lo + 31) & ~uint64_t(31);
    return uint32_t(std::min<uint64_t>(b, 0xFFFFFFFFu));
}

void CCoreAudioIOThread::setup(int id) {
    const uint32_t dev = uint32_t(id);
    const int play = int(getPlayRecChannels(dev, kAudioHostOutput));
    if (play > 64) std::printf("okasii %d\n", play);
    mPlayChannels.store(play, std::memory_order_relaxed);

    const bool dsd = mCurFs >= kDsdRateFloor;
    const bool native = isNative(mCurFs);
    int d = 4;
    const uint32_t frames = bufferFramesFor(mCurFs, native, mAUHALEnable, &d);
    const int streamChannels = dsd ? play : 2;
    if (native) mDsd0MuteCount.store(int(kNativeMuteBits), std::memory_order_relaxed);
    mFrameBySampleRate = frames;
    mFramesPerBuffer = frames;
    startedDev.store(dev, std::memory_order_relaxed);
    mStartedHogMode = mAUHALEnable;
    // The queue path plays only before any output device is selected, which
    // device boot always does first; it is not run here.
    if (!mAUHALEnable) return;
    if (streamChannels <= 0) {
        std::printf("no output channels\n");
        return;
    }

    uint32_t bytes = frames * uint32_t(streamChannels) * uint32_t(d);
    std::printf("bufByteCount= %d \n", int(bytes));
    uint32_t current = 0;
    if (audiohost_getBufferFrames(dev, &current) == kAudioHostOK)
        std::printf("frame buffer size = %d \n", int(current));
    bytes = rangedBytes(dev, bytes, streamChannels);
    std::printf("Ranged bufByteCount= %d \n", int(bytes));
    const uint32_t unit = 4u * uint32_t(streamChannels);
    const uint32_t deviceFrames = bytes >= unit ? bytes / unit : 0;
    if (int rc = audiohost_setBufferFrames(dev, deviceFrames); rc != kAudioHostOK)
        std::printf("set buffer frame size:err %d\n", rc);
    // The engine's buffers for this size now, not on the device thread's
    // first buffer (at DSD rates tens of megabytes, first touched there).
    bufferSwitchReserve(int(std::min<uint64_t>(uint64_t(deviceFrames) * (dsd ? 16 : 1), INT32_MAX)));
    // The stream's output layouts (a native stream's start-up mute, then its
    // programme) and its input's, decided here rather than per buffer.
    bufferSwitchPrepareLayouts(outputTypeFor(mCurFs, native, mAUHAL_Integer, true, native),
                               outputTypeFor(mCurFs, native, mAUHAL_Integer, true, false),
                               inputTypeFor(mRecParamList_PP.mBits, moniStartedF.load(std::memory_order_relaxed) != 0));

    if (audiohost_getDefaultDevice(kAudioHostOutput) == 0) {
        std::printf("NoiseGenerator::AudioHardwareGetProperty status %d\n", kAudioHostErrNoDevice);
        return;
    }
    // The wire in 32-bit words; the kind stays what the rate asks, so that
    // a DSD stream is never taken for PCM. Native DSD has one shape: 16 DSD
    // bits per channel in every 32-bit container frame.
    uint32_t nominal = 0;
    if (audiohost_getNominalRate(dev, &nominal) == kAudioHostOK && nominal != mAUSampleRate)
        (void)audiohost_setNominalRate(dev, mAUSampleRate);
    tAudioHostFormat wire =
        native ? format(kAudioHostDsd, 16, streamChannels, 2 * streamChannels)
               : format(dsd ? kAudioHostDop : kAudioHostPcmInt, 8 * d, streamChannels, d * streamChannels);
    if (int rc = audiohost_setPhysicalFormat(dev, kAudioHostOutput, wire); rc != kAudioHostOK)
        std::printf("set physical format:err %d\n", rc);
    const bool integer = mAUHAL_Integer && !dsd;
    (void)audiohost_setContainer(dev, kAudioHostOutput,
                                 integer ? kAudioHostContainerInt32 : kAudioHostContainerFloat32);
    mPlayChannels.store(int(getPlayRecChannels(dev, kAudioHostOutput)), std::memory_order_relaxed);

    if (audiohost_openStream(dev, kAudioHostStreamOutput, &CCoreAudioIOThread::IOProc, &engine()) != kAudioHostOK) {
        std::printf("Create IOProc Err \n");
        return;
    }
    procID = true;
    if (audiohost_startStream(dev) != kAudioHostOK) {
        std::printf("Start Err \n");
        return;
    }
    mAllowAccessBuffer.store(true, std::memory_order_release);
}

void CCoreAudioIOThread::setupRec(int id) {
    const uint32_t dev = uint32_t(id);
    mRecChannels.store(int(getPlayRecChannels(dev, kAudioHostInput)), std::memory_order_relaxed);
    startedDevRec.store(dev, std::memory_order_relaxed);
    mStartedHogMode = mAUHALEnable;
    const bool shared = dev == startedDev.load(std::memory_order_relaxed) && procID;

    const tAudioHostFormat &pp = mRecParamList_PP;
    if (!shared) {
        // A device of its own: its buffer and rate follow the output's.
        uint32_t bytes = uint32_t(std::max(0, pp.mChannels)) * uint32_t(mFrameBySampleRate) * uint32_t(pp.mBits) / 8;
        std::printf("bufByteCount= %d \n", int(bytes));
        bytes = rangedBytes(dev, bytes, pp.mChannels);
        std::printf("Ranged bufByteCount= %d \n", int(bytes));
        const uint32_t unit = 4u * uint32_t(std::max(1, pp.mChannels));
        (void)audiohost_setBufferFrames(dev, bytes >= unit ? bytes / unit : 0);
        (void)audiohost_setNominalRate(dev, pp.mRate);
    }
    if (audiohost_getDefaultDevice(kAudioHostOutput) == 0) {
        std::printf("NoiseGenerator::AudioHardwareGetProperty status %d\n", kAudioHostErrNoDevice);
        return;
    }
    // On the output device the running output stream takes the input too;
    // its settings change only while it is stopped.
    if (shared) (void)audiohost_stopStream(dev);
    tAudioHostFormat in = format(kAudioHostPcmInt, pp.mBits, pp.mChannels, pp.mChannels * pp.mBits / 8);
    (void)audiohost_setPhysicalFormat(dev, kAudioHostInput, in);
    const int recChannels = mRecChannels.load(std::memory_order_relaxed);
    in = format(kAudioHostPcmInt, pp.mBits, recChannels, recChannels * pp.mBits / 8);
    (void)audiohost_setPhysicalFormat(dev, kAudioHostInput, in);
    (void)audiohost_setContainer(dev, kAudioHostInput, kAudioHostContainerFloat32);
    (void)audiohost_setInputMute(dev, false);
    mRecChannels.store(int(getPlayRecChannels(dev, kAudioHostInput)), std::memory_order_relaxed);

    if (shared) {
        (void)audiohost_closeStream(dev);
        procID = false;
        if (audiohost_openStream(dev, kAudioHostStreamOutput | kAudioHostStreamInput, &CCoreAudioIOThread::IOProc,
                                 &engine()) != kAudioHostOK) {
            std::printf("Create IOProc Err \n");
            return;
        }
        procID = true;
        if (audiohost_startStream(dev) != kAudioHostOK) {
            std::printf("Start Err \n");
            return;
        }
    } else {
        if (audiohost_openStream(dev, kAudioHostStreamInput, &CCoreAudioIOThread::IOProc2, &engine()) != kAudioHostOK) {
            std::printf("Create IOProc Err \n");
            return;
        }
        procID2 = true;
        if (audiohost_startStream(dev) != kAudioHostOK) {
            std::printf("Start Err \n");
            return;
        }
        mRecDevStarted = true;
    }
    moniStartedF.store(1, std::memory_order_relaxed);
    mAllowAccessBuffer.store(true, std::memory_order_release);
}

void CCoreAudioIOThread::AudioStopReq() { mAllowAccessBuffer.store(false, std::memory_order_release); }

void CCoreAudioIOThread::Term(int) {
    if (mStartedHogMode) {
        // Stopped whether or not the device was held: a stream left running
        // would keep calling the engine through the rate change.
        const uint32_t out = startedDev.load(std::memory_order_relaxed);
        const uint32_t in = startedDevRec.load(std::memory_order_relaxed);
        if (procID && audiohost_stopStream(out) != kAudioHostOK) {
            std::printf("Stop Err \n");
            return;
        }
        if (procID2 && mRecDevStarted && in != out && audiohost_stopStream(in) != kAudioHostOK) {
            std::printf("stop Err2 \n");
            return;
        }
        std::this_thread::sleep_for(kTermSettle);
        if (procID) {
            if (audiohost_closeStream(out) != kAudioHostOK) {
                std::printf("Destroy IOProc Err \n");
                return;
            }
            procID = false;
        }
        if (procID2) {
            if (audiohost_closeStream(in) != kAudioHostOK) {
                std::printf("Destroy IOProc2 Err \n");
                return;
            }
            procID2 = false;
            mRecDevStarted = false;
        }
    }
    std::this_thread::sleep_for(kTermSettle);
}

// The client is the engine the stream was started for: the device thread
// reaches the engine through it alone.
void CCoreAudioIOThread::IOProc(void *client, const tAudioHostCycle *cycle) {
    if (!client) return;
    const bool both = cycle->mOutput && cycle->mInput &&
                      startedDev.load(std::memory_order_relaxed) == startedDevRec.load(std::memory_order_relaxed);
    IOProc_do(*static_cast<tEngine *>(client), cycle, both ? kIoBoth : kIoOutput);
}

void CCoreAudioIOThread::IOProc2(void *client, const tAudioHostCycle *cycle) {
    if (client) IOProc_do(*static_cast<tEngine *>(client), cycle, kIoInput);
}

void CCoreAudioIOThread::IOProc_do(tEngine &e, const tAudioHostCycle *c, int mode) {
    if (!mAllowAccessBuffer.load(std::memory_order_acquire)) return;
    tCoreAudioParams p;
    if (c->mOutput) {
        p.outBuffers = 1;
        p.outBufChannels[0] = c->mOutChannels;
        const uint32_t unit = 4u * uint32_t(std::max(0, c->mOutChannels));
        p.outBufFrames[0] = unit && c->mOutBytes >= unit ? int32_t(c->mOutBytes / unit) : 0;
        std::memset(c->mOutput, 0, c->mOutBytes);
    }
    if (c->mInput) {
        p.inBuffers = 1;
        p.inBufChannels[0] = c->mInChannels;
        const uint32_t unit = 4u * uint32_t(std::max(0, c->mInChannels));
        p.inBufFrames[0] = unit && c->mInBytes >= unit ? int32_t(c->mInBytes / unit) : 0;
    }
    int rec = mRecChannels.load(std::memory_order_relaxed);
    if (rec > 256) {
        rec = 256;
        mRecChannels.store(rec, std::memory_order_relaxed);
    }
    int play = mPlayChannels.load(std::memory_order_relaxed);
    if (play > 64) {
        // More channels than any buffer layout of the engine: nothing is
        // handed over rather than a layout overrun.
        play = 0;
        mPlayChannels.store(0, std::memory_order_relaxed);
    }
    p.outChannels = play;
    p.inChannels = rec;

    const uint32_t fs = mCurFs;
    const bool dsd = fs >= kDsdRateFloor;
    const bool native = isNative(fs);
    const int inType = inputTypeFor(mRecParamList_PP.mBits, moniStartedF.load(std::memory_order_relaxed) != 0);
    // Frames of a buffer as the engine counts them: DSD bits per channel
    // (16 to a 32-bit container) for DoP and native DSD, frames for PCM.
    auto engineFrames = [dsd](uint32_t bytes, int channels) -> int {
        if (channels <= 0) return 0;
        return dsd ? int(uint64_t(bytes) * 4 / uint32_t(channels)) : int(bytes / (4u * uint32_t(channels)));
    };
    const int passes = mode == kIoInput ? p.inBuffers : p.outBuffers;
    for (int i = 0; i < passes; ++i) {
        int frames = 0, type = 0;
        unsigned char *out = nullptr;
        int outChannels = 0;
        if (mode != kIoInput) {
            frames = engineFrames(c->mOutBytes, c->mOutChannels);
            const int muteLeft = mDsd0MuteCount.load(std::memory_order_relaxed);
            type = outputTypeFor(fs, native, mAUHAL_Integer, true, muteLeft > 0);
            if (native) mDsd0MuteCount.store(std::max(0, muteLeft - frames), std::memory_order_relaxed);
            if (play > 0) {
                out = static_cast<unsigned char *>(c->mOutput);
                outChannels = p.outBufChannels[i];
            }
        } else {
            type = outputTypeFor(fs, native, mAUHAL_Integer, true, false);
        }
        unsigned char *in = nullptr;
        int inChannels = 0;
        p.inFrames = 0;
        if (mode == kIoInput) {
            in = static_cast<unsigned char *>(const_cast<void *>(c->mInput));
            inChannels = rec;
            p.inFrames = engineFrames(c->mInBytes, c->mInChannels);
        } else if (mode == kIoBoth) {
            in = static_cast<unsigned char *>(const_cast<void *>(c->mInput));
            inChannels = rec;
            p.inFrames = frames;
        }
        bufferSwitchCoreAudioQueue(e, fs, type, out ? frames : 0, out, in, inChannels, &p, outChannels,
                                   unsigned(inType));
        p.outChannelOffset += mode == kIoInput ? 0 : p.outBufChannels[i];
        p.inChannelOffset += in ? p.inBufChannels[i] : 0;
    }
}
