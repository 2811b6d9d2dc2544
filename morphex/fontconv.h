// Text conversions of the conversion library: UTF-8 measuring and stepping,
// Shift-JIS / UTF-16 / UTF-8 / ISO 8859-1 conversions and two Unicode class
// tests, reached through the table gFont.
//
// UTF-8 here is stepped by its lead byte (0xC0..0xDF two bytes, 0xE0..0xEF
// three, 0xF0 and up four, anything else one); a character whose bytes are
// cut by the terminator ends the string, so nothing is read past a NUL.
//
// Conversions write at most size - 1 units into dst and always terminate it
// (size >= 1); they return the number of units written before the
// terminator, or kFontErrArg for a null pointer or size < 1. A character that
// does not fit whole ends the conversion.
//
// Half-width katakana (Shift-JIS bytes 0xA1..0xDF, U+FF61..U+FF9F) become
// their full-width forms; a following voiced (U+FF9E, byte 0xDE) or
// semi-voiced (U+FF9F, byte 0xDF) mark is folded into the character where a
// combined form exists.
//
// Stateless apart from constant tables; any thread may call it.
#pragma once

#include <cstdint>

#include "base/wstring.h"
#include "morphex/morphexexport.h"

enum : int {
    kFontErrArg = -17,
};

// A font record as GetFont would return it. No font is built into this
// library (GetFont returns null); ConvUTF32_Glyph reads the record's kind
// bits and its glyph range.
enum : uint32_t {
    kFontKindUnicode = 0x1,  // glyphs are indexed by code point
    kFontKindGlyphs = 0x2,   // code points above 255 map into the record's glyph range
};
struct tFontRecord {
    uint32_t kind;        // kFontKind* bits
    uint32_t firstCode;   // first code point of the glyph range (above 255)
    uint32_t firstGlyph;  // glyph index of firstCode
    uint32_t glyphCount;  // glyphs in the range
};

// The operations in table order.
struct tFontFuncs {
    int (*FontInit)();                           // does nothing; 0
    const tFontRecord *(*GetFont)(int id);       // no fonts: null
    int (*utf8_strlen)(const char *s);           // characters before the terminator
    int (*utf8_glyphpos)(const char *s, int n);  // byte offset of character n (the end when shorter)
    int (*ConvSJIStoUTF8)(const char *src, char *dst, int size);
    int (*ConvUTF16toUTF8)(const wchar16 *src, char *dst, int size);
    // Characters above U+00FF are dropped.
    int (*ConvUTF8toISO8859)(const char *src, char *dst, int size);
    // Characters above U+FFFF are dropped.
    int (*ConvUTF8toUTF16)(const char *src, wchar16 *dst, int size);
    int (*IsUnicodeCombining)(uint32_t cp);       // 1 when in category Mn
    int (*IsUnicodeNumeric)(uint32_t cp);         // 1 when in category Nd
    int (*IsUTF8String)(const char *s);           // 1 when a character above U+00FF occurs
    const char *(*LastUnicodeIn)(const char *s);  // start of the last complete character (s when empty)
    uint32_t (*UnicodeAt)(const char *s);         // code point of the first character (0 at the end)
    const char *(*PrevUnicode)(const char *start, const char *p);  // never before start
    const char *(*NextUnicode)(const char *p);                     // stays on the terminator
};

extern MORPHEX_EXPORT const tFontFuncs gFont;

// Outside the table, so no dispatch reaches it; kept as the font module's
// glyph lookup for a caller that needs one. Kind kFontKindUnicode: cp itself.
// Kind kFontKindGlyphs: cp for cp <= 255, the glyph index for a code point
// inside the record's range, 0 outside it. Any other kind or no font: 0.
uint32_t ConvUTF32_Glyph(const tFontRecord *font, uint32_t cp);

// Half-width to full-width table: row b - 0xA0 for the Shift-JIS byte b
// (0xA0..0xDF), columns {plain, with voiced mark, with semi-voiced mark};
// 0 where a combined form does not exist.
extern const uint16_t kHWTranslations[64][3];

// Inversion lists (ascending code points at which membership flips) of the
// general categories Mn and Nd.
extern const uint32_t kUnicodeInversionListMn[];
extern const int kUnicodeInversionListMnCount;
extern const uint32_t kUnicodeInversionListNd[];
extern const int kUnicodeInversionListNdCount;
