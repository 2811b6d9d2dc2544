#include "audiofile/audiohelpers.h"

#include <cerrno>
#include <ctime>

namespace {

struct RateRow {
    int hz;
    int index;
    const char *shortText;  // followed by "Hz"
};

// The 14 rates the system knows, in rate-index order.
const RateRow kRates[] = {
    {44100, 0, "44.1k"},     {48000, 1, "48k"},       {88200, 2, "88.2k"},   {96000, 3, "96k"},
    {176400, 4, "176.4k"},   {192000, 5, "192k"},     {352800, 6, "352.8k"}, {384000, 7, "384k"},
    {705600, 8, "705.6k"},   {768000, 9, "768k"},     {2822400, 16, "2.8M"}, {5644800, 17, "5.6M"},
    {11289600, 18, "11.2M"}, {22579200, 19, "22.5M"},
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

void waitThread(int ms) {
    if (ms <= 0) return;
    struct timespec req;
    req.tv_sec = ms / 1000;
    req.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    // A signal must not cut the wait short.
    while (nanosleep(&req, &req) == -1 && errno == EINTR) {}
}
