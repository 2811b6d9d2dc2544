// Little-endian header fields and PCM WAV files for the window tests that
// open, describe or convert files.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstdint>
#include <functional>

#include "support/wavwriter.h"

namespace wavtest {

inline void put32(QByteArray &b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xff));
}
inline void put64(QByteArray &b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.append(char((v >> (8 * i)) & 0xff));
}
inline void put16(QByteArray &b, uint16_t v) {
    b.append(char(v & 0xff));
    b.append(char(v >> 8));
}

// A 16- or 24-bit PCM WAV file (support/wavwriter.h) of `frames` frames;
// `sample` gives the value (-1..1) of frame i, the same on every channel.
// Without it the audio is silence left as a hole in the file.
inline bool writeWav(const QString &path, uint32_t rate, uint16_t bits, uint16_t channels, uint64_t frames,
                     const std::function<double(uint64_t)> &sample = {}) {
    const uint32_t bytes = bits / 8;
    const uint32_t dataBytes = uint32_t(frames * bytes * channels);
    const sxtest::Bytes header = sxtest::wavHeader(rate, bits, channels, dataBytes);
    const QByteArray h(reinterpret_cast<const char *>(header.data()), qsizetype(header.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(h) != h.size()) return false;
    if (!sample) return f.resize(h.size() + qint64(dataBytes));
    QByteArray audio;
    audio.reserve(int(dataBytes));
    const double full = double((1u << (bits - 1)) - 1);
    for (uint64_t i = 0; i < frames; ++i) {
        const int32_t v = int32_t(std::lround(sample(i) * full));
        for (uint16_t c = 0; c < channels; ++c)
            for (uint32_t k = 0; k < bytes; ++k) audio.append(char((uint32_t(v) >> (8 * k)) & 0xff));
    }
    return f.write(audio) == audio.size();
}

}  // namespace wavtest
