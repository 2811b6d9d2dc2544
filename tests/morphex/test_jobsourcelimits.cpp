// The conversion engine at the edges of its sources: DSD sources whose
// filter reaches past their end, sources too short for one output frame or
// with no audio at all, cut and hostile headers (rates, channel counts),
// marks near the end, and the start time of a DSF output. Every fixture is
// made here, byte by byte or with the engine itself.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "audiogen.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/fileinfo.h"
#include "morphextestutil.h"
#include "support/hdrparam.h"

using namespace mxtest;

namespace {

constexpr uint32_t kWavType = 0, kDsfType = 2, kDffType = 3;

// The process's peak resident memory so far, KiB.
long peakResidentKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// DSD bytes that are neither silence nor constant.
std::vector<uint8_t> dsdBytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t r = 0x1234567u + seed;
    for (auto &b : v) {
        r = r * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(r >> 24);
    }
    return v;
}

// A DSD64 file of a 1 kHz sine at half scale, made from a 44.1 kHz WAV of
// `frames` frames by the engine itself (frames x 64 DSD frames).
std::string dsdSine(const sxtest::TempDir &dir, const std::string &name, uint32_t type, uint32_t frames) {
    const std::string wav = dir.file(name + ".src.wav");
    sxtest::writeAll(wav, makeWav(44100, 24, 2, 1, frames, sine(1000, 44100, 0.5)));
    Options o;
    o.src = wav;
    o.dst = dir.file(name);
    o.type = type;
    o.rate = 2822400;
    o.bits = 1;
    int r = 0;
    capture([&] { r = runJob(o, nullptr); });
    EXPECT_EQ(r, 0) << name;
    return o.dst;
}

// Frames per channel of a written output, as its header states them.
int64_t outputFrames(const std::string &path, uint32_t type, uint32_t channels, uint32_t bits) {
    if (type == kWavType) {
        std::vector<uint8_t> f = sxtest::readAll(path);
        size_t off = 0;
        uint32_t size = 0;
        if (!riffChunk(f, "data", &off, &size)) return -1;
        return size / (channels * bits / 8);
    }
    DsdAudio a;
    if (!(type == kDsfType ? readDsf(path, &a) : readDff(path, &a))) return -1;
    return static_cast<int64_t>(a.frames);
}

// Stereo 24-bit WAV samples, full scale 1.0.
std::vector<double> wavSamples(const std::string &path) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    size_t off = 0;
    uint32_t size = 0;
    std::vector<double> s;
    if (!riffChunk(f, "data", &off, &size)) return s;
    for (size_t i = off; i + 3 <= off + size; i += 3) {
        int32_t v = f[i] | (f[i + 1] << 8) | (f[i + 2] << 16);
        if (v & 0x800000) v -= 0x1000000;
        s.push_back(v / 8388608.0);
    }
    return s;
}

double rms(const std::vector<double> &s, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i) e += s[i] * s[i];
    return std::sqrt(e / double(to - from));
}

Options job(const std::string &src, const std::string &dst, uint32_t type, uint32_t rate, uint32_t bits,
            uint32_t channels = 2) {
    Options o;
    o.src = src;
    o.dst = dst;
    o.type = type;
    o.rate = rate;
    o.bits = bits;
    o.channels = channels;
    return o;
}

}  // namespace

