#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audiofile/chunkutil.h"
#include "bytefields.h"
#include "testutil.h"

namespace {

using sxtest::appendId;
using sxtest::appendLE32;
using sxtest::appendLE64;
using sxtest::Bytes;

// A RIFF chunk: header, payload of n bytes of fill, pad byte when asked.
void chunk(Bytes &b, const char *id, uint32_t stored, uint32_t n, bool pad = true, uint8_t fill = 0x11) {
    appendId(b, id);
    appendLE32(b, stored);
    b.insert(b.end(), n, fill);
    if (pad && (n & 1)) b.push_back(0);
}

Bytes riffStart(const char *magic = "RIFF") {
    Bytes b;
    appendId(b, magic);
    appendLE32(b, 0);  // the walker does not read the form size
    appendId(b, "WAVE");
    return b;
}

struct File {
    File(const sxtest::TempDir &dir, const Bytes &bytes) : path(dir.file("f.bin")) {
        sxtest::writeAll(path, bytes);
        fp = std::fopen(path.c_str(), "rb+");
    }
    ~File() {
        if (fp) std::fclose(fp);
    }
    std::string path;
    FILE *fp = nullptr;
};

struct Found {
    int rc;
    uint64_t offset;
    uint64_t size;
};

Found search(const Bytes &bytes, const char *id, int mode = kChunkModeRiff) {
    sxtest::TempDir dir;
    File f(dir, bytes);
    ClassChunkUtility cu;
    Found r{};
    r.rc = cu.mChunk_searchSpecifiedChunkSize(f.fp, id, &r.offset, &r.size, mode);
    return r;
}

Found dataTop(const Bytes &bytes, int mode = kChunkModeRiff) {
    sxtest::TempDir dir;
    File f(dir, bytes);
    ClassChunkUtility cu;
    Found r{};
    r.rc = cu.mChunk_searchDataTop(f.fp, &r.offset, &r.size, mode);
    return r;
}

}  // namespace

TEST(ChunkWalker, OddSizedChunkIsSteppedWithItsPad) {
    Bytes b = riffStart();
    chunk(b, "fmt ", 17, 17);  // 18 bytes with the pad
    chunk(b, "data", 6, 6);
    Found f = search(b, "data");
    EXPECT_EQ(f.rc, 0);
    EXPECT_EQ(f.offset, 12u + 8 + 18);
    EXPECT_EQ(f.size, 6u);

    Found d = dataTop(b);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.offset, 12u + 8 + 18 + 8);
    EXPECT_EQ(d.size, 6u);
}

TEST(ChunkWalker, MissingChunkAndDamagedChainsFailWithoutCrashing) {
    // Each row is a chain in which "bext" cannot be found.
    struct Row {
        const char *what;
        Bytes bytes;
    };
    std::vector<Row> rows;
    {
        Bytes b = riffStart();
        chunk(b, "fmt ", 16, 16);
        chunk(b, "data", 4, 4);
        rows.push_back({"absent", b});
    }
    {
        Bytes b = riffStart();
        chunk(b, "fmt ", 16, 16);
        chunk(b, "LIST", 1000, 10);  // runs past the end of the file
        chunk(b, "bext", 4, 4);
        rows.push_back({"chunk past the end", b});
    }
    {
        Bytes b = riffStart();
        chunk(b, "fmt ", 16, 16);
        chunk(b, "junk", 3, 3, false);  // odd last chunk without its pad
        rows.push_back({"missing last pad", b});
    }
    {
        Bytes b = riffStart();
        b.push_back('f');  // a header cut after one byte
        rows.push_back({"cut header", b});
    }
    rows.push_back({"shorter than the RIFF header", Bytes{'R', 'I', 'F', 'F'}});
    {
        Bytes b = riffStart();
        chunk(b, "fmt ", 16, 16);
        chunk(b, "data", 0xFFFFFFFFu, 8);  // RF64 marker without ds64: cannot step
        chunk(b, "bext", 4, 4);
        rows.push_back({"marker without ds64", b});
    }
    for (const Row &r : rows) {
        Found f = search(r.bytes, "bext");
        EXPECT_EQ(f.rc, -1) << r.what;
        EXPECT_EQ(f.offset, 0u) << r.what;
    }
}

TEST(ChunkWalker, ZeroSizedChunkEndsTheWalkWithItsMessage) {
    Bytes b = riffStart();
    chunk(b, "fmt ", 16, 16);
    chunk(b, "zero", 0, 0);
    chunk(b, "data", 4, 4);
    testing::internal::CaptureStdout();
    Found f = search(b, "data");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(f.rc, -1);
    EXPECT_NE(out.find("Cannot search next chunk! "), std::string::npos) << out;
    // The zero-sized chunk itself can still be found.
    EXPECT_EQ(search(b, "zero").rc, 0);
}

TEST(ChunkWalker, DataTopOfRf64MarkerWithoutDs64FailsBehindTheHeader) {
    Bytes b = riffStart();
    chunk(b, "fmt ", 16, 16);
    chunk(b, "data", 0xFFFFFFFFu, 8);
    Found d = dataTop(b);
    EXPECT_EQ(d.rc, -1);
    EXPECT_EQ(d.offset, 12u + 24 + 8);
    EXPECT_EQ(d.size, 0u);
}

