// The interface every audio file handler implements (WAV/BWF/RF64, DSDIFF,
// DSF, WSD), the records that cross it and the result codes they share.
//
// A caller opens the file itself (vfile.h), creates the handler of the format
// it wants and calls the operations with the open FILE*. A handler keeps no
// file handle between calls, never closes or removes a caller's file, and
// leaves a file as far as it got when an operation fails (nothing is rolled
// back). One handler object is used by one thread at a time; different
// objects may run on different threads, except for what they share (mark
// lists, the range-copy buffer of vfs_editFile).
//
// Chunk ids are passed as 4 characters ("fmt ", "bext"); they need no
// terminator. All sizes and offsets are bytes, 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// File type codes of the file layer and the conversion library.
enum tAudioFileType : int {
    kAudioFileWAV = 0,
    kAudioFileFLAC = 1,
    kAudioFileDSF = 2,
    kAudioFileDSDIFF = 3,
    kAudioFileWSD = 4,
    kAudioFileByExtension = 127,  // decide by the file name's extension
};

// True for the DSD file types: DSF, DSDIFF and WSD.
constexpr bool isDsdFileType(int type) {
    return type == kAudioFileDSF || type == kAudioFileDSDIFF || type == kAudioFileWSD;
}

// What a handler does differently inside the conversion library. Every
// handler takes one at construction and keeps a copy; the program's
// handlers take kAudioFileProgramBuild. The library's tables build theirs
// with `library` set and with the library's own tag code, which the file
// layer cannot reach by itself (morphex/librarybuild.h). The differences
// each handler makes are listed with its class.
struct tAudioFileBuild {
    bool library = false;
    // DSF: writes the tag (texts, marks, album art) behind the audio and
    // reads the marks back, in place of the handler's own smaller writer
    // and loader. Null: the handler's own.
    int (*saveTag)(FILE *fp, int existing, int listNo, uint64_t totalSamples) = nullptr;
    int (*loadMarks)(FILE *fp, uint64_t totalSamples, int listNo) = nullptr;
    // DSDIFF, library build: appends the registered tag behind the marks,
    // before the form size is fixed. Null: nothing is appended.
    int (*tagAfterMarks)(FILE *fp) = nullptr;
};
inline constexpr tAudioFileBuild kAudioFileProgramBuild{};

// Results of every handler operation. The numbers are stored and compared by
// callers across both deliverables: keep them.
enum tAudioFileResult : int {
    kAudioFileOK = 0,
    // Seek, read, write or open failed; a chunk is missing; or the format
    // does not offer the operation.
    kAudioFileErrIO = -1,
    // Not a file of this format, a value out of range, or marks that do not
    // fit.
    kAudioFileErrFormat = -17,
    // setStartSample found no bext chunk and appended a new one. Not a
    // failure: the start time is stored. The mark lists use the same number
    // for "list full".
    kAudioFileBextAppended = -41,
    // A chunk header that is not one of the mark chunks.
    kAudioFileErrNotMarkChunk = -42,
};

// What a header check found.
enum tRiffStatus : int {
    kRiffStatusUnknown = 0,
    kRiffStatusRIFF = 1,  // 32-bit sizes
    kRiffStatusRF64 = 2,  // 64-bit sizes kept in a "ds64" chunk
};

// Parameters for writing a new file header, filled by the caller with every
// other field zero. Passed by pointer and only read. The record crosses from
// the program into the conversion library (its combine entry point), so its
// layout is fixed: 32 bytes, natural alignment.
struct tBwfHdrParam {
    uint16_t channels;       // channel count, 1..
    uint16_t bits;           // bits per sample (1 for DSD)
    uint32_t rate;           // sampling rate in hertz
    uint16_t stereo;         // 1 when the two channels are a stereo pair; callers set (channels != 1)
    uint64_t timeReference;  // start in samples since midnight (WAV bext chunk)
    uint32_t rf64;           // 1: write an RF64 header with a "ds64" chunk
    uint32_t integer32;      // bits >= 32: nonzero writes integer PCM (tag 1), zero IEEE float (tag 3)
};
static_assert(sizeof(tBwfHdrParam) == 32, "tBwfHdrParam layout is shared with the conversion library");
static_assert(offsetof(tBwfHdrParam, timeReference) == 16, "tBwfHdrParam layout");
static_assert(offsetof(tBwfHdrParam, integer32) == 28, "tBwfHdrParam layout");

