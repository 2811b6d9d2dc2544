#include "audiofile/dsdlayout.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<uint8_t, 256> makeBitReverseTable() {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        int r = 0;
        for (int k = 0; k < 8; ++k)
            if (b & (1 << k)) r |= 0x80 >> k;
        t[b] = static_cast<uint8_t>(r);
    }
    return t;
}

// Entry b is b with its bit order reversed; it maps DSF (earliest sample in
// the LSB) to work bytes (earliest in the MSB) and back.
constexpr std::array<uint8_t, 256> sBitReverseTable256 = makeBitReverseTable();

// Samples per channel waiting in sDsfTempBuffer, 0..32767.
// Per thread: a job writes its stream wholly on its caller's thread, so an
// export beside a playback feed keeps its own pending block.
thread_local uint32_t sWriteDsfOffset = 0;
// The unfinished block of each channel, in work bit order.
thread_local uint8_t sDsfTempBuffer[2][kDsfBlockBytes];

bool badChannels(int count, uint8_t channelByte) {
    if (count == 1 || count == 2) return false;
    std::printf("ch is not 1 or 2  %d\n", channelByte);
    return true;
}

// Eight bytes at a time: swapping bit pairs, then pairs of pairs, then
// nibbles reverses every byte of a word. Plain word arithmetic that the
// compiler turns into vector code; a table look-up per byte is several times
// slower, and DSF reads run through here for every byte of audio.
void reverseBytes(uint8_t *__restrict dst, const uint8_t *__restrict src, size_t n) {
    size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        uint64_t x;
        std::memcpy(&x, src + k, 8);
        x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
        x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
        x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
        std::memcpy(dst + k, &x, 8);
    }
    for (; k < n; ++k) dst[k] = sBitReverseTable256[src[k]];
}

// Puts n new bytes into the pending block of channel c at byte pos. The
// first of them only replaces the bits that the pending byte does not yet
// hold (all of them when the offset is a whole number of bytes); counts that
// are not multiples of 8 are not carried bit-exactly.
void putPending(int c, uint32_t pos, const uint8_t *src, uint32_t n, uint32_t offsetBits) {
    if (n == 0) return;
    if (pos + n > kDsfBlockBytes) n = kDsfBlockBytes - pos;  // cannot happen with sane counts
    const uint8_t mask = static_cast<uint8_t>(0xFFu >> (offsetBits & 7));
    uint8_t *p = sDsfTempBuffer[c] + pos;
    p[0] = static_cast<uint8_t>((p[0] & ~mask) | (src[0] & mask));
    std::memcpy(p + 1, src + 1, n - 1);
}

// Writes one block pair from the pending blocks: `used` bytes per channel
// reversed, the rest 0x96.
void writePendingPair(uint8_t *out, uint32_t used) {
    for (int c = 0; c < 2; ++c) {
        uint8_t *o = out + c * kDsfBlockBytes;
        reverseBytes(o, sDsfTempBuffer[c], used);
        std::memset(o + used, kDsdIdleByte, kDsfBlockBytes - used);
    }
}

int dsd2dsfStereo(uint8_t *out, const uint8_t *const in[2], uint32_t n, bool flush, uint32_t *written,
                  uint32_t *valid) {
    const uint32_t offset = sWriteDsfOffset;
    const uint64_t total = static_cast<uint64_t>(offset) + n;
    const uint32_t newBytes = static_cast<uint32_t>((static_cast<uint64_t>(n) + 7) / 8);
    const uint32_t pos = offset / 8;

    if (total < kDsfBlockSamples) {
        for (int c = 0; c < 2; ++c) putPending(c, pos, in[c], newBytes, offset);
        if (!flush) {
            *written = 0;
            *valid = 0;
            sWriteDsfOffset = static_cast<uint32_t>(total);
            return static_cast<int>(sWriteDsfOffset);
        }
        if (total == 0) {
            *written = 0;
            *valid = 0;
            return 0;
        }
        writePendingPair(out, pos + newBytes);
        *written = kDsfBlockSamples;
        *valid = static_cast<uint32_t>(total);
        sWriteDsfOffset = 0;
        return 0;
    }

    // The first block pair: pending bytes plus the new bytes that fit.
    const uint32_t first = kDsfBlockBytes - pos;
    for (int c = 0; c < 2; ++c) putPending(c, pos, in[c], first, offset);
    writePendingPair(out, kDsfBlockBytes);

    const uint64_t rest = total - kDsfBlockSamples;
    const uint64_t fullPairs = rest / kDsfBlockSamples;
    const uint32_t remSamples = static_cast<uint32_t>(rest % kDsfBlockSamples);
    uint64_t src = first;
    uint8_t *o = out + 2 * kDsfBlockBytes;
    for (uint64_t k = 0; k < fullPairs; ++k) {
        reverseBytes(o, in[0] + src, kDsfBlockBytes);
        reverseBytes(o + kDsfBlockBytes, in[1] + src, kDsfBlockBytes);
        src += kDsfBlockBytes;
        o += 2 * kDsfBlockBytes;
    }
    // The tail waits unreversed in the pending block for the next call.
    uint32_t remBytes = (remSamples + 7) / 8;
    const uint64_t left = newBytes > src ? newBytes - src : 0;  // only short for odd counts
    if (remBytes > left) remBytes = static_cast<uint32_t>(left);
    for (int c = 0; c < 2; ++c) std::memcpy(sDsfTempBuffer[c], in[c] + src, remBytes);

    uint64_t outSamples = (fullPairs + 1) * kDsfBlockSamples;
    uint64_t validSamples = outSamples;
    sWriteDsfOffset = remSamples;
    // A flush that also brings a whole block or more must still write the
    // tail; leaving it pending would drop the end of the stream.
    if (flush && remSamples > 0) {
        writePendingPair(o, remBytes);
        outSamples += kDsfBlockSamples;
        validSamples += remSamples;
        sWriteDsfOffset = 0;
    }
    *written = static_cast<uint32_t>(outSamples);
    *valid = static_cast<uint32_t>(validSamples);
    return static_cast<int>(sWriteDsfOffset);
}

}  // namespace

