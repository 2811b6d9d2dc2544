// The conversion engine end to end, in process: result codes and their
// lines, bit-exact paths, ranges and marks, feed jobs and the ring, cancels,
// the DSF tail, short writes and jobs running side by side.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "audiofile/wavfile.h"
#include "morphextestutil.h"

using namespace mxtest;

namespace {

// Converts a WAV into a DSD file with the engine itself.
std::string dsdSource(const sxtest::TempDir &dir, const std::string &name, uint32_t type, uint32_t rate,
                      uint32_t frames = 20000, uint16_t channels = 2) {
    const std::string wav = wavSource(dir, name + ".src.wav", 24, 1, frames, 44100, channels);
    Options o;
    o.src = wav;
    o.dst = dir.file(name);
    o.type = type;
    o.rate = rate;
    o.bits = 1;
    o.channels = channels;
    int r = 0;
    capture([&] { r = runJob(o, nullptr); });
    EXPECT_EQ(r, 0) << name;
    return o.dst;
}

std::vector<uint8_t> wavData(const std::string &path) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    size_t off = 0;
    uint32_t size = 0;
    if (!riffChunk(f, "data", &off, &size) || off + size > f.size()) return {};
    return std::vector<uint8_t>(f.begin() + long(off), f.begin() + long(off + size));
}

uint32_t wavDataSize(const std::string &path) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    size_t off = 0;
    uint32_t size = 0xFFFFFFFF;
    riffChunk(f, "data", &off, &size);
    return size;
}

}  // namespace

TEST(MorphexJob, SetUpFailuresGiveTheirCodesAndLines) {
    sxtest::TempDir dir;
    const std::string good = wavSource(dir, "good.wav", 16, 1, 1000);
    sxtest::writeAll(dir.file("junk.wav"), std::vector<uint8_t>(4096, 0x41));
    sxtest::writeAll(dir.file("dsf-named.xyz"), sxtest::readAll(dsdSource(dir, "real.dsf", 2, 2822400)));
    sxtest::writeAll(dir.file("ext32.wav"), makeWav(44100, 32, 2, 0xFFFE, 100, sine(1000, 44100, 0.5)));
    sxtest::writeAll(dir.file("ext24.wav"), makeWav(44100, 24, 2, 0xFFFE, 100, sine(1000, 44100, 0.5)));
    struct Row {
        const char *what;
        std::string src, dst;
        int sources;
        int code;
        const char *line;
    } rows[] = {
        {"no source", dir.file("none.wav"), dir.file("o1.wav"), 1, kMorphexErrReadOpen, "Read File Open Error!"},
        {"two sources", good, dir.file("o2.wav"), 2, kMorphexErrSourceCount, nullptr},
        {"zero sources", good, dir.file("o3.wav"), 0, kMorphexErrSourceCount, nullptr},
        {"folder missing", good, dir.file("nofolder/o4.wav"), 1, kMorphexErrWriteOpen, "Write File Open Error!"},
        {"not a WAV", dir.file("junk.wav"), dir.file("o5.wav"), 1, kMorphexErrCheckHeader, "Check Header Error!"},
        {"unknown extension is read as WAV", dir.file("dsf-named.xyz"), dir.file("o6.wav"), 1, kMorphexErrCheckHeader,
         "Check Header Error!"},
        {"32-bit extensible", dir.file("ext32.wav"), dir.file("o7.wav"), 1, kMorphexErrFmtKind,
         "Search FMT Chunk Error!"},
        {"destination is the source", good, good, 1, kMorphexErrSameFile, "Write File Is Read File Error!"},
    };
    const std::vector<uint8_t> goodBytes = sxtest::readAll(good);
    for (const Row &row : rows) {
        Seen seen;
        Options o;
        o.src = row.src;
        o.dst = row.dst;
        o.sourceCount = row.sources;
        int r = 0;
        const std::string out = capture([&] { r = runJob(o, &seen); });
        EXPECT_EQ(r, row.code) << row.what;
        if (row.line) {
            EXPECT_NE(out.find(std::string(row.line) + "\n"), std::string::npos) << row.what << ": " << out;
        }
        EXPECT_TRUE(seen.slots.empty()) << row.what;
        EXPECT_EQ(seen.errorCalls, 0) << row.what;  // nothing was allocated for the loop yet
        if (row.code == kMorphexErrSourceCount) {
            EXPECT_FALSE(std::filesystem::exists(row.dst)) << row.what;
        }
    }
    // The refused destination left the source as it was.
    EXPECT_EQ(sxtest::readAll(good), goodBytes);

    // A 24-bit file with the extensible tag passes the format check.
    Options o;
    o.src = dir.file("ext24.wav");
    o.dst = dir.file("ext24-out.wav");
    int r = 0;
    capture([&] { r = runJob(o, nullptr); });
    EXPECT_EQ(r, 0);
}

