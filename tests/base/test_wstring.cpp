#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/wstring.h"
#include "support/testutil.h"

using sxtest::s16;
using sxtest::u16;

namespace {

struct Buf {
    explicit Buf(const std::string &s, size_t units = kWStrPathUnits) : v(units, 0x7777) {
        auto w = u16(s);
        std::copy(w.begin(), w.end(), v.begin());
    }
    wchar16 *p() { return v.data(); }
    std::vector<wchar16> v;
};

}  // namespace

TEST(WString, StrncpyFillsOrLeavesUnterminated) {
    auto src = u16("abc");
    std::vector<wchar16> dst(8, 0x55);
    w_strncpy(dst.data(), src.data(), 4);  // length + 1: exactly one terminator
    EXPECT_EQ(s16(dst.data()), u"abc");
    EXPECT_EQ(dst[3], 0);
    EXPECT_EQ(dst[4], 0x55);

    std::fill(dst.begin(), dst.end(), 0x55);
    w_strncpy(dst.data(), src.data(), 2);  // cut: no terminator written
    EXPECT_EQ(dst[0], 'a');
    EXPECT_EQ(dst[1], 'b');
    EXPECT_EQ(dst[2], 0x55);

    std::fill(dst.begin(), dst.end(), 0x55);
    w_strncpy(dst.data(), src.data(), 6);  // rest of n filled with 0
    EXPECT_EQ(dst[5], 0);
    EXPECT_EQ(dst[6], 0x55);
}

TEST(WString, ConcatenationAndSearch) {
    Buf a("ab", 16);
    auto b = u16("cdef");
    w_strncat(a.p(), b.data(), 2);
    EXPECT_EQ(s16(a.p()), u"abcd");
    w_strcat(a.p(), b.data());
    EXPECT_EQ(s16(a.p()), u"abcdcdef");
    EXPECT_EQ(w_strlen(a.p()), 8u);
    EXPECT_EQ(w_strchr(a.p(), 'c'), a.p() + 2);
    EXPECT_EQ(w_strrchr_(a.p(), 'c'), a.p() + 4);
    EXPECT_EQ(w_strchr(a.p(), 'z'), nullptr);
}

TEST(WString, ComparisonsAreSignedAndFoldAsSpecified) {
    struct Row {
        const char *a, *b;
        int cmp, icmp;
    } rows[] = {
        {"abc", "abc", 0, 0},
        {"abc", "ABCD", 'a' - 'A', -1},  // b longer when folded
        {"ABCD", "abc", 'A' - 'a', 1},
        {"abd", "ABC", 'a' - 'A', 'D' - 'C'},
    };
    for (const Row &r : rows) {
        auto a = u16(r.a), b = u16(r.b);
        EXPECT_EQ(w_strcmp(a.data(), b.data()) == 0, r.cmp == 0) << r.a << " " << r.b;
        EXPECT_EQ(w_stricmp(a.data(), b.data()), r.icmp) << r.a << " " << r.b;
    }
    // Units compare as signed values: 0xFFE9 is below 'a'.
    wchar16 hi[] = {static_cast<wchar16>(0xFFE9), 0};
    auto lo = u16("a");
    EXPECT_LT(w_strcmp(hi, lo.data()), 0);
    EXPECT_LT(w_strncmp(hi, lo.data(), 1), 0);

    auto x = u16("abcX"), y = u16("ABCy");
    EXPECT_EQ(w_strnicmp(x.data(), y.data(), 3), 0);
    EXPECT_EQ(w_strnicmp(x.data(), y.data(), 4), 'X' - 'Y');

    // Cyrillic yo folds onto its capital only in the _all variants.
    wchar16 yo[] = {1105, 0}, YO[] = {1025, 0};
    EXPECT_EQ(w_stricmp_all(yo, YO), 0);
    EXPECT_NE(w_stricmp(yo, YO), 0);
    wchar16 alpha[] = {945, 1072, 0}, ALPHA[] = {913, 1040, 0};
    EXPECT_EQ(w_strnicmp_all(alpha, ALPHA, 2), 0);
}

