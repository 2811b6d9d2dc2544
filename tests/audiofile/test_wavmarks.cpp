#include "audiofile/wavmarks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/marklist.h"
#include "audiofile/wavfile.h"
#include "bytefields.h"
#include "testutil.h"
#include "tools.h"

namespace {

const tMarkListCtrl &M = gMarkList;

using sxtest::Bytes;
using sxtest::le32;

struct Chunk {
    std::string id;
    uint64_t offset;
    uint32_t size;
    bool operator==(const Chunk &o) const { return id == o.id && offset == o.offset && size == o.size; }
};

std::ostream &operator<<(std::ostream &os, const Chunk &c) {
    return os << "{" << c.id << " @" << c.offset << " size " << c.size << "}";
}

// The chunks of a RIFF file in order, up to the end of the bytes.
std::vector<Chunk> chunksOf(const Bytes &b) {
    std::vector<Chunk> out;
    uint64_t off = 12;
    while (off + 8 <= b.size()) {
        uint32_t size = le32(b, off + 4);
        out.push_back({std::string(b.begin() + off, b.begin() + off + 4), off, size});
        off += 8 + uint64_t(size) + (size & 1);
    }
    return out;
}

std::vector<std::string> idsOf(const Bytes &b) {
    std::vector<std::string> ids;
    for (const Chunk &c : chunksOf(b)) ids.push_back(c.id);
    return ids;
}

const Chunk *find(const std::vector<Chunk> &cs, const std::string &id) {
    for (const Chunk &c : cs)
        if (c.id == id) return &c;
    return nullptr;
}

// Audio bytes that are not all zero, so a moved byte would show.
Bytes testAudio(uint32_t bytes) {
    Bytes a(bytes);
    uint32_t x = 12345;
    for (auto &v : a) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 16);
    }
    return a;
}

