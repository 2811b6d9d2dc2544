#include "audiofile/timecode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ToTcCase {
    int type;
    int rate;
    uint64_t samples;
    tTimeCode want;
};

::testing::AssertionResult same(const tTimeCode &w, const tTimeCode &g) {
    if (w.hour == g.hour && w.minute == g.minute && w.second == g.second && w.frame == g.frame &&
        w.subFrame == g.subFrame && w.sampleOffset == g.sampleOffset)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << g.hour << ":" << g.minute << ":" << g.second << ";" << g.frame
                                         << " sub " << g.subFrame << " offset " << g.sampleOffset << ", want " << w.hour
                                         << ":" << w.minute << ":" << w.second << ";" << w.frame << " sub "
                                         << w.subFrame << " offset " << w.sampleOffset;
}

TEST(Timecode, SamplesToTimecodeEveryFrameType) {
    const ToTcCase cases[] = {
        // 23.976: frames counted at the real rate and truncated, so one
        // second plus 48 samples is still frame 23 of second 0.
        {0, 48000, 48048, {0, 0, 0, 23, 99, 2001}},
        {0, 48000, 48000100, {0, 16, 39, 0, 5, 99}},
        {1, 48000, 48000ull * 3661 + 24000, {1, 1, 1, 12, 0, 0}},
        {2, 44100, 441000 + 5292 + 5, {0, 0, 10, 3, 0, 4}},
        // 29.97 drop: frame count 1800 is renumbered 1802 (00:01:00;02),
        // frame count 17982 becomes 18000 (00:10:00;00).
        {3, 48000, 2882882, {0, 0, 59, 29, 99, 1600}},
        {3, 48000, 2882883, {0, 1, 0, 2, 0, 0}},
        {3, 48000, 28799999, {0, 9, 59, 29, 99, 1600}},
        {3, 48000, 28800000, {0, 10, 0, 0, 0, 0}},
        // 29.97 non-drop: one real second is only 29.97 frames.
        {4, 48000, 48000, {0, 0, 0, 29, 97, 1553}},
        // A fraction within 0.005 of the next frame would round to 100.
        {4, 48000, 1594, {0, 0, 0, 0, 99, 1594}},
        {5, 48000, 2878400, {0, 0, 59, 29, 0, 0}},
        {5, 48000, 2880000, {0, 1, 0, 2, 0, 0}},
        {5, 48000, 28771200, {0, 10, 0, 0, 0, 0}},
        {6, 48000, 80, {0, 0, 0, 0, 5, 80}},
        // 25 hours wrap to 1.
        {6, 48000, 25ull * 3600 * 48000, {1, 0, 0, 0, 0, 0}},
        {7, 44100, 44100 + 441 * 37 + 440, {0, 0, 1, 37, 0, 0}},
        {8, 48000, 48000 + 47999, {0, 0, 1, 999, 0, 0}},
        {9, 768000, 768000ull * 5 + 767999, {0, 0, 5, 9999, 0, 0}},
        // Unknown types count hundredths.
        {12, 44100, 44100 + 441 * 37, {0, 0, 1, 37, 0, 0}},
        {-1, 44100, 44100 + 441 * 37, {0, 0, 1, 37, 0, 0}},
    };
    for (const ToTcCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.samples << " samples");
        tTimeCode tc{-1, -1, -1, -1, -1, -1};
        gTc_convSampleToTimeCode(c.samples, c.rate, c.type, &tc);
        EXPECT_TRUE(same(c.want, tc));
    }
}

struct ToSampleCase {
    int type;
    int rate;
    tTimeCode tc;
    uint64_t want;
};

TEST(Timecode, TimecodeToSamplesEveryFrameType) {
    const ToSampleCase cases[] = {
        {0, 48000, {0, 0, 1, 0, 0, 0}, 48048},
        {1, 48000, {1, 1, 1, 12, 0, 0}, 48000ull * 3661 + 24000},
        {2, 44100, {0, 0, 10, 3, 0, 0}, 441000 + 5292},
        {3, 48000, {0, 1, 0, 2, 0, 0}, 2882882},    // frame count 1800
        {3, 48000, {0, 10, 0, 0, 0, 0}, 28800000},  // frame count 17982
        {3, 48000, {1, 0, 0, 0, 0, 0}, 172800000},  // 107892 frames are exactly one real hour
        {4, 48000, {0, 0, 1, 0, 0, 0}, 48048},
        // Not the inverse of the other direction: 48000 samples read as
        // 00:00:00;29 at 29.97, which is 46446 samples.
        {4, 48000, {0, 0, 0, 29, 0, 0}, 46446},
        {5, 48000, {0, 1, 0, 2, 0, 0}, 2880000},
        {5, 48000, {0, 10, 0, 0, 0, 0}, 28771200},
        {6, 44100, {0, 0, 0, 15, 0, 0}, 22050},
        {6, 48000, {25, 0, 0, 0, 0, 0}, 25ull * 3600 * 48000},  // hours are not wrapped here
        {7, 44100, {0, 0, 1, 50, 77, 77}, 44100 + 22050},       // sub-frame and offset unread
        {8, 44100, {0, 0, 0, 500, 0, 0}, 22050},
        {9, 768000, {0, 0, 0, 9999, 0, 0}, 767923},
        {10, 44100, {0, 0, 0, 50, 0, 0}, 22050},
        // Nothing before the start, whatever the fields say.
        {6, 48000, {0, 0, -1, 0, 0, 0}, 0},
        {3, 48000, {0, 0, 0, -5, 0, 0}, 0},
        {1, 48000, {0, 0, 0, 0, 0, 0}, 0},
        // Fields far beyond any real position do not overflow.
        {6, 22579200, {2147483647, 0, 0, 0, 0, 0}, UINT64_MAX},
    };
    for (const ToSampleCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.tc.hour << ":" << c.tc.minute << ":"
                                        << c.tc.second << ";" << c.tc.frame);
        uint64_t pos = 12345;
        gTc_convTimeCodeToSample(&c.tc, &pos, c.rate, c.type);
        EXPECT_EQ(c.want, pos);
    }
}

