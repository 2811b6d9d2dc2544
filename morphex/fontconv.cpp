#include "morphex/fontconv.h"

#include <iconv.h>
#include <algorithm>
#include <cstring>

// JIS X 0201 half-width katakana and their JIS X 0208 counterparts. Row 0
// (byte 0xA0) is not a katakana; it stands for a space.
const uint16_t kHWTranslations[64][3] = {
    {0x0020, 0, 0},           {0x3002, 0, 0},           {0x300C, 0, 0},           {0x300D, 0, 0},
    {0x3001, 0, 0},           {0x30FB, 0, 0},           {0x30F2, 0, 0},           {0x30A1, 0, 0},
    {0x30A3, 0, 0},           {0x30A5, 0, 0},           {0x30A7, 0, 0},           {0x30A9, 0, 0},
    {0x30E3, 0, 0},           {0x30E5, 0, 0},           {0x30E7, 0, 0},           {0x30C3, 0, 0},
    {0x30FC, 0, 0},           {0x30A2, 0, 0},           {0x30A4, 0, 0},           {0x30A6, 0, 0},
    {0x30A8, 0, 0},           {0x30AA, 0, 0},           {0x30AB, 0x30AC, 0},      {0x30AD, 0x30AE, 0},
    {0x30AF, 0x30B0, 0},      {0x30B1, 0x30B2, 0},      {0x30B3, 0x30B4, 0},      {0x30B5, 0x30B6, 0},
    {0x30B7, 0x30B8, 0},      {0x30B9, 0x30BA, 0},      {0x30BB, 0x30BC, 0},      {0x30BD, 0x30BE, 0},
    {0x30BF, 0x30C0, 0},      {0x30C1, 0x30C2, 0},      {0x30C4, 0x30C5, 0},      {0x30C6, 0x30C7, 0},
    {0x30C8, 0x30C9, 0},      {0x30CA, 0, 0},           {0x30CB, 0, 0},           {0x30CC, 0, 0},
    {0x30CD, 0, 0},           {0x30CE, 0, 0},           {0x30CF, 0x30D0, 0x30D1}, {0x30D2, 0x30D3, 0x30D4},
    {0x30D5, 0x30D6, 0x30D7}, {0x30D8, 0x30D9, 0x30DA}, {0x30DB, 0x30DC, 0x30DD}, {0x30DE, 0, 0},
    {0x30DF, 0, 0},           {0x30E0, 0, 0},           {0x30E1, 0, 0},           {0x30E2, 0, 0},
    {0x30E4, 0, 0},           {0x30E6, 0, 0},           {0x30E8, 0, 0},           {0x30E9, 0, 0},
    {0x30EA, 0, 0},           {0x30EB, 0, 0},           {0x30EC, 0, 0},           {0x30ED, 0, 0},
    {0x30EF, 0, 0},           {0x30F3, 0, 0},           {0x309B, 0, 0},           {0x309C, 0, 0},
};

