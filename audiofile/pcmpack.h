// PCM sample packing: the interleaved little-endian sample bytes of a WAV
// data chunk become work frames and back.
//
// A work frame is two IEEE doubles, lane 0 the left (or only) channel and
// lane 1 the right one, full scale +-1.0, 16 bytes per frame, frames packed
// back to back. File samples are interleaved by frame, channel 1 first.
//
// The module also owns the 16-bit requantisation state: a four-lane 32-bit
// shift-register generator (dither) and a two-lane error residue (noise
// shaping). That state is kept per thread (one copy per linked binary and
// thread, without a lock): a job packs on its caller's thread, so two jobs on
// different threads that write dithered or noise-shaped 16-bit output at the
// same time do not disturb each other. Dither mode 0 neither
// reads nor writes it.
//
// Two families: the program calls the *Func routines; the conversion library
// calls wav2pcm / pcm2wav, which differ in the channel byte (bit 7 picks the
// right lane for a mono output) and refuse 64-bit output.
//
// All routines run on the caller's thread, allocate nothing and write
// straight into the caller's buffer; the caller sizes it for count frames.
#pragma once

#include <cstdint>
#include <cstdio>

enum : int {
    kPcmPackOK = 0,
    kPcmPackBadFormat = -1,  // word length or channel count not accepted
};

// Requantisation of 16-bit output; ignored for the other word lengths.
enum tPcmDitherMode : int {
    kPcmDitherNone = 0,        // round to nearest on the 32-bit grid, keep the top 16 bits
    kPcmDitherTpdf = 1,        // add triangular dither of +-1 16-bit step first
    kPcmDitherNoiseShape = 2,  // feed each lane's rounding residue into its next sample
};

// WAVE format tag of IEEE float data; any other tag reads 32 bits as integers.
enum : uint16_t { kWaveFormatIeeeFloat = 3 };

// Bit 7 of the library's channel byte: a mono output takes lane 1.
enum : uint8_t { kPcmRightLaneFlag = 0x80 };

// Unpacks count frames of 16-, 24-, 32- or 64-bit samples into work frames
// (2 * count doubles at out). A mono source sets lane 1 to 0.0. 32 bits are
// IEEE floats when formatTag is 3, signed integers otherwise; 64 bits are
// always doubles. Returns 0 (also when count, read as a signed number, is 0
// or negative: nothing is written), or kPcmPackBadFormat for another word
// length or a channel count other than 1 or 2.
[[nodiscard]] int wav2pcmFunc(double *out, const uint8_t *in, uint32_t count, uint8_t channels, uint8_t bits,
                              uint16_t formatTag);

// Packs count work frames into 16-, 24-, 32- (IEEE float) or 64-bit (double)
// samples. 16 and 24 bits are scaled by 2^31 - 1, clamped, rounded to the
// nearest integer (ties to even) and cut to their top 16 or 24 bits, so the
// rounding at 16 and 24 bits is toward minus infinity; a NaN packs as 0.
// Float output is neither scaled nor clamped. ditherMode is a tPcmDitherMode.
// Returns 0 (a count that is 0 or negative as a signed number writes nothing,
// as for the unpacker), or kPcmPackBadFormat.
[[nodiscard]] int pcm2wavFunc(uint8_t *out, const double *in, uint32_t count, uint8_t channels, uint8_t bits,
                              int ditherMode);

// Loads the generator seed and clears the noise-shaping residue.
void gRandom_seedInitValueFunc();

// The conversion library's unpacker: as wav2pcmFunc; srcFile is not read
// (callers pass null).
[[nodiscard]] int wav2pcm(double *out, const uint8_t *in, uint32_t count, uint8_t channels, uint8_t bits, FILE *srcFile,
                          uint16_t formatTag);

// The conversion library's packer: as pcm2wavFunc, but the channel count is
// the low seven bits of channelByte and a mono output takes lane 1 when bit 7
// (kPcmRightLaneFlag) is set; 16, 24 and 32 bits only (64 returns
// kPcmPackBadFormat).
[[nodiscard]] int pcm2wav(uint8_t *out, const double *in, uint32_t count, uint8_t channelByte, uint8_t bits,
                          int ditherMode);

// As gRandom_seedInitValueFunc; the library calls it when a job starts.
void gRandom_seedInitValue();

// Steps the generator once and writes, per lane, in[lane] times a triangular
// random value in (-1, +1): the dither that the packer adds in mode 1 with
// an amplitude of one 16-bit step.
void gRandom_calcRamdomValue(double out[2], const double in[2]);
