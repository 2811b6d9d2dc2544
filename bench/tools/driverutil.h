// Shared pieces of the developer tools that drive libmorphex from the
// command line: loading the library from the tool's own folder, as the
// program does, UTF-16 paths from UTF-8 arguments and tag records.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/audiohelpers.h"  // tID3tagInfo
#include "base/wstring.h"

namespace sxtool {

// UTF-8 -> NUL-terminated UTF-16 (surrogate pairs for planes above 0).
inline std::vector<wchar16> toU16(const std::string &s) {
    std::vector<wchar16> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        }
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

// A tag record with room for its texts, ready for the library to fill.
struct TagRecord {
    wchar16 texts[6][512] = {};
    tID3tagInfo tag{};
    TagRecord() {
        tag.title = texts[0];
        tag.artist = texts[1];
        tag.album = texts[2];
        tag.comment = texts[3];
        tag.genre = texts[4];
        tag.picturePath = texts[5];
        gInitTagInfo(&tag);
    }
    TagRecord(const TagRecord &) = delete;
    TagRecord &operator=(const TagRecord &) = delete;
};

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
