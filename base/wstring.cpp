#include "base/wstring.h"

#include <iconv.h>
#include <cstring>
#include <cwctype>

namespace {

const wchar16 kBackslash = 0x5C;
const wchar16 kColon = 0x3A;

struct DriveRow {
    const char *root;
    const char *name;
    const char *letter;
    int32_t number;
};

const DriveRow sDrive[3] = {
    {"A:\\", "A:", "A", 0},
    {"B:\\", "B:", "B", 1},
    {"C:\\", "C:", "C", 2},
};

inline int upperAscii(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Case folding of w_stricmp_all: ASCII, Greek small letters and Cyrillic
// small letters (ё separately) map to their capitals.
inline int upperAll(int c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 945 && c <= 969) return c - 32;
    if (c >= 1072 && c <= 1103) return c - 32;
    if (c == 1105) return 1025;
    return c;
}

template <int (*Fold)(int)>
int icmp(const wchar16 *a, const wchar16 *b) {
    for (;; ++a, ++b) {
        if (*a == 0 || *b == 0) {
            if (*a == 0 && *b == 0) return 0;
            return *a ? 1 : -1;
        }
        int ca = Fold(*a), cb = Fold(*b);
        if (ca != cb) return ca - cb;
    }
}

template <int (*Fold)(int)>
int nicmp(const wchar16 *a, const wchar16 *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int ca = Fold(a[i]), cb = Fold(b[i]);
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
    return 0;
}

bool validDrive(int i) { return i >= 0 && i < 3; }

}  // namespace

size_t strlcpy(char *dst, const char *src, size_t size) {
    size_t len = std::strlen(src);
    if (size > 0) {
        size_t n = len < size - 1 ? len : size - 1;
        std::memcpy(dst, src, n);
        dst[n] = '\0';
    }
    return len;
}

wchar16 *w_strcpy(wchar16 *dst, const wchar16 *src) {
    wchar16 *d = dst;
    while ((*d++ = *src++) != 0) {}
    return dst;
}

wchar16 *w_strncpy(wchar16 *dst, const wchar16 *src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i] != 0; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
    return dst;
}

wchar16 *w_strcat(wchar16 *dst, const wchar16 *src) {
    w_strcpy(dst + w_strlen(dst), src);
    return dst;
}

wchar16 *w_strncat(wchar16 *dst, const wchar16 *src, size_t n) {
    wchar16 *d = dst + w_strlen(dst);
    size_t i = 0;
    for (; i < n && src[i] != 0; ++i) d[i] = src[i];
    d[i] = 0;
    return dst;
}

int w_strcmp(const wchar16 *a, const wchar16 *b) {
    for (; *a == *b; ++a, ++b)
        if (*a == 0) return 0;
    return static_cast<int>(*a) - static_cast<int>(*b);
}

int w_strncmp(const wchar16 *a, const wchar16 *b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
        if (a[i] == 0) return 0;
    }
    return 0;
}

int w_stricmp(const wchar16 *a, const wchar16 *b) { return icmp<upperAscii>(a, b); }
int w_strnicmp(const wchar16 *a, const wchar16 *b, size_t n) { return nicmp<upperAscii>(a, b, n); }
int w_stricmp_all(const wchar16 *a, const wchar16 *b) { return icmp<upperAll>(a, b); }
int w_strnicmp_all(const wchar16 *a, const wchar16 *b, size_t n) { return nicmp<upperAll>(a, b, n); }

wchar16 *w_strchr(const wchar16 *s, wchar16 c) {
    for (; *s; ++s)
        if (*s == c) return const_cast<wchar16 *>(s);
    return c == 0 ? const_cast<wchar16 *>(s) : nullptr;
}

wchar16 *w_strrchr_(const wchar16 *s, wchar16 c) {
    const wchar16 *found = nullptr;
    for (; *s; ++s)
        if (*s == c) found = s;
    if (c == 0) return const_cast<wchar16 *>(s);
    return const_cast<wchar16 *>(found);
}

