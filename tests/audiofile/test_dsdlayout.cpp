#include "audiofile/dsdlayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

uint8_t rev(uint8_t b) {
    uint8_t r = 0;
    for (int k = 0; k < 8; ++k)
        if (b & (1 << k)) r |= static_cast<uint8_t>(0x80 >> k);
    return r;
}

// A recognisable work stream: byte k of channel c.
std::vector<uint8_t> stream(size_t bytes, int c) {
    std::vector<uint8_t> v(bytes);
    for (size_t k = 0; k < bytes; ++k) v[k] = static_cast<uint8_t>(k * 7 + (k >> 8) * 13 + c * 101);
    return v;
}

// Checks one block of a DSF output: `used` bytes reversed from src, then 0x96.
void expectBlock(const uint8_t *block, const uint8_t *src, size_t used, const char *what) {
    SCOPED_TRACE(what);
    for (size_t k = 0; k < used; ++k) ASSERT_EQ(rev(src[k]), block[k]) << "byte " << k;
    for (size_t k = used; k < kDsfBlockBytes; ++k) ASSERT_EQ(0x96, block[k]) << "byte " << k;
}

TEST(DsdLayout, BitReversalOfEveryByteAtEveryLengthAndAlignment) {
    // Words of eight bytes go through at once and the rest byte by byte:
    // every byte value, every length around the word size, odd addresses.
    std::vector<uint8_t> src(256 + 40);
    for (size_t k = 0; k < src.size(); ++k) src[k] = static_cast<uint8_t>(k * 151 + 7);
    for (size_t at = 0; at < 3; ++at) {
        for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(15), size_t(16), size_t(17),
                         size_t(256), size_t(263)}) {
            std::vector<uint8_t> l(n + 1, 0xEE), r(n + 1, 0xEE);
            ASSERT_EQ(0, dsf2dsd(l.data(), r.data(), src.data() + at, static_cast<uint32_t>(8 * n), 1, 0));
            for (size_t k = 0; k < n; ++k) ASSERT_EQ(rev(src[at + k]), l[k]) << "at " << at << " n " << n << " k " << k;
            EXPECT_EQ(0xEE, l[n]);
        }
    }
}

TEST(DsdLayout, BitOrderAndMonoKnownAnswers) {
    // DSF holds the earliest sample in the LSB, work bytes in the MSB.
    const uint8_t dsf[5] = {0x01, 0x80, 0x02, 0xF0, 0x96};
    const uint8_t work[5] = {0x80, 0x01, 0x40, 0x0F, 0x69};
    uint8_t l[6], r[6];
    std::memset(l, 0xEE, 6);
    std::memset(r, 0xEE, 6);
    ASSERT_EQ(0, dsf2dsd(l, r, dsf, 40, 1, 1234));  // mono ignores the start byte
    EXPECT_EQ(0, std::memcmp(work, l, 5));
    EXPECT_EQ(std::vector<uint8_t>({0x96, 0x96, 0x96, 0x96, 0x96, 0xEE}), std::vector<uint8_t>(r, r + 6));

    // And back: a mono file is a plain run of bytes, the last block unpadded.
    clearDsfOffset();
    uint8_t out[8];
    std::memset(out, 0xEE, sizeof out);
    uint32_t written = 1, valid = 1;
    EXPECT_EQ(40, dsd2dsf(out, work, nullptr, 40, 1, 0, &written, &valid));
    EXPECT_EQ(0, std::memcmp(dsf, out, 5));
    EXPECT_EQ(0xEE, out[5]);
    EXPECT_EQ(40u, written);
    EXPECT_EQ(40u, valid);
    EXPECT_EQ(40, dsd2dsf(out, work, nullptr, 0, 1, 1, &written, &valid));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(0u, valid);
    EXPECT_EQ(0xEE, out[5]);

    // The library's channel byte: bit 7 takes the second (right) stream.
    const uint8_t right[1] = {0x0F};
    ASSERT_LE(0, dsd2dsf(out, work, right, 8, 0x81, 0, &written, &valid));
    EXPECT_EQ(0xF0, out[0]);
}

