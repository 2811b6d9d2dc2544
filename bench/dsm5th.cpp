// Stereo modulation throughput of the delta-sigma modulator, as a multiple
// of real time at DSD64, DSD128 and DSD256. One block is a device-buffer-
// sized call of 4096 frames per channel; the input is a -6 dBFS programme
// (two sines) so that the four-level stage and the pattern path run as in
// playback.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "dsp/dsm5th.h"

namespace {

template <class Dut, bool Fade>
void BM_Dsm5th(benchmark::State &state) {
    const int32_t rate = static_cast<int32_t>(state.range(0));
    // The instruction set of the byte loop: the processor's best unless the
    // second argument caps it (kDsmIsa...).
    dsm5thLimitIsa(state.range(1));
    const uint32_t frames = 4096;
    const size_t blocks = 64;
    std::vector<double> in(2 * frames * blocks);
    for (size_t i = 0; i < frames * blocks; ++i) {
        const double t = double(i) / rate;
        in[2 * i] = 0.5 * 18014398509481984.0 * std::sin(2 * M_PI * 1000.0 * t);
        in[2 * i + 1] = 0.5 * 18014398509481984.0 * std::sin(2 * M_PI * 1234.5 * t);
    }
    std::vector<uint8_t> o0(frames / 8), o1(frames / 8);
    uint8_t *out[2] = {o0.data(), o1.data()};
    const double vol[2] = {0.0, 0.0};
    Dut m;
    m.initDsm5thIntegrators(rate);
    size_t b = 0;
    for (auto _ : state) {
        const double *src = in.data() + 2 * frames * b;
        if (Fade)
            m.dsm5thFade(out, src, frames, 0, vol);
        else
            m.dsm5th(out, src, frames, 0, vol);
        benchmark::DoNotOptimize(o0.data());
        benchmark::DoNotOptimize(o1.data());
        b = (b + 1) % blocks;
    }
    const double framesDone = double(state.iterations()) * frames;
    state.counters["frames/s"] = benchmark::Counter(framesDone, benchmark::Counter::kIsRate);
    // Real-time multiple: stereo frames per second over the stream's rate.
    state.counters["x_realtime"] = benchmark::Counter(framesDone / rate, benchmark::Counter::kIsRate);
}

BENCHMARK_TEMPLATE(BM_Dsm5th, classDsm5thApp, false)
    ->Args({2822400, kDsmIsaAvx512})
    ->Args({5644800, kDsmIsaAvx512})
    ->Args({11289600, kDsmIsaAvx512})
    ->Args({22579200, kDsmIsaAvx512});
BENCHMARK_TEMPLATE(BM_Dsm5th, classDsm5thApp, true)->Args({2822400, kDsmIsaAvx512});
BENCHMARK_TEMPLATE(BM_Dsm5th, classDsm5th, false)
    ->Args({2822400, kDsmIsaAvx512})
    ->Args({2822400, kDsmIsaAvx2})
    ->Args({2822400, kDsmIsaSse2});

}  // namespace

BENCHMARK_MAIN();