// A new file as the handler writes it: 32768-byte header, then the audio.
void writeNewWav(const std::string &path, uint32_t samples) {
    FILE *fp = std::fopen(path.c_str(), "wb+");
    ASSERT_NE(fp, nullptr);
    gClass_WavFile wav;
    tBwfHdrParam prm{};
    prm.channels = 1;
    prm.bits = 16;
    prm.rate = 48000;
    ASSERT_EQ(wav.createHeader(fp, &prm, 0), 0);
    Bytes a = testAudio(samples * 2);
    ASSERT_EQ(std::fseek(fp, 32768, SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(a.data(), 1, a.size(), fp), a.size());
    ASSERT_EQ(wav.updateDataSize(fp, a.size(), samples), 0);
    std::fclose(fp);
}

// A small mono file whose header JUNK holds only junkSize bytes; 8-bit
// samples give an odd audio length for an odd sample count.
Bytes smallJunkWav(uint32_t samples, uint32_t junkSize, uint8_t bits = 16) {
    const uint8_t block = bits / 8;
    const uint32_t byteRate = 48000u * block;
    Bytes b;
    sxtest::appendId(b, "RIFF");
    sxtest::appendLE32(b, 0);
    sxtest::appendId(b, "WAVE");
    sxtest::appendId(b, "fmt ");
    sxtest::appendLE32(b, 16);
    const uint8_t fmt[16] = {
        1, 0,     1, 0,    0x80, 0xBB, 0, 0, uint8_t(byteRate), uint8_t(byteRate >> 8), uint8_t(byteRate >> 16),
        0, block, 0, bits, 0};
    b.insert(b.end(), fmt, fmt + 16);
    sxtest::appendId(b, "JUNK");
    sxtest::appendLE32(b, junkSize);
    b.resize(b.size() + junkSize);
    sxtest::appendId(b, "data");
    sxtest::appendLE32(b, samples * block);
    Bytes a = testAudio(samples * block);
    b.insert(b.end(), a.begin(), a.end());
    sxtest::putLE32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

// Fills list with marks at the given positions under the given names (kept
// as they are: reserved-name flag).
void setMarks(int list, const std::vector<std::pair<uint64_t, std::string>> &marks) {
    ASSERT_EQ(M.create(list), 0);
    for (const auto &m : marks) {
        char name[kMarkNameBytes + 4] = {};
        std::strncpy(name, m.second.c_str(), kMarkNameBytes - 1);
        ASSERT_EQ(M.addMark(list, 1, -1, name, m.first, m.first, kMarkFlagReserved), 0);
    }
}

struct Mark {
    uint64_t pos;
    std::string name;
    uint32_t exec;
    bool operator==(const Mark &o) const { return pos == o.pos && name == o.name && exec == o.exec; }
};
std::ostream &operator<<(std::ostream &os, const Mark &m) {
    return os << "{" << m.pos << " '" << m.name << "' exec " << m.exec << "}";
}

std::vector<Mark> marksOf(int list) {
    int32_t n = 0;
    M.getMarkCnt(list, &n);
    std::vector<Mark> out;
    for (int32_t i = 0; i < n; ++i) {
        Mark m{};
        char name[kMarkNameBytes];
        M.getMarkFs(list, i, &m.pos);
        M.getMarkName(list, i, name);
        M.getExecFlag(list, i, &m.exec);
        m.name = name;
        out.push_back(m);
    }
    return out;
}

int saveMarks(const std::string &path, int existing, int list, uint64_t total, bool newMode = false) {
    FILE *fp = std::fopen(path.c_str(), "rb+");
    if (!fp) return -999;
    gClass_WavFile wav;
    int rc = newMode ? wav.saveCueDataNew(fp, existing, list, total) : wav.saveCueData(fp, existing, list, total);
    std::fclose(fp);
    return rc;
}

int loadMarks(const std::string &path, int list, uint64_t total) {
    FILE *fp = std::fopen(path.c_str(), "rb");
    if (!fp) return -999;
    gClass_WavFile wav;
    int rc = wav.loadCueData(fp, total, list);
    std::fclose(fp);
    return rc;
}

// What sox decodes from the file, as raw 16-bit samples.
Bytes decodeWithSox(const sxtest::TempDir &dir, const std::string &path,
                    const std::string &format = "-e signed -b 16") {
    std::string raw = dir.file("decoded.raw");
    std::string cmd = "sox -q '" + path + "' -t raw " + format + " '" + raw + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return sxtest::readAll(raw);
}

std::string ffprobeSamples(const std::string &path) {
    return sxtest::probeStream(path, "stream=duration_ts")["duration_ts"];
}

constexpr uint32_t kSamples = 100000;

TEST(WavMarks, ThreeMarksFillTheHeaderJunk) {
    sxtest::TempDir dir;
    std::string path = dir.file("three.wav");
    writeNewWav(path, kSamples);
    const Bytes before = sxtest::readAll(path);
    setMarks(0, {{0, "MARK01"}, {48000, "MARK02"}, {96000, "MARK03"}});
    ASSERT_EQ(saveMarks(path, 0, 0, kSamples), 0);

    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(b.size(), before.size());
    auto cs = chunksOf(b);
    std::vector<Chunk> expect = {{"fmt ", 12, 16},  {"cue ", 36, 76},     {"LIST", 120, 64},
                                 {"plst", 192, 40}, {"JUNK", 240, 32512}, {"data", 32760, kSamples * 2}};
    EXPECT_EQ(cs, expect);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    // The audio did not move.
    EXPECT_TRUE(std::equal(before.begin() + 32760, before.end(), b.begin() + 32760));

    // cue points: id, "data", sample offset.
    for (int i = 0; i < 3; ++i) {
        uint64_t pt = 36 + 12 + 24 * i;
        EXPECT_EQ(le32(b, pt), uint32_t(i + 1));
        EXPECT_EQ(std::string(b.begin() + pt + 8, b.begin() + pt + 12), "data");
        EXPECT_EQ(le32(b, pt + 20), uint32_t(48000 * i));
    }
    // labl: size 11, padded to 20 bytes with its header.
    EXPECT_EQ(std::string(b.begin() + 128, b.begin() + 132), "adtl");
    for (int i = 0; i < 3; ++i) {
        uint64_t l = 132 + 20 * i;
        EXPECT_EQ(std::string(b.begin() + l, b.begin() + l + 4), "labl");
        EXPECT_EQ(le32(b, l + 4), 11u);
        EXPECT_EQ(le32(b, l + 8), uint32_t(i + 1));
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&b[l + 12])), "MARK0" + std::to_string(i + 1));
    }
    // plst lengths run to the next mark, the last to the end.
    const uint32_t lengths[3] = {48000, 48000, 4000};
    EXPECT_EQ(le32(b, 200), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(le32(b, 204 + 12 * i), uint32_t(i + 1));
        EXPECT_EQ(le32(b, 208 + 12 * i), lengths[i]);
        EXPECT_EQ(le32(b, 212 + 12 * i), 1u);
    }

    // Other readers see the audio unchanged (sox and ffprobe come with
    // scripts/deps; a missing one fails here rather than passing unchecked).
    Bytes decoded = decodeWithSox(dir, path);
    EXPECT_TRUE(decoded == Bytes(before.begin() + 32768, before.end())) << "sox decoded " << decoded.size();
    EXPECT_EQ(ffprobeSamples(path), std::to_string(kSamples));

    // Reload: names, positions, exec flags from the playlist, modify clear.
    ASSERT_EQ(loadMarks(path, 1, kSamples), 0);
    std::vector<Mark> expectMarks = {{0, "MARK01", 1}, {48000, "MARK02", 1}, {96000, "MARK03", 1}};
    EXPECT_EQ(marksOf(1), expectMarks);
    int32_t mod = -1, num = 0;
    M.getModifyFlag(1, &mod);
    EXPECT_EQ(mod, 0);
    M.getMarkNum(1, 2, &num);
    EXPECT_EQ(num, 3);
}