// A DSD source converted to another rate gives source frames x up / down
// output frames: its filter runs past the last frame on the silence
// pattern instead of stopping a filter length early, so the end of the
// track is not cut off.
TEST(JobSourceLimits, ADsdSourceAtAnotherRateKeepsItsWholeDuration) {
    sxtest::TempDir dir;
    const std::string dff = dsdSine(dir, "sine.dff", kDffType, 5000);  // 320000 frames
    const std::string dsf = dsdSine(dir, "sine.dsf", kDsfType, 5000);
    const std::string dsf48 = dir.file("m48.dsf");  // 65536 frames, mono, 3.072 MHz
    sxtest::writeAll(dsf48, sxgen::dsf(3072000, {dsdBytes(8192, 1)}));
    struct Row {
        std::string src;
        uint32_t type, rate, bits, channels;
        int64_t frames;
    } rows[] = {
        {dff, kWavType, 88200, 24, 2, 10000},  // up = 1
        {dff, kWavType, 44100, 24, 2, 5000},
        {dsf, kWavType, 176400, 24, 2, 20000},
        {dff, kDsfType, 5644800, 1, 2, 640000},  // DSD64 -> DSD128
        {dsf, kDffType, 5644800, 1, 2, 640000},
        {dsf48, kWavType, 44100, 24, 1, 940},  // 65536 x 147 / 10240
        // 65536 x 147 / 160 = 60211, less the partial byte that a mono
        // DSF output does not keep.
        {dsf48, kDsfType, 2822400, 1, 1, 60208},
    };
    int n = 0;
    for (const Row &row : rows) {
        const std::string out = dir.file("o" + std::to_string(n++) + (row.type == kWavType ? ".wav" : ".dsd"));
        Options o = job(row.src, out, row.type, row.rate, row.bits, row.channels);
        int r = 0;
        capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0) << row.src << " -> " << row.rate;
        EXPECT_EQ(outputFrames(out, row.type, row.channels, row.bits), row.frames) << row.src << " -> " << row.rate;
    }

    // The sine goes on to the end: its level holds up to the last stretch,
    // where the filter's reach runs into the silence beyond the source.
    const std::vector<double> s = wavSamples(dir.file("o0.wav"));
    ASSERT_EQ(s.size(), 2u * 10000);
    const double middle = rms(s, 2 * 4000, 2 * 6000);
    EXPECT_NEAR(middle, 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(rms(s, 2 * 9800, 2 * 9960), middle, 0.02);
}

// A range exported at the source's own DSD rate holds end - start frames
// (both rounded down to whole bytes) wherever it starts and ends: inside a
// DSF block, on a block boundary, or at the file's end, for every source
// and output type. The DSD outputs keep the range's bits.
TEST(JobSourceLimits, ARangeAtTheSourceRateHoldsEveryFrameOfIt) {
    sxtest::TempDir dir;
    // 73728 frames: two whole 32768-frame DSF blocks and a part of a third.
    const size_t bytes = 9216;
    const int64_t total = int64_t(bytes) * 8;
    const std::vector<uint8_t> l = dsdBytes(bytes, 7), r = dsdBytes(bytes, 8);
    const uint32_t kWsdType = 4;
    // Every output type from the stereo DSF; the mono DSF and the DSDIFF
    // (whose ranges count from their start) to fewer.
    struct Source {
        std::string path;
        uint32_t channels;
        std::vector<uint32_t> types;
    };
    const Source sources[] = {{dir.file("st.dsf"), 2, {kWavType, kDsfType, kDffType, kWsdType}},
                              {dir.file("mo.dsf"), 1, {kDsfType, kDffType}},
                              {dir.file("st.dff"), 2, {kWavType, kDsfType}}};
    sxtest::writeAll(sources[0].path, sxgen::dsf(2822400, {l, r}));
    sxtest::writeAll(sources[1].path, sxgen::dsf(2822400, {l}));
    sxtest::writeAll(sources[2].path, sxgen::dsdiff(2822400, {l, r}));
    const int64_t ranges[][2] = {{33000, 40000},        {33000, 39900},    {8, total},     {20000, total},
                                 {40000, total + 5000}, {32768, 65536},    {32760, 32776}, {65528, 65552},
                                 {100, total - 13},     {total - 8, total}};
    for (const Source &src : sources) {
        for (uint32_t type : src.types) {
            for (const auto &range : ranges) {
                const int64_t start = range[0] & ~int64_t{7};
                const int64_t end = std::min(range[1], total) & ~int64_t{7};
                const std::string what = src.path + " -> " + std::to_string(type) + " " + std::to_string(range[0]) +
                                         ".." + std::to_string(range[1]);
                const std::string out = dir.file("r" + std::to_string(type) +
                                                 (type == kWavType   ? ".wav"
                                                  : type == kDsfType ? ".dsf"
                                                  : type == kDffType ? ".dff"
                                                                     : ".wsd"));
                Options o = job(src.path, out, type, 2822400, type == kWavType ? 24 : 1, src.channels);
                o.start = range[0];
                o.end = range[1];
                o.ring = 1;
                int res = 0;
                capture([&] { res = runJob(o, nullptr); });
                ASSERT_EQ(res, 0) << what;
                tAudioFileMarkAFile marks[100];
                tAudioFileInfoAFile info;
                info.marks = marks;
                const std::vector<int16_t> path = sxtest::u16(out);
                ASSERT_EQ(getAudioFileInfo(path.data(), &info), 0) << what;
                const uint64_t audio = (uint64_t(info.dataBytesHigh) << 32) | info.dataBytesLow;
                EXPECT_EQ(int64_t(audio * 8 / (info.channels * info.bitsPerSample)), end - start) << what;
                if (type != kDsfType && type != kDffType) continue;
                DsdAudio a;
                ASSERT_TRUE(type == kDsfType ? readDsf(out, &a) : readDff(out, &a)) << what;
                for (uint32_t c = 0; c < src.channels; ++c) {
                    const std::vector<uint8_t> &want = c == 0 ? l : r;
                    ASSERT_GE(a.ch[c].size(), size_t(end - start) / 8) << what;
                    EXPECT_TRUE(std::equal(want.begin() + start / 8, want.begin() + end / 8, a.ch[c].begin()))
                        << what << " channel " << c;
                }
            }
        }
    }
}

