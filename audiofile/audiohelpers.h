// Shared audio helpers: rate, word-length, channel and file-type texts, the
// rate index that drives conversion jobs, the tag record, aligned work
// buffers, a millisecond sleep and the noise register's step. Stateless; any
// thread may call them.
#pragma once

#include <cstdint>
#include <string>

#include "audiofile/wstring.h"

// File type codes of the file layer and the conversion library.
enum tAudioFileType : int {
    kAudioFileWAV = 0,
    kAudioFileFLAC = 1,
    kAudioFileDSF = 2,
    kAudioFileDSDIFF = 3,
    kAudioFileWSD = 4,
    kAudioFileByExtension = 127,  // decide by the file name's extension
};

// Rate index: 0..9 PCM rates 44.1 kHz..768 kHz, 16..19 DSD rates
// 2.8224 MHz..22.5792 MHz; 10..15 are unused. The conversion library indexes
// its own 32-entry rate table with the same codes.
enum : int {
    kFsIdx44100 = 0, kFsIdx48000 = 1, kFsIdx88200 = 2, kFsIdx96000 = 3,
    kFsIdx176400 = 4, kFsIdx192000 = 5, kFsIdx352800 = 6, kFsIdx384000 = 7,
    kFsIdx705600 = 8, kFsIdx768000 = 9,
    kFsIdxDsd64 = 16, kFsIdxDsd128 = 17, kFsIdxDsd256 = 18, kFsIdxDsd512 = 19,
};

// Capacities (in 16-bit units, terminator included) of the text buffers that
// the creators of a tag record allocate.
enum : int {
    kTagTextUnits = 256,     // title, artist, album, genre, picture path
    kTagCommentUnits = 512,  // comment
};

// The tag record. It does not own its texts: whoever creates a record also
// creates its six buffers (see the capacities above) and keeps them for the
// record's life; writers copy at most capacity - 1 units and terminate.
struct tID3tagInfo {
    int32_t trackNo;        // 0 when not set
    int32_t totalTracks;    // left alone by gInitTagInfo
    wchar16 *title;
    wchar16 *artist;
    wchar16 *album;
    int32_t year;           // -1 when not set
    int32_t month;          // 1..12, 0 when not set
    int32_t day;            // 1..31, 0 when not set
    int32_t hour;           // -1 when not set
    int32_t minute;         // -1 when not set
    wchar16 *comment;
    wchar16 *genre;
    wchar16 *picturePath;   // file holding the album art as a whole PNG/JPEG
    uint8_t hasPicture;     // 1 when the picture file holds the album art
    int32_t second;         // -1 when not set
    int32_t frame;          // frame of the start timecode, -1 when not set
    uint64_t startSample;   // start timecode as a sample position
};

// Texts for the windows.
std::string getFreqTextFromRawValue(int rateHz);
std::string getCurrentFreqText(int rateHz);
std::string getFileTypeStringFromParam(int fileType);
std::string getChStringFromParam(int channels);
std::string getBitStringFromParam(int bits);

// Parsing of combo-box texts (case-sensitive, whole text).
int getSampleRateFromCombobox(const std::string &text);  // unknown and "AUTO": 48000
int getRecFormatFromCombobox(const std::string &text);   // 0 WAV, 1 DSDIFF, 2 DSF

// Rate index of a rate in hertz; 48000 and every unknown rate give 1.
int getFreqIndexFromFsValue(int rateHz);
// Rate in hertz of a rate index, 0 for an unused code. The inverse of the above.
int getFsValueFromFreqIndex(int index);

// Resets a tag record to "nothing set"; total tracks, the picture path and
// the start sample stay, and the text buffers are kept (emptied).
void gInitTagInfo(tID3tagInfo *tag);

// Aligned work buffers. alignment is a power of two; the allocator's own
// pointer sits in the 8 bytes in front of the returned block, so a block must
// go back through _aligned_free and never straight to free().
void *_aligned_malloc(uint64_t size, uint64_t alignment);
// The same, zero-filled. Large blocks come zeroed from the system, so pages
// that are never written are never touched (overview buffers of tens of
// megabytes that fill as a computation runs).
void *_aligned_calloc(uint64_t size, uint64_t alignment);
void _aligned_free(void *block);  // null is accepted

// Suspends the calling thread for ms milliseconds (waits of a second and
// more are honoured).
void waitThread(int ms);

// One step of the 32-bit noise register that the dither, the noise source
// and the test-signal generator share: a right shift whose new top bit is
// bits 0, 1, 21 and 31 exclusive-or'd (taps 32, 22, 2, 1, a maximal-length
// register: period 2^32 - 1 for a nonzero state).
inline uint32_t lfsr32Step(uint32_t s) {
    const uint32_t fb = (s ^ (s >> 1) ^ (s >> 21) ^ (s >> 31)) & 1u;
    return (s >> 1) | (fb << 31);
}
