// Helpers of the conversion-engine tests: source files written byte by byte,
// readers of the written files' audio, and one job run with recording
// callbacks.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "dsp/dspvolume.h"
#include "dsp/peqrecord.h"
#include "morphex/morphexjob.h"
#include "morphex/morphexrecords.h"
#include "support/bytefields.h"
#include "support/testutil.h"
#include "support/wavwriter.h"

namespace mxtest {

using sxtest::appendId;
using sxtest::appendLE16;
using sxtest::appendLE32;
inline uint32_t get32le(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
inline uint64_t get64le(const uint8_t *p) { return get32le(p) | (uint64_t(get32le(p + 4)) << 32); }
inline uint64_t get64be(const uint8_t *p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

// A plain RIFF/WAVE file (support/wavwriter.h) of samples that
// sample(frame, channel) gives, full scale 1.0: integer PCM, or floats with
// the float tag.
inline std::vector<uint8_t> makeWav(uint32_t rate, uint16_t bits, uint16_t channels, uint16_t tag, uint32_t frames,
                                    const std::function<double(uint32_t, int)> &sample) {
    std::vector<uint8_t> d;
    for (uint32_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const double x = sample(f, c);
            if (bits == 32 && tag == sxtest::kWavTagFloat) {
                sxtest::appendFloat(d, float(x));
            } else {
                const double scale = std::ldexp(1.0, bits - 1) - 1.0;
                double q = std::nearbyint(x * scale);
                if (q > scale) q = scale;
                if (q < -scale - 1) q = -scale - 1;
                const int64_t iv = int64_t(q);
                for (int b = 0; b < bits / 8; ++b) d.push_back(uint8_t(uint64_t(iv) >> (8 * b)));
            }
        }
    }
    return sxtest::wavFile(rate, bits, channels, d, tag);
}

inline std::function<double(uint32_t, int)> sine(double freq, double rate, double amp) {
    return [=](uint32_t f, int c) { return amp * std::sin(2 * M_PI * freq * f / rate + (c ? 0.5 : 0.0)); };
}

// A WAV of `frames` frames of a 997 Hz sine at half scale (44.1 kHz stereo
// unless told).
inline std::string wavSource(const sxtest::TempDir &dir, const std::string &name, uint16_t bits, uint16_t tag,
                             uint32_t frames, uint32_t rate = 44100, uint16_t channels = 2) {
    const std::string path = dir.file(name);
    sxtest::writeAll(path, makeWav(rate, bits, channels, tag, frames, sine(997.0, rate, 0.5)));
    return path;
}

// What f prints on standard output (the engine's result lines), kept out
// of the test's log.
inline std::string capture(const std::function<void()> &f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// The first chunk `id` of a RIFF file: its payload offset and size (0 when
// missing).
inline bool riffChunk(const std::vector<uint8_t> &f, const char *id, size_t *off, uint32_t *size) {
    size_t p = 12;
    while (p + 8 <= f.size()) {
        const uint32_t s = get32le(&f[p + 4]);
        if (std::memcmp(&f[p], id, 4) == 0) {
            *off = p + 8;
            *size = s;
            return true;
        }
        p += 8 + s + (s & 1);
    }
    return false;
}

struct DsdAudio {
    uint32_t rate = 0, channels = 0;
    uint64_t frames = 0;  // per channel, as the header states
    uint64_t dataBytes = 0;
    std::vector<uint8_t> ch[2];  // work order: earliest sample in the MSB
};

inline uint8_t reverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i)) r |= uint8_t(0x80 >> i);
    return r;
}

// DSF: every byte of the data chunk, de-blocked per channel.
inline bool readDsf(const std::string &path, DsdAudio *a) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    if (f.size() < 92 || std::memcmp(&f[0], "DSD ", 4) != 0 || std::memcmp(&f[28], "fmt ", 4) != 0) return false;
    a->channels = get32le(&f[52]);
    a->rate = get32le(&f[56]);
    a->frames = get64le(&f[64]);
    if (std::memcmp(&f[80], "data", 4) != 0) return false;
    a->dataBytes = get64le(&f[84]) - 12;
    if (92 + a->dataBytes > f.size() || a->channels < 1 || a->channels > 2) return false;
    for (uint64_t p = 0; p + 4096 * a->channels <= a->dataBytes; p += 4096 * a->channels)
        for (uint32_t c = 0; c < a->channels; ++c)
            for (int i = 0; i < 4096; ++i) a->ch[c].push_back(reverseBits(f[92 + p + 4096 * c + i]));
    return true;
}