// A range of a PCM source whose out point lies within the filter's reach
// of the file's end stops at the out point all the same: the frames after
// it are read for the filter, not converted into the output.
TEST(JobSourceLimits, ARangeNearTheFileEndStopsAtItsOutPoint) {
    sxtest::TempDir dir;
    const int64_t total = 20000;
    const std::string wav = dir.file("s.wav");
    sxtest::writeAll(wav, makeWav(44100, 24, 2, 1, uint32_t(total), sine(1000, 44100, 0.5)));
    struct Row {
        uint32_t type, rate, bits;
    } rows[] = {{kWavType, 48000, 24}, {kWavType, 96000, 24}, {kDsfType, 2822400, 1}, {kDffType, 2822400, 1}};
    for (const Row &row : rows) {
        for (int64_t end : {total - 5, total - 30, total, total + 100}) {
            Options o = job(wav, dir.file(std::string("o") + (row.type == kWavType ? ".wav" : ".dsd")), row.type,
                            row.rate, row.bits);
            o.start = 1000;
            o.end = end;
            o.ring = 1;
            int r = 0;
            capture([&] { r = runJob(o, nullptr); });
            ASSERT_EQ(r, 0) << row.rate << " " << end;
            const int64_t want = (std::min(end, total) - 1000) * row.rate / 44100;
            EXPECT_EQ(outputFrames(o.dst, row.type, 2, row.bits), want) << row.rate << " " << end;
        }
    }
}

