// Block-rate kernels of the conversion library: the stereo FIR kernel and
// the 16384-point stereo spectrum.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "morphex/classfft.h"
#include "morphex/decimfir.h"

namespace {

// One output point per iteration over a window split 1/4 history, 3/4 new
// data. Counter "MACs": stereo multiply-adds per second (two per tap).
void BM_DecimationFir(benchmark::State &state) {
    const int taps = static_cast<int>(state.range(0));
    std::vector<double> coef(2 * static_cast<size_t>(firDesignEntries(taps, 0)));
    gAudio_setDecimFirParam(0, 2822400, 19845, taps, coef.data(), 1, 1.0, 0, 0);
    const int hist = taps / 4;
    std::vector<double> history(2 * static_cast<size_t>(hist)), fresh(2 * static_cast<size_t>(taps));
    for (size_t i = 0; i < history.size(); ++i) history[i] = std::sin(0.001 * static_cast<double>(i));
    for (size_t i = 0; i < fresh.size(); ++i) fresh[i] = std::cos(0.002 * static_cast<double>(i));
    double out[2];
    for (auto _ : state) {
        gAudioDecimationFir(out, fresh.data(), coef.data(), taps, history.data(), hist);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.counters["MACs"] =
        benchmark::Counter(2.0 * taps * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["taps/s"] = benchmark::Counter(static_cast<double>(taps) * static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecimationFir)->Arg(2047)->Arg(8191);

// Arg 1: AVX2 where the processor has it; 0: the SSE2 path of every x86-64.
void BM_AnalyzeFFT16384(benchmark::State &state) {
    const int n = 16384;
    const bool before = fftAllowWideVectors(state.range(0) != 0);
    auto fft = std::make_unique<classFFT>();
    std::vector<double> cosine(2 * n), sine(2 * n), left(n), right(n), in(2 * n);
    std::vector<uint64_t> bitrev(n);
    fft->initAnalyzingFFT(n, 44100, cosine.data(), sine.data(), bitrev.data());
    for (int i = 0; i < n; ++i) {
        in[2 * i] = std::sin(0.3 * i);
        in[2 * i + 1] = 0.5 * std::sin(0.07 * i);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(fft->analyzeFFT(0, 14, left.data(), right.data(), in.data()));
        benchmark::ClobberMemory();
    }
    fftAllowWideVectors(before);
}
BENCHMARK(BM_AnalyzeFFT16384)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
