// Mutation driver of the conversion library and of the program's file jobs:
// valid WAV, DSF, DSDIFF and FLAC files (the seed corpus) are mutated byte
// by byte and fed, under the address and undefined-behaviour sanitizers of
// the build, to
//   - the file query and a conversion job: every output type, a range whose
//     start and end are drawn from the file's length, the rate-conversion
//     methods and the unfiltered hold form;
//   - the channel split (WAV, DSF and DSDIFF sources);
//   - the FLAC import (FLAC sources).
// A run fails on
//   - a crash or a sanitizer report (the process ends there),
//   - a hang: one input that takes longer than --hang seconds,
//   - a runaway output: more bytes than the source could justify,
//   - a job that reports success with no audio in its output, or a file job
//     that fails and leaves its output behind,
//   - for an input left as it was (one iteration in eight, and every seed
//     before the mutations start): a range export whose length is not the
//     range's, a split whose length is not the source's, an import that
//     does not give the stream's frames.
// The input of the iteration under way is kept as last-input.<ext> in the
// failure folder, and every failing input is saved there; the failure's
// line gives the options that replay it with --input. The seed checks count
// against --seconds.
//
//   morphex-mutate --write-seeds DIR
//   morphex-mutate [--corpus DIR] [--seconds N] [--seed S] [--hang N] [--save DIR]
//   morphex-mutate --input FILE [--exact] [--output N --start S --end E --mode M --hold | --split C --pair]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../tests/morphex/audiogen.h"
#include "audiofile/audiohelpers.h"
#include "base/wstring.h"
#include "dsp/dspvolume.h"
#include "morphex/fileinfo.h"
#include "morphex/morphexjob.h"
#include "morphex/morphexrecords.h"

#ifdef SX_MUTATE_FILEJOBS
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <QString>

#include "audiofile/jobs/flac2wav.h"
#include "audiofile/jobs/poly2monoste.h"
#endif

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Seed {
    std::string name;  // with its extension, which selects the format
    Bytes bytes;
};

// An ID3v2.3 tag with a UTF-16 title and a Latin-1 artist.
Bytes id3Tag() {
    Bytes frames;
    auto frame = [&](const char *id, const Bytes &data) {
        frames.insert(frames.end(), id, id + 4);
        sxgen::be(frames, data.size(), 4);
        frames.push_back(0);
        frames.push_back(0);
        frames.insert(frames.end(), data.begin(), data.end());
    };
    Bytes title = {1, 0xFF, 0xFE};
    for (char16_t c : std::u16string(u"Seed \u6D77")) {
        title.push_back(static_cast<uint8_t>(c));
        title.push_back(static_cast<uint8_t>(c >> 8));
    }
    frame("TIT2", title);
    frame("TPE1", Bytes{0, 'B', 'a', 'n', 'd'});
    Bytes t = {'I', 'D', '3', 3, 0, 0};
    const uint32_t n = static_cast<uint32_t>(frames.size());
    for (int i = 3; i >= 0; --i) t.push_back(static_cast<uint8_t>((n >> (7 * i)) & 0x7F));
    t.insert(t.end(), frames.begin(), frames.end());
    return t;
}

// A DSF file with the tag behind its audio, the metadata pointer set.
Bytes dsfWithTag(uint32_t rate, const std::vector<Bytes> &chans) {
    Bytes f = sxgen::dsf(rate, chans);
    const uint64_t at = f.size();
    const Bytes t = id3Tag();
    f.insert(f.end(), t.begin(), t.end());
    for (int i = 0; i < 8; ++i) f[12 + i] = static_cast<uint8_t>(f.size() >> (8 * i));
    for (int i = 0; i < 8; ++i) f[20 + i] = static_cast<uint8_t>(at >> (8 * i));
    return f;
}

// A DSDIFF file with a title chunk behind its audio.
Bytes dsdiffWithTitle(uint32_t rate, const std::vector<Bytes> &chans) {
    Bytes f = sxgen::dsdiff(rate, chans);
    Bytes diin;
    sxgen::id(diin, "DIIN");
    sxgen::be(diin, 12 + 4 + 4, 8);
    sxgen::id(diin, "DITI");
    sxgen::be(diin, 8, 8);
    sxgen::be(diin, 4, 4);
    sxgen::id(diin, "Seed");
    f.insert(f.end(), diin.begin(), diin.end());
    const uint64_t body = f.size() - 12;
    for (int i = 0; i < 8; ++i) f[4 + i] = static_cast<uint8_t>(body >> (8 * (7 - i)));
    return f;
}

