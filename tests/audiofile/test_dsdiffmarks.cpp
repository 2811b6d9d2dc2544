// Marks (cue, LIST/adtl, plst) and start time (bext) of DSDIFF files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audiofile/dsdifffile.h"
#include "audiofile/marklist.h"
#include "dsdifftestutil.h"
#include "testutil.h"

using namespace dfftest;

namespace {

const uint64_t kSecond = 2822400;

// Fills list with marks at the given positions and names (names kept as
// given), leaving its modify flag set.
void setMarks(int list, const std::vector<std::pair<uint64_t, std::string>> &marks) {
    ASSERT_EQ(gMarkList.create(list), 0);
    for (const auto &m : marks) {
        char name[kMarkNameBytes] = {};
        std::strncpy(name, m.second.c_str(), sizeof name - 1);
        ASSERT_EQ(gMarkList.addMark(list, 0, -1, name, m.first, m.first, kMarkFlagReserved), 0);
    }
}

struct Mark {
    uint64_t pos;
    std::string name;
    uint32_t exec;
};

std::vector<Mark> marksOf(int list) {
    std::vector<Mark> out;
    int32_t n = 0;
    EXPECT_EQ(gMarkList.getMarkCnt(list, &n), 0);
    for (int32_t i = 0; i < n; ++i) {
        Mark m{};
        char name[kMarkNameBytes] = {};
        EXPECT_EQ(gMarkList.getMarkFs(list, i, &m.pos), 0);
        EXPECT_EQ(gMarkList.getMarkName(list, i, name), 0);
        EXPECT_EQ(gMarkList.getExecFlag(list, i, &m.exec), 0);
        m.name = name;
        out.push_back(m);
    }
    return out;
}

std::vector<std::string> ids(const Bytes &b) {
    std::vector<std::string> out;
    for (const Chunk &c : chunks(b)) out.push_back(c.id);
    return out;
}

class DsdiffMarksTest : public ::testing::Test {
protected:
    sxtest::TempDir dir;
    gClass_DsdiffFile dff;
    std::string path = dir.file("m.dff");
};

// Three marks of a new three-second stereo file land in the header's JUNK,
// with the sizes the chunks must have, and come back on loading.
TEST_F(DsdiffMarksTest, NewFileMarksInHeaderJunk) {
    const Bytes audio = pattern(3 * kSecond * 2 / 8, 5);
    writeDff(path, param(2), audio);
    setMarks(0, {{0, "MARK01"}, {kSecond, "MARK02"}, {2 * kSecond, "MARK03"}});
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, 0, 0, 3 * kSecond), 0);
    }
    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(b.size(), 32768 + audio.size());  // nothing appended
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 32768));
    EXPECT_EQ(be64(b, 4), b.size() - 12);
    const auto cs = chunks(b);
    ASSERT_EQ(ids(b), (std::vector<std::string>{"FVER", "PROP", "cue ", "LIST", "plst", "JUNK", "DSD "}));
    // cue
    EXPECT_EQ(cs[2].offset, 118u);
    EXPECT_EQ(cs[2].size, 124u);
    EXPECT_EQ(be32(b, 130), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        const size_t p = 134 + 40 * i;
        EXPECT_EQ(be32(b, p), i + 1);
        EXPECT_EQ(be64(b, p + 4), 0u);
        EXPECT_EQ(id(b, p + 12), "data");
        EXPECT_EQ(be64(b, p + 16), 0u);
        EXPECT_EQ(be64(b, p + 24), 0u);
        EXPECT_EQ(be64(b, p + 32), i * kSecond);
    }
    // LIST / adtl with three labels of 24 bytes each
    EXPECT_EQ(cs[3].offset, 254u);
    EXPECT_EQ(cs[3].size, 76u);
    EXPECT_EQ(id(b, 266), "adtl");
    for (uint32_t i = 0; i < 3; ++i) {
        const size_t p = 270 + 24 * i;
        EXPECT_EQ(id(b, p), "labl");
        EXPECT_EQ(be64(b, p + 4), 11u);
        EXPECT_EQ(be32(b, p + 12), i + 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[p + 16])), "MARK0" + std::to_string(i + 1));
        EXPECT_EQ(b[p + 22], 0);
        EXPECT_EQ(b[p + 23], 0);  // pad
    }
    // plst: lengths to the next mark and to the end
    EXPECT_EQ(cs[4].offset, 342u);
    EXPECT_EQ(cs[4].size, 52u);
    EXPECT_EQ(be32(b, 354), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        const size_t p = 358 + 16 * i;
        EXPECT_EQ(be32(b, p), i + 1);
        EXPECT_EQ(be64(b, p + 4), kSecond);
        EXPECT_EQ(be32(b, p + 12), 1u);
    }
    // The JUNK still ends where the sound chunk begins.
    EXPECT_EQ(cs[5].offset, 406u);
    EXPECT_EQ(cs[5].offset + 12 + cs[5].size, 32756u);
    EXPECT_EQ(cs[6].offset, 32756u);

    File f(path, "rb");
    ASSERT_EQ(dff.loadCueData(f.fp, 3 * kSecond, 1), 0);
    const auto m = marksOf(1);
    ASSERT_EQ(m.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m[i].pos, i * kSecond);
        EXPECT_EQ(m[i].name, "MARK0" + std::to_string(i + 1));
        EXPECT_EQ(m[i].exec, 1u);
    }
    int32_t modified = 1;
    EXPECT_EQ(gMarkList.getModifyFlag(1, &modified), 0);
    EXPECT_EQ(modified, 0);
    uint64_t off = 0, bytes = 0, a = 0;
    EXPECT_EQ(dff.searchData(f.fp, &off, &bytes, &a), 0);
    EXPECT_EQ(off, 32768u);
}

