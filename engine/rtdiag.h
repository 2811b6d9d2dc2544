// What the device thread has to report, without reporting it there: it
// raises a bit (and keeps a value) in lock-free words, and the GUI thread's
// timer drains them into the trace client and carries out what they ask
// (a buffer grown for a device that delivered more frames than were
// reserved). Raising never allocates, locks or waits; a diagnostic raised
// again before it was drained is reported once, with the last value.
#pragma once

#include <cstdint>

enum tRtDiag : uint32_t {
    kRtDiagStopTimedOut = 1u << 0,     // a stop ran out of time and was forced
    kRtDiagOddDsdChunk = 1u << 1,      // a DSD chunk not a whole number of 16-bit words (value: bits)
    kRtDiagBufferTooLarge = 1u << 2,   // a device buffer beyond the reserved size went out silent (value: frames)
    kRtDiagWorkBufferMissing = 1u << 3,  // a writer's buffers were too small for a chunk (value: frames)
};
enum : int { kRtDiagCount = 4 };

// Device thread: raise `diag` with `value`.
void rtDiag_raise(tRtDiag diag, int64_t value = 0);
// Any thread: the raised bits since the last take, and their values
// (values[i] for bit i), cleared.
uint32_t rtDiag_take(int64_t values[kRtDiagCount]);
// GUI thread (the main window's timer): takes the raised diagnostics,
// reserves the buffers a too-large device buffer asked for, and sends each
// to the trace client (at trace level 10). Returns the bits it handled.
uint32_t rtDiag_drain();