// A WAV file with a cue chunk holding two points behind its audio.
Bytes wavWithCue(uint32_t rate, int bits, int channels, uint32_t frames) {
    std::vector<int32_t> s(static_cast<size_t>(frames) * channels);
    const int32_t full = (1 << (bits - 2));
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int32_t>((i * 7919u) % uint32_t(2 * full)) - full;
    Bytes f = sxgen::wav(rate, bits, channels, s);
    Bytes cue;
    sxgen::id(cue, "cue ");
    sxgen::le(cue, 4 + 2 * 24, 4);
    sxgen::le(cue, 2, 4);
    for (uint32_t k = 0; k < 2; ++k) {
        sxgen::le(cue, k + 1, 4);
        sxgen::le(cue, k * frames / 2, 4);
        sxgen::id(cue, "data");
        sxgen::le(cue, 0, 4);
        sxgen::le(cue, 0, 4);
        sxgen::le(cue, k * frames / 2, 4);
    }
    f.insert(f.end(), cue.begin(), cue.end());
    const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
    for (int i = 0; i < 4; ++i) f[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    return f;
}

// A stereo 16-bit WAV of a 1 kHz sine at half scale, 44.1 kHz.
Bytes sineWav(uint32_t frames) {
    std::vector<int32_t> s(static_cast<size_t>(frames) * 2);
    // The sine by its recurrence y[n] = 2 cos(w) y[n-1] - y[n-2]: no
    // library function, so the seed is the same everywhere.
    const double c = 1.97973494555988;        // 2 cos(2 pi 1000 / 44100)
    double y1 = 0.0, y2 = -0.14199431795763;  // -sin(2 pi 1000 / 44100)
    for (uint32_t f = 0; f < frames; ++f) {
        const double y = c * y1 - y2;
        y2 = y1;
        y1 = y;
        s[2 * f] = s[2 * f + 1] = static_cast<int32_t>(y * 16383.0);
    }
    return sxgen::wav(44100, 16, 2, s);
}

#ifdef SX_MUTATE_FILEJOBS
// A FLAC stream of 16-bit stereo samples in blocks of 1024 frames, with a
// PADDING block last. stateLength: STREAMINFO states the frame count;
// without it the total is 0, as flac writes it to a pipe.
Bytes flacStream(const std::vector<int32_t> &interleaved, bool stateLength) {
    Bytes out;
    FLAC__StreamEncoder *e = FLAC__stream_encoder_new();
    if (!e) return out;
    const uint32_t frames = static_cast<uint32_t>(interleaved.size() / 2);
    FLAC__stream_encoder_set_channels(e, 2);
    FLAC__stream_encoder_set_bits_per_sample(e, 16);
    FLAC__stream_encoder_set_sample_rate(e, 44100);
    FLAC__stream_encoder_set_blocksize(e, 1024);
    if (stateLength) FLAC__stream_encoder_set_total_samples_estimate(e, frames);
    FLAC__StreamMetadata *pad = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
    if (pad) {
        pad->length = 256;
        FLAC__stream_encoder_set_metadata(e, &pad, 1);
    }
    auto write = [](const FLAC__StreamEncoder *, const FLAC__byte buffer[], size_t bytes, uint32_t, uint32_t,
                    void *data) {
        Bytes *o = static_cast<Bytes *>(data);
        o->insert(o->end(), buffer, buffer + bytes);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    };
    if (FLAC__stream_encoder_init_stream(e, write, nullptr, nullptr, nullptr, &out) ==
        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        (void)FLAC__stream_encoder_process_interleaved(e, interleaved.data(), frames);
        (void)FLAC__stream_encoder_finish(e);
    } else {
        out.clear();
    }
    FLAC__stream_encoder_delete(e);
    if (pad) FLAC__metadata_object_delete(pad);
    return out;
}

// The import that reported success with nothing decoded: a stream without
// a stated length whose last metadata block claims 0xFFFFFF bytes and so
// swallows every frame.
Bytes swallowingFlac(Bytes f) {
    size_t p = 4;
    while (p + 4 <= f.size()) {
        const size_t n = (size_t(f[p + 1]) << 16) | (size_t(f[p + 2]) << 8) | f[p + 3];
        if (f[p] & 0x80) {
            f[p + 1] = f[p + 2] = f[p + 3] = 0xFF;
            break;
        }
        p += 4 + n;
    }
    return f;
}
#endif

// The seeds: one of each format the entry points take, and the inputs of
// faults found before (the 40,000-frame DSD64 file whose ranges lost frames,
// the 1 kHz sine at 44.1 kHz that the hold form read past, the FLAC stream
// whose import reported success without audio).
std::vector<Seed> makeSeeds() {
    std::vector<Seed> seeds;
    seeds.push_back({"pcm16-44k1-stereo.wav", wavWithCue(44100, 16, 2, 3000)});
    seeds.push_back({"pcm24-96k-mono.wav", wavWithCue(96000, 24, 1, 2000)});
    seeds.push_back(
        {"dsd64-stereo.dsf", dsfWithTag(2822400, {sxgen::noiseBytes(5000, 1), sxgen::noiseBytes(5000, 2)})});
    seeds.push_back({"dsd128-mono.dsf", dsfWithTag(5644800, {sxgen::noiseBytes(3000, 3)})});
    seeds.push_back(
        {"dsd64-stereo.dff", dsdiffWithTitle(2822400, {sxgen::noiseBytes(4000, 4), sxgen::noiseBytes(4000, 5)})});
    seeds.push_back({"dsd64x48k-mono.dff", dsdiffWithTitle(3072000, {sxgen::noiseBytes(4000, 6)})});
    seeds.push_back({"sine1k-44k1-stereo.wav", sineWav(4410)});
    seeds.push_back({"pcm16-48k-4ch.wav", wavWithCue(48000, 16, 4, 1500)});
    seeds.push_back({"dsd64-3ch.dsf", sxgen::dsf(2822400, {sxgen::noiseBytes(1500, 7), sxgen::noiseBytes(1500, 8),
                                                           sxgen::noiseBytes(1500, 9)})});
#ifdef SX_MUTATE_FILEJOBS
    std::vector<int32_t> pcm(2 * 6000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int32_t>((i * 7919u) % 40000u) - 20000;
    seeds.push_back({"pcm16-44k1-stereo.flac", flacStream(pcm, true)});
    seeds.push_back({"nolength-swallowing.flac", swallowingFlac(flacStream(pcm, false))});
#endif
    return seeds;
}

bool writeFile(const std::string &path, const Bytes &b) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

Bytes readFile(const std::string &path) {
    Bytes b;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

std::vector<wchar16> wide(const std::string &s) {
    std::vector<wchar16> w(s.size() + 1, 0);
    convAscToUni(w.data(), s.c_str());
    return w;
}

// ---------------------------------------------------------------------------
// Mutations. Headers decide everything, so most of them land in the first
// few hundred bytes; the rest anywhere.

const uint64_t kInteresting[] = {0,      1,       2,          7,          8,          0x7F,
                                 0x80,   0xFF,    0x100,      0x1000,     0x7FFF,     0x8000,
                                 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x100000000ull,
                                 44100,  2822400, 64000,      65535,      ~0ull,      0x7FFFFFFFFFFFFFFFull};

void mutate(Bytes &b, std::mt19937_64 &rng) {
    auto pick = [&](uint64_t n) { return n ? rng() % n : 0; };
    const int count = 1 + static_cast<int>(pick(6));
    for (int k = 0; k < count && !b.empty(); ++k) {
        const size_t span = pick(4) != 0 ? std::min<size_t>(b.size(), 512) : b.size();
        const size_t at = pick(span);
        switch (pick(7)) {
        case 0:  // flip a bit
            b[at] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1:  // a random byte
            b[at] = static_cast<uint8_t>(rng());
            break;
        case 2: {  // an interesting value, 2, 4 or 8 bytes, either order
            const uint64_t v = kInteresting[pick(sizeof kInteresting / sizeof kInteresting[0])];
            const int n = 2 << pick(3);
            const bool bigEndian = pick(2) != 0;
            for (int i = 0; i < n && at + i < b.size(); ++i)
                b[at + i] = static_cast<uint8_t>(v >> (8 * (bigEndian ? n - 1 - i : i)));
            break;
        }
        case 3:  // cut the file
            b.resize(at + pick(b.size() - at + 1));
            break;
        case 4: {  // remove a run
            const size_t n = std::min<size_t>(b.size() - at, 1 + pick(64));
            b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
            break;
        }
        case 5: {  // insert a run
            const size_t n = 1 + pick(64);
            b.insert(b.begin() + static_cast<long>(at), n, static_cast<uint8_t>(rng()));
            break;
        }
        default: {  // copy a run from elsewhere in the file
            const size_t from = pick(b.size());
            const size_t n = std::min<size_t>({b.size() - from, b.size() - at, 1 + pick(32)});
            std::memmove(&b[at], &b[from], n);
            break;
        }
        }
    }
}

// ---------------------------------------------------------------------------
// One input

struct Watch {
    std::atomic<int64_t> startedMs{-1};  // driver thread writes, watchdog reads
    std::atomic<uint64_t> bytesBound{0};
    std::atomic<bool> runaway{false};  // the output outgrew its bound
    std::atomic<bool> abort{false};    // raised with runaway: the file jobs poll it
    std::atomic<int> out{0};           // the output being written: an index into gPaths
};
Watch gWatch;
// Every output a job of this run may write, in the work folder; filled
// before the watchdog starts and never changed after.
std::vector<std::string> gPaths;

void makePaths(const std::string &work) {
    for (const char *name :
         {"out.wav", "out.dsf", "out.dff", "out.wsd", "split.wav", "split.dsf", "split.dff", "import.wav"})
        gPaths.push_back(work + "/" + name);
}

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint64_t fileSize(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Watches one job writing `out`, whose size must stay within `bound`.
struct Watching {
    Watching(const std::string &out, uint64_t bound) {
        int k = 0;
        while (k + 1 < static_cast<int>(gPaths.size()) && gPaths[static_cast<size_t>(k)] != out) ++k;
        gWatch.out.store(k, std::memory_order_relaxed);
        gWatch.bytesBound.store(bound, std::memory_order_relaxed);
        gWatch.runaway.store(false, std::memory_order_relaxed);
        gWatch.abort.store(false, std::memory_order_relaxed);
        gWatch.startedMs.store(nowMs(), std::memory_order_release);
    }
    ~Watching() { gWatch.startedMs.store(-1, std::memory_order_release); }
};

bool outgrown(const std::string &out) {
    return gWatch.runaway.load(std::memory_order_relaxed) ||
           fileSize(out) > gWatch.bytesBound.load(std::memory_order_relaxed);
}

std::string runawayText(const std::string &out, uint64_t srcBytes) {
    return "runaway output: " + std::to_string(fileSize(out)) + " bytes from a " + std::to_string(srcBytes) +
           "-byte source";
}

// The block callback stops a conversion whose output outgrows its bound,
// before it fills the disk.
int onBlock(uint64_t, int, int, int, int, void *, unsigned char **, int, int, int, unsigned int *) {
    if (fileSize(gPaths[static_cast<size_t>(gWatch.out.load(std::memory_order_relaxed))]) >
        gWatch.bytesBound.load(std::memory_order_relaxed)) {
        gWatch.runaway.store(true, std::memory_order_relaxed);
        return -1;
    }
    return 0;
}
int onStatus(int) { return 1; }
int onError(int) { return 0; }
int onWorking(long long *) { return 0; }

// What the file query says about a file.
struct Info {
    int result = -1;
    uint32_t rate = 0, bits = 0, channels = 0;
    int64_t frames = 0;  // per channel
};

Info query(const std::string &path) {
    tAudioFileMarkAFile marks[100];
    tAudioFileInfoAFile info;
    info.marks = marks;
    std::vector<wchar16> w = wide(path);
    Info r;
    r.result = getAudioFileInfo(w.data(), &info);
    r.rate = info.sampleRate;
    r.bits = info.bitsPerSample;
    r.channels = info.channels;
    const uint64_t audio = (static_cast<uint64_t>(info.dataBytesHigh) << 32) | info.dataBytesLow;
    const uint64_t frameBits = static_cast<uint64_t>(r.channels) * r.bits;
    r.frames = frameBits ? static_cast<int64_t>(std::min<uint64_t>(audio * 8 / frameBits, uint64_t{1} << 40)) : 0;
    return r;
}

int typeOf(const std::string &ext) {
    if (ext == ".dsf") return 2;
    if (ext == ".dff") return 3;
    if (ext == ".wsd") return 4;
    return 0;
}

std::string extOf(const std::string &name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string(".wav") : name.substr(dot);
}

// ---- Conversion ------------------------------------------------------------

struct Output {
    uint32_t type, rate, bits;
    const char *ext;
};
const Output kOutputs[] = {
    {0, 48000, 24, ".wav"},   {2, 2822400, 1, ".dsf"}, {3, 2822400, 1, ".dff"},  {0, 44100, 16, ".wav"},
    {4, 2822400, 1, ".wsd"},  {0, 88200, 24, ".wav"},  {0, 2822400, 24, ".wav"},  // the DSD rate as PCM
    {3, 11289600, 1, ".dff"},                                                     // DSD256
};
constexpr int kOutputCount = static_cast<int>(sizeof kOutputs / sizeof kOutputs[0]);

struct Conversion {
    int output = 0;
    int64_t start = 0;
    int64_t end = -1;  // -1: to the file's end
    uint32_t mode = 0;
    bool hold = false;
    std::string text() const {
        return "--output " + std::to_string(output) + " --start " + std::to_string(start) + " --end " +
               std::to_string(end) + " --mode " + std::to_string(mode) + (hold ? " --hold" : "");
    }
};

// Frames a range export must hold: end - start (a DSD source's in whole
// bytes, the end at most the file's), at the output rate.
int64_t rangeFrames(const Info &src, const Conversion &c, uint32_t outRate) {
    const bool dsd = src.bits == 1;
    int64_t total = src.frames, start = c.start < 0 ? 0 : c.start, end = c.end < 0 ? total : c.end;
    if (dsd) {
        total -= total % 8;
        start -= start % 8;
        end -= end % 8;
    }
    end = std::min(end, total);
    if (end <= start) return 0;
    return static_cast<int64_t>(static_cast<unsigned __int128>(end - start) * outRate / src.rate);
}

// Converts the input as c says and checks the result; with exact (an
// unmutated input) also the length of the output. An empty string or what
// went wrong.
std::string runConversion(const std::string &input, const std::string &work, const Conversion &c, bool exact) {
    const Output &out = kOutputs[c.output % kOutputCount];
    const std::string dstPath = work + "/out" + out.ext;
    std::remove(dstPath.c_str());
    const Info src = exact ? query(input) : Info{};
    // A PCM source at the lowest rate the system takes (8 kHz, 16-bit mono,
    // 16,000 bytes a second) grows at most by the output's bytes a second
    // over that; headers, marks and tags add at most a few hundred
    // kilobytes.
    const uint64_t srcBytes = fileSize(input);
    const uint64_t outPerSecond = uint64_t{out.rate} * 2 * out.bits / 8;
    const uint64_t bound = srcBytes * std::max<uint64_t>(64, outPerSecond / 16000 + 1) + (1u << 20);

    int progress = 0;
    tMorphexSendParams send;
    send.progress = &progress;
    send.rateIndex = static_cast<uint32_t>(getFreqIndexFromFsValue(static_cast<int>(out.rate)));
    send.fileType = out.type;
    send.bits = out.bits;
    send.outChannels = 2;
    send.mode = c.mode;
    send.option = c.hold ? 1 : 0;
    send.command = kMorphexCmdExport;
    tMorphexCom com;
    com.command = kMorphexComWriteFile;
    com.startSample = c.start;
    com.endSample = c.end < 0 ? INT64_MAX / 4 : c.end;
    com.ringBlocks = 1;
    tDspVolItem env[2];
    env[0].start = 0;
    env[0].level = 1.0;
    env[1].start = kDspVolEnd;
    env[1].level = 1.0;
    double panVol[16] = {1.0, 0.0, 0.0, 1.0};
    std::vector<wchar16> in = wide(input), dst = wide(dstPath);
    const wchar16 *list[1] = {in.data()};
    const int one = 1;
    int r;
    {
        Watching w(dstPath, bound);
        r = morphexSub(dst.data(), list, nullptr, &send, panVol, &one, &com, onBlock, onStatus, env, onError,
                       onWorking);
    }
    if (outgrown(dstPath)) return runawayText(dstPath, srcBytes);
    std::string what;
    Info got;
    if (r == 0) {
        got = query(dstPath);
        if (got.result != 0 || got.frames == 0)
            what = "result 0 with no audio written (query " + std::to_string(got.result) + ")";
    }
    if (what.empty() && exact && src.result == 0 && src.channels >= 1 && src.channels <= 2) {
        const int64_t want = rangeFrames(src, c, out.rate);
        // DSDIFF and WSD store whole bytes of every channel, DSF whole bytes
        // of the frames it counts: a final partial byte may go.
        const int64_t slack = out.type == 0 ? 0 : 7;
        if (want == 0 && r == 0)
            what = "result 0 for a range with no output frame";
        else if (want > 0 && r != 0)
            what = "result " + std::to_string(r) + " for a range of " + std::to_string(want) + " output frames";
        else if (want > 0 && (got.frames > want || got.frames < want - slack))
            what = std::to_string(got.frames) + " frames written for a range of " + std::to_string(want);
    }
    std::remove(dstPath.c_str());
    return what;
}

#ifdef SX_MUTATE_FILEJOBS
// ---- Channel split ---------------------------------------------------------

struct Split {
    int channel = 0;  // the channel, or with stereo the pair
    bool stereo = false;
    std::string text() const { return std::string("--split ") + std::to_string(channel) + (stereo ? " --pair" : ""); }
};

// Splits the input; a failed split must leave no output behind, and a
// split never writes more audio than its source holds. With exact the
// output holds the source's frames.
std::string runSplit(const std::string &input, const std::string &work, const Split &s, bool exact) {
    const std::string ext = extOf(input);
    const int type = typeOf(ext);
    const std::string dstPath = work + "/split" + (type == 0 ? ".wav" : type == 2 ? ".dsf" : ".dff");
    std::remove(dstPath.c_str());
    const Info src = exact ? query(input) : Info{};
    const uint64_t srcBytes = fileSize(input);
    tPoly2MonosteParam param;
    param.stereo = s.stereo ? 1 : 0;
    param.channel = s.channel;
    param.fileType = type;
    int progress = 0;
    int r;
    {
        Watching w(dstPath, srcBytes + (1u << 20));
        ClassPoly2Monoste job;
        r = job.apply(QString::fromStdString(dstPath), QString::fromStdString(input), QString(), &gWatch.abort,
                      &progress, param);
    }
    if (outgrown(dstPath)) return runawayText(dstPath, srcBytes);
    std::string what;
    if (r != 0 && exists(dstPath)) what = "result " + std::to_string(r) + " left its output behind";
    if (r == 0 && !exists(dstPath)) what = "result 0 with no output";
    if (what.empty() && exact && src.result == 0) {
        const uint32_t last = s.stereo ? (src.channels + 1) / 2 : src.channels;
        const bool takes = s.channel >= 0 && static_cast<uint32_t>(s.channel) < last;
        if (takes != (r == 0)) {
            what = "result " + std::to_string(r) + " for channel " + std::to_string(s.channel) + " of " +
                   std::to_string(src.channels);
        } else if (r == 0) {
            const Info got = query(dstPath);
            if (got.result != 0 || got.frames != src.frames)
                what = std::to_string(got.frames) + " frames split from " + std::to_string(src.frames) + " (query " +
                       std::to_string(got.result) + ")";
        }
    }
    std::remove(dstPath.c_str());
    return what;
}

// ---- FLAC import -----------------------------------------------------------

// Seeds that are known bad inputs: their import must fail.
bool importMustFail(const std::string &name) { return name.rfind("nolength-swallowing", 0) == 0; }

// Imports the input; success must give a WAV with audio, a failure no WAV
// at all. With exact the import gives the stream's frames, or fails for a
// known bad input.
std::string runImport(const std::string &input, const std::string &work, bool exact, bool mustFail) {
    const std::string dstPath = work + "/import.wav";
    std::remove(dstPath.c_str());
    const uint64_t srcBytes = fileSize(input);
    tFlacFileInfo info{};
    int progress = 0;
    int r;
    {
        // A frame of constant subframes takes a few bytes for up to 65535
        // samples; mutations rarely make one that passes its checksums.
        Watching w(dstPath, 256 * srcBytes + (16u << 20));
        ClassFlac2Wav job;
        r = job.apply(QString::fromStdString(input), QString::fromStdString(dstPath), &gWatch.abort, &progress, nullptr,
                      &info);
    }
    if (outgrown(dstPath)) return runawayText(dstPath, srcBytes);
    std::string what;
    if (r != 0 && exists(dstPath)) what = "result " + std::to_string(r) + " left its WAV behind";
    Info got;
    if (what.empty() && r == 0) {
        got = query(dstPath);
        if (got.result != 0 || got.frames == 0)
            what = "result 0 with no audio imported (query " + std::to_string(got.result) + ")";
    }
    if (what.empty() && exact) {
        if (mustFail && r == 0)
            what = "result 0 for a stream that must fail";
        else if (!mustFail && r != 0)
            what = "result " + std::to_string(r) + " for a good stream";
        else if (r == 0 && static_cast<uint64_t>(got.frames) != info.totalSamples)
            what = std::to_string(got.frames) + " frames imported of " + std::to_string(info.totalSamples);
    }
    std::remove(dstPath.c_str());
    return what;
}
#endif

// ---- Choosing what to run --------------------------------------------------

// A frame from 0 to n, a third of them close to a DSF block boundary.
int64_t drawFrame(std::mt19937_64 &rng, int64_t n) {
    if (n <= 0) return 0;
    if (rng() % 3 == 0) {
        const int64_t k = static_cast<int64_t>(rng() % static_cast<uint64_t>(n / 32768 + 2)) * 32768 +
                          static_cast<int64_t>(rng() % 17) - 8;
        return std::clamp<int64_t>(k, 0, n);
    }
    return static_cast<int64_t>(rng() % static_cast<uint64_t>(n + 1));
}

Conversion drawConversion(std::mt19937_64 &rng, const Info &in) {
    Conversion c;
    c.output = static_cast<int>(rng() % kOutputCount);
    const int64_t n = in.result == 0 ? in.frames : 100000;
    if (rng() % 4 != 0) {
        c.start = drawFrame(rng, n);
        c.end = rng() % 8 == 0 ? n + static_cast<int64_t>(rng() % 100000) : c.start + drawFrame(rng, n - c.start);
    }
    const uint64_t m = rng() % 10;
    c.mode = m == 0 ? 2 : m == 1 ? 3 : 0;
    c.hold = rng() % 6 == 0;
    return c;
}

// What one input goes through; an empty string or what went wrong, with
// the options that replay it.
std::string runDrawn(const std::string &path, const std::string &name, const std::string &work, std::mt19937_64 &rng,
                     bool exact) {
    const std::string ext = extOf(name);
#ifdef SX_MUTATE_FILEJOBS
    if (ext == ".flac") {
        const std::string what = runImport(path, work, exact, importMustFail(name));
        return what.empty() ? what : what + " [import]";
    }
#else
    if (ext == ".flac") return std::string();
#endif
    const Info in = query(path);
#ifdef SX_MUTATE_FILEJOBS
    if (rng() % 4 == 0) {
        Split s;
        s.stereo = rng() % 2 == 0;
        const uint32_t ch = in.result == 0 ? std::min<uint32_t>(in.channels, 8) : 2;
        s.channel = static_cast<int>(rng() % (ch + 1));
        const std::string what = runSplit(path, work, s, exact);
        return what.empty() ? what : what + " [" + s.text() + "]";
    }
#endif
    const Conversion c = drawConversion(rng, in);
    const std::string what = runConversion(path, work, c, exact);
    return what.empty() ? what : what + " [" + c.text() + "]";
}

// The checks every seed must pass before the mutations start: each output
// over the whole file, and the inputs of the faults found before (the DSD64
// file's ranges across its block boundary and up to its end, the sine's
// hold conversions up and down, the imports, every channel and pair of the
// splits).
std::vector<std::string> checkSeed(const std::string &path, const std::string &name, const std::string &work) {
    std::vector<std::string> failed;
    auto note = [&](const std::string &what, const std::string &how) {
        if (!what.empty()) failed.push_back(what + " [" + how + "]");
    };
    const std::string ext = extOf(name);
#ifdef SX_MUTATE_FILEJOBS
    if (ext == ".flac") {
        note(runImport(path, work, true, importMustFail(name)), "import");
        return failed;
    }
    const Info in = query(path);
    if (in.channels > 2) {
        for (int ch = 0; ch <= static_cast<int>(in.channels); ++ch)
            for (bool stereo : {false, true}) {
                const Split s{ch, stereo};
                note(runSplit(path, work, s, true), s.text());
            }
        return failed;
    }
#else
    if (ext == ".flac") return failed;
#endif
    for (int k = 0; k < 4; ++k) {
        Conversion c;
        c.output = k;
        note(runConversion(path, work, c, true), c.text());
    }
    if (name == "dsd64-stereo.dsf") {
        const int64_t ranges[][2] = {{33000, 40000}, {33000, 39900}, {8, 40000}, {20000, 40000}, {32760, 32776}};
        for (const auto &range : ranges)
            for (int out : {1, 2, 4, 6}) {
                Conversion c;
                c.output = out;
                c.start = range[0];
                c.end = range[1];
                note(runConversion(path, work, c, true), c.text());
            }
    }
    if (name == "sine1k-44k1-stereo.wav") {
        for (int out : {0, 5, 7}) {
            Conversion c;
            c.output = out;
            c.hold = true;
            note(runConversion(path, work, c, true), c.text());
        }
    }
    return failed;
}

void watchdog(int hangSeconds, std::atomic<bool> *done) {
    while (!done->load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int64_t t0 = gWatch.startedMs.load(std::memory_order_acquire);
        if (t0 < 0) continue;
        if (fileSize(gPaths[static_cast<size_t>(gWatch.out.load(std::memory_order_relaxed))]) >
            gWatch.bytesBound.load(std::memory_order_relaxed)) {
            gWatch.runaway.store(true, std::memory_order_relaxed);
            gWatch.abort.store(true, std::memory_order_relaxed);
        }
        if (nowMs() - t0 > int64_t(hangSeconds) * 1000) {
            std::fprintf(stderr, "morphex-mutate: hang: one input took more than %d s (kept as last-input)\n",
                         hangSeconds);
            std::_Exit(3);
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    std::string corpus, save = "mutate-failures", input, seedsOut;
    double seconds = 60;
    int hang = 20;
    uint64_t seed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    // Replay of one input: what to run on it (nothing given: every output
    // over the whole file, and the split or the import).
    Conversion replay;
    bool replayConversion = false, replaySplit = false, exactReplay = false;
    int splitChannel = 0;
    bool splitPair = false;
#ifndef SX_MUTATE_FILEJOBS
    (void)replaySplit, (void)splitChannel, (void)splitPair;  // the split is not built in
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--write-seeds" && v)
            seedsOut = argv[++i];
        else if (a == "--corpus" && v)
            corpus = argv[++i];
        else if (a == "--seconds" && v)
            seconds = std::atof(argv[++i]);
        else if (a == "--seed" && v)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--hang" && v)
            hang = std::atoi(argv[++i]);
        else if (a == "--save" && v)
            save = argv[++i];
        else if (a == "--input" && v)
            input = argv[++i];
        else if (a == "--output" && v)
            replay.output = std::atoi(argv[++i]), replayConversion = true;
        else if (a == "--start" && v)
            replay.start = std::atoll(argv[++i]), replayConversion = true;
        else if (a == "--end" && v)
            replay.end = std::atoll(argv[++i]), replayConversion = true;
        else if (a == "--mode" && v)
            replay.mode = static_cast<uint32_t>(std::atoi(argv[++i])), replayConversion = true;
        else if (a == "--hold")
            replay.hold = true, replayConversion = true;
        else if (a == "--split" && v)
            splitChannel = std::atoi(argv[++i]), replaySplit = true;
        else if (a == "--pair")
            splitPair = true;
        else if (a == "--exact")
            exactReplay = true;
        else {
            std::fprintf(stderr,
                         "usage: morphex-mutate [--write-seeds DIR | --input FILE [--exact] [--output N] [--start S] "
                         "[--end E] [--mode M] [--hold] [--split C [--pair]]] [--corpus DIR] [--seconds N] [--seed S] "
                         "[--hang N] [--save DIR]\n");
            return 2;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);

    if (!seedsOut.empty()) {
        fs::create_directories(seedsOut);
        for (const Seed &s : makeSeeds())
            if (!writeFile(seedsOut + "/" + s.name, s.bytes)) return 1;
        return 0;
    }

    std::vector<Seed> seeds;
    if (!corpus.empty() && fs::is_directory(corpus)) {
        for (const auto &e : fs::directory_iterator(corpus))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.')
                seeds.push_back({e.path().filename().string(), readFile(e.path().string())});
    }
    if (seeds.empty()) seeds = makeSeeds();
    // The same order whatever the directory listing gives, so that a seed
    // replays the same inputs.
    std::sort(seeds.begin(), seeds.end(), [](const Seed &a, const Seed &b) { return a.name < b.name; });

    fs::create_directories(save);
    char tmpl[] = "/tmp/morphex-mutate-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string work = tmpl;
    makePaths(work);

    // The library reports on the standard output; keep it out of the log.
    std::fflush(stdout);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);

    std::atomic<bool> done{false};
    std::thread dog(watchdog, hang, &done);
    int failures = 0;
    uint64_t runs = 0;

    if (!input.empty()) {
        const std::string path = work + "/in" + extOf(input);
        writeFile(path, readFile(input));
        std::vector<std::string> found;
        const std::string ext = extOf(input);
#ifdef SX_MUTATE_FILEJOBS
        if (ext == ".flac") {
            found.push_back(runImport(path, work, exactReplay, importMustFail(fs::path(input).filename().string())));
        } else if (replaySplit) {
            found.push_back(runSplit(path, work, Split{splitChannel, splitPair}, exactReplay));
        } else
#endif
            if (replayConversion) {
            found.push_back(runConversion(path, work, replay, exactReplay));
        } else if (ext != ".flac") {
            for (int k = 0; k < kOutputCount; ++k) {
                Conversion c;
                c.output = k;
                found.push_back(runConversion(path, work, c, exactReplay));
            }
        }
        for (const std::string &what : found) {
            if (what.empty()) continue;
            std::fprintf(stderr, "morphex-mutate: %s: %s\n", input.c_str(), what.c_str());
            ++failures;
        }
    } else {
        std::fprintf(stderr, "morphex-mutate: %zu seeds, seed %llu, %.0f s\n", seeds.size(),
                     static_cast<unsigned long long>(seed), seconds);
        // The seeds themselves must pass every check, or the mutations start
        // from a broken file.
        for (const Seed &s : seeds) {
            const std::string path = work + "/in" + extOf(s.name);
            writeFile(path, s.bytes);
            for (const std::string &what : checkSeed(path, s.name, work)) {
                std::fprintf(stderr, "morphex-mutate: seed %s: %s\n", s.name.c_str(), what.c_str());
                ++failures;
            }
        }
        std::mt19937_64 rng(seed);
        while (std::chrono::steady_clock::now() < deadline && failures < 5) {
            const Seed &s = seeds[rng() % seeds.size()];
            Bytes b = s.bytes;
            // One input in eight is left as it was, with exact checks on a
            // range, split or import drawn for it.
            const bool exact = rng() % 8 == 0;
            if (!exact) mutate(b, rng);
            const std::string ext = extOf(s.name);
            const std::string path = work + "/in" + ext;
            writeFile(path, b);
            writeFile(save + "/last-input" + ext, b);
            const std::string what = runDrawn(path, s.name, work, rng, exact);
            ++runs;
            if (!what.empty()) {
                const std::string kept = save + "/failure-" + std::to_string(failures) + ext;
                writeFile(kept, b);
                std::fprintf(stderr, "morphex-mutate: %s (from %s%s, kept as %s)\n", what.c_str(), s.name.c_str(),
                             exact ? ", unmutated: replay with --exact" : "", kept.c_str());
                ++failures;
            }
        }
        std::fprintf(stderr, "morphex-mutate: %llu inputs, %d failures\n", static_cast<unsigned long long>(runs),
                     failures);
    }
    done.store(true, std::memory_order_release);
    dog.join();
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