// The unpackers take one or two channels; a channel count that does not
// fit their byte must be refused like any other, not wrap to 1 or 2 and
// convert the interleaved frames as if they were stereo.
TEST(MorphexJob, ChannelCountsTheUnpackerCannotTakeFail) {
    sxtest::TempDir dir;
    for (uint16_t channels : {3, 258}) {
        const std::string tag = std::to_string(channels);
        Seen seen;
        Options o;
        o.src = wavSource(dir, "c" + tag + ".wav", 16, 1, 2000, 44100, channels);
        o.dst = dir.file("o" + tag + ".wav");
        int r = 0;
        const std::string out = capture([&] { r = runJob(o, &seen); });
        EXPECT_EQ(r, kMorphexErrWavUnpack) << channels;
        EXPECT_NE(out.find("Wav to PCM Error!\n"), std::string::npos) << channels << ": " << out;
        EXPECT_EQ(seen.errorCalls, 1) << channels;
    }
}

TEST(MorphexJob, NothingToReadWaitsForReleaseAndGives30) {
    sxtest::TempDir dir;
    Seen seen;
    seen.releaseAfter = 3;
    Options o;
    o.src = wavSource(dir, "s.wav", 16, 1, 1000);
    o.dst = dir.file("o.wav");
    o.start = 500;
    o.end = 500;
    int r = 0;
    capture([&] { r = runJob(o, &seen); });
    EXPECT_EQ(r, kMorphexErrNothingToRead);
    EXPECT_EQ(seen.statusCalls, 3);
    EXPECT_TRUE(seen.slots.empty());
}

TEST(MorphexJob, FloatWavAtTheSameRateIsSampleIdentical) {
    sxtest::TempDir dir;
    for (uint16_t ch : {1, 2}) {
        const std::string src = dir.file("f" + std::to_string(ch) + ".wav");
        // Odd values that no scaling would keep: every bit must pass.
        sxtest::writeAll(src, makeWav(96000, 32, ch, 3, 200001, [](uint32_t f, int c) {
                             return std::sin(f * 0.001 + c) * 0.9 + 1e-7 * (f % 7);
                         }));
        Options o;
        o.src = src;
        o.dst = dir.file("o" + std::to_string(ch) + ".wav");
        o.rate = 96000;
        o.bits = 32;
        o.channels = ch;
        Seen seen;
        int r = 0;
        capture([&] { r = runJob(o, &seen); });
        ASSERT_EQ(r, 0);
        EXPECT_EQ(wavData(o.dst), wavData(src)) << ch;
        EXPECT_EQ(seen.produced.back(), 200001u);
    }
}

TEST(MorphexJob, RateChangeKeepsLengthLevelAndFrequency) {
    sxtest::TempDir dir;
    const uint32_t frames = 44100;
    Options o;
    o.src = wavSource(dir, "s.wav", 16, 1, frames);
    o.dst = dir.file("o.wav");
    o.rate = 48000;
    o.bits = 24;
    Seen seen;
    int r = 0;
    const std::string out = capture([&] { r = runJob(o, &seen); });
    ASSERT_EQ(r, 0);
    EXPECT_EQ(out, "");  // the library prints only on a failure
    EXPECT_EQ(seen.blockFrames, 1280);
    const uint64_t want = uint64_t(frames) * 160 / 147;
    EXPECT_EQ(seen.produced.back(), want);
    std::vector<uint8_t> d = wavData(o.dst);
    ASSERT_EQ(d.size(), want * 6);
    // Least-squares fit of a 997 Hz sine over the left channel after the
    // first block: amplitude 0.5, and what is left over is the 16-bit source's
    // noise, not a misplaced or missing stretch of frames.
    const size_t from = 1280, n = want - from - 100;
    const double w = 2 * M_PI * 997.0 / 48000.0;
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t *q = &d[(from + i) * 6];
        const int32_t v = int32_t((uint32_t(q[0]) << 8) | (uint32_t(q[1]) << 16) | (uint32_t(q[2]) << 24)) >> 8;
        x[i] = v / 8388608.0;
        const double sn = std::sin(w * double(from + i)), cs = std::cos(w * double(from + i));
        ss += sn * sn, sc += sn * cs, cc += cs * cs, xs += x[i] * sn, xc += x[i] * cs;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double resid = 0;
    for (size_t i = 0; i < n; ++i) {
        const double e = x[i] - a * std::sin(w * double(from + i)) - b * std::cos(w * double(from + i));
        resid += e * e;
    }
    EXPECT_NEAR(std::hypot(a, b), 0.5, 0.0005);
    EXPECT_LT(10 * std::log10(resid / n / 0.125), -85.0);  // residue re the sine's power
    // Blocks of 1280 frames go round the ring.
    ASSERT_GT(seen.slots.size(), 3u);
    for (size_t i = 0; i < seen.slots.size(); ++i) EXPECT_EQ(seen.slots[i], int(i % 64));
    EXPECT_EQ(seen.frames[0], 1280);
    EXPECT_EQ(seen.filterDelay, 0);
    EXPECT_EQ(seen.outRate, 48000);
}