TEST_F(DsdiffMarksTest, NamesPositionsAndEmptyLists) {
    writeDff(path, param(2), pattern(2000, 1));
    const uint64_t total = 8000;
    const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
    setMarks(0, {{100, twenty}, {total, "TWELVECHARSX"}});
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueDataNew(f.fp, -1, 0, total), 0);
    }
    Bytes b = sxtest::readAll(path);
    // A 20-character name: 15 characters, zero bytes up to size 25, pad.
    const size_t labl = 118 + 12 + 84 + 16;
    ASSERT_EQ(id(b, labl), "labl");
    EXPECT_EQ(be64(b, labl + 4), 25u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[labl + 16]), 15), twenty.substr(0, 15));
    for (size_t i = labl + 16 + 15; i < labl + 12 + 26; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(id(b, labl + 38), "labl");
    // The mark at the end has a section length of 0; the first runs to it.
    const auto all = chunks(b);
    const Chunk *plst = find(all, "plst");
    ASSERT_NE(plst, nullptr);
    EXPECT_EQ(be64(b, plst->offset + 16 + 4), total - 100);
    EXPECT_EQ(be64(b, plst->offset + 32 + 4), 0u);

    {
        File f(path, "rb");
        ASSERT_EQ(dff.loadCueData(f.fp, total, 2), 0);
    }
    auto m = marksOf(2);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].name, "ABCDEFGHIJ");
    EXPECT_EQ(m[1].name, "TWELVECHAR");
    EXPECT_EQ(m[1].pos, total - 1);  // stored at the end, back one earlier

    // A clear modify flag writes nothing.
    const Bytes before = sxtest::readAll(path);
    {
        File f(path, "rb+");
        EXPECT_EQ(dff.saveCueData(f.fp, -1, 2, total), 0);
    }
    EXPECT_EQ(sxtest::readAll(path), before);

    // An empty list with its modify flag set writes three 4-byte chunks.
    const std::string empty = dir.file("e.dff");
    writeDff(empty, param(1), pattern(10, 1));
    ASSERT_EQ(gMarkList.create(3), 0);
    ASSERT_EQ(gMarkList.setModifyFlag(3), 0);
    {
        File f(empty, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, 0, 3, 80), 0);
    }
    Bytes e = sxtest::readAll(empty);
    const auto cs = chunks(e);
    ASSERT_EQ(ids(e), (std::vector<std::string>{"FVER", "PROP", "cue ", "LIST", "plst", "JUNK", "DSD "}));
    EXPECT_EQ(cs[2].size, 4u);
    EXPECT_EQ(cs[3].size, 4u);
    EXPECT_EQ(cs[4].size, 4u);

    // Bad list numbers.
    File f(empty, "rb+");
    EXPECT_EQ(dff.saveCueData(f.fp, 0, 9, 80), kAudioFileErrFormat);
    EXPECT_EQ(dff.loadCueData(f.fp, 80, 9), 0);
}

TEST_F(DsdiffMarksTest, FirstJunkModeRefusesMarksThatDoNotFitItsJunk) {
    writeDff(path, param(2), pattern(100, 1));
    ASSERT_EQ(gMarkList.create(0), 0);
    for (uint64_t i = 0; i < 99; ++i) {
        char name[kMarkNameBytes];
        std::memset(name, 'n', 257);
        name[257] = 0;
        ASSERT_EQ(gMarkList.addMark(0, 0, -1, name, i * 8, i * 8, kMarkFlagReserved), 0);
    }
    const Bytes before = sxtest::readAll(path);
    File f(path, "rb+");
    EXPECT_EQ(dff.saveCueData(f.fp, 0, 0, 800), kAudioFileErrFormat);
    f.close();
    EXPECT_EQ(sxtest::readAll(path), before);
}

