// The back-end of a driver model this system does not drive: created by the
// engine's set-up like the others, its buffer writers do nothing. Only the
// test-signal capture and the pointer arithmetic do what their names say.
#pragma once

#include "engine/audiothreadfunc.h"

class gCAudioThreadWasapiFunc : public CAudioThreadFunc {
public:
    gCAudioThreadWasapiFunc() = default;

    int getBitLength(int) override { return 16; }
    void copy0DataToAudioDriverBuffer(int, int, unsigned char *, unsigned char *, int) override {}
    void sineWaveToAudioDriverBuffer(int, int, unsigned char *, unsigned char *, tBufferSwitchParams *) override {}
    int convertDataToAudioDriverBuffer(int, int, const int *, double **const *, const int *, unsigned char **,
                                       unsigned char **, tBufferSwitchParams *) override {
        return 0;
    }
    void convertAudioDriverToWorkBuffer(int, int, double *, const unsigned char *, const unsigned char *,
                                        tBufferSwitchParams *) override {}
    // The PCM test signal into the work frames at the record's capture offset
    // (row 0's write offset), which the back-end remembers.
    void SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft, unsigned char *dsdRight,
                              tBufferSwitchParams *rec) override;
    // Both channel pointers (entries 0 and 1) move by frames x bits / 8 bytes.
    void incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int channels, int mark) override;
    int getDopMarkSize() override { return 0; }
    int getFFTorder() override { return mFftOrder; }
    int getCurrentBufferSize(int frames) override { return frames; }
    void measureInputSignals(int, int, unsigned char **, tBufferSwitchParams *) override {}

    int captureOffset() const { return mCaptureOffset; }

private:
    int mCaptureOffset = 0;
    int mFftOrder = 16384;
};
