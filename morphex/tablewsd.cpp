// The library's WSD table: the WSD handler in the library's build (writes
// its 2048-byte header and sizes, reads the start time back from the file)
// with the text-area tag reader.
#include "audiofile/wsdfile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/handlerslots.h"
#include "morphex/librarybuild.h"

namespace {

// One handler per thread: its in-memory header (the start time kept by
// setStartSample) is job state, and a job runs wholly on its caller's
// thread.
gClass_WsdFile &wsd() {
    thread_local gClass_WsdFile handler(gLibraryBuild);
    return handler;
}

template <auto Method>
constexpr auto slot = &tHandlerSlot<wsd, Method>::call;

}  // namespace

const tAudioFileHandler gWSD = {
    slot<&gClass_WsdFile::checkHeader>,      // 0
    slot<&gClass_WsdFile::searchData>,       // 1
    slot<&gClass_WsdFile::searchChunk>,      // 2 offset 2048, 0
    slot<&gClass_WsdFile::searchFmtChunk>,   // 3
    slot<&gClass_WsdFile::searchBextChunk>,  // 4 start time from the header
    slot<&gClass_WsdFile::deleteChunk>,      // 5 -1
    slot<&gClass_WsdFile::createHeader>,     // 6
    slot<&gClass_WsdFile::updateDataSize>,   // 7
    slot<&gClass_WsdFile::divide>,           // 8 -1
    slot<&gClass_WsdFile::combine>,          // 9 -1
    slot<&gClass_WsdFile::saveCueData>,      // 10 -1
    slot<&gClass_WsdFile::saveCueData>,      // 11 the same function
    slot<&gClass_WsdFile::loadCueData>,      // 12
    slot<&gClass_WsdFile::setStartSample>,   // 13 kept in memory, 0
    slot<&gClass_WsdFile::getStartSample>,   // 14 bytes 80..87 of the file's header
    slot<&gClass_WsdFile::getReserveSize>,   // 15 0
    wsd_loadTagData,                         // 16 the header's text area
    wsd_registerTagData,                     // 17 -17
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()), "a handler table has 18 slots");
