#include "audiofile/audiohelpers.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct RateRow {
    int hz;
    int index;
    const char *shortText;  // followed by "Hz"
};

// The 14 rates the system knows, in rate-index order.
const RateRow kRates[] = {
    {44100, 0, "44.1k"},      {48000, 1, "48k"},       {88200, 2, "88.2k"},
    {96000, 3, "96k"},        {176400, 4, "176.4k"},   {192000, 5, "192k"},
    {352800, 6, "352.8k"},    {384000, 7, "384k"},     {705600, 8, "705.6k"},
    {768000, 9, "768k"},      {2822400, 16, "2.8M"},   {5644800, 17, "5.6M"},
    {11289600, 18, "11.2M"},  {22579200, 19, "22.5M"},
};

const RateRow *findRate(int hz) {
    for (const RateRow &r : kRates)
        if (r.hz == hz) return &r;
    return nullptr;
}

}  // namespace

std::string getFreqTextFromRawValue(int rateHz) {
    if (const RateRow *r = findRate(rateHz)) return std::string(r->shortText) + "Hz";
    return std::to_string(rateHz / 1000) + "kHz";
}

std::string getCurrentFreqText(int rateHz) {
    if (const RateRow *r = findRate(rateHz)) return std::string(r->shortText) + "Hz";
    return std::string();
}

std::string getFileTypeStringFromParam(int fileType) {
    switch (fileType) {
    case kAudioFileWAV: return "WAV(PCM)";
    case kAudioFileFLAC: return "FLAC(PCM)";
    case kAudioFileDSF: return "DSF(DSD)";
    case kAudioFileDSDIFF: return "DSDIFF(DSD)";
    case kAudioFileWSD: return "WSD(1bit)";
    default: return std::string();
    }
}

std::string getChStringFromParam(int channels) {
    if (channels == 1) return "MONO";
    if (channels == 2) return "STEREO";
    return std::to_string(channels) + "Channels";
}

std::string getBitStringFromParam(int bits) {
    switch (bits) {
    case 1: return "1bit";
    case 16: return "16bit";
    case 24: return "24bit";
    case 32: return "32bit";
    case 64: return "64bit";
    default: return std::to_string(bits) + "bits";
    }
}

int getSampleRateFromCombobox(const std::string &text) {
    for (const RateRow &r : kRates)
        if (text == std::string(r.shortText) + "Hz") return r.hz;
    return 48000;  // "AUTO" and anything unknown
}

int getRecFormatFromCombobox(const std::string &text) {
    if (text == "DSDIFF(DSD)") return 1;
    if (text == "DSF(DSD)") return 2;
    return 0;
}

int getFreqIndexFromFsValue(int rateHz) {
    if (const RateRow *r = findRate(rateHz)) return r->index;
    return kFsIdx48000;
}

int getFsValueFromFreqIndex(int index) {
    for (const RateRow &r : kRates)
        if (r.index == index) return r.hz;
    return 0;
}

void gInitTagInfo(tID3tagInfo *tag) {
    if (!tag) return;
    wchar16 *texts[] = {tag->title, tag->artist, tag->album, tag->comment, tag->genre};
    for (wchar16 *t : texts)
        if (t) t[0] = 0;
    tag->trackNo = 0;
    tag->year = -1;
    tag->month = 0;
    tag->day = 0;
    tag->hour = -1;
    tag->minute = -1;
    tag->second = -1;
    tag->frame = -1;
    tag->hasPicture = 0;
}

void *_aligned_malloc(uint64_t size, uint64_t alignment) {
    if (alignment == 0) alignment = 1;
    // size + alignment + 7 cannot wrap for any block the system could give.
    if (size > UINT64_MAX - alignment - 8) return nullptr;
    void *raw = std::malloc(static_cast<size_t>(size + alignment + 7));
    if (!raw) return nullptr;
    uintptr_t p = reinterpret_cast<uintptr_t>(raw) + 8;
    p = (p + (alignment - 1)) & ~static_cast<uintptr_t>(alignment - 1);
    void *block = reinterpret_cast<void *>(p);
    std::memcpy(reinterpret_cast<char *>(block) - 8, &raw, sizeof raw);
    return block;
}

void *_aligned_calloc(uint64_t size, uint64_t alignment) {
    if (alignment == 0) alignment = 1;
    if (size > UINT64_MAX - alignment - 8) return nullptr;
    void *raw = std::calloc(1, static_cast<size_t>(size + alignment + 7));
    if (!raw) return nullptr;
    uintptr_t p = reinterpret_cast<uintptr_t>(raw) + 8;
    p = (p + (alignment - 1)) & ~static_cast<uintptr_t>(alignment - 1);
    void *block = reinterpret_cast<void *>(p);
    std::memcpy(reinterpret_cast<char *>(block) - 8, &raw, sizeof raw);
    return block;
}

void _aligned_free(void *block) {
    if (!block) return;
    void *raw;
    std::memcpy(&raw, reinterpret_cast<char *>(block) - 8, sizeof raw);
    std::free(raw);
}

void waitThread(int ms) {
    if (ms <= 0) return;
    struct timespec req;
    req.tv_sec = ms / 1000;
    req.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    // A signal must not cut the wait short.
    while (nanosleep(&req, &req) == -1 && errno == EINTR) {
    }
}
