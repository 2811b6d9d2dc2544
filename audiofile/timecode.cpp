#include "audiofile/timecode.h"

#include <atomic>
#include <cmath>

namespace {

// Written by the GUI thread, read by whoever formats a counter text.
std::atomic<bool> sShowSubFrame{false};

// Frames in ten drop-frame minutes (10 * 1800 - 9 * 2) and in one dropped
// minute (1800 - 2).
constexpr uint64_t kDropTenMinutes = 17982;
constexpr uint64_t kDropMinute = 1798;

struct FrameRates {
    double counting;   // frames per real second
    uint64_t nominal;  // frame numbers per timecode second
    bool realRate;     // counted in double precision at a non-integer rate
    bool drop;
};

int normalType(int frameType) { return (frameType >= 0 && frameType <= 9) ? frameType : 7; }

FrameRates ratesOf(int type) {
    switch (type) {
    case 0: return {23.976, 24, true, false};
    case 1: return {24.0, 24, false, false};
    case 2: return {25.0, 25, false, false};
    case 3: return {29.97, 30, true, true};
    case 4: return {29.97, 30, true, false};
    case 5: return {30.0, 30, false, true};
    default: return {30.0, 30, false, false};
    }
}

uint64_t unitsOf(int type) { return type == 8 ? 1000 : type == 9 ? 10000 : 100; }

// Truncates a double toward zero into uint64, 0 for anything below 1 or NaN,
// saturating at the top instead of the undefined conversion.
uint64_t truncToU64(double v) {
    if (!(v >= 1.0)) return 0;
    if (v >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<uint64_t>(v);
}

void appendField(std::string &s, int64_t v) {
    if (v >= 0 && v <= 9) s += '0';
    s += std::to_string(v);
}

}  // namespace

void gTc_convSampleToTimeCode(uint64_t s, int rateHz, int frameType, tTimeCode *tc) {
    *tc = tTimeCode{0, 0, 0, 0, 0, 0};
    if (rateHz <= 0) return;
    const uint64_t fs = static_cast<uint64_t>(rateHz);
    const int type = normalType(frameType);
    uint32_t seconds;
    if (type >= 7) {
        seconds = static_cast<uint32_t>(s / fs);
        tc->frame = static_cast<int32_t>(((s % fs) * unitsOf(type)) / fs);
    } else {
        const FrameRates r = ratesOf(type);
        uint64_t frames = r.realRate ? truncToU64(static_cast<double>(s) * r.counting / rateHz) : (s * r.nominal) / fs;
        if (r.drop) {
            const uint64_t d = frames / kDropTenMinutes;
            const uint64_t m = frames % kDropTenMinutes;
            frames += 18 * d;
            if (m >= 1800) frames += 2 * ((m - 2) / kDropMinute);
        }
        tc->frame = static_cast<int32_t>(frames % r.nominal);
        seconds = static_cast<uint32_t>(frames / r.nominal);

        const double exact = static_cast<double>(s) * r.counting / rateHz;
        const double frac = exact - std::trunc(exact);
        int32_t sub = static_cast<int32_t>(frac * 100.0 + 0.5);
        tc->subFrame = sub > 99 ? 99 : sub;
        tc->sampleOffset = static_cast<int32_t>(frac * rateHz / r.counting);
    }
    tc->hour = static_cast<int32_t>((seconds / 3600) % 24);
    tc->minute = static_cast<int32_t>((seconds / 60) % 60);
    tc->second = static_cast<int32_t>(seconds % 60);
}

void gTc_convTimeCodeToSample(const tTimeCode *tc, uint64_t *samplePos, int rateHz, int frameType) {
    *samplePos = 0;
    if (rateHz <= 0) return;
    const int64_t fs = rateHz;
    const int64_t t = static_cast<int64_t>(tc->hour) * 3600 + static_cast<int64_t>(tc->minute) * 60 + tc->second;
    const int64_t f = tc->frame;
    const int64_t dropped = 108 * static_cast<int64_t>(tc->hour) + 18 * (tc->minute / 10) + 2 * (tc->minute % 10);
    const int type = normalType(frameType);
    // Wide enough that no typed-in or stored field overflows (int32 hours
    // times 3600 times a DSD rate exceeds 64 bits).
    __int128 pos;
    const __int128 T = t, F = f, FS = fs;
    switch (type) {
    case 0: *samplePos = truncToU64(static_cast<double>(fs) * static_cast<double>(t * 24 + f) / 23.976); return;
    case 3:
        *samplePos = truncToU64(static_cast<double>(fs) * static_cast<double>(t * 30 - dropped + f) / 29.97);
        return;
    case 4: *samplePos = truncToU64(static_cast<double>(fs) * static_cast<double>(t * 30 + f) / 29.97); return;
    case 5: pos = ((T * 30 - dropped + F) * FS) / 30; break;
    case 1: pos = T * FS + (FS * F) / 24; break;
    case 2: pos = T * FS + (FS * F) / 25; break;
    case 6: pos = T * FS + (FS * F) / 30; break;
    default: pos = T * FS + (FS * F) / static_cast<int64_t>(unitsOf(type)); break;
    }
    if (pos <= 0)
        *samplePos = 0;
    else
        *samplePos = pos > static_cast<__int128>(UINT64_MAX) ? UINT64_MAX : static_cast<uint64_t>(pos);
}

void gTc_prepareTimeInfoDisp(std::string *text, int64_t position, int rateHz, int counterMode, int frameType) {
    std::string s;
    if (counterMode == kCounterSamples) {
        s = std::to_string(position);
    } else if (counterMode == kCounterTimeCode) {
        tTimeCode tc;
        gTc_convSampleToTimeCode(static_cast<uint64_t>(position), rateHz, frameType, &tc);
        appendField(s, tc.hour);
        s += ':';
        appendField(s, tc.minute);
        s += ':';
        appendField(s, tc.second);
        s += ';';
        appendField(s, tc.frame);
        if (sShowSubFrame.load(std::memory_order_relaxed)) {
            s += '.';
            s += std::to_string(tc.subFrame);
        }
    } else {
        int64_t t = 0;
        int64_t cents = 0;
        if (rateHz > 0) {
            t = position / rateHz;
            const float c = static_cast<float>(position % rateHz) * 100.0f / static_cast<float>(rateHz) + 0.5f;
            cents = static_cast<int64_t>(c);
        }
        int64_t hours = t / 3600;
        int64_t minutes = (t / 60) % 60;
        int64_t seconds = t % 60;
        if (cents >= 100) {
            cents = 0;
            if (++seconds >= 60) {
                seconds = 0;
                if (++minutes >= 60) {
                    minutes = 0;
                    ++hours;
                }
            }
        }
        appendField(s, hours);
        s += ':';
        appendField(s, minutes);
        s += ':';
        appendField(s, seconds);
        s += '.';
        appendField(s, cents);
    }
    *text = s;
}

void gTc_setShowingSubFrame(bool on) { sShowSubFrame.store(on, std::memory_order_relaxed); }
