// The ALSA back end without sound hardware: an empty machine, and devices
// defined by ALSA configuration text in which the file plugin writes what
// reaches ALSA into a file over the null device.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/audiohost/alsabackend.h"
#include "platform/audiohost/audiohost.h"
#include "platform/audiohost/hostconfig.h"
#include "testutil.h"

namespace {

// Real devices only, none added.
void realOnly() {
    alsahost_clearConfiguredDevices();
    tAudioHostConfig c;
    c.mVirtual = false;
    c.mReal = true;
    ASSERT_EQ(audiohost_configure(c), 0);
}

bool machineHasSoundCards() {
    std::ifstream cards("/proc/asound/cards");
    std::string line;
    return cards && std::getline(cards, line) && line.find("no soundcards") == std::string::npos;
}

// Everything written on file descriptors 1 and 2 while `body` runs.
template <class F>
std::string outputOf(F body) {
    std::fflush(stdout);
    std::fflush(stderr);
    char path[] = "/tmp/sxalsa-out-XXXXXX";
    const int fd = mkstemp(path);
    const int saved1 = dup(1), saved2 = dup(2);
    dup2(fd, 1);
    dup2(fd, 2);
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved1, 1);
    dup2(saved2, 2);
    close(saved1);
    close(saved2);
    close(fd);
    const std::vector<uint8_t> bytes = sxtest::readAll(path);
    unlink(path);
    return std::string(bytes.begin(), bytes.end());
}

uint32_t findUid(const char *uid) {
    uint32_t ids[kAudioHostMaxDevices];
    const int n = std::min(audiohost_getDevices(ids, kAudioHostMaxDevices), int(kAudioHostMaxDevices));
    for (int i = 0; i < n; ++i) {
        tAudioHostDeviceInfo info;
        if (audiohost_getDeviceInfo(ids[i], &info) == 0 && std::strcmp(info.mUid, uid) == 0) return ids[i];
    }
    return 0;
}