size_t w_strlen(const wchar16 *s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

wchar16 *convAscToUni(wchar16 *dst, const char *src) {
    size_t i = 0;
    // Bytes are sign-extended: 0xE9 becomes 0xFFE9. Chunk ids and fixed
    // names are ASCII, so this only shows with bytes above 0x7F.
    do {
        dst[i] = static_cast<wchar16>(static_cast<signed char>(src[i]));
    } while (src[i++] != 0);
    return dst;
}

char *convUniToAsc(char *dst, const wchar16 *src) {
    size_t i = 0;
    do {
        dst[i] = static_cast<char>(src[i] & 0xFF);
    } while (src[i++] != 0);
    return dst;
}

int chk2byteCode(const wchar16 *s) {
    for (; *s; ++s)
        if (static_cast<uint16_t>(*s) >= 256) return 1;
    return 0;
}

int chkAscFromUni(const wchar16 *s, size_t n) {
    for (size_t i = 0; i < n && s[i] != 0; ++i)
        if (s[i] < 32 || s[i] > 127) return 0;
    return 1;
}

int convSjistoUni(wchar16 *dst, const char *src) {
    int n = 0;
    for (;; ++src) {
        unsigned char c = static_cast<unsigned char>(*src);
        if (c == 0) break;
        if (c >= 0x20 && c <= 0x7E) {
            dst[n++] = c;
        } else if (c >= 0xA1 && c <= 0xDF) {
            // Half-width katakana: 0xA1 is U+FF61.
            dst[n++] = static_cast<wchar16>(c + 0xFEC0);
        } else {
            // Double-byte lead bytes and controls are not converted.
            dst[n] = static_cast<wchar16>(0xFFFF);
            return kSjisUnsupported;
        }
    }
    dst[n] = 0;
    return n;
}

int fs_utosj(char *dst, const wchar16 *src) {
    size_t len = w_strlen(src);
    size_t out = 0;
    iconv_t cd = iconv_open("SJIS", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No codec: keep what is plain ASCII, mark the rest.
        for (size_t i = 0; i < len; ++i) {
            uint16_t u = static_cast<uint16_t>(src[i]);
            dst[out++] = u < 0x80 ? static_cast<char>(u) : '?';
        }
        dst[out] = '\0';
        return 1;
    }
    // One character at a time so that a character the codec lacks becomes
    // '?' instead of ending the text.
    for (size_t i = 0; i < len; ++i) {
        size_t units = 1;
        uint16_t u = static_cast<uint16_t>(src[i]);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < len) units = 2;
        unsigned char in[4];
        for (size_t k = 0; k < units; ++k) {
            uint16_t v = static_cast<uint16_t>(src[i + k]);
            in[2 * k] = static_cast<unsigned char>(v & 0xFF);
            in[2 * k + 1] = static_cast<unsigned char>(v >> 8);
        }
        char buf[8];
        char *inp = reinterpret_cast<char *>(in);
        size_t inLeft = units * 2;
        char *outp = buf;
        size_t outLeft = sizeof buf;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        if (r == static_cast<size_t>(-1) || inLeft != 0) {
            dst[out++] = '?';
        } else {
            for (char *p = buf; p < outp; ++p) dst[out++] = *p;
        }
        i += units - 1;
    }
    dst[out] = '\0';
    iconv_close(cd);
    return 1;
}

int convUnitoSjisWithUnknownGlyph(char *dst, const wchar16 *src) {
    // Position by position: for single-byte text byte i is unit i, and the
    // first 0 byte gives the length.
    size_t len = w_strlen(src);
    for (int i = 0; i < 256; ++i) {
        if (static_cast<size_t>(i) > len) return i;
        fs_utosj(dst + i, src + i);
        if (dst[i] == 0) return i;
    }
    return 256;
}

wchar16 *getDrivePath(wchar16 *dst, int i) {
    if (!validDrive(i)) {
        dst[0] = 0;
        return dst;
    }
    return convAscToUni(dst, sDrive[i].root);
}

wchar16 *getDriveName(wchar16 *dst, int i) {
    if (!validDrive(i)) {
        dst[0] = 0;
        return dst;
    }
    return convAscToUni(dst, sDrive[i].name);
}

wchar16 getDriveLetter(wchar16 *dst, int i) {
    if (!validDrive(i)) {
        dst[0] = 0;
        return 0;
    }
    convAscToUni(dst, sDrive[i].letter);
    return dst[0];
}

char *getDriveNameAsc(char *dst, int i) {
    if (!validDrive(i)) {
        dst[0] = 0;
        return dst;
    }
    std::strcpy(dst, sDrive[i].name);
    return dst;
}

int getDrvNoFromPath(const wchar16 *path) {
    if (path[0] == 0 || path[1] != kColon) return -1;
    int row = upperAscii(path[0]) - 'A';
    if (!validDrive(row)) return -1;
    return sDrive[row].number;
}

const wchar16 *delDrvNameFromath(const wchar16 *path) {
    int c = path[0];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter && path[1] == kColon && path[2] == kBackslash) return path + 2;
    return path;
}

