// WAV, BWF and RF64 files: the AccessAudioFile handler for PCM in RIFF/WAVE
// form, with an optional Broadcast Wave "bext" chunk carrying the start time
// and the RF64 variant whose "ds64" chunk holds 64-bit sizes.
//
// New files get a fixed 32768-byte header: RIFF (or RF64 with ds64), "fmt ",
// an optional bext, a JUNK chunk filling the space, and the "data" header
// at 32760, so the audio always starts at byte 32768 and later metadata (the
// start time, marks) goes into the JUNK space or behind the audio without
// moving it. All integers in the file are little-endian.
//
// In the conversion library's build (tAudioFileBuild::library) createHeader
// always writes the bext chunk, so a header rebuild (remakeRiffStructure)
// carries a fresh one too, and updateWavFileSize always sets. Both builds
// give a start-time bext appended by setStartSample the coding history
// "M=mono" for one channel and "M=<n>-channel" otherwise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "audiofile/audiofileif.h"
#include "audiofile/chunkutil.h"
#include "audiofile/tagrecord.h"

enum : uint32_t {
    kWavHeaderBytes = 32768,   // audio starts here in files this handler writes
    kWavBextChunkBytes = 866,  // bext chunk with its header, as written here
    kWavBextPayload = 858,
    kWavWorkBufBytes = 0x20000,  // header, bext and label chunks are built in it
    kWavReserveSize = 5172,      // what a header rewrite may need (getReserveSize)
    kWavMoveChunk = 8192,        // deleteChunk and divide move bytes in pieces of this
    kWavRenameMax = 1000,        // renameChunkAll renames at most this many chunks
};

// Offsets inside the bext payload (behind its 8-byte header).
enum : uint32_t {
    kBextOriginator = 256,
    kBextOriginationDate = 320,
    kBextOriginationTime = 330,
    kBextTimeReference = 338,  // u64, samples since midnight
    kBextCodingHistory = 602,
    kBextMinPayload = kBextTimeReference + 8,  // a bext chunk must hold the time reference
};

// How updateWavFileSize treats its value (the program's build).
enum tWavSizeHow : uint32_t {
    kWavSizeAdd = 0,
    kWavSizeSubtract = 1,
    kWavSizeSet = 2,
};

class gClass_WavFile : public AccessAudioFile {
public:
    explicit gClass_WavFile(const tAudioFileBuild &build = kAudioFileProgramBuild);
    ~gClass_WavFile() override;
    gClass_WavFile(const gClass_WavFile &) = delete;
    gClass_WavFile &operator=(const gClass_WavFile &) = delete;

