// Small helpers of the conversion library: alignment, the running job's pan
// and volume table, the rate table, the version record, and a few exported
// leftovers that nothing in the system calls but that belong to the
// library's exported surface.
#pragma once

#include <cstdint>

#include "morphex/morphexexport.h"

// Output rates in hertz by rate index (0..9 PCM, 16..19 DSD; unused codes 0).
enum : int { kFsTableEntries = 32 };
extern MORPHEX_EXPORT const uint32_t gFsTable[kFsTableEntries];

// (n + 7) rounded down to a multiple of 8: 0 -> 0, 1 -> 8, 8 -> 8.
uint64_t calc8byteAlign(uint64_t n);
// p rounded up to the next multiple of 16 (p itself when aligned).
void *calc16byteAlign(void *p);

// The pan and volume table of the conversion job running on this thread:
// four doubles per track, the 2x2 gain matrix {left to left, left to right,
// right to left, right to right}. Owned by the job's caller; the job sets it
// at its start. It is per thread because a job runs wholly on its caller's
// thread, so two jobs at once (a playback feed beside an export) each see
// their own table.
extern thread_local double *pPanVol;

// The four doubles of that track in pPanVol; null while no table is set or
// for a negative track.
double *getPanVol(int track);

// Do nothing; kept for the exported surface.
void init_PanVol();
void setPanVol(unsigned int track, int *left, int *right);
void calcPanVol();

// For each of the first n frames of a stereo double block: each channel
// times 2147483647.0, clamped to +-2147483647, rounded to the nearest
// integer (ties to even) into left and right. NaN gives 0. Frames n to
// total - 1 of both outputs are set to 0.
void convertFloatToIntPCM(int32_t *left, int32_t *right, const double *in, unsigned int n, unsigned int total);

// The writable version record. The text pointers never own their texts.
struct tDeviceVersion {
    uint16_t version;  // software version x 100
    uint16_t build;    // build number
    uint16_t word2;
    uint16_t word3;
    const char *buildDate;  // "Dec 19 2024"
    const char *buildTime;  // "00:34:16"
    const char *fpgaVersion;
    const char *text1;
    const char *text2;
    const char *pldVersion;
    uint16_t remoteVersion[2];
};
extern MORPHEX_EXPORT tDeviceVersion DeviceVersion;

// 16 constant bytes.
struct tVersionInRom {
    uint8_t bytes[16];
};
extern const tVersionInRom VersionInRom;

enum : uint16_t {
    kMorphexSoftwareVersion = 110,  // 1.10
    kMorphexBuildNumber = 96,
};

// A copy of DeviceVersion with the software version (110) and build number
// (96) in its first two words. The copy is the calling thread's own, so two
// jobs reading it at once do not race.
const tDeviceVersion *GetVersionKAVELO();

void SetFpgaVersion(char *text);  // stores the pointer
void SetPLDVersion(char *text);   // stores the pointer
void SetRemoteVersion(uint16_t a, uint16_t b);
const tVersionInRom *GetVersionInRom();

extern MORPHEX_EXPORT int nWin32Project1;  // 0
