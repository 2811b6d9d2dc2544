// morphex-info FILE: what libmorphex reports about a file, one
// "key: value" per line (rate, bits, channels, type, frames, marks, title,
// artist, then one "mark: POSITION NAME" line per mark).
#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>

#include "audiofile/audiohelpers.h"
#include "driverutil.h"
#include "morphex/morphexapi.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morphex-info FILE\n");
        return 2;
    }
    void *lib = sxtool::openLibrary();
    if (!lib) return 1;
    auto info = reinterpret_cast<decltype(&getAudioFileInformation)>(dlsym(lib, "getAudioFileInformation"));
    auto tagInfo = reinterpret_cast<decltype(&id3tagInformation)>(dlsym(lib, "id3tagInformation"));
    if (!info || !tagInfo) {
        std::fprintf(stderr, "libmorphex: entry point missing\n");
        return 1;
    }
    std::vector<wchar16> path = sxtool::toU16(argv[1]);
    static tAudioFileMarkAFile marks[100];
    tAudioFileInfoAFile fi;
    fi.marks = marks;
    int r = info(path.data(), &fi);
    if (r != 0) {
        std::fprintf(stderr, "%d\n", r);
        return 1;
    }
    const uint64_t audioBytes = (static_cast<uint64_t>(fi.dataBytesHigh) << 32) | fi.dataBytesLow;
    const uint64_t bitsPerFrame =
        static_cast<uint64_t>(fi.channels ? fi.channels : 1) * (fi.bitsPerSample ? fi.bitsPerSample : 1);
    std::printf("rate: %u\nbits: %u\nchannels: %u\ntype: %u\nformat: %u\nframes: %" PRIu64 "\nstart: %" PRIu64
                "\nmarks: %u\n",
                fi.sampleRate, fi.bitsPerSample, fi.channels, fi.fileType, fi.formatTag, audioBytes * 8 / bitsPerFrame,
                fi.startSample, fi.markCount);

    sxtool::TagRecord record;
    tID3tagInfo &tag = record.tag;
    const bool haveTag = tagInfo(0, 127, path.data(), &tag) == 0;
    std::printf("title: %s\nartist: %s\n", haveTag ? w_toUtf8(tag.title).c_str() : "",
                haveTag ? w_toUtf8(tag.artist).c_str() : "");
    for (uint32_t i = 0; i < fi.markCount && i < 100; ++i)
        std::printf("mark: %" PRIu64 " %.15s\n", marks[i].position, marks[i].name);
    return 0;
}
