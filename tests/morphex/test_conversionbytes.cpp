// Fixed conversions whose output is pinned to the byte: every written file
// and every block the callback is handed. The sources are synthesised here
// with exact arithmetic (recurrent oscillators with literal coefficients, a
// shift-register noise, a test-side delta-sigma loop), so a change in any
// byte of the result means the library's behaviour changed.
//
// The wall clock is the only thing allowed to differ between runs: the
// origination date and time of a "bext" chunk (WAV and DSDIFF) and the
// text of the TYER, TDAT and TIME frames of a DSF file's ID3 tag are zeroed
// before hashing.
//
// When a change to the library is meant to change its output, run the test
// and copy the printed table rows over the pinned ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audiofile/marklist.h"
#include "audiogen.h"
#include "dsp/dspvolume.h"
#include "morphextestutil.h"
#include "support/bytefields.h"
#include "support/tagrecord.h"

using namespace mxtest;

namespace {

// ---- Sources ---------------------------------------------------------------

// Two sines per channel from the recurrence y[n] = c y[n-1] - y[n-2]
// (c = 2 cos w given as a literal, so no library function is involved)
// plus shift-register noise at -60 dBFS. About -6 dBFS peak.
struct Synth {
    // 631, 1837, 315 and 2450 Hz at 44.1 kHz, each of amplitude ~1.
    double c[4] = {1.99192207, 1.93185165, 1.99798016, 1.8793852};
    double y1[4] = {0.0, 0.0, 0.0, 0.0};
    double y2[4] = {-0.0898, -0.2588, -0.0449, -0.342};  // -sin w
    uint32_t noise = 0x1234567u;

    void frame(double out[2]) {
        double v[4];
        for (int k = 0; k < 4; ++k) {
            v[k] = c[k] * y1[k] - y2[k];
            y2[k] = y1[k];
            y1[k] = v[k];
        }
        for (int ch = 0; ch < 2; ++ch) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.002;
            out[ch] = 0.3 * v[2 * ch] + 0.2 * v[2 * ch + 1] + n;
        }
    }
};

std::vector<std::vector<double>> synth(uint32_t frames) {
    Synth s;
    std::vector<std::vector<double>> v(2, std::vector<double>(frames));
    for (uint32_t f = 0; f < frames; ++f) {
        double o[2];
        s.frame(o);
        v[0][f] = o[0];
        v[1][f] = o[1];
    }
    return v;
}

// A WAV source of the synthesised signal: 16 or 24-bit integers, or 32-bit
// float (tag 3).
std::string pcmSource(const sxtest::TempDir &dir, const std::string &name, uint32_t rate, uint16_t bits, uint16_t tag,
                      uint32_t frames) {
    const auto v = synth(frames);
    const std::string path = dir.file(name);
    sxtest::writeAll(path, makeWav(rate, bits, 2, tag, frames, [&](uint32_t f, int c) { return v[c][f]; }));
    return path;
}

// Appends "cue ", LIST/adtl and "plst" chunks naming marks at the given
// frames to a WAV image and fixes its RIFF size.
void addMarks(std::vector<uint8_t> &w, const std::vector<uint32_t> &at, uint32_t frames) {
    using sxtest::appendId;
    using sxtest::appendLE32;
    appendId(w, "cue ");
    appendLE32(w, uint32_t(4 + 24 * at.size()));
    appendLE32(w, uint32_t(at.size()));
    for (size_t i = 0; i < at.size(); ++i) {
        appendLE32(w, uint32_t(i + 1));
        appendLE32(w, 0);
        appendId(w, "data");
        appendLE32(w, 0);
        appendLE32(w, 0);
        appendLE32(w, at[i]);
    }
    std::vector<uint8_t> list;
    appendId(list, "adtl");
    for (size_t i = 0; i < at.size(); ++i) {
        const std::string name = "Mark " + std::to_string(i + 1);
        appendId(list, "labl");
        appendLE32(list, uint32_t(4 + name.size() + 1));
        appendLE32(list, uint32_t(i + 1));
        list.insert(list.end(), name.begin(), name.end());
        list.push_back(0);
        if ((name.size() + 1) & 1) list.push_back(0);
    }
    appendId(w, "LIST");
    appendLE32(w, uint32_t(list.size()));
    w.insert(w.end(), list.begin(), list.end());
    appendId(w, "plst");
    appendLE32(w, uint32_t(4 + 12 * at.size()));
    appendLE32(w, uint32_t(at.size()));
    for (size_t i = 0; i < at.size(); ++i) {
        appendLE32(w, uint32_t(i + 1));
        appendLE32(w, (i + 1 < at.size() ? at[i + 1] : frames) - at[i]);
        appendLE32(w, 1);
    }
    sxtest::writeLE(w, 4, w.size() - 8, 4);
}

