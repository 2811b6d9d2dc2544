// The build record the library's tables construct every handler with: the
// library's switches and its own tag code (morphex/dsflibtag.h,
// morphex/dsdifftag.h), which the file layer reaches only through it.
#pragma once

#include "audiofile/audiofileif.h"

extern const tAudioFileBuild gLibraryBuild;
