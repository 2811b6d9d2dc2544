// The device writers of the back-end the device callbacks use. They come
// with the real-time buffer switch; until then they leave the device and
// work buffers as they are.
#include "engine/coreaudiofunc.h"

void gCAudioThreadCoreAudioFunc::copy0DataToAudioDriverBuffer(int, int, unsigned char *, unsigned char *, int) {}

void gCAudioThreadCoreAudioFunc::sineWaveToAudioDriverBuffer(int, int, unsigned char *, unsigned char *,
                                                             tBufferSwitchParams *) {}

int gCAudioThreadCoreAudioFunc::convertDataToAudioDriverBuffer(int, int, const int *, double **const *, const int *,
                                                               unsigned char **, unsigned char **,
                                                               tBufferSwitchParams *) {
    return 0;
}

void gCAudioThreadCoreAudioFunc::convertAudioDriverToWorkBuffer(int, int, double *, const unsigned char *,
                                                                const unsigned char *, tBufferSwitchParams *) {}

void gCAudioThreadCoreAudioFunc::SineWaveToWorkBuffer(int, int, double *, unsigned char *, unsigned char *,
                                                      tBufferSwitchParams *) {}
