// DSDIFF files: the AccessAudioFile handler for one-bit DSD audio in an
// "FRM8" form of type "DSD ". Chunks carry 12-byte headers (4-character id,
// big-endian u64 data size that counts neither id nor size); a chunk of odd
// data size is followed by one pad byte the size does not count. Every
// integer in the file is big-endian except the time reference inside a
// "bext" chunk, which keeps the broadcast-wave (little-endian) layout.
//
// New files get a fixed 32768-byte header: form header, FVER, PROP ("SND "
// with FS, CHNL and CMPR), a JUNK chunk filling the space and the "DSD "
// sound chunk header at 32756, so the audio (channel bytes interleaved, the
// earliest sample in the most significant bit) always starts at byte 32768.
// Marks (cue, LIST/adtl, plst) and the start time (bext) are written into
// the header's JUNK space or behind the audio, never moving it.
//
// Every size read from a file is untrusted: the chunk walk keeps 64-bit
// offsets, stops at the end of the file, and a chunk that claims more than
// the file holds is taken as running to the end of the file.
//
// In the conversion library's build (tAudioFileBuild::library)
// getStartSample gives 0 without reading the file, and saveCueData calls
// the build's tagAfterMarks (the library appends its registered title and
// artist there) between writing the marks and fixing the form size.
// Everything else, the mark placement rules included, is the same.
#pragma once

#include <cstdint>
#include <cstdio>

#include "audiofile/audiofileif.h"
#include "audiofile/chunkutil.h"
#include "base/alignedalloc.h"

enum : uint32_t {
    kDsdiffHeaderBytes = 32768,      // audio starts here in files this handler writes
    kDsdiffChunkHeader = 12,         // id + u64 data size
    kDsdiffFirstChunk = 16,          // behind "FRM8", form size, "DSD "
    kDsdiffSoundHeaderAt = 32756,    // "DSD " sound chunk header in a new file
    kDsdiffMaxChannels = 4096,       // channel ids C000..CFFF stay unique and fit the header
    kDsdiffSmallBufBytes = 0x2000,   // 8 KiB: bext reading
    kDsdiffWorkBufBytes = 0x20000,   // 128 KiB: header, property and label chunk work
    kDsdiffPropReadLimit = 0x1FFF0,  // property bytes searchFmtChunk walks at most
    kDsdiffReserveSize = 5172,       // getReserveSize, before the cluster size
    kDsdiffMoveStep = 2048,          // deleteChunk moves bytes in pieces of this
    kDsdiffVersion = 0x01040000,     // FVER 1.4.0.0
    kDsdiffIdleByte = 0x96,          // DSD silence
};

// Marks and start time.
enum : uint32_t {
    kDsdiffMarkMax = 99,  // points the cue and playlist buffers hold
    kDsdiffCuePointBytes = 40,
    kDsdiffPlstEntryBytes = 16,
    kDsdiffCueDataMax = 4 + kDsdiffMarkMax * kDsdiffCuePointBytes,    // 3964
    kDsdiffPlstDataMax = 4 + kDsdiffMarkMax * kDsdiffPlstEntryBytes,  // 1588
    kDsdiffLabelChars = 15,                                           // name characters written per label
    kDsdiffLabelLoadChars = 10,                                       // name characters taken back per label
    kDsdiffLabelReadMax = 0x1FFF0,                                    // LIST data read after its type, at most
    kDsdiffFirstJunkLimit = 0x7FFF,                                   // most mark bytes put into a header's JUNK
    kDsdiffJunkTailBytes = 32768,  // JUNK appended behind moved marks, header included
    kDsdiffRenameMax = 1000,
    kDsdiffBextChunkBytes = 870,  // bext chunk as written, header included
    kDsdiffBextPayload = 858,
    kDsdiffBextSearchMax = kDsdiffSmallBufBytes - kDsdiffChunkHeader,  // 8180
};

