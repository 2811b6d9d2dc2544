// The conversion library reaches the format handlers through plain tables of
// function pointers: one table per format with the same operations in a
// fixed slot order, a table of tables indexed by the library's file type
// code, and one dispatcher per operation that checks the code once and jumps
// into the selected table. Everything in the library that touches an audio
// file goes through these dispatchers, so a new format is one more table.
//
// Every slot but getReserveSize and registerTagData takes the caller's open
// FILE* first; the handlers never close it. Results are the handlers' own
// (tAudioFileResult, audiofile/audiofileif.h).
//
// Threads: each table wraps handler objects of the calling thread's own
// (their work buffers are per thread), so jobs on different threads do not
// share a handler. What the handlers themselves share (mark lists, the
// range-copy buffer of vfs_editFile, registered tags) is documented with
// those modules.
#pragma once

#include <cstdint>
#include <cstdio>

#include "audiofile/audiofileif.h"
#include "audiofile/tagrecord.h"
#include "morphex/morphexexport.h"

// The library's name for the tag record handed to slots 16 and 17.
typedef tID3tagInfo tID3tagInfoAFile;

// One format's operations, in slot order. Arguments as AccessAudioFile
// (audiofile/audiofileif.h), plus the two tag slots.
struct tAudioFileHandler {
    int (*checkHeader)(FILE *fp, tRiffStatus *status);                                             // 0
    int (*searchData)(FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes, uint64_t *audioBytes);  // 1
    int (*searchChunk)(FILE *fp, const char *id, uint64_t *offset);                                // 2
    int (*searchFmtChunk)(FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                          uint16_t *formatTag);               // 3
    int (*searchBextChunk)(FILE *fp, uint64_t *startSample);  // 4
    int (*deleteChunk)(FILE *fp, const char *id);             // 5
    // withBext: the library's handlers ignore it (the slot keeps the
    // program's handler signature).
    int (*createHeader)(FILE *fp, const tBwfHdrParam *param, uint32_t withBext);  // 6
    int (*updateDataSize)(FILE *fp, uint64_t audioBytes, uint64_t samples);       // 7
    int (*divide)(FILE *src, FILE *second, FILE *work, uint64_t pos);             // 8
    int (*combine)(FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                   uint32_t fileNo);                                                   // 9
    int (*saveCueData)(FILE *fp, int existing, int listNo, uint64_t totalSamples);     // 10
    int (*saveCueDataNew)(FILE *fp, int existing, int listNo, uint64_t totalSamples);  // 11
    int (*loadCueData)(FILE *fp, uint64_t totalSamples, int listNo);                   // 12
    int (*setStartSample)(FILE *fp, uint64_t startSample);                             // 13
    int (*getStartSample)(FILE *fp, uint64_t *startSample);                            // 14
    uint32_t (*getReserveSize)();                                                      // 15
    // Fills a tag record from the file. 0 or negative.
    int (*loadTagData)(FILE *fp, tID3tagInfoAFile *tag);  // 16
    // Keeps a copy of the record for the next file this format writes.
    int (*registerTagData)(const tID3tagInfoAFile *tag);  // 17
};
enum : int { kAudioFileHandlerSlots = 18 };

// The format tables. Each is defined at the end of its morphex/table*.cpp.
extern MORPHEX_EXPORT const tAudioFileHandler gWAV;  // WAV, BWF, RF64 (also serves FLAC)
extern MORPHEX_EXPORT const tAudioFileHandler gDSF;
extern MORPHEX_EXPORT const tAudioFileHandler gDSDIFF;
extern MORPHEX_EXPORT const tAudioFileHandler gWSD;

// Codes 0..4 of tAudioFileType: gWAV, gWAV, gDSF, gDSDIFF, gWSD.
enum : int { kAudioFileTypeCount = 5 };
extern MORPHEX_EXPORT const tAudioFileHandler *const gAudioFile[kAudioFileTypeCount];

// The table of a type code, or null for a code outside 0..4.
const tAudioFileHandler *audiofile_handler(int type);

// Dispatchers: the file type code first, then the slot's arguments. A code
// outside 0..4 gives -17 (kAudioFileErrFormat) without touching the file;
// audiofile_getReserveSize gives 0 instead.
[[nodiscard]] int audiofile_checkHeader(int type, FILE *fp, tRiffStatus *status);
[[nodiscard]] int audiofile_searchData(int type, FILE *fp, uint64_t *dataOffset, uint64_t *dataBytes,
                                       uint64_t *audioBytes);
[[nodiscard]] int audiofile_searchChunk(int type, FILE *fp, const char *id, uint64_t *offset);
[[nodiscard]] int audiofile_searchFmtChunk(int type, FILE *fp, uint32_t *rate, uint32_t *bits, uint32_t *channels,
                                           uint16_t *formatTag);
[[nodiscard]] int audiofile_searchBextChunk(int type, FILE *fp, uint64_t *startSample);
[[nodiscard]] int audiofile_deleteChunk(int type, FILE *fp, const char *id);
[[nodiscard]] int audiofile_createHeader(int type, FILE *fp, const tBwfHdrParam *param, uint32_t withBext);
[[nodiscard]] int audiofile_updateDataSize(int type, FILE *fp, uint64_t audioBytes, uint64_t samples);
[[nodiscard]] int audiofile_divide(int type, FILE *src, FILE *second, FILE *work, uint64_t pos);
[[nodiscard]] int audiofile_combine(int type, FILE *first, FILE *second, FILE *work, const tBwfHdrParam *param,
                                    uint32_t fileNo);
[[nodiscard]] int audiofile_saveCueData(int type, FILE *fp, int existing, int listNo, uint64_t totalSamples);
[[nodiscard]] int audiofile_saveCueDataNew(int type, FILE *fp, int existing, int listNo, uint64_t totalSamples);
[[nodiscard]] int audiofile_loadCueData(int type, FILE *fp, uint64_t totalSamples, int listNo);
[[nodiscard]] int audiofile_setStartSample(int type, FILE *fp, uint64_t startSample);
[[nodiscard]] int audiofile_getStartSample(int type, FILE *fp, uint64_t *startSample);
uint32_t audiofile_getReserveSize(int type);
// The two tag dispatchers keep their historical spellings.
[[nodiscard]] int audioFIle_loadTagData(int type, FILE *fp, tID3tagInfoAFile *tag);
[[nodiscard]] int audioFile_registerTagData(int type, const tID3tagInfoAFile *tag);

// Writes the extension of a type code with its NUL into out (at least 6
// bytes): 1 ".flac", 2 ".dsf", 3 ".dff", 4 ".wsd", 5 ".aif", 6 ".mp3",
// anything else ".wav".
void audiofile_getFileExtention(unsigned int type, char *out);
