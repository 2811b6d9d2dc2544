#include "morphex/audiofiledispatch.h"

#include <cstring>

// FLAC has no handler of its own in the library: the WAV table serves code 1.
const tAudioFileHandler *const gAudioFile[kAudioFileTypeCount] = {&gWAV, &gWAV, &gDSF, &gDSDIFF, &gWSD};

const tAudioFileHandler *audiofile_handler(int type) {
    if (type < 0 || type >= kAudioFileTypeCount) return nullptr;
    return gAudioFile[type];
}

// The type check happens once here; the slot's result is passed through.
#define SX_DISPATCH(slot, ...)                                \
    do {                                                      \
        const tAudioFileHandler *h = audiofile_handler(type); \
        if (!h) return kAudioFileErrFormat;                   \
        return h->slot(__VA_ARGS__);                          \
    } while (0)

int audiofile_checkHeader(int type, FILE *fp, tRiffStatus *status) { SX_DISPATCH(checkHeader, fp, status); }

int audiofile_searchData(int type, FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    SX_DISPATCH(searchData, fp, dataOffset, dataBytes, audioBytes);
}

int audiofile_searchChunk(int type, FILE *fp, const char *id, uint64_t *offset) {
    SX_DISPATCH(searchChunk, fp, id, offset);
}

int audiofile_searchFmtChunk(int type, FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                             uint16_t *formatTag) {
    SX_DISPATCH(searchFmtChunk, fp, rate, bits, channels, formatTag);
}

int audiofile_searchBextChunk(int type, FILE *fp, uint64_t *startSample) {
    SX_DISPATCH(searchBextChunk, fp, startSample);
}

int audiofile_deleteChunk(int type, FILE *fp, const char *id) { SX_DISPATCH(deleteChunk, fp, id); }

int audiofile_createHeader(int type, FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    SX_DISPATCH(createHeader, fp, param, withBext);
}

int audiofile_updateDataSize(int type, FILE *fp, uint64_t audioBytes, uint64_t samples) {
    SX_DISPATCH(updateDataSize, fp, audioBytes, samples);
}

int audiofile_divide(int type, FILE *src, FILE *second, FILE *work, uint64_t pos) {
    SX_DISPATCH(divide, src, second, work, pos);
}

int audiofile_combine(int type, FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    SX_DISPATCH(combine, first, second, work, param, fileNo);
}

int audiofile_saveCueData(int type, FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    SX_DISPATCH(saveCueData, fp, existing, listNo, totalSamples);
}

int audiofile_saveCueDataNew(int type, FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    SX_DISPATCH(saveCueDataNew, fp, existing, listNo, totalSamples);
}

int audiofile_loadCueData(int type, FILE *fp, uint64_t totalSamples, int listNo) {
    SX_DISPATCH(loadCueData, fp, totalSamples, listNo);
}

int audiofile_setStartSample(int type, FILE *fp, uint64_t startSample) { SX_DISPATCH(setStartSample, fp, startSample); }

int audiofile_getStartSample(int type, FILE *fp, uint64_t *startSample) {
    SX_DISPATCH(getStartSample, fp, startSample);
}

uint32_t audiofile_getReserveSize(int type) {
    const tAudioFileHandler *h = audiofile_handler(type);
    return h ? h->getReserveSize() : 0;
}

int audioFIle_loadTagData(int type, FILE *fp, tID3tagInfoAFile *tag) { SX_DISPATCH(loadTagData, fp, tag); }

int audioFile_registerTagData(int type, const tID3tagInfoAFile *tag) { SX_DISPATCH(registerTagData, tag); }

#undef SX_DISPATCH

void audiofile_getFileExtention(unsigned int type, char *out) {
    static const char *const kExt[] = {".wav", ".flac", ".dsf", ".dff", ".wsd", ".aif", ".mp3"};
    const char *ext = type < sizeof kExt / sizeof kExt[0] ? kExt[type] : ".wav";
    std::memcpy(out, ext, std::strlen(ext) + 1);
}
