// WSD files: a 1-bit (DSD) format with a fixed 2048-byte header whose
// numbers are big-endian, followed by the audio.
//
// Header fields used here (file offsets):
//   0   "1bit"
//   8   version byte (0x11 in files written here)
//   12  file size, low 32 bits; 16: high 32 bits
//   20  offset of the text area (0 or 0xFFFFFFFF: byte 128)
//   32  play time: 0, seconds, minutes, hours as BCD (library build)
//   36  sampling rate in hertz
//   44  channel count
//   72  start time in samples, low 32 bits; 76: high 32 bits
//   128 text area (1760 bytes of title, artist, album, genre, date, comment)
//   2048 audio
//
// In the program the handler only reads (the channel split job reads WSD
// sources). The conversion library's build also writes a header and its
// sizes and reads the text area as a tag (tAudioFileBuild::library).
#pragma once

#include <cstdint>
#include <cstdio>

#include "audiofile/audiofileif.h"
#include "audiofile/tagrecord.h"

enum : uint32_t {
    kWsdHeaderBytes = 2048,     // audio starts here
    kWsdMemHeaderBytes = 4096,  // the handler's in-memory header
    kWsdReadProgram = 88,       // header bytes each operation reads
    kWsdReadLibrary = 128,
    kWsdTextAreaDefault = 128,
    kWsdTextAreaBytes = 1760,
};

// Offsets in the header.
enum : uint32_t {
    kWsdFileSizeLow = 12,
    kWsdFileSizeHigh = 16,
    kWsdTextOffset = 20,
    kWsdPlayTime = 32,
    kWsdRate = 36,
    kWsdChannels = 44,
    kWsdStartLow = 72,
    kWsdStartHigh = 76,
    kWsdStartMemory = 80,  // u64 in host order: the start kept in memory
};

// Fields of the text area (offsets in it) and the units each is cut to.
enum : uint32_t {
    kWsdTextTitle = 0,
    kWsdTextArtist = 384,
    kWsdTextAlbum = 512,
    kWsdTextGenre = 640,
    kWsdTextDate = 672,  // "YYYYMMDDhhmmss"
    kWsdTextComment = 736,
    kWsdTitleUnits = 124,  // title, artist and album
    kWsdGenreUnits = 24,
    kWsdCommentUnits = 508,
};

// The two builds (tAudioFileBuild::library):
//  - program: reads 88 header bytes; createHeader, updateDataSize and
//    setStartSample only change the in-memory header; getStartSample gives
//    the start kept there.
//  - library: reads 128 bytes; searchFmtChunk remembers the rate;
//    createHeader writes the 2048-byte header; updateDataSize writes the
//    file size and the play time; getStartSample reads bytes 80..87 of the
//    file's header.

class gClass_WsdFile : public AccessAudioFile {
public:
    explicit gClass_WsdFile(const tAudioFileBuild &build = kAudioFileProgramBuild);
    ~gClass_WsdFile() override;
    gClass_WsdFile(const gClass_WsdFile &) = delete;
    gClass_WsdFile &operator=(const gClass_WsdFile &) = delete;

    // status 1. 0 for a file that begins with "1bit" and holds its
    // 2048-byte header, by its length and by its size field; else -17.
    [[nodiscard]] int checkHeader(FILE *fp, tRiffStatus *status) override;
    // Offset 2048; data bytes = audio bytes = the size field, cut to the
    // file's length, less 2048. -1 when the header cannot be read or the
    // size is below the header (sizes 0).
    [[nodiscard]] int searchData(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes) override;
    [[nodiscard]] int searchChunk(FILE *fp, const char *id, uint64_t *offset) override;  // 2048, 0
    // rate from byte 36, bits 1, channels from byte 44, format tag 0.
    [[nodiscard]] int searchFmtChunk(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                     uint16_t *formatTag) override;
    // The start time at bytes 72..79.
    [[nodiscard]] int searchBextChunk(FILE *fp, uint64_t *startSample) override;
    [[nodiscard]] int deleteChunk(FILE *fp, const char *id) override;  // -1
    // Program: fills the in-memory header, writes nothing. Library: writes
    // the 2048-byte header at 0. -17 for no channels, more than 255, or a
    // rate of 0. withBext is ignored (the handlers share one signature).
    [[nodiscard]] int createHeader(FILE *fp, const tBwfHdrParam *param, uint32_t withBext) override;
    // Program: keeps the size in memory. Library: file size = audioBytes +
    // 2048 at bytes 12..19 and the play time samples / rate at 32..35 of the
    // file's header. 0, -1 on I/O failure, -17 for a size that cannot be
    // stored.
    [[nodiscard]] int updateDataSize(FILE *fp, uint64_t audioBytes, uint64_t samples) override;
    [[nodiscard]] int divide(FILE *src, FILE *second, FILE *work, uint64_t pos) override;  // -1
    [[nodiscard]] int combine(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                              uint32_t fileNo) override;                                                   // -1
    [[nodiscard]] int saveCueData(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;     // -1
    [[nodiscard]] int saveCueDataNew(FILE *fp, int existing, int listNo, uint64_t totalSamples) override;  // -1
    [[nodiscard]] int loadCueData(FILE *fp, uint64_t totalSamples, int listNo) override;                   // nothing, 0
    // Keeps the start in memory; 0.
    [[nodiscard]] int setStartSample(FILE *fp, uint64_t startSample) override;
    // Program: the start kept in memory (0 until one is kept). Library: the
    // 64-bit value at bytes 80..87 of the file's header. 0 or -1.
    [[nodiscard]] int getStartSample(FILE *fp, uint64_t *startSample) override;
    uint32_t getReserveSize() override;                                                           // 0
    [[nodiscard]] int searchSpecifiedChunk(FILE *fp, const char *id, uint64_t *offset) override;  // -1

    // The in-memory header (kWsdMemHeaderBytes).
    const uint8_t *memHeader() const { return mHead; }

private:
    int readHead(FILE *fp, uint8_t *buf);  // the first 88 or 128 bytes; 0 or -1
    uint32_t headBytes() const { return mBuild.library ? kWsdReadLibrary : kWsdReadProgram; }

    tAudioFileBuild mBuild;
    uint8_t *mHead = nullptr;  // kWsdMemHeaderBytes, zero-filled; null when it could not be allocated
    uint32_t mRate = 0;        // library: remembered by searchFmtChunk and createHeader
};

// The library's tag table entries of WSD files. loadTagData fills tag's
// title, artist, album, genre and comment (caller-owned buffers of the
// capacities audiohelpers.h names) and its date and time from the header's
// text area; fields whose digits are not digits are set to "not set". The
// track number, total tracks and picture fields are not touched. 0 or -1.
[[nodiscard]] int wsd_loadTagData(FILE *fp, tID3tagInfo *tag);
// No tags are written into WSD files: -17.
[[nodiscard]] int wsd_registerTagData(const tID3tagInfo *tag);