// DSD work bytes (earliest sample in the most significant bit) of the
// synthesised signal held over `over` DSD samples per PCM frame, through a
// second-order delta-sigma loop.
std::vector<std::vector<uint8_t>> dsdStreams(uint32_t bytes, uint32_t over) {
    const uint32_t frames = bytes * 8 / over + 1;
    const auto v = synth(frames);
    std::vector<std::vector<uint8_t>> out(2, std::vector<uint8_t>(bytes, 0));
    for (int c = 0; c < 2; ++c) {
        double i1 = 0.0, i2 = 0.0, fb = 0.0;
        for (uint32_t n = 0; n < bytes * 8; ++n) {
            const double x = 0.5 * v[c][n / over];
            i1 += x - fb;
            i2 += i1 - fb;
            const bool one = i2 >= 0.0;
            fb = one ? 1.0 : -1.0;
            if (one) out[c][n / 8] |= uint8_t(0x80 >> (n % 8));
        }
    }
    return out;
}

// ---- Normalising and hashing ----------------------------------------------

// Zeroes the origination date and time (bytes 320..337 of the payload) of
// every "bext" chunk met by a walk from `first` with headers of hdr bytes
// whose size field is read by size().
template <typename SizeOf>
void clearBextClock(std::vector<uint8_t> &f, size_t first, size_t hdr, SizeOf size) {
    size_t p = first;
    while (p + hdr <= f.size()) {
        const uint64_t s = size(p);
        if (std::memcmp(&f[p], "bext", 4) == 0 && p + hdr + 338 <= f.size())
            std::fill(f.begin() + long(p + hdr + 320), f.begin() + long(p + hdr + 338), 0);
        if (s > f.size()) break;
        p += hdr + size_t(s) + size_t(s & 1);
    }
}

// Zeroes the text of the date and time frames of a DSF file's ID3v2.3 tag.
void clearTagClock(std::vector<uint8_t> &f) {
    const uint64_t tag = sxtest::le64(f, 20);
    if (tag == 0 || tag + 10 > f.size() || std::memcmp(&f[tag], "ID3", 3) != 0) return;
    size_t p = size_t(tag) + 10;
    while (p + 10 <= f.size() && f[p] != 0) {
        const uint32_t s = sxtest::be32(f, p + 4);
        if (p + 10 + s > f.size()) break;
        if (std::memcmp(&f[p], "TYER", 4) == 0 || std::memcmp(&f[p], "TDAT", 4) == 0 ||
            std::memcmp(&f[p], "TIME", 4) == 0)
            std::fill(f.begin() + long(p + 11), f.begin() + long(p + 10 + s), 0);
        p += 10 + s;
    }
}

uint64_t fileHash(const std::string &path) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    if (f.size() >= 12 && (std::memcmp(&f[0], "RIFF", 4) == 0 || std::memcmp(&f[0], "RF64", 4) == 0))
        clearBextClock(f, 12, 8, [&](size_t p) { return uint64_t(sxtest::le32(f, p + 4)); });
    else if (f.size() >= 16 && std::memcmp(&f[0], "FRM8", 4) == 0)
        clearBextClock(f, 16, 12, [&](size_t p) { return sxtest::be64(f, p + 4); });
    else if (f.size() >= 28 && std::memcmp(&f[0], "DSD ", 4) == 0)
        clearTagClock(f);
    return fnv1a(f.data(), f.size());
}