TEST(AlsaBackend, EmptyMachineListsNothingAndPrintsNothing) {
    // A configured PCM that cannot open (no such card) would make ALSA
    // print its complaints; they must not reach the console.
    const std::string out = outputOf([] {
        realOnly();
        ASSERT_EQ(alsahost_addConfiguredDevice("pcm.sxbroken { type hw card nonesuch device 0 }", "sxbroken", "Broken"),
                  0);
        audiohost_refresh();
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(findUid("lconf:sxbroken"), 0u);
    if (!machineHasSoundCards()) {
        EXPECT_EQ(audiohost_refresh(), 0);
        EXPECT_EQ(audiohost_getDefaultDevice(kAudioHostOutput), 0u);
    }
    EXPECT_EQ(alsahost_addConfiguredDevice("pcm.x { type", "x", "Bad text"), kAudioHostErrUnsupported);
    EXPECT_EQ(alsahost_addConfiguredDevice("pcm.x { type null }", "x", ""), kAudioHostErrUnsupported);
    alsahost_clearConfiguredDevices();
}

// A stream through ALSA's file plugin over the null device: the callback
// writes the DSD stream it is given, the file receives what ALSA was handed.
class AlsaFileDevice : public ::testing::Test {
protected:
    void SetUp() override { addDevice(""); }

    // The file device; with an input file its capture side reads from it.
    void addDevice(const std::string &inputFile) {
        path = dir.file("out.raw");
        std::string text = "pcm.sxfile { type file slave { pcm { type null } } file \"" + path + "\" ";
        if (!inputFile.empty()) text += "infile \"" + inputFile + "\" ";
        text += "format \"raw\" }";
        realOnly();
        ASSERT_EQ(alsahost_addConfiguredDevice(text.c_str(), "sxfile", "File Device"), 0);
        audiohost_refresh();
        id = findUid("lconf:sxfile");
        ASSERT_NE(id, 0u);
    }
    void TearDown() override {
        if (id) (void)audiohost_closeStream(id);
        alsahost_clearConfiguredDevices();
    }

    // Plays until at least `cycles` cycles have been handed to ALSA (the
    // callback of the next one has run), then closes the stream; returns
    // what the file holds. A cycle whose callback ran when the stop came may
    // or may not have been sent.
    std::vector<uint8_t> play(tAudioHostIoProc proc, void *client, const std::atomic<uint64_t> &calls,
                              uint64_t cycles) {
        EXPECT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, proc, client), 0);
        EXPECT_EQ(audiohost_startStream(id), 0);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (calls.load() <= cycles && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(audiohost_closeStream(id), 0);
        return sxtest::readAll(path);
    }

    sxtest::TempDir dir;
    std::string path;
    uint32_t id = 0;
};

// The DSD byte of channel ch at byte position i of the stream.
uint8_t dsdByte(uint64_t i, int ch) {
    uint32_t x = uint32_t(i) * 0x9E3779B1u + uint32_t(ch) * 0x7F4A7C15u;
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    return uint8_t(x >> 24);
}

float containerOf(uint32_t word) { return float(double(int32_t(word)) / 2147483648.0); }

TEST_F(AlsaFileDevice, ListsEveryRateOfTheNullDevice) {
    uint32_t r[kAudioHostMaxRates];
    const int n = audiohost_getRates(id, r, kAudioHostMaxRates);
    EXPECT_EQ(std::vector<uint32_t>(r, r + std::max(n, 0)),
              (std::vector<uint32_t>{44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000,
                                     2822400, 5644800, 11289600, 22579200}));
    tAudioHostDeviceInfo info;
    ASSERT_EQ(audiohost_getDeviceInfo(id, &info), 0);
    EXPECT_STREQ(info.mName, "File Device");
    EXPECT_FALSE(info.mVirtual);
    tAudioHostFormat f;
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
    EXPECT_EQ(f.mDeviceFormat, kDevFmtS32LE);  // the widest
    EXPECT_EQ(f.mChannels, 2);
}

// DoP at 2.8224 MHz: S32_LE words, marker and bytes in the top 24 bits,
// carried in float containers as the engine writes them.
TEST_F(AlsaFileDevice, DopFramesLandBitExactAsS32) {
    ASSERT_EQ(audiohost_setNominalRate(id, 176400), 0);
    tAudioHostFormat f{};
    f.mKind = kAudioHostDop;
    f.mBits = 24;
    f.mChannels = 2;
    f.mBytesPerFrame = 6;
    ASSERT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, f), 0);
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
    EXPECT_EQ(f.mDeviceFormat, kDevFmtS32LE);
    EXPECT_EQ(f.mBits, 32);
    ASSERT_EQ(audiohost_setBufferFrames(id, 960), 0);

    struct Dop {
        std::atomic<uint64_t> calls{0};
        uint64_t frame = 0;  // DoP frames written so far
        static void proc(void *client, const tAudioHostCycle *c) {
            auto *self = static_cast<Dop *>(client);
            float *o = static_cast<float *>(c->mOutput);
            for (uint32_t k = 0; k < c->mOutFrames; ++k, ++self->frame) {
                const uint32_t marker = (self->frame % 2) ? 0xFAu : 0x05u;
                for (int ch = 0; ch < 2; ++ch) {
                    const uint32_t w = marker << 24 | uint32_t(dsdByte(2 * self->frame, ch)) << 16 |
                                       uint32_t(dsdByte(2 * self->frame + 1, ch)) << 8;
                    o[k * 2 + ch] = containerOf(w);
                }
            }
            self->calls.fetch_add(1);
        }
    } dop;
    const std::vector<uint8_t> file = play(Dop::proc, &dop, dop.calls, 20);
    // Everything handed to ALSA, and no more than was called for, lands in
    // the file unchanged.
    ASSERT_GE(file.size(), size_t(20) * 960 * 8);
    ASSERT_LE(file.size(), size_t(dop.calls.load()) * 960 * 8);
    size_t wrong = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        const uint64_t frame = i / 8;
        const int ch = int(i / 4 % 2);
        const uint8_t want[4] = {0x00, dsdByte(2 * frame + 1, ch), dsdByte(2 * frame, ch),
                                 uint8_t((frame % 2) ? 0xFA : 0x05)};
        wrong += file[i] != want[i % 4];
    }
    EXPECT_EQ(wrong, 0u);
}

