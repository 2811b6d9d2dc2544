// File combine: joins the audio of a second file onto the first (one after
// the other, or two mono files into one stereo file, as the format handler's
// combine operation does) through a work file.
//
// pProgress (vfile.h) is set to the caller's progress word for the call: the
// handlers' range copies report 1..90, a header rebuild 90..99. It is
// file-scope, so one combine at a time.
#pragma once

#include "audiofile/audiofileif.h"
#include "base/wstring.h"

enum : int {
    kCombineErrFirst = -1,   // first file or work file cannot be opened
    kCombineErrSecond = -3,  // second file cannot be opened
};

// type: library file type code (0..4; others give -17 from the dispatch).
// first is opened for reading and writing and receives the result; second
// is only read; work is created and removed again. The handler's result
// (0 or negative), or a code above.
[[nodiscard]] int audioCombine(int type, const wchar16 *first, const wchar16 *second, const wchar16 *work,
                               const tBwfHdrParam *param, int *progress);