// Offsets inside the bext data (behind its 12-byte header).
enum : uint32_t {
    kDsdiffBextOriginator = 256,
    kDsdiffBextDate = 320,
    kDsdiffBextTime = 330,
    kDsdiffBextTimeReference = 338,  // little-endian u64, samples since midnight
    kDsdiffBextCodingHistory = 602,
    kDsdiffBextMinPayload = kDsdiffBextTimeReference + 8,  // a bext must hold the time reference
};

// How updateWavFileSize treats its value.
enum tDsdiffSizeHow : uint32_t {
    kDsdiffSizeAdd = 0,
    kDsdiffSizeSubtract = 1,
    kDsdiffSizeSet = 2,
};

// Where a run of mark chunks and the JUNK chunk directly behind it lie
// (checkMarkChunk). Offsets are chunk header offsets.
struct tDsdiffMarkArea {
    uint64_t runStart;
    uint64_t runLength;  // JUNK offset - run start - 12
    uint64_t junkOffset;
    uint64_t junkSize;  // data size, limited to what the file holds
};

class gClass_DsdiffFile : public AccessAudioFile {
public:
    explicit gClass_DsdiffFile(const tAudioFileBuild &build = kAudioFileProgramBuild);
    ~gClass_DsdiffFile() override;
    gClass_DsdiffFile(const gClass_DsdiffFile &) = delete;
    gClass_DsdiffFile &operator=(const gClass_DsdiffFile &) = delete;