// A source whose audio gives no output frame fails and leaves no file; a
// source (or range) with no audio at all reports nothing to read, for every
// output type, and leaves no file either.
TEST(JobSourceLimits, NoFrameToWriteFailsAndLeavesNothing) {
    sxtest::TempDir dir;
    const std::string tiny = dir.file("tiny.dsf");  // 40 frames: less than one at 44.1 kHz
    {
        std::vector<uint8_t> f = sxgen::dsf(2822400, {dsdBytes(5, 2), dsdBytes(5, 3)});
        sxtest::writeAll(tiny, f);
    }
    const std::string empty = dir.file("empty.wav");
    sxtest::writeAll(empty, makeWav(44100, 16, 2, 1, 0, sine(1000, 44100, 0.5)));
    const std::string halfFrame = dir.file("half.wav");  // 3 bytes of a 4-byte frame
    {
        std::vector<uint8_t> f = makeWav(44100, 16, 2, 1, 0, sine(1000, 44100, 0.5));
        f.insert(f.end(), {1, 2, 3});
        f[40] = 3;
        f[4] += 3;
        sxtest::writeAll(halfFrame, f);
    }
    // Short, but with frames to give: these convert.
    const std::string short64 = dir.file("short64.dsf");  // 2096 frames -> 32 at 44.1 kHz
    sxtest::writeAll(short64, sxgen::dsf(2822400, {dsdBytes(262, 4), dsdBytes(262, 5)}));
    const std::string short48 = dir.file("short48.dsf");  // 32768 frames at 3.072 MHz -> 470
    sxtest::writeAll(short48, sxgen::dsf(3072000, {dsdBytes(4096, 6)}));

    struct Row {
        std::string src;
        uint32_t type, rate, bits, channels;
        int code;
        int64_t frames;  // when it converts
    } rows[] = {
        {tiny, kWavType, 44100, 24, 2, kMorphexErrEmptyOutput, 0},
        {empty, kWavType, 48000, 24, 2, kMorphexErrNothingToRead, 0},
        {empty, kWavType, 44100, 24, 2, kMorphexErrNothingToRead, 0},
        {empty, kDsfType, 2822400, 1, 2, kMorphexErrNothingToRead, 0},
        {empty, kDffType, 2822400, 1, 2, kMorphexErrNothingToRead, 0},
        {halfFrame, kWavType, 48000, 24, 2, kMorphexErrNothingToRead, 0},
        {halfFrame, kDsfType, 2822400, 1, 2, kMorphexErrNothingToRead, 0},
        {short64, kWavType, 44100, 24, 2, 0, 32},
        {short48, kWavType, 44100, 24, 1, 0, 470},
    };
    int n = 0;
    for (const Row &row : rows) {
        const std::string out = dir.file("o" + std::to_string(n++) + ".out");
        Options o = job(row.src, out, row.type, row.rate, row.bits, row.channels);
        Seen seen;
        int r = 0;
        const std::string said = capture([&] { r = runJob(o, &seen); });
        EXPECT_EQ(r, row.code) << row.src << " -> " << row.type << "/" << row.rate;
        if (row.code == 0) {
            EXPECT_EQ(outputFrames(out, row.type, row.channels, row.bits), row.frames) << row.src;
        } else {
            EXPECT_FALSE(std::filesystem::exists(out)) << row.src << " -> " << row.type << "/" << row.rate;
        }
        if (row.code == kMorphexErrEmptyOutput) {
            EXPECT_NE(said.find("No Audio Written Error!\n"), std::string::npos) << said;
        }
    }
}

