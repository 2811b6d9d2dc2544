// Mutation driver of the conversion library's open path: valid WAV, DSF and
// DSDIFF files (the seed corpus) are mutated byte by byte and fed to the
// file query and to a conversion job, under the address and
// undefined-behaviour sanitizers of the build. A run fails on
//   - a crash or a sanitizer report (the process ends there),
//   - a hang: one input that takes longer than --hang seconds,
//   - a runaway output: more bytes than the source could justify,
//   - a job that reports success with no audio in its output.
// The input of the iteration under way is kept as last-input.<ext> in the
// failure folder, and every failing input is saved there, so a failure can
// be replayed with --input.
//
//   morphex-mutate --write-seeds DIR
//   morphex-mutate [--corpus DIR] [--seconds N] [--seed S] [--hang N] [--save DIR]
//   morphex-mutate --input FILE [--save DIR]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../tests/morphex/audiogen.h"
#include "audiofile/audiohelpers.h"
#include "base/wstring.h"
#include "dsp/dspvolume.h"
#include "dsp/sharedrecords.h"
#include "morphex/fileinfo.h"
#include "morphex/morphexjob.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Seed {
    std::string name;  // with its extension, which selects the format
    Bytes bytes;
};

// An ID3v2.3 tag with a UTF-16 title and a Latin-1 artist.
Bytes id3Tag() {
    Bytes frames;
    auto frame = [&](const char *id, const Bytes &data) {
        frames.insert(frames.end(), id, id + 4);
        sxgen::be(frames, data.size(), 4);
        frames.push_back(0);
        frames.push_back(0);
        frames.insert(frames.end(), data.begin(), data.end());
    };
    Bytes title = {1, 0xFF, 0xFE};
    for (char16_t c : std::u16string(u"Seed \u6D77")) {
        title.push_back(static_cast<uint8_t>(c));
        title.push_back(static_cast<uint8_t>(c >> 8));
    }
    frame("TIT2", title);
    frame("TPE1", Bytes{0, 'B', 'a', 'n', 'd'});
    Bytes t = {'I', 'D', '3', 3, 0, 0};
    const uint32_t n = static_cast<uint32_t>(frames.size());
    for (int i = 3; i >= 0; --i) t.push_back(static_cast<uint8_t>((n >> (7 * i)) & 0x7F));
    t.insert(t.end(), frames.begin(), frames.end());
    return t;
}

// A DSF file with the tag behind its audio, the metadata pointer set.
Bytes dsfWithTag(uint32_t rate, const std::vector<Bytes> &chans) {
    Bytes f = sxgen::dsf(rate, chans);
    const uint64_t at = f.size();
    const Bytes t = id3Tag();
    f.insert(f.end(), t.begin(), t.end());
    for (int i = 0; i < 8; ++i) f[12 + i] = static_cast<uint8_t>(f.size() >> (8 * i));
    for (int i = 0; i < 8; ++i) f[20 + i] = static_cast<uint8_t>(at >> (8 * i));
    return f;
}

// A DSDIFF file with a title chunk behind its audio.
Bytes dsdiffWithTitle(uint32_t rate, const std::vector<Bytes> &chans) {
    Bytes f = sxgen::dsdiff(rate, chans);
    Bytes diin;
    sxgen::id(diin, "DIIN");
    sxgen::be(diin, 12 + 4 + 4, 8);
    sxgen::id(diin, "DITI");
    sxgen::be(diin, 8, 8);
    sxgen::be(diin, 4, 4);
    sxgen::id(diin, "Seed");
    f.insert(f.end(), diin.begin(), diin.end());
    const uint64_t body = f.size() - 12;
    for (int i = 0; i < 8; ++i) f[4 + i] = static_cast<uint8_t>(body >> (8 * (7 - i)));
    return f;
}