    // "RIFF" or "RF64" at 0, "WAVE" at 8 and a "fmt " chunk: status 1 or 2.
    // Otherwise (also for a file shorter than its magic) -17 with status 0.
    [[nodiscard]] int checkHeader(FILE *fp, tRiffStatus *status) override;
    // audioBytes equals dataBytes (both 0 on failure).
    [[nodiscard]] int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) override;
    [[nodiscard]] int searchChunk(FILE *fp, const char *id, uint64_t *offset) override;
    // -1 also for a "fmt " chunk shorter than the 16 bytes of PCM format.
    [[nodiscard]] int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                     uint16_t *formatTag) override;
    // The bext time reference; -1 when there is no bext chunk, it is 8192
    // bytes or larger, or too short to hold the time reference.
    [[nodiscard]] int searchBextChunk(FILE *fp, uint64_t *startSample) override;
    // Moves everything behind the chunk forward and truncates the file. The
    // RIFF size is left as it was.
    [[nodiscard]] int deleteChunk(FILE *fp, const char *id) override;
    // Writes the 32768-byte header. -17 for a parameter a WAV header cannot
    // hold (no channels, bits or rate; block align or byte rate too large).
    [[nodiscard]] int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) override;
    // Sets the data size, the RIFF size (file size - 8) and, in an RF64 file,
    // the ds64 sizes. A RIFF header cannot describe 4 GiB or more: -1, with
    // the data size already set to 0xFFFFFFFF. samples is not used.
    [[nodiscard]] int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) override;
    // The first part keeps its header and covers the audio before pos (the
    // bytes after it stay in the file); second receives a copy of the header
    // and the audio from pos on. A file whose new size needs the other header
    // kind is rebuilt through work. -17 when pos lies beyond the audio.
    [[nodiscard]] int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) override;
    // Writes the audio of second behind the audio of first (replacing what
    // followed it), fixes the sizes (rebuilding through work when the header
    // kind must change) and stores param's time reference. fileNo is not
    // used. -17 when the two files' formats differ.
    [[nodiscard]] int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                              uint32_t fileNo) override;
    // Marks of mark list listNo as "cue ", "LIST"/"adtl" and "plst" chunks
    // (wavmarks.h). Nothing is written while the list's modify flag is clear.
    // saveCueData: existing < 0 replaces the marks of an existing file,
    // >= 0 fills the first JUNK chunk; saveCueDataNew always fills the first
    // JUNK chunk. The RIFF size is then set to the file size - 8. 0, or -17
    // for marks that do not fit (what was written stays). loadCueData
    // replaces the list by the file's marks as far as the file allows: 0, or
    // -17 for a bad list number.
    [[nodiscard]] int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;
    [[nodiscard]] int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;
    [[nodiscard]] int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) override;
    // A start of one day or more (rate x 86400 samples) is reduced by a day.
    // Without a bext chunk one is appended behind the audio (with a pad byte
    // when the audio ends at an odd offset) and the result is -41; a file
    // whose chunks do not lead to its end gets none (-1).
    [[nodiscard]] int setStartSample(FILE *fp, uint64_t startSample) override;
    [[nodiscard]] int getStartSample(FILE *fp, uint64_t *startSample) override;
    uint32_t getReserveSize() override;
    [[nodiscard]] int searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) override;

    // --- Further operations of the handler -----------------------------

    // searchData under its own name.
    [[nodiscard]] int searchDataTop(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes);
    // Sets (adds to, subtracts from) the RIFF size. The header kind must
    // match the resulting size: RIFF below 2^32, RF64 from 2^32. 0 or -1.
    [[nodiscard]] int updateWavFileSize(FILE *fp, uint64_t value, uint32_t how = kWavSizeSet);
    // RIFF size = file size - 8, with the sizes of the file's own header
    // kind. 0, -1, or -17 when the file size cannot be read.
    [[nodiscard]] int updateRiffSize(FILE *fp);
    // Data chunk size = bytes (0xFFFFFFFF from 0xFFFFFFFF on); kind RF64
    // also sets the ds64 data size. 0 or -1.
    [[nodiscard]] int renew_dataChunkSize(FILE *fp, uint64_t bytes, tRiffStatus kind);
    // RIFF size at byte 4 = size (0xFFFFFFFF from 0xFFFFFFFF on); kind RF64
    // also sets the ds64 RIFF size. 0 or -1.
    [[nodiscard]] int renew_riffsize(FILE *fp, uint64_t size, tRiffStatus kind);
    // The data chunk's size is always written whole by the size updates, so
    // there is nothing left to recalculate; kept for callers that ask. 0.
    int recalDataCkSize() { return 0; }
    // Rebuilds file with a new header of the kind riffSize needs and its
    // first dataBytes of audio, through work (emptied first). The old file's
    // other chunks are gone afterwards. The caller removes work. 0 or -1.
    [[nodiscard]] int remakeRiffStructure(FILE *fp, FILE *work, uint64_t riffSize, uint64_t dataBytes);
    // Sets the two sizes in place when the header kind fits riffSize,
    // otherwise rebuilds through work. 0 or -1.
    [[nodiscard]] int writeHeaderSize(FILE *fp, FILE *work, uint64_t riffSize, uint64_t dataBytes);
    // Builds a bext chunk (header included) in buf, which holds at least
    // kWavBextChunkBytes, stamped with the local date and time. Returns 866.
    uint32_t makeBextChunk(uint8_t *buf, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t stereo,
                           uint64_t timeReference);
    // Renames the first chunk with that id; 0 also when there is none.
    // Both are the mark writer's (wavmarks.h) under the handler's names.
    [[nodiscard]] int renameChunk(FILE *fp, const char *id, const char *newId);
    // Renames every chunk with that id, at most kWavRenameMax. 0 or -1.
    [[nodiscard]] int renameChunkAll(FILE *fp, const char *id, const char *newId);
    // The header kind found by the last checkHeader.
    tRiffStatus riffStatus() const { return mRiffStatus; }

private:
    int readFmt(FILE *fp, tBwfHdrParam *param, uint16_t *formatTag);
    int readTimeReference(FILE *fp, uint64_t limit, uint64_t *startSample);
    int appendBext(FILE *fp, uint64_t startSample);
    // saveCueData and saveCueDataNew (wavmarks.cpp).
    int saveMarks(FILE *fp, int existing, int listNo, uint64_t totalSamples, bool firstJunk);

    tAudioFileBuild mBuild;
    ClassChunkUtility mChunk;
    std::unique_ptr<uint8_t[]> mWork;  // kWavWorkBufBytes; null when it could not be allocated
    tRiffStatus mRiffStatus = kRiffStatusUnknown;
};

// The 858-byte payload of a broadcast-wave "bext" chunk (no chunk header),
// stamped with the local date and time: originator, time reference
// (little-endian, samples since midnight) and a coding history of
// "A=PCM,F=<rate>,W=<bits>," and "M=mono", "M=stereo" (two channels with
// stereo 1) or "M=<n>-channel". The DSDIFF handler puts the same payload
// behind its own chunk header.
void wav_fillBextPayload(uint8_t *payload, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t stereo,
                         uint64_t timeReference);

// The conversion library's tag table entries of WAV files (the slot
// signatures of its per-format tables): no tags are read from or written
// into WAV files, both give -17.
[[nodiscard]] int wav_loadTagData(FILE *fp, tID3tagInfo *tag);
[[nodiscard]] int wav_registerTagData(const tID3tagInfo *tag);
