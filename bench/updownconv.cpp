// Speed of the rate converter's down stage, one block per iteration with the
// plan's filter and block sizes, single core. The counter "x_realtime" is
// seconds of output audio converted per second (a multiple of real time).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "morphex/decimfir.h"
#include "morphex/rateplan.h"
#include "morphex/updownconv.h"
#include "rateplanjob.h"

namespace {

struct Setup {
    tRatePlan plan;
    std::vector<double> coef;
};

Setup makeSetup(uint32_t in, uint32_t out, uint32_t srcType) {
    Setup s;
    if (ratePlanMake(sxtest::stereoPcmJob(in, out, srcType, 24, 1 << 30, int64_t(1) << 31), &s.plan) != kRatePlanOk)
        return s;
    s.coef = sxtest::designFor(s.plan);
    return s;
}

// The down stage's parameters for one block of the plan; the caller sets
// the source (input or dsd).
tDownConvertParams downParams(const Setup &s, uint32_t in, uint32_t out, double *output, tDspVolParam *env) {
    tDownConvertParams prm;
    prm.output = output;
    prm.count = int(s.plan.outBlockFrames);
    prm.inRate = in;
    prm.outRate = out;
    prm.commonRate = s.plan.commonRate;
    prm.coefficients = s.coef.data();
    prm.taps = s.plan.taps;
    prm.envelopeState = env;
    return prm;
}

bool prepare(benchmark::State &state, CUpDownConv &conv, const Setup &s, bool dsdTables) {
    if (conv.prepareFilter(s.coef.data(), s.plan.taps, s.plan.up, dsdTables) == kUpDownOk) return true;
    state.SkipWithError("prepare");
    return false;
}

void reportRealtime(benchmark::State &state, const tRatePlan &p, uint32_t out) {
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * p.outBlockFrames / out, benchmark::Counter::kIsRate);
}

void runPcm(benchmark::State &state, uint32_t in, uint32_t out) {
    const Setup s = makeSetup(in, out, 0);
    const tRatePlan &p = s.plan;
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> input(2 * (size_t(p.inBlockFrames) + p.taps / p.up + 2));
    for (double &x : input) x = d(gen);
    std::vector<double> output(2 * size_t(p.outBlockFrames));
    CUpDownConv conv;
    if (!prepare(state, conv, s, false)) return;
    tDspVolParam env{1.0, 0, 0};
    tDownConvertParams prm = downParams(s, in, out, output.data(), &env);
    prm.input = input.data();
    for (auto _ : state) {
        if (conv.gAudio_downconvert(&prm) != kUpDownOk) state.SkipWithError("convert");
        benchmark::ClobberMemory();
    }
    reportRealtime(state, p, out);
}

void runDsd(benchmark::State &state, uint32_t out) {
    const Setup s = makeSetup(2822400, out, 2);
    const tRatePlan &p = s.plan;
    std::mt19937 gen(2);
    const size_t bytes = (size_t(p.inBlockFrames) + p.taps) / 8 + 16;
    std::vector<uint8_t> l(bytes), r(bytes);
    for (size_t k = 0; k < bytes; ++k) {
        l[k] = uint8_t(gen());
        r[k] = uint8_t(gen());
    }
    const uint8_t *dsd[2] = {l.data(), r.data()};
    std::vector<double> output(2 * size_t(p.outBlockFrames));
    CUpDownConv conv;
    if (!prepare(state, conv, s, true)) return;
    tDspVolParam env{1.0, 0, 0};
    tDownConvertParams prm = downParams(s, 2822400, out, output.data(), &env);
    prm.dsd = dsd;
    for (auto _ : state) {
        if (conv.gAudio_downconvert(&prm) != kUpDownOk) state.SkipWithError("convert");
        benchmark::ClobberMemory();
    }
    reportRealtime(state, p, out);
}

// The DSD source through the up stage's +-2 frames and the plain polyphase
// form, for comparison with the byte tables.
void runDsdViaUpStage(benchmark::State &state, uint32_t out) {
    const Setup s = makeSetup(2822400, out, 2);
    const tRatePlan &p = s.plan;
    std::mt19937 gen(3);
    const uint32_t frames = p.inBlockFrames + p.taps + 8;
    std::vector<uint8_t> l(frames / 8 + 16), r(frames / 8 + 16);
    for (size_t k = 0; k < l.size(); ++k) {
        l[k] = uint8_t(gen());
        r[k] = uint8_t(gen());
    }
    const void *src[2] = {l.data(), r.data()};
    std::vector<double> up(2 * size_t(frames)), output(2 * size_t(p.outBlockFrames));
    CUpDownConv conv;
    if (!prepare(state, conv, s, false)) return;
    tDspVolParam env{1.0, 0, 0};
    tDownConvertParams prm = downParams(s, 2822400, out, output.data(), &env);
    prm.input = up.data();
    for (auto _ : state) {
        if (conv.gAudio_upconvert(up.data(), src, frames, 2822400, p.commonRate, 0, 1, 0, 0, nullptr) != kUpDownOk ||
            conv.gAudio_downconvert(&prm) != kUpDownOk)
            state.SkipWithError("convert");
        benchmark::ClobberMemory();
    }
    reportRealtime(state, p, out);
}

void BM_Pcm44k1To48k(benchmark::State &state) { runPcm(state, 44100, 48000); }
void BM_Pcm96kTo44k1(benchmark::State &state) { runPcm(state, 96000, 44100); }
// The argument caps the instruction set of the sums (0 plain, 1 256-bit,
// 2 512-bit); every level gives the same doubles.
// PCM raised to DSD256 for playback: 588 up, 5 down, about 28 taps per
// output. The argument caps the instruction set of the sums (0 plain,
// 1 256-bit, 2 512-bit where the processor has them).
void BM_Pcm96kToDsd256(benchmark::State &state) {
    upDownConvLimitIsa(int(state.range(0)));
    runPcm(state, 96000, 11289600);
    upDownConvLimitIsa(2);
}
// PCM raised to DSD64 for an export: 64 up, 1 down, 32 taps per output.
void BM_Pcm44k1ToDsd64(benchmark::State &state) {
    upDownConvLimitIsa(int(state.range(0)));
    runPcm(state, 44100, 2822400);
    upDownConvLimitIsa(2);
}
void BM_Dsd64To44k1(benchmark::State &state) {
    upDownConvLimitIsa(int(state.range(0)));
    runDsd(state, 44100);
    upDownConvLimitIsa(2);
}
void BM_Dsd64To176k4(benchmark::State &state) { runDsd(state, 176400); }
void BM_Dsd64To48k(benchmark::State &state) { runDsd(state, 48000); }
void BM_Dsd64To44k1ViaUpStage(benchmark::State &state) { runDsdViaUpStage(state, 44100); }

}  // namespace

BENCHMARK(BM_Pcm44k1To48k);
BENCHMARK(BM_Pcm96kTo44k1);
BENCHMARK(BM_Pcm96kToDsd256)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_Pcm44k1ToDsd64)->Arg(1)->Arg(2);
BENCHMARK(BM_Dsd64To44k1)->Arg(0)->Arg(2);
BENCHMARK(BM_Dsd64To176k4);
BENCHMARK(BM_Dsd64To48k);
BENCHMARK(BM_Dsd64To44k1ViaUpStage);

BENCHMARK_MAIN();
