// The FLAC import job: decodes a FLAC file into a WAV file of 64-bit IEEE
// float samples (full scale +-1.0) that the engine can play, and fills the
// caller's tag record from the file's Vorbis comments and picture.
//
// The WAV file gets the file layer's fixed 32768-byte header, RF64 when its
// RIFF size could reach 4 GiB (decided from the stream's stated length when
// the header is written; a stream that states no length gets RF64, since
// its size is unknown). Its sizes are set from the bytes actually written.
//
// Mono and stereo streams of 4 to 32 bits are decoded; streams of more
// channels are refused (the engine takes one or two channels, and a split
// of a decoded file is not offered), and so are word lengths outside that
// range and a rate of 0. The import fails, and removes the WAV file, when
// the FLAC file cannot be opened or is not FLAC, when a frame is corrupt (a
// bad CRC) or missing, when the stream ends before its stated length or
// gives no audio at all (a stream without a stated length included), when
// a write fails, or when the worker's abort flag is raised.
#pragma once

#include "audiofile/jobs/flacjob.h"

// Vorbis comment keys the import takes (case-sensitive, as written by
// common taggers) and where they go in tID3tagInfo:
//   "ALBUM=", "TITLE=", "ARTIST=", "GENRE=": the texts (UTF-8 to UTF-16,
//     cut to the record's capacity);
//   "TRACKNUMBER=": track number; "TRACKTOTAL=", "TOTALTRACKS=": total
//     tracks (a value that is not a plain decimal number gives 0, so "3/12"
//     gives 0);
//   "ORIGDATE=": year-month-day, "ORIGTIME=": hour:minute; each part a
//     decimal number or 0, missing parts leave their fields alone.
// The first matching key of an entry wins; other entries are ignored. A
// PICTURE block is written whole to the record's picture path (when that
// opens) and sets the has-picture byte.
class ClassFlac2Wav : public flacTransaction {
public:
    ClassFlac2Wav() = default;
    ~ClassFlac2Wav() override = default;

    // flacPath: the FLAC source; wavPath: the WAV file to write (replaced).
    // info: the stream's length as decoded, rate, channels and bits (zeros
    // when no stream information was found).
    [[nodiscard]] int apply(const QString &flacPath, const QString &wavPath, const std::atomic<bool> *abort,
                            int *progress, tID3tagInfo *tag, tFlacFileInfo *info) override;
};
