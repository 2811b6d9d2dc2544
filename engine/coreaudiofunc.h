// The back-end the device callbacks use: 32-bit float or integer PCM, DSD
// over PCM in float or 24-bit containers, and native DSD bytes in float
// containers.
//
// Threads: the device's real-time thread only; its buffers and markers carry
// over from one device buffer to the next.
#pragma once

#include <cstdint>

#include "engine/audiothreadfunc.h"

class gCAudioThreadCoreAudioFunc : public CAudioThreadFunc {
public:
    enum : int {
        kDsdBufInitialBytes = 4096,  // per channel, grown with the chunk
    };
    static constexpr uint8_t kDopMarker = 0x05;  // first DoP marker; the next is 0xFA

    gCAudioThreadCoreAudioFunc();
    ~gCAudioThreadCoreAudioFunc() override;

    // 1 for DSD (low bits 33), which also sets the DoP marker bytes per 16
    // DSD bits (2 in float containers, 1 in 24-bit ones); 32 otherwise (no
    // marker bytes).
    int getBitLength(int type) override;
    void copy0DataToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                      int channels) override;
    void sineWaveToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                     tBufferSwitchParams *rec) override;
    int convertDataToAudioDriverBuffer(int type, int frames, const int *offsets, double **const *blocks,
                                       const int *blockIndices, unsigned char **outputs, unsigned char **dsdBlocks,
                                       tBufferSwitchParams *rec) override;
    void convertAudioDriverToWorkBuffer(int type, int frames, double *work, const unsigned char *in,
                                        const unsigned char *in2, tBufferSwitchParams *rec) override;
    void SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft, unsigned char *dsdRight,
                              tBufferSwitchParams *rec) override;
    // The device output (entry 0) moves by frames x bits x channels / 8 bytes
    // plus mark x frames x channels / 16 marker bytes.
    void incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int channels, int mark) override;
    int getDopMarkSize() override { return mDopMarkSize; }
    int getFFTorder() override { return mFftOrder; }
    int getCurrentBufferSize(int frames) override { return frames; }
    // Inputs are not measured on this back-end.
    void measureInputSignals(int, int, unsigned char **, tBufferSwitchParams *) override {}

private:
    int mDopMarkSize = 0;
    uint8_t *mDsdBuf[2] = {};          // DSD bytes of the chunk, left and right
    int32_t mDsdBufCapacity = 0;       // bytes of each (frames, rounded up to 8)
    double *mWorkBuf = nullptr;        // the processed master scaled for metering, mDsdBufCapacity frames
    uint8_t mDopMarker24 = kDopMarker;           // next marker of the 24-bit packing
    uint32_t mDopMarkerFloat = uint32_t(kDopMarker) << 24;  // next marker of the float packing, top byte
    int mFftOrder = 16384;
    int32_t mCaptureOffset = 0;        // frames already captured in this device buffer
    bool mTestIsDsd = false;           // the last captured test signal was DSD
};
