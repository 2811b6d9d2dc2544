// The FLAC export job: encodes a WAV file (the export's intermediate file)
// into a FLAC file carrying the tag record as Vorbis comments, the album art
// as a PICTURE block and a 4096-byte PADDING block, in that order.
//
// Sources: 16- or 24-bit integer PCM, mono or stereo, at a rate FLAC's
// streamable subset allows (up to 655350 Hz). Anything else (32-bit and
// float sources among them) is refused before the FLAC file is created.
// The encoder verifies every frame against its input. A failed or aborted
// export removes the FLAC file it had begun, so no partial FLAC file is
// ever left at the destination.
#pragma once

#include <cstdint>
#include <cstdio>

#include "audiofile/jobs/flacjob.h"

// What the album art file holds.
enum tPicFileType : int {
    kPicFileNone = -1,  // neither PNG nor JPEG
    kPicFilePNG = 0,
    kPicFileJPEG = 1,
};

// Album art larger than a FLAC metadata block can hold (its length field has
// 24 bits, and the PICTURE block's own fields take some of it) is not
// written.
constexpr uint32_t kFlacPictureMaxBytes = (1u << 24) - 1 - 64;

// Reads the first bytes of fp: the PNG signature gives PNG, a JFIF or Exif
// JPEG start (FF D8 FF E0 / FF D8 FF E1) gives JPEG. *type is set to
// kPicFileNone first. 0 for PNG or JPEG, -1 otherwise (also when the file
// cannot be read).
[[nodiscard]] int checkPicMetadata(FILE *fp, tPicFileType *type);

// Vorbis comments written, each only when set: "TITLE", "ALBUM", "ARTIST",
// "GENRE" (non-empty texts), "TRACKNUMBER" (> 0), "ORIGDATE" (year, month or
// day > 0: year or 2000, "-", month or 1, and "-" day when the day is set)
// and "ORIGTIME" (hour or minute > 0: hour or 0, ":", minute or 0).
class ClassWav2Flac : public flacTransaction {
public:
    ClassWav2Flac() = default;
    ~ClassWav2Flac() override;
    ClassWav2Flac(const ClassWav2Flac &) = delete;
    ClassWav2Flac &operator=(const ClassWav2Flac &) = delete;

    // flacPath: the FLAC file to write (replaced); wavPath: the WAV source.
    // tag may be null (no comments, no art). info is not used.
    [[nodiscard]] int apply(const QString &flacPath, const QString &wavPath, const std::atomic<bool> *abort,
                            int *progress, tID3tagInfo *tag, tFlacFileInfo *info) override;

private:
    int encode(const QString &flacPath, FILE *wav, const std::atomic<bool> *abort, int *progress,
               const tID3tagInfo *tag, bool *created);
    int loadPicture(const tID3tagInfo *tag, tPicFileType *type);

    uint64_t mTotalFrames = 0;    // frames of the source
    uint8_t *mPicture = nullptr;  // the album art file, read whole (_aligned_malloc)
    uint32_t mPictureBytes = 0;
};