// Generated from the Unicode Character Database, version 3.2.0, all planes.
// 208 entries
const uint32_t kUnicodeInversionListMn[] = {
    0x0300, 0x0350, 0x0360, 0x0370, 0x0483, 0x0487,  0x0591,  0x05A2,  0x05A3,  0x05BA,  0x05BB,  0x05BE,  0x05BF,
    0x05C0, 0x05C1, 0x05C3, 0x05C4, 0x05C5, 0x064B,  0x0656,  0x0670,  0x0671,  0x06D6,  0x06DD,  0x06DF,  0x06E5,
    0x06E7, 0x06E9, 0x06EA, 0x06EE, 0x0711, 0x0712,  0x0730,  0x074B,  0x07A6,  0x07B1,  0x0901,  0x0903,  0x093C,
    0x093D, 0x0941, 0x0949, 0x094D, 0x094E, 0x0951,  0x0955,  0x0962,  0x0964,  0x0981,  0x0982,  0x09BC,  0x09BD,
    0x09C1, 0x09C5, 0x09CD, 0x09CE, 0x09E2, 0x09E4,  0x0A02,  0x0A03,  0x0A3C,  0x0A3D,  0x0A41,  0x0A43,  0x0A47,
    0x0A49, 0x0A4B, 0x0A4E, 0x0A70, 0x0A72, 0x0A81,  0x0A83,  0x0ABC,  0x0ABD,  0x0AC1,  0x0AC6,  0x0AC7,  0x0AC9,
    0x0ACD, 0x0ACE, 0x0B01, 0x0B02, 0x0B3C, 0x0B3D,  0x0B3F,  0x0B40,  0x0B41,  0x0B44,  0x0B4D,  0x0B4E,  0x0B56,
    0x0B57, 0x0B82, 0x0B83, 0x0BC0, 0x0BC1, 0x0BCD,  0x0BCE,  0x0C3E,  0x0C41,  0x0C46,  0x0C49,  0x0C4A,  0x0C4E,
    0x0C55, 0x0C57, 0x0CBF, 0x0CC0, 0x0CC6, 0x0CC7,  0x0CCC,  0x0CCE,  0x0D41,  0x0D44,  0x0D4D,  0x0D4E,  0x0DCA,
    0x0DCB, 0x0DD2, 0x0DD5, 0x0DD6, 0x0DD7, 0x0E31,  0x0E32,  0x0E34,  0x0E3B,  0x0E47,  0x0E4F,  0x0EB1,  0x0EB2,
    0x0EB4, 0x0EBA, 0x0EBB, 0x0EBD, 0x0EC8, 0x0ECE,  0x0F18,  0x0F1A,  0x0F35,  0x0F36,  0x0F37,  0x0F38,  0x0F39,
    0x0F3A, 0x0F71, 0x0F7F, 0x0F80, 0x0F85, 0x0F86,  0x0F88,  0x0F90,  0x0F98,  0x0F99,  0x0FBD,  0x0FC6,  0x0FC7,
    0x102D, 0x1031, 0x1032, 0x1033, 0x1036, 0x1038,  0x1039,  0x103A,  0x1058,  0x105A,  0x1712,  0x1715,  0x1732,
    0x1735, 0x1752, 0x1754, 0x1772, 0x1774, 0x17B7,  0x17BE,  0x17C6,  0x17C7,  0x17C9,  0x17D4,  0x180B,  0x180E,
    0x18A9, 0x18AA, 0x20D0, 0x20DD, 0x20E1, 0x20E2,  0x20E5,  0x20EB,  0x302A,  0x3030,  0x3099,  0x309B,  0xFB1E,
    0xFB1F, 0xFE00, 0xFE10, 0xFE20, 0xFE24, 0x1D167, 0x1D16A, 0x1D17B, 0x1D183, 0x1D185, 0x1D18C, 0x1D1AA, 0x1D1AE,
};
// 42 entries
const uint32_t kUnicodeInversionListNd[] = {
    0x0030, 0x003A, 0x0660, 0x066A, 0x06F0, 0x06FA, 0x0966, 0x0970, 0x09E6, 0x09F0, 0x0A66, 0x0A70, 0x0AE6,  0x0AF0,
    0x0B66, 0x0B70, 0x0BE7, 0x0BF0, 0x0C66, 0x0C70, 0x0CE6, 0x0CF0, 0x0D66, 0x0D70, 0x0E50, 0x0E5A, 0x0ED0,  0x0EDA,
    0x0F20, 0x0F2A, 0x1040, 0x104A, 0x1369, 0x1372, 0x17E0, 0x17EA, 0x1810, 0x181A, 0xFF10, 0xFF1A, 0x1D7CE, 0x1D800,
};
const int kUnicodeInversionListMnCount =
    static_cast<int>(sizeof(kUnicodeInversionListMn) / sizeof(kUnicodeInversionListMn[0]));
const int kUnicodeInversionListNdCount =
    static_cast<int>(sizeof(kUnicodeInversionListNd) / sizeof(kUnicodeInversionListNd[0]));

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint8_t kSjisVoiced = 0xDE;
constexpr uint8_t kSjisSemiVoiced = 0xDF;
constexpr uint32_t kHalfVoiced = 0xFF9E;
constexpr uint32_t kHalfSemiVoiced = 0xFF9F;

