#include "engine/audiothreadfunc.h"

#include <algorithm>
#include <new>

#include "dsp/oscillator.h"
#include "engine/analysisrings.h"
#include "engine/asiofunc.h"
#include "engine/coreaudiofunc.h"
#include "engine/enginestate.h"
#include "engine/wasapifunc.h"

const uint8_t gMuteDirectTable[8] = {0x96, 0x96, 0x96, 0x96, 0x96, 0x96, 0x96, 0x96};
const uint8_t gMutePatTable[8] = {0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D, 0x2D};

CAudioThreadFunc *pCAudioThreadAsioFunc;
CAudioThreadFunc *pCAudioThreadWasapiFunc;
CAudioThreadFunc *pCAudioThreadCoreAudioFunc;

int audioThreadFunc_createBackEnds() {
    if (!pCAudioThreadAsioFunc) pCAudioThreadAsioFunc = new (std::nothrow) gCAudioThreadAsioFunc;
    if (!pCAudioThreadWasapiFunc) pCAudioThreadWasapiFunc = new (std::nothrow) gCAudioThreadWasapiFunc;
    if (!pCAudioThreadCoreAudioFunc) pCAudioThreadCoreAudioFunc = new (std::nothrow) gCAudioThreadCoreAudioFunc;
    for (CAudioThreadFunc *f : {pCAudioThreadAsioFunc, pCAudioThreadWasapiFunc, pCAudioThreadCoreAudioFunc})
        if (f) f->setDsm5thAndLpf(&CDsm5th, &CFadeVolLpf);
    return pCAudioThreadAsioFunc && pCAudioThreadWasapiFunc && pCAudioThreadCoreAudioFunc ? kEngineMemOk
                                                                                          : kEngineErrMemory;
}

void gSineWaveToWorkBuffer(bool dsd, int frames, double *work, unsigned char *dsdLeft, unsigned char *dsdRight) {
    double *sine = gSineWaveBuffer[0];
    const int n = std::min(frames, gSineWaveBufSize);
    if (!sine || !work || n < 1) return;
    COscClass.generateSineWave(sine, n);
    // The analysis of a DSD tone sees every sMeterFirInterval-th frame, as
    // the decimated feeds do.
    processFFT(dsd, 0, sine, n);
    if (!dsd) {
        std::copy(sine, sine + 2 * n, work);
        return;
    }
    constexpr double kDsdToneScale = 18014398509481984.0;  // 2^54: half the modulator's full scale
    for (int i = 0; i < 2 * n; ++i) work[i] = sine[i] * kDsdToneScale;
    if (!dsdLeft || !dsdRight) return;
    uint8_t *const bytes[2] = {dsdLeft, dsdRight};
    const double noPattern[2] = {0.0, 0.0};
    CDsm5th.dsm5th(bytes, work, static_cast<uint32_t>(n), 0, noPattern);
}
