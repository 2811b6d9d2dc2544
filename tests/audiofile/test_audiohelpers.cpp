#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "audiofile/audiohelpers.h"

TEST(AudioHelpers, RateTexts) {
    struct Row { int hz; const char *raw, *combo; } rows[] = {
        {44100, "44.1kHz", "44.1kHz"},   {48000, "48kHz", "48kHz"},
        {352800, "352.8kHz", "352.8kHz"}, {768000, "768kHz", "768kHz"},
        {2822400, "2.8MHz", "2.8MHz"},   {22579200, "22.5MHz", "22.5MHz"},
        {32000, "32kHz", ""},            {22050, "22kHz", ""},
        {-1500, "-1kHz", ""},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(getFreqTextFromRawValue(r.hz), r.raw) << r.hz;
        EXPECT_EQ(getCurrentFreqText(r.hz), r.combo) << r.hz;
    }
}

TEST(AudioHelpers, TypeChannelAndWordLengthTexts) {
    EXPECT_EQ(getFileTypeStringFromParam(0), "WAV(PCM)");
    EXPECT_EQ(getFileTypeStringFromParam(1), "FLAC(PCM)");
    EXPECT_EQ(getFileTypeStringFromParam(2), "DSF(DSD)");
    EXPECT_EQ(getFileTypeStringFromParam(3), "DSDIFF(DSD)");
    EXPECT_EQ(getFileTypeStringFromParam(4), "WSD(1bit)");
    EXPECT_EQ(getFileTypeStringFromParam(5), "");
    EXPECT_EQ(getFileTypeStringFromParam(-1), "");
    EXPECT_EQ(getChStringFromParam(1), "MONO");
    EXPECT_EQ(getChStringFromParam(2), "STEREO");
    EXPECT_EQ(getChStringFromParam(6), "6Channels");
    EXPECT_EQ(getBitStringFromParam(1), "1bit");
    EXPECT_EQ(getBitStringFromParam(24), "24bit");
    EXPECT_EQ(getBitStringFromParam(64), "64bit");
    EXPECT_EQ(getBitStringFromParam(8), "8bits");
}

TEST(AudioHelpers, ParsingAndRateIndex) {
    EXPECT_EQ(getSampleRateFromCombobox("AUTO"), 48000);
    EXPECT_EQ(getSampleRateFromCombobox("44.1kHz"), 44100);
    EXPECT_EQ(getSampleRateFromCombobox("44.1KHz"), 48000);  // case-sensitive
    EXPECT_EQ(getSampleRateFromCombobox("11.2MHz"), 11289600);
    EXPECT_EQ(getSampleRateFromCombobox("44.1kHz "), 48000);  // whole text
    EXPECT_EQ(getRecFormatFromCombobox("DSDIFF(DSD)"), 1);
    EXPECT_EQ(getRecFormatFromCombobox("DSF(DSD)"), 2);
    EXPECT_EQ(getRecFormatFromCombobox("WAV(PCM)"), 0);

    // The rate index is not the file layer's rate code: DSD sits at 16..19
    // and unknown rates give 1.
    struct Row { int hz, index; } rows[] = {
        {44100, 0}, {48000, 1}, {12345, 1}, {88200, 2}, {96000, 3}, {176400, 4},
        {192000, 5}, {352800, 6}, {384000, 7}, {705600, 8}, {768000, 9},
        {2822400, 16}, {5644800, 17}, {11289600, 18}, {22579200, 19}};
    for (const Row &r : rows) {
        EXPECT_EQ(getFreqIndexFromFsValue(r.hz), r.index) << r.hz;
        if (r.hz != 12345) {
            EXPECT_EQ(getFsValueFromFreqIndex(r.index), r.hz);
        }
    }
    EXPECT_EQ(getFsValueFromFreqIndex(12), 0);
}

