// The library's WSD table. The WSD handler is not part of this build yet.
#include "morphex/audiofiledispatch.h"
#include "morphex/nohandler.h"

const tAudioFileHandler gWSD = SX_NO_HANDLER_TABLE;
