// The program's audio helpers: rate, word-length, channel and file-type
// texts for the windows, the rate index that the program hands to
// conversion jobs, and a millisecond sleep. Stateless; any thread may call
// them. The conversion library does not use this module.
//
// For the program's code this header also brings in the basics it has
// always offered: the aligned allocator, the noise register, the 16-bit
// strings, the tag record and the file type codes.
#pragma once

#include <cstdint>
#include <string>

#include "audiofile/audiofileif.h"  // tAudioFileType
#include "audiofile/tagrecord.h"
#include "base/alignedalloc.h"
#include "base/noisereg.h"
#include "base/wstring.h"

// Rate index: 0..9 PCM rates 44.1 kHz..768 kHz, 16..19 DSD rates
// 2.8224 MHz..22.5792 MHz; 10..15 are unused. The conversion library indexes
// its own 32-entry rate table with the same codes.
enum : int {
    kFsIdx44100 = 0,
    kFsIdx48000 = 1,
    kFsIdx88200 = 2,
    kFsIdx96000 = 3,
    kFsIdx176400 = 4,
    kFsIdx192000 = 5,
    kFsIdx352800 = 6,
    kFsIdx384000 = 7,
    kFsIdx705600 = 8,
    kFsIdx768000 = 9,
    kFsIdxDsd64 = 16,
    kFsIdxDsd128 = 17,
    kFsIdxDsd256 = 18,
    kFsIdxDsd512 = 19,
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

// Suspends the calling thread for ms milliseconds (waits of a second and
// more are honoured).
void waitThread(int ms);