TEST(MorphexJob, MarksInsideTheRangeMoveWithIt) {
    sxtest::TempDir dir;
    const std::string src = wavSource(dir, "s.wav", 16, 1, 20000);
    {
        // Marks at 1500, at the end frame 5000 and one frame after it.
        std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
        ASSERT_EQ(gMarkList.create(1), kMarkOk);
        char a[16] = "MARK01", b[16] = "MARK02", c[16] = "MARK03";
        ASSERT_EQ(gMarkList.addMark(1, 1, -1, a, 1500, 1500, 5), kMarkOk);
        ASSERT_EQ(gMarkList.addMark(1, 1, -1, b, 5000, 5000, 5), kMarkOk);
        ASSERT_EQ(gMarkList.addMark(1, 1, -1, c, 5001, 5001, 5), kMarkOk);
        ASSERT_EQ(gMarkList.setModifyFlag(1), kMarkOk);
        FILE *fp = nullptr;
        std::vector<int16_t> p = sxtest::u16(src);
        ASSERT_EQ(v_open(&fp, p.data(), "r+b"), 0);
        gClass_WavFile wav;
        ASSERT_EQ(wav.saveCueData(fp, -1, 1, 20000), 0);
        v_close(fp);
    }
    Options o;
    o.src = src;
    o.dst = dir.file("o.wav");
    o.rate = 88200;
    o.start = 1000;
    o.end = 5000;
    int r = 0;
    capture([&] { r = runJob(o, nullptr); });
    ASSERT_EQ(r, 0);
    EXPECT_EQ(wavData(o.dst).size(), 8000u * 6);

    std::lock_guard<std::mutex> lock(gMorphexMarkListMutex);
    FILE *fp = nullptr;
    std::vector<int16_t> p = sxtest::u16(o.dst);
    ASSERT_EQ(v_open(&fp, p.data(), "rb"), 0);
    gClass_WavFile wav;
    ASSERT_EQ(wav.loadCueData(fp, 8000, 2), 0);
    v_close(fp);
    int32_t count = 0;
    gMarkList.getMarkCnt(2, &count);
    ASSERT_EQ(count, 2);
    uint64_t pos = 0;
    char name[kMarkNameBytes];
    gMarkList.getMarkFs(2, 0, &pos);
    EXPECT_EQ(pos, 1000u);
    gMarkList.getMarkName(2, 0, name);
    EXPECT_STREQ(name, "MARK01");
    gMarkList.getMarkFs(2, 1, &pos);
    // The end frame itself maps to the output's length, which the WAV mark
    // reader takes as its last frame.
    EXPECT_GE(pos, 7999u);
    gMarkList.getMarkName(2, 1, name);
    EXPECT_STREQ(name, "MARK02");
}

TEST(MorphexJob, FeedJobHandsBlocksAndWritesNothing) {
    sxtest::TempDir dir;
    const std::string src = wavSource(dir, "s.wav", 16, 1, 188160 * 2 + 5000);
    for (int ring : {1, 2}) {
        Options o;
        o.src = src;
        o.dst = dir.file("never.wav");
        o.command = kMorphexComFeedOnly;
        o.ring = ring;
        Seen seen;
        seen.releaseAfter = 2;
        tMorphexCom com;
        int progress = -1;
        int r = 0;
        capture([&] { r = runJob(o, &seen, &com, &progress); });
        ASSERT_EQ(r, 0);
        EXPECT_FALSE(std::filesystem::exists(o.dst));
        // Blocks of 188160 frames at equal rates.
        ASSERT_EQ(seen.frames.size(), 3u);
        EXPECT_EQ(seen.frames[0], 188160);
        EXPECT_EQ(seen.frames[2], 5000);
        EXPECT_EQ(seen.produced.back(), 188160u * 2 + 5000);
        for (size_t i = 0; i < seen.slots.size(); ++i) EXPECT_EQ(seen.slots[i], int(i % ring));
        // The end bit is up and progress at 100 before the job waits.
        EXPECT_TRUE(seen.endBitAtStatus);
        EXPECT_EQ(seen.progressAtStatus, 100);
        EXPECT_EQ(seen.statusCalls, 2);
        EXPECT_EQ(com.command, kMorphexComFeedOnly | kMorphexComEndBit);
    }
}