// A file whose header JUNK is mostly taken by another chunk: a rewrite that
// no longer fits behind the old marks moves them behind the audio.
TEST_F(DsdiffMarksTest, ReplaceModeInPlaceAndMoved) {
    const Bytes audio = pattern(1001, 7);  // mono, ends at an odd offset
    writeDff(path, param(1), audio);
    const uint64_t total = 8008;
    {
        Bytes b = sxtest::readAll(path);
        std::memcpy(&b[114], "COMT", 4);
        putBE64(b, 118, 32000);
        std::memcpy(&b[32126], "JUNK", 4);
        putBE64(b, 32130, 32756 - 32126 - 12);
        sxtest::writeAll(path, b);
    }
    setMarks(0, {{0, "MARK01"}, {800, "MARK02"}, {1600, "MARK03"}});
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, 0, 0, total), 0);
    }
    // In place: one more mark still fits behind the old ones.
    setMarks(0, {{0, "MARK01"}, {800, "MARK02"}, {1600, "MARK03"}, {2400, "MARK04"}});
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, -1, 0, total), 0);
    }
    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(ids(b), (std::vector<std::string>{"FVER", "PROP", "COMT", "cue ", "LIST", "plst", "JUNK", "DSD "}));
    EXPECT_EQ(b.size(), 32768 + audio.size());

    // Moved: ten marks do not fit in the 618 bytes there.
    std::vector<std::pair<uint64_t, std::string>> ten;
    for (uint64_t i = 0; i < 10; ++i) ten.push_back({i * 800, "M" + std::to_string(i)});
    setMarks(0, ten);
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, -1, 0, total), 0);
    }
    b = sxtest::readAll(path);
    ASSERT_EQ(ids(b), (std::vector<std::string>{"FVER", "PROP", "COMT", "DMYA", "DMYB", "DMYC", "DMYD", "DSD ", "cue ",
                                                "LIST", "plst", "JUNK"}));
    const auto cs = chunks(b);
    EXPECT_TRUE(std::equal(audio.begin(), audio.end(), b.begin() + 32768));
    EXPECT_EQ(cs[8].offset, 32768u + 1002u);  // behind the audio's pad byte
    EXPECT_EQ(cs[11].offset + 12 + cs[11].size, b.size());
    EXPECT_EQ(cs[9].offset, cs[8].offset + 12 + cs[8].size);  // LIST at the start of the appended JUNK
    EXPECT_EQ(b.size(), cs[8].offset + 12 + cs[8].size + 32768);
    EXPECT_EQ(be64(b, 4), b.size() - 12);
    {
        File f(path, "rb");
        ASSERT_EQ(dff.loadCueData(f.fp, total, 1), 0);
        uint64_t off = 0, bytes = 0, a = 0;
        ASSERT_EQ(dff.searchData(f.fp, &off, &bytes, &a), 0);
        EXPECT_EQ(bytes, 1001u);
    }
    auto m = marksOf(1);
    ASSERT_EQ(m.size(), 10u);
    EXPECT_EQ(m[9].pos, 7200u);
    EXPECT_EQ(m[9].name, "M9");

    // A further rewrite reuses the appended JUNK.
    const size_t size = b.size();
    setMarks(0, {{0, "A"}, {8, "B"}});
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, -1, 0, total), 0);
    }
    b = sxtest::readAll(path);
    EXPECT_EQ(b.size(), size);
    File f(path, "rb");
    ASSERT_EQ(dff.loadCueData(f.fp, total, 1), 0);
    m = marksOf(1);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].name, "B");
}

