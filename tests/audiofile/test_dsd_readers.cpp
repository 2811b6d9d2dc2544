// DSF and WSD files written through the handlers, read back by ffprobe and
// ffmpeg: the headers must mean to them what they mean to us.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audiofile/wsdfile.h"
#include "dsdtestutil.h"
#include "tools.h"

using namespace dsdtest;

namespace {

using sxtest::commandOutput;

// The raw audio packets ffmpeg's demuxer takes from the file.
Bytes demux(const std::string &path, const std::string &out) {
    std::string cmd = "ffmpeg -v error -y -i '" + path + "' -map 0:a -c:a copy -f data '" + out + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return sxtest::readAll(out);
}

// ffmpeg decodes the whole file to PCM without an error.
bool decodes(const std::string &path) {
    std::string cmd = "ffmpeg -v error -xerror -i '" + path + "' -f null - >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace

// The block layout as ffmpeg hands it over: whole blocks, and the last
// block of each channel cut to the sample count.
Bytes trimmedLayout(const std::vector<Bytes> &ch) {
    Bytes out;
    const size_t per = ch[0].size();
    for (size_t g = 0; g * 4096 < per; ++g)
        for (const Bytes &c : ch)
            out.insert(out.end(), c.begin() + g * 4096, c.begin() + std::min(per, g * 4096 + 4096));
    return out;
}

// End of the last packet ffprobe lists, in seconds.
double lastPacketEnd(const std::string &path) {
    std::string out = commandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time "
        "-of csv=p=0 '" +
        path + "' | tail -1");
    double pts = 0, dur = 0;
    if (std::sscanf(out.c_str(), "%lf,%lf", &pts, &dur) != 2) return -1;
    return pts + dur;
}

size_t decodedBytes(const std::string &path) {
    std::string out = commandOutput("ffmpeg -v error -i '" + path + "' -f f32le - | wc -c");
    return static_cast<size_t>(std::strtoull(out.c_str(), nullptr, 10));
}

TEST(DsdReaders, FfprobeAndFfmpegReadWrittenDsfFiles) {
    SX_REQUIRE_TOOLS("ffprobe", "ffmpeg");
    struct Case {
        size_t channels;
        uint32_t rate;
        size_t perChannel;
        double seconds;
    } cases[] = {
        {2, 2822400, 352800 * 2, 2.0},  // a partly filled last block pair
        {1, 5644800, 705600, 1.0},      // mono: the handler pads the last block
        {2, 11289600, 4096 * 3, 4096.0 * 3 * 8 / 11289600},
    };
    for (const Case &c : cases) {
        sxtest::TempDir dir;
        SCOPED_TRACE(std::to_string(c.channels) + " ch at " + std::to_string(c.rate));
        std::vector<Bytes> ch;
        for (size_t i = 0; i < c.channels; ++i)
            ch.push_back(channelBytes(c.perChannel, static_cast<uint8_t>(17 + 90 * i)));
        const std::string path = dir.file("w.dsf");
        writeDsf(path, c.rate, ch, /*padMono=*/false);

        std::string info = commandOutput(
            "ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels "
            "-of default=nw=1 '" +
            path + "'");
        EXPECT_NE(info.find("channels=" + std::to_string(c.channels)), std::string::npos) << info;
        EXPECT_NE(info.find("sample_rate=" + std::to_string(c.rate / 8)), std::string::npos) << info;
        EXPECT_NEAR(lastPacketEnd(path), c.seconds, 1e-6);

        // Every byte of every channel comes back, in order, and the sample
        // count ends the audio where it ends.
        EXPECT_EQ(demux(path, dir.file("raw.bin")), trimmedLayout(ch));
        EXPECT_EQ(decodedBytes(path), c.perChannel * c.channels * 4);
        EXPECT_TRUE(decodes(path));
    }
}

TEST(DsdReaders, FfmpegReadsTheLibrarysWsdFiles) {
    SX_REQUIRE_TOOLS("ffprobe", "ffmpeg");
    sxtest::TempDir dir;
    const std::string path = dir.file("w.wsd");
    // Interleaved bytes, first sample in the most significant bit.
    Bytes audio(352800 * 2);
    for (size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<uint8_t>(i * 29 + (i >> 11));
    {
        gClass_WsdFile wsd(tAudioFileBuild{true});
        File f(path, "wb+");
        tBwfHdrParam p = param(2, 2822400);
        ASSERT_EQ(wsd.createHeader(f.fp, &p, 0), 0);
        ASSERT_EQ(std::fseek(f.fp, 0, SEEK_END), 0);
        ASSERT_EQ(std::fwrite(audio.data(), 1, audio.size(), f.fp), audio.size());
        ASSERT_EQ(wsd.updateDataSize(f.fp, audio.size(), audio.size() * 8 / 2), 0);
    }
    std::string info = commandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries stream=channels,codec_name "
        "-show_entries format=duration -of default=nw=1 '" +
        path + "'");
    EXPECT_NE(info.find("channels=2"), std::string::npos) << info;
    EXPECT_NE(info.find("duration=1.000000"), std::string::npos) << info;
    EXPECT_EQ(demux(path, dir.file("raw.bin")), audio);
    EXPECT_TRUE(decodes(path));

    // And our reader agrees with what was written.
    gClass_WsdFile reader;
    File f(path, "rb");
    uint64_t off = 0, data = 0, bytes = 0;
    ASSERT_EQ(reader.searchData(f.fp, &off, &data, &bytes), 0);
    EXPECT_EQ(off, 2048u);
    EXPECT_EQ(bytes, audio.size());
}
