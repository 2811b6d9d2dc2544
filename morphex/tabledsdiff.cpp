// The library's DSDIFF table: the DSDIFF handler in the library's build
// (start time read back as 0, registered title and artist written behind
// the marks) with the tag slots of morphex/dsdifftag.h.
#include "audiofile/dsdifffile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/dsdifftag.h"
#include "morphex/handlerslots.h"
#include "morphex/librarybuild.h"

namespace {

// One handler per thread: its work buffers are job state, and a job runs
// wholly on its caller's thread.
gClass_DsdiffFile &dff() {
    thread_local gClass_DsdiffFile handler(gLibraryBuild);
    return handler;
}

template <auto Method>
constexpr auto slot = &tHandlerSlot<dff, Method>::call;

}  // namespace

const tAudioFileHandler gDSDIFF = {
    slot<&gClass_DsdiffFile::checkHeader>,      // 0
    slot<&gClass_DsdiffFile::searchData>,       // 1
    slot<&gClass_DsdiffFile::searchChunk>,      // 2 64-bit chunk walk
    slot<&gClass_DsdiffFile::searchFmtChunk>,   // 3
    slot<&gClass_DsdiffFile::searchBextChunk>,  // 4
    slot<&gClass_DsdiffFile::deleteChunk>,      // 5
    slot<&gClass_DsdiffFile::createHeader>,     // 6
    slot<&gClass_DsdiffFile::updateDataSize>,   // 7
    slot<&gClass_DsdiffFile::divide>,           // 8 not offered: -17
    slot<&gClass_DsdiffFile::combine>,          // 9
    slot<&gClass_DsdiffFile::saveCueData>,      // 10 marks, then the registered title and artist
    slot<&gClass_DsdiffFile::saveCueDataNew>,   // 11
    slot<&gClass_DsdiffFile::loadCueData>,      // 12
    slot<&gClass_DsdiffFile::setStartSample>,   // 13
    slot<&gClass_DsdiffFile::getStartSample>,   // 14 library build: start 0, 0
    slot<&gClass_DsdiffFile::getReserveSize>,   // 15 5172 + cluster size
    dsdiffTag_load,                             // 16 title and artist of the DIIN chunk
    dsdiffTag_register,                         // 17 kept for the next DSDIFF file written
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()), "a handler table has 18 slots");
