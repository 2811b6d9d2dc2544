// DSD byte layouts: the engine's planar work streams <-> the data layouts of
// DSF and DSDIFF files.
//
// Work stream: one byte array per channel, eight samples to a byte, earliest
// sample in the most significant bit. A mono source is given a second stream
// of 0x96, the DSD idle byte.
//
// DSF data: blocks of 4096 bytes per channel; stereo alternates a channel-1
// block and a channel-2 block (a block pair of 8192 bytes, 32768 samples per
// channel); inside a byte the earliest sample is the least significant bit.
// A mono file is a plain run of channel-1 bytes in that bit order.
//
// DSDIFF data: bytes interleaved by channel, earliest sample in the most
// significant bit, so work bytes pass unchanged.
//
// The DSF packer keeps an unfinished block pair between calls (the pending
// block and the offset sWriteDsfOffset, in samples per channel); the DSDIFF
// packer shares the offset (modulo 8) and the first pending byte of each
// channel. That state is kept per thread (one copy per linked binary and
// thread, without a lock): one DSF or DSDIFF output stream at a time on each
// thread; streams on different threads do not disturb each other. A DSF stream is
// clearDsfOffset, dsd2dsf calls, then one dsd2dsf call with flush set and a
// count of 0, which writes the last, padded block pair.
//
// Sample counts are per channel and, in every call the system makes,
// multiples of 8. The caller sizes all buffers; nothing is allocated.
#pragma once

#include <cstdint>
#include <cstdio>

enum : int {
    kDsdLayoutBadChannels = -1,  // channel count not 1 or 2 (a line is printed)
    kDsdLayoutBadStart = -17,    // dsf2dsd start byte outside its block
};

enum : uint32_t {
    kDsfBlockBytes = 4096,     // per channel
    kDsfBlockSamples = 32768,  // per channel
};

enum : uint8_t {
    kDsdIdleByte = 0x96,
    kDsdRightStreamFlag = 0x80,  // packers: bit 7 of the channel byte, see below
};

// DSF bytes -> work streams. For stereo, src points at the first byte to
// convert inside a channel-1 block and startByte is that byte's offset in
// the block (0..4095); the channel-2 block follows 4096 bytes on. A mono
// source is read as a plain run from src and startByte is not used; its
// second stream is filled with 0x96. A partial last byte converts whole.
// Returns 0, kDsdLayoutBadChannels, or kDsdLayoutBadStart for a stereo
// startByte above 4095.
[[nodiscard]] int dsf2dsd(uint8_t *out1, uint8_t *out2, const uint8_t *src, uint32_t samples, uint8_t channels,
                          uint32_t startByte);

// DSDIFF bytes -> work streams: samples / 8 bytes per channel. Mono copies
// into out1 and fills as many bytes of out2 with 0x96. Returns 0 or
// kDsdLayoutBadChannels.
[[nodiscard]] int dsdiff2dsd(uint8_t *out1, uint8_t *out2, const uint8_t *src, uint32_t samples, uint8_t channels);

// Work streams -> whole DSF blocks at out.
//
// channelByte: the low seven bits are the channel count (1 or 2); for a mono
// output, bit 7 (kDsdRightStreamFlag) takes in2 instead of in1.
//
// Stereo: new samples join the pending block pair; every completed block
// pair is written at out, channel 1 first. With flush set, whatever is
// pending (plus the new samples) is written as one more block pair padded
// with 0x96; a flush with nothing pending writes nothing. Mono: the bytes go
// straight to out and the last block is not padded.
//
// *written: samples per channel written at out (the caller writes
// written * channels / 8 bytes); *valid: how many of them are audio rather
// than padding. Returns the new pending offset (0..32767), or
// kDsdLayoutBadChannels.
[[nodiscard]] int dsd2dsf(uint8_t *out, const uint8_t *in1, const uint8_t *in2, uint32_t samples, uint8_t channelByte,
                          uint8_t flush, uint32_t *written, uint32_t *valid);

// Work streams -> interleaved DSDIFF bytes (samples / 8 bytes per channel;
// the caller writes samples * channels / 8 bytes). channelByte as for
// dsd2dsf. Returns the new offset modulo 8 or kDsdLayoutBadChannels. The
// library's build passes its output file as well; it is not read.
[[nodiscard]] int dsd2dsdiff(uint8_t *out, const uint8_t *in1, const uint8_t *in2, uint32_t samples,
                             uint8_t channelByte);
[[nodiscard]] int dsd2dsdiff(uint8_t *out, const uint8_t *in1, const uint8_t *in2, uint32_t samples,
                             uint8_t channelByte, FILE *outFile);

// Starts a new DSF output stream, discarding an unfinished block.
void clearDsfOffset();
