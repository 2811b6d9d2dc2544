#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/dampingfilter.h"
#include "dsp/reverb.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Steady-state gain in dB of the filter for a sine of freq Hz, measured on
// both lanes after the transient has died away.
double measuredGainDb(dampingFilter &f, double freq, int rate, int lane) {
    const int frames = rate;  // one second
    std::vector<double> in(2 * frames), out(2 * frames);
    for (int i = 0; i < frames; ++i) {
        const double s = std::sin(2.0 * kPi * freq * i / rate);
        in[2 * i] = lane == 0 ? s : 0.0;
        in[2 * i + 1] = lane == 1 ? s : 0.0;
    }
    f.procDamp(in.data(), out.data(), frames);
    double pin = 0.0, pout = 0.0;
    for (int i = frames / 2; i < frames; ++i) {
        pin += in[2 * i + lane] * in[2 * i + lane];
        pout += out[2 * i + lane] * out[2 * i + lane];
        EXPECT_EQ(out[2 * i + (lane ^ 1)], 0.0);
    }
    return 10.0 * std::log10(pout / pin);
}

}  // namespace

TEST(DampingFilter, CutOffFollowsDampingAndIsLimitedAt48k) {
    struct Row {
        int damping;
        double fc;
    };
    const Row rows[] = {
        {100, 10.0}, {150, 10.0}, {75, 100.0}, {50, 1000.0}, {25, 10000.0}, {0, 21600.0}, {-40, 21600.0},
    };
    dampingFilter f;
    EXPECT_EQ(f.getSampleRate(), 48000);
    for (const Row &r : rows) {
        f.calcDumpParams(r.damping);
        EXPECT_NEAR(f.getCutOff(), r.fc, r.fc * 1e-6) << "damping " << r.damping;
    }
    f.setSampleRate(96000);
    EXPECT_NEAR(f.getCutOff(), 21600.0, 1e-9);  // unchanged until the next set-up
    f.calcDumpParams(0);
    EXPECT_NEAR(f.getCutOff(), 43200.0, 1e-9);
}

TEST(DampingFilter, ButterworthResponse) {
    // A second-order Butterworth low-pass by the bilinear transform:
    // |H|^2 = 1 / (1 + r^4) with r = tan(pi f / rate) / tan(pi fc / rate),
    // so -3.01 dB at the cut-off and close to 12 dB per octave above it.
    struct Row {
        int damping;
        double fc;
        double freq;
    };
    const Row rows[] = {
        {50, 1000.0, 1000.0},  {50, 1000.0, 20.0},   {50, 1000.0, 8000.0},
        {0, 21600.0, 21600.0}, {0, 21600.0, 5000.0}, {75, 100.0, 400.0},
    };
    for (const Row &r : rows) {
        const double ratio = std::tan(kPi * r.freq / 48000) / std::tan(kPi * r.fc / 48000);
        const double expectDb = -10.0 * std::log10(1.0 + std::pow(ratio, 4.0));
        for (int lane : {0, 1}) {
            dampingFilter f;
            f.calcDumpParams(r.damping);
            EXPECT_NEAR(measuredGainDb(f, r.freq, 48000, lane), expectDb, 0.01)
                << "damping " << r.damping << " at " << r.freq << " Hz, lane " << lane;
        }
    }
}

TEST(DampingFilter, InPlaceAndSplitCallsMatchOneCall) {
    std::vector<double> in(2 * 1000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.37 * i) + 0.1 * (i % 7);
    dampingFilter a, b;
    a.calcDumpParams(60);
    b.calcDumpParams(60);
    std::vector<double> whole(in.size());
    a.procDamp(in.data(), whole.data(), 1000);
    std::vector<double> parts = in;
    b.procDamp(parts.data(), parts.data(), 333);
    b.procDamp(parts.data() + 2 * 333, parts.data() + 2 * 333, 667);
    for (size_t i = 0; i < in.size(); ++i) EXPECT_EQ(parts[i], whole[i]) << i;
}

TEST(DampingFilter, PassesUnchangedBeforeSetUp) {
    dampingFilter f;
    const double in[4] = {0.5, -0.25, 1.0, 0.125};
    double out[4] = {};
    f.procDamp(in, out, 2);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], in[i]);
}

TEST(Reverb, DefaultTablesByPosition) {
    reverb rv;
    const tReverbFilterParams *p = rv.getReflectionParams();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, rv.getReflectionParams());

    struct Er {
        float level, second, third;
        int flag;
        float factor;
    };
    const Er er[kReverbEarlyReflections] = {
        {0.67f, 10500, 91, 1, 1.0f}, {0.24f, 6204, 91, 1, 0.7f},  {0.24f, 6204, 93, 0, 0.7f},
        {0.2f, 2939, 71, 0, 0.95f},  {0.2f, 2939, 111, 1, 0.95f}, {0.1f, 1959, 111, 0, 0.95f},
        {0.1f, 2000, 111, 1, 0.7f},  {0.12f, 1306, 111, 0, 0.7f}, {0.1f, 2612, 91, 0, 0.6f},
        {0.1f, 2605, 111, 1, 0.6f},
    };
    for (int i = 0; i < kReverbEarlyReflections; ++i) {
        const tEarlyReflectionRow &row = p->earlyReflections[i];
        EXPECT_EQ(row.level, er[i].level) << i;
        EXPECT_EQ(row.order, er[i].second) << i;
        EXPECT_EQ(row.cutOff, er[i].third) << i;
        EXPECT_EQ(row.flag, er[i].flag) << i;
        EXPECT_EQ(row.factor[0], er[i].factor) << i;
        EXPECT_EQ(row.factor[1], er[i].factor) << i;
        for (int r = 0; r < 3; ++r) EXPECT_EQ(row.reserved[r], 0);
    }

    const int combDelay[kReverbCombFilters] = {5724, 5139, 4910, 4129, 3625, 2824};
    const float combFactor[kReverbCombFilters] = {0.8714f, 0.8828f, 0.8914f, 0.9011f, 0.9101f, 0.9192f};
    for (int i = 0; i < kReverbCombFilters; ++i) {
        const tCombFilterRow &row = p->combFilters[i];
        EXPECT_EQ(row.delay, combDelay[i]);
        EXPECT_EQ(row.pickUp, combDelay[i]);  // the eighth field
        EXPECT_EQ(reinterpret_cast<const int32_t *>(&row)[7], combDelay[i]);
        EXPECT_EQ(row.factor[0], combFactor[i]);
        EXPECT_EQ(row.factor[1], 0.16f);
    }

    const int apf[kReverbAllPassFilters][2] = {{857, 875}, {1044, 1058}};
    for (int i = 0; i < kReverbAllPassFilters; ++i) {
        const tAllPassRow &row = p->allPassFilters[i];
        EXPECT_EQ(row.delay, apf[i][0]);
        EXPECT_EQ(row.delayR, apf[i][1]);
        EXPECT_EQ(row.gain[0], 0.7f);
        EXPECT_EQ(row.gain[1], -0.7f);
        EXPECT_EQ(row.factor, 1.0f);
    }
}

TEST(Reverb, ProcessingLeavesTheBusDry) {
    reverb rv;
    rv.setFxSampleRate(96000, 96000);
    rv.setInputBufferSize(64);
    rv.setInputBufferStartPoint(0);
    rv.setFilter(kRevFilterComb, true);
    rv.clearReverbBuffer();
    std::vector<double> in(128, 0.5), out(128, -2.0);
    rv.process(out.data(), in.data(), 64);
    for (double v : out) EXPECT_EQ(v, -2.0);
}
