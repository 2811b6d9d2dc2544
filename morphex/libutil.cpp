#include "morphex/libutil.h"

#include <cmath>
#include <cstring>

#include "morphex/morphexapi.h"

const uint32_t gFsTable[kFsTableEntries] = {
    44100,   48000,   88200,    96000,    176400, 192000, 352800, 384000, 705600, 768000, 0, 0, 0, 0, 0, 0,
    2822400, 5644800, 11289600, 22579200, 0,      0,      0,      0,      0,      0,      0, 0, 0, 0, 0, 0,
};

uint64_t calc8byteAlign(uint64_t n) { return (n + 7) & ~static_cast<uint64_t>(7); }

void *calc16byteAlign(void *p) {
    uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<void *>((v + 15) & ~static_cast<uintptr_t>(15));
}

thread_local double *pPanVol = nullptr;

double *getPanVol(int track) {
    if (!pPanVol || track < 0) return nullptr;
    return pPanVol + static_cast<ptrdiff_t>(track) * 4;
}

void init_PanVol() {}
void setPanVol(unsigned int, int *, int *) {}
void calcPanVol() {}

namespace {

int32_t floatToInt32(double x) {
    constexpr double kFull = 2147483647.0;
    double v = x * kFull;
    if (!(v == v)) return 0;  // NaN
    if (v > kFull) v = kFull;
    if (v < -kFull) v = -kFull;
    // The default rounding mode rounds ties to even.
    return static_cast<int32_t>(std::nearbyint(v));
}

}  // namespace

void convertFloatToIntPCM(int32_t *left, int32_t *right, const double *in, unsigned int n, unsigned int total) {
    for (unsigned int i = 0; i < n; ++i) {
        left[i] = floatToInt32(in[2 * i]);
        right[i] = floatToInt32(in[2 * i + 1]);
    }
    for (unsigned int i = n; i < total; ++i) {
        left[i] = 0;
        right[i] = 0;
    }
}

namespace {
const char kEmptyText[] = "";
}

tDeviceVersion DeviceVersion = {
    100, 1, 1, 0, "Dec 19 2024", "00:34:16", kEmptyText, kEmptyText, kEmptyText, kEmptyText, {0, 0},
};

const tVersionInRom VersionInRom = {};

const tDeviceVersion *GetVersionKAVELO() {
    thread_local tDeviceVersion copy;
    copy = DeviceVersion;
    copy.version = kMorphexSoftwareVersion;
    copy.build = kMorphexBuildNumber;
    return &copy;
}

void SetFpgaVersion(char *text) { DeviceVersion.fpgaVersion = text; }
void SetPLDVersion(char *text) { DeviceVersion.pldVersion = text; }

void SetRemoteVersion(uint16_t a, uint16_t b) {
    DeviceVersion.remoteVersion[0] = a;
    DeviceVersion.remoteVersion[1] = b;
}

const tVersionInRom *GetVersionInRom() { return &VersionInRom; }

int nWin32Project1 = 0;

extern "C" {

int fnWin32Project1() { return 42; }

int GetData(int x, uint32_t *out) {
    uint32_t v = static_cast<uint32_t>(x);
    *out = v * v * v;  // 32-bit, wrapping as the exported surface always did
    return 1;
}

}  // extern "C"