// Native DSD at 11.2896 MHz: DSD_U32_BE, four bytes per channel in time
// order, from containers that carry two bytes each.
TEST_F(AlsaFileDevice, NativeDsdLandsBitExactAsDsdU32BE) {
    ASSERT_EQ(audiohost_setNominalRate(id, 11289600 / 16), 0);
    tAudioHostFormat f{};
    f.mKind = kAudioHostDsd;
    f.mBits = 16;
    f.mChannels = 2;
    f.mBytesPerFrame = 4;
    ASSERT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, f), 0);
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
    EXPECT_EQ(f.mDeviceFormat, kDevFmtDsdU32BE);
    ASSERT_EQ(audiohost_setBufferFrames(id, 30144), 0);
    ASSERT_EQ(audiohost_setContainer(id, kAudioHostOutput, kAudioHostContainerInt32), 0);

    struct Dsd {
        std::atomic<uint64_t> calls{0};
        uint64_t frame = 0;  // container frames written so far
        static void proc(void *client, const tAudioHostCycle *c) {
            auto *self = static_cast<Dsd *>(client);
            int32_t *o = static_cast<int32_t *>(c->mOutput);
            for (uint32_t k = 0; k < c->mOutFrames; ++k, ++self->frame)
                for (int ch = 0; ch < 2; ++ch)
                    o[k * 2 + ch] = int32_t(uint32_t(dsdByte(2 * self->frame, ch)) << 24 |
                                            uint32_t(dsdByte(2 * self->frame + 1, ch)) << 16);
            self->calls.fetch_add(1);
        }
    } dsd;
    const std::vector<uint8_t> file = play(Dsd::proc, &dsd, dsd.calls, 6);
    // 30144 container frames are 15072 DSD_U32 frames of 8 bytes.
    ASSERT_GE(file.size(), size_t(6) * 30144 * 4);
    ASSERT_LE(file.size(), size_t(dsd.calls.load()) * 30144 * 4);
    size_t wrong = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        const uint64_t alsaFrame = i / 8;
        const int ch = int(i / 4 % 2);
        wrong += file[i] != dsdByte(alsaFrame * 4 + i % 4, ch);
    }
    EXPECT_EQ(wrong, 0u);

    // Half a DSD_U32 frame cannot be sent: an odd cycle does not start.
    ASSERT_EQ(audiohost_setBufferFrames(id, 30143), 0);
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput, Dsd::proc, &dsd), 0);
    EXPECT_EQ(audiohost_startStream(id), kAudioHostErrUnsupported);
}