wchar16 *getFileNameFromPath(wchar16 *path) {
    wchar16 *sep = w_strrchr_(path, kBackslash);
    return sep ? sep + 1 : path;
}

wchar16 *getPathNameFromPath(wchar16 *path) {
    wchar16 *sep = w_strrchr_(path, kBackslash);
    if (!sep) return path;
    if (sep == path || sep[-1] == kColon)
        sep[1] = 0;  // keep the root folder or the drive root
    else
        sep[0] = 0;
    return path;
}

int addPathName(wchar16 *dst, const wchar16 *name, size_t max) {
    size_t len = w_strlen(dst);
    if (len == 0 || dst[len - 1] != kBackslash) {
        dst[len++] = kBackslash;
        dst[len] = 0;
    }
    if (name[0] == kBackslash) ++name;
    size_t nameLen = w_strlen(name);
    if (len + nameLen < max) {
        w_strcpy(dst + len, name);
        return 0;
    }
    size_t room = max > len ? max - len : 0;
    size_t i = 0;
    for (; i < room && name[i] != 0; ++i) dst[len + i] = name[i];
    dst[len + i] = 0;
    return kPathCut;
}

int changeFileExtention(wchar16 *path, const wchar16 *ext) {
    wchar16 *dot = w_strrchr_(path, '.');
    if (dot) *dot = 0;
    w_strcat(path, ext);
    return 0;
}

int delFileExtention(wchar16 *path) {
    wchar16 *dot = w_strrchr_(path, '.');
    if (dot) *dot = 0;
    return 0;
}

int checkFileExtention(const wchar16 *path, const char *ext) {
    const wchar16 *dot = w_strrchr_(path, '.');
    if (!dot) return 0;
    if (w_strlen(dot + 1) >= 15) return 0;
    size_t i = 0;
    for (; dot[i] != 0; ++i) {
        wint_t c = static_cast<uint16_t>(dot[i]);
        int lower = static_cast<int>(std::towlower(c));
        if (ext[i] == 0 || lower != static_cast<unsigned char>(ext[i])) return 0;
    }
    return ext[i] == 0 ? 1 : 0;
}

int pathComp(wchar16 *a, wchar16 *b) {
    size_t la = w_strlen(a), lb = w_strlen(b);
    if (la > 0 && a[la - 1] == kBackslash) a[--la] = 0;
    if (lb > 0 && b[lb - 1] == kBackslash) b[--lb] = 0;
    auto same = [](const wchar16 *x, const wchar16 *y, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (upperAscii(x[i]) != upperAscii(y[i])) return false;
        return true;
    };
    if (la == lb && same(a, b, la)) return 0;
    if (lb < la) return (same(a, b, lb) && a[lb] == kBackslash) ? 1 : 3;
    return (same(a, b, la) && b[la] == kBackslash) ? 2 : 3;
}

int convertSlashtoYen(char *s) {
    for (; *s; ++s)
        if (*s == '/') *s = '\\';
    return 0;
}

int convertYentoSlash(char *s) {
    for (; *s; ++s)
        if (*s == '\\') *s = '/';
    return 0;
}

int convertSlashtoYenUni(wchar16 *s) {
    for (; *s; ++s)
        if (*s == '/') *s = kBackslash;
    return 0;
}

int convertYentoSlashUni(wchar16 *s) {
    for (; *s; ++s)
        if (*s == kBackslash) *s = '/';
    return 0;
}

char conv_bb_ab(uint8_t v) {
    if (v <= 9) return static_cast<char>('0' + v);
    if (v <= 15) return static_cast<char>('A' + v - 10);
    return 0;
}

uint8_t conv_ab_bb(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return 0;
}

int convFsDef(uint32_t rateHz) {
    switch (rateHz) {
    case 48000: return 1;
    case 88200: return 2;
    case 96000: return 3;
    case 176400: return 4;
    case 192000: return 5;
    case 352800: return 6;
    case 384000: return 7;
    case 705600: return 8;
    case 768000: return 9;
    case 2822400: return 10;
    case 5644800: return 11;
    case 11289600: return 12;
    case 22579200: return 13;
    case 47952: return 15;
    case 48048: return 16;
    default: return 0;  // 44100 among them
    }
}

std::string w_toUtf8(const wchar16 *s) {
    std::string out;
    if (!s) return out;
    for (size_t i = 0; s[i] != 0; ++i) {
        uint32_t cp = static_cast<uint16_t>(s[i]);
        if (cp >= 0xD800 && cp < 0xDC00) {
            uint32_t lo = static_cast<uint16_t>(s[i + 1]);
            if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xDC00 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}