TEST(MorphexJob, CancelAtTheFirstBlockLeavesAConsistentFile) {
    sxtest::TempDir dir;
    const std::string wav = wavSource(dir, "s.wav", 16, 1, 200000);
    const std::string dsf = dsdSource(dir, "s.dsf", 2, 2822400);
    struct Row {
        std::string src;
        uint32_t type, rate, bits;
        int code;
    } rows[] = {
        {wav, 0, 44100, 24, kMorphexCancelPcm},
        {wav, 2, 2822400, 1, kMorphexCancelDsd},
        {dsf, 3, 2822400, 1, kMorphexCancelDsd},
    };
    for (const Row &row : rows) {
        Options o;
        o.src = row.src;
        o.dst = dir.file("cancel" + std::to_string(row.type) + (row.src == dsf ? "d" : "w"));
        o.dst += row.type == 0 ? ".wav" : row.type == 2 ? ".dsf" : ".dff";
        o.type = row.type;
        o.rate = row.rate;
        o.bits = row.bits;
        Seen seen;
        seen.cancelAt = 0;
        tMorphexCom com;
        int r = 0;
        capture([&] { r = runJob(o, &seen, &com); });
        EXPECT_EQ(r, row.code) << o.dst;
        EXPECT_EQ(seen.slots.size(), 1u);
        EXPECT_EQ(seen.statusCalls, 1);
        EXPECT_EQ(seen.errorCalls, 1);
        EXPECT_EQ(com.command, kMorphexComWriteFile);  // no end bit
        DsdAudio a;
        if (row.type == 0) {
            EXPECT_EQ(wavDataSize(o.dst), 0u);
        } else if (row.type == 2) {
            ASSERT_TRUE(readDsf(o.dst, &a));
            EXPECT_EQ(a.frames, 0u);
            EXPECT_EQ(a.dataBytes, 0u);
        } else {
            ASSERT_TRUE(readDff(o.dst, &a));
            EXPECT_EQ(a.dataBytes, 0u);
        }
    }
}

TEST(MorphexJob, DsdToDsdAtTheSameRateKeepsEveryBit) {
    sxtest::TempDir dir;
    for (uint16_t ch : {1, 2}) {
        const std::string tag = std::to_string(ch);
        const std::string dsf = dsdSource(dir, "a" + tag + ".dsf", 2, 5644800, 30000, ch);
        DsdAudio s;
        ASSERT_TRUE(readDsf(dsf, &s));
        ASSERT_EQ(s.channels, ch);
        const uint64_t frames = s.frames;

        // DSF -> DSDIFF -> DSF.
        Options o;
        o.src = dsf;
        o.dst = dir.file("b" + tag + ".dff");
        o.type = 3;
        o.rate = 5644800;
        o.bits = 1;
        o.channels = ch;
        int r = 0;
        capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0);
        DsdAudio d;
        ASSERT_TRUE(readDff(o.dst, &d));
        EXPECT_EQ(d.frames, frames);
        for (int c = 0; c < ch; ++c) {
            ASSERT_EQ(d.ch[c].size(), frames / 8);
            EXPECT_TRUE(std::equal(d.ch[c].begin(), d.ch[c].end(), s.ch[c].begin())) << c;
        }
        o.src = o.dst;
        o.dst = dir.file("c" + tag + ".dsf");
        o.type = 2;
        capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0);
        DsdAudio e;
        ASSERT_TRUE(readDsf(o.dst, &e));
        EXPECT_EQ(e.frames, frames);
        EXPECT_EQ(e.dataBytes, s.dataBytes);
        for (int c = 0; c < ch; ++c) EXPECT_EQ(e.ch[c], s.ch[c]) << c;  // padding included

        // A range rounds to whole bytes: start 13 -> 8, end 1007 -> 1000.
        o.src = dsf;
        o.dst = dir.file("r" + tag + ".dff");
        o.type = 3;
        o.start = 13;
        o.end = 1007;
        capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0);
        DsdAudio g;
        ASSERT_TRUE(readDff(o.dst, &g));
        EXPECT_EQ(g.frames, 992u);
        for (int c = 0; c < ch; ++c) EXPECT_TRUE(std::equal(g.ch[c].begin(), g.ch[c].end(), s.ch[c].begin() + 1)) << c;
    }
}