TEST(WavMarks, NamesLengthsAndTheEndOfTheFile) {
    sxtest::TempDir dir;
    std::string path = dir.file("names.wav");
    writeNewWav(path, kSamples);
    // 20 characters: 15 are written, size 25; 12 characters; a mark at the
    // total length.
    setMarks(2, {{10, "ABCDEFGHIJKLMNOPQRST"}, {20, "abcdefghijkl"}, {kSamples, "END"}});
    ASSERT_EQ(saveMarks(path, 0, 2, kSamples), 0);
    Bytes b = sxtest::readAll(path);
    auto cs = chunksOf(b);
    const Chunk *list = find(cs, "LIST");
    ASSERT_NE(list, nullptr);
    uint64_t l = list->offset + 12;
    EXPECT_EQ(le32(b, l + 4), 25u);
    EXPECT_EQ(std::string(b.begin() + l + 12, b.begin() + l + 12 + 16), std::string("ABCDEFGHIJKLMNO") + '\0');
    for (uint64_t k = l + 12 + 15; k < l + 8 + 26; ++k) EXPECT_EQ(b[k], 0) << k;  // zeros and pad
    const Chunk *cue = find(cs, "cue ");
    ASSERT_NE(cue, nullptr);
    EXPECT_EQ(le32(b, cue->offset + 12 + 48 + 20), kSamples);  // stored as is
    const Chunk *plst = find(cs, "plst");
    ASSERT_NE(plst, nullptr);
    EXPECT_EQ(le32(b, plst->offset + 12 + 24 + 4), 0u);  // last section is empty

    ASSERT_EQ(loadMarks(path, 3, kSamples), 0);
    std::vector<Mark> expect = {{10, "ABCDEFGHIJ", 1}, {20, "abcdefghij", 1}, {kSamples - 1, "END", 1}};
    EXPECT_EQ(marksOf(3), expect);
}

TEST(WavMarks, ModifyFlagClearWritesNothing) {
    sxtest::TempDir dir;
    std::string path = dir.file("clean.wav");
    writeNewWav(path, 1000);
    const Bytes before = sxtest::readAll(path);
    setMarks(4, {{10, "MARK01"}});
    M.clrModifyFlag(4);
    EXPECT_EQ(saveMarks(path, 0, 4, 1000), 0);
    EXPECT_EQ(saveMarks(path, -1, 4, 1000), 0);
    EXPECT_EQ(saveMarks(path, 0, 4, 1000, true), 0);
    EXPECT_TRUE(sxtest::readAll(path) == before);

    // An empty list that is marked as modified writes three empty chunks.
    M.create(4);
    M.setModifyFlag(4);
    ASSERT_EQ(saveMarks(path, 0, 4, 1000), 0);
    auto cs = chunksOf(sxtest::readAll(path));
    std::vector<Chunk> expect = {{"fmt ", 12, 16}, {"cue ", 36, 4},     {"LIST", 48, 4},
                                 {"plst", 60, 4},  {"JUNK", 72, 32680}, {"data", 32760, 2000}};
    EXPECT_EQ(cs, expect);
}

