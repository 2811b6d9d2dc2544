// Filter mode 3 end to end, in process: the per-job transform holds 65536
// points while the analysis object keeps its limit, and a whole mode-3 job
// gives, at every output frame and across every block join, the direct
// convolution with its 18496-tap filter.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "morphex/classfft.h"
#include "morphex/decimfir.h"
#include "morphex/rateplan.h"
#include "morphextestutil.h"
#include "support/rateplanjob.h"

using namespace mxtest;

namespace {

// Left and right of a 32-bit float WAV's data chunk.
std::vector<double> floatWav(const std::string &path) {
    std::vector<uint8_t> f = sxtest::readAll(path);
    size_t off = 0;
    uint32_t size = 0;
    if (!riffChunk(f, "data", &off, &size) || off + size > f.size()) return {};
    std::vector<double> v(size / 4);
    for (size_t i = 0; i < v.size(); ++i) {
        float x;
        std::memcpy(&x, &f[off + 4 * i], 4);
        v[i] = x;
    }
    return v;
}

tRatePlan planOf(uint32_t in, uint32_t out, uint32_t srcType, uint32_t srcBits, int64_t frames) {
    tRatePlanJob pj = sxtest::stereoPcmJob(in, out, srcType, 32, frames, frames);
    pj.mode = kRatePlanModeFft;
    pj.srcBits = srcBits;
    tRatePlan p;
    testing::internal::CaptureStdout();
    const int r = ratePlanMake(pj, &p);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, kRatePlanOk);
    return p;
}

// The job's filter: every designed tap (T + 1 of them for an even T).
std::vector<double> filterOf(const tRatePlan &p) {
    std::vector<double> c(2 * static_cast<size_t>(firDesignEntries(p.taps, 0)));
    gAudio_setDecimFirParam(0, p.commonRate, p.cutoff, p.taps, c.data(), p.up, p.gain, 0, 0);
    std::vector<double> h(static_cast<size_t>(p.taps) + 1);
    for (size_t m = 0; m < h.size(); ++m) h[m] = c[2 * m];
    return h;
}

// Output i = sum over m of h[m] x up[i down + m], where the input raised to
// the common rate holds source frame k - preRoll at k up and zeros between.
double direct(const std::vector<double> &h, const tRatePlan &p, const std::function<double(int64_t)> &x, int64_t i) {
    const int64_t P = i * p.down;
    const int64_t first = (P + p.up - 1) / p.up;  // first source slot at or after P
    double s = 0;
    for (int64_t k = first; k * p.up <= P + p.taps; ++k) s += h[k * p.up - P] * x(k - p.preRoll);
    return s;
}

}  // namespace

TEST(Mode3, JobTransformHoldsTheLongSizeAndTheAnalysisObjectKeepsItsLimit) {
    classFFT analysis;
    EXPECT_EQ(analysis.maxSize(), kFftMaxSize);
    EXPECT_EQ(analysis.changeFFTorder(2 * kFftMaxSize), kFftBadSize);
    EXPECT_EQ(analysis.size(), kFftMaxSize);

    const int n = kRatePlanFftSize;
    classFFT job(n);
    EXPECT_EQ(job.size(), kFftMaxSize);
    EXPECT_EQ(job.changeFFTorder(2 * n), kFftBadSize);
    EXPECT_EQ(job.changeFFTorder(3 * 16384), kFftBadSize);
    ASSERT_EQ(job.changeFFTorder(n), kFftOk);
    std::vector<double> cs(2 * n), sn(2 * n), in(2 * (n + 1)), re(2 * (n + 1)), im(2 * (n + 1)), back(2 * n);
    std::vector<uint64_t> br(n);
    job.calcFftCoef(0, cs.data(), sn.data(), br.data());
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> d(-1, 1);
    for (int k = 0; k < 2 * n; ++k) in[k] = d(gen);
    const std::vector<double> orig = in;
    ASSERT_EQ(job.doFft(0, 16, re.data(), im.data(), in.data()), kFftOk);
    // Bin 3 of each lane against the sum it stands for.
    for (int c = 0; c < 2; ++c) {
        double r3 = 0, i3 = 0;
        for (int k = 0; k < n; ++k) {
            const double a = 2 * M_PI * 3.0 * k / n;
            r3 += orig[2 * k + c] * std::cos(a);
            i3 -= orig[2 * k + c] * std::sin(a);
        }
        EXPECT_NEAR(re[6 + c], r3, 1e-9) << "lane " << c;
        EXPECT_NEAR(im[6 + c], i3, 1e-9) << "lane " << c;
    }
    ASSERT_EQ(job.doIfft(0, 16, back.data(), re.data(), im.data()), kFftOk);
    double err = 0;
    for (int k = 0; k < 2 * n; ++k) err = std::max(err, std::fabs(back[k] - orig[k]));
    EXPECT_LT(err, 1e-13);

    // A size that is no power of two builds an object that refuses every size.
    classFFT none(1000);
    EXPECT_EQ(none.maxSize(), 0);
    EXPECT_EQ(none.changeFFTorder(512), kFftBadSize);
    std::vector<double> w(4);
    EXPECT_EQ(none.applyWindowFunction(1, w.data(), w.data()), kFftBadSize);
}

