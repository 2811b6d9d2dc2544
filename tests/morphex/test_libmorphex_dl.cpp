// The shared library as the program sees it: loaded by path at run time,
// entry points resolved by name, and nothing but the listed names exported.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "hdrparam.h"
#include "morphex/audiofiledispatch.h"
#include "morphex/decimfir.h"
#include "morphex/morphexapi.h"
#include "testutil.h"
#include "tools.h"

namespace {

// The test programs live in <build>/tests, the library in <build>/bin.
std::string libraryPath() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path().parent_path() / "bin" / "libmorphex.so.1").string();
}

using sxtest::commandOutput;

const char *const kEntryPoints[] = {
    "morphexert",          "getAudioFileInformation",
    "id3tagInformation",   "combineFiles",
    "getAudioWaveForm",    "analyzeFFTspectrum",
    "analyzeFFTspectrum2", "initAnalyzingFFTparams",
    "decimationDsdData",   "setDecimationFirParam",
    "setMeterFirParam",    "gAudioDecimationFir",
    "fnWin32Project1",     "GetData",
};
const char *const kDataSymbols[] = {
    "gAudioFile",     "gWAV",      "gDSF",         "gDSDIFF",    "gWSD",
    "gFsTable",       "gMarkList", "gQueueCtrl",   "pProgress",  "DeviceVersion",
    "nWin32Project1", "gFont",     "giXMLHandler", "giXML_rdwr", "giXMLControl",
};

class LibMorphex : public ::testing::Test {
protected:
    void SetUp() override {
        handle_ = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (handle_) dlclose(handle_);
    }
    template <typename F>
    F sym(const char *name) {
        void *p = dlsym(handle_, name);
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<F>(p);
    }
    void *handle_ = nullptr;
};

TEST(LibMorphexFile, SonameLinkAndExportedSymbols) {
    const std::string lib = libraryPath();
    ASSERT_TRUE(std::filesystem::exists(lib)) << lib;
    auto link = std::filesystem::path(lib).parent_path() / "libmorphex.so";
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), "libmorphex.so.1");

    std::string dyn = commandOutput("readelf -d '" + lib + "'");
    EXPECT_NE(dyn.find("Library soname: [libmorphex.so.1]"), std::string::npos) << dyn;
    EXPECT_NE(dyn.find("SYMBOLIC"), std::string::npos) << dyn;
    EXPECT_EQ(dyn.find("Qt"), std::string::npos) << "the library links no Qt:\n" << dyn;

    // Every defined dynamic symbol, by name.
    std::string nm = commandOutput("nm -D --defined-only '" + lib + "'");
    ASSERT_FALSE(nm.empty());
    std::set<std::string> defined;
    size_t pos = 0;
    while (pos < nm.size()) {
        size_t end = nm.find('\n', pos);
        if (end == std::string::npos) end = nm.size();
        std::string line = nm.substr(pos, end - pos);
        pos = end + 1;
        size_t sp = line.rfind(' ');
        if (sp != std::string::npos) defined.insert(line.substr(sp + 1));
    }
    std::set<std::string> expected;
    for (const char *n : kEntryPoints) expected.insert(n);
    for (const char *n : kDataSymbols) expected.insert(n);
    for (const auto &n : expected) EXPECT_EQ(defined.count(n), 1u) << n << " is not exported";
    for (const auto &n : defined) {
        EXPECT_NE(n.rfind("_Z", 0), 0u) << "mangled internal symbol exported: " << n;
        EXPECT_EQ(expected.count(n), 1u) << "unexpected export: " << n;
    }
}

TEST_F(LibMorphex, ResolvesEveryEntryPointAndDataSymbol) {
    for (const char *n : kEntryPoints) EXPECT_NE(dlsym(handle_, n), nullptr) << n;
    for (const char *n : kDataSymbols) EXPECT_NE(dlsym(handle_, n), nullptr) << n;
    // Internal names stay out of reach.
    for (const char *n : {"getPanVol", "pPanVol", "convertFloatToIntPCM", "audiofile_checkHeader", "sFFT"})
        EXPECT_EQ(dlsym(handle_, n), nullptr) << n;
}

TEST_F(LibMorphex, SmallEntryPoints) {
    auto getData = sym<int (*)(int, uint32_t *)>("GetData");
    auto fnWin32 = sym<int (*)()>("fnWin32Project1");
    ASSERT_TRUE(getData && fnWin32);
    uint32_t out = 0;
    EXPECT_EQ(getData(3, &out), 1);
    EXPECT_EQ(out, 27u);
    EXPECT_EQ(fnWin32(), 42);
    auto *n = sym<int *>("nWin32Project1");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(*n, 0);
    auto *fs = sym<const uint32_t *>("gFsTable");
    ASSERT_NE(fs, nullptr);
    EXPECT_EQ(fs[0], 44100u);
    EXPECT_EQ(fs[19], 22579200u);
}

