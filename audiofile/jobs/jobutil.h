// Small pieces the file jobs share: the progress word, the WAV header kind a
// job's output needs, opening and removing files named by Qt strings, and
// the tag record's texts as Qt strings.
#pragma once

#include <QString>

#include <cstdint>
#include <cstdio>

#include "audiofile/audiohelpers.h"
#include "audiofile/wavfile.h"

// Stores a percentage in the caller's progress word (null: nothing). The
// word belongs to a window whose GUI timer reads it while the job's thread
// writes it, so the store is a whole-word atomic one.
inline void jobs_storeProgress(int *progress, int percent) {
    if (progress) __atomic_store_n(progress, percent, __ATOMIC_RELAXED);
}

// True when a WAV file written with the handler's fixed header and dataBytes
// of audio has a RIFF size (file size - 8) of 4 GiB or more, which only an
// RF64 header can state. Decided when the header is written, since the
// header kind cannot change afterwards without rewriting the file.
inline bool jobs_wavNeedsRf64(uint64_t dataBytes) {
    const uint64_t limit = 0x100000000ull - (kWavHeaderBytes - 8);
    return dataBytes >= limit;
}

// Opens path (UTF-16 as Qt holds it) with the stdio mode. Null on failure.
FILE *jobs_open(const QString &path, const char *mode);
// Removes the file; a missing file is not an error. 0 or -1.
int jobs_remove(const QString &path);

// A tag text (NUL-terminated, read at most capacity units) as a QString.
QString jobs_tagText(const wchar16 *text, int capacity);
// Copies text into a tag buffer of capacity units (terminator included),
// cut at a character boundary when it does not fit. A null buffer is
// left alone.
void jobs_setTagText(wchar16 *dst, int capacity, const QString &text);
