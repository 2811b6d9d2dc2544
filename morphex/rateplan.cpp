#include "morphex/rateplan.h"

#include <algorithm>
#include <climits>

namespace {

// Euclid on non-negative values; the same result as repeated subtraction,
// without its millions of steps for a pair such as (1, 22579200).
uint64_t gcd64(uint64_t a, uint64_t b) {
    while (b != 0) {
        const uint64_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

bool isMultipleOf44100(uint32_t rate) { return rate % 44100u == 0; }

}  // namespace

int getGcd(int a, int b) {
    if (a <= 0 || b <= 0) return 0;
    return static_cast<int>(gcd64(static_cast<uint64_t>(a), static_cast<uint64_t>(b)));
}

int getLcm(int a, int b) {
    if (a <= 0 || b <= 0) return 0;
    const uint64_t g = gcd64(static_cast<uint64_t>(a), static_cast<uint64_t>(b));
    const uint64_t l = static_cast<uint64_t>(a) / g * static_cast<uint64_t>(b);
    return l > static_cast<uint64_t>(INT_MAX) ? 0 : static_cast<int>(l);
}

double ratePlanCutoff(uint32_t in, uint32_t out, bool writing) {
    double fc = static_cast<double>(std::min(in, out)) * 0.9 * 0.5;
    // Lowering between multiples of 44100 to a PCM rate keeps 90 % of the
    // output band; everything else is capped by the tables below.
    if (isMultipleOf44100(in) && isMultipleOf44100(out) && in >= out && out < 2822400u) return fc;
    if (writing) {
        if (fc >= 5000000.0)
            fc = 352800.0;
        else if (fc >= 2500000.0)
            fc = 176400.0;
        else if (fc >= 1200000.0)
            fc = 88200.0;
        if (in == 2822400u && out >= 176400u && out < 1411200u) fc = 44100.0;
    } else {
        if (fc >= 5000000.0)
            fc = 1411200.0;
        else if (fc >= 2500000.0)
            fc = 705600.0;
        else if (fc >= 1200000.0)
            fc = 352800.0;
        if (in == 2822400u && out >= 352800u && out < 1411200u) fc = 88200.0;
    }
    return fc;
}

int selectFirOrder(uint32_t mode, uint32_t fc, uint32_t commonRate, uint32_t, uint32_t up, uint32_t srcType,
                   uint32_t outType, int) {
    if (mode == kRatePlanModeFft) return kRatePlanFftTaps;
    if (mode == kRatePlanModeLongFir) return kRatePlanMaxTaps;
    const bool dsdToDsd = isDsdFileType(srcType) && isDsdFileType(outType);
    const uint64_t k = dsdToDsd ? 5 : 20;
    const unsigned s = dsdToDsd ? 1 : 3;
    const uint64_t e = std::max(k * up, (static_cast<uint64_t>(commonRate) << s) / std::max(fc, 1u));
    if (e < 32) return 31;
    for (int length = 63; length <= 8191; length = 2 * length + 1) {
        if (static_cast<uint64_t>(length) + 1 > e) return length;
    }
    return e < 16384 ? 16383 : kRatePlanMaxTaps;
}

uint32_t selectSampleUnit(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t span = b - a;
    const uint32_t unit = c * d;
    return unit == 0 ? span : span - span % unit;
}

int ratePlanMake(const tRatePlanJob &job, tRatePlan *plan) {
    if (job.inRate == 0 || job.outRate == 0) return kRatePlanZeroRate;
    if (job.srcBits == 0 || job.srcChannels == 0 || job.outBits == 0 || job.outChannels == 0) return kRatePlanBadFormat;

    tRatePlan p;
    const bool srcDsd = isDsdFileType(job.srcType);
    const bool dsdToDsd = srcDsd && isDsdFileType(job.outType);

    // The common rate in 64 bits; the filter-length rule scales it by 2^s,
    // and that product must fit the 32-bit plan.
    const uint64_t g = gcd64(job.inRate, job.outRate);
    const uint64_t common = job.inRate / g * static_cast<uint64_t>(job.outRate);
    if ((common << (dsdToDsd ? 1 : 3)) > UINT32_MAX) return kRatePlanRateOutOfRange;
    p.commonRate = static_cast<uint32_t>(common);
    p.up = p.commonRate / job.inRate;
    p.down = p.commonRate / job.outRate;
    p.equalRates = p.up == 1 && p.down == 1;

    p.cutoff = ratePlanCutoff(job.inRate, job.outRate, job.writing);
    if (p.equalRates && !job.multiTrack)
        p.taps = 1;
    else
        p.taps = selectFirOrder(job.mode, static_cast<uint32_t>(p.cutoff), p.commonRate, 0, p.up, job.srcType,
                                job.outType, 0);
    p.gain = isDsdFileType(job.outType) ? kRatePlanDsdGain : 1.0;

    if (p.equalRates) {
        if (!job.multiTrack) p.taps = 0;
        p.delay = isDsdFileType(job.outType) ? 0 : p.taps;
    } else {
        p.delay = p.taps / static_cast<int32_t>(p.up) + (dsdToDsd ? kRatePlanDsdDelay : 0);
    }

    // One DSF block holds 32768 frames of each channel: its reads start at
    // a block boundary, so the frames are counted from there.
    p.totalFrames = job.totalFrames;
    if (job.srcType == kAudioFileDSF) {
        p.countBase = job.start - job.start % kRatePlanDsfBlockFrames;
        p.totalFrames -= job.start - p.countBase;
    } else {
        p.countBase = job.start;
    }

    // A DSD source changing rate keeps its whole duration: its filter reads
    // past the end of the range (into the file, or on the silence pattern
    // beyond the file's last frame), so every source frame gives its share
    // of output frames.
    const bool dsdRateChange = srcDsd && !p.equalRates;
    if (dsdRateChange) {
        const int64_t last = std::min(job.end, job.totalFrames);
        p.sourceFrames = last - job.start;
        p.readEnd = p.countBase + p.sourceFrames;
    } else if (job.end + p.delay < job.totalFrames) {
        p.sourceFrames = job.end - job.start;
        p.readEnd = job.end + p.delay;
    } else {
        // The filter's reach runs into the file's end: reading stops there,
        // but the frames converted are still the range's (up to the file's
        // end, both absolute), so that no frame after the out point gets
        // into the output. The DSF total less its start's offset in its
        // block (p.totalFrames) is where reading ends counted from the count
        // base; taking the start off it again would lose that offset, or
        // the whole range, at the end of a DSF.
        p.sourceFrames = std::min(job.end, job.totalFrames) - job.start;
        p.readEnd = p.totalFrames;
    }
    p.plannedOutFrames = p.sourceFrames * static_cast<int64_t>(p.up) / static_cast<int64_t>(p.down);

    if (p.plannedOutFrames > 0) {
        const unsigned __int128 bytes = static_cast<unsigned __int128>(job.outChannels) * job.outBits *
                                        static_cast<uint64_t>(p.plannedOutFrames) / 8;
        p.largeFile = bytes >= kRatePlanLargeFileBytes;
    }

    uint64_t readBytes;
    if (job.mode == kRatePlanModeFft) {
        const uint64_t unit = static_cast<uint64_t>(p.up) * p.down;
        uint64_t x = kRatePlanFftSize - static_cast<uint64_t>(p.taps);
        x -= x % unit;
        p.outBlockFrames = static_cast<uint32_t>(x / p.down);
        p.inBlockFrames = static_cast<uint32_t>(x / p.up);
        readBytes = static_cast<uint64_t>(kRatePlanFftSize) * job.srcBits * job.srcChannels / 8;
        p.fftSize = kRatePlanFftSize;
    } else {
        const uint64_t steps = 8 * static_cast<uint64_t>(p.down);
        uint64_t outFrames = steps > kRatePlanBlockBase ? 0 : kRatePlanBlockBase / steps;
        if (job.feedLimit) {
            outFrames = std::min<uint64_t>(outFrames, job.outRate / 80);
        } else if (outFrames * p.down % p.up != 0) {
            // A block must advance by exactly the source frames its outputs
            // span, or every block restarts the filter phase a fraction of
            // a frame early and the output drifts (a 48 kHz-family DSD
            // source to a 44.1 kHz-family rate): whole multiples of up.
            outFrames = std::max<uint64_t>(outFrames - outFrames % p.up, p.up);
        }
        p.outBlockFrames = static_cast<uint32_t>(outFrames);
        p.inBlockFrames = static_cast<uint32_t>(outFrames * p.down / p.up);
        readBytes = (static_cast<uint64_t>(p.inBlockFrames) + static_cast<uint64_t>(p.taps)) * job.srcBits *
                    job.srcChannels / 8;
        p.fftSize = 0;
    }
    if (p.outBlockFrames == 0 || p.inBlockFrames == 0) return kRatePlanEmptyBlock;
    // The block loop sizes its read buffer and reads with int counts.
    if (readBytes > static_cast<uint64_t>(INT32_MAX) - 0x10000) return kRatePlanBadFormat;
    p.readBytes = static_cast<uint32_t>(readBytes);

    if (!srcDsd) {
        p.preRoll = (p.taps / 2) / static_cast<int32_t>(p.up);
        p.readEnd += p.preRoll;
        p.filterDelay = 0;
    } else if (p.equalRates && !job.multiTrack) {
        p.filterDelay = 0;
    } else {
        if (!dsdRateChange) p.readEnd -= p.taps / static_cast<int32_t>(p.up);
        p.filterDelay = p.taps;
    }
    p.inputFrames = p.readEnd - p.countBase;

    *plan = p;
    return kRatePlanOk;
}
