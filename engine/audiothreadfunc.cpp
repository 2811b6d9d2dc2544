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

CAudioThreadFunc::CAudioThreadFunc() : mEngine(&engine()) {}

int audioThreadFunc_createBackEnds() {
    if (!pCAudioThreadAsioFunc) pCAudioThreadAsioFunc = new (std::nothrow) gCAudioThreadAsioFunc;
    if (!pCAudioThreadWasapiFunc) pCAudioThreadWasapiFunc = new (std::nothrow) gCAudioThreadWasapiFunc;
    if (!pCAudioThreadCoreAudioFunc) pCAudioThreadCoreAudioFunc = new (std::nothrow) gCAudioThreadCoreAudioFunc;
    audioThreadFunc_bindEngine(engine());
    return pCAudioThreadAsioFunc && pCAudioThreadWasapiFunc && pCAudioThreadCoreAudioFunc ? kEngineMemOk
                                                                                          : kEngineErrMemory;
}

void audioThreadFunc_bindEngine(tEngine &e) {
    for (CAudioThreadFunc *f : {pCAudioThreadAsioFunc, pCAudioThreadWasapiFunc, pCAudioThreadCoreAudioFunc})
        if (f) f->bindEngine(e);
}

void gSineWaveToWorkBuffer(tEngine &e, bool dsd, int frames, double *work, unsigned char *dsdLeft,
                           unsigned char *dsdRight) {
    double *sine = e.sineWaveBuffer[0];
    const int n = std::min(frames, e.sineWaveBufSize);
    if (!sine || !work || n < 1) return;
    COscClass.generateSineWave(sine, n);
    // The analysis of a DSD tone sees every meterFirInterval-th frame, as
    // the decimated feeds do.
    processFFT(e, dsd, 0, sine, n);
    if (!dsd) {
        std::copy(sine, sine + 2 * n, work);
        return;
    }
    constexpr double kDsdToneScale = 18014398509481984.0;  // 2^54: half the modulator's full scale
    for (int i = 0; i < 2 * n; ++i) work[i] = sine[i] * kDsdToneScale;
    if (!dsdLeft || !dsdRight) return;
    uint8_t *const bytes[2] = {dsdLeft, dsdRight};
    const double noPattern[2] = {0.0, 0.0};
    e.dsm5th.dsm5th(bytes, work, static_cast<uint32_t>(n), 0, noPattern);
}
