#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dsp/vsa.h"

namespace {

std::vector<std::string> gTraces;

void captureTrace(const char *message, const char *category, unsigned level, const char *, unsigned, const char *) {
    gTraces.push_back(std::string(category) + "/" + std::to_string(level) + ":" + message);
}

// A stream whose lanes differ, so that crossed lanes would show.
double streamAt(int64_t j, int lane) { return lane == 0 ? std::sin(0.01 * j) : 0.5 * std::cos(0.003 * j); }

std::vector<double> streamPart(int64_t from, int frames) {
    std::vector<double> v(2 * frames);
    for (int i = 0; i < frames; ++i) {
        v[2 * i] = streamAt(from + i, 0);
        v[2 * i + 1] = streamAt(from + i, 1);
    }
    return v;
}

struct TraceScope {
    TraceScope() {
        gTraces.clear();
        ClassVsa::sTraceFunc = captureTrace;
    }
    ~TraceScope() { ClassVsa::sTraceFunc = nullptr; }
};

}  // namespace

TEST(TimeStretch, SpeedIsLimitedAndClearsTheCarryOver) {
    ClassVsa vsa;
    EXPECT_EQ(vsa.getSpeed(), 1.0f);
    EXPECT_EQ(vsa.getSampleRate(), 44100);
    vsa.setSpeed(250.0f);
    EXPECT_EQ(vsa.getSpeed(), 2.0f);
    vsa.setSpeed(50.0f);
    EXPECT_EQ(vsa.getSpeed(), 0.5f);

    std::vector<double> out(2 * 4096);
    vsa.setVsaBuffer(out.data(), nullptr, 4096);
    const std::vector<double> in = streamPart(0, 100);
    int produced = -1;
    ASSERT_EQ(vsa.process(in.data(), 0, 100, &produced, 1024, 4096), kVsaOk);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(vsa.getCarryOver(), 100);
    vsa.setSpeed(100.0f);
    EXPECT_EQ(vsa.getCarryOver(), 0);
}

// At speed 1 the input hop equals the output hop and the segments are 2a
// long: the complementary ramps rebuild the input exactly, across calls.
TEST(TimeStretch, UnitSpeedRebuildsTheInput) {
    const int a = 12288;
    ClassVsa vsa;
    vsa.setSampleRate(48000);
    std::vector<double> out(2 * 8 * a), second(2 * 8 * a, 7.0);
    vsa.setVsaBuffer(out.data(), second.data(), 8 * a);

    int produced = 0;
    std::vector<double> in = streamPart(0, 4 * a);
    ASSERT_EQ(vsa.process(in.data(), 0, 4 * a, &produced, a, 16384), kVsaOk);
    EXPECT_EQ(produced, 3 * a);        // (4a - 2a) / a + 1 segments
    EXPECT_EQ(vsa.getTail(), a);       // 2a - a
    EXPECT_EQ(vsa.getCarryOver(), a);  // 4a - 3 hops of a
    double err = 0.0;
    for (int i = a; i < 3 * a; ++i)
        for (int c = 0; c < 2; ++c) err = std::max(err, std::fabs(out[2 * i + c] - streamAt(i, c)));
    EXPECT_LT(err, 1e-12);
    // The first segment has no tail to cross: it fades in from 0.
    EXPECT_EQ(out[0], 0.0);

    in = streamPart(4 * a, 4 * a);
    ASSERT_EQ(vsa.process(in.data(), 1, 4 * a, &produced, a, 16384), kVsaOk);
    EXPECT_EQ(produced, 4 * a);
    err = 0.0;
    for (int i = 0; i < 4 * a; ++i)
        for (int c = 0; c < 2; ++c) err = std::max(err, std::fabs(second[2 * i + c] - streamAt(3 * a + i, c)));
    EXPECT_LT(err, 1e-12);
}

TEST(TimeStretch, HalfSpeedDoublesTheLength) {
    const int a = 1024, b = 4096;  // segments of 5120, input hop 512
    ClassVsa vsa;
    vsa.setSpeed(50.0f);
    std::vector<double> out(2 * 65536);
    vsa.setVsaBuffer(out.data(), nullptr, 65536);
    std::vector<double> in(2 * 20480, 1.0);
    int produced = 0;
    ASSERT_EQ(vsa.process(in.data(), 0, 20480, &produced, a, b), kVsaOk);
    EXPECT_EQ(produced, 31 * a);
    EXPECT_EQ(vsa.getCarryOver(), 20480 - 31 * 512);
    EXPECT_EQ(vsa.getTail(), b);
    // A steady input stays steady once the crossfades overlap.
    for (int i = a; i < produced; ++i) EXPECT_NEAR(out[2 * i], 1.0, 1e-12) << i;

    vsa.invalidateCache();
    EXPECT_EQ(vsa.getCarryOver(), 0);
    EXPECT_EQ(vsa.getTail(), 0);
}