// DSDIFF: the "DSD " chunk's bytes, de-interleaved; channels and rate from
// the sound properties.
inline bool readDff(const std::string &path, DsdAudio *a) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    if (f.size() < 16 || std::memcmp(&f[0], "FRM8", 4) != 0) return false;
    size_t p = 16;
    bool found = false;
    while (p + 12 <= f.size()) {
        const uint64_t s = get64be(&f[p + 4]);
        if (std::memcmp(&f[p], "PROP", 4) == 0) {
            size_t q = p + 16;
            while (q + 12 <= p + 12 + s) {
                const uint64_t t = get64be(&f[q + 4]);
                if (std::memcmp(&f[q], "FS  ", 4) == 0) a->rate = uint32_t(get64be(&f[q + 12]) >> 32);
                if (std::memcmp(&f[q], "CHNL", 4) == 0) a->channels = (f[q + 12] << 8) | f[q + 13];
                q += 12 + t + (t & 1);
            }
        } else if (std::memcmp(&f[p], "DSD ", 4) == 0) {
            if (a->channels < 1 || a->channels > 2 || p + 12 + s > f.size()) return false;
            a->dataBytes = s;
            a->frames = s / a->channels * 8;
            for (uint64_t i = 0; i + a->channels <= s; i += a->channels)
                for (uint32_t c = 0; c < a->channels; ++c) a->ch[c].push_back(f[p + 12 + i + c]);
            found = true;
        }
        p += 12 + s + (s & 1);
    }
    return found;
}

// What the callbacks of one job saw.
struct Seen {
    std::vector<int> slots;
    std::vector<uint64_t> produced;
    std::vector<int> frames;
    int blockFrames = 0;  // frames of a full block, as the callback is told
    int statusCalls = 0;
    int errorCalls = 0;
    int cancelAt = -1;     // block index at which the block callback returns -1
    int releaseAfter = 1;  // status calls until it returns non-zero
    bool endBitAtStatus = false;
    int progressAtStatus = -1;
    int filterDelay = -1;
    int outRate = 0;
    // With hashBlocks set, every block the callback is handed goes into
    // blockHash (FNV-1a): the slot's stereo doubles and, with dsdBytes set,
    // both channels' DSD bytes of the slot.
    bool hashBlocks = false;
    bool dsdBytes = false;
    // With keepPcm set, the stereo doubles of every block, in order.
    bool keepPcm = false;
    std::vector<double> pcm;
    uint64_t blockHash = 14695981039346656037ull;
};