TEST(WString, ByteAndWideText) {
    std::vector<wchar16> w(8);
    const char bytes[] = {'A', static_cast<char>(0xE9), 0};
    convAscToUni(w.data(), bytes);
    EXPECT_EQ(static_cast<uint16_t>(w[0]), 'A');
    EXPECT_EQ(static_cast<uint16_t>(w[1]), 0xFFE9);  // sign extension
    EXPECT_EQ(w[2], 0);

    char back[8];
    convUniToAsc(back, w.data());
    EXPECT_EQ(static_cast<unsigned char>(back[1]), 0xE9);

    auto ascii = u16("Hello ~"), wide = u16("caf\xC3\xA9"), cjk = u16("\xE6\x97\xA5");
    EXPECT_EQ(chk2byteCode(ascii.data()), 0);
    EXPECT_EQ(chk2byteCode(wide.data()), 0);  // é is below 256
    EXPECT_EQ(chk2byteCode(cjk.data()), 1);
    EXPECT_EQ(chkAscFromUni(ascii.data(), 100), 1);
    EXPECT_EQ(chkAscFromUni(wide.data(), 100), 0);
    EXPECT_EQ(chkAscFromUni(wide.data(), 3), 1);  // only the first 3 units looked at
    auto empty = u16("");
    EXPECT_EQ(chkAscFromUni(empty.data(), 5), 1);

    char b[8];
    EXPECT_EQ(strlcpy(b, "abcdefghij", sizeof b), 10u);
    EXPECT_STREQ(b, "abcdefg");
    b[0] = 'x';
    EXPECT_EQ(strlcpy(b, "abc", 0), 3u);
    EXPECT_EQ(b[0], 'x');
}

TEST(WString, ShiftJisSingleByteCharacters) {
    std::vector<wchar16> w(16, 0x1234);
    const char kana[] = {'A', static_cast<char>(0xA1), static_cast<char>(0xDF), 0};
    EXPECT_EQ(convSjistoUni(w.data(), kana), 3);
    EXPECT_EQ(static_cast<uint16_t>(w[0]), 'A');
    EXPECT_EQ(static_cast<uint16_t>(w[1]), 0xFF61);
    EXPECT_EQ(static_cast<uint16_t>(w[2]), 0xFF9F);
    EXPECT_EQ(w[3], 0);

    // A lead byte of a double-byte character stops the conversion.
    const char lead[] = {'x', static_cast<char>(0x82), static_cast<char>(0xA0), 0};
    EXPECT_EQ(convSjistoUni(w.data(), lead), kSjisUnsupported);
    EXPECT_EQ(static_cast<uint16_t>(w[1]), 0xFFFF);

    auto name = u16("Mark 01");
    char out[64];
    EXPECT_EQ(convUnitoSjisWithUnknownGlyph(out, name.data()), 7);
    EXPECT_STREQ(out, "Mark 01");

    // Half-width katakana round trip through the system codec.
    wchar16 hw[] = {static_cast<wchar16>(0xFF71), 'B', 0};
    char sj[16];
    EXPECT_EQ(fs_utosj(sj, hw), 1);
    EXPECT_EQ(static_cast<unsigned char>(sj[0]), 0xB1);
    EXPECT_EQ(sj[1], 'B');
    EXPECT_EQ(sj[2], 0);
}

TEST(WString, DriveTable) {
    std::vector<wchar16> w(8);
    EXPECT_EQ(s16(getDrivePath(w.data(), 2)), u"C:\\");
    EXPECT_EQ(s16(getDriveName(w.data(), 1)), u"B:");
    EXPECT_EQ(getDriveLetter(w.data(), 0), 'A');
    char a[8];
    EXPECT_STREQ(getDriveNameAsc(a, 2), "C:");
    struct Row {
        const char *path;
        int no;
    } rows[] = {{"c:\\x", 2}, {"A:", 0}, {"D:\\x", -1}, {"\\x", -1}, {"", -1}};
    for (const Row &r : rows) {
        auto p = u16(r.path);
        EXPECT_EQ(getDrvNoFromPath(p.data()), r.no) << r.path;
    }
    auto p = u16("C:\\music"), q = u16("music");
    EXPECT_EQ(s16(delDrvNameFromath(p.data())), u"\\music");
    EXPECT_EQ(delDrvNameFromath(q.data()), q.data());
}

