#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "audiofile/audiohelpers.h"
#include "morphex/libutil.h"
#include "morphex/morphexapi.h"

namespace {

TEST(LibUtil, Alignment) {
    struct Case {
        uint64_t in, out;
    };
    for (const Case &c :
         {Case{0, 0}, Case{1, 8}, Case{7, 8}, Case{8, 8}, Case{9, 16}, Case{0xFFFFFFFFull, 0x100000000ull}}) {
        EXPECT_EQ(calc8byteAlign(c.in), c.out) << c.in;
    }
    alignas(16) static char buf[64];
    EXPECT_EQ(calc16byteAlign(buf), buf);
    EXPECT_EQ(calc16byteAlign(buf + 1), buf + 16);
    EXPECT_EQ(calc16byteAlign(buf + 15), buf + 16);
    EXPECT_EQ(calc16byteAlign(buf + 16), buf + 16);
}

TEST(LibUtil, PanVolIsTheRunningJobsTablePerThread) {
    double table[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    pPanVol = nullptr;
    EXPECT_EQ(getPanVol(0), nullptr);
    pPanVol = table;
    EXPECT_EQ(getPanVol(0), &table[0]);
    EXPECT_EQ(getPanVol(1), &table[4]);
    EXPECT_EQ(*getPanVol(2), 9.0);
    EXPECT_EQ(getPanVol(-1), nullptr);

    // A job on another thread sets its own table without disturbing this one.
    double other[4] = {0.5, 0, 0, 0.5};
    double *seen = &table[0];
    std::thread t([&] {
        seen = getPanVol(0);  // nothing set on this thread yet
        pPanVol = other;
    });
    t.join();
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(getPanVol(0), &table[0]);
    pPanVol = nullptr;
}

TEST(LibUtil, ConvertFloatToIntPCM) {
    struct Case {
        double in;
        int32_t out;
    };
    const Case cases[] = {
        {0.5, 1073741824},  // 1073741823.5 ties to even
        {-0.5, -1073741824},
        {1.0, 2147483647},
        {1.5, 2147483647},  // clamped
        {-1.0, -2147483647},
        {-3.0, -2147483647},
        {0.0, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::numeric_limits<double>::infinity(), 2147483647},
    };
    const unsigned n = sizeof cases / sizeof cases[0];
    const unsigned total = n + 3;
    std::vector<double> in(2 * n);
    for (unsigned i = 0; i < n; ++i) {
        in[2 * i] = cases[i].in;
        in[2 * i + 1] = -cases[i].in;
    }
    std::vector<int32_t> left(total, 99), right(total, 99);
    convertFloatToIntPCM(left.data(), right.data(), in.data(), n, total);
    for (unsigned i = 0; i < n; ++i) {
        EXPECT_EQ(left[i], cases[i].out) << cases[i].in;
        int32_t neg = std::isnan(cases[i].in) ? 0 : -cases[i].out;
        EXPECT_EQ(right[i], neg) << -cases[i].in;
    }
    for (unsigned i = n; i < total; ++i) {
        EXPECT_EQ(left[i], 0);
        EXPECT_EQ(right[i], 0);
    }
}

TEST(LibUtil, RateTableMatchesTheRateIndex) {
    for (int i = 0; i < kFsTableEntries; ++i) {
        EXPECT_EQ(gFsTable[i], static_cast<uint32_t>(getFsValueFromFreqIndex(i))) << i;
    }
    EXPECT_EQ(gFsTable[kFsIdx44100], 44100u);
    EXPECT_EQ(gFsTable[kFsIdx768000], 768000u);
    EXPECT_EQ(gFsTable[kFsIdxDsd64], 2822400u);
    EXPECT_EQ(gFsTable[kFsIdxDsd512], 22579200u);
}

TEST(LibUtil, VersionRecords) {
    EXPECT_EQ(DeviceVersion.version, 100);
    EXPECT_EQ(DeviceVersion.build, 1);
    EXPECT_STREQ(DeviceVersion.buildDate, "Dec 19 2024");
    EXPECT_STREQ(DeviceVersion.buildTime, "00:34:16");
    EXPECT_STREQ(DeviceVersion.fpgaVersion, "");

    char fpga[] = "F1", pld[] = "P2";
    SetFpgaVersion(fpga);
    SetPLDVersion(pld);
    SetRemoteVersion(7, 9);
    const tDeviceVersion *v = GetVersionKAVELO();
    EXPECT_EQ(v->version, 110);
    EXPECT_EQ(v->build, 96);
    EXPECT_EQ(v->word2, 1);
    EXPECT_EQ(v->fpgaVersion, fpga);
    EXPECT_EQ(v->pldVersion, pld);
    EXPECT_EQ(v->remoteVersion[0], 7);
    EXPECT_EQ(v->remoteVersion[1], 9);
    EXPECT_EQ(DeviceVersion.version, 100) << "the record itself keeps its words";
    EXPECT_EQ(GetVersionInRom(), &VersionInRom);
    static_assert(sizeof(tVersionInRom) == 16, "16 bytes");
    SetFpgaVersion(const_cast<char *>(""));
    SetPLDVersion(const_cast<char *>(""));
    SetRemoteVersion(0, 0);
}

TEST(LibUtil, LeftoversOfTheExportedSurface) {
    uint32_t out = 0;
    EXPECT_EQ(GetData(3, &out), 1);
    EXPECT_EQ(out, 27u);
    EXPECT_EQ(GetData(-2, &out), 1);
    EXPECT_EQ(static_cast<int32_t>(out), -8);
    EXPECT_EQ(GetData(2000, &out), 1);  // wraps at 32 bits
    EXPECT_EQ(out, static_cast<uint32_t>(8000000000ull));
    EXPECT_EQ(fnWin32Project1(), 42);
    EXPECT_EQ(nWin32Project1, 0);
    int a = 1, b = 2;
    init_PanVol();
    setPanVol(0, &a, &b);
    calcPanVol();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}

}  // namespace
