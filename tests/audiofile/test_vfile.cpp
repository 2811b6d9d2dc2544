#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>
#include <vector>

#include "audiofile/vfile.h"
#include "testutil.h"

using sxtest::TempDir;
using sxtest::u16;

namespace {

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
    return v;
}

FILE *openPath(const std::string &path, const char *mode) {
    FILE *fp = nullptr;
    auto w = u16(path);
    EXPECT_EQ(v_open(&fp, w.data(), mode), 0) << path;
    return fp;
}

}  // namespace

TEST(VFile, OpenMissingFileGivesErrnoAndNullHandle) {
    TempDir dir;
    FILE *fp = reinterpret_cast<FILE *>(0x1);
    auto w = u16(dir.file("missing.wav"));
    EXPECT_EQ(v_open(&fp, w.data(), "rb"), ENOENT);
    EXPECT_EQ(fp, nullptr);
    EXPECT_EQ(v_rm(w.data()), -1);
    EXPECT_EQ(v_close(nullptr), 0);
    EXPECT_EQ(v_lseek(nullptr, 0, 0), -1);
}

TEST(VFile, NonAsciiPathsBecomeUtf8OnlyAtTheEdge) {
    TempDir dir;
    std::string path = dir.file("\xE9\x9F\xB3 caf\xC3\xA9.wav");
    FILE *fp = openPath(path, "wb+");
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(v_write(fp, "RIFF", 4), 4u);
    v_close(fp);
    EXPECT_EQ(sxtest::readAll(path).size(), 4u);
    auto w = u16(path);
    EXPECT_EQ(v_rm(w.data()), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(VFile, SixtyFourBitPositionsInASparseFile) {
    TempDir dir;
    FILE *fp = openPath(dir.file("big.bin"), "wb+");
    ASSERT_NE(fp, nullptr);
    const int64_t far = (int64_t(1) << 32) + 12345;  // beyond 4 GiB
    ASSERT_EQ(v_lseek(fp, far, 0), 0);
    EXPECT_EQ(v_tell(fp), far);
    ASSERT_EQ(v_write(fp, "xyz", 3), 3u);
    uint64_t size = 0;
    ASSERT_EQ(v_getFileSize(fp, &size), 0);
    EXPECT_EQ(size, uint64_t(far) + 3);

    ASSERT_EQ(v_lseek(fp, -3, 2), 0);
    EXPECT_EQ(v_tell(fp), far);
    char got[3];
    ASSERT_EQ(v_read(fp, got, 3), 3u);
    EXPECT_EQ(std::string(got, 3), "xyz");
    ASSERT_EQ(v_lseek(fp, -2, 1), 0);
    EXPECT_EQ(v_tell(fp), far + 1);

    ASSERT_EQ(v_ftruncate(fp, far + 1), 0);
    ASSERT_EQ(v_getFileSize(fp, &size), 0);
    EXPECT_EQ(size, uint64_t(far) + 1);
    v_close(fp);
}

TEST(VFile, CopyWholeFile) {
    TempDir dir;
    auto data = pattern(0x100000 * 2 + 17);  // crosses two 1 MiB pieces
    sxtest::writeAll(dir.file("src"), data);
    FILE *src = openPath(dir.file("src"), "rb");
    FILE *dst = openPath(dir.file("dst"), "wb+");
    ASSERT_EQ(v_copy(dst, src), 0);
    v_close(dst);
    EXPECT_EQ(sxtest::readAll(dir.file("dst")), data);

    // An empty source fails: its first read yields nothing.
    sxtest::writeAll(dir.file("empty"), {});
    FILE *empty = openPath(dir.file("empty"), "rb");
    FILE *dst2 = openPath(dir.file("dst2"), "wb+");
    EXPECT_EQ(v_copy(dst2, empty), -1);
    EXPECT_EQ(v_copy(dst2, nullptr), -1);
    v_close(empty);
    v_close(dst2);
    v_close(src);
}

TEST(VFile, EditFileMovesRangesWithProgress) {
    TempDir dir;
    const size_t n = kEditFileChunk * 3 + 100;
    auto data = pattern(n);
    sxtest::writeAll(dir.file("src"), data);
    sxtest::writeAll(dir.file("dst"), std::vector<uint8_t>(10, 0xEE));

    int progress = 0;
    std::vector<int> seen;
    pProgress = &progress;
    FILE *src = openPath(dir.file("src"), "rb");
    FILE *dst = openPath(dir.file("dst"), "rb+");

    // Append everything from offset 50 to the end of the source.
    ASSERT_EQ(vfs_editFile(src, dst, 50, 0, false, -1, kEditProgressEdit), 0);
    EXPECT_GE(progress, 1);
    EXPECT_LE(progress, 90);
    int afterEdit = progress;

    // Overwrite 5 bytes at destination offset 2; header-kind progress stays 90..99.
    ASSERT_EQ(vfs_editFile(src, dst, 0, 2, true, 5, kEditProgressHeader), 0);
    EXPECT_EQ(progress, afterEdit);  // a single piece reports nothing

    // The copy with a range spanning several pieces reports increasing values.
    progress = 0;
    FILE *dst3 = openPath(dir.file("dst3"), "wb+");
    ASSERT_EQ(vfs_editFile(src, dst3, 0, 0, true, static_cast<int64_t>(n), kEditProgressHeader), 0);
    EXPECT_GE(progress, 90);
    EXPECT_LE(progress, 99);
    v_close(dst3);
    pProgress = nullptr;

    v_close(dst);
    auto got = sxtest::readAll(dir.file("dst"));
    ASSERT_EQ(got.size(), 10 + n - 50);
    EXPECT_EQ(got[0], 0xEE);
    EXPECT_EQ(got[1], 0xEE);
    EXPECT_TRUE(std::equal(got.begin() + 2, got.begin() + 7, data.begin()));
    EXPECT_EQ(got[7], 0xEE);
    EXPECT_TRUE(std::equal(got.begin() + 10, got.end(), data.begin() + 50));
    EXPECT_EQ(sxtest::readAll(dir.file("dst3")), data);

    // Source offset at its end with length -1: nothing to copy, success.
    FILE *dst4 = openPath(dir.file("dst4"), "wb+");
    EXPECT_EQ(vfs_editFile(src, dst4, n, 0, false, -1, kEditProgressEdit), 0);
    // A source shorter than offset + length ends with -1 instead of looping.
    EXPECT_EQ(vfs_editFile(src, dst4, n - 10, 0, false, 1000, kEditProgressNone), -1);
    v_close(dst4);
    v_close(src);
}

TEST(VFile, ProgressHooksAcceptNoProgressWord) {
    pProgress = nullptr;
    reportEditProgress(50);
    reportMakeHeaderProgress(50);
    int word = 0;
    pProgress = &word;
    struct Row {
        bool header;
        int p, want;
    } rows[] = {{false, 0, 1}, {false, 1, 1},  {false, 50, 45}, {false, 100, 90},
                {true, 0, 90}, {true, 55, 95}, {true, 100, 99}};
    for (const Row &r : rows) {
        if (r.header)
            reportMakeHeaderProgress(r.p);
        else
            reportEditProgress(r.p);
        EXPECT_EQ(word, r.want) << r.p;
    }
    pProgress = nullptr;
    EXPECT_EQ(getCreatFlag(-5), -1);
    EXPECT_EQ(getCreatFlag(0), 0);
    EXPECT_EQ(vfs_getCurrentClusterSize(), 0);
}

TEST(VFile, PositionedReadsAndWritesAreWholeOrFail) {
    TempDir dir;
    auto data = pattern(1000);
    sxtest::writeAll(dir.file("f"), data);
    FILE *fp = openPath(dir.file("f"), "rb+");
    ASSERT_NE(fp, nullptr);
    uint8_t buf[16];
    ASSERT_EQ(v_readAt(fp, 990, buf, 10), 0);
    EXPECT_TRUE(std::equal(buf, buf + 10, data.begin() + 990));
    // A read that the file cannot fill fails instead of handing back part.
    EXPECT_EQ(v_readAt(fp, 995, buf, 10), -1);
    // Offsets no seek can reach fail before they become negative seeks.
    EXPECT_EQ(v_readAt(fp, uint64_t(INT64_MAX) + 1, buf, 1), -1);
    EXPECT_EQ(v_writeAt(fp, UINT64_MAX, buf, 1), -1);
    EXPECT_EQ(v_readAt(nullptr, 0, buf, 1), -1);

    const uint8_t word[4] = {'a', 'b', 'c', 'd'};
    ASSERT_EQ(v_writeAt(fp, 1002, word, 4), 0);  // beyond the end: the gap reads as zeros
    uint64_t size = 0;
    ASSERT_EQ(v_getFileSize(fp, &size), 0);
    EXPECT_EQ(size, 1006u);
    v_close(fp);
    auto got = sxtest::readAll(dir.file("f"));
    EXPECT_EQ(got[1000], 0);
    EXPECT_EQ(std::string(got.begin() + 1002, got.end()), "abcd");
}

TEST(VFile, MoveRangeWithinAFileAndBetweenFiles) {
    TempDir dir;
    auto data = pattern(10000);
    sxtest::writeAll(dir.file("f"), data);
    FILE *fp = openPath(dir.file("f"), "rb+");
    ASSERT_NE(fp, nullptr);
    uint8_t buf[777];  // pieces that do not divide the range
    // Down over itself within one file, as deleting a chunk does.
    ASSERT_EQ(v_moveRange(fp, 3000, fp, 1000, 7000, buf, sizeof buf), 0);
    ASSERT_EQ(v_ftruncate(fp, 8000), 0);
    // Into another file, behind what it holds, and nothing for length 0.
    FILE *out = openPath(dir.file("out"), "wb+");
    ASSERT_EQ(v_write(out, "xy", 2), 2u);
    ASSERT_EQ(v_moveRange(fp, 0, out, 2, 500, buf, sizeof buf), 0);
    EXPECT_EQ(v_tell(out), 502);
    EXPECT_EQ(v_moveRange(fp, 0, out, 502, 0, buf, sizeof buf), 0);

    // A source that ends inside the range, a range that wraps and a missing
    // buffer fail.
    EXPECT_EQ(v_moveRange(fp, 7900, out, 0, 200, buf, sizeof buf), -1);
    EXPECT_EQ(v_moveRange(fp, UINT64_MAX - 10, out, 0, 20, buf, sizeof buf), -1);
    EXPECT_EQ(v_moveRange(fp, 0, out, 0, 20, nullptr, 0), -1);
    v_close(out);
    v_close(fp);

    auto got = sxtest::readAll(dir.file("f"));
    ASSERT_EQ(got.size(), 8000u);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 1000, data.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 1000, got.end(), data.begin() + 3000));
    auto o = sxtest::readAll(dir.file("out"));
    ASSERT_EQ(o.size(), 502u);
    EXPECT_EQ(std::string(o.begin(), o.begin() + 2), "xy");
    EXPECT_TRUE(std::equal(o.begin() + 2, o.end(), data.begin()));
}