TEST(WavMarks, ReplaceReusesTheJunkBehindTheMarks) {
    sxtest::TempDir dir;
    std::string path = dir.file("rewrite.wav");
    writeNewWav(path, kSamples);
    setMarks(0, {{0, "MARK01"}, {48000, "MARK02"}, {96000, "MARK03"}});
    ASSERT_EQ(saveMarks(path, 0, 0, kSamples), 0);
    setMarks(0, {{500, "ONE"}, {600, "TWO"}});
    ASSERT_EQ(saveMarks(path, -1, 0, kSamples), 0);
    Bytes b = sxtest::readAll(path);
    // Written where the old marks were; the JUNK still ends at the data chunk.
    std::vector<std::string> ids = {"fmt ", "cue ", "LIST", "plst", "JUNK", "data"};
    EXPECT_EQ(idsOf(b), ids);
    EXPECT_EQ(b.size(), 32768u + kSamples * 2);
    ASSERT_EQ(loadMarks(path, 1, kSamples), 0);
    std::vector<Mark> expect = {{500, "ONE", 1}, {600, "TWO", 1}};
    EXPECT_EQ(marksOf(1), expect);
}

TEST(WavMarks, ReplaceMovesMarksBehindTheAudioWhenTheJunkIsTooSmall) {
    sxtest::TempDir dir;
    std::string path = dir.file("small.wav");
    const uint32_t samples = 5001;  // 8-bit: odd audio length, the appended chunks need a pad byte
    ASSERT_TRUE(sxtest::writeAll(path, smallJunkWav(samples, 300, 8)));
    setMarks(0, {{0, "MARK01"}, {100, "MARK02"}, {200, "MARK03"}});
    ASSERT_EQ(saveMarks(path, 0, 0, samples), 0);
    const Bytes first = sxtest::readAll(path);
    std::vector<std::string> ids1 = {"fmt ", "cue ", "LIST", "plst", "JUNK", "data"};
    ASSERT_EQ(idsOf(first), ids1);

    std::vector<std::pair<uint64_t, std::string>> ten;
    for (int i = 0; i < 10; ++i) ten.push_back({uint64_t(i) * 400, "TEN" + std::to_string(i)});
    setMarks(0, ten);
    tWavMarkArea area{};
    {
        FILE *fp = std::fopen(path.c_str(), "rb");
        ASSERT_EQ(wavMark_checkMarkChunk(fp, "cue ", &area), 0);
        std::fclose(fp);
    }
    EXPECT_EQ(area.runStart, 36u);
    EXPECT_EQ(area.junkOffset, 240u);
    ASSERT_EQ(saveMarks(path, -1, 0, samples), 0);

    Bytes b = sxtest::readAll(path);
    std::vector<std::string> ids = {"fmt ", "DMYA", "DMYB", "DMYC", "DMYD", "data", "cue ", "LIST", "plst", "JUNK"};
    EXPECT_EQ(idsOf(b), ids);
    auto cs = chunksOf(b);
    // The old header area is untouched apart from the four ids.
    for (const char *id : {"DMYA", "DMYB", "DMYC", "DMYD"}) {
        const Chunk *c = find(cs, id);
        ASSERT_NE(c, nullptr);
        EXPECT_TRUE(std::equal(first.begin() + c->offset + 4, first.begin() + c->offset + 8 + c->size,
                               b.begin() + c->offset + 4));
    }
    EXPECT_TRUE(std::equal(first.begin() + 344, first.end(), b.begin() + 344));  // data and audio
    // cue behind the audio's pad byte, then the 32 KiB JUNK filled by LIST
    // and plst, ending at the end of the file.
    const Chunk *cue = find(cs, "cue ");
    const Chunk *list = find(cs, "LIST");
    const Chunk *plst = find(cs, "plst");
    const Chunk *junk = &cs.back();
    EXPECT_EQ(cue->offset, 352u + samples + 1);
    EXPECT_EQ(cue->size, 244u);
    EXPECT_EQ(list->offset, cue->offset + 8 + 244);
    EXPECT_EQ(plst->offset, list->offset + 8 + list->size);
    EXPECT_EQ(junk->offset + 8 + junk->size, b.size());
    EXPECT_EQ(list->size + 8 + plst->size + 8 + junk->size + 8, 32768u);
    EXPECT_EQ(le32(b, 4), b.size() - 8);

    Bytes decoded = decodeWithSox(dir, path, "-e unsigned -b 8");
    EXPECT_TRUE(decoded == testAudio(samples)) << "sox decoded " << decoded.size();
    ASSERT_EQ(loadMarks(path, 1, samples), 0);
    auto marks = marksOf(1);
    ASSERT_EQ(marks.size(), 10u);
    EXPECT_EQ(marks[9], (Mark{3600, "TEN9", 1}));

    // A further rewrite fills the JUNK behind the moved marks.
    setMarks(0, {{7, "AGAIN"}});
    ASSERT_EQ(saveMarks(path, -1, 0, samples), 0);
    Bytes c = sxtest::readAll(path);
    EXPECT_EQ(c.size(), b.size());
    ASSERT_EQ(loadMarks(path, 1, samples), 0);
    EXPECT_EQ(marksOf(1), (std::vector<Mark>{{7, "AGAIN", 1}}));
}