// A DSF cut inside a block group holds only the frames whose byte every
// channel has; the frame count of its header does not make up the rest.
TEST(JobSourceLimits, ACutDsfHoldsOnlyTheFramesOfEveryChannel) {
    sxtest::TempDir dir;
    // Stereo, 4000 frames: the header claims them, block 1 holds channel 1's
    // 500 bytes, block 2 channel 2's.
    const std::vector<uint8_t> whole = sxgen::dsf(2822400, {dsdBytes(500, 7), dsdBytes(500, 8)});
    const size_t audioAt = whole.size() - 8192;
    struct Row {
        const char *what;
        size_t keep;     // bytes of the data chunk's payload kept
        int64_t frames;  // frames the file holds
    } rows[] = {
        {"cut inside channel 1's block", 300, 0},
        {"cut where channel 2's block starts", 4096, 0},
        {"cut after 100 bytes of channel 2", 4096 + 100, 800},
        {"whole", 8192, 4000},
    };
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const std::string src = dir.file("c" + std::to_string(n++) + ".dsf");
        sxtest::writeAll(src, std::vector<uint8_t>(whole.begin(), whole.begin() + long(audioAt + row.keep)));

        tAudioFileInfoAFile info;
        std::vector<int16_t> u = sxtest::u16(src);
        int q = 0;
        capture([&] { q = getAudioFileInfo(u.data(), &info); });
        ASSERT_EQ(q, 0);
        const uint64_t bytes = (uint64_t(info.dataBytesHigh) << 32) | info.dataBytesLow;
        EXPECT_EQ(int64_t(bytes * 8 / 2), row.frames);

        for (uint32_t type : {kWavType, kDsfType}) {
            const std::string out = src + (type == kWavType ? ".wav" : ".out.dsf");
            Options o = type == kWavType ? job(src, out, kWavType, 88200, 24) : job(src, out, kDsfType, 2822400, 1);
            int r = 0;
            capture([&] { r = runJob(o, nullptr); });
            if (row.frames == 0) {
                EXPECT_EQ(r, kMorphexErrNothingToRead) << type;
                EXPECT_FALSE(std::filesystem::exists(out)) << type;
            } else {
                ASSERT_EQ(r, 0) << type;
                EXPECT_EQ(outputFrames(out, type, 2, type == kWavType ? 24 : 1),
                          type == kWavType ? row.frames / 32 : row.frames)
                    << type;
            }
        }
    }
}

// Rates the system neither plays nor converts are refused before anything
// is written, whatever the output; a file query still describes the file.
// The rates it takes pass this check (a pair may still be beyond the rate
// converter's reach, which has its own code).
TEST(JobSourceLimits, UnplayableSourceRatesAreRefusedBeforeWriting) {
    sxtest::TempDir dir;
    struct Row {
        const char *what;
        std::string src;
        bool refused;
    };
    std::vector<Row> rows;
    for (uint32_t rate : {1u, 7999u, 768001u, 2822400u}) {
        const std::string p = dir.file("w" + std::to_string(rate) + ".wav");
        sxtest::writeAll(p, makeWav(rate, 16, 2, 1, 1000, sine(1, 1000, 0.5)));
        rows.push_back({"WAV", p, true});
    }
    for (uint32_t rate : {8000u, 768000u}) {
        const std::string p = dir.file("w" + std::to_string(rate) + ".wav");
        sxtest::writeAll(p, makeWav(rate, 16, 2, 1, 1000, sine(1, 1000, 0.5)));
        rows.push_back({"WAV at a limit", p, false});
    }
    for (uint32_t rate : {1u, 44100u, 1411200u, 2822401u, 45158400u}) {
        const std::string p = dir.file("d" + std::to_string(rate) + ".dff");
        sxtest::writeAll(p, sxgen::dsdiff(rate, {dsdBytes(13000, 9), dsdBytes(13000, 10)}));
        rows.push_back({"DSDIFF", p, true});
    }
    for (uint32_t rate : {6144000u, 24576000u, 22579200u}) {
        const std::string p = dir.file("d" + std::to_string(rate) + ".dff");
        sxtest::writeAll(p, sxgen::dsdiff(rate, {dsdBytes(13000, 9), dsdBytes(13000, 10)}));
        rows.push_back({"DSDIFF family rate", p, false});
    }
    for (const Row &row : rows) {
        for (uint32_t type : {kWavType, kDsfType}) {
            SCOPED_TRACE(std::string(row.what) + " " + row.src + " -> " + std::to_string(type));
            const std::string out = row.src + ".out" + std::to_string(type);
            Options o =
                type == kWavType ? job(row.src, out, kWavType, 44100, 24) : job(row.src, out, kDsfType, 2822400, 1);
            int r = 0;
            const std::string said = capture([&] { r = runJob(o, nullptr); });
            if (row.refused) {
                EXPECT_EQ(r, kMorphexErrBadParams);
                EXPECT_NE(said.find("Search FMT Chunk Error!\n"), std::string::npos) << said;
                EXPECT_FALSE(std::filesystem::exists(out));
            } else {
                EXPECT_NE(r, kMorphexErrBadParams);
                EXPECT_EQ(said.find("Search FMT Chunk Error!"), std::string::npos) << said;
            }
        }
        tAudioFileInfoAFile info;
        std::vector<int16_t> u = sxtest::u16(row.src);
        int q = 0;
        capture([&] { q = getAudioFileInfo(u.data(), &info); });
        EXPECT_EQ(q, 0) << row.src;
    }
}