TEST(AudioHelpers, InitTagInfoKeepsTotalsPictureAndStart) {
    wchar16 title[kTagTextUnits] = {'T', 0}, artist[kTagTextUnits] = {'A', 0},
            album[kTagTextUnits] = {'B', 0}, genre[kTagTextUnits] = {'G', 0},
            picture[kTagTextUnits] = {'P', 0}, comment[kTagCommentUnits] = {'C', 0};
    tID3tagInfo tag{};
    tag.title = title; tag.artist = artist; tag.album = album;
    tag.genre = genre; tag.picturePath = picture; tag.comment = comment;
    tag.trackNo = 3; tag.totalTracks = 12; tag.year = 2024; tag.month = 5; tag.day = 6;
    tag.hour = 7; tag.minute = 8; tag.second = 9; tag.frame = 10;
    tag.hasPicture = 1; tag.startSample = 123456789;

    gInitTagInfo(&tag);
    EXPECT_EQ(title[0], 0);
    EXPECT_EQ(artist[0], 0);
    EXPECT_EQ(album[0], 0);
    EXPECT_EQ(genre[0], 0);
    EXPECT_EQ(comment[0], 0);
    EXPECT_EQ(picture[0], 'P');
    EXPECT_EQ(tag.title, title);
    EXPECT_EQ(tag.trackNo, 0);
    EXPECT_EQ(tag.totalTracks, 12);
    EXPECT_EQ(tag.year, -1);
    EXPECT_EQ(tag.month, 0);
    EXPECT_EQ(tag.day, 0);
    EXPECT_EQ(tag.hour, -1);
    EXPECT_EQ(tag.minute, -1);
    EXPECT_EQ(tag.second, -1);
    EXPECT_EQ(tag.frame, -1);
    EXPECT_EQ(tag.hasPicture, 0);
    EXPECT_EQ(tag.startSample, 123456789u);
}

TEST(AudioHelpers, AlignedAllocation) {
    for (uint64_t align : {1u, 4u, 8u, 16u, 32u, 4096u}) {
        for (uint64_t size : {0u, 1u, 7u, 4096u}) {
            void *p = _aligned_malloc(size, align);
            ASSERT_NE(p, nullptr);
            uintptr_t a = reinterpret_cast<uintptr_t>(p);
            EXPECT_EQ(a % align, 0u) << align;
            // The allocator's own pointer sits in front of the block.
            uintptr_t raw;
            std::memcpy(&raw, reinterpret_cast<char *>(p) - 8, sizeof raw);
            EXPECT_GE(a, raw + 8);
            EXPECT_LT(a, raw + 8 + align);
            if (align == 1) {
                EXPECT_EQ(a, raw + 8);
            }
            std::memset(p, 0xAB, size);  // the whole block is usable
            _aligned_free(p);
        }
    }
    _aligned_free(nullptr);
    EXPECT_EQ(_aligned_malloc(UINT64_MAX - 4, 16), nullptr);
}

TEST(AudioHelpers, ZeroedAlignedAllocation) {
    // Small blocks come from reused heap memory, large ones straight from
    // the system: both must read as zero and go back through _aligned_free.
    for (uint64_t size : {uint64_t{24}, uint64_t{4096}, uint64_t{3} << 20}) {
        void *dirty = _aligned_malloc(size, 16);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xAB, size);
        _aligned_free(dirty);
        auto *p = static_cast<uint8_t *>(_aligned_calloc(size, 16));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        uint64_t nonZero = 0;
        for (uint64_t i = 0; i < size; ++i) nonZero += p[i] != 0;
        EXPECT_EQ(nonZero, 0u) << size;
        _aligned_free(p);
    }
    EXPECT_EQ(_aligned_calloc(UINT64_MAX - 4, 16), nullptr);
}

TEST(AudioHelpers, WaitThreadHonoursSecondsAndZero) {
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    waitThread(0);
    EXPECT_LT(std::chrono::duration<double>(clock::now() - t0).count(), 0.05);
    t0 = clock::now();
    waitThread(1100);
    double s = std::chrono::duration<double>(clock::now() - t0).count();
    EXPECT_GE(s, 1.09);
    EXPECT_LT(s, 3.0);
}
