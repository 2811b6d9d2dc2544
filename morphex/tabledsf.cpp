// The library's DSF table: the DSF handler in the library's build (its tag
// writer and mark loader are those of morphex/dsflibtag.h), its chunk walk
// in DSF mode, and the tag slots (the file's ID3v2 tag read into a tag
// record; a registration kept for the next DSF file written).
#include "morphex/tabledsf.h"

#include "audiofile/dsffile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/dsflibtag.h"
#include "morphex/handlerslots.h"
#include "morphex/librarybuild.h"

namespace {

cRegisteredTag sDsfTag;

// One handler per thread: its buffers and the tag state it carries from one
// call to the next are job state, and a job runs wholly on its caller's
// thread.
gClass_DsfFile &dsf() {
    thread_local gClass_DsfFile handler(gLibraryBuild);
    return handler;
}

template <auto Method>
constexpr auto slot = &tHandlerSlot<dsf, Method>::call;

}  // namespace

cRegisteredTag &dsfTag_registered() { return sDsfTag; }

const tAudioFileHandler gDSF = {
    slot<&gClass_DsfFile::checkHeader>,           // 0
    slot<&gClass_DsfFile::searchData>,            // 1
    slot<&gClass_DsfFile::searchSpecifiedChunk>,  // 2 chunk walk in DSF mode
    slot<&gClass_DsfFile::searchFmtChunk>,        // 3
    slot<&gClass_DsfFile::searchBextChunk>,       // 4 start 0, -1
    slot<&gClass_DsfFile::deleteChunk>,           // 5 -1
    slot<&gClass_DsfFile::createHeader>,          // 6
    slot<&gClass_DsfFile::updateDataSize>,        // 7
    slot<&gClass_DsfFile::divide>,                // 8
    slot<&gClass_DsfFile::combine>,               // 9
    slot<&gClass_DsfFile::saveCueData>,           // 10 tag with texts, marks and album art
    slot<&gClass_DsfFile::saveCueData>,           // 11 the same function
    slot<&gClass_DsfFile::loadCueData>,           // 12 marks of the tag's mark frame
    slot<&gClass_DsfFile::setStartSample>,        // 13 -1
    slot<&gClass_DsfFile::getStartSample>,        // 14 -1
    slot<&gClass_DsfFile::getReserveSize>,        // 15 171 + cluster size
    dsflib_loadTagData,                           // 16 the ID3v2 tag into the record; drops the registration
    dsflib_registerTagData,                       // 17 kept for the next DSF file written
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()), "a handler table has 18 slots");
