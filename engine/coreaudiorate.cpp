// The rate and formats of the chosen devices. Runs on the control thread
// between the stop job and the start job, while no stream runs.
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/coreaudioio.h"

namespace {

// How long the device is given to settle after each nominal-rate write: a
// device that changes its clock glitches for a while, and a stream started
// at once would catch it.
constexpr auto kSettleFirst = std::chrono::milliseconds(500);
constexpr auto kSettleSecond = std::chrono::milliseconds(300);

// A virtual device has no clock that could glitch: its rate holds at once
// and waiting for it to settle only delays the stream.
bool clockSettles(uint32_t dev) {
    tAudioHostDeviceInfo info{};
    return audiohost_getDeviceInfo(dev, &info) != kAudioHostOK || !info.mVirtual;
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

int CCoreAudioIOThread::setSamplingFreq(int id, unsigned rate) {
    const uint32_t dev = uint32_t(id);
    mAUSampleRate = rate < kDsdRateFloor ? rate : rate >> 4;
    mCurFs = rate;
    mRatedDev = dev;

    uint32_t current = 0;
    if (audiohost_getNominalRate(dev, &current) != kAudioHostOK) std::printf("Get isWritable err\n");
    const bool settles = clockSettles(dev);
    int rc = audiohost_setNominalRate(dev, mAUSampleRate);
    if (rc < 0) std::printf("set sampling rate:err %d\n", rc);
    if (settles) std::this_thread::sleep_for(kSettleFirst);
    rc = audiohost_setNominalRate(dev, mAUSampleRate);
    if (rc < 0) std::printf("set nominal sampling rate:err %d\n", rc);
    if (settles) std::this_thread::sleep_for(kSettleSecond);

    if (rate >= kNativeDsdRateFloor && mZoltVx_DsdNative)
        return audiohost_setPhysicalFormat(dev, kAudioHostOutput, format(kAudioHostDsd, 16, 2, 4));
    if (processorType != kProcessNative) return rc;

    // The wire carries 24-bit words: PCM samples, or DoP words whose marker
    // and two DSD bytes fill them exactly.
    const int kind = rate >= kDsdRateFloor ? kAudioHostDop : kAudioHostPcmInt;
    rc = audiohost_setPhysicalFormat(dev, kAudioHostOutput, format(kind, 24, 2, 6));
    if (rc < 0) std::printf("set physical format:err %d\n", rc);
    // The callback's side: 32-bit words, integers only for PCM on the
    // devices that take them; DoP and native DSD always travel in floats.
    const bool integer = mAUHAL_Integer && rate < kDsdRateFloor;
    return audiohost_setContainer(dev, kAudioHostOutput,
                                  integer ? kAudioHostContainerInt32 : kAudioHostContainerFloat32);
}

int CCoreAudioIOThread::setSamplingFreqRec(int id, unsigned rate) {
    if (rate == 0) return -1;
    mAUSampleRateRec = rate;
    prepareAudioUnitRec(id, int(rate), mRecParamList_PP.mBits, mRecParamList_PP.mChannels);
    return 0;
}

// The input side of a rate change: the input device's physical format at
// the new rate. The input unit that would capture through it is never
// started in this system and is not built.
void CCoreAudioIOThread::prepareAudioUnitRec(int id, int rate, int bits, int channels) {
    (void)bits;
    (void)channels;
    const uint32_t dev = uint32_t(id);
    // One device, one clock: the output side has put it on its rate, and
    // an input rate (a DSD bit rate included) must not move it.
    if (dev != mRatedDev) {
        const int rc = audiohost_setNominalRate(dev, uint32_t(rate));
        if (rc < 0) std::printf("set input sampling rate:err %d\n", rc);
    }
    const int rc = audiohost_setPhysicalFormat(dev, kAudioHostInput, format(kAudioHostPcmInt, 24, 32, 96));
    if (rc < 0) std::printf("set input physical format:err %d\n", rc);
}