TEST(WString, PathSplittingAndJoining) {
    struct Row {
        const char *in, *folder, *name;
    } rows[] = {
        {"\\a", "\\", "a"},
        {"C:\\a", "C:\\", "a"},
        {"C:\\x\\a", "C:\\x", "a"},
        {"plain.wav", "plain.wav", "plain.wav"},
    };
    for (const Row &r : rows) {
        Buf f(r.in), n(r.in);
        EXPECT_EQ(s16(getFileNameFromPath(n.p())), s16(u16(r.name).data())) << r.in;
        EXPECT_EQ(s16(getPathNameFromPath(f.p())), s16(u16(r.folder).data())) << r.in;
    }

    Buf dst("C:\\a");
    auto name = u16("\\b.wav");
    EXPECT_EQ(addPathName(dst.p(), name.data(), 200), 0);
    EXPECT_EQ(s16(dst.p()), u"C:\\a\\b.wav");

    Buf dst2("C:\\a\\");
    auto longName = u16("0123456789");
    EXPECT_EQ(addPathName(dst2.p(), longName.data(), 10), kPathCut);
    EXPECT_EQ(s16(dst2.p()), u"C:\\a\\01234");

    Buf e("C:\\a.b\\song.dsf");
    auto ext = u16(".wav");
    EXPECT_EQ(changeFileExtention(e.p(), ext.data()), 0);
    EXPECT_EQ(s16(e.p()), u"C:\\a.b\\song.wav");
    EXPECT_EQ(delFileExtention(e.p()), 0);
    EXPECT_EQ(s16(e.p()), u"C:\\a.b\\song");

    char bytes[] = "a/b\\c";
    convertSlashtoYen(bytes);
    EXPECT_STREQ(bytes, "a\\b\\c");
    convertYentoSlash(bytes);
    EXPECT_STREQ(bytes, "a/b/c");
    Buf wb("a/b\\c");
    convertYentoSlashUni(wb.p());
    EXPECT_EQ(s16(wb.p()), u"a/b/c");
    convertSlashtoYenUni(wb.p());
    EXPECT_EQ(s16(wb.p()), u"a\\b\\c");
}

TEST(WString, CheckFileExtention) {
    struct Row {
        const char *path, *ext;
        int want;
    } rows[] = {
        {"C:\\music\\a.WAV", ".wav", 1},
        {"a.wav", ".wav", 1},
        {"a.WAV", "WAV", 0},
        {"a.WAV", ".WAV", 0},  // the extension argument must be lower case
        {"a.dsf", ".wav", 0},
        {"a.wavx", ".wav", 0},
        {"noext", ".wav", 0},
        {"a.0123456789abcde", ".0123456789abcde", 0},  // 15 units after the dot
        {"a.0123456789abcd", ".0123456789abcd", 1},
    };
    for (const Row &r : rows) {
        auto p = u16(r.path);
        EXPECT_EQ(checkFileExtention(p.data(), r.ext), r.want) << r.path << " " << r.ext;
    }
}

TEST(WString, PathComp) {
    struct Row {
        const char *a, *b;
        int want;
    } rows[] = {
        {"C:\\x\\", "c:\\X", 0}, {"C:\\x\\y", "C:\\x", 1}, {"C:\\x", "C:\\x\\y", 2},
        {"C:\\xy", "C:\\x", 3},  {"C:\\x", "C:\\xy", 3},   {"D:\\x\\y", "C:\\x", 3},
    };
    for (const Row &r : rows) {
        Buf a(r.a), b(r.b);
        EXPECT_EQ(pathComp(a.p(), b.p()), r.want) << r.a << " vs " << r.b;
    }
}

TEST(WString, DigitsAndRateCodes) {
    const struct {
        int value;
        int digit;
    } toDigit[] = {{0, '0'}, {9, '9'}, {10, 'A'}, {15, 'F'}, {16, 0}};
    for (const auto &r : toDigit) EXPECT_EQ(conv_bb_ab(r.value), r.digit) << r.value;
    const struct {
        char digit;
        int value;
    } toValue[] = {{'7', 7}, {'b', 11}, {'F', 15}, {'g', 0}};
    for (const auto &r : toValue) EXPECT_EQ(conv_ab_bb(r.digit), r.value) << r.digit;

    struct Row {
        uint32_t hz;
        int code;
    } rows[] = {{44100, 0},    {12345, 0},     {48000, 1},     {96000, 3},  {768000, 9}, {2822400, 10},
                {5644800, 11}, {11289600, 12}, {22579200, 13}, {47952, 15}, {48048, 16}};
    for (const Row &r : rows) EXPECT_EQ(convFsDef(r.hz), r.code) << r.hz;
}

TEST(WString, Utf8OfPaths) {
    auto p = u16("/tmp/\xE9\x9F\xB3\xE6\xA5\xBD/caf\xC3\xA9.wav");
    EXPECT_EQ(w_toUtf8(p.data()), "/tmp/\xE9\x9F\xB3\xE6\xA5\xBD/caf\xC3\xA9.wav");
    wchar16 pair[] = {static_cast<wchar16>(0xD83C), static_cast<wchar16>(0xDFB5), 0};
    EXPECT_EQ(w_toUtf8(pair), "\xF0\x9F\x8E\xB5");
    wchar16 lone[] = {static_cast<wchar16>(0xDC00), 'a', 0};
    EXPECT_EQ(w_toUtf8(lone),
              "\xEF\xBF\xBD"
              "a");
}