    // "FRM8" at 0, "DSD " at 12 and a "PROP" chunk: 0 with status 1.
    // Otherwise (also for a file shorter than 16 bytes) -17; status is 1
    // in every case.
    [[nodiscard]] int checkHeader(FILE *fp, tRiffStatus *status) override;
    // The "DSD " sound chunk: dataOffset is the first audio byte; dataBytes
    // and audioBytes its data size, cut to what the file holds (a recording
    // that was never finalised). Leaves the file at dataOffset. 0 or -1.
    [[nodiscard]] int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) override;
    [[nodiscard]] int searchChunk(FILE *fp, const char *id, uint64_t *offset) override;
    // The "SND " property chunk: rate (0 when it has no "FS  "), bits 1,
    // channels, format tag 0. -1 when it is absent or malformed, or when its
    // "CMPR" type is not "DSD " (a compressed file, which is not played).
    [[nodiscard]] int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                     uint16_t *formatTag) override;
    // The time reference of the first "bext" chunk. -1 when there is none,
    // its data exceeds kDsdiffBextSearchMax or cannot hold the field.
    [[nodiscard]] int searchBextChunk(FILE *fp, uint64_t *startSample) override;
    // Moves everything behind the first chunk with that id down over it and
    // cuts the file. The form size is left for the caller. 0 or -1.
    [[nodiscard]] int deleteChunk(FILE *fp, const char *id) override;
    // Writes the 32768-byte header (channels and rate from param; withBext
    // is ignored: the handlers share one signature). -17 for no channels, more than kDsdiffMaxChannels or a
    // rate of 0; -1 on an I/O failure.
    [[nodiscard]] int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) override;
    // "DSD " data size = audioBytes, then form size = file length - 12.
    // samples is ignored (shared signature). 0, -1, or -17 when the length cannot be read.
    [[nodiscard]] int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) override;
    // Not offered: -17.
    [[nodiscard]] int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) override;
    // Appends the audio of second behind the audio of first; the first file
    // ends with the joined audio (what followed its audio is overwritten and
    // cut off), its sizes are fixed and param's time reference is stored in
    // a bext chunk. work and fileNo are not used. -17 when the two files'
    // rates or channel counts differ (first untouched).
    [[nodiscard]] int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                              uint32_t fileNo) override;

    // Marks of list listNo, written only when its modify flag is set.
    // existing < 0: replace the file's marks in place where there is room;
    // existing >= 0: a file just written, use its first JUNK chunk. Then the
    // form size is fixed. 0, -1 or -17 (marks that do not fit).
    [[nodiscard]] int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;
    // As saveCueData, always in the first-JUNK mode.
    [[nodiscard]] int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;
    // Replaces list listNo by the marks of the file as far as the file
    // allows; a mark at totalSamples comes back one sample earlier. Always 0.
    [[nodiscard]] int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) override;
    // Stores start (reduced modulo one day at the file's rate) as the bext
    // time reference. 0; -1 (also for a file without bext whose chunks do
    // not lead to its end: an appended one could not be found); -41 when a
    // new bext chunk was appended (with a pad byte first when the file ends
    // at an odd offset).
    [[nodiscard]] int setStartSample(FILE *fp, uint64_t startSample) override;
    // Program: the bext time reference, 0 or -1. Library: 0 and start 0.
    [[nodiscard]] int getStartSample(FILE *fp, uint64_t *startSample) override;
    uint32_t getReserveSize() override;  // kDsdiffReserveSize + cluster size
    // Not offered: -1.
    [[nodiscard]] int searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) override;

    // --- Further operations of the handler -----------------------------

    // The chunk walk from byte 16: header offset of the first chunk with
    // that id and its data size (cut to what the file holds). 0, or -1 with
    // offset 0 and size 0.
    // The walk keeps no state: the tag modules use it without a handler.
    [[nodiscard]] static int gChunk64_searchSpecifiedChunkSize(FILE *fp, const char *id, int64_t *offset,
                                                               int64_t *size);
    [[nodiscard]] static int gChunk64_searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset);
    // True when the 12-byte header's id is id; *size gets its data size.
    static bool gChunk64_checkChunkId(const uint8_t *header, const char *id, uint64_t *size);
    // The "PROP" chunk whose property type is type. 0; -1 when absent or on
    // a read error; -2 with offset 0 when the file ends inside a header.
    [[nodiscard]] int searchPropChunkSize(FILE *fp, const char *type, int64_t *offset, int64_t *size);
    [[nodiscard]] int searchPropChunk(FILE *fp, const char *type, int64_t *offset);
    // Form size: how 0 adds value, 1 subtracts it, any other sets it.
    // 0, or -1 (also when the result would wrap or the form is not "FRM8").
    [[nodiscard]] int updateWavFileSize(FILE *fp, uint64_t value, uint32_t how);
    // Form size = file length - 12. 0, -1, or -17 when the length cannot be
    // read.
    [[nodiscard]] int updateRiffSize(FILE *fp);

    // Header builders; each writes at buf and returns the bytes written.
    static uint32_t createFormatDsdChunk(uint8_t *buf, uint64_t formSize);
    static uint32_t createFormatVerChunk(uint8_t *buf);
    // PROP "SND " with FS, CHNL (channel ids) and CMPR "not compressed".
    static uint32_t createFormatPropChunk(uint8_t *buf, uint32_t rate, uint32_t channels);
    // A "DSD " header of data size n followed by n bytes of 0x96.
    static uint64_t createDsdSoundChunk(uint8_t *buf, uint64_t n);
    // The id of channel index i of a file with the given channel count:
    // "SLFT"/"SRGT" for stereo, else "C" and three upper-case hex digits.
    static void channelId(char out[4], uint32_t index, uint32_t channels);

    // An 870-byte bext chunk (header included) in buf, stamped with the
    // local date and time. Returns kDsdiffBextChunkBytes.
    static uint32_t makeBextChunk(uint8_t *buf, uint32_t rate, uint32_t bits, uint32_t channels,
                                  uint64_t timeReference);

    // Chunk renaming of the mark writer: 0 when done or when there is no such
    // chunk, -1 on an I/O failure.
    [[nodiscard]] int renameChunk(FILE *fp, const char *id, const char *newId);
    [[nodiscard]] int renameChunkAll(FILE *fp, const char *id, const char *newId);  // at most 1000
    [[nodiscard]] int renameLISTChunk(FILE *fp, const char *listType, const char *newId);
    // The "LIST" chunk of that list type: header offset and data size.
    [[nodiscard]] int searchLISTChunkSize(FILE *fp, const char *listType, int64_t *offset, int64_t *size);
    [[nodiscard]] int searchLISTChunk(FILE *fp, const char *listType, int64_t *offset);
    // 0 for "cue ", "plst" and "LIST" of type "adtl"; -42 for any other.
    // header: 16 bytes (id, size, list type).
    static int checkMarkChunkID(const uint8_t *header);
    // The first run of mark chunks followed directly by a JUNK chunk. 0 with
    // *area; -41 when there is none but a chunk with id exists; -42 when
    // neither; -1 when the file cannot be walked.
    [[nodiscard]] int checkMarkChunk(FILE *fp, const char *id, tDsdiffMarkArea *area);
    // Appends chunk (header included, 12 + dataSize bytes) at the end of the
    // file with a pad byte before it when the file length is odd and one
    // behind it when the new length is odd. 0 or -1.
    [[nodiscard]] int saveCueChunkTail(FILE *fp, const uint8_t *chunk, uint64_t dataSize);
    // Appends a zero JUNK chunk of kDsdiffJunkTailBytes in all, padded alike.
    [[nodiscard]] int addJunkChunkTail(FILE *fp);

