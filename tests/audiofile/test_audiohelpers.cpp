#include <gtest/gtest.h>

#include <chrono>

#include "audiofile/audiohelpers.h"

TEST(AudioHelpers, RateTexts) {
    struct Row {
        int hz;
        const char *raw, *combo;
    } rows[] = {
        {44100, "44.1kHz", "44.1kHz"}, {48000, "48kHz", "48kHz"},     {352800, "352.8kHz", "352.8kHz"},
        {768000, "768kHz", "768kHz"},  {2822400, "2.8MHz", "2.8MHz"}, {22579200, "22.5MHz", "22.5MHz"},
        {32000, "32kHz", ""},          {22050, "22kHz", ""},          {-1500, "-1kHz", ""},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(getFreqTextFromRawValue(r.hz), r.raw) << r.hz;
        EXPECT_EQ(getCurrentFreqText(r.hz), r.combo) << r.hz;
    }
}

TEST(AudioHelpers, TypeChannelAndWordLengthTexts) {
    EXPECT_EQ(getFileTypeStringFromParam(0), "WAV(PCM)");
    EXPECT_EQ(getFileTypeStringFromParam(1), "FLAC(PCM)");
    EXPECT_EQ(getFileTypeStringFromParam(2), "DSF(DSD)");
    EXPECT_EQ(getFileTypeStringFromParam(3), "DSDIFF(DSD)");
    EXPECT_EQ(getFileTypeStringFromParam(4), "WSD(1bit)");
    EXPECT_EQ(getFileTypeStringFromParam(5), "");
    EXPECT_EQ(getFileTypeStringFromParam(-1), "");
    EXPECT_EQ(getChStringFromParam(1), "MONO");
    EXPECT_EQ(getChStringFromParam(2), "STEREO");
    EXPECT_EQ(getChStringFromParam(6), "6Channels");
    EXPECT_EQ(getBitStringFromParam(1), "1bit");
    EXPECT_EQ(getBitStringFromParam(24), "24bit");
    EXPECT_EQ(getBitStringFromParam(64), "64bit");
    EXPECT_EQ(getBitStringFromParam(8), "8bits");
}

TEST(AudioHelpers, ParsingAndRateIndex) {
    EXPECT_EQ(getSampleRateFromCombobox("AUTO"), 48000);
    EXPECT_EQ(getSampleRateFromCombobox("44.1kHz"), 44100);
    EXPECT_EQ(getSampleRateFromCombobox("44.1KHz"), 48000);  // case-sensitive
    EXPECT_EQ(getSampleRateFromCombobox("11.2MHz"), 11289600);
    EXPECT_EQ(getSampleRateFromCombobox("44.1kHz "), 48000);  // whole text
    EXPECT_EQ(getRecFormatFromCombobox("DSDIFF(DSD)"), 1);
    EXPECT_EQ(getRecFormatFromCombobox("DSF(DSD)"), 2);
    EXPECT_EQ(getRecFormatFromCombobox("WAV(PCM)"), 0);

    // The rate index is not the file layer's rate code: DSD sits at 16..19
    // and unknown rates give 1.
    struct Row {
        int hz, index;
    } rows[] = {{44100, 0},  {48000, 1},    {12345, 1},    {88200, 2},     {96000, 3},
                {176400, 4}, {192000, 5},   {352800, 6},   {384000, 7},    {705600, 8},
                {768000, 9}, {2822400, 16}, {5644800, 17}, {11289600, 18}, {22579200, 19}};
    for (const Row &r : rows) {
        EXPECT_EQ(getFreqIndexFromFsValue(r.hz), r.index) << r.hz;
        if (r.hz != 12345) {
            EXPECT_EQ(getFsValueFromFreqIndex(r.index), r.hz);
        }
    }
    EXPECT_EQ(getFsValueFromFreqIndex(12), 0);
}

// A wait of more than a second sleeps at least that long (its whole
// seconds and the rest both count); zero and negative waits return. Only
// the lower bound is checked: a loaded machine can lengthen a sleep, never
// shorten it, and a wait that never returns is reported by the runner.
TEST(AudioHelpers, WaitThreadHonoursSecondsAndZero) {
    using clock = std::chrono::steady_clock;
    waitThread(0);
    waitThread(-5);
    const auto t0 = clock::now();
    waitThread(1100);
    EXPECT_GE(std::chrono::duration<double>(clock::now() - t0).count(), 1.099);
}
