#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/vfile.h"
#include "bytefields.h"
#include "dsp/imresponse.h"
#include "testutil.h"
#include "wavwriter.h"

namespace {

using sxtest::putLE16;
using sxtest::putLE32;

// Sample value of frame i, channel c, as the unpacker should read it back:
// small integers that every word length stores exactly.
double sampleValue(int i, int c) { return ((i * 7 + c * 3) % 200 - 100) / 128.0; }

// A plain 44-byte-header WAV file (support/wavwriter.h): "fmt " at 12,
// "data" at 36.
enum : size_t { kFmtTag = 20, kFmtChannels = 22, kFmtBits = 34, kDataSize = 40, kAudio = 44 };

std::vector<uint8_t> makeWav(int channels, int bits, int tag, int frames) {
    const int bytesPerSample = bits / 8;
    std::vector<uint8_t> audio(size_t(frames) * channels * bytesPerSample, 0);
    size_t at = 0;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double v = sampleValue(i, c);
            if (bits == 16) {
                putLE16(audio, at, uint16_t(int16_t(v * 32768)));
            } else if (bits == 24) {
                const int32_t s = int32_t(v * 8388608);
                audio[at] = uint8_t(s);
                audio[at + 1] = uint8_t(s >> 8);
                audio[at + 2] = uint8_t(s >> 16);
            } else if (bits == 32 && tag == 3) {
                const float f = float(v);
                std::memcpy(&audio[at], &f, 4);
            } else if (bits == 32) {
                putLE32(audio, at, uint32_t(int32_t(v * 2147483648.0)));
            } else if (bits == 64) {
                std::memcpy(&audio[at], &v, 8);
            }
            at += bytesPerSample;
        }
    return sxtest::wavFile(48000, bits, channels, audio, uint16_t(tag));
}

struct Loader {
    sxtest::TempDir dir;
    imResponse ir;

    int load(const std::vector<uint8_t> &bytes, const std::string &name = "ir.wav") {
        const std::string path = dir.file(name);
        sxtest::writeAll(path, bytes);
        return ir.loadIRfile(sxtest::u16(path).data(), 0);
    }
};

void expectResponse(const double *buf, int frames, int channels, const std::string &what) {
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(buf[2 * i], sampleValue(i, 0)) << what << " frame " << i;
        ASSERT_EQ(buf[2 * i + 1], channels == 2 ? sampleValue(i, 1) : 0.0) << what << " frame " << i;
    }
    for (int i = frames; i < kImResponseFrames; ++i) {
        ASSERT_EQ(buf[2 * i], 0.0) << what << " frame " << i;
        ASSERT_EQ(buf[2 * i + 1], 0.0) << what << " frame " << i;
    }
}

}  // namespace

TEST(ImpulseResponse, LoadsEveryReadableFormat) {
    Loader l;
    ASSERT_NE(l.ir.getIrBuf(), nullptr);
    for (int i = 0; i < 2 * kImResponseFrames; ++i) ASSERT_EQ(l.ir.getIrBuf()[i], 0.0);

    struct Row {
        int channels, bits, tag, frames;
    };
    const Row rows[] = {
        {2, 16, 1, 1000}, {1, 16, 1, 601}, {2, 24, 1, 1200}, {1, 24, 1, 5},
        {2, 32, 3, 3000}, {2, 32, 1, 599}, {1, 64, 3, 6000}, {2, 64, 3, 1800},
    };
    for (const Row &r : rows) {
        const std::string what = std::to_string(r.channels) + " ch " + std::to_string(r.bits) + " bit";
        ASSERT_EQ(l.load(makeWav(r.channels, r.bits, r.tag, r.frames)), kImResponseOk) << what;
        EXPECT_EQ(l.ir.getIrFrames(), r.frames);
        // Each load starts at the buffer's start and silences the rest.
        expectResponse(l.ir.getIrBuf(), r.frames, r.channels, what);
    }
}

TEST(ImpulseResponse, KeepsTheFirst6000Frames) {
    Loader l;
    double *const buf = l.ir.getIrBuf();
    ASSERT_EQ(l.load(makeWav(2, 24, 1, 7777)), kImResponseOk);
    EXPECT_EQ(l.ir.getIrFrames(), kImResponseFrames);
    EXPECT_EQ(l.ir.getIrBuf(), buf);
    expectResponse(buf, kImResponseFrames, 2, "7777 frames");
}