// FNV-1a, 64 bits, continuing from h.
inline uint64_t fnv1a(const void *data, size_t n, uint64_t h = 14695981039346656037ull) {
    const uint8_t *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

struct Options {
    std::string src, dst;
    uint32_t rate = 44100;
    uint32_t type = 0;  // 0 WAV, 2 DSF, 3 DSDIFF
    uint32_t bits = 24;
    uint32_t channels = 2;
    int64_t start = 0;
    int64_t end = -1;  // -1: the whole file
    uint32_t command = kMorphexComWriteFile;
    int ring = 64;
    int sourceCount = 1;
    uint8_t envelopeActive = 0;
    uint8_t rightPass = 0;
    uint32_t feedLimit = 0;
    uint32_t mode = 0;    // rate-conversion method (3: frequency domain)
    uint32_t option = 0;  // 1: unfiltered sample-and-hold rate change
    double level = 1.0;   // flat envelope level
    tID3tagInfo *tag = nullptr;
    const tDspVolItem *envelope = nullptr;  // replaces the flat level when set
    bool eqOn = false;                      // the equaliser's on switch: its bands stay off, its total gain is -6 dB
    uint8_t multiTrack = 0;
    uint32_t dither = 0;  // PCM output: 0 none, 1 dither, 2 noise shaping
};

// The job's callbacks report into the Seen of the thread running the job.
inline thread_local Seen *tSeen = nullptr;
inline thread_local tMorphexCom *tCom = nullptr;
inline thread_local int *tProgress = nullptr;

inline int onBlock(uint64_t produced, int frames, int blockFrames, int slot, int, void *pcm, unsigned char **dsd,
                   int delay, int, int outRate, unsigned int *) {
    Seen &s = *tSeen;
    s.blockFrames = blockFrames;
    if (s.hashBlocks) {
        const double *out = static_cast<double **>(pcm)[slot];
        s.blockHash = fnv1a(out, size_t(frames) * 16, s.blockHash);
        if (s.dsdBytes) {
            s.blockHash = fnv1a(dsd[2 * slot], size_t(frames + 7) / 8, s.blockHash);
            s.blockHash = fnv1a(dsd[2 * slot + 1], size_t(frames + 7) / 8, s.blockHash);
        }
    }
    if (s.keepPcm) {
        const double *out = static_cast<double **>(pcm)[slot];
        s.pcm.insert(s.pcm.end(), out, out + 2 * size_t(frames));
    }
    s.slots.push_back(slot);
    s.produced.push_back(produced);
    s.frames.push_back(frames);
    s.filterDelay = delay;
    s.outRate = outRate;
    return int(s.slots.size()) - 1 == s.cancelAt ? -1 : 0;
}
inline int onStatus(int) {
    Seen &s = *tSeen;
    ++s.statusCalls;
    s.endBitAtStatus = (tCom->command & kMorphexComEndBit) != 0;
    s.progressAtStatus = *tProgress;
    return s.statusCalls >= s.releaseAfter ? 1 : 0;
}
inline int onError(int) {
    ++tSeen->errorCalls;
    return 0;
}
inline int onWorking(long long *) { return 0; }

// Runs one job as the export or playback path would fill its records.
inline int runJob(const Options &o, Seen *seen, tMorphexCom *comOut = nullptr, int *progressOut = nullptr) {
    static Seen scratch;
    tSeen = seen ? seen : &scratch;
    int progress = 0;
    tMorphexSendParams send;
    send.progress = &progress;
    send.rateIndex = uint32_t(getFreqIndexFromFsValue(int(o.rate)));
    send.fileType = o.type;
    send.bits = o.bits;
    send.outChannels = o.channels;
    send.mode = o.mode;
    send.option = o.option;
    send.command = kMorphexCmdExport;
    tPEQ eq;
    bool eqOn = o.eqOn;
    eq.allOn = &eqOn;
    if (eqOn) eq.totalGainLin = 0.5;
    tMorphexCom com;
    com.command = o.command;
    com.startSample = o.start;
    com.endSample = o.end < 0 ? INT64_MAX / 4 : o.end;
    com.peq = &eq;
    com.ringBlocks = o.ring;
    com.tag = o.tag;
    com.envelopeActive = o.envelopeActive;
    com.rightPass = o.rightPass;
    com.pureDsdFeed = o.feedLimit;
    com.multiTrack = o.multiTrack;
    com.dither = o.dither;
    tCom = &com;
    tProgress = &progress;
    tDspVolItem env[2];
    env[0].start = 0;
    env[0].level = o.level;
    env[1].start = kDspVolEnd;
    env[1].level = o.level;
    double panVol[16] = {1.0, 0.0, 0.0, 1.0};
    std::vector<int16_t> src = sxtest::u16(o.src), dst = sxtest::u16(o.dst);
    const wchar16 *list[1] = {src.data()};
    const int r = morphexSub(dst.data(), list, nullptr, &send, panVol, &o.sourceCount, &com, onBlock, onStatus,
                             o.envelope ? o.envelope : env, onError, onWorking);
    if (comOut) *comOut = com;
    if (progressOut) *progressOut = progress;
    return r;
}

}  // namespace mxtest