// Channel counts and word lengths the job cannot convert are refused
// before a buffer is sized from them (a header claiming 64,000 channels
// must not cost gigabytes of memory first), and nothing is written.
TEST(JobSourceLimits, HostileChannelCountsAndWordLengthsAreRefusedFirst) {
    sxtest::TempDir dir;
    struct Row {
        const char *what;
        uint16_t channels, bits;
        size_t dataBytes;
    } rows[] = {
        {"64000 channels, 64 KB", 64000, 16, 65536},
        {"65535 channels, less than a frame", 65535, 16, 100},
        {"8 bits", 2, 8, 4000},
        {"20 bits", 2, 20, 4000},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<uint8_t> f = sxtest::wavHeader(44100, row.bits, row.channels, uint32_t(row.dataBytes));
        f.resize(f.size() + row.dataBytes, 0x11);
        const std::string src = dir.file(std::to_string(row.channels) + "-" + std::to_string(row.bits) + ".wav");
        sxtest::writeAll(src, f);
        const std::string out = src + ".out.wav";
        Options o = job(src, out, kWavType, 48000, 24);
        Seen seen;
        int r = 0;
        const long peakBefore = peakResidentKb();
        const std::string said = capture([&] { r = runJob(o, &seen); });
        EXPECT_EQ(r, kMorphexErrWavUnpack);
        EXPECT_NE(said.find("Wav to PCM Error!\n"), std::string::npos) << said;
        EXPECT_FALSE(std::filesystem::exists(out));
        // Counted in memory, not in time: a buffer sized from the header
        // and filled would raise the peak by hundreds of megabytes.
        EXPECT_LT(peakResidentKb() - peakBefore, 128L * 1024) << "memory was sized from the header";
    }
}