// The same device held in hog mode: the held handle carries the stream and
// stays open across stop and start, so the file plugin, opened once, holds
// the first run and then the second.
TEST_F(AlsaFileDevice, HeldDeviceStreamsAndStaysHeld) {
    ASSERT_EQ(audiohost_setHog(id, true), 0);
    bool held = false;
    ASSERT_EQ(audiohost_getHog(id, &held), 0);
    EXPECT_TRUE(held);
    ASSERT_EQ(audiohost_setContainer(id, kAudioHostOutput, kAudioHostContainerInt32), 0);
    ASSERT_EQ(audiohost_setBufferFrames(id, 256), 0);
    struct Words {
        std::atomic<uint64_t> calls{0};
        uint32_t next = 0;
        static void proc(void *client, const tAudioHostCycle *c) {
            auto *self = static_cast<Words *>(client);
            uint32_t *o = static_cast<uint32_t *>(c->mOutput);
            for (uint32_t i = 0; i < c->mOutFrames * 2; ++i) o[i] = self->next++ * 0x01010101u;
            self->calls.fetch_add(1);
        }
    };
    size_t firstRunWords = 0;
    for (int run = 0; run < 2; ++run) {
        Words w;
        const std::vector<uint8_t> file = play(Words::proc, &w, w.calls, 4);
        std::vector<uint32_t> got(file.size() / 4);
        std::memcpy(got.data(), file.data(), got.size() * 4);
        // Where this run's words start: at 0, or behind the first run's.
        size_t start = 0;
        if (run == 1) {
            start = firstRunWords;
            while (start < got.size() && got[start] != 0) ++start;
            EXPECT_GE(start, size_t(4) * 256 * 2) << "the first run's words come first";
        }
        ASSERT_GE(got.size() - std::min(start, got.size()), size_t(4) * 256 * 2) << "run " << run;
        size_t wrong = 0;
        for (size_t i = start; i < got.size(); ++i) wrong += got[i] != uint32_t(i - start) * 0x01010101u;
        EXPECT_EQ(wrong, 0u) << "run " << run;
        if (run == 0) firstRunWords = got.size();
        ASSERT_EQ(audiohost_getHog(id, &held), 0);
        EXPECT_TRUE(held);
    }
    ASSERT_EQ(audiohost_setHog(id, false), 0);
}

// Duplex through the capture side of the file plugin: the words of the input
// file reach the callback as the float containers the engine reads, in the
// same cycle as the output it writes.
TEST_F(AlsaFileDevice, CapturedWordsArriveAsFloatContainers) {
    const std::string in = dir.file("in.raw");
    constexpr uint32_t kFrames = 480, kCycles = 6;
    std::vector<uint8_t> words;
    for (uint32_t i = 0; i < kFrames * 2 * (kCycles + 4); ++i) {
        // DoP-shaped words: marker and two bytes, low byte zero, so that a
        // float carries them exactly.
        const uint32_t w =
            (i % 4 < 2 ? 0x05u : 0xFAu) << 24 | uint32_t(dsdByte(i, 0)) << 16 | uint32_t(dsdByte(i, 1)) << 8;
        for (int b = 0; b < 4; ++b) words.push_back(uint8_t(w >> (8 * b)));
    }
    ASSERT_TRUE(sxtest::writeAll(in, words));
    addDevice(in);
    tAudioHostDeviceInfo info;
    ASSERT_EQ(audiohost_getDeviceInfo(id, &info), 0);
    EXPECT_EQ(info.mInChannels, info.mOutChannels);
    tAudioHostFormat f;
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostInput, &f), 0);
    EXPECT_EQ(f.mDeviceFormat, kDevFmtS32LE);
    ASSERT_EQ(audiohost_setBufferFrames(id, kFrames), 0);

    struct Capture {
        std::atomic<uint64_t> calls{0};
        std::vector<float> got;
        static void proc(void *client, const tAudioHostCycle *c) {
            auto *self = static_cast<Capture *>(client);
            EXPECT_EQ(c->mInContainer, kAudioHostContainerFloat32);
            EXPECT_EQ(c->mInFrames, c->mOutFrames);
            const float *x = static_cast<const float *>(c->mInput);
            if (self->calls.load() < kCycles) self->got.insert(self->got.end(), x, x + c->mInFrames * 2);
            self->calls.fetch_add(1);
        }
    } cap;
    ASSERT_EQ(audiohost_openStream(id, kAudioHostStreamOutput | kAudioHostStreamInput, Capture::proc, &cap), 0);
    ASSERT_EQ(audiohost_startStream(id), 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (cap.calls.load() < kCycles && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(audiohost_closeStream(id), 0);
    ASSERT_EQ(cap.got.size(), size_t(kFrames) * 2 * kCycles);
    size_t wrong = 0;
    for (size_t i = 0; i < cap.got.size(); ++i) {
        uint32_t w;
        std::memcpy(&w, &words[4 * i], 4);
        wrong += cap.got[i] != containerOf(w);
    }
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