int dsf2dsd(uint8_t *out1, uint8_t *out2, const uint8_t *src, uint32_t samples, uint8_t channels, uint32_t startByte) {
    if (badChannels(channels, channels)) return kDsdLayoutBadChannels;
    if (channels == 1) {
        const size_t n = samples / 8;
        reverseBytes(out1, src, n);
        std::memset(out2, kDsdIdleByte, n);
        return 0;
    }
    if (startByte >= kDsfBlockBytes) return kDsdLayoutBadStart;
    if (samples == 0) return 0;
    uint64_t remaining = samples;
    uint32_t run = kDsfBlockBytes - startByte;
    size_t at = 0;
    const uint8_t *s = src;
    while (remaining > 0) {
        if (remaining < 8ull * run) run = static_cast<uint32_t>((remaining + 7) / 8);
        reverseBytes(out1 + at, s, run);
        reverseBytes(out2 + at, s + kDsfBlockBytes, run);
        at += run;
        remaining -= (8ull * run < remaining) ? 8ull * run : remaining;
        s += run + kDsfBlockBytes;
        run = kDsfBlockBytes;
    }
    return 0;
}

int dsdiff2dsd(uint8_t *out1, uint8_t *out2, const uint8_t *src, uint32_t samples, uint8_t channels) {
    if (badChannels(channels, channels)) return kDsdLayoutBadChannels;
    const size_t n = samples / 8;
    if (channels == 1) {
        std::memcpy(out1, src, n);
        std::memset(out2, kDsdIdleByte, n);
        return 0;
    }
    for (size_t k = 0; k < n; ++k) {
        out1[k] = src[2 * k];
        out2[k] = src[2 * k + 1];
    }
    return 0;
}

int dsd2dsf(uint8_t *out, const uint8_t *in1, const uint8_t *in2, uint32_t samples, uint8_t channelByte, uint8_t flush,
            uint32_t *written, uint32_t *valid) {
    const int channels = channelByte & 0x7F;
    if (badChannels(channels, channelByte)) return kDsdLayoutBadChannels;
    if (channels == 2) {
        const uint8_t *in[2] = {in1, in2};
        return dsd2dsfStereo(out, in, samples, flush != 0, written, valid);
    }
    const uint8_t *src = (channelByte & kDsdRightStreamFlag) ? in2 : in1;
    reverseBytes(out, src, samples / 8);
    *written = samples & ~7u;
    *valid = samples & ~7u;
    sWriteDsfOffset = static_cast<uint32_t>((static_cast<uint64_t>(sWriteDsfOffset) + samples) % kDsfBlockSamples);
    return static_cast<int>(sWriteDsfOffset);
}

int dsd2dsdiff(uint8_t *out, const uint8_t *in1, const uint8_t *in2, uint32_t samples, uint8_t channelByte) {
    const int channels = channelByte & 0x7F;
    if (badChannels(channels, channelByte)) return kDsdLayoutBadChannels;
    const uint32_t offset = sWriteDsfOffset;
    const size_t n = samples / 8;
    if (channels == 1) {
        std::memcpy(out, (channelByte & kDsdRightStreamFlag) ? in2 : in1, n);
    } else if (samples > 0) {
        const uint8_t *in[2] = {in1, in2};
        // The first byte goes through the pending byte shared with the DSF
        // packer; whole-byte offsets make that a plain copy.
        for (int c = 0; c < 2; ++c) putPending(c, 0, in[c], 1, offset);
        if (n > 0) {
            out[0] = sDsfTempBuffer[0][0];
            out[1] = sDsfTempBuffer[1][0];
        }
        for (size_t k = 1; k < n; ++k) {
            out[2 * k] = in1[k];
            out[2 * k + 1] = in2[k];
        }
    }
    sWriteDsfOffset = static_cast<uint32_t>((static_cast<uint64_t>(offset) + samples) % 8);
    return static_cast<int>(sWriteDsfOffset);
}

int dsd2dsdiff(uint8_t *out, const uint8_t *in1, const uint8_t *in2, uint32_t samples, uint8_t channelByte,
               FILE * /*outFile*/) {
    return dsd2dsdiff(out, in1, in2, samples, channelByte);
}

void clearDsfOffset() { sWriteDsfOffset = 0; }