// Marks near the end of a DSD source stay inside the output, which now
// runs to the source's end; a mark beyond the frames actually written (a
// mono DSF output drops the last partial byte of a rate change) is left out
// rather than pointing past the audio.
TEST(JobSourceLimits, MarksStayInsideTheWrittenAudio) {
    sxtest::TempDir dir;
    struct Row {
        uint16_t channels;
        uint32_t rate, outType, outRate, outBits;
        uint64_t frames, near, last;  // source frames and the two marks
        int64_t written;
        int32_t kept;
    } rows[] = {
        {2, 2822400, kWavType, 88200, 24, 80000, 80000 - 64, 80000 - 8, 2500, 2},
        // 65536 frames at 3.072 MHz give 60211 at DSD64, of which 60208
        // are written; the last mark would land at 60210.
        {1, 3072000, kDsfType, 2822400, 1, 65536, 65000, 65535, 60208, 1},
    };
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.outType);
        const std::string src = dir.file("marks" + std::to_string(n) + ".dff");
        {
            std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
            FILE *fp = std::fopen(src.c_str(), "wb+");
            ASSERT_NE(fp, nullptr);
            const tBwfHdrParam p = sxtest::hdrParam(row.channels, 1, row.rate);
            ASSERT_EQ(audiofile_createHeader(kAudioFileDSDIFF, fp, &p, 1), 0);
            uint64_t off = 0, data = 0, audio = 0;
            ASSERT_EQ(audiofile_searchData(kAudioFileDSDIFF, fp, &off, &data, &audio), 0);
            const std::vector<uint8_t> bytes = dsdBytes(row.frames / 8 * row.channels, 11);
            ASSERT_EQ(v_lseek(fp, int64_t(off), 0), 0);
            ASSERT_EQ(v_write(fp, bytes.data(), uint32_t(bytes.size())), bytes.size());
            ASSERT_EQ(gMarkList.create(0), kMarkOk);
            char a[16] = "NEAR", b[16] = "LAST";
            ASSERT_EQ(gMarkList.addMark(0, 1, -1, a, row.near, row.near, 5), kMarkOk);
            ASSERT_EQ(gMarkList.addMark(0, 1, -1, b, row.last, row.last, 5), kMarkOk);
            ASSERT_EQ(gMarkList.setModifyFlag(0), kMarkOk);
            ASSERT_EQ(audiofile_updateDataSize(kAudioFileDSDIFF, fp, bytes.size(), row.frames), 0);
            ASSERT_EQ(audiofile_saveCueData(kAudioFileDSDIFF, fp, -1, 0, row.frames), 0);
            std::fclose(fp);
        }
        Options o = job(src, dir.file("o" + std::to_string(n++)), row.outType, row.outRate, row.outBits, row.channels);
        int r = 0;
        capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0);
        const int64_t written = outputFrames(o.dst, row.outType, row.channels, row.outBits);
        EXPECT_EQ(written, row.written);

        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        FILE *fp = nullptr;
        std::vector<int16_t> p = sxtest::u16(o.dst);
        ASSERT_EQ(v_open(&fp, p.data(), "rb"), 0);
        ASSERT_EQ(gMarkList.create(3), kMarkOk);
        // Loaded against a longer length, so that the loader keeps whatever
        // the file holds.
        ASSERT_EQ(audiofile_loadCueData(row.outType == kWavType ? kAudioFileWAV : kAudioFileDSF, fp,
                                        uint64_t(written) + 1000, 3),
                  0);
        v_close(fp);
        int32_t count = 0;
        gMarkList.getMarkCnt(3, &count);
        ASSERT_EQ(count, row.kept);
        for (int i = 0; i < count; ++i) {
            uint64_t pos = 0;
            gMarkList.getMarkFs(3, i, &pos);
            EXPECT_LE(int64_t(pos), written) << i;
        }
    }
}

// A DSF file has no start time: a successful export to DSF does not try to
// store one, and so does not report a failure to.
TEST(JobSourceLimits, ADsfExportStoresNoStartTimeAndReportsNoError) {
    sxtest::TempDir dir;
    const std::string wav = wavSource(dir, "s.wav", 24, 1, 4410);
    for (uint32_t type : {kDsfType, kDffType}) {
        Options o = job(wav, dir.file("o" + std::to_string(type)), type, 2822400, 1);
        int r = 0;
        const std::string said = capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0);
        EXPECT_EQ(said.find("Error!"), std::string::npos) << type << ": " << said;
    }
}

// Between the rate families an export keeps the source's time base: a sine
// comes out on the exact time grid of the output rate, with no drift from
// block to block.
TEST(JobSourceLimits, ARateChangeAcrossFamiliesKeepsTheTimeBase) {
    sxtest::TempDir dir;
    const std::string src = dir.file("s768.wav");
    sxtest::writeAll(src, makeWav(768000, 24, 2, 1, 384000, sine(1000, 768000, 0.5)));
    Options o = job(src, dir.file("o.wav"), kWavType, 44100, 24);
    int r = 0;
    capture([&] { r = runJob(o, nullptr); });
    ASSERT_EQ(r, 0);
    const std::vector<double> s = wavSamples(o.dst);
    ASSERT_EQ(s.size(), 2u * 22050);
    double worst = 0;
    for (size_t n = 2000; n < 20000; ++n)
        for (int c = 0; c < 2; ++c)
            worst = std::max(worst, std::fabs(s[2 * n + c] - sine(1000, 44100, 0.5)(uint32_t(n), c)));
    // What remains is the pre-roll's whole-frame rounding (under 0.6 us,
    // 0.002 here); a drifting block grid is off by a third of full scale.
    EXPECT_LT(worst, 5e-3);
}
