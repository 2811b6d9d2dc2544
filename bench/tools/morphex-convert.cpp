// morphex-convert: converts one file through libmorphex the way the
// program's export does, for benchmarks and black-box tests.
//
//   morphex-convert [--type wav|dsf|dff] [--rate HZ] [--bits 16|24|32|1]
//                   [--channels 1|2] [--start FRAME] [--end FRAME] [--mode N] SRC DST
//
// Defaults: the source's type, rate, bits and channels; the whole file;
// mode 0 (the rate-conversion method: 3 filters in the frequency domain,
// 2 with the longest time-domain filter).
// Exit status 0 on success, otherwise 1 with the library's code on
// standard error.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audiofile/audiohelpers.h"
#include "driverutil.h"
#include "dsp/dspvolume.h"
#include "dsp/peqrecord.h"
#include "morphex/morphexapi.h"
#include "morphex/morphexrecords.h"

namespace {

int blockDone(uint64_t, int, int, int, int, void *, unsigned char **, int, int, int, unsigned int *) {
    return 0;  // the blocks are only drained
}
int released(int) { return 1; }  // nothing reads the ring after the end
int failed(int) { return 0; }
int working(long long *) { return 0; }

int usage() {
    std::fprintf(stderr,
                 "usage: morphex-convert [--type wav|dsf|dff] [--rate HZ] [--bits 16|24|32|1] "
                 "[--channels 1|2] [--start FRAME] [--end FRAME] [--mode N] SRC DST\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    std::string type, src, dst;
    long long rate = 0, bits = 0, channels = 0, start = 0, end = -1, mode = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](void) -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--type") {
            const char *v = value();
            if (!v) return usage();
            type = v;
        } else if (a == "--rate") {
            const char *v = value();
            if (!v) return usage();
            rate = std::atoll(v);
        } else if (a == "--bits") {
            const char *v = value();
            if (!v) return usage();
            bits = std::atoll(v);
        } else if (a == "--channels") {
            const char *v = value();
            if (!v) return usage();
            channels = std::atoll(v);
        } else if (a == "--start") {
            const char *v = value();
            if (!v) return usage();
            start = std::atoll(v);
        } else if (a == "--end") {
            const char *v = value();
            if (!v) return usage();
            end = std::atoll(v);
        } else if (a == "--mode") {
            const char *v = value();
            if (!v) return usage();
            mode = std::atoll(v);
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0)
            return usage();
        else if (src.empty())
            src = a;
        else if (dst.empty())
            dst = a;
        else
            return usage();
    }
    if (src.empty() || dst.empty()) return usage();

    void *lib = sxtool::openLibrary();
    if (!lib) return 1;
    auto convert = reinterpret_cast<decltype(&morphexert)>(dlsym(lib, "morphexert"));
    auto info = reinterpret_cast<decltype(&getAudioFileInformation)>(dlsym(lib, "getAudioFileInformation"));
    auto tagInfo = reinterpret_cast<decltype(&id3tagInformation)>(dlsym(lib, "id3tagInformation"));
    if (!convert || !info) {
        std::fprintf(stderr, "libmorphex: entry point missing\n");
        return 1;
    }

    std::vector<wchar16> srcPath = sxtool::toU16(src), dstPath = sxtool::toU16(dst);
    tAudioFileMarkAFile marks[100];
    tAudioFileInfoAFile fi;
    fi.marks = marks;
    int r = info(srcPath.data(), &fi);
    if (r != 0) {
        std::fprintf(stderr, "%d\n", r);
        return 1;
    }
    uint32_t outType = fi.fileType == 4 ? 3 : fi.fileType;
    if (type == "wav")
        outType = 0;
    else if (type == "dsf")
        outType = 2;
    else if (type == "dff")
        outType = 3;
    else if (!type.empty())
        return usage();
    const bool dsdOut = outType == 2 || outType == 3;
    const bool dsdIn = fi.bitsPerSample == 1;
    uint32_t outRate = rate > 0 ? static_cast<uint32_t>(rate) : fi.sampleRate;
    uint32_t outBits = bits > 0 ? static_cast<uint32_t>(bits) : fi.bitsPerSample;
    // A change of family without an explicit rate or word length takes the
    // family's usual one.
    if (dsdOut && !dsdIn && rate <= 0) outRate = 2822400;
    if (!dsdOut && dsdIn && rate <= 0) outRate = 44100;
    if (dsdOut)
        outBits = 1;
    else if (bits <= 0 && dsdIn)
        outBits = 24;
    const uint32_t outChannels = channels > 0 ? static_cast<uint32_t>(channels) : (fi.channels > 2 ? 2 : fi.channels);
    const uint64_t audioBytes = (static_cast<uint64_t>(fi.dataBytesHigh) << 32) | fi.dataBytesLow;
    const uint64_t frames = audioBytes * 8 / (static_cast<uint64_t>(fi.channels ? fi.channels : 1) * fi.bitsPerSample);

    int progress = 0;
    tMorphexSendParams send;
    send.progress = &progress;
    send.rateIndex = static_cast<uint32_t>(getFreqIndexFromFsValue(static_cast<int>(outRate)));
    if (static_cast<uint32_t>(getFsValueFromFreqIndex(static_cast<int>(send.rateIndex))) != outRate) {
        std::fprintf(stderr, "-17\n");
        return 1;
    }
    send.fileType = outType;
    send.bits = outBits;
    send.outChannels = outChannels;
    send.mode = static_cast<uint32_t>(mode);
    send.command = kMorphexCmdExport;

    // The master equaliser as the program passes it: present and off.
    tPEQ eq;
    bool eqOn = false;
    eq.allOn = &eqOn;

    // The tag record of the source (empty when it has none).
    sxtool::TagRecord record;
    tID3tagInfo &tag = record.tag;
    if (tagInfo) (void)tagInfo(0, 127, srcPath.data(), &tag);

    tMorphexCom com;
    com.command = kMorphexComWriteFile;
    com.startSample = start;
    com.endSample = end >= 0 ? end : static_cast<long long>(frames);
    com.peq = &eq;
    // As the program's export: nothing reads the blocks, one slot is enough.
    com.ringBlocks = 1;
    com.tag = &tag;
    com.envelopeActive = 0;

    // Unity gain over the whole file.
    tDspVolItem envelope[2];
    envelope[0].start = 0;
    envelope[0].level = 1.0;
    envelope[1].start = kDspVolEnd;
    envelope[1].level = 1.0;

    double panVol[16] = {1.0, 0.0, 0.0, 1.0};
    int count = 1;
    const wchar16 *sources[1] = {srcPath.data()};
    r = convert(dstPath.data(), sources, nullptr, &send, panVol, &count, &com, blockDone, released, envelope, failed,
                working);
    if (r != 0) {
        std::fprintf(stderr, "%d\n", r);
        return 1;
    }
    return 0;
}
