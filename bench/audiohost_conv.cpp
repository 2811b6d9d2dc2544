// Throughput of the audio host's container conversions, which run once per
// device cycle on the stream thread: float containers to the PCM formats an
// ALSA device takes, DoP in float containers to S24_3LE, and native DSD to
// DSD_U32_BE. One cycle of 32768 stereo frames (the largest PCM buffer, 768
// kHz); bytes processed count the container side.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/audiohost/sampleconv.h"

namespace {

constexpr uint32_t kFrames = 32768;

void convBench(benchmark::State &state, int fmt, bool dsd) {
    std::vector<float> in(kFrames * 2);
    for (size_t k = 0; k < in.size(); ++k) {
        const uint32_t w = dsd ? uint32_t(k * 0x9E3779B1u) & 0xFFFF0000u
                               : uint32_t(int32_t((double(k % 2001) / 1000.0 - 1.0) * 2147483647.0));
        in[k] = float(double(int32_t(w)) / 2147483648.0);
    }
    std::vector<uint8_t> out(size_t(devfmt_deviceFrames(fmt, kFrames)) * 2 * size_t(devfmt_bytesPerSample(fmt)));
    const tDevConvFunc f = devconv_outputFunc(fmt, kAudioHostContainerFloat32);
    for (auto _ : state) {
        f(out.data(), in.data(), kFrames, 2);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * 8);
}

void BM_FloatToS32(benchmark::State &state) { convBench(state, kDevFmtS32LE, false); }
void BM_FloatToS24_3(benchmark::State &state) { convBench(state, kDevFmtS24_3LE, false); }
void BM_FloatToS16(benchmark::State &state) { convBench(state, kDevFmtS16LE, false); }
void BM_DopFloatToS24_3(benchmark::State &state) { convBench(state, kDevFmtS24_3LE, true); }
void BM_DsdFloatToU32BE(benchmark::State &state) { convBench(state, kDevFmtDsdU32BE, true); }

}  // namespace

BENCHMARK(BM_FloatToS32);
BENCHMARK(BM_FloatToS24_3);
BENCHMARK(BM_FloatToS16);
BENCHMARK(BM_DopFloatToS24_3);
BENCHMARK(BM_DsdFloatToU32BE);
BENCHMARK_MAIN();