TEST(DsdLayout, DsfPackerKeepsThePendingBlockAcrossCalls) {
    // Four calls of 10,000 samples per channel: three are kept, the fourth
    // completes one block pair and keeps 7,232 samples (904 bytes) for later.
    const auto l = stream(5000, 0), r = stream(5000, 1);
    std::vector<uint8_t> out(16384, 0xEE);
    uint32_t written = 99, valid = 99;
    clearDsfOffset();
    for (int call = 1; call <= 3; ++call) {
        EXPECT_EQ(10000 * call, dsd2dsf(out.data(), l.data() + 1250 * (call - 1), r.data() + 1250 * (call - 1), 10000,
                                        2, 0, &written, &valid));
        EXPECT_EQ(0u, written);
        EXPECT_EQ(0u, valid);
    }
    EXPECT_EQ(0xEE, out[0]);
    EXPECT_EQ(7232, dsd2dsf(out.data(), l.data() + 3750, r.data() + 3750, 10000, 2, 0, &written, &valid));
    EXPECT_EQ(32768u, written);
    EXPECT_EQ(32768u, valid);
    expectBlock(out.data(), l.data(), 4096, "first pair, channel 1");
    expectBlock(out.data() + 4096, r.data(), 4096, "first pair, channel 2");
    EXPECT_EQ(0xEE, out[8192]);

    // Flush: the pending 904 bytes per channel, padded with 0x96.
    EXPECT_EQ(0, dsd2dsf(out.data(), nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(32768u, written);
    EXPECT_EQ(7232u, valid);
    expectBlock(out.data(), l.data() + 4096, 904, "flushed pair, channel 1");
    expectBlock(out.data() + 4096, r.data() + 4096, 904, "flushed pair, channel 2");

    // A flush with nothing pending writes nothing.
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(0, dsd2dsf(out.data(), nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(0u, valid);
    EXPECT_EQ(0xEE, out[0]);
}

TEST(DsdLayout, DsfPackerBlockBoundaries) {
    const auto l = stream(3 * 4096 + 200, 0), r = stream(3 * 4096 + 200, 1);
    std::vector<uint8_t> out(4 * 8192, 0xEE);
    uint32_t written = 0, valid = 0;

    // 1,000 samples then a flush: one pair, bytes 125..4095 and 4221..8191 idle.
    clearDsfOffset();
    EXPECT_EQ(1000, dsd2dsf(out.data(), l.data(), r.data(), 1000, 2, 0, &written, &valid));
    EXPECT_EQ(0, dsd2dsf(out.data(), nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(32768u, written);
    EXPECT_EQ(1000u, valid);
    expectBlock(out.data(), l.data(), 125, "channel 1");
    expectBlock(out.data() + 4096, r.data(), 125, "channel 2");

    // Exactly one block with nothing pending: written at once, nothing kept.
    std::fill(out.begin(), out.end(), 0xEE);
    EXPECT_EQ(0, dsd2dsf(out.data(), l.data(), r.data(), 32768, 2, 0, &written, &valid));
    EXPECT_EQ(32768u, written);
    EXPECT_EQ(32768u, valid);
    expectBlock(out.data() + 4096, r.data(), 4096, "channel 2");
    EXPECT_EQ(0, dsd2dsf(out.data() + 8192, nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(0xEE, out[8192]);

    // Pending 800 samples, then three more block pairs' worth in one call:
    // every complete pair lands at 8192 * k, the tail stays pending.
    std::fill(out.begin(), out.end(), 0xEE);
    clearDsfOffset();
    EXPECT_EQ(800, dsd2dsf(out.data(), l.data(), r.data(), 800, 2, 0, &written, &valid));
    EXPECT_EQ(800, dsd2dsf(out.data(), l.data() + 100, r.data() + 100, 3 * 32768, 2, 0, &written, &valid));
    EXPECT_EQ(3u * 32768, written);
    EXPECT_EQ(3u * 32768, valid);
    for (int k = 0; k < 3; ++k) {
        expectBlock(out.data() + 8192 * k, l.data() + 4096 * k, 4096, "pair, channel 1");
        expectBlock(out.data() + 8192 * k + 4096, r.data() + 4096 * k, 4096, "pair, channel 2");
    }
    EXPECT_EQ(0xEE, out[3 * 8192]);
    EXPECT_EQ(0, dsd2dsf(out.data(), nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(800u, valid);
    expectBlock(out.data(), l.data() + 3 * 4096, 100, "tail, channel 1");
    expectBlock(out.data() + 4096, r.data() + 3 * 4096, 100, "tail, channel 2");
    clearDsfOffset();
}

TEST(DsdLayout, FlushCallCarryingWholeBlocksStillWritesItsTail) {
    // Callers flush with a count of 0; a flush that brings samples past a
    // block boundary must not leave its tail pending and unwritten.
    const auto l = stream(5000, 0), r = stream(5000, 1);
    std::vector<uint8_t> out(3 * 8192, 0xEE);
    uint32_t written = 0, valid = 0;
    clearDsfOffset();
    EXPECT_EQ(0, dsd2dsf(out.data(), l.data(), r.data(), 40000, 2, 1, &written, &valid));
    EXPECT_EQ(65536u, written);
    EXPECT_EQ(40000u, valid);
    expectBlock(out.data() + 8192, l.data() + 4096, 904, "tail, channel 1");
    expectBlock(out.data() + 12288, r.data() + 4096, 904, "tail, channel 2");
    EXPECT_EQ(0xEE, out[16384]);
    // Nothing is left for a further flush.
    EXPECT_EQ(0, dsd2dsf(out.data(), nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(0u, written);
}

TEST(DsdLayout, ClearDiscardsAnUnfinishedBlock) {
    const auto l = stream(200, 0), r = stream(200, 1);
    std::vector<uint8_t> out(8192, 0xEE);
    uint32_t written = 0, valid = 0;
    clearDsfOffset();
    EXPECT_EQ(800, dsd2dsf(out.data(), l.data(), r.data(), 800, 2, 0, &written, &valid));
    clearDsfOffset();
    EXPECT_EQ(0, dsd2dsf(out.data(), nullptr, nullptr, 0, 2, 1, &written, &valid));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(0xEE, out[0]);
}

TEST(DsdLayout, DsfUnpackerFromAStartInsideABlock) {
    // Two block pairs of DSF data; conversion starts at byte 4000 of the
    // first channel-1 block: 96 bytes from the first pair, 29 from the next.
    std::vector<uint8_t> file(2 * 8192);
    for (size_t k = 0; k < file.size(); ++k) file[k] = static_cast<uint8_t>(k * 31 + (k >> 9));
    std::vector<uint8_t> l(130, 0xEE), r(130, 0xEE);
    ASSERT_EQ(0, dsf2dsd(l.data(), r.data(), file.data() + 4000, 1000, 2, 4000));
    for (int k = 0; k < 96; ++k) {
        ASSERT_EQ(rev(file[4000 + k]), l[k]) << k;
        ASSERT_EQ(rev(file[8096 + k]), r[k]) << k;
    }
    for (int k = 0; k < 29; ++k) {
        ASSERT_EQ(rev(file[8192 + k]), l[96 + k]) << k;
        ASSERT_EQ(rev(file[12288 + k]), r[96 + k]) << k;
    }
    EXPECT_EQ(0xEE, l[125]);
    EXPECT_EQ(0xEE, r[125]);

    // From the block start, across a whole pair, with a partial last byte
    // converted whole.
    std::fill(l.begin(), l.end(), 0xEE);
    std::vector<uint8_t> l2(4200, 0xEE), r2(4200, 0xEE);
    ASSERT_EQ(0, dsf2dsd(l2.data(), r2.data(), file.data(), 32768 + 12, 2, 0));
    EXPECT_EQ(rev(file[4095]), l2[4095]);
    EXPECT_EQ(rev(file[8191]), r2[4095]);
    EXPECT_EQ(rev(file[8193]), l2[4097]);
    EXPECT_EQ(rev(file[12289]), r2[4097]);
    EXPECT_EQ(0xEE, l2[4098]);

    // A start byte outside the block cannot be honoured.
    EXPECT_EQ(kDsdLayoutBadStart, dsf2dsd(l.data(), r.data(), file.data(), 8, 2, 4096));
    EXPECT_EQ(0xEE, l[0]);
    EXPECT_EQ(0, dsf2dsd(l.data(), r.data(), file.data(), 0, 2, 0));
    EXPECT_EQ(0xEE, l[0]);
}

TEST(DsdLayout, DsdiffInterleavingBothWays) {
    const uint8_t file[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    uint8_t l[5], r[5];
    std::memset(l, 0xEE, 5);
    std::memset(r, 0xEE, 5);
    ASSERT_EQ(0, dsdiff2dsd(l, r, file, 32, 2));
    EXPECT_EQ(std::vector<uint8_t>({0x11, 0x33, 0x55, 0x77, 0xEE}), std::vector<uint8_t>(l, l + 5));
    EXPECT_EQ(std::vector<uint8_t>({0x22, 0x44, 0x66, 0x88, 0xEE}), std::vector<uint8_t>(r, r + 5));

    clearDsfOffset();
    uint8_t out[10];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(0, dsd2dsdiff(out, l, r, 32, 2));
    EXPECT_EQ(0, std::memcmp(file, out, 8));
    EXPECT_EQ(0xEE, out[8]);
    // The library's variant takes its output file as well and ignores it.
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(0, dsd2dsdiff(out, l, r, 16, 2, nullptr));
    EXPECT_EQ(0, std::memcmp(file, out, 4));
    EXPECT_EQ(0xEE, out[4]);

    // Mono: copied as is; the second stream becomes idle bytes.
    std::memset(l, 0xEE, 5);
    std::memset(r, 0xEE, 5);
    ASSERT_EQ(0, dsdiff2dsd(l, r, file, 24, 1));
    EXPECT_EQ(std::vector<uint8_t>({0x11, 0x22, 0x33, 0xEE}), std::vector<uint8_t>(l, l + 4));
    EXPECT_EQ(std::vector<uint8_t>({0x96, 0x96, 0x96, 0xEE}), std::vector<uint8_t>(r, r + 4));
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(0, dsd2dsdiff(out, file, file + 4, 16, 1));
    EXPECT_EQ(std::vector<uint8_t>({0x11, 0x22, 0xEE}), std::vector<uint8_t>(out, out + 3));
    EXPECT_EQ(0, dsd2dsdiff(out, file, file + 4, 16, 0x81));
    EXPECT_EQ(std::vector<uint8_t>({0x55, 0x66, 0xEE}), std::vector<uint8_t>(out, out + 3));

    // Fewer than 8 samples per channel convert nothing.
    std::memset(l, 0xEE, 5);
    ASSERT_EQ(0, dsdiff2dsd(l, r, file, 7, 2));
    EXPECT_EQ(0xEE, l[0]);
}

TEST(DsdLayout, BadChannelCountsPrintAndFail) {
    const uint8_t in[16] = {};
    uint8_t a[16], b[16], out[16];
    std::memset(out, 0xEE, sizeof out);
    std::memset(a, 0xEE, sizeof a);
    uint32_t written = 5, valid = 5;
    struct Row {
        uint8_t ch;
        const char *line;
    };
    for (Row row : {Row{0, "ch is not 1 or 2  0\n"}, Row{3, "ch is not 1 or 2  3\n"}}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(kDsdLayoutBadChannels, dsf2dsd(a, b, in, 64, row.ch, 0));
        EXPECT_EQ(kDsdLayoutBadChannels, dsdiff2dsd(a, b, in, 64, row.ch));
        EXPECT_EQ(kDsdLayoutBadChannels, dsd2dsf(out, in, in, 64, row.ch, 0, &written, &valid));
        EXPECT_EQ(kDsdLayoutBadChannels, dsd2dsdiff(out, in, in, 64, row.ch));
        EXPECT_EQ(std::string(row.line) + row.line + row.line + row.line, testing::internal::GetCapturedStdout());
    }
    // The packers print the whole channel byte; the unpackers have no bit 7.
    testing::internal::CaptureStdout();
    EXPECT_EQ(kDsdLayoutBadChannels, dsd2dsf(out, in, in, 64, 0x83, 0, &written, &valid));
    EXPECT_EQ(kDsdLayoutBadChannels, dsf2dsd(a, b, in, 64, 0x81, 0));
    EXPECT_EQ("ch is not 1 or 2  131\nch is not 1 or 2  129\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0xEE, out[0]);
    EXPECT_EQ(0xEE, a[0]);
    EXPECT_EQ(5u, written);
}

}  // namespace
