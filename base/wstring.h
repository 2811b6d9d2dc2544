// NUL-terminated 16-bit strings (UTF-16 in practice) and the paths the file
// layer keeps in them. Units are signed 16-bit values and compare as such;
// lengths are counted in units. Destination buffers belong to the caller,
// who sizes them (names up to 256 units, paths up to 512).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

typedef int16_t wchar16;

enum : int {
    kWStrNameUnits = 256,  // names and tag texts
    kWStrPathUnits = 512,  // paths
};

// Byte strings: copies at most size-1 bytes and terminates when size > 0;
// returns strlen(src), so a result >= size means the copy was cut.
size_t strlcpy(char *dst, const char *src, size_t size);

// 16-bit string family.
wchar16 *w_strcpy(wchar16 *dst, const wchar16 *src);
wchar16 *w_strncpy(wchar16 *dst, const wchar16 *src, size_t n);
wchar16 *w_strcat(wchar16 *dst, const wchar16 *src);
wchar16 *w_strncat(wchar16 *dst, const wchar16 *src, size_t n);
int w_strcmp(const wchar16 *a, const wchar16 *b);
int w_strncmp(const wchar16 *a, const wchar16 *b, size_t n);
int w_stricmp(const wchar16 *a, const wchar16 *b);
int w_strnicmp(const wchar16 *a, const wchar16 *b, size_t n);
int w_stricmp_all(const wchar16 *a, const wchar16 *b);
int w_strnicmp_all(const wchar16 *a, const wchar16 *b, size_t n);
wchar16 *w_strchr(const wchar16 *s, wchar16 c);
wchar16 *w_strrchr_(const wchar16 *s, wchar16 c);
size_t w_strlen(const wchar16 *s);

// Byte and 16-bit text.
wchar16 *convAscToUni(wchar16 *dst, const char *src);  // bytes sign-extended
char *convUniToAsc(char *dst, const wchar16 *src);     // low byte of each unit
int chk2byteCode(const wchar16 *s);                    // 1 when a unit >= 256
int chkAscFromUni(const wchar16 *s, size_t n);         // 1 when printable ASCII
// Shift-JIS bytes to 16-bit text; single-byte characters only. Returns the
// units written, or kSjisUnsupported after storing 0xFFFF.
enum : int { kSjisUnsupported = -99 };
int convSjistoUni(wchar16 *dst, const char *src);
// Whole 16-bit text to Shift-JIS bytes through the system codec; returns 1.
int fs_utosj(char *dst, const wchar16 *src);
// At most 256 units to Shift-JIS; returns the number of units handled.
// dst must hold at least twice as many bytes as src has units, plus one.
int convUnitoSjisWithUnknownGlyph(char *dst, const wchar16 *src);

// The fixed drive table (rows 0..2).
wchar16 *getDrivePath(wchar16 *dst, int i);
wchar16 *getDriveName(wchar16 *dst, int i);
wchar16 getDriveLetter(wchar16 *dst, int i);
char *getDriveNameAsc(char *dst, int i);
int getDrvNoFromPath(const wchar16 *path);
const wchar16 *delDrvNameFromath(const wchar16 *path);

// Paths with '\' as separator, changed in place.
wchar16 *getFileNameFromPath(wchar16 *path);
wchar16 *getPathNameFromPath(wchar16 *path);
enum : int { kPathCut = -17 };
int addPathName(wchar16 *dst, const wchar16 *name, size_t max);  // dst holds max+1 units
int changeFileExtention(wchar16 *path, const wchar16 *ext);
int delFileExtention(wchar16 *path);
int checkFileExtention(const wchar16 *path, const char *ext);  // ext lower case with its dot
int pathComp(wchar16 *a, wchar16 *b);                          // 0 same, 1 b holds a, 2 a holds b, 3 unrelated
int convertSlashtoYen(char *s);
int convertYentoSlash(char *s);
int convertSlashtoYenUni(wchar16 *s);
int convertYentoSlashUni(wchar16 *s);

// Digits and rates.
char conv_bb_ab(uint8_t v);      // 0..15 to '0'..'9', 'A'..'F'; else 0
uint8_t conv_ab_bb(char c);      // hexadecimal digit to its value; else 0
int convFsDef(uint32_t rateHz);  // rate code of the file layer (see table)

// UTF-16 path to UTF-8, used only where a file is opened or removed.
std::string w_toUtf8(const wchar16 *s);
