// DSD output: the step that produces the device's DSD bytes from the
// processed master, and the fade requests and acknowledgements that the
// stop procedure and the job start wait for.
//
// Normally the processed signal is re-modulated by the engine's fifth-order
// modulator (dsm5th). When nothing alters the source (one track, master
// equaliser off, pure output allowed by dsdPure, automation level exactly
// 1.0 over the buffer, fade level exactly 1.0) the source's own DSD bits go
// out unchanged. Every change of stream (re-modulated, source bits, mute
// pattern) is spliced by the modulator at a run of bits where both streams
// agree, so the output never clicks and pure output is bit-exact: the
// source bits arrive delayed by delayConvFir bits (17 plus half the
// conversion filter), the mute pattern by delayConvFirMute (17). The mute
// pattern is 0x2D, which delayed by 17 bits reads as the idle byte 0x96.
//
// Per channel the modulator's words say where the output is: mSpliceCur
// (1 the offered stream, 0 the re-modulated one) and mSpliceReq (the stream
// asked for); mCutFlags bit 0x80 starts the integrator cutting that must
// finish before a switch to the offered stream. A fade-in (fadeReq bit 1)
// goes mute pattern -> re-modulated stream rising with the fade level ->
// (when allowed) pure output; a fade-out (bit 2) goes back and ends on the
// mute pattern. Each channel acknowledges in fadeAck when it is done.
//
// Threads: everything here runs on the device's real-time thread (fadeAudio
// also on the mix-down thread, never at the same time); nothing allocates,
// locks or reports.
#pragma once

struct tEngine;

#include <cstdint>

enum : int {
    kMutePatFillBytes = 65536,   // bytes of each engine().mutePatBuffer half refreshed with the mute pattern
    kDsdVolumeStepFrames = 500,  // the DSD master volume and fade level move once per this many frames
};

// Writes `bits` DSD samples of both channels into out[0], out[1]
// ((bits + 7) / 8 bytes each). processed: the chunk's processed master,
// stereo doubles at the modulator's full scale 2^55. src: the source's DSD
// bytes of the chunk (the byte holding its first sample); may be null when
// there is no source stream (then the mute pattern stands in). mute: the
// two halves of mutePatBuffer, each at least kMutePatFillBytes bytes, or
// null when it could not be allocated (no mute pattern is spliced in then;
// the modulator fades to its own pattern). bitOffset: the chunk's first
// sample's bit position in its byte (0..7). trackCount: tracks mixed.
// A splice needs bits to be a multiple of 8 and at least 24; shorter chunks
// are modulated only.
void fadeAudio(uint8_t *const out[2], const double *processed, const uint8_t *const src[2], uint8_t *const mute[2],
               int bits, int bitOffset, int trackCount);
void fadeAudio(tEngine &e, uint8_t *const out[2], const double *processed, const uint8_t *const src[2],
               uint8_t *const mute[2], int bits, int bitOffset, int trackCount);

// The stream channel ch is outputting: 1 the offered stream, 0 re-modulated.
uint32_t getDsmStatus(int ch);

// ---- The output writers' share of the fades ---------------------------------------
// Called once per chunk by every back-end's programme writer, before it
// produces the chunk.

// While a fade-in is requested (either channel), the fade level's target is
// 1; while a fade-out is, 0. Each time the level first snaps onto a target
// within 5e-5 (lpf::checkConsistent).
void audioThread_takeFadeRequests();
void audioThread_takeFadeRequests(tEngine &e);
// The PCM writers' acknowledgement: a requested fade is done (both fadeAck
// words) once the fade level has reached its target.
void audioThread_ackPcmFades();
void audioThread_ackPcmFades(tEngine &e);
// The DSD master volume: in steps of kDsdVolumeStepFrames frames, v = fade
// level x masterVol (stored in totalVol); per frame work = src x m (the
// metering signal) and src = clamp(src x v, +-2^62); after each step the
// fade level moves one step, but only while both channels output the
// re-modulated stream and ask for it (a spliced stream does not fade).
// work may be null.
void audioThread_dsdMasterVolume(double *src, double *work, int frames, const double m[2]);
void audioThread_dsdMasterVolume(tEngine &e, double *src, double *work, int frames, const double m[2]);

// ---- Requests of the other threads ----------------------------------------------------
// Carries out what other threads asked of the modulator and the fade
// smoother (engine/enginestate.h: a reset, the smoother's and the mute
// pattern's coefficients, the splice length, a fade target). The buffer
// switch calls it at the start of every device buffer and every programme
// writer before its chunk; a test that stands in for the device calls it
// where the device would.
void engineApplyOutputRequests();
void engineApplyOutputRequests(tEngine &e);
// Shows the fade level to the GUI (fadeLevel); after every device buffer.
void engineShowFadeLevel();
void engineShowFadeLevel(tEngine &e);
