// What the strips show and how they read typed values, without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mixer/striptext.h"

TEST(StripText, TypedLevels) {
    struct Case {
        const char *text;
        float dB;
        const char *shown;
    };
    const Case cases[] = {
        {"abc", -16.0f, "-16.0"},    {"", -16.0f, "-16.0"},       {"nan", -16.0f, "-16.0"},   {"10", 6.0f, "6.0"},
        {"-200", -120.0f, "-120.0"}, {"-500", -120.0f, "-120.0"}, {"3", 3.0f, "3.0"},         {"-3.46", -3.46f, "-3.5"},
        {"inf", 6.0f, "6.0"},        {"-0", -0.0f, "0.0"},        {" -12 ", -12.0f, "-12.0"}, {"-0.04", -0.04f, "0.0"},
    };
    for (const Case &c : cases) {
        const float dB = strip_parseLevel(QString::fromLatin1(c.text));
        EXPECT_EQ(dB, c.dB) << c.text;
        EXPECT_EQ(strip_levelText(dB), QString::fromLatin1(c.shown)) << c.text;
    }
    // The fader's 0 dB step is negative zero; it reads 0.0.
    EXPECT_EQ(strip_levelText(-0.0f), "0.0");
    EXPECT_EQ(strip_levelText(12.0f), "6.0");
}

TEST(StripText, TypedPans) {
    struct Case {
        const char *text;
        int pan;
        const char *shown;
    };
    const Case cases[] = {
        {"L20", -20, "L20"},    {"-20", -20, "L20"},  {"l150", -100, "L100"},
        {"R20", 20, "R20"},     {"+20", 20, "R20"},   {"20", 20, "R20"},
        {"r7", 7, "R7"},        {"R-30", -30, "L30"}, {"x5", 0, "C"},
        {"C", 0, "C"},          {"", 0, "C"},         {"0", 0, "C"},
        {"L", 0, "C"},          {"Rabc", 0, "C"},     {"99999999999", 0, "C"},
        {"L-500", 100, "R100"},
    };
    for (const Case &c : cases) {
        const int pan = strip_parsePan(QString::fromLatin1(c.text));
        EXPECT_EQ(pan, c.pan) << c.text;
        EXPECT_EQ(strip_panText(pan), QString::fromLatin1(c.shown)) << c.text;
    }
    EXPECT_EQ(strip_panText(-37), "L37");
    EXPECT_EQ(strip_panText(250), "R100");
}

TEST(StripText, PanKnobPositions) {
    // The 61-pixel track: the centre is only reached by typing.
    EXPECT_EQ(strip_panAtPosition(0, 61), -100);
    EXPECT_EQ(strip_panAtPosition(22, 61), -3);
    EXPECT_EQ(strip_panAtPosition(23, 61), 2);
    EXPECT_EQ(strip_panAtPosition(45, 61), 100);
    EXPECT_EQ(strip_panAtPosition(5, 16), 0);
}

TEST(StripText, PeakFrequency) {
    struct Case {
        float hz;
        int shown;
    };
    const Case cases[] = {
        {1234.9f, 1230},
        {1235.0f, 1240},
        {-12.0f, 0},
        {96000.0f, 96000},
        {4.9f, 0},
        {5.0f, 10},
        {-16.0f, -10},
        {3.0e10f, 1000000000},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 1000000000},
    };
    for (const Case &c : cases) EXPECT_EQ(strip_peakFreq(c.hz), c.shown) << c.hz;
}

TEST(StripText, ChannelPairsAndPictures) {
    EXPECT_EQ(strip_pairItems(0, false), QStringList());
    EXPECT_EQ(strip_pairItems(2, false), QStringList({"Ch 1-2"}));
    EXPECT_EQ(strip_pairItems(3, false), QStringList({"Ch 1-2", "Ch 3-4"}));
    EXPECT_EQ(strip_pairItems(5, false), QStringList({"Ch 1-2", "Ch 3-4", "Ch 5-6"}));
    EXPECT_EQ(strip_pairItems(1, true), QStringList());
    EXPECT_EQ(strip_pairItems(3, true), QStringList({"Ch 1-2"}));
    EXPECT_EQ(strip_pairItems(8, true), QStringList({"Ch 1-2", "Ch 3-4", "Ch 5-6", "Ch 7-8"}));
    EXPECT_EQ(strip_pairItems(-3, true), QStringList());

    EXPECT_EQ(strip_channelPicture(0), ":/resources2/parts/point_eq_1-on.png");
    EXPECT_EQ(strip_channelPicture(3), ":/resources2/parts/point_eq_4-on.png");
    EXPECT_EQ(strip_channelPicture(4), ":resources2/parts/point_ch5.png");
    EXPECT_EQ(strip_channelPicture(31), ":resources2/parts/point_ch32.png");
    EXPECT_EQ(strip_channelPicture(-1), ":/resources2/parts/point_BlueFlat_on.png");
    EXPECT_EQ(strip_channelPicture(32), ":/resources2/parts/point_BlueFlat_on.png");
}
