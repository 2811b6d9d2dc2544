// Waveform overview of hour-long files: a 96 kHz 24-bit stereo WAV and a
// DSD64 stereo DSF, written once into the temporary folder by the tests'
// generator and read with a warm page cache. Reports bytes per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/morphex/audiogen.h"
#include "morphex/waveform.h"

namespace {

constexpr uint64_t kSeconds = 3600;

std::string benchFile(const char *name) { return (std::filesystem::temp_directory_path() / name).string(); }

// Writes header + bytes of generated noise in large pieces.
bool writeStreamed(const std::string &path, const std::vector<uint8_t> &header, uint64_t bytes) {
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) == header.size() + bytes) return true;
    FILE *fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), fp) == header.size();
    const std::vector<uint8_t> piece = sxgen::noiseBytes(1 << 24, 12345);
    for (uint64_t done = 0; ok && done < bytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), bytes - done));
        ok = std::fwrite(piece.data(), 1, n, fp) == n;
        done += n;
    }
    return std::fclose(fp) == 0 && ok;
}

void runOverview(benchmark::State &state, const std::string &path) {
    const auto path16 = sxtest::u16(path);
    std::vector<int64_t> counts = {4000};
    std::vector<double> mx(2 * counts[0]), mn(2 * counts[0]);
    double *pmx[1] = {mx.data()};
    double *pmn[1] = {mn.data()};
    const uint8_t abort = 0;
    int64_t progress = 0;
    const uint64_t size = std::filesystem::file_size(path);
    for (auto _ : state) {
        const int r = audioWaveForm(path16.data(), 0, INT64_MAX, counts.data(), pmx, pmn, &abort, &progress, 1);
        if (r != counts[0]) state.SkipWithError("overview failed");
        benchmark::DoNotOptimize(mx.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_WaveFormWav96k24(benchmark::State &state) {
    const std::string path = benchFile("sx_bench_60min_96k24.wav");
    const uint64_t bytes = kSeconds * 96000 * 6;
    if (!writeStreamed(path, sxtest::wavHeader(96000, 24, 2, static_cast<uint32_t>(bytes)), bytes)) {
        state.SkipWithError("cannot write the file");
        return;
    }
    runOverview(state, path);
}

void BM_WaveFormDsf64(benchmark::State &state) {
    const std::string path = benchFile("sx_bench_60min_dsd64.dsf");
    const uint64_t samples = kSeconds * 2822400;
    const uint64_t payload = (samples / 8 + 4095) / 4096 * 4096 * 2;
    if (!writeStreamed(path, sxgen::dsfHeader(2822400, 2, samples), payload)) {
        state.SkipWithError("cannot write the file");
        return;
    }
    runOverview(state, path);
}

// The seven levels the main window asks for (a 700-pixel view: 4 to 2048
// points a pixel), for a file of `seconds` of stereo DSD64.
void runWindowLevels(benchmark::State &state, uint64_t seconds) {
    const std::string path = benchFile(("sx_bench_window_" + std::to_string(seconds) + "s_dsd64.dsf").c_str());
    const uint64_t samples = seconds * 2822400;
    const uint64_t payload = (samples / 8 + 4095) / 4096 * 4096 * 2;
    if (!writeStreamed(path, sxgen::dsfHeader(2822400, 2, samples), payload)) {
        state.SkipWithError("cannot write the file");
        return;
    }
    const int64_t factors[7] = {4, 8, 16, 32, 128, 1024, 2048};
    std::vector<int64_t> counts;
    std::vector<std::vector<double>> mx, mn;
    std::vector<double *> pmx, pmn;
    for (int64_t f : factors) {
        counts.push_back(700 * f);
        mx.emplace_back(2 * 700 * f);
        mn.emplace_back(2 * 700 * f);
    }
    for (int k = 0; k < 7; ++k) {
        pmx.push_back(mx[k].data());
        pmn.push_back(mn[k].data());
    }
    const auto path16 = sxtest::u16(path);
    const uint8_t abort = 0;
    int64_t progress = 0;
    for (auto _ : state) {
        const int r = audioWaveForm(path16.data(), 0, INT64_MAX, counts.data(), pmx.data(), pmn.data(), &abort,
                                    &progress, 7);
        if (r != counts[6]) state.SkipWithError("overview failed");
        benchmark::DoNotOptimize(mx[6].data());
    }
}

void BM_WaveFormDsf64WindowLevels10s(benchmark::State &state) { runWindowLevels(state, 10); }
void BM_WaveFormDsf64WindowLevels60s(benchmark::State &state) { runWindowLevels(state, 60); }

}  // namespace

BENCHMARK(BM_WaveFormDsf64WindowLevels10s)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WaveFormDsf64WindowLevels60s)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WaveFormWav96k24)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WaveFormDsf64)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
