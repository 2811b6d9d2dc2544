// The back-end the device callbacks use: 32-bit float or integer PCM, DSD
// over PCM in float or 24-bit containers, and native DSD bytes in float
// containers.
//
// Threads: the device's real-time thread only; its buffers and markers carry
// over from one device buffer to the next.
#pragma once

#include <algorithm>
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

    // 1 for DSD (low bits 33), which also sets the bytes besides the DSD
    // bytes per 16 DSD bits (2 in float containers, 1 in 24-bit DoP words, 0
    // for native bytes); 32 otherwise (none). Taken from the type's layout.
    int getBitLength(int type) override;
    // Silence over the buffer in the type's layout: zeros for PCM (and for
    // native DSD during the start-up mute), the idle DSD byte 0x96 otherwise,
    // in DoP words whose markers start at 0x05 with each buffer.
    void copy0DataToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                      int channels) override;
    // The oscillator's signal over the buffer: PCM sine (floats clamped at
    // +-1, integers x 2137483647 truncated) or, for the fixed pattern, the
    // word itself; DSD modulated at half full scale (the pattern: its four
    // bytes repeated). The master peak is set from the level (or the word).
    void sineWaveToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                     tBufferSwitchParams *rec) override;
    // One chunk of the programme at the record's output offset: nothing
    // unless a gOutputPatch column of the record's outputs is routed. PCM:
    // per routed column the master mix (256) or a track's block, the master
    // feed, then per frame fade level x monitor volume, clipped to full
    // scale, the meter, and one smoother step. DSD: the mix (or, with the
    // oscillator on, the captured tone) through the master volume and
    // fadeAudio with track 0's source bytes, then packed with the DoP marker
    // carried on from the previous chunk. 0, or -1 when a work buffer cannot
    // be had (nothing written).
    int convertDataToAudioDriverBuffer(int type, int frames, const int *offsets, double **const *blocks,
                                       const int *blockIndices, unsigned char **outputs, unsigned char **dsdBlocks,
                                       tBufferSwitchParams *rec) override;
    // The record's input pair (from its first input channel) into work frames
    // at the capture offset, reading the input from rec->capturedFrames on:
    // 16- and 24-bit integers, floats (18, 19), DoP words in floats (0x8021)
    // as +-2^55 per bit.
    void convertAudioDriverToWorkBuffer(int type, int frames, double *work, const unsigned char *in,
                                        const unsigned char *in2, tBufferSwitchParams *rec) override;
    // frames of the test signal into work frames at the capture offset (DSD:
    // also modulated into the two byte buffers, when they hold that many bits).
    void SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft, unsigned char *dsdRight,
                              tBufferSwitchParams *rec) override;
    // The device output (entry 0) moves by frames x bits x channels / 8 bytes
    // plus mark x frames x channels / 16 marker bytes.
    void incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int channels, int mark) override;
    // DoP in floats or 24-bit words and native DSD in floats.
    int writeDsdTail(int type, int bits, unsigned char **outputs, tBufferSwitchParams *rec) override;
    int getDopMarkSize() override { return mDopMarkSize; }
    int getFFTorder() override { return mFftOrder; }
    int getCurrentBufferSize(int frames) override { return frames; }
    // Inputs are not measured on this back-end.
    void measureInputSignals(int, int, unsigned char **, tBufferSwitchParams *) override {}

    // The layout of an output (or input) type code, decided once: how
    // silence, the programme, the test tone and the captured input are laid
    // out. The device layer decides the stream's layouts before it starts it
    // (prepareLayout); a writer handed a type code decided before only looks
    // it up.
    struct tLayoutOf {
        int32_t type = -1;       // the type code (-1: none)
        int32_t programme = 0;   // packer of the programme (DSD from code 33 only)
        int32_t tone = 0;        // packer of silence and the test tone (DSD also from 40)
        int32_t input = 0;       // unpacker of the input, when the code is an input's
        bool floats = false;     // float containers
        bool pcmTone = false;    // the tone is PCM (32-bit, either byte order)
        bool startMute = false;  // native DSD while the device mutes its start: silence is zeros
        bool dsdTest = false;    // a captured test signal is DSD
        double full = 0.0;       // PCM full scale of the programme
        int32_t bits = 32;       // bits per sample (getBitLength): 1 for DSD (code 33), else 32
        int32_t markBytes = 0;   // bytes besides the DSD bytes per 16 DSD bits (getDopMarkSize)
    };
    const tLayoutOf &prepareLayout(int type);
    const tLayoutOf &layoutOf(int type) {
        for (const tLayoutOf &l : mLayouts)
            if (l.type == type) return l;
        return prepareLayout(type);
    }

    int captureOffset() const { return mCaptureOffset; }
    // Grows the DSD and work buffers for chunks of up to `frames` frames
    // ahead of the stream (see bufferSwitchReserve); never on the device
    // thread. False when they cannot be had (then none exists).
    bool reserve(int frames);
    bool fits(int frames) const override {
        return mDsdBuf[0] && mDsdBuf[1] && mWorkBuf && (std::max(frames, 1) + 7) / 8 * 8 <= mDsdBufCapacity;
    }

private:
    int writeProgramme(int type, int frames, const int *offsets, double **const *blocks, const int *blockIndices,
                       unsigned char **outputs, unsigned char **dsdBlocks, tBufferSwitchParams *rec);

    // The layouts decided so far: an output's two (a native stream's start
    // mute, then its programme) or an output's and an input's.
    tLayoutOf mLayouts[3];
    int mNextLayout = 0;
    int mDopMarkSize = 0;
    uint8_t *mDsdBuf[2] = {};           // DSD bytes of the chunk, left and right
    int32_t mDsdBufCapacity = 0;        // bytes of each (frames, rounded up to 8)
    double *mWorkBuf = nullptr;         // the processed master scaled for metering, mDsdBufCapacity frames
    uint8_t mDopMarker24 = kDopMarker;  // next marker of the 24-bit packing
    uint32_t mDopMarkerFloat = uint32_t(kDopMarker) << 24;  // next marker of the float packing, top byte
    int mFftOrder = 16384;
    int32_t mCaptureOffset = 0;  // frames already captured in this device buffer
    bool mTestIsDsd = false;     // the last captured test signal was DSD
};