TEST(WavMarks, FirstJunkModeRefusesMarksThatDoNotFit) {
    sxtest::TempDir dir;
    std::string path = dir.file("tight.wav");
    // Room for the cue chunk only: the label chunk fails, the file keeps
    // its data chunk where it was.
    ASSERT_TRUE(sxtest::writeAll(path, smallJunkWav(100, 100)));
    setMarks(0, {{0, "MARK01"}, {10, "MARK02"}, {20, "MARK03"}});
    EXPECT_EQ(saveMarks(path, 0, 0, 100), kWavMarkNoFit);
    Bytes b = sxtest::readAll(path);
    std::vector<std::string> ids = {"fmt ", "cue ", "JUNK", "data"};
    EXPECT_EQ(idsOf(b), ids);
    EXPECT_EQ(find(chunksOf(b), "data")->offset, 144u);

    // A JUNK chunk that the marks would fill exactly is refused too: a
    // zero-sized JUNK would stop the handlers' chunk search.
    ASSERT_TRUE(sxtest::writeAll(path, smallJunkWav(100, 76 + 64 + 40 + 24)));
    EXPECT_EQ(saveMarks(path, 0, 0, 100), kWavMarkNoFit);
    ASSERT_TRUE(sxtest::writeAll(path, smallJunkWav(100, 76 + 64 + 40 + 24 + 2)));
    EXPECT_EQ(saveMarks(path, 0, 0, 100), 0);
    FILE *fp = std::fopen(path.c_str(), "rb");
    gClass_WavFile wav;
    uint64_t off = 0, bytes = 0, audio = 0;
    EXPECT_EQ(wav.searchData(fp, &off, &bytes, &audio), 0);
    EXPECT_EQ(bytes, 200u);
    std::fclose(fp);
}

// A file with a cue chunk of three points, an INFO list, an adtl list with
// three labels and a plst chunk, built byte by byte so that rows can damage it.
struct Hostile {
    Bytes b;
    uint64_t cueOff = 0, infoOff = 0, adtlOff = 0, labl1 = 0, labl2 = 0, plstOff = 0;
};

