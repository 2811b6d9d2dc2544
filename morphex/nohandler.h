// Slots of a format whose handler this build does not contain: every
// operation refuses the file with -17 and reserves nothing.
#pragma once

#include "morphex/audiofiledispatch.h"

namespace nohandler {
inline int checkHeader(FILE *, tRiffStatus *status) {
    if (status) *status = kRiffStatusUnknown;
    return kAudioFileErrFormat;
}
inline int searchData(FILE *, uint64_t *, uint64_t *, uint64_t *) { return kAudioFileErrFormat; }
inline int searchChunk(FILE *, const char *, uint64_t *) { return kAudioFileErrFormat; }
inline int searchFmtChunk(FILE *, uint32_t *, uint32_t *, uint32_t *, uint16_t *) { return kAudioFileErrFormat; }
inline int searchBextChunk(FILE *, uint64_t *) { return kAudioFileErrFormat; }
inline int deleteChunk(FILE *, const char *) { return kAudioFileErrFormat; }
inline int createHeader(FILE *, const tBwfHdrParam *, uint32_t) { return kAudioFileErrFormat; }
inline int updateDataSize(FILE *, uint64_t, uint64_t) { return kAudioFileErrFormat; }
inline int divide(FILE *, FILE *, FILE *, uint64_t) { return kAudioFileErrFormat; }
inline int combine(FILE *, FILE *, FILE *, const tBwfHdrParam *, uint32_t) { return kAudioFileErrFormat; }
inline int saveCueData(FILE *, int, int, uint64_t) { return kAudioFileErrFormat; }
inline int loadCueData(FILE *, uint64_t, int) { return kAudioFileErrFormat; }
inline int setStartSample(FILE *, uint64_t) { return kAudioFileErrFormat; }
inline int getStartSample(FILE *, uint64_t *) { return kAudioFileErrFormat; }
inline uint32_t getReserveSize() { return 0; }
inline int loadTagData(FILE *, tID3tagInfoAFile *) { return kAudioFileErrFormat; }
inline int registerTagData(tID3tagInfoAFile *) { return kAudioFileErrFormat; }
}  // namespace nohandler

#define SX_NO_HANDLER_TABLE                                                              \
    {nohandler::checkHeader,    nohandler::searchData,     nohandler::searchChunk,        \
     nohandler::searchFmtChunk, nohandler::searchBextChunk, nohandler::deleteChunk,       \
     nohandler::createHeader,   nohandler::updateDataSize, nohandler::divide,             \
     nohandler::combine,        nohandler::saveCueData,    nohandler::saveCueData,        \
     nohandler::loadCueData,    nohandler::setStartSample, nohandler::getStartSample,     \
     nohandler::getReserveSize, nohandler::loadTagData,    nohandler::registerTagData}