// The abstract handler. It has no data of its own. The order of the
// operations is the order of the virtual table (the destructor first) and
// matches the slot order of the conversion library's per-format tables.
class AccessAudioFile {
public:
    virtual ~AccessAudioFile() = default;

    // Is this a file of the handler's format? status receives the header
    // kind. 0, or -17 (not this format).
    [[nodiscard]] virtual int checkHeader(FILE *fp, tRiffStatus *status) = 0;

    // Locates the audio: dataOffset is the first byte of audio, dataBytes the
    // audio's length, audioBytes the same for PCM formats. 0 or -1.
    [[nodiscard]] virtual int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) = 0;

    // Offset of the header of the first chunk with that id. 0 or -1.
    [[nodiscard]] virtual int searchChunk(FILE *fp, const char *id, uint64_t *offset) = 0;

    // The stored format: rate in hertz, bits per sample, channels and the
    // format tag (1 integer PCM, 3 IEEE float for WAV). 0 or -1.
    [[nodiscard]] virtual int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                             uint16_t *formatTag) = 0;

    // Start time in samples since midnight. 0 or -1.
    [[nodiscard]] virtual int searchBextChunk(FILE *fp, uint64_t *startSample) = 0;

    // Removes the first chunk with that id. 0 or -1.
    [[nodiscard]] virtual int deleteChunk(FILE *fp, const char *id) = 0;

    // Writes a new header at the start of the file; withBext 1 also writes a
    // bext chunk. The audio then goes behind it (searchData tells where).
    // 0 or -1 (-17 for a parameter the format cannot store).
    [[nodiscard]] virtual int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) = 0;

    // Finalises the sizes at the end of a write: audioBytes of audio, samples
    // per channel. 0, -1 or -17.
    [[nodiscard]] virtual int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) = 0;

    // Splits src at byte pos of its audio: src keeps the first part, second
    // (an empty file open for writing) receives the rest. work is a scratch
    // file open for reading and writing that a header rebuild may use; the
    // caller removes it. 0, -1 or -17.
    [[nodiscard]] virtual int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) = 0;

    // Appends the audio of second to first. param describes the result;
    // fileNo is a format-specific selector. work as for divide. 0, -1 or -17.
    [[nodiscard]] virtual int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                                      uint32_t fileNo) = 0;

    // Writes the marks of mark list listNo. existing < 0 asks to replace the
    // marks of an existing file, >= 0 to use the first free header space.
    // 0, -1 or -17.
    [[nodiscard]] virtual int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) = 0;
    // As saveCueData, always into the first free header space.
    [[nodiscard]] virtual int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) = 0;
    // Replaces mark list listNo by the marks of the file. 0 or -1.
    [[nodiscard]] virtual int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) = 0;

    // Stores the start time (samples since midnight). 0, -1, or -41 when a
    // new bext chunk had to be appended (the start is stored all the same).
    [[nodiscard]] virtual int setStartSample(FILE *fp, uint64_t startSample) = 0;
    // Reads the start time back. 0 or -1.
    [[nodiscard]] virtual int getStartSample(FILE *fp, uint64_t *startSample) = 0;

    // Bytes a header rewrite may need.
    virtual uint32_t getReserveSize() = 0;

    // Offset of the header of the first chunk with that id, by the format's
    // own chunk walk. 0 or -1.
    [[nodiscard]] virtual int searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) = 0;
};