// The unfiltered hold form: every output frame is the source frame at or
// before its time, raising the rate or lowering it, from a PCM source (which
// reaches the converter at its own rate, behind its pre-roll) or a DSD one
// (+-2 per bit), over several blocks. A DSD output's blocks carry the
// modulator's scale like those of every other path.
TEST(MorphexJob, HoldStyleGivesTheSourceFrameAtOrBeforeEachOutputFrame) {
    sxtest::TempDir dir;
    std::mt19937 gen(56);
    std::uniform_real_distribution<float> d(-0.9f, 0.9f);
    std::map<uint32_t, std::vector<float>> pcm;
    std::map<uint32_t, std::string> pcmPath;
    const uint32_t pcmFrames = 6000;
    for (uint32_t rate : {44100u, 88200u, 96000u, 192000u, 384000u}) {
        std::vector<float> &x = pcm[rate];
        for (uint32_t i = 0; i < 2 * pcmFrames; ++i) x.push_back(d(gen));
        pcmPath[rate] = dir.file("h" + std::to_string(rate) + ".wav");
        sxtest::writeAll(pcmPath[rate],
                         makeWav(rate, 32, 2, 3, pcmFrames, [&](uint32_t f, int c) { return double(x[2 * f + c]); }));
    }
    const std::string dsf = dsdSource(dir, "h.dsf", 2, 2822400, 700, 2);  // 44800 frames
    DsdAudio s;
    ASSERT_TRUE(readDsf(dsf, &s));

    struct Row {
        uint32_t in;  // 2822400: the DSD source
        uint32_t type, out, bits;
    } rows[] = {
        {44100, 0, 48000, 32},   {44100, 0, 88200, 32},  {96000, 0, 44100, 32},    {192000, 0, 44100, 32},
        {192000, 0, 88200, 32},  {384000, 0, 44100, 32}, {192000, 2, 2822400, 1},  {192000, 3, 5644800, 1},
        {44100, 3, 11289600, 1}, {88200, 2, 5644800, 1}, {2822400, 3, 5644800, 1}, {2822400, 0, 88200, 32},
    };
    for (const Row &row : rows) {
        const std::string what = std::to_string(row.in) + " -> " + std::to_string(row.out);
        const bool dsdIn = row.in == 2822400;
        const int64_t frames = dsdIn ? int64_t(s.frames) : pcmFrames;
        Options o;
        o.src = dsdIn ? dsf : pcmPath[row.in];
        o.dst = dir.file("o.out");
        o.type = row.type;
        o.rate = row.out;
        o.bits = row.bits;
        o.option = 1;
        o.ring = 1;
        Seen seen;
        seen.keepPcm = true;
        int r = -1;
        capture([&] { r = runJob(o, &seen); });
        ASSERT_EQ(r, 0) << what;
        const int64_t want = frames * row.out / row.in;
        ASSERT_EQ(int64_t(seen.pcm.size()), 2 * want) << what;
        const double scale = row.type == 0 ? 1.0 : 0x1p54;
        auto source = [&](int64_t k, int c) {
            if (!dsdIn) return double(pcm[row.in][2 * k + c]);
            return (s.ch[c][k / 8] & (0x80 >> (k % 8))) ? 2.0 : -2.0;
        };
        for (int64_t i = 0; i < want; ++i) {
            const int64_t k = i * row.in / row.out;
            for (int c = 0; c < 2; ++c)
                ASSERT_EQ(seen.pcm[2 * i + c], scale * source(k, c)) << what << " frame " << i << " channel " << c;
        }
    }
}