// A WAV file with a cue chunk holding two points behind its audio.
Bytes wavWithCue(uint32_t rate, int bits, int channels, uint32_t frames) {
    std::vector<int32_t> s(static_cast<size_t>(frames) * channels);
    const int32_t full = (1 << (bits - 2));
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int32_t>((i * 7919u) % uint32_t(2 * full)) - full;
    Bytes f = sxgen::wav(rate, bits, channels, s);
    Bytes cue;
    sxgen::id(cue, "cue ");
    sxgen::le(cue, 4 + 2 * 24, 4);
    sxgen::le(cue, 2, 4);
    for (uint32_t k = 0; k < 2; ++k) {
        sxgen::le(cue, k + 1, 4);
        sxgen::le(cue, k * frames / 2, 4);
        sxgen::id(cue, "data");
        sxgen::le(cue, 0, 4);
        sxgen::le(cue, 0, 4);
        sxgen::le(cue, k * frames / 2, 4);
    }
    f.insert(f.end(), cue.begin(), cue.end());
    const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
    for (int i = 0; i < 4; ++i) f[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
    return f;
}

std::vector<Seed> makeSeeds() {
    std::vector<Seed> seeds;
    seeds.push_back({"pcm16-44k1-stereo.wav", wavWithCue(44100, 16, 2, 3000)});
    seeds.push_back({"pcm24-96k-mono.wav", wavWithCue(96000, 24, 1, 2000)});
    seeds.push_back(
        {"dsd64-stereo.dsf", dsfWithTag(2822400, {sxgen::noiseBytes(5000, 1), sxgen::noiseBytes(5000, 2)})});
    seeds.push_back({"dsd128-mono.dsf", dsfWithTag(5644800, {sxgen::noiseBytes(3000, 3)})});
    seeds.push_back(
        {"dsd64-stereo.dff", dsdiffWithTitle(2822400, {sxgen::noiseBytes(4000, 4), sxgen::noiseBytes(4000, 5)})});
    seeds.push_back({"dsd64x48k-mono.dff", dsdiffWithTitle(3072000, {sxgen::noiseBytes(4000, 6)})});
    return seeds;
}

bool writeFile(const std::string &path, const Bytes &b) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

Bytes readFile(const std::string &path) {
    Bytes b;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

std::vector<wchar16> wide(const std::string &s) {
    std::vector<wchar16> w(s.size() + 1, 0);
    convAscToUni(w.data(), s.c_str());
    return w;
}

// ---------------------------------------------------------------------------
// Mutations. Headers decide everything, so most of them land in the first
// few hundred bytes; the rest anywhere.

const uint64_t kInteresting[] = {0,      1,       2,          7,          8,          0x7F,
                                 0x80,   0xFF,    0x100,      0x1000,     0x7FFF,     0x8000,
                                 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x100000000ull,
                                 44100,  2822400, 64000,      65535,      ~0ull,      0x7FFFFFFFFFFFFFFFull};

void mutate(Bytes &b, std::mt19937_64 &rng) {
    auto pick = [&](uint64_t n) { return n ? rng() % n : 0; };
    const int count = 1 + static_cast<int>(pick(6));
    for (int k = 0; k < count && !b.empty(); ++k) {
        const size_t span = pick(4) != 0 ? std::min<size_t>(b.size(), 512) : b.size();
        const size_t at = pick(span);
        switch (pick(7)) {
        case 0:  // flip a bit
            b[at] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1:  // a random byte
            b[at] = static_cast<uint8_t>(rng());
            break;
        case 2: {  // an interesting value, 2, 4 or 8 bytes, either order
            const uint64_t v = kInteresting[pick(sizeof kInteresting / sizeof kInteresting[0])];
            const int n = 2 << pick(3);
            const bool bigEndian = pick(2) != 0;
            for (int i = 0; i < n && at + i < b.size(); ++i)
                b[at + i] = static_cast<uint8_t>(v >> (8 * (bigEndian ? n - 1 - i : i)));
            break;
        }
        case 3:  // cut the file
            b.resize(at + pick(b.size() - at + 1));
            break;
        case 4: {  // remove a run
            const size_t n = std::min<size_t>(b.size() - at, 1 + pick(64));
            b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
            break;
        }
        case 5: {  // insert a run
            const size_t n = 1 + pick(64);
            b.insert(b.begin() + static_cast<long>(at), n, static_cast<uint8_t>(rng()));
            break;
        }
        default: {  // copy a run from elsewhere in the file
            const size_t from = pick(b.size());
            const size_t n = std::min<size_t>({b.size() - from, b.size() - at, 1 + pick(32)});
            std::memmove(&b[at], &b[from], n);
            break;
        }
        }
    }
}

// ---------------------------------------------------------------------------
// One input

struct Watch {
    std::atomic<int64_t> startedMs{-1};  // driver thread writes, watchdog reads
    std::atomic<uint64_t> bytesBound{0};
};
Watch gWatch;
std::string gOutPath;
bool gRunaway = false;

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint64_t fileSize(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// The block callback stops a job whose output outgrows its bound, before
// it fills the disk.
int onBlock(uint64_t, int, int, int, int, void *, unsigned char **, int, int, int, unsigned int *) {
    if (fileSize(gOutPath) > gWatch.bytesBound.load(std::memory_order_relaxed)) {
        gRunaway = true;
        return -1;
    }
    return 0;
}
int onStatus(int) { return 1; }
int onError(int) { return 0; }
int onWorking(long long *) { return 0; }

struct Output {
    uint32_t type, rate, bits;
    const char *ext;
};
const Output kOutputs[] = {
    {0, 48000, 24, ".wav"}, {2, 2822400, 1, ".dsf"}, {3, 2822400, 1, ".dff"}, {0, 44100, 16, ".wav"}};

// Queries the file, converts it to one of the outputs and checks the
// result. Returns an empty string or what went wrong.
std::string runOne(const std::string &input, const std::string &work, int outputIndex) {
    tAudioFileMarkAFile marks[100];
    tAudioFileInfoAFile info;
    info.marks = marks;
    std::vector<wchar16> in = wide(input);
    (void)getAudioFileInfo(in.data(), &info);

    const Output &out = kOutputs[outputIndex % (sizeof kOutputs / sizeof kOutputs[0])];
    gOutPath = work + "/out" + out.ext;
    std::remove(gOutPath.c_str());
    // A PCM source at the lowest rate the system takes (8 kHz, 16-bit mono)
    // grows by 44 bytes per source byte into stereo DSD64; headers, marks
    // and tags add at most a few hundred kilobytes.
    const uint64_t srcBytes = fileSize(input);
    gWatch.bytesBound.store(64 * srcBytes + (1u << 20), std::memory_order_relaxed);
    gRunaway = false;

    int progress = 0;
    tMorphexSendParams send;
    send.progress = &progress;
    send.rateIndex = static_cast<uint32_t>(getFreqIndexFromFsValue(static_cast<int>(out.rate)));
    send.fileType = out.type;
    send.bits = out.bits;
    send.outChannels = 2;
    send.command = kMorphexCmdExport;
    tMorphexCom com;
    com.command = kMorphexComWriteFile;
    com.startSample = 0;
    com.endSample = INT64_MAX / 4;
    com.ringBlocks = 1;
    tDspVolItem env[2];
    env[0].start = 0;
    env[0].level = 1.0;
    env[1].start = kDspVolEnd;
    env[1].level = 1.0;
    double panVol[16] = {1.0, 0.0, 0.0, 1.0};
    std::vector<wchar16> dst = wide(gOutPath);
    const wchar16 *list[1] = {in.data()};
    const int one = 1;
    gWatch.startedMs.store(nowMs(), std::memory_order_release);
    const int r =
        morphexSub(dst.data(), list, nullptr, &send, panVol, &one, &com, onBlock, onStatus, env, onError, onWorking);
    gWatch.startedMs.store(-1, std::memory_order_release);

    const uint64_t written = fileSize(gOutPath);
    if (gRunaway || written > gWatch.bytesBound.load(std::memory_order_relaxed))
        return "runaway output: " + std::to_string(written) + " bytes from a " + std::to_string(srcBytes) +
               "-byte source";
    if (r == 0) {
        tAudioFileInfoAFile got;
        tAudioFileMarkAFile gotMarks[100];
        got.marks = gotMarks;
        std::vector<wchar16> o = wide(gOutPath);
        const int q = getAudioFileInfo(o.data(), &got);
        const uint64_t audio = (static_cast<uint64_t>(got.dataBytesHigh) << 32) | got.dataBytesLow;
        if (q != 0 || audio == 0)
            return "result 0 with no audio written (query " + std::to_string(q) + ", " + std::to_string(audio) +
                   " audio bytes)";
    }
    std::remove(gOutPath.c_str());
    return std::string();
}

void watchdog(int hangSeconds, std::atomic<bool> *done) {
    while (!done->load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int64_t t0 = gWatch.startedMs.load(std::memory_order_acquire);
        if (t0 >= 0 && nowMs() - t0 > int64_t(hangSeconds) * 1000) {
            std::fprintf(stderr, "morphex-mutate: hang: one input took more than %d s (kept as last-input)\n",
                         hangSeconds);
            std::_Exit(3);
        }
    }
}

std::string extOf(const std::string &name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string(".wav") : name.substr(dot);
}

}  // namespace

int main(int argc, char **argv) {
    std::string corpus, save = "mutate-failures", input, seedsOut;
    double seconds = 60;
    int hang = 20;
    uint64_t seed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--write-seeds" && v)
            seedsOut = argv[++i];
        else if (a == "--corpus" && v)
            corpus = argv[++i];
        else if (a == "--seconds" && v)
            seconds = std::atof(argv[++i]);
        else if (a == "--seed" && v)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--hang" && v)
            hang = std::atoi(argv[++i]);
        else if (a == "--save" && v)
            save = argv[++i];
        else if (a == "--input" && v)
            input = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: morphex-mutate [--write-seeds DIR | --input FILE] [--corpus DIR] "
                         "[--seconds N] [--seed S] [--hang N] [--save DIR]\n");
            return 2;
        }
    }

    if (!seedsOut.empty()) {
        fs::create_directories(seedsOut);
        for (const Seed &s : makeSeeds())
            if (!writeFile(seedsOut + "/" + s.name, s.bytes)) return 1;
        return 0;
    }

    std::vector<Seed> seeds;
    if (!corpus.empty() && fs::is_directory(corpus)) {
        for (const auto &e : fs::directory_iterator(corpus))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.')
                seeds.push_back({e.path().filename().string(), readFile(e.path().string())});
    }
    if (seeds.empty()) seeds = makeSeeds();

    fs::create_directories(save);
    char tmpl[] = "/tmp/morphex-mutate-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string work = tmpl;

    // The library reports on the standard output; keep it out of the log.
    std::fflush(stdout);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);

    std::atomic<bool> done{false};
    std::thread dog(watchdog, hang, &done);
    int failures = 0;
    uint64_t runs = 0;

    if (!input.empty()) {
        const std::string path = work + "/in" + extOf(input);
        writeFile(path, readFile(input));
        for (int k = 0; k < 4; ++k) {
            const std::string what = runOne(path, work, k);
            if (!what.empty()) {
                std::fprintf(stderr, "morphex-mutate: %s: output %d: %s\n", input.c_str(), k, what.c_str());
                ++failures;
            }
        }
    } else {
        std::fprintf(stderr, "morphex-mutate: %zu seeds, seed %llu, %.0f s\n", seeds.size(),
                     static_cast<unsigned long long>(seed), seconds);
        // The seeds themselves must convert cleanly to every output, or the
        // mutations start from a broken file.
        for (const Seed &s : seeds) {
            const std::string path = work + "/in" + extOf(s.name);
            writeFile(path, s.bytes);
            for (int k = 0; k < 4; ++k) {
                const std::string what = runOne(path, work, k);
                if (!what.empty()) {
                    std::fprintf(stderr, "morphex-mutate: seed %s, output %d: %s\n", s.name.c_str(), k, what.c_str());
                    ++failures;
                }
            }
        }
        std::mt19937_64 rng(seed);
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end && failures < 5) {
            const Seed &s = seeds[rng() % seeds.size()];
            Bytes b = s.bytes;
            mutate(b, rng);
            const std::string ext = extOf(s.name);
            const std::string path = work + "/in" + ext;
            writeFile(path, b);
            writeFile(save + "/last-input" + ext, b);
            const std::string what = runOne(path, work, static_cast<int>(rng() % 4));
            ++runs;
            if (!what.empty()) {
                const std::string kept = save + "/failure-" + std::to_string(failures) + ext;
                writeFile(kept, b);
                std::fprintf(stderr, "morphex-mutate: %s (from %s, kept as %s)\n", what.c_str(), s.name.c_str(),
                             kept.c_str());
                ++failures;
            }
        }
        std::fprintf(stderr, "morphex-mutate: %llu inputs, %d failures\n", static_cast<unsigned long long>(runs),
                     failures);
    }
    done.store(true, std::memory_order_release);
    dog.join();
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
