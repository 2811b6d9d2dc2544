// Impulse response for the reverb panel's "Load IR": the first frames of a
// WAV file as stereo double frames.
#pragma once

#include <cstdint>

#include "audiofile/wavfile.h"
#include "base/wstring.h"

enum : int {
    kImResponseFrames = 6000,      // stereo double frames kept (96000 bytes)
    kImResponseReadBytes = 19200,  // file bytes read at a time
    kImResponsePieceFrames = 600,  // frames read at a time, at most
};

// Result codes of loadIRfile.
enum : int {
    kImResponseOk = 0,
    kImResponseErrIO = -1,       // cannot open or read the file, or no "fmt "/"data" chunk
    kImResponseErrFormat = -17,  // not a WAV file, no audio, or samples the unpacker cannot read
    kImResponseErrMemory = -12,  // the buffers could not be allocated at construction
};

class imResponse {
public:
    // The buffer starts as silence.
    imResponse();
    ~imResponse();
    imResponse(const imResponse &) = delete;
    imResponse &operator=(const imResponse &) = delete;

    // Loads the first kImResponseFrames frames of the WAV file at path
    // (16-bit text; the GUI passes its path's UTF-16) into the buffer, from
    // its start; the rest of the buffer becomes silence. Mono, stereo, 16,
    // 24, 32 (integer or float) and 64 bits. On any failure the buffer keeps
    // what it held. The second argument is not used. The reverb panel does
    // not look at the result; it is there for callers that report errors.
    int loadIRfile(const wchar16 *path, int ignored);

    // kImResponseFrames stereo frames; the same pointer for the object's
    // life (null only when the allocation failed).
    double *getIrBuf() { return mIrBuf; }
    // Frames of the last successful load (0 before the first).
    int getIrFrames() const { return mIrFrames; }

private:
    gClass_WavFile mWav;
    double *mIrBuf;
    double *mStage;     // the new response until it is complete
    uint8_t *mReadBuf;  // kImResponseReadBytes
    int mIrFrames;
};