// Every output frame of mode-3 jobs against the direct convolution: a seam
// at a block join, a block placed a frame off or a wrong pre-roll would all
// show. 32-bit float output: float rounding is the tolerance.
TEST(Mode3, EveryOutputFrameIsTheDirectConvolution) {
    sxtest::TempDir dir;
    struct Case {
        uint32_t in, out, frames;
        int blockOut;
    };
    const Case cases[] = {{44100, 48000, 3000, 320}, {96000, 44100, 6000, 147}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        std::mt19937 gen(c.in);
        std::uniform_real_distribution<double> d(-0.5, 0.5);
        std::vector<float> x(2 * c.frames);
        for (float &v : x) v = float(d(gen));
        const std::string src = dir.file("n" + std::to_string(c.in) + ".wav");
        sxtest::writeAll(src,
                         makeWav(c.in, 32, 2, 3, c.frames, [&](uint32_t f, int ch) { return double(x[2 * f + ch]); }));
        Options o;
        o.src = src;
        o.dst = dir.file("o" + std::to_string(c.in) + ".wav");
        o.rate = c.out;
        o.bits = 32;
        o.mode = kRatePlanModeFft;
        Seen seen;
        int r = 0;
        const std::string text = capture([&] { r = runJob(o, &seen); });
        ASSERT_EQ(r, 0) << text;
        EXPECT_EQ(text, "");
        EXPECT_EQ(seen.blockFrames, c.blockOut);

        const tRatePlan p = planOf(c.in, c.out, 0, 32, c.frames);
        ASSERT_EQ(p.taps, kRatePlanFftTaps);
        const int64_t want = int64_t(c.frames) * p.up / p.down;
        const std::vector<double> y = floatWav(o.dst);
        ASSERT_EQ(int64_t(y.size()), 2 * want);
        EXPECT_EQ(seen.produced.back(), uint64_t(want));
        EXPECT_EQ(seen.frames[0], c.blockOut);

        const std::vector<double> h = filterOf(p);
        double worst = 0;
        int64_t worstAt = -1;
        for (int ch = 0; ch < 2; ++ch) {
            auto src1 = [&](int64_t k) { return k < 0 || k >= c.frames ? 0.0 : double(x[2 * k + ch]); };
            for (int64_t i = 0; i < want; ++i) {
                const double e = std::fabs(y[2 * i + ch] - direct(h, p, src1, i));
                if (e > worst) worst = e, worstAt = i;
            }
        }
        EXPECT_LT(worst, 2e-7) << "at frame " << worstAt;
    }
}

// A DSD source: its bits are +-2 at the source rate; no pre-roll, and the
// job ends the filter's length before the source does.
TEST(Mode3, DsdSourceIsTheDirectConvolutionOfItsBits) {
    sxtest::TempDir dir;
    // The DSD source is made by the engine's time-domain path.
    const std::string wav = wavSource(dir, "s.wav", 24, 1, 3000);
    Options m;
    m.src = wav;
    m.dst = dir.file("s.dsf");
    m.type = 2;
    m.rate = 2822400;
    m.bits = 1;
    int r = 0;
    capture([&] { r = runJob(m, nullptr); });
    ASSERT_EQ(r, 0);
    DsdAudio a;
    ASSERT_TRUE(readDsf(m.dst, &a));

    Options o;
    o.src = m.dst;
    o.dst = dir.file("o.wav");
    o.rate = 88200;
    o.bits = 32;
    o.mode = kRatePlanModeFft;
    Seen seen;
    const std::string text = capture([&] { r = runJob(o, &seen); });
    ASSERT_EQ(r, 0) << text;
    EXPECT_EQ(seen.blockFrames, 1470);
    EXPECT_EQ(seen.filterDelay, kRatePlanFftTaps);

    const tRatePlan p = planOf(2822400, 88200, 2, 1, int64_t(a.frames));
    const int64_t want = int64_t(a.frames) * p.up / p.down;  // the whole duration
    const std::vector<double> y = floatWav(o.dst);
    ASSERT_EQ(int64_t(y.size()), 2 * want);
    const std::vector<double> h = filterOf(p);
    double worst = 0;
    int64_t worstAt = -1;
    for (int ch = 0; ch < 2; ++ch) {
        // Past the source's last frame the filter hears the silence pattern.
        auto bit = [&](int64_t k) {
            const uint8_t byte = k < int64_t(a.frames) ? a.ch[ch][size_t(k / 8)] : uint8_t{0x96};
            return (byte >> (7 - k % 8)) & 1 ? 2.0 : -2.0;
        };
        for (int64_t i = 0; i < want; ++i) {
            const double e = std::fabs(y[2 * i + ch] - direct(h, p, bit, i));
            if (e > worst) worst = e, worstAt = i;
        }
    }
    EXPECT_LT(worst, 2e-7) << "at frame " << worstAt;
}