// ---- The pinned set --------------------------------------------------------

struct Case {
    const char *name;
    uint64_t file;    // normalised written file (0: feed job, nothing written)
    uint64_t blocks;  // every block the callback saw, plus the modulator's cut flags
};

// Runs the conversion named c.name and returns what it gave.
struct Result {
    uint64_t file = 0, blocks = 0;
};

class ConversionBytes : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new sxtest::TempDir;
        const uint32_t f441 = 11025, f96 = 24000;
        src_["w16_44"] = pcmSource(*dir_, "w16_44.wav", 44100, 16, 1, f441);
        src_["w24_44"] = pcmSource(*dir_, "w24_44.wav", 44100, 24, 1, f441);
        src_["w24_96"] = pcmSource(*dir_, "w24_96.wav", 96000, 24, 1, f96);
        src_["f32_44"] = pcmSource(*dir_, "f32_44.wav", 44100, 32, 3, f441);
        src_["f32_96"] = pcmSource(*dir_, "f32_96.wav", 96000, 32, 3, f96);
        src_["short96"] = pcmSource(*dir_, "short96.wav", 96000, 24, 1, 1500);
        {
            const auto v = synth(f441);
            std::vector<uint8_t> w = makeWav(44100, 24, 2, 1, f441, [&](uint32_t f, int c) { return v[c][f]; });
            addMarks(w, {1000, 4410, 9000}, f441);
            src_["marked"] = dir_->file("marked.wav");
            sxtest::writeAll(src_["marked"], w);
        }
        // DSD64 and DSD128 of 0.1 s, not a whole number of DSF blocks.
        const auto d64 = dsdStreams(35280, 64);
        const auto d128 = dsdStreams(70560 - 1000, 128);
        src_["dsf64"] = dir_->file("dsf64.dsf");
        sxtest::writeAll(src_["dsf64"], sxgen::dsf(2822400, d64));
        src_["dff64"] = dir_->file("dff64.dff");
        sxtest::writeAll(src_["dff64"], sxgen::dsdiff(2822400, d64));
        src_["dsf128"] = dir_->file("dsf128.dsf");
        sxtest::writeAll(src_["dsf128"], sxgen::dsf(5644800, d128));
        src_["dff128"] = dir_->file("dff128.dff");
        sxtest::writeAll(src_["dff128"], sxgen::dsdiff(5644800, d128));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    static Result run(const std::string &name, Options o, const std::string &src) {
        o.src = src_[src];
        const bool writing = o.command == kMorphexComWriteFile;
        o.dst = writing ? dir_->file(name + (o.type == 0 ? ".wav" : o.type == 2 ? ".dsf" : ".dff")) : "";
        Seen seen;
        seen.hashBlocks = true;
        // The DSD ring holds the source's bits at the source rate: the
        // callback's byte count describes them only when the rates agree
        // (beyond the source's bytes a slot holds whatever it held before).
        const uint32_t srcRate = src.find("64") != std::string::npos    ? 2822400u
                                 : src.find("128") != std::string::npos ? 5644800u
                                                                        : 0u;
        seen.dsdBytes = o.type != 0 && o.rate == srcRate;
        tMorphexCom com;
        int r = -999;
        capture([&] { r = runJob(o, &seen, &com); });
        EXPECT_EQ(r, 0) << name;
        Result res;
        res.blocks = fnv1a(&com.modResult1, 4, seen.blockHash);
        res.blocks = fnv1a(&com.modResult2, 4, res.blocks);
        if (writing) res.file = fileHash(o.dst);
        return res;
    }

    static sxtest::TempDir *dir_;
    static std::map<std::string, std::string> src_;
};

sxtest::TempDir *ConversionBytes::dir_ = nullptr;
std::map<std::string, std::string> ConversionBytes::src_;

Options out(uint32_t type, uint32_t rate, uint32_t bits) {
    Options o;
    o.type = type;
    o.rate = rate;
    o.bits = bits;
    return o;
}

