// The library's DSF table: the DSF handler with the library's tag writer and
// mark loader (morphex/dsflibtag.h), its chunk walk in DSF mode, and the tag
// slots (the file's ID3v2 tag read into a tag record; a registration kept
// for the next DSF file written).
#include "morphex/tabledsf.h"

#include "audiofile/dsffile.h"
#include "base/wstring.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/dsflibtag.h"

namespace {

cRegisteredTag sDsfTag;

// One handler per thread: its buffers and the tag state it carries from one
// call to the next are job state, and a job runs wholly on its caller's
// thread.
gClass_DsfFile &dsf() {
    thread_local gClass_DsfFileLibrary handler;
    return handler;
}

int checkHeader(FILE *fp, tRiffStatus *status) { return dsf().checkHeader(fp, status); }

int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    return dsf().searchData(fp, dataOffset, dataBytes, audioBytes);
}

int searchChunk(FILE *fp, const char *id, uint64_t *offset) { return dsf().searchSpecifiedChunk(fp, id, offset); }

int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    return dsf().searchFmtChunk(fp, rate, bits, channels, formatTag);
}

int searchBextChunk(FILE *fp, uint64_t *startSample) { return dsf().searchBextChunk(fp, startSample); }

int deleteChunk(FILE *fp, const char *id) { return dsf().deleteChunk(fp, id); }

int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    return dsf().createHeader(fp, param, withBext);
}

int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    return dsf().updateDataSize(fp, audioBytes, samples);
}

int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) { return dsf().divide(src, second, work, pos); }

int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    return dsf().combine(first, second, work, param, fileNo);
}

int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return dsf().saveCueData(fp, existing, listNo, totalSamples);
}

int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) { return dsf().loadCueData(fp, totalSamples, listNo); }

int setStartSample(FILE *fp, uint64_t startSample) { return dsf().setStartSample(fp, startSample); }

int getStartSample(FILE *fp, uint64_t *startSample) { return dsf().getStartSample(fp, startSample); }

uint32_t getReserveSize() { return dsf().getReserveSize(); }

int loadTagData(FILE *fp, tID3tagInfoAFile *tag) { return dsflib_loadTagData(fp, tag); }

int registerTagData(tID3tagInfoAFile *tag) { return dsflib_registerTagData(tag); }

}  // namespace

cRegisteredTag &dsfTag_registered() { return sDsfTag; }

const tAudioFileHandler gDSF = {
    checkHeader,      // 0
    searchData,       // 1
    searchChunk,      // 2 chunk walk in DSF mode
    searchFmtChunk,   // 3
    searchBextChunk,  // 4 start 0, -1
    deleteChunk,      // 5 -1
    createHeader,     // 6
    updateDataSize,   // 7
    divide,           // 8
    combine,          // 9
    saveCueData,      // 10 tag with texts, marks and album art
    saveCueData,      // 11 the same function
    loadCueData,      // 12 marks of the tag's mark frame
    setStartSample,   // 13 -1
    getStartSample,   // 14 -1
    getReserveSize,   // 15 171 + cluster size
    loadTagData,      // 16 the ID3v2 tag into the record; drops the registration
    registerTagData,  // 17 kept for the next DSF file written
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()),
              "a handler table has 18 slots");