Hostile hostileBase() {
    Hostile h;
    Bytes &b = h.b;
    b = smallJunkWav(1000, 0);
    b.resize(36);  // keep the RIFF header and fmt only
    h.cueOff = b.size();
    sxtest::appendId(b, "cue ");
    sxtest::appendLE32(b, 4 + 3 * 24);
    sxtest::appendLE32(b, 3);
    for (uint32_t i = 0; i < 3; ++i) {
        sxtest::appendLE32(b, i + 1);
        sxtest::appendLE32(b, 0);
        sxtest::appendId(b, "data");
        sxtest::appendLE32(b, 0);
        sxtest::appendLE32(b, 0);
        sxtest::appendLE32(b, 100 * (i + 1));
    }
    h.infoOff = b.size();
    sxtest::appendId(b, "LIST");
    sxtest::appendLE32(b, 4 + 8 + 6);
    sxtest::appendId(b, "INFO");
    sxtest::appendId(b, "INAM");
    sxtest::appendLE32(b, 6);
    for (char c : std::string("title\0", 6)) b.push_back(static_cast<uint8_t>(c));
    h.adtlOff = b.size();
    sxtest::appendId(b, "LIST");
    sxtest::appendLE32(b, 4 + 3 * 20);
    sxtest::appendId(b, "adtl");
    for (uint32_t i = 0; i < 3; ++i) {
        if (i == 1) h.labl1 = b.size();
        if (i == 2) h.labl2 = b.size();
        sxtest::appendId(b, "labl");
        sxtest::appendLE32(b, 11);
        sxtest::appendLE32(b, i + 1);
        std::string name = "NAME0" + std::to_string(i + 1);
        b.insert(b.end(), name.begin(), name.end());
        b.push_back(0);
        b.push_back(0);  // pad
    }
    h.plstOff = b.size();
    sxtest::appendId(b, "plst");
    sxtest::appendLE32(b, 4 + 2 * 12);
    sxtest::appendLE32(b, 2);
    for (uint32_t id : {1u, 3u}) {
        sxtest::appendLE32(b, id);
        sxtest::appendLE32(b, 100);
        sxtest::appendLE32(b, 1);
    }
    sxtest::appendId(b, "data");
    sxtest::appendLE32(b, 2000);
    b.resize(b.size() + 2000);
    sxtest::putLE32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return h;
}

TEST(WavMarks, LoaderBoundsEverySizeReadFromTheFile) {
    struct Row {
        const char *what;
        void (*patch)(Hostile &);
        std::vector<Mark> expect;
    };
    const std::vector<Mark> all = {{100, "NAME01", 1}, {200, "NAME02", 1}, {300, "NAME03", 1}};
    // Mark 3 is in the playlist; mark 2 is not, but naming a mark sets its
    // exec flag too.
    const std::vector<Mark> firstOnly = {{100, "NAME01", 1}, {200, "", 0}, {300, "", 1}};
    const std::vector<Mark> unnamed = {{100, "", 0}, {200, "", 0}, {300, "", 0}};
    std::vector<Row> rows = {
        {"intact, INFO list first", [](Hostile &) {}, all},
        {"labl past the adtl chunk", [](Hostile &h) { sxtest::putLE32(h.b, h.labl1 + 4, 0xFFFFFFF0u); }, firstOnly},
        {"labl just past the bytes read",
         [](Hostile &h) { sxtest::putLE32(h.b, h.labl2 + 4, 13); },
         {{100, "NAME01", 1}, {200, "NAME02", 1}, {300, "", 1}}},
        {"labl smaller than its cue id", [](Hostile &h) { sxtest::putLE32(h.b, h.labl1 + 4, 2); }, firstOnly},
        {"adtl list larger than the file",
         [](Hostile &h) { sxtest::putLE32(h.b, h.adtlOff + 4, 0x7FFFFFF0u); },
         // The list then swallows plst and data: names, but no playlist.
         {{100, "NAME01", 1}, {200, "NAME02", 1}, {300, "NAME03", 1}}},
        {"cue count larger than the chunk", [](Hostile &h) { sxtest::putLE32(h.b, h.cueOff + 8, 1000); }, all},
        {"cue count of 2^32-1", [](Hostile &h) { sxtest::putLE32(h.b, h.cueOff + 8, 0xFFFFFFFFu); }, all},
        {"cue chunk larger than the file",
         [](Hostile &h) {
             sxtest::putLE32(h.b, h.cueOff + 4, 0xFFFFFFF0u);
             sxtest::putLE32(h.b, h.cueOff + 8, 99);
         },
         // Only the cue chunk is walked; its bytes run on into the lists, of
         // which the first whole 24-byte groups count as points.
         {}},
        {"plst count larger than the chunk", [](Hostile &h) { sxtest::putLE32(h.b, h.plstOff + 8, 5000); }, all},
        {"no adtl list: no names, no playlist", [](Hostile &h) { std::memcpy(&h.b[h.adtlOff + 8], "xxxx", 4); },
         unnamed},
        {"cue chunk cut short by the end of the file",
         [](Hostile &h) { h.b.resize(h.cueOff + 8 + 4 + 24 + 10); },
         {{100, "", 0}}},
    };
    sxtest::TempDir dir;
    std::string path = dir.file("hostile.wav");
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        Hostile h = hostileBase();
        r.patch(h);
        ASSERT_TRUE(sxtest::writeAll(path, h.b));
        ASSERT_EQ(loadMarks(path, 5, 1000), 0);
        if (std::string(r.what) == "cue chunk larger than the file") {
            int32_t n = 0;
            M.getMarkCnt(5, &n);
            EXPECT_GE(n, 3);
            EXPECT_LE(n, kMarkMax);
            continue;
        }
        EXPECT_EQ(marksOf(5), r.expect);
    }
}

}  // namespace