TEST(MorphexJob, DsfExportEmitsItsLastBlockGroupAndCountsItsFrames) {
    sxtest::TempDir dir;
    // 44100 frames -> 2822400 frames at DSD64: 86 whole 32768-frame groups
    // and 4352 frames in an unfinished one, which must not be lost. And a
    // length that the blocks end on exactly (188160 = 5 groups + 24320).
    for (uint32_t frames : {44100u, 2940u}) {
        const std::string wav = wavSource(dir, "s" + std::to_string(frames) + ".wav", 24, 1, frames);
        Options o;
        o.src = wav;
        o.dst = dir.file("o" + std::to_string(frames) + ".dsf");
        o.type = 2;
        o.rate = 2822400;
        o.bits = 1;
        Seen seen;
        int r = 0;
        capture([&] { r = runJob(o, &seen); });
        ASSERT_EQ(r, 0);
        const uint64_t want = uint64_t(frames) * 64;
        EXPECT_EQ(seen.produced.back(), want);
        DsdAudio a;
        ASSERT_TRUE(readDsf(o.dst, &a));
        EXPECT_EQ(a.frames, want);
        EXPECT_EQ(a.dataBytes, (want + 32767) / 32768 * 8192);
        // The tail after the last frame is padding, stored as 0x96.
        const uint64_t used = want / 8;
        for (uint64_t i = used; i < a.ch[0].size(); ++i) ASSERT_EQ(reverseBits(a.ch[0][i]), 0x96) << i;
    }
}

TEST(MorphexJob, MonoOutputOfTheRightPassTakesTheRightChannel) {
    sxtest::TempDir dir;
    const std::string src = dir.file("lr.wav");
    sxtest::writeAll(src, makeWav(44100, 32, 2, 3, 1000, [](uint32_t f, int c) { return c ? 0.25 + f * 1e-6 : -0.5; }));
    for (uint8_t right : {0, 1}) {
        Options o;
        o.src = src;
        o.dst = dir.file("m" + std::to_string(right) + ".wav");
        o.bits = 32;
        o.channels = 1;
        o.rightPass = right;
        int r = 0;
        capture([&] { r = runJob(o, nullptr); });
        ASSERT_EQ(r, 0);
        std::vector<uint8_t> d = wavData(o.dst);
        ASSERT_EQ(d.size(), 4000u);
        float v;
        std::memcpy(&v, &d[4 * 10], 4);
        EXPECT_FLOAT_EQ(v, right ? float(0.25 + 10e-6) : -0.5f);
    }
}

TEST(MorphexJob, AnExportBesideFeedJobsWritesTheSameFile) {
    sxtest::TempDir dir;
    const std::string wav = wavSource(dir, "s.wav", 24, 1, 30000);
    const std::string dsf = dsdSource(dir, "feed.dsf", 2, 2822400, 40000);
    auto exportJob = [&](const std::string &dst) {
        Options o;
        o.src = wav;
        o.dst = dst;
        o.type = 2;
        o.rate = 2822400;
        o.bits = 1;
        o.envelopeActive = 1;
        return runJob(o, nullptr);
    };
    int r = 0;
    capture([&] { r = exportJob(dir.file("alone.dsf")); });
    ASSERT_EQ(r, 0);

    // Feed jobs of two tracks keep starting while the export runs: each start
    // would reset shared fade, pure-DSD, DSF packer and mark state.
    std::atomic<bool> done{false};
    auto feeds = [&](int track) {
        while (!done) {
            Options o;
            o.src = track ? dsf : wav;
            o.dst = dir.file("none");
            o.command = kMorphexComFeedOnly;
            o.type = track ? 2 : 0;
            o.rate = track ? 2822400 : 48000;
            o.bits = track ? 1 : 24;
            o.feedLimit = 1;
            Seen seen;
            (void)runJob(o, &seen);
        }
    };
    int rr = 0;
    capture([&] {
        std::thread a(feeds, 0), b(feeds, 1);
        rr = exportJob(dir.file("beside.dsf"));
        done = true;
        a.join();
        b.join();
    });
    ASSERT_EQ(rr, 0);
    EXPECT_EQ(sxtest::readAll(dir.file("beside.dsf")), sxtest::readAll(dir.file("alone.dsf")));
}

TEST(MorphexJob, ADiskThatRefusesFailsTheJobWithTheShortWriteCode) {
    sxtest::TempDir dir;
    const std::string src = wavSource(dir, "s.wav", 16, 1, 100000);
    const std::string dst = dir.file("o.wav");
    std::fflush(stdout);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The file may grow to 64 KiB: the header fits, the audio does not.
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {65536, 65536};
        setrlimit(RLIMIT_FSIZE, &lim);
        Options o;
        o.src = src;
        o.dst = dst;
        o.bits = 16;
        Seen seen;
        const int r = runJob(o, &seen);
        _exit(r == kMorphexErrShortWrite && seen.errorCalls == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LE(std::filesystem::file_size(dst), 65536u);
}
