#include "engine/wasapifunc.h"

void gCAudioThreadWasapiFunc::SineWaveToWorkBuffer(int, int frames, double *work, unsigned char *dsdLeft,
                                                   unsigned char *dsdRight, tBufferSwitchParams *rec) {
    if (!work || !rec) return;
    mCaptureOffset = rec->captureWriteOffsets ? rec->captureWriteOffsets[0].load(std::memory_order_relaxed) : 0;
    if (mCaptureOffset < 0) mCaptureOffset = 0;
    gSineWaveToWorkBuffer(*mEngine, false, frames, work + 2 * static_cast<int64_t>(mCaptureOffset), dsdLeft, dsdRight);
}

void gCAudioThreadWasapiFunc::incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int, int) {
    if (!outputs) return;
    const int64_t n = int64_t(frames) * bits / 8;
    if (outputs[0]) outputs[0] += n;
    if (outputs[1]) outputs[1] += n;
}
