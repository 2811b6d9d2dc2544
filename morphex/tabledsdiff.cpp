// The library's DSDIFF table. The DSDIFF handler is not part of this build yet.
#include "morphex/audiofiledispatch.h"
#include "morphex/nohandler.h"

const tAudioFileHandler gDSDIFF = SX_NO_HANDLER_TABLE;
