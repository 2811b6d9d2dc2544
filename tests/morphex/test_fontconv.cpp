// Text conversions of the conversion library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morphex/fontconv.h"
#include "testutil.h"

namespace {

std::string toUtf8(const std::vector<int16_t> &s, int size = 256) {
    std::vector<char> out(size, 'x');
    const int n = gFont.ConvUTF16toUTF8(s.data(), out.data(), size);
    EXPECT_GE(n, 0);
    return std::string(out.data());
}

std::string sjisToUtf8(const std::string &s, int size = 256) {
    std::vector<char> out(size, 'x');
    const int n = gFont.ConvSJIStoUTF8(s.c_str(), out.data(), size);
    EXPECT_GE(n, 0);
    return std::string(out.data());
}

std::vector<int16_t> units(std::initializer_list<uint16_t> l) {
    std::vector<int16_t> v;
    for (uint16_t u : l) v.push_back(static_cast<int16_t>(u));
    v.push_back(0);
    return v;
}

}  // namespace

TEST(FontConv, Utf16ToUtf8FoldsHalfWidthKatakana) {
    struct Case {
        std::vector<int16_t> in;
        std::string out;
    } cases[] = {
        {units({0xFF76, 0xFF9E}), "\xE3\x82\xAC"},              // KA + voiced -> GA
        {units({0xFF8A, 0xFF9F}), "\xE3\x83\x91"},              // HA + semi-voiced -> PA
        {units({0xFF76, 0xFF9F}), "\xE3\x82\xAB\xE3\x82\x9C"},  // KA has no semi-voiced form
        {units({0xFF71}), "\xE3\x82\xA2"},                      // A
        {units({0xFF9E}), "\xE3\x82\x9B"},                      // lone voiced mark
        {units({'A', 0x00E9, 0x20AC}), "A\xC3\xA9\xE2\x82\xAC"},
        {units({0xD83C, 0xDFB5}), "\xF0\x9F\x8E\xB5"},    // surrogate pair
        {units({'a', 0xDC00, 'b', 0xD800, 'c'}), "abc"},  // lone surrogates dropped
        {units({}), ""},
    };
    for (const Case &c : cases) EXPECT_EQ(toUtf8(c.in), c.out);
}

TEST(FontConv, OutputIsCutAtWholeCharactersAndTerminated) {
    // "GA" needs 3 bytes: with room for 4 bytes plus the terminator only one fits.
    EXPECT_EQ(toUtf8(units({0xFF76, 0xFF9E, 0xFF76, 0xFF9E}), 5), "\xE3\x82\xAC");
    EXPECT_EQ(toUtf8(units({'a', 'b', 'c'}), 3), "ab");
    char one[1] = {'x'};
    EXPECT_EQ(gFont.ConvUTF16toUTF8(units({'a'}).data(), one, 1), 0);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(gFont.ConvUTF16toUTF8(units({'a'}).data(), one, 0), kFontErrArg);
}

TEST(FontConv, ShiftJisToUtf8) {
    EXPECT_EQ(sjisToUtf8("abc"), "abc");
    EXPECT_EQ(sjisToUtf8("\xB6\xDE"), "\xE3\x82\xAC");                      // half-width KA + voiced
    EXPECT_EQ(sjisToUtf8("\xCA\xDF"), "\xE3\x83\x91");                      // HA + semi-voiced
    EXPECT_EQ(sjisToUtf8("\x82\xA0\x88\x9F"), "\xE3\x81\x82\xE4\xBA\x9C");  // double-byte
    EXPECT_EQ(sjisToUtf8("a\xFD"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");                       // not Shift-JIS
    EXPECT_EQ(sjisToUtf8("a\x82"), "a");  // lead cut by the end
}

TEST(FontConv, Utf8ToIsoAndUtf16) {
    char iso[16];
    EXPECT_EQ(gFont.ConvUTF8toISO8859("\xC3\xA9\xE2\x82\xAC", iso, sizeof iso), 1);
    EXPECT_EQ(std::string(iso), "\xE9");
    EXPECT_EQ(gFont.ConvUTF8toISO8859("abcdef", iso, 4), 3);
    EXPECT_EQ(std::string(iso), "abc");

    wchar16 w[8];
    EXPECT_EQ(gFont.ConvUTF8toUTF16("a\xE3\x82\xAC\xF0\x9F\x8E\xB5z", w, 8), 3);
    EXPECT_EQ(sxtest::s16(w), u"a\u30ACz");
    // A character cut by the terminator ends the text instead of reading past it.
    EXPECT_EQ(gFont.ConvUTF8toUTF16("a\xE3\x82", w, 8), 1);
}

TEST(FontConv, Utf8Stepping) {
    const char *s = "a\xC3\xA9\xE3\x82\xAC\xF0\x9F\x8E\xB5";
    EXPECT_EQ(gFont.utf8_strlen(""), 0);
    EXPECT_EQ(gFont.utf8_strlen(s), 4);
    EXPECT_EQ(gFont.utf8_strlen("ab\xE3"), 2);
    EXPECT_EQ(gFont.utf8_glyphpos(s, 2), 3);
    EXPECT_EQ(gFont.utf8_glyphpos(s, 9), 10);
    EXPECT_EQ(gFont.LastUnicodeIn(s), s + 6);
    const char *empty = "";
    EXPECT_EQ(gFont.LastUnicodeIn(empty), empty);
    EXPECT_EQ(gFont.UnicodeAt(s + 3), 0x30ACu);
    EXPECT_EQ(gFont.NextUnicode(s + 1), s + 3);
    EXPECT_EQ(gFont.PrevUnicode(s, s + 6), s + 3);
    EXPECT_EQ(gFont.PrevUnicode(s, s), s);
    EXPECT_EQ(gFont.IsUTF8String("caf\xC3\xA9"), 0);
    EXPECT_EQ(gFont.IsUTF8String(s), 1);
}

TEST(FontConv, UnicodeClasses) {
    struct Case {
        uint32_t cp;
        int combining, numeric;
    } cases[] = {
        {'a', 0, 0},     {'0', 0, 1},     {'9', 0, 1},      {':', 0, 0},    {0x0300, 1, 0},
        {0x036F, 1, 0},  {0x0660, 0, 1},  {0xFF10, 0, 1},   {0x3099, 1, 0}, {0x30AC, 0, 0},
        {0x1D7CE, 0, 1}, {0x1D7FF, 0, 1}, {0x10FFFF, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(gFont.IsUnicodeCombining(c.cp), c.combining) << std::hex << c.cp;
        EXPECT_EQ(gFont.IsUnicodeNumeric(c.cp), c.numeric) << std::hex << c.cp;
    }
    EXPECT_EQ(kUnicodeInversionListNdCount, 42);
}
