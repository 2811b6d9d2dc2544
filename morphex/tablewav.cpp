// The library's WAV/BWF/RF64 table: every slot is the library build of the
// WAV handler (a bext chunk in every new header, sizes always set).
#include "audiofile/wavfile.h"
#include "morphex/audiofiledispatch.h"

namespace {

// One handler per thread: its 128 KiB work buffer is job state, and a job
// runs wholly on its caller's thread, so jobs on different threads never
// share it.
gClass_WavFile &wav() {
    thread_local gClass_WavFile handler(kWavBuildLibrary);
    return handler;
}

int checkHeader(FILE *fp, tRiffStatus *status) { return wav().checkHeader(fp, status); }

int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) {
    return wav().searchDataTop(fp, dataOffset, dataBytes, audioBytes);
}

int searchChunk(FILE *fp, const char *id, uint64_t *offset) { return wav().searchChunk(fp, id, offset); }

int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels, uint16_t *formatTag) {
    return wav().searchFmtChunk(fp, rate, bits, channels, formatTag);
}

int searchBextChunk(FILE *fp, uint64_t *startSample) { return wav().searchBextChunk(fp, startSample); }

int deleteChunk(FILE *fp, const char *id) { return wav().deleteChunk(fp, id); }

int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) {
    return wav().createHeader(fp, param, withBext);
}

int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) {
    return wav().updateDataSize(fp, audioBytes, samples);
}

int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) { return wav().divide(src, second, work, pos); }

int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param, uint32_t fileNo) {
    return wav().combine(first, second, work, param, fileNo);
}

int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return wav().saveCueData(fp, existing, listNo, totalSamples);
}

int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) {
    return wav().saveCueDataNew(fp, existing, listNo, totalSamples);
}

int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) { return wav().loadCueData(fp, totalSamples, listNo); }

int setStartSample(FILE *fp, uint64_t startSample) { return wav().setStartSample(fp, startSample); }

int getStartSample(FILE *fp, uint64_t *startSample) { return wav().getStartSample(fp, startSample); }

uint32_t getReserveSize() { return wav().getReserveSize(); }

int loadTagData(FILE *fp, tID3tagInfoAFile *tag) { return wav().loadTagData(fp, tag); }

int registerTagData(tID3tagInfoAFile *tag) { return wav().registerTagData(tag); }

}  // namespace

const tAudioFileHandler gWAV = {
    checkHeader,      // 0
    searchData,       // 1
    searchChunk,      // 2 RIFF walk from the first chunk
    searchFmtChunk,   // 3
    searchBextChunk,  // 4 bext time reference
    deleteChunk,      // 5
    createHeader,     // 6
    updateDataSize,   // 7
    divide,           // 8
    combine,          // 9
    saveCueData,      // 10
    saveCueDataNew,   // 11
    loadCueData,      // 12
    setStartSample,   // 13 bext
    getStartSample,   // 14 bext
    getReserveSize,   // 15 5172 + cluster size
    loadTagData,      // 16 WAV files carry no tags here: -17
    registerTagData,  // 17 -17
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()),
              "a handler table has 18 slots");
