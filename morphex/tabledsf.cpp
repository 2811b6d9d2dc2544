// The library's DSF table. The DSF handler is not part of this build yet.
#include "morphex/audiofiledispatch.h"
#include "morphex/nohandler.h"

const tAudioFileHandler gDSF = SX_NO_HANDLER_TABLE;