private:
    static int walk(FILE *fp, const char *id, const char *listType, int64_t *offset, int64_t *size,
                    uint64_t *stored = nullptr);
    int findBext(FILE *fp, uint64_t *offset, uint64_t *dataSize);

    // Marks.
    int saveMarkData(FILE *fp, int existing, int listNo, bool newFile, uint64_t totalSamples);
    uint32_t makeCueChunk(int listNo);                              // whole chunk into mCueBuf; returns the data size
    uint32_t makeLabelChunk(int listNo);                            // into mWork
    uint32_t makePlayListChunk(int listNo, uint64_t totalSamples);  // into mPlstBuf
    int saveOneChunk(FILE *fp, const uint8_t *chunk, uint64_t dataSize, bool firstJunk, const char *id, bool isCue);
    int saveCueChunk(FILE *fp, bool firstJunk, uint64_t dataSize);
    int saveLabelChunk(FILE *fp, bool firstJunk, uint64_t dataSize);
    int savePlayListChunk(FILE *fp, bool firstJunk, uint64_t dataSize);
    int writeIntoJunk(FILE *fp, uint64_t at, uint64_t room, const uint8_t *chunk, uint64_t dataSize);
    bool loadCueChunk(FILE *fp, int listNo, uint64_t totalSamples);
    bool loadLabelChunk(FILE *fp, int listNo);
    bool loadPlayListChunk(FILE *fp, int listNo);

    tAudioFileBuild mBuild;
    // Zero-filled at construction; null when they could not be allocated.
    tAlignedBuffer<uint8_t> mSmall;    // kDsdiffSmallBufBytes
    tAlignedBuffer<uint8_t> mWork;     // kDsdiffWorkBufBytes
    tAlignedBuffer<uint8_t> mCueBuf;   // header + kDsdiffCueDataMax
    tAlignedBuffer<uint8_t> mPlstBuf;  // header + kDsdiffPlstDataMax
};

// Hexadecimal helpers kept with the handler.
uint8_t btoa(uint8_t value);                 // 0-9 '0'-'9', 10-15 'A'-'F', else 0xFF
int atob(uint8_t c);                         // '0'-'?' 0-15, '@'-'F' 9-15, 'a'-'f' 10-15, else -1
void b16toa32(char out[4], uint16_t value);  // four upper-case digits, most significant first
uint32_t a16tob32(uint16_t value);           // 0xFEFEFEFF whatever the value
