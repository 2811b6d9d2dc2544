// The library's WSD table: the WSD handler in its library build (writes its
// 2048-byte header and sizes, reads the start time back from the file) with
// the text-area tag reader.
#include "audiofile/wsdfile.h"
#include "morphex/audiofiledispatch.h"

namespace {

// One handler per thread: its in-memory header (the start time kept by
// setStartSample) is job state, and a job runs wholly on its caller's
// thread.
gClass_WsdFile &wsd() {
    thread_local gClass_WsdFile handler(kWsdBuildLibrary);
    return handler;
}

int checkHeader(FILE *fp, tRiffStatus *status) { return wsd().checkHeader(fp, status); }

int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    return wsd().searchData(fp, dataOffset, dataBytes, audioBytes);
}

int searchChunk(FILE *fp, const char *id, uint64_t *offset) { return wsd().searchChunk(fp, id, offset); }

int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    return wsd().searchFmtChunk(fp, rate, bits, channels, formatTag);
}

int searchBextChunk(FILE *fp, uint64_t *startSample) { return wsd().searchBextChunk(fp, startSample); }

int deleteChunk(FILE *fp, const char *id) { return wsd().deleteChunk(fp, id); }

int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    return wsd().createHeader(fp, param, withBext);
}

int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    return wsd().updateDataSize(fp, audioBytes, samples);
}

int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) { return wsd().divide(src, second, work, pos); }

int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    return wsd().combine(first, second, work, param, fileNo);
}

int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return wsd().saveCueData(fp, existing, listNo, totalSamples);
}

int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) { return wsd().loadCueData(fp, totalSamples, listNo); }

int setStartSample(FILE *fp, uint64_t startSample) { return wsd().setStartSample(fp, startSample); }

int getStartSample(FILE *fp, uint64_t *startSample) { return wsd().getStartSample(fp, startSample); }

uint32_t getReserveSize() { return wsd().getReserveSize(); }

int loadTagData(FILE *fp, tID3tagInfoAFile *tag) { return wsd_loadTagData(fp, tag); }

int registerTagData(tID3tagInfoAFile *tag) { return wsd_registerTagData(tag); }

}  // namespace

const tAudioFileHandler gWSD = {
    checkHeader,      // 0
    searchData,       // 1
    searchChunk,      // 2 offset 2048, 0
    searchFmtChunk,   // 3
    searchBextChunk,  // 4 start time from the header
    deleteChunk,      // 5 -1
    createHeader,     // 6
    updateDataSize,   // 7
    divide,           // 8 -1
    combine,          // 9 -1
    saveCueData,      // 10 -1
    saveCueData,      // 11 the same function
    loadCueData,      // 12
    setStartSample,   // 13 kept in memory, 0
    getStartSample,   // 14 bytes 80..87 of the file's header
    getReserveSize,   // 15 0
    loadTagData,      // 16 the header's text area
    registerTagData,  // 17 -17
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()),
              "a handler table has 18 slots");
