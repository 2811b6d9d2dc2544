// Shared pieces of the developer tools that drive libmorphex from the
// command line: loading the library from the tool's own folder, as the
// program does, and UTF-16 paths from UTF-8 arguments.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/wstring.h"

namespace sxtool {

// UTF-8 -> NUL-terminated UTF-16 (surrogate pairs for planes above 0).
inline std::vector<wchar16> toU16(const std::string &s) {
    std::vector<wchar16> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) { cp = c & 0x07; extra = 3; }
        else if (c >= 0xE0) { cp = c & 0x0F; extra = 2; }
        else if (c >= 0xC0) { cp = c & 0x1F; extra = 1; }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar16>(0xD800 | (cp >> 10)));
            out.push_back(static_cast<wchar16>(0xDC00 | (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar16>(cp));
        }
    }
    out.push_back(0);
    return out;
}

inline std::string fromU16(const wchar16 *s) {
    std::string out;
    if (!s) return out;
    for (; *s; ++s) {
        uint32_t cp = static_cast<uint16_t>(*s);
        if (cp >= 0xD800 && cp < 0xDC00 && s[1]) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint16_t>(s[1]) - 0xDC00);
            ++s;
        }
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) { out += static_cast<char>(0xC0 | (cp >> 6)); out += static_cast<char>(0x80 | (cp & 0x3F)); }
        else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Opens "libmorphex.so.1" in the folder of the running executable.
inline void *openLibrary() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return nullptr;
    self[n] = 0;
    std::string dir(self);
    dir.resize(dir.rfind('/') + 1);
    void *h = dlopen((dir + "libmorphex.so.1").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) std::fprintf(stderr, "%s\n", dlerror());
    return h;
}

}  // namespace sxtool