// The envelope of an edit at the source rate: in and out points, fades.
std::vector<tDspVolItem> envelopeOf(int64_t in, int64_t fadeIn, int64_t fadeOut, int64_t outPoint, uint32_t srcRate,
                                    uint32_t outRate, double gain = 1.0) {
    tWaveEditParam e;
    e.inPoint = in;
    e.fadeInLength = fadeIn;
    e.gain = gain;
    e.fadeOutLength = fadeOut;
    e.outPoint = outPoint;
    std::vector<tDspVolItem> v(kDspVolItems);
    tDspVolumeParam opt;
    EXPECT_EQ(dspVolume::setDspVolume(0, &e, srcRate, outRate, 0, v.data(), 0, &opt), kDspVolOk);
    return v;
}

}  // namespace

TEST_F(ConversionBytes, EveryPinnedConversionGivesTheSameBytes) {
    std::vector<std::pair<std::string, Result>> got;
    auto add = [&](const char *name, const Options &o, const char *src) { got.emplace_back(name, run(name, o, src)); };

    // PCM to PCM: rate changes, word lengths, dither and noise shaping,
    // float output, one channel, the unfiltered hold form, mode 2 and 3.
    add("w16_44-wav24_48", out(0, 48000, 24), "w16_44");
    {
        Options o = out(0, 44100, 16);
        o.dither = 1;
        add("w24_96-wav16_44-dither", o, "w24_96");
        o.dither = 2;
        add("w24_96-wav16_44-shaped", o, "w24_96");
    }
    add("f32_44-wav32_88", out(0, 88200, 32), "f32_44");
    add("f32_96-wav24_192", out(0, 192000, 24), "f32_96");
    add("w24_44-wav24_44", out(0, 44100, 24), "w24_44");
    {
        Options o = out(0, 48000, 24);
        o.channels = 1;
        o.rightPass = 1;
        add("w24_96-wav24_48-right", o, "w24_96");
        o = out(0, 88200, 24);
        o.option = 1;
        add("w16_44-wav24_88-hold", o, "w16_44");
        o = out(0, 48000, 32);
        o.mode = 3;
        add("w24_44-wav32_48-mode3", o, "w24_44");
        o = out(0, 44100, 24);
        o.mode = 2;
        add("short96-wav24_44-mode2", o, "short96");
    }
    // PCM to DSD.
    add("w16_44-dsf64", out(2, 2822400, 1), "w16_44");
    add("w24_96-dff128", out(3, 5644800, 1), "w24_96");
    add("f32_96-dsf128", out(2, 5644800, 1), "f32_96");
    add("f32_44-dff64", out(3, 2822400, 1), "f32_44");
    // DSD to PCM, to the same DSD rate (bit-exact) and to another.
    add("dsf64-wav24_88", out(0, 88200, 24), "dsf64");
    add("dff64-wav16_44", out(0, 44100, 16), "dff64");
    add("dff128-wav24_176", out(0, 176400, 24), "dff128");
    add("dsf128-wav32_48", out(0, 48000, 32), "dsf128");
    {
        Options o = out(0, 48000, 24);
        o.mode = 3;
        add("dsf64-wav24_48-mode3", o, "dsf64");
        o = out(3, 5644800, 1);
        o.option = 1;
        add("dsf64-dff128-hold", o, "dsf64");
    }
    add("dsf64-dff64", out(3, 2822400, 1), "dsf64");
    add("dff64-dsf64", out(2, 2822400, 1), "dff64");
    add("dff128-dsf128", out(2, 5644800, 1), "dff128");
    add("dsf128-dff64", out(3, 2822400, 1), "dsf128");
    add("dff64-dsf128", out(2, 5644800, 1), "dff64");
    {
        Options o = out(2, 2822400, 1);
        o.channels = 1;
        add("dsf64-dsf64-mono", o, "dsf64");
    }
    // Ranges with fades: PCM at the same rate and to another, DSD through
    // the modulator with the fade smoother, DSD from a start inside a byte.
    {
        const auto e = envelopeOf(2000, 1500, 2500, 20000, 96000, 96000, 0.8);
        Options o = out(0, 96000, 24);
        o.start = 2000;
        o.end = 20000;
        o.envelope = e.data();
        add("w24_96-wav24_96-range", o, "w24_96");
        const auto e2 = envelopeOf(2000, 1500, 2500, 20000, 96000, 48000);
        o = out(0, 48000, 16);
        o.start = 2000;
        o.end = 20000;
        o.envelope = e2.data();
        add("w24_96-wav16_48-range", o, "w24_96");
        const auto e3 = envelopeOf(100000, 50000, 50000, 250000, 2822400, 2822400);
        o = out(2, 2822400, 1);
        o.start = 100003;
        o.end = 250000;
        o.envelope = e3.data();
        o.envelopeActive = 1;
        add("dff64-dsf64-range", o, "dff64");
        const auto e4 = envelopeOf(3000, 2000, 2000, 10000, 44100, 2822400);
        o = out(3, 2822400, 1);
        o.start = 3000;
        o.end = 10000;
        o.envelope = e4.data();
        o.envelopeActive = 1;
        add("w16_44-dff64-range", o, "w16_44");
    }
    // Marks and a tag carried into each output type.
    {
        sxtest::TagRecord tag;
        sxtest::TagRecord::set(tag.title, "Pinned title");
        sxtest::TagRecord::set(tag.artist, "Pinned artist");
        sxtest::TagRecord::set(tag.album, "Pinned album");
        sxtest::TagRecord::set(tag.comment, "Pinned comment");
        sxtest::TagRecord::set(tag.genre, "Classical");
        tag.info.trackNo = 3;
        tag.info.totalTracks = 9;
        tag.info.year = 2019;
        tag.info.month = 4;
        tag.info.day = 21;
        tag.info.hour = 10;
        tag.info.minute = 30;
        tag.info.second = 15;
        tag.info.frame = 0;
        tag.info.startSample = 44100ull * 3600;
        for (uint32_t type : {0u, 2u, 3u}) {
            Options o = type == 0 ? out(0, 96000, 24) : out(type, 2822400, 1);
            o.start = 500;
            o.end = 10000;
            o.tag = &tag.info;
            add(type == 0 ? "marked-wav" : type == 2 ? "marked-dsf" : "marked-dff", o, "marked");
        }
    }
    // Feed jobs: playback of a DSD file passing its bits through, the same
    // with the equaliser on (which rules out the pass-through), and the
    // smoothing of mixed tracks at a DSD rate; then an export through the
    // equaliser.
    {
        Options o = out(2, 2822400, 1);
        o.command = kMorphexComFeedOnly;
        o.feedLimit = 1;
        add("feed-dsf64-pure", o, "dsf64");
        o.eqOn = true;
        add("feed-dsf64-eq", o, "dsf64");
        o = out(3, 2822400, 1);
        o.command = kMorphexComFeedOnly;
        o.multiTrack = 1;
        add("feed-dff64-mixed", o, "dff64");
        o = out(0, 48000, 24);
        o.eqOn = true;
        add("w24_96-wav24_48-eq", o, "w24_96");
    }

    // clang-format off
    static const Case kPinned[] = {
#include "conversionbytes.inc"
    };
    // clang-format on
    std::string table;
    for (const auto &g : got) {
        char line[160];
        std::snprintf(line, sizeof line, "{\"%s\", 0x%016" PRIx64 "ull, 0x%016" PRIx64 "ull},\n", g.first.c_str(),
                      g.second.file, g.second.blocks);
        table += line;
    }
    ASSERT_EQ(sizeof kPinned / sizeof kPinned[0], got.size()) << "conversionbytes.inc should read:\n" << table;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].first, kPinned[i].name);
        EXPECT_EQ(got[i].second.file, kPinned[i].file) << got[i].first;
        EXPECT_EQ(got[i].second.blocks, kPinned[i].blocks) << got[i].first;
    }
    if (HasFailure()) std::printf("conversionbytes.inc should read:\n%s", table.c_str());
}
