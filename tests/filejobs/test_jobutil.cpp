// The header-kind decision and the tag text copy the jobs share.
#include <gtest/gtest.h>

#include "audiofile/jobs/jobutil.h"

namespace {

// A WAV with the fixed 32768-byte header needs RF64 once its RIFF size
// (file size - 8) reaches 4 GiB: for a stereo 64-bit decode that is from
// 268433409 samples on.
TEST(JobUtil, Rf64FromARiffSizeOfFourGiB) {
    const uint64_t stereo64 = 2 * 8;
    EXPECT_FALSE(jobs_wavNeedsRf64(268433408ull * stereo64));
    EXPECT_TRUE(jobs_wavNeedsRf64(268433409ull * stereo64));
    EXPECT_FALSE(jobs_wavNeedsRf64(0x100000000ull - 32760 - 1));
    EXPECT_TRUE(jobs_wavNeedsRf64(0x100000000ull - 32760));
    EXPECT_TRUE(jobs_wavNeedsRf64(UINT64_MAX));
}

TEST(JobUtil, TagTextIsCutWithinCapacityAndNeverSplitsAPair) {
    wchar16 buf[5];
    struct Case {
        QString in;
        std::u16string out;
    };
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");  // one character, two units
    const Case cases[] = {
        {"abcd", u"abcd"}, {"abcdef", u"abcd"}, {"abc" + clef, u"abc"}, {"ab" + clef, u"ab\U0001D11E"}, {"", u""},
    };
    for (const Case &c : cases) {
        std::fill(std::begin(buf), std::end(buf), wchar16{0x55});
        jobs_setTagText(buf, 5, c.in);
        EXPECT_EQ(jobs_tagText(buf, 5).toStdU16String(), c.out) << c.in.toStdString();
    }
    // A text without a terminator is read no further than its capacity.
    const wchar16 unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(jobs_tagText(unterminated, 3), "xyz");
}

}  // namespace
