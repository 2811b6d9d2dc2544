// The FLAC jobs' common ground: the abstract job that the FLAC worker
// (flac2wavthread.h) runs, the stream description an import leaves behind,
// and the completion message the worker sends after every job.
//
// Results of a FLAC job: kFlacJobOK or kFlacJobFailed. A job never reports
// success for output it did not write completely; a failed job removes the
// file it was writing.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

#include "audiofile/audiohelpers.h"  // tID3tagInfo
#include "audiofile/jobs/fileopenmode.h"

enum : int {
    kFlacJobOK = 0,
    kFlacJobFailed = -1,
};

// What the last import found in the FLAC stream.
struct tFlacFileInfo {
    uint64_t totalSamples;  // per channel, as decoded
    uint32_t sampleRate;    // Hz
    uint32_t channels;
    uint32_t bitsPerSample;
};

// A FLAC job's result, sent by pointer with flac2wavThread::flacConvCompleted.
// The record belongs to the worker and is rewritten by its next job. A
// negative status means the job wrote nothing that may be used (its output
// file is gone): the receiver tells the user, since nothing else will.
struct tFlac2WavMessages {
    int status = 0;                         // the job's result: 0, or negative
    QString flacPath;                       // the job's first path
    QString wavPath;                        // the job's second path
    tFileOpenMode mode = kFileOpenReplace;  // as given to setParameters, untouched
};

// One FLAC job. Created on the heap by a window, handed to the worker's
// addTransaction, and deleted by the worker right after apply.
class flacTransaction {
public:
    virtual ~flacTransaction() = default;

    // Runs the job on the worker's thread. The first path is always the FLAC
    // file and the second the WAV file, whichever way the job converts.
    // abort is the worker's flag, polled between blocks (set from the GUI
    // thread by stop); progress receives percent done (may be null); tag is
    // the caller's record (read by an export, filled by an import; may be
    // null); info receives an import's stream description. Returns
    // kFlacJobOK or kFlacJobFailed.
    [[nodiscard]] virtual int apply(const QString &flacPath, const QString &wavPath, const std::atomic<bool> *abort,
                                    int *progress, tID3tagInfo *tag, tFlacFileInfo *info) = 0;
};
