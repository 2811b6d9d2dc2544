// The library's DSDIFF table: the DSDIFF handler in its library build
// (start time read back as 0, registered title and artist written behind
// the marks) with the tag slots of morphex/dsdifftag.h.
#include "morphex/audiofiledispatch.h"
#include "morphex/dsdifftag.h"

namespace {

// One handler per thread: its work buffers are job state, and a job runs
// wholly on its caller's thread.
gClass_DsdiffFileLibrary &dff() {
    thread_local gClass_DsdiffFileLibrary handler;
    return handler;
}

int checkHeader(FILE *fp, tRiffStatus *status) { return dff().checkHeader(fp, status); }

int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    return dff().searchData(fp, dataOffset, dataBytes, audioBytes);
}

int searchChunk(FILE *fp, const char *id, uint64_t *offset) {
    return dff().gChunk64_searchSpecifiedChunk(fp, id, offset) == 0 ? kAudioFileOK : kAudioFileErrIO;
}

int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    return dff().searchFmtChunk(fp, rate, bits, channels, formatTag);
}

int searchBextChunk(FILE *fp, uint64_t *startSample) { return dff().searchBextChunk(fp, startSample); }

int deleteChunk(FILE *fp, const char *id) { return dff().deleteChunk(fp, id); }

int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    return dff().createHeader(fp, param, withBext);
}

int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    return dff().updateDataSize(fp, audioBytes, samples);
}

int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) { return dff().divide(src, second, work, pos); }

int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    return dff().combine(first, second, work, param, fileNo);
}

int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return dff().saveCueData(fp, existing, listNo, totalSamples);
}

int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return dff().saveCueDataNew(fp, existing, listNo, totalSamples);
}

int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) { return dff().loadCueData(fp, totalSamples, listNo); }

int setStartSample(FILE *fp, uint64_t startSample) { return dff().setStartSample(fp, startSample); }

int getStartSample(FILE *fp, uint64_t *startSample) { return dff().getStartSample(fp, startSample); }

uint32_t getReserveSize() { return dff().getReserveSize(); }

int loadTagData(FILE *fp, tID3tagInfoAFile *tag) { return dsdiffTag_load(dff(), fp, tag); }

int registerTagData(tID3tagInfoAFile *tag) { return dsdiffTag_register(tag); }

}  // namespace

const tAudioFileHandler gDSDIFF = {
    checkHeader,      // 0
    searchData,       // 1
    searchChunk,      // 2 64-bit chunk walk
    searchFmtChunk,   // 3
    searchBextChunk,  // 4
    deleteChunk,      // 5
    createHeader,     // 6
    updateDataSize,   // 7
    divide,           // 8 not offered: -17
    combine,          // 9
    saveCueData,      // 10 marks, then the registered title and artist
    saveCueDataNew,   // 11
    loadCueData,      // 12
    setStartSample,   // 13
    getStartSample,   // 14 library build: start 0, 0
    getReserveSize,   // 15 5172 + cluster size
    loadTagData,      // 16 title and artist of the DIIN chunk
    registerTagData,  // 17 kept for the next DSDIFF file written
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()),
              "a handler table has 18 slots");