// Length of a UTF-8 character by its lead byte.
int leadLength(uint8_t c) {
    if (c >= 0xF0) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

// Decodes the character at s. *len receives its byte length; 0 at the
// terminator or when the terminator cuts the character (the string ends
// there).
uint32_t decodeUtf8(const char *s, int *len) {
    const uint8_t c = static_cast<uint8_t>(s[0]);
    if (c == 0) {
        *len = 0;
        return 0;
    }
    const int n = leadLength(c);
    uint32_t cp = (n == 1) ? c : (n == 2) ? (c & 0x1Fu) : (n == 3) ? (c & 0x0Fu) : (c & 0x07u);
    for (int k = 1; k < n; ++k) {
        const uint8_t t = static_cast<uint8_t>(s[k]);
        if (t == 0) {
            *len = 0;
            return 0;
        }
        cp = (cp << 6) | (t & 0x3Fu);
    }
    *len = n;
    return cp;
}

int utf8Length(uint32_t cp) {
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    return 4;
}

// Appends cp when it fits before the terminator; false when it does not.
bool putUtf8(char *dst, int size, int *at, uint32_t cp) {
    const int n = utf8Length(cp);
    if (*at + n > size - 1) return false;
    uint8_t *d = reinterpret_cast<uint8_t *>(dst) + *at;
    if (n == 1) {
        d[0] = static_cast<uint8_t>(cp);
    } else if (n == 2) {
        d[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
        d[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else if (n == 3) {
        d[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
        d[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        d[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    } else {
        d[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
        d[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        d[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        d[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    }
    *at += n;
    return true;
}

// Full-width form of the half-width row, folding a following mark
// (0 = none, 1 = voiced, 2 = semi-voiced) when that form exists. *used is
// set when the mark was folded.
uint32_t fullWidth(int row, int mark, bool *used) {
    *used = false;
    if (mark != 0 && kHWTranslations[row][mark] != 0) {
        *used = true;
        return kHWTranslations[row][mark];
    }
    return kHWTranslations[row][0];
}

bool inList(const uint32_t *list, int count, uint32_t cp) {
    const uint32_t *at = std::upper_bound(list, list + count, cp);
    return ((at - list) & 1) != 0;
}

// One double-byte Shift-JIS character through the system's codec.
uint32_t decodeSjisPair(iconv_t cd, uint8_t lead, uint8_t trail) {
    if (cd == reinterpret_cast<iconv_t>(-1)) return kReplacement;
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    char out[8] = {};
    char *ip = in;
    char *op = out;
    size_t il = 2, ol = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0) return kReplacement;
    const size_t n = sizeof(out) - ol;
    if (n < 4) return kReplacement;
    // UTF-32LE; a codec that yields two characters for one pair keeps the first.
    const uint8_t *o = reinterpret_cast<const uint8_t *>(out);
    const uint32_t cp = o[0] | (o[1] << 8) | (o[2] << 16) | (static_cast<uint32_t>(o[3]) << 24);
    return cp;
}

int FontInit() { return 0; }

const tFontRecord *GetFont(int) { return nullptr; }

int utf8_strlen(const char *s) {
    if (!s) return 0;
    int count = 0;
    int len = 0;
    while (decodeUtf8(s, &len), len > 0) {
        s += len;
        ++count;
    }
    return count;
}

int utf8_glyphpos(const char *s, int n) {
    if (!s) return 0;
    int pos = 0;
    int len = 0;
    for (int i = 0; i < n; ++i) {
        decodeUtf8(s + pos, &len);
        if (len == 0) break;
        pos += len;
    }
    return pos;
}

int ConvSJIStoUTF8(const char *src, char *dst, int size) {
    if (!src || !dst || size < 1) return kFontErrArg;
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    const uint8_t *s = reinterpret_cast<const uint8_t *>(src);
    int at = 0;
    while (*s != 0) {
        const uint8_t c = *s;
        uint32_t cp;
        int step = 1;
        if (c < 0x81) {
            cp = c;
        } else if ((c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            if (s[1] == 0) break;  // a lead byte cut by the terminator
            if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-32LE", "SHIFT_JIS");
            cp = decodeSjisPair(cd, c, s[1]);
            step = 2;
        } else if (c >= 0xA0 && c <= 0xDF) {
            const int mark = (s[1] == kSjisVoiced) ? 1 : (s[1] == kSjisSemiVoiced) ? 2 : 0;
            bool used = false;
            cp = fullWidth(c - 0xA0, mark, &used);
            if (used) step = 2;
        } else {
            // 0xFD..0xFF are not Shift-JIS; they have no row in the table.
            cp = kReplacement;
        }
        if (!putUtf8(dst, size, &at, cp)) break;
        s += step;
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    dst[at] = 0;
    return at;
}

int ConvUTF16toUTF8(const wchar16 *src, char *dst, int size) {
    if (!src || !dst || size < 1) return kFontErrArg;
    int at = 0;
    for (size_t i = 0; src[i] != 0;) {
        uint32_t cp = static_cast<uint16_t>(src[i]);
        size_t step = 1;
        if (cp >= 0xD800 && cp < 0xDC00) {
            const uint32_t lo = static_cast<uint16_t>(src[i + 1]);
            if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                step = 2;
            } else {
                // An unpaired high surrogate has no UTF-8 form: drop it.
                i += 1;
                continue;
            }
        } else if (cp >= 0xDC00 && cp < 0xE000) {
            i += 1;
            continue;
        } else if (cp >= 0xFF61 && cp <= 0xFF9F) {
            const uint32_t next = static_cast<uint16_t>(src[i + 1]);
            const int mark = (next == kHalfVoiced) ? 1 : (next == kHalfSemiVoiced) ? 2 : 0;
            bool used = false;
            cp = fullWidth(static_cast<int>(cp - 0xFF60), mark, &used);
            if (used) step = 2;
        }
        if (!putUtf8(dst, size, &at, cp)) break;
        i += step;
    }
    dst[at] = 0;
    return at;
}

// UTF-8 into units of T (at most size - 1 and a terminator), dropping the
// characters above maxCp that one unit cannot hold.
template <class T>
int narrowUtf8(const char *src, T *dst, int size, uint32_t maxCp) {
    if (!src || !dst || size < 1) return kFontErrArg;
    int at = 0;
    int len = 0;
    while (at < size - 1) {
        const uint32_t cp = decodeUtf8(src, &len);
        if (len == 0) break;
        src += len;
        if (cp <= maxCp) dst[at++] = static_cast<T>(cp);
    }
    dst[at] = 0;
    return at;
}

int ConvUTF8toISO8859(const char *src, char *dst, int size) { return narrowUtf8(src, dst, size, 0xFF); }

int ConvUTF8toUTF16(const char *src, wchar16 *dst, int size) { return narrowUtf8(src, dst, size, 0xFFFF); }

int IsUnicodeCombining(uint32_t cp) {
    return inList(kUnicodeInversionListMn, kUnicodeInversionListMnCount, cp) ? 1 : 0;
}

int IsUnicodeNumeric(uint32_t cp) { return inList(kUnicodeInversionListNd, kUnicodeInversionListNdCount, cp) ? 1 : 0; }

int IsUTF8String(const char *s) {
    if (!s) return 0;
    int len = 0;
    for (;;) {
        const uint32_t cp = decodeUtf8(s, &len);
        if (len == 0) return 0;
        if (len > 1 && cp > 0xFF) return 1;
        s += len;
    }
}

const char *LastUnicodeIn(const char *s) {
    if (!s) return s;
    const char *last = s;
    int len = 0;
    for (const char *p = s;;) {
        decodeUtf8(p, &len);
        if (len == 0) break;
        last = p;
        p += len;
    }
    return last;
}

uint32_t UnicodeAt(const char *s) {
    if (!s) return 0;
    int len = 0;
    return decodeUtf8(s, &len);
}

const char *PrevUnicode(const char *start, const char *p) {
    if (!start || !p || p <= start) return start;
    --p;
    while (p > start && (static_cast<uint8_t>(*p) & 0xC0) == 0x80) --p;
    return p;
}

const char *NextUnicode(const char *p) {
    if (!p) return p;
    int len = 0;
    decodeUtf8(p, &len);
    if (len > 0) return p + len;
    // At the terminator, or a character cut by it: step onto the terminator.
    while (*p != 0) ++p;
    return p;
}

}  // namespace

uint32_t ConvUTF32_Glyph(const tFontRecord *font, uint32_t cp) {
    if (!font) return 0;
    if (font->kind & kFontKindUnicode) return cp;
    if (font->kind & kFontKindGlyphs) {
        if (cp <= 255) return cp;
        if (cp >= font->firstCode && cp - font->firstCode < font->glyphCount)
            return font->firstGlyph + (cp - font->firstCode);
        return 0;
    }
    return 0;
}

const tFontFuncs gFont = {
    FontInit,            // FontInit
    GetFont,             // GetFont
    utf8_strlen,         // utf8_strlen
    utf8_glyphpos,       // utf8_glyphpos
    ConvSJIStoUTF8,      // ConvSJIStoUTF8
    ConvUTF16toUTF8,     // ConvUTF16toUTF8
    ConvUTF8toISO8859,   // ConvUTF8toISO8859
    ConvUTF8toUTF16,     // ConvUTF8toUTF16
    IsUnicodeCombining,  // IsUnicodeCombining
    IsUnicodeNumeric,    // IsUnicodeNumeric
    IsUTF8String,        // IsUTF8String
    LastUnicodeIn,       // LastUnicodeIn
    UnicodeAt,           // UnicodeAt
    PrevUnicode,         // PrevUnicode
    NextUnicode,         // NextUnicode
};
static_assert(sizeof(tFontFuncs) == 15 * sizeof(void *), "gFont has 15 slots");
