// Files written through the WAV handler, read back by other programs (sox,
// ffprobe): the headers must mean to them what they mean to us.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "audiofile/wavfile.h"
#include "testutil.h"
#include "tools.h"
#include "wavtestutil.h"

using namespace wavtest;

namespace {

// Standard output only: sox warns on standard error about float fmt chunks
// without cbSize.
std::string run(const std::string &cmd) { return sxtest::commandOutput(cmd + " 2>/dev/null"); }

std::map<std::string, std::string> probe(const std::string &path) {
    return sxtest::probeStream(path, "stream=codec_name,sample_rate,channels,duration_ts");
}

// A quiet sine in the file's sample format, interleaved.
Bytes sine(uint16_t channels, uint16_t bits, bool isFloat, size_t frames) {
    const size_t width = bits / 8;
    Bytes b(frames * channels * width);
    for (size_t i = 0; i < frames; ++i) {
        for (uint16_t c = 0; c < channels; ++c) {
            double v = 0.25 * std::sin(0.01 * static_cast<double>(i) * (c + 1));
            uint8_t *p = &b[(i * channels + c) * width];
            if (isFloat) {
                float f = static_cast<float>(v);
                std::memcpy(p, &f, 4);
            } else {
                int64_t s = static_cast<int64_t>(std::lround(v * static_cast<double>((1LL << (bits - 1)) - 1)));
                for (size_t k = 0; k < width; ++k) p[k] = static_cast<uint8_t>(s >> (8 * k));
            }
        }
    }
    return b;
}

}  // namespace

TEST(WavReaders, SoxAndFfprobeReadWhatWeWrite) {
    SX_REQUIRE_TOOLS("sox", "ffprobe");
    struct Row {
        uint16_t channels, bits;
        uint32_t rate;
        bool isFloat;
        uint32_t bext;
        const char *codec;
    } rows[] = {
        {1, 16, 44100, false, 0, "pcm_s16le"}, {2, 16, 44100, false, 1, "pcm_s16le"},
        {1, 24, 96000, false, 1, "pcm_s24le"}, {2, 24, 96000, false, 0, "pcm_s24le"},
        {1, 32, 48000, true, 0, "pcm_f32le"},  {2, 32, 192000, true, 1, "pcm_f32le"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.channels << " ch " << r.bits << " bit " << r.rate);
        sxtest::TempDir dir;
        const std::string path = dir.file("t.wav");
        const size_t frames = r.rate / 2 + 17;
        writeWav(path, param(r.channels, r.bits, r.rate, false, r.isFloat ? 0 : 1), r.bext,
                 sine(r.channels, r.bits, r.isFloat, frames));

        EXPECT_EQ(run("sox --i -r '" + path + "'"), std::to_string(r.rate));
        EXPECT_EQ(run("sox --i -c '" + path + "'"), std::to_string(r.channels));
        EXPECT_EQ(run("sox --i -b '" + path + "'"), std::to_string(r.bits));
        EXPECT_EQ(run("sox --i -s '" + path + "'"), std::to_string(frames));
        // sox decodes every sample without complaint.
        EXPECT_EQ(run("sox -V1 '" + path + "' -n stat 2>&1 | awk '/Samples read/ {print $3}'"),
                  std::to_string(frames * r.channels));

        auto kv = probe(path);
        EXPECT_EQ(kv["codec_name"], r.codec);
        EXPECT_EQ(kv["sample_rate"], std::to_string(r.rate));
        EXPECT_EQ(kv["channels"], std::to_string(r.channels));
        EXPECT_EQ(kv["duration_ts"], std::to_string(frames));
    }
}

// An appended bext chunk behind audio of odd length keeps the chunk chain
// intact for other readers.
TEST(WavReaders, AppendedBextAfterOddAudioKeepsTheFileReadable) {
    SX_REQUIRE_TOOLS("sox", "ffprobe");
    sxtest::TempDir dir;
    const std::string path = dir.file("odd.wav");
    const size_t frames = 4001;
    writeWav(path, param(1, 8, 8000), 0, Bytes(frames, 0x80));
    {
        gClass_WavFile wav;
        File f(path, "rb+");
        ASSERT_EQ(wav.setStartSample(f.fp, 16000), -41);
    }
    EXPECT_EQ(run("sox --i -s '" + path + "'"), std::to_string(frames));
    EXPECT_EQ(run("sox -V1 '" + path + "' -n stat 2>&1 | awk '/Samples read/ {print $3}'"), std::to_string(frames));
    EXPECT_EQ(probe(path)["duration_ts"], std::to_string(frames));
    // ffprobe walks the chain to the bext chunk and reports its time reference.
    EXPECT_EQ(run("ffprobe -v error -show_entries format_tags=time_reference -of default=nw=1:nk=1 '" + path + "'"),
              "16000");
}

TEST(WavReaders, Rf64BeyondFourGiBReportsItsTrueLength) {
    SX_REQUIRE_TOOLS("ffprobe");
    sxtest::TempDir dir;
    const std::string path = dir.file("big.wav");
    const uint64_t frames = 0x100000000ull / 4 + 48000 * 3;  // more than 4 GiB of 16-bit stereo
    const uint64_t bytes = frames * 4;
    gClass_WavFile wav;
    tBwfHdrParam p = param(2, 16, 48000, true);
    {
        File f(path, "wb+");
        ASSERT_EQ(wav.createHeader(f.fp, &p, 1), 0);
        ASSERT_EQ(std::fflush(f.fp), 0);
        std::filesystem::resize_file(path, 32768 + bytes);  // sparse: the audio reads as silence
        ASSERT_EQ(wav.updateDataSize(f.fp, bytes, frames), 0);
    }
    auto kv = probe(path);
    EXPECT_EQ(kv["codec_name"], "pcm_s16le");
    EXPECT_EQ(kv["sample_rate"], "48000");
    EXPECT_EQ(kv["channels"], "2");
    EXPECT_EQ(kv["duration_ts"], std::to_string(frames));
}