// The marks loader reads damaged chunks only as far as they and the file
// hold, keeps what it found and never fails.
TEST_F(DsdiffMarksTest, LoaderOnDamagedChunks) {
    writeDff(path, param(2), pattern(3000, 2));
    setMarks(0, {{0, "MARK01"}, {4000, "MARK02"}, {8000, "MARK03"}});
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.saveCueData(f.fp, 0, 0, 12000), 0);
    }
    const Bytes good = sxtest::readAll(path);
    struct Case {
        const char *what;
        size_t at;
        uint64_t value;
        bool be32field;
        size_t marks;
        int named;  // -1: not checked
    };
    const Case cases[] = {
        {"cue count 1000", 130, 1000, true, 3, 3},
        {"cue count max", 130, 0xFFFFFFFF, true, 3, 3},
        {"cue size beyond the file", 122, 0xFFFFFFFFFFFFFF00ull, false, 3, 0},
        {"label size huge", 274, 0xFFFFFFFFFFFFFFF0ull, false, 3, 0},
        {"label past the list", 274, 0x1000000, false, 3, 0},
        {"last label one byte too long", 322, 13, false, 3, 2},
        {"label size 2", 274, 2, false, 3, -1},
        {"LIST size beyond the file", 258, 0x7FFFFFFFFFFFFFFFull, false, 3, 3},
        {"LIST size 4", 258, 4, false, 3, -1},
        {"plst count 5000", 354, 5000, true, 3, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good;
        if (c.be32field) {
            for (int i = 0; i < 4; ++i) b[c.at + i] = static_cast<uint8_t>(c.value >> (24 - 8 * i));
        } else {
            putBE64(b, c.at, c.value);
        }
        sxtest::writeAll(path, b);
        File f(path, "rb");
        EXPECT_EQ(dff.loadCueData(f.fp, 12000, 4), 0);
        auto m = marksOf(4);
        EXPECT_EQ(m.size(), c.marks);
        if (c.named >= 0) {
            int named = 0;
            for (const Mark &k : m) named += !k.name.empty();
            EXPECT_EQ(named, c.named);
        }
    }
    // A file cut inside the cue chunk.
    sxtest::writeAll(path, Bytes(good.begin(), good.begin() + 118 + 12 + 4 + 40 + 20));
    File f(path, "rb");
    EXPECT_EQ(dff.loadCueData(f.fp, 12000, 4), 0);
    EXPECT_EQ(marksOf(4).size(), 1u);
}

TEST_F(DsdiffMarksTest, StartTimeStoredAndReadBack) {
    writeDff(path, param(2), pattern(4000, 3));
    File f(path, "rb+");
    uint64_t start = 1;
    EXPECT_EQ(dff.getStartSample(f.fp, &start), kAudioFileErrIO);
    EXPECT_EQ(dff.searchBextChunk(f.fp, &start), kAudioFileErrIO);

    // One day at 2822400 Hz is 243855360000 samples, more than 32 bits.
    ASSERT_EQ(dff.setStartSample(f.fp, 300000000000ull), kAudioFileBextAppended);
    std::fflush(f.fp);
    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(b.size(), 32768u + 4000u + 870u);
    const size_t bext = 32768 + 4000;
    EXPECT_EQ(id(b, bext), "bext");
    EXPECT_EQ(be64(b, bext + 4), 858u);
    EXPECT_EQ(be64(b, 4), b.size() - 12);
    const size_t d = bext + 12;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[d + 256])), "KAVELO Sonvex Editor");
    EXPECT_EQ(b[d + 320 + 4], '-');
    EXPECT_EQ(b[d + 320 + 7], '-');
    EXPECT_EQ(b[d + 330 + 2], ':');
    EXPECT_EQ(b[d + 330 + 5], ':');
    EXPECT_EQ(le64(b, d + 338), 56144640000ull);  // little-endian inside the big-endian file
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[d + 602])), "A=PCM,F=2822400,W=1,M=2-channel\r\n");
    for (size_t i = d + 602 + 33; i < d + 858; ++i) ASSERT_EQ(b[i], 0) << i;

    EXPECT_EQ(dff.getStartSample(f.fp, &start), 0);
    EXPECT_EQ(start, 56144640000ull);
    start = 0;
    EXPECT_EQ(dff.searchBextChunk(f.fp, &start), 0);
    EXPECT_EQ(start, 56144640000ull);

    // A second store rewrites the field in place.
    EXPECT_EQ(dff.setStartSample(f.fp, 42), 0);
    std::fflush(f.fp);
    EXPECT_EQ(sxtest::readAll(path).size(), b.size());
    EXPECT_EQ(dff.getStartSample(f.fp, &start), 0);
    EXPECT_EQ(start, 42u);

    // The library's build reports 0 without reading the file.
    gClass_DsdiffFile lib(tAudioFileBuild{true});
    start = 7;
    EXPECT_EQ(lib.getStartSample(f.fp, &start), 0);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(lib.searchBextChunk(f.fp, &start), 0);
    EXPECT_EQ(start, 42u);
}