// The chunks behind the audio of an RF64 file whose "data" chunk sits at
// 32760 with audio bytes of payload.
std::vector<std::string> idsBehindAudio(const Bytes &b, uint64_t audio) {
    std::vector<std::string> ids;
    uint64_t off = 32768 + audio + (audio & 1);
    while (off + 8 <= b.size()) {
        const uint32_t size = le32(b, off + 4);
        ids.push_back(std::string(b.begin() + off, b.begin() + off + 4));
        off += 8 + uint64_t(size) + (size & 1);
    }
    return ids;
}

TEST(WavMarks, MarksBehindTheAudioOfAnRf64FileAreFoundAndReplaced) {
    sxtest::TempDir dir;
    const std::string path = dir.file("rf64.wav");
    const uint32_t samples = 3001;  // mono 16-bit: 6002 audio bytes
    {
        FILE *fp = std::fopen(path.c_str(), "wb+");
        ASSERT_NE(fp, nullptr);
        gClass_WavFile wav;
        tBwfHdrParam prm{};
        prm.channels = 1;
        prm.bits = 16;
        prm.rate = 48000;
        prm.rf64 = 1;
        ASSERT_EQ(wav.createHeader(fp, &prm, 0), 0);
        Bytes a = testAudio(samples * 2);
        ASSERT_EQ(std::fseek(fp, 32768, SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(a.data(), 1, a.size(), fp), a.size());
        ASSERT_EQ(wav.updateDataSize(fp, a.size(), samples), 0);
        std::fclose(fp);
    }
    // As other programs write RF64: the data chunk's own size field holds
    // the marker and only "ds64" knows the size.
    Bytes b = sxtest::readAll(path);
    ASSERT_EQ(sxtest::id(b, 0), "RF64");
    ASSERT_EQ(sxtest::id(b, 32760), "data");
    sxtest::putLE32(b, 32764, 0xFFFFFFFFu);
    ASSERT_TRUE(sxtest::writeAll(path, b));

    setMarks(0, {{10, "ONE"}, {1500, "TWO"}, {3000, "THREE"}});
    ASSERT_EQ(saveMarks(path, -1, 0, samples), 0);
    const Bytes first = sxtest::readAll(path);
    const std::vector<std::string> marksThenJunk = {"cue ", "LIST", "plst", "JUNK"};
    EXPECT_EQ(idsBehindAudio(first, samples * 2), marksThenJunk);
    ASSERT_EQ(loadMarks(path, 1, samples), 0);
    EXPECT_EQ(marksOf(1), (std::vector<Mark>{{10, "ONE", 1}, {1500, "TWO", 1}, {3000, "THREE", 1}}));

    // A rewrite finds the old marks behind the audio and fills the JUNK
    // behind them instead of appending a second set.
    setMarks(0, {{7, "AGAIN"}});
    ASSERT_EQ(saveMarks(path, -1, 0, samples), 0);
    const Bytes second = sxtest::readAll(path);
    EXPECT_EQ(idsBehindAudio(second, samples * 2), marksThenJunk);
    EXPECT_EQ(second.size(), first.size());
    ASSERT_EQ(loadMarks(path, 1, samples), 0);
    EXPECT_EQ(marksOf(1), (std::vector<Mark>{{7, "AGAIN", 1}}));
}
