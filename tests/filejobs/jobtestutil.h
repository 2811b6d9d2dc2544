// Helpers of the file job tests: PCM WAV fixtures from integer samples,
// reading a WAV file's format and audio back through the handler, running
// the outside tools, and the application object that queued signals need.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audiofile/wavfile.h"
#include "bytefields.h"
#include "handlerwav.h"
#include "hdrparam.h"
#include "testutil.h"
#include "tools.h"
#include "wavwriter.h"

namespace jobtest {

using sxtest::Bytes;

inline QString q(const std::string &s) { return QString::fromStdString(s); }

// The application object: queued signals reach the main thread through its
// event loop. Made once; never destroyed, so nothing runs after main.
inline QCoreApplication *app() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "filejobs_tests";
        static char *argv[] = {name, nullptr};
        static QCoreApplication *instance = new QCoreApplication(argc, argv);
        (void)instance;
    }
    return QCoreApplication::instance();
}

// Runs a shell command; true when it exits with 0.
inline bool run(const std::string &cmd) { return std::system(cmd.c_str()) == 0; }

// Integer samples (interleaved) packed little-endian in bits / 8 bytes.
using sxtest::packInts;

// A WAV file of the handler's own layout (32768-byte header) holding audio.
inline void writeWav(const std::string &path, uint16_t channels, uint16_t bits, uint32_t rate, const Bytes &audio,
                     uint32_t integer32 = 1) {
    sxtest::writeHandlerWav(path, sxtest::hdrParam(channels, bits, rate, 0, integer32), 0, audio);
}

// Deterministic integer samples of a word length, the extremes included.
inline std::vector<int32_t> intSamples(size_t count, int bits, uint32_t seed) {
    const int64_t max = (int64_t{1} << (bits - 1)) - 1, min = -(int64_t{1} << (bits - 1));
    std::vector<int32_t> v(count);
    uint32_t s = seed;
    for (size_t i = 0; i < count; ++i) {
        s = s * 1664525u + 1013904223u;
        v[i] = static_cast<int32_t>(static_cast<int64_t>(s >> (32 - bits)) + min);
    }
    if (count > 2) {
        v[0] = static_cast<int32_t>(max);
        v[1] = static_cast<int32_t>(min);
    }
    return v;
}

// What a WAV file says about itself, through the handler.
struct WavContent {
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t formatTag = 0;
    tRiffStatus kind = kRiffStatusUnknown;
    Bytes audio;
};

inline WavContent readWav(const std::string &path) {
    WavContent w;
    gClass_WavFile wav;
    sxtest::File f(path, "rb");
    EXPECT_NE(f.fp, nullptr) << path;
    if (!f.fp) return w;
    uint64_t off = 0, data = 0, audio = 0;
    EXPECT_EQ(wav.checkHeader(f.fp, &w.kind), 0);
    EXPECT_EQ(wav.searchFmtChunk(f.fp, &w.rate, &w.bits, &w.channels, &w.formatTag), 0);
    EXPECT_EQ(wav.searchData(f.fp, &off, &data, &audio), 0);
    w.audio.resize(audio);
    EXPECT_EQ(fseeko(f.fp, static_cast<off_t>(off), SEEK_SET), 0);
    if (audio) {
        EXPECT_EQ(std::fread(w.audio.data(), 1, audio, f.fp), audio);
    }
    return w;
}

// The samples of an audio file as sox reads them, in the file's own
// encoding without a header (sox -t raw), for comparing two files.
inline Bytes soxRaw(const std::string &path, const std::string &scratch) {
    if (!run("sox -D '" + path + "' -t raw '" + scratch + "' 2>/dev/null")) {
        ADD_FAILURE() << "sox could not read " << path;
        return Bytes();
    }
    return sxtest::readAll(scratch);
}

inline bool exists(const std::string &path) { return std::filesystem::exists(path); }

}  // namespace jobtest
