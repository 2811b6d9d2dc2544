// Throughput of the per-sample packing loops that every conversion runs:
// 24-bit stereo PCM both ways, and the DSD layout conversions. Bytes
// processed count the file-side bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "audiofile/dsdlayout.h"
#include "audiofile/pcmpack.h"

namespace {

constexpr uint32_t kFrames = 1 << 16;  // one conversion block's order of size

void BM_Unpack24Stereo(benchmark::State &state) {
    std::vector<uint8_t> in(kFrames * 6);
    for (size_t k = 0; k < in.size(); ++k) in[k] = static_cast<uint8_t>(k * 37);
    std::vector<double> out(kFrames * 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(wav2pcmFunc(out.data(), in.data(), kFrames, 2, 24, 1));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * 6);
}

void packBench(benchmark::State &state, uint8_t bits, int dither) {
    std::vector<double> in(kFrames * 2);
    for (size_t k = 0; k < in.size(); ++k) in[k] = static_cast<double>(k % 2001) / 1000.0 - 1.0;
    std::vector<uint8_t> out(kFrames * 2 * (bits / 8));
    for (auto _ : state) {
        benchmark::DoNotOptimize(pcm2wavFunc(out.data(), in.data(), kFrames, 2, bits, dither));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * 2 * (bits / 8));
}

void BM_Pack24Stereo(benchmark::State &state) { packBench(state, 24, 0); }
void BM_Pack16Stereo(benchmark::State &state) { packBench(state, 16, 0); }
void BM_Pack16StereoDither(benchmark::State &state) { packBench(state, 16, kPcmDitherTpdf); }
void BM_Pack16StereoNoiseShape(benchmark::State &state) { packBench(state, 16, kPcmDitherNoiseShape); }

constexpr uint32_t kDsdSamples = 32768 * 16;  // per channel
constexpr uint32_t kDsdBytes = kDsdSamples / 8;

void BM_DsdToDsfStereo(benchmark::State &state) {
    std::vector<uint8_t> l(kDsdBytes, 0x69), r(kDsdBytes, 0x96), out(2 * kDsdBytes + 8192);
    uint32_t written = 0, valid = 0;
    clearDsfOffset();
    for (auto _ : state) {
        // An odd block size, so the pending-block path is exercised as well.
        benchmark::DoNotOptimize(dsd2dsf(out.data(), l.data(), r.data(), kDsdSamples - 8000, 2, 0, &written, &valid));
        benchmark::ClobberMemory();
    }
    clearDsfOffset();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * (kDsdSamples - 8000) / 8);
}

void BM_DsfToDsdStereo(benchmark::State &state) {
    std::vector<uint8_t> in(2 * kDsdBytes + 8192, 0x5A), l(kDsdBytes), r(kDsdBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(dsf2dsd(l.data(), r.data(), in.data() + 100, kDsdSamples, 2, 100));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kDsdBytes);
}

void BM_DsdToDsdiffStereo(benchmark::State &state) {
    std::vector<uint8_t> l(kDsdBytes, 0x69), r(kDsdBytes, 0x96), out(2 * kDsdBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(dsd2dsdiff(out.data(), l.data(), r.data(), kDsdSamples, 2));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kDsdBytes);
}

void BM_DsdiffToDsdStereo(benchmark::State &state) {
    std::vector<uint8_t> in(2 * kDsdBytes, 0x5A), l(kDsdBytes), r(kDsdBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(dsdiff2dsd(l.data(), r.data(), in.data(), kDsdSamples, 2));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kDsdBytes);
}

}  // namespace

BENCHMARK(BM_Unpack24Stereo);
BENCHMARK(BM_Pack24Stereo);
BENCHMARK(BM_Pack16Stereo);
BENCHMARK(BM_Pack16StereoDither);
BENCHMARK(BM_Pack16StereoNoiseShape);
BENCHMARK(BM_DsdToDsfStereo);
BENCHMARK(BM_DsfToDsdStereo);
BENCHMARK(BM_DsdToDsdiffStereo);
BENCHMARK(BM_DsdiffToDsdStereo);

BENCHMARK_MAIN();
