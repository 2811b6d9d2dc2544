// DSDIFF files written through the handler, read back by ffprobe and ffmpeg:
// the header must mean to them what it means to us, and the audio bytes
// must come out as they went in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "audiofile/dsdifffile.h"
#include "audiofile/marklist.h"
#include "dsdifftestutil.h"
#include "testutil.h"
#include "tools.h"

using namespace dfftest;

namespace {

std::map<std::string, std::string> probe(const std::string &path) {
    return sxtest::probeStream(path, "stream=codec_name,sample_rate,channels,duration_ts,duration");
}

TEST(DsdiffReaders, FfmpegReadsWhatWeWrite) {
    SX_REQUIRE_TOOLS("ffprobe", "ffmpeg");
    sxtest::TempDir dir;
    struct Case {
        uint16_t channels;
        uint32_t rate;
        uint32_t seconds;
        bool marks;  // marks and a start time in the file as well
    };
    const Case cases[] = {
        {2, 2822400, 1, false},
        {1, 2822400, 2, false},
        {2, 5644800, 1, true},
        {1, 11289600, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " ch, " + std::to_string(c.rate) + " Hz");
        const std::string path = dir.file("r.dff");
        const uint64_t samples = static_cast<uint64_t>(c.rate) * c.seconds;
        const Bytes audio = pattern(samples / 8 * c.channels, static_cast<uint8_t>(c.channels + c.seconds));
        writeDff(path, param(c.channels, c.rate), audio);
        if (c.marks) {
            gClass_DsdiffFile dff;
            ASSERT_EQ(gMarkList.create(0), 0);
            char name[kMarkNameBytes] = "MARK01";
            ASSERT_EQ(gMarkList.addMark(0, 0, -1, name, samples / 2, samples / 2, kMarkFlagReserved), 0);
            File f(path, "rb+");
            ASSERT_EQ(dff.saveCueData(f.fp, 0, 0, samples), 0);
            ASSERT_EQ(dff.setStartSample(f.fp, 12345), kAudioFileBextAppended);
        }
        auto kv = probe(path);
        EXPECT_EQ(kv["codec_name"], "dsd_msbf");
        // The decoder reports the rate of its 8-sample bytes.
        EXPECT_EQ(kv["sample_rate"], std::to_string(c.rate / 8));
        EXPECT_EQ(kv["channels"], std::to_string(c.channels));
        // ffprobe estimates the duration from the bytes behind the audio's
        // start, so chunks appended behind the audio (a bext) lengthen its
        // estimate by their size; the stream itself ends where the "DSD "
        // chunk says (the raw copy below).
        const double tail = c.marks ? 870.0 * 8 / (static_cast<double>(c.rate) * c.channels) : 0.0;
        EXPECT_NEAR(std::stod(kv["duration"]), c.seconds + tail, 1e-5);

        const std::string raw = dir.file("r.raw");
        ASSERT_EQ(
            std::system(("ffmpeg -v error -y -i '" + path + "' -map 0:a -c:a copy -f data '" + raw + "'").c_str()), 0);
        EXPECT_TRUE(sxtest::readAll(raw) == audio);
    }
}

}  // namespace
