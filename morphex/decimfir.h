// Low-pass FIR design and the stereo FIR kernel of the conversion library.
//
// Coefficient arrays are "two-lane": entry k is two doubles holding the same
// value, so one multiplication filters left and right together. Sample data
// handed to the kernel is two-lane as well (left, right per frame).
//
// The routines are stateless; any thread may call them on its own arrays.
#pragma once

#include <cstdint>

// The reserve value used wherever a filter may reach 32767 taps; the design
// then leaves 4 * 32767 + 16 = 131084 zero entries behind the taps.
enum : uint32_t { kFirReserveMax = 32767 };

// Number of zero entries the design writes behind its taps for reserve R
// (0 when that count is not positive).
int64_t firZeroTailEntries(uint32_t reserve);

// Two-lane entries written by gAudio_setDecimFirParam for `taps` T and
// reserve R: 2 * (T / 2) + 1 coefficients plus the zero tail, or the tail
// alone when T < -1. The caller's array must hold that many entries.
int64_t firDesignEntries(int taps, uint32_t reserve);

// Windowed-sinc low-pass (four-term Blackman-Harris window of period T).
//   rate, cutoff  hertz (the design works on cutoff / rate only)
//   taps T        requested length; T / 2 (toward zero) = M, and 2M + 1
//                 entries are produced, centred on entry M (an even T gives
//                 T + 1 entries with the window still of period T)
//   coef          two-lane array, see firDesignEntries for its size
//   multiplier    integer gain (the interpolation factor of a rate change)
//   gain          further gain; the centre tap is 2 * multiplier * gain *
//                 cutoff / rate
//   reserve R     4R + 16 zero entries follow the taps so that the kernel may
//                 read past them
// With T < -1 only the zero tail is written, from the start of the array.
// The two `ignored` words are accepted for the callers' sake.
void gAudio_setDecimFirParam(uint32_t ignored, double rate, double cutoff, int taps, double *coef, uint32_t multiplier,
                             double gain, uint32_t ignored2, uint32_t reserve);

// Number of 256-entry tables gAudio_setMeterFirParam fills: T / 8 + 1
// (0 when T < -7).
int meterFirTableCount(int taps);

// Low-pass for 1-bit data folded into byte tables (Blackman window, gain 1).
// Table g (256 doubles at tables + 256 g) gives, for every byte value b, the
// sum of coefficients 8g .. 8g + 7 with bit 7 - j of b read as +1 when set
// and -1 when clear, so the first coefficient of a group meets the earliest
// sample of a byte (its most significant bit). Coefficients past the
// designed 2 * (T / 2) + 1 count as zero. The caller provides
// meterFirTableCount(T) * 256 doubles.
void gAudio_setMeterFirParam(double rate, double cutoff, int taps, double *tables);

// One output point of the stereo FIR over a window that spans a block
// boundary: the H history frames followed by the first T - H new frames.
// Coefficient 0 meets the oldest frame. With H > T the history sum reads
// coefficients beyond T, which the design's zero tail supplies.
//   out      one two-lane frame (written)
//   newData  two-lane frames, at least max(0, T - H)
//   coef     two-lane coefficients, at least max(T, H)
//   history  two-lane frames, H of them (may be null when H <= 0)
// Always returns 0.
int gAudioDecimationFir(double *out, const double *newData, const double *coef, int taps, const double *history,
                        int historyCount);
