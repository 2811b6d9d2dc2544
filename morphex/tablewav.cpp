// The library's WAV/BWF/RF64 table: every slot is the library build of the
// WAV handler (a bext chunk in every new header, sizes always set).
#include "audiofile/wavfile.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/handlerslots.h"
#include "morphex/librarybuild.h"

namespace {

// One handler per thread: its 128 KiB work buffer is job state, and a job
// runs wholly on its caller's thread, so jobs on different threads never
// share it.
gClass_WavFile &wav() {
    thread_local gClass_WavFile handler(gLibraryBuild);
    return handler;
}

template <auto Method>
constexpr auto slot = &tHandlerSlot<wav, Method>::call;

}  // namespace

const tAudioFileHandler gWAV = {
    slot<&gClass_WavFile::checkHeader>,      // 0
    slot<&gClass_WavFile::searchData>,       // 1
    slot<&gClass_WavFile::searchChunk>,      // 2 RIFF walk from the first chunk
    slot<&gClass_WavFile::searchFmtChunk>,   // 3
    slot<&gClass_WavFile::searchBextChunk>,  // 4 bext time reference
    slot<&gClass_WavFile::deleteChunk>,      // 5
    slot<&gClass_WavFile::createHeader>,     // 6
    slot<&gClass_WavFile::updateDataSize>,   // 7
    slot<&gClass_WavFile::divide>,           // 8
    slot<&gClass_WavFile::combine>,          // 9
    slot<&gClass_WavFile::saveCueData>,      // 10
    slot<&gClass_WavFile::saveCueDataNew>,   // 11
    slot<&gClass_WavFile::loadCueData>,      // 12
    slot<&gClass_WavFile::setStartSample>,   // 13 bext
    slot<&gClass_WavFile::getStartSample>,   // 14 bext
    slot<&gClass_WavFile::getReserveSize>,   // 15 5172 + cluster size
    wav_loadTagData,                         // 16 WAV files carry no tags here: -17
    wav_registerTagData,                     // 17 -17
};
static_assert(sizeof(tAudioFileHandler) == kAudioFileHandlerSlots * sizeof(void (*)()), "a handler table has 18 slots");