TEST_F(LibMorphex, EnginesNotInThisBuildFailWithoutSideEffects) {
    auto morphexert = sym<decltype(&::morphexert)>("morphexert");
    auto info = sym<decltype(&::getAudioFileInformation)>("getAudioFileInformation");
    auto tag = sym<decltype(&::id3tagInformation)>("id3tagInformation");
    auto combine = sym<decltype(&::combineFiles)>("combineFiles");
    auto wave = sym<decltype(&::getAudioWaveForm)>("getAudioWaveForm");
    ASSERT_TRUE(morphexert && info && tag && combine && wave);

    sxtest::TempDir dir;
    auto dst = sxtest::u16(dir.file("out.wav"));
    auto src = sxtest::u16(dir.file("missing.wav"));
    const wchar16 *sources[] = {src.data()};
    tMorphexSendParams send;
    send.bits = 24;
    send.outChannels = 2;
    tMorphexCom com;
    com.command = kMorphexComWriteFile;
    double panVol[4] = {1, 0, 0, 1};
    int two = 2, one = 1;
    EXPECT_EQ(morphexert(dst.data(), sources, nullptr, &send, panVol, &two, &com, nullptr, nullptr, nullptr, nullptr,
                         nullptr),
              kMorphexErrSourceCount);
    // The engine is built: a missing source fails before the destination
    // is opened.
    EXPECT_EQ(morphexert(dst.data(), sources, nullptr, &send, panVol, &one, &com, nullptr, nullptr, nullptr, nullptr,
                         nullptr),
              -1);
    EXPECT_EQ(com.command, static_cast<uint32_t>(kMorphexComWriteFile)) << "no end bit on failure";
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));

    tAudioFileInfoAFile fi;
    EXPECT_LT(info(src.data(), &fi), 0);
    EXPECT_LT(tag(kId3tagLoad, kAudioFileByExtension, src.data(), nullptr), 0);
    tBwfHdrParam hp{};
    int progress = 0;
    EXPECT_LT(combine(0, src.data(), src.data(), src.data(), &hp, &progress), 0);
    EXPECT_LT(wave(src.data(), 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0);
}

TEST_F(LibMorphex, SpectrumThroughTheExports) {
    auto init = sym<int (*)(int, int)>("initAnalyzingFFTparams");
    auto analyze = sym<int (*)(int, int, double *, double *, const double *)>("analyzeFFTspectrum");
    ASSERT_TRUE(init && analyze);
    const int n = 16384;
    ASSERT_EQ(init(n, 48000), 0);
    std::vector<double> in(2 * n), left(n), right(n);
    for (int k = 0; k < n; ++k) {
        double v = std::sin(2 * M_PI * 1000.0 * k / n);
        in[2 * k] = v;
        in[2 * k + 1] = 0.5 * v;
    }
    ASSERT_EQ(analyze(n, 14, left.data(), right.data(), in.data()), 0);
    EXPECT_NEAR(left[1000], 0.0, 1e-6);
    EXPECT_NEAR(left[n - 1000], 0.0, 1e-6);
    EXPECT_NEAR(right[1000], 20 * std::log10(0.5), 1e-6);
    EXPECT_LT(left[3000], -100.0);
}

TEST_F(LibMorphex, FilterExportsForwardToTheDesign) {
    auto setFir = sym<int (*)(int, double *, double, double, double)>("setDecimationFirParam");
    auto fir = sym<int (*)(double *, const double *, const double *, int, const double *, int)>("gAudioDecimationFir");
    auto dsd = sym<int (*)(int, int, int *, int *, int *, int *)>("decimationDsdData");
    ASSERT_TRUE(setFir && fir && dsd);

    // A 255-tap low-pass with its zero tail for 32767 taps; DC gain is the
    // coefficient sum, close to 1 at gain 1.
    const int taps = 255;
    std::vector<double> coef(2 * firDesignEntries(taps, kFirReserveMax), -7.0);
    ASSERT_EQ(setFir(taps, coef.data(), 48000.0, 12000.0, 1.0), 0);
    double sum = 0;
    for (int k = 0; k < taps; ++k) sum += coef[2 * k];
    EXPECT_NEAR(sum, 1.0, 1e-3);
    EXPECT_EQ(coef[2 * (taps + 10)], 0.0) << "the zero tail is written";

    std::vector<double> ones(2 * taps, 1.0);
    double out[2] = {0, 0};
    ASSERT_EQ(fir(out, ones.data(), coef.data(), taps, nullptr, 0), 0);
    EXPECT_NEAR(out[0], sum, 1e-12);
    EXPECT_NEAR(out[1], sum, 1e-12);

    // 0x80 expands to one set bit followed by seven clear ones.
    int leftBits = 0x80, rightBits = 0x7F;
    int l[8], r[8];
    ASSERT_EQ(dsd(8, 0, l, r, &leftBits, &rightBits), 0);
    EXPECT_EQ(l[0], 2147483647);
    EXPECT_EQ(l[1], -2147483647);
    EXPECT_EQ(r[0], -2147483647);
    EXPECT_EQ(r[7], 2147483647);
}

TEST_F(LibMorphex, LibraryKeepsItsOwnCopyOfTheSharedModules) {
    // This program links the file layer itself; the library must use its
    // own copy, so the tables differ in address from the program's.
    auto *libWav = sym<const tAudioFileHandler *>("gWAV");
    auto *libTable = sym<const tAudioFileHandler *const *>("gAudioFile");
    ASSERT_TRUE(libWav && libTable);
    EXPECT_NE(libWav, &gWAV);
    EXPECT_EQ(libTable[0], libWav);
    EXPECT_EQ(libTable[1], libWav) << "FLAC is served by the WAV table";
    EXPECT_NE(sym<void *>("gMarkList"), nullptr);

    // The library's WAV table works on a real file.
    sxtest::TempDir dir;
    std::string path = dir.file("lib.wav");
    FILE *fp = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(fp, nullptr);
    tBwfHdrParam p = sxtest::hdrParam(2, 16, 48000);
    EXPECT_EQ(libWav->createHeader(fp, &p, 0), 0);
    tRiffStatus st = kRiffStatusUnknown;
    EXPECT_EQ(libTable[0]->checkHeader(fp, &st), 0);
    EXPECT_EQ(st, kRiffStatusRIFF);
    std::fclose(fp);
    auto bytes = sxtest::readAll(path);
    ASSERT_GE(bytes.size(), 32768u);
    // The library's build always writes the bext chunk.
    std::string head(bytes.begin(), bytes.begin() + 64);
    EXPECT_NE(head.find("bext"), std::string::npos);
}

}  // namespace