// Every damaged file is refused and leaves the loaded response alone.
TEST(ImpulseResponse, RefusesDamagedFilesAndKeepsTheBuffer) {
    const std::vector<uint8_t> good = makeWav(2, 16, 1, 1000);
    struct Row {
        const char *what;
        void (*damage)(std::vector<uint8_t> &);
        int code;
    };
    const Row rows[] = {
        {"zero channels", [](std::vector<uint8_t> &b) { putLE16(b, kFmtChannels, 0); }, kImResponseErrFormat},
        {"zero bits", [](std::vector<uint8_t> &b) { putLE16(b, kFmtBits, 0); }, kImResponseErrFormat},
        {"4 bits", [](std::vector<uint8_t> &b) { putLE16(b, kFmtBits, 4); }, kImResponseErrFormat},
        {"8 bits", [](std::vector<uint8_t> &b) { putLE16(b, kFmtBits, 8); }, kImResponseErrFormat},
        {"three channels", [](std::vector<uint8_t> &b) { putLE16(b, kFmtChannels, 3); }, kImResponseErrFormat},
        {"16 channels of 64 bits",
         [](std::vector<uint8_t> &b) {
             putLE16(b, kFmtChannels, 16);
             putLE16(b, kFmtBits, 64);
         },
         kImResponseErrFormat},
        {"65535 channels", [](std::vector<uint8_t> &b) { putLE16(b, kFmtChannels, 65535); }, kImResponseErrFormat},
        {"no audio",
         [](std::vector<uint8_t> &b) {
             putLE32(b, kDataSize, 0);
             b.resize(kAudio);
         },
         kImResponseErrFormat},
        {"less than a frame",
         [](std::vector<uint8_t> &b) {
             putLE32(b, kDataSize, 3);
             b.resize(kAudio + 3);
         },
         kImResponseErrFormat},
        {"not RIFF", [](std::vector<uint8_t> &b) { std::memcpy(&b[0], "RIFX", 4); }, kImResponseErrFormat},
        {"no data chunk", [](std::vector<uint8_t> &b) { std::memcpy(&b[36], "date", 4); }, kImResponseErrIO},
        {"cut inside fmt", [](std::vector<uint8_t> &b) { b.resize(30); }, kImResponseErrFormat},
        {"cut before data", [](std::vector<uint8_t> &b) { b.resize(36); }, kImResponseErrIO},
        {"empty file", [](std::vector<uint8_t> &b) { b.clear(); }, kImResponseErrFormat},
    };
    for (const Row &r : rows) {
        Loader l;
        ASSERT_EQ(l.load(makeWav(1, 24, 1, 300), "first.wav"), kImResponseOk);
        std::vector<uint8_t> bad = good;
        r.damage(bad);
        const int rc = l.load(bad);
        EXPECT_LT(rc, 0) << r.what;
        EXPECT_EQ(rc, r.code) << r.what;
        EXPECT_EQ(l.ir.getIrFrames(), 300) << r.what;
        expectResponse(l.ir.getIrBuf(), 300, 1, r.what);
    }

    Loader l;
    EXPECT_EQ(l.ir.loadIRfile(sxtest::u16(l.dir.file("missing.wav")).data(), 0), kImResponseErrIO);
    EXPECT_EQ(l.ir.loadIRfile(nullptr, 0), kImResponseErrIO);
}

TEST(ImpulseResponse, TruncatedAudioLoadsWhatTheFileHolds) {
    // The data chunk claims 1000 frames; the file holds 250 and a half.
    Loader l;
    std::vector<uint8_t> b = makeWav(2, 16, 1, 1000);
    b.resize(kAudio + 250 * 4 + 2);
    const int rc = l.load(b);
    ASSERT_EQ(rc, kImResponseOk);
    EXPECT_EQ(l.ir.getIrFrames(), 250);
    expectResponse(l.ir.getIrBuf(), 250, 2, "truncated");
}

TEST(ImpulseResponse, ReadsAFileTheHandlerWrote) {
    // The handler's own files put the audio behind a 32768-byte header.
    Loader l;
    const std::string path = l.dir.file("handler.wav");
    FILE *fp = nullptr;
    ASSERT_EQ(v_open(&fp, sxtest::u16(path).data(), "w+b"), 0);
    gClass_WavFile wav;
    tBwfHdrParam param{};
    param.channels = 2;
    param.bits = 24;
    param.rate = 96000;
    param.stereo = 1;
    ASSERT_EQ(wav.createHeader(fp, &param, 1), kAudioFileOK);
    const std::vector<uint8_t> body = makeWav(2, 24, 1, 700);
    ASSERT_EQ(v_write(fp, body.data() + kAudio, uint32_t(body.size() - kAudio)), body.size() - kAudio);
    ASSERT_EQ(wav.updateDataSize(fp, body.size() - kAudio, 700), kAudioFileOK);
    v_close(fp);

    ASSERT_EQ(l.ir.loadIRfile(sxtest::u16(path).data(), 0), kImResponseOk);
    EXPECT_EQ(l.ir.getIrFrames(), 700);
    expectResponse(l.ir.getIrBuf(), 700, 2, "handler-written");
}