TEST(ChunkWalker, Rf64DataIsSteppedByItsDs64Size) {
    Bytes b = riffStart("RF64");
    appendId(b, "ds64");
    appendLE32(b, 28);
    appendLE64(b, 0);   // RIFF size
    appendLE64(b, 10);  // data size
    appendLE64(b, 0);   // sample count
    appendLE32(b, 0);   // table length
    chunk(b, "fmt ", 16, 16);
    chunk(b, "data", 0xFFFFFFFFu, 10);
    chunk(b, "bext", 4, 4);
    Found f = search(b, "bext");
    EXPECT_EQ(f.rc, 0);
    EXPECT_EQ(f.offset, 12u + 36 + 24 + 18);
    Found d = dataTop(b);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.offset, 12u + 36 + 24 + 8);
    EXPECT_EQ(d.size, 10u);
}

TEST(ChunkWalker, DataSizesBeyondTheFileAreClampedToIt) {
    {  // RIFF data chunk of a file cut short
        Bytes b = riffStart();
        chunk(b, "fmt ", 16, 16);
        chunk(b, "data", 100000, 30);
        Found d = dataTop(b);
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.size, 30u);
        EXPECT_EQ(search(b, "bext").rc, -1);  // the walk ends at the end of the file
    }
    {  // ds64 that claims far more than the file holds
        Bytes b = riffStart("RF64");
        appendId(b, "ds64");
        appendLE32(b, 28);
        appendLE64(b, 0);
        appendLE64(b, 0x7FFFFFFFFFFFFFFFull);
        appendLE64(b, 0);
        appendLE32(b, 0);
        chunk(b, "fmt ", 16, 16);
        chunk(b, "data", 0xFFFFFFFFu, 12);
        Found d = dataTop(b);
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.size, 12u);
    }
    {  // ds64 too short to hold the data size
        Bytes b = riffStart("RF64");
        chunk(b, "ds64", 8, 8);
        chunk(b, "fmt ", 16, 16);
        chunk(b, "data", 0xFFFFFFFFu, 12);
        EXPECT_EQ(dataTop(b).rc, -1);
    }
}

TEST(ChunkWalker, DsfModeCountsTheHeaderInTheSize) {
    Bytes b;
    appendId(b, "DSD ");
    appendLE64(b, 28);
    b.insert(b.end(), 16, 0);
    appendId(b, "fmt ");
    appendLE64(b, 52);
    b.insert(b.end(), 40, 0);
    appendId(b, "data");
    appendLE64(b, 12 + 4096);
    b.insert(b.end(), 4096, 0x69);
    Found f = search(b, "data", kChunkModeDsf);
    EXPECT_EQ(f.rc, 0);
    EXPECT_EQ(f.offset, 28u + 52);
    EXPECT_EQ(f.size, 12u + 4096);
    Found d = dataTop(b, kChunkModeDsf);
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.offset, 28u + 52 + 12);
    EXPECT_EQ(d.size, 12u + 4096);  // DSF data sizes count the header

    Bytes bad = b;
    bad[4] = 5;  // "DSD " size smaller than its own header
    testing::internal::CaptureStdout();
    EXPECT_EQ(search(bad, "data", kChunkModeDsf).rc, -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Cannot search next chunk! "), std::string::npos);
}

TEST(ChunkWalker, CheckChunkIdAndUpdateChunkSize) {
    ClassChunkUtility cu;
    uint8_t hdr[8] = {'f', 'm', 't', ' ', 17, 0, 0, 0};
    uint32_t size = 0;
    EXPECT_EQ(cu.mChunk_checkChunkId(hdr, "fmt ", &size), hdr);
    EXPECT_EQ(size, 17u);
    EXPECT_EQ(cu.mChunk_checkChunkId(hdr, "data", &size), nullptr);
    EXPECT_EQ(size, 18u);

    Bytes b = riffStart();
    chunk(b, "fmt ", 16, 16);
    chunk(b, "data", 40, 40);
    sxtest::TempDir dir;
    File f(dir, b);
    uint64_t off = 0, stored = 0;
    struct Step {
        uint32_t value, how;
        int rc;
        uint64_t expect;
    } steps[] = {{8, 0, 0, 48},   {16, 1, 0, 32},           {40, 2, 0, 40},
                 {41, 1, -1, 40}, {0xFFFFFFFFu, 0, -1, 40}, {1, 7, -1, 40}};
    for (const Step &s : steps) {
        EXPECT_EQ(cu.mChunk_updateChunkSize(f.fp, "data", s.value, s.how, kChunkModeRiff), s.rc);
        ASSERT_EQ(cu.mChunk_searchSpecifiedChunkSize(f.fp, "data", &off, &stored, kChunkModeRiff), 0);
        EXPECT_EQ(stored, s.expect) << s.value << " how " << s.how;
    }
}
