#include "engine/coreaudiofunc.h"

#include <cstring>

#include "audiofile/audiohelpers.h"

gCAudioThreadCoreAudioFunc::gCAudioThreadCoreAudioFunc() {
    mDsdBuf[0] = static_cast<uint8_t *>(_aligned_malloc(kDsdBufInitialBytes, 16));
    mDsdBuf[1] = static_cast<uint8_t *>(_aligned_malloc(kDsdBufInitialBytes, 16));
    mWorkBuf = static_cast<double *>(_aligned_malloc(uint64_t(kDsdBufInitialBytes) * 16, 16));
    if (mDsdBuf[0] && mDsdBuf[1] && mWorkBuf) {
        std::memset(mDsdBuf[0], 0, kDsdBufInitialBytes);
        std::memset(mDsdBuf[1], 0, kDsdBufInitialBytes);
        mDsdBufCapacity = kDsdBufInitialBytes;
    }
}

gCAudioThreadCoreAudioFunc::~gCAudioThreadCoreAudioFunc() {
    _aligned_free(mDsdBuf[0]);
    _aligned_free(mDsdBuf[1]);
    _aligned_free(mWorkBuf);
}

int gCAudioThreadCoreAudioFunc::getBitLength(int type) {
    const tLayoutOf &l = layoutOf(type);
    mDopMarkSize = l.markBytes;
    return l.bits;
}

void gCAudioThreadCoreAudioFunc::incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int channels,
                                                      int mark) {
    if (!outputs || !outputs[0]) return;
    const int64_t n = int64_t(frames) * bits * channels / 8 + int64_t(mark) * frames * channels / 16;
    outputs[0] += n;
}