TEST_F(DsdiffMarksTest, StartTimeOnOddLengthMonoAndRateZero) {
    writeDff(path, param(1), pattern(999, 3));
    {
        File f(path, "rb+");
        ASSERT_EQ(dff.setStartSample(f.fp, 5), kAudioFileBextAppended);
    }
    Bytes b = sxtest::readAll(path);
    // The pad byte keeps the walk in step behind the odd-sized audio.
    ASSERT_EQ(b.size(), 32768u + 1000u + 870u);
    EXPECT_EQ(b[32768 + 999], 0);
    const auto all = chunks(b);
    const Chunk *bext = find(all, "bext");
    ASSERT_NE(bext, nullptr);
    EXPECT_EQ(bext->offset, 32768u + 1000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[bext->offset + 12 + 602])),
              "A=PCM,F=2822400,W=1,M=mono\r\n");

    // Sound properties without a rate: nothing to reduce by.
    const std::string noRate = dir.file("norate.dff");
    writeDff(noRate, param(2), pattern(100, 3));
    Bytes n = sxtest::readAll(noRate);
    std::memcpy(&n[48], "XXXX", 4);
    sxtest::writeAll(noRate, n);
    File f(noRate, "rb+");
    ASSERT_EQ(dff.setStartSample(f.fp, 300000000000ull), kAudioFileBextAppended);
    uint64_t start = 0;
    EXPECT_EQ(dff.getStartSample(f.fp, &start), 0);
    EXPECT_EQ(start, 300000000000ull);
}

TEST_F(DsdiffMarksTest, ShortBextIsNeitherReadNorWritten) {
    writeDff(path, param(2), pattern(100, 3));
    Bytes b = sxtest::readAll(path);
    Bytes bext = {'b', 'e', 'x', 't', 0, 0, 0, 0, 0, 0, 0, 100};
    bext.resize(12 + 100, 0xAB);
    b.insert(b.end(), bext.begin(), bext.end());
    Bytes tail = {'C', 'O', 'M', 'T', 0, 0, 0, 0, 0, 0, 0, 16};
    tail.resize(12 + 16, 0xCD);
    b.insert(b.end(), tail.begin(), tail.end());
    putBE64(b, 4, b.size() - 12);
    sxtest::writeAll(path, b);
    File f(path, "rb+");
    uint64_t start = 0;
    EXPECT_EQ(dff.getStartSample(f.fp, &start), kAudioFileErrIO);
    EXPECT_EQ(dff.searchBextChunk(f.fp, &start), kAudioFileErrIO);
    EXPECT_EQ(dff.setStartSample(f.fp, 99), kAudioFileErrIO);
    f.close();
    EXPECT_EQ(sxtest::readAll(path), b);
}

// The library build's mark writer leaves room for its tag chunk between the
// marks and the form size.
int sTagCalls = 0;
int appendTestTag(FILE *fp) {
    ++sTagCalls;
    uint8_t c[12 + 4] = {'D', 'I', 'I', 'N', 0, 0, 0, 0, 0, 0, 0, 4, 1, 2, 3, 4};
    gClass_DsdiffFile h;
    return h.saveCueChunkTail(fp, c, 4);
}

TEST_F(DsdiffMarksTest, LibraryBuildAppendsTagAfterMarks) {
    writeDff(path, param(2), pattern(100, 3));
    setMarks(0, {{0, "MARK01"}});
    tAudioFileBuild build{true};
    build.tagAfterMarks = appendTestTag;
    gClass_DsdiffFile lib(build);
    sTagCalls = 0;
    {
        File f(path, "rb+");
        ASSERT_EQ(lib.saveCueData(f.fp, 0, 0, 400), 0);
        // Unchanged marks write neither marks nor tag.
        ASSERT_EQ(gMarkList.clrModifyFlag(0), 0);
        ASSERT_EQ(lib.saveCueData(f.fp, 0, 0, 400), 0);
    }
    EXPECT_EQ(sTagCalls, 1);
    Bytes b = sxtest::readAll(path);
    const auto cs = chunks(b);
    ASSERT_FALSE(cs.empty());
    EXPECT_EQ(cs.back().id, "DIIN");
    EXPECT_EQ(be64(b, 4), b.size() - 12);

    // The program's build has no tag step.
    setMarks(0, {{0, "MARK01"}});
    gClass_DsdiffFile prog;
    const std::string other = dir.file("p.dff");
    writeDff(other, param(2), pattern(100, 3));
    File f(other, "rb+");
    ASSERT_EQ(prog.saveCueData(f.fp, 0, 0, 400), 0);
    f.close();
    EXPECT_EQ(sxtest::readAll(other).size(), 32868u);
}

}  // namespace