TEST(Timecode, DropFrameRoundTripsOnWholeFrames) {
    // Every frame of the first eleven minutes at 30 drop-frame: samples of
    // a frame's start -> timecode -> the same samples; the numbering never
    // shows frames 0 and 1 outside the tenth minutes.
    for (uint64_t f = 0; f < 11 * 1800; ++f) {
        const uint64_t s = f * 1600;  // 48000 / 30
        tTimeCode tc;
        gTc_convSampleToTimeCode(s, 48000, kTc30Drop, &tc);
        if (tc.second == 0 && tc.frame < 2) {
            ASSERT_EQ(0, tc.minute % 10) << f;
        }
        uint64_t back = 0;
        gTc_convTimeCodeToSample(&tc, &back, 48000, kTc30Drop);
        ASSERT_EQ(s, back) << f;
    }
}

TEST(Timecode, BadRateGivesZeroInsteadOfDividing) {
    tTimeCode tc{1, 2, 3, 4, 5, 6};
    gTc_convSampleToTimeCode(1000, 0, kTc30, &tc);
    EXPECT_TRUE(same(tTimeCode{0, 0, 0, 0, 0, 0}, tc));
    uint64_t pos = 7;
    const tTimeCode one{0, 0, 1, 0, 0, 0};
    gTc_convTimeCodeToSample(&one, &pos, -48000, kTc30);
    EXPECT_EQ(0u, pos);
    std::string text;
    gTc_prepareTimeInfoDisp(&text, 1000, 0, kCounterTime, kTc30);
    EXPECT_EQ("00:00:00.00", text);
}

struct TextCase {
    int mode;
    int type;
    int rate;
    int64_t pos;
    bool subFrame;
    const char *want;
};

TEST(Timecode, CounterTexts) {
    const TextCase cases[] = {
        {kCounterTime, kTc29_97, 48000, 0, false, "00:00:00.00"},
        {kCounterTime, kTc29_97, 44100, 44100 * 61 + 441 * 7, false, "00:01:01.07"},
        // 3599 s and 43880 samples: the hundredths round to 100 and carry
        // through seconds and minutes into the hour.
        {kCounterTime, kTc29_97, 44100, 158759780, false, "01:00:00.00"},
        {kCounterTime, kTc29_97, 48000, 25ll * 3600 * 48000, false, "25:00:00.00"},
        {kCounterTime, kTc29_97, 48000, 100ll * 3600 * 48000 + 72000, false, "100:00:01.50"},
        {5, kTc29_97, 48000, 24000, false, "00:00:00.50"},  // any other mode is time
        {kCounterSamples, kTc29_97, 48000, 0, false, "0"},
        {kCounterSamples, kTc29_97, 48000, -12345, false, "-12345"},
        {kCounterSamples, kTc29_97, 48000, 9876543210ll, false, "9876543210"},
        {kCounterTimeCode, kTc29_97, 48000, 48000, false, "00:00:00;29"},
        {kCounterTimeCode, kTc29_97, 48000, 48000, true, "00:00:00;29.97"},
        {kCounterTimeCode, kTc30, 48000, 80, true, "00:00:00;00.5"},  // no leading zero
        {kCounterTimeCode, kTc29_97Drop, 48000, 2882883, false, "00:01:00;02"},
        {kCounterTimeCode, kTc30, 48000, 25ll * 3600 * 48000, false, "01:00:00;00"},
        {kCounterTimeCode, kTcTenThousandth, 768000, 767999, true, "00:00:00;9999.0"},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.want);
        gTc_setShowingSubFrame(c.subFrame);
        std::string text = "old";
        gTc_prepareTimeInfoDisp(&text, c.pos, c.rate, c.mode, c.type);
        EXPECT_EQ(c.want, text);
    }
    gTc_setShowingSubFrame(false);
}

}  // namespace
