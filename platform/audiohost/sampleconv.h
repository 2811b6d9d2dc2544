// Sample conversions between the 32-bit containers that the engine reads
// and writes in every I/O cycle and the sample formats a sound device takes.
//
// Containers are interleaved frames of 32-bit words, one per channel: either
// IEEE floats (full scale +-1.0) or signed integers (full scale +-2^31).
// Both carry three kinds of content, and the device format decides which:
// - PCM samples;
// - DoP words: marker byte, then two DSD bytes, in the top 24 bits of the
//   word (a float container holds the word times 2^-31, which a float
//   represents exactly because the low eight bits are zero);
// - native DSD: two DSD bytes in the top 16 bits of the word, the earlier
//   byte highest, the earlier bit of a byte in its most significant bit.
//
// Float containers become integer words by multiplying by 2^31, rounding to
// the nearest integer (ties to even) and clipping to the signed 32-bit range,
// so DoP words and DSD bytes carried in floats come out without changing a
// bit. Narrower integer formats round that word to their width (ties to even)
// and saturate; for DoP the dropped bits are zero, so nothing changes.
//
// DSD formats hold 8, 16 or 32 DSD bits per channel and frame, the earliest
// bit in the most significant bit of the (byte, 16-bit or 32-bit) word, the
// word stored in the named byte order. One container frame holds 16 bits per
// channel, so a DSD_U8 device runs two frames per container frame and a
// DSD_U32 device one frame per two container frames.
//
// Everything here runs on the caller's thread, allocates nothing, locks
// nothing and reports nothing; the loops are chosen once per stream.
#pragma once

#include <cstdint>

// The engine's side of a cycle's buffers.
enum tAudioHostContainer : int {
    kAudioHostContainerFloat32 = 0,
    kAudioHostContainerInt32 = 1,
};

// A device's sample format. The numbers are ours and stable; only the ALSA
// back end maps them to ALSA's.
enum tDevSampleFormat : int {
    kDevFmtNone = 0,
    kDevFmtS16LE = 1,
    kDevFmtS24_3LE = 2,  // three bytes per sample
    kDevFmtS24LE = 3,    // low three bytes of a 32-bit word, sign-extended
    kDevFmtS32LE = 4,
    kDevFmtFloatLE = 5,
    kDevFmtDsdU8 = 6,
    kDevFmtDsdU16BE = 7,
    kDevFmtDsdU16LE = 8,
    kDevFmtDsdU32BE = 9,
    kDevFmtDsdU32LE = 10,
    kDevFmtCount = 11,
};

bool devfmt_isDsd(int fmt);
bool devfmt_isInteger(int fmt);      // the four integer PCM formats
int devfmt_bytesPerSample(int fmt);  // bytes per channel and device frame; 0 for an unknown format
int devfmt_bitsPerSample(int fmt);   // significant bits (DSD: bits per channel and frame)
const char *devfmt_name(int fmt);    // ALSA's spelling, "?" when unknown

// Device frames that carry `containerFrames` container frames, and the
// device's frame rate for a container rate: twice as many for DSD_U8, half as
// many for DSD_U32 (the caller keeps the container frame count even), the
// same for the others.
uint32_t devfmt_deviceFrames(int fmt, uint32_t containerFrames);
uint32_t devfmt_deviceRate(int fmt, uint32_t containerRate);

// Converts `frames` container frames of `channels` channels. dst and src do
// not overlap; the output direction reads containers and writes device
// samples, the input direction the reverse.
typedef void (*tDevConvFunc)(void *__restrict dst, const void *__restrict src, uint32_t frames, int channels);

// The loop for a format and container (tAudioHostContainer), or null when
// either is unknown.
tDevConvFunc devconv_outputFunc(int fmt, int container);
tDevConvFunc devconv_inputFunc(int fmt, int container);