TEST(TimeStretch, TracesShortInputAndOvershoot) {
    TraceScope scope;
    ClassVsa vsa;
    std::vector<double> out(2 * 8192);
    vsa.setVsaBuffer(out.data(), nullptr, 8192);
    int produced = 0;

    // Fewer frames than one segment: nothing made, all carried over.
    std::vector<double> in = streamPart(0, 100);
    ASSERT_EQ(vsa.process(in.data(), 0, 100, &produced, 512, 128), kVsaOk);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(vsa.getCarryOver(), 100);
    ASSERT_EQ(gTraces.size(), 1u);
    EXPECT_EQ(gTraces[0], "MAIN/10:skipBlock miman!!");

    // Double speed with a short overlap: the hop (1024) outruns the segment
    // (640), so the last hop steps past the end of the input.
    vsa.setSpeed(200.0f);
    in = streamPart(0, 4000);
    ASSERT_EQ(vsa.process(in.data(), 0, 4000, &produced, 512, 128), kVsaOk);
    EXPECT_EQ(produced, 4 * 512);
    EXPECT_EQ(vsa.getCarryOver(), 4000 - 4 * 1024);
    ASSERT_EQ(gTraces.size(), 2u);
    EXPECT_EQ(gTraces[1], "MAIN/10:Minus!!");
    // The next call skips the frames already stepped past.
    in = streamPart(4000, 1000);
    ASSERT_EQ(vsa.process(in.data(), 0, 1000, &produced, 512, 128), kVsaOk);
    EXPECT_EQ(produced, 512);
    EXPECT_EQ(vsa.getCarryOver(), 904 - 1024);
    // The segment started at stream frame 4096; past the short tail it is
    // the input under the rising ramp alone.
    const double coef = 1.0 - 2.0 / (2.0 * 0.01 * 44100 / 2.3025851249694824 + 1.0);
    const double rise = 1.0 - std::pow(coef, 300);
    EXPECT_NEAR(out[2 * 300], rise * streamAt(4096 + 300, 0), 1e-9);
    EXPECT_NEAR(out[2 * 300 + 1], rise * streamAt(4096 + 300, 1), 1e-9);
    // Input shorter than the deficit is swallowed whole.
    ASSERT_EQ(vsa.process(in.data(), 0, 100, &produced, 512, 128), kVsaOk);
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(vsa.getCarryOver(), -20);
}

TEST(TimeStretch, StoppedSpeedCopiesAndBadCallsAreRefused) {
    ClassVsa vsa;
    std::vector<double> out(2 * 1000), second(2 * 1000);
    int produced = 0;
    const std::vector<double> in = streamPart(0, 1000);
    EXPECT_EQ(vsa.process(in.data(), 0, 1000, &produced, 512, 128), kVsaErrRange);  // no buffer yet
    vsa.setVsaBuffer(out.data(), second.data(), 1000);
    EXPECT_EQ(vsa.process(in.data(), 0, 1000, &produced, 0, 128), kVsaErrRange);
    EXPECT_EQ(vsa.process(in.data(), 0, 1000, &produced, 512, -1), kVsaErrRange);
    EXPECT_EQ(vsa.process(in.data(), 0, 1000, &produced, 60000, 60000), kVsaErrRange);
    EXPECT_EQ(vsa.process(in.data(), 0, 1000, nullptr, 512, 128), kVsaErrRange);

    vsa.setSpeed(0.0f);
    ASSERT_EQ(vsa.process(in.data(), 1, 1000, &produced, 512, 128), kVsaOk);
    EXPECT_EQ(produced, 1000);
    EXPECT_EQ(second, in);
    EXPECT_EQ(vsa.process(in.data(), 1, 1000, &produced, 512, 128), kVsaOk);
    std::vector<double> big(2 * 1001);
    EXPECT_EQ(vsa.process(big.data(), 1, 1001, &produced, 512, 128), kVsaErrRange);
}
