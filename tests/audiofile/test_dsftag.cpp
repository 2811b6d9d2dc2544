// ID3v2 tags of DSF files: the tag the handler writes, syncsafe numbers,
// the mark frame, reading versions 2.2 to 2.4, keeping frames through the
// work file, and damaged tags.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "audiofile/marklist.h"
#include "dsdtestutil.h"

using namespace dsdtest;

namespace {

const std::string kSoftware = "KAVELO Sonvex Editor    v01.10 b0096";

struct Frame {
    std::string id;
    Bytes data;
};

// The frames of a version 2.3 tag at offset at.
std::vector<Frame> framesOf(const Bytes &b, size_t at) {
    const uint32_t size = (b.at(at + 6) << 21) | (b.at(at + 7) << 14) | (b.at(at + 8) << 7) | b.at(at + 9);
    std::vector<Frame> out;
    size_t pos = at + 10;
    const size_t end = at + 10 + size;
    while (pos + 10 <= end) {
        Frame f{str(b, pos, 4), {}};
        uint32_t n = be32(b, pos + 4);
        f.data.assign(b.begin() + pos + 10, b.begin() + pos + 10 + n);
        out.push_back(f);
        pos += 10 + n;
    }
    EXPECT_EQ(pos, end) << "frames fill the tag exactly";
    return out;
}

std::string two(int v) {
    char s[8];
    std::snprintf(s, sizeof s, "%02d", v);
    return s;
}

// A stereo file with a tag of our choice behind its audio.
std::string fileWithTag(const sxtest::TempDir &dir, const Bytes &t, const std::string &name = "t.dsf",
                        uint32_t rate = 2822400) {
    const std::string path = dir.file(name);
    writeDsf(path, rate, {channelBytes(4096, 1), channelBytes(4096, 2)});
    replaceTag(path, t);
    return path;
}

Bytes utf16Text(const std::u16string &s) {
    Bytes d{1, 0xFF, 0xFE};
    for (char16_t c : s) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(static_cast<uint8_t>(c >> 8));
    }
    return d;
}

Bytes v22Frame(const std::string &id, const Bytes &data) {
    Bytes f;
    append(f, id);
    f.push_back(static_cast<uint8_t>(data.size() >> 16));
    f.push_back(static_cast<uint8_t>(data.size() >> 8));
    f.push_back(static_cast<uint8_t>(data.size()));
    append(f, data);
    return f;
}

struct Mark {
    std::string name;
    uint64_t position;
};

std::vector<Mark> marksOf(int list) {
    std::vector<Mark> out;
    int32_t n = 0;
    gMarkList.getMarkCnt(list, &n);
    for (int32_t i = 0; i < n; ++i) {
        char name[kMarkNameBytes] = {};
        uint64_t pos = 0;
        gMarkList.getMarkName(list, i, name);
        gMarkList.getMarkFs(list, i, &pos);
        out.push_back({name, pos});
    }
    return out;
}

}  // namespace

TEST(DsfTag, HandlerWritesDateAndSoftwareFrames) {
    sxtest::TempDir dir;
    const std::string path = dir.file("w.dsf");
    std::time_t before = std::time(nullptr);
    writeDsf(path, 2822400, {channelBytes(4096, 1), channelBytes(4096, 2)});
    std::time_t after = std::time(nullptr);
    Bytes b = sxtest::readAll(path);
    const size_t at = le64(b, 20);
    EXPECT_EQ(str(b, at, 6), std::string("ID3\x03\x00\x00", 6));
    EXPECT_EQ(Bytes(b.begin() + at + 6, b.begin() + at + 10), (Bytes{0, 0, 0, 96}));

    auto frames = framesOf(b, at);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].id, "TYER");
    EXPECT_EQ(frames[1].id, "TDAT");
    EXPECT_EQ(frames[2].id, "TIME");
    EXPECT_EQ(frames[3].id, "TSSE");
    EXPECT_EQ(frames[3].data, latin1Text(kSoftware));
    EXPECT_EQ(frames[3].data.size(), 38u);

    // The local time of writing (either side of a minute boundary).
    bool matched = false;
    for (std::time_t t : {before, after}) {
        std::tm lt{};
        localtime_r(&t, &lt);
        matched = matched || (frames[0].data == latin1Text(std::to_string(lt.tm_year + 1900)) &&
                              frames[1].data == latin1Text(two(lt.tm_mday) + two(lt.tm_mon + 1)) &&
                              frames[2].data == latin1Text(two(lt.tm_hour) + two(lt.tm_min)));
    }
    EXPECT_TRUE(matched);
}

TEST(DsfTag, SyncsafeNumbers) {
    struct Case {
        uint32_t value;
        Bytes bytes;
    } cases[] = {
        {300, {0x00, 0x00, 0x02, 0x2C}},        {0, {0, 0, 0, 0}}, {127, {0, 0, 0, 0x7F}}, {128, {0, 0, 1, 0}},
        {0x0FFFFFFF, {0x7F, 0x7F, 0x7F, 0x7F}},
    };
    for (const Case &c : cases) {
        uint8_t b[4];
        gClass_DsfFile::createID3v2tagSize(b, c.value);
        EXPECT_EQ(Bytes(b, b + 4), c.bytes) << c.value;
        EXPECT_EQ(gClass_DsfFile::getTagSize(b), c.value);
    }
}

TEST(DsfTag, MarkEntryAndEmptyMarkFrameLayout) {
    uint8_t e[kDsfMarkEntryBytes];
    dsfTag_makeMarkEntry(e, "MARK01", 2822400, 2822400);
    Bytes want;
    append(want, std::string("MARK01      @fs=00000000002B1100   "));
    want.push_back(0);
    append(want, Bytes{0, 0, 0x03, 0xE8});  // 1000 ms
    EXPECT_EQ(Bytes(e, e + 40), want);
    EXPECT_EQ(dsfTag_markEntryPosition(e, 2822400), 2822400u);

    gClass_DsfFile dsf;
    uint8_t f[64];
    uint32_t len = 0;
    ASSERT_EQ(dsf.saveMarkData(f, &len), 0);
    ASSERT_EQ(len, 37u);
    Bytes frameWant;
    append(frameWant, std::string("SYLT"));
    append(frameWant, Bytes{0, 0, 0, 27, 0, 0, 0, 'e', 'n', 'g', 2, 4, 0});
    append(frameWant, std::string("KAVELO DSF MARK"));
    append(frameWant, Bytes{0, 0, 0, 1, 0x0C});
    EXPECT_EQ(Bytes(f, f + len), frameWant);
}

TEST(DsfTag, LoadsMarksFromTextOrMilliseconds) {
    sxtest::TempDir dir;
    Bytes frames = frame("TYER", latin1Text("2024"));
    append(frames, markFrame({
                       markEntry("MARK01      @fs=00000000002B1100   ", 77),  // the digits win over the stamp
                       markEntry("MARK02", 2000),                             // no "@fs=": milliseconds
                       markEntry("MARK03      @fs=0000000000001234   ", 0),
                   }));
    append(frames, frame("TIT2", latin1Text("after the marks")));
    const std::string path = fileWithTag(dir, tag(3, frames));

    gMarkList.create(3);
    gMarkList.addMark(3, 1, 1, const_cast<char *>("OLD01"), 5, 5, 4);
    gClass_DsfFile dsf;
    File f(path, "rb");
    ASSERT_EQ(dsf.loadCueData(f.fp, 0, 3), 0);
    auto marks = marksOf(3);
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].name, "MARK03");
    EXPECT_EQ(marks[0].position, 0x1234u);
    EXPECT_EQ(marks[1].name, "MARK01");
    EXPECT_EQ(marks[1].position, 2822400u);
    EXPECT_EQ(marks[2].name, "MARK02");
    EXPECT_EQ(marks[2].position, 5644800u);
    int32_t flag = 1, num = 0;
    gMarkList.getModifyFlag(3, &flag);
    EXPECT_EQ(flag, 0);
    gMarkList.getMarkNum(3, 2, &num);
    EXPECT_EQ(num, 3);
    EXPECT_EQ(sxtest::s16(dsf.title()), u"after the marks");
    EXPECT_EQ(dsf.framesPresent(), uint32_t{kDsfTagHasTYER});
}

TEST(DsfTag, ReadsVersions22To24) {
    sxtest::TempDir dir;
    gClass_DsfFile dsf;
    {
        // 2.2: three-character ids; marks are never taken from it.
        Bytes fr = v22Frame("TT2", latin1Text("Old Title"));
        append(fr, v22Frame("TP1", latin1Text("Old Band")));
        append(fr, v22Frame("TSS", latin1Text("Old Tool")));
        append(fr, v22Frame("SLT", Bytes(30, 'x')));
        const std::string path = fileWithTag(dir, tag(2, fr), "v22.dsf");
        File f(path, "rb");
        ASSERT_EQ(dsf.readID3v2Tag(f.fp), 0);
        EXPECT_EQ(sxtest::s16(dsf.title()), u"Old Title");
        EXPECT_EQ(sxtest::s16(dsf.artist()), u"Old Band");
        EXPECT_EQ(sxtest::s16(dsf.software()), u"Old Tool");
        EXPECT_EQ(dsf.markEntryCount(), 0u);
    }
    {
        // 2.3: UTF-16 keeps its byte-order mark as the first unit.
        Bytes fr = frame("TIT2", utf16Text(u"Caf\u00e9"));
        append(fr, frame("TPE1", latin1Text("Band")));
        append(fr, frame("TDAT", latin1Text("0101")));
        append(fr, markFrame({markEntry("MARK01      @fs=0000000000000010   ", 0)}));
        append(fr, Bytes(64, 0));  // padding
        const std::string path = fileWithTag(dir, tag(3, fr), "v23.dsf");
        File f(path, "rb");
        ASSERT_EQ(dsf.readID3v2Tag(f.fp), 0);
        EXPECT_EQ(sxtest::s16(dsf.title()), u"\ufeffCaf\u00e9");
        EXPECT_EQ(sxtest::s16(dsf.artist()), u"Band");
        EXPECT_EQ(dsf.framesPresent(), uint32_t{kDsfTagHasTDAT});
        EXPECT_EQ(dsf.markEntryCount(), 1u);
    }
    {
        // 2.4: frame sizes are syncsafe. 200 characters give a size whose
        // plain reading (0x14A) would land in the middle of the next frame.
        const std::string longTitle(200, 't');
        Bytes fr = frame("TIT2", latin1Text(longTitle), 4);
        append(fr, frame("TPE1", latin1Text("Band 4"), 4));
        std::vector<Bytes> entries;
        for (int i = 0; i < 5; ++i)
            entries.push_back(markEntry(
                "MARK0" + std::to_string(i + 1) + "      @fs=000000000000000" + std::to_string(i + 1) + "   ", 0));
        Bytes mf = markFrame(entries);
        Bytes mdata(mf.begin() + 10, mf.end());
        append(fr, frame("SYLT", mdata, 4));
        append(fr, frame("TIME", latin1Text("1200"), 4));
        const std::string path = fileWithTag(dir, tag(4, fr), "v24.dsf");
        File f(path, "rb");
        ASSERT_EQ(dsf.readID3v2Tag(f.fp), 0);
        EXPECT_EQ(sxtest::s16(dsf.title()), std::u16string(longTitle.begin(), longTitle.end()));
        EXPECT_EQ(sxtest::s16(dsf.artist()), u"Band 4");
        EXPECT_EQ(dsf.markEntryCount(), 5u);
        EXPECT_EQ(dsf.framesPresent(), uint32_t{kDsfTagHasTIME});
    }
}

TEST(DsfTag, ExtendedHeaders) {
    sxtest::TempDir dir;
    Bytes frames = frame("TPE1", latin1Text("Ext Band"));
    // 2.3: size 10 (flags, padding size 4, CRC), then 20 bytes of padding.
    Bytes body{0, 0, 0, 10, 0x80, 0, 0, 0, 0, 20, 1, 2, 3, 4};
    append(body, frames);
    append(body, Bytes(20, 0));
    {
        const std::string path = fileWithTag(dir, tag(3, body, 0x40), "ext10.dsf");
        gClass_DsfFile dsf;
        File f(path, "rb");
        EXPECT_EQ(dsf.readID3v2Tag(f.fp), 0);
        EXPECT_EQ(sxtest::s16(dsf.artist()), u"Ext Band");
    }
    {
        Bytes big{0, 0, 0x4E, 0x20};  // 20000
        append(big, Bytes(20000, 0));
        append(big, frames);
        const std::string path = fileWithTag(dir, tag(3, big, 0x40), "ext20000.dsf");
        gClass_DsfFile dsf;
        File f(path, "rb");
        testing::internal::CaptureStdout();
        EXPECT_EQ(dsf.readID3v2Tag(f.fp), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n expHeadSize size over!");
        EXPECT_EQ(dsf.artist()[0], 0);
    }
    {
        // 2.4: the syncsafe size counts the size field itself.
        Bytes b4{0, 0, 0, 6, 1, 0};
        append(b4, frame("TPE1", latin1Text("Ext Band 4"), 4));
        const std::string path = fileWithTag(dir, tag(4, b4, 0x40), "ext24.dsf");
        gClass_DsfFile dsf;
        File f(path, "rb");
        EXPECT_EQ(dsf.readID3v2Tag(f.fp), 0);
        EXPECT_EQ(sxtest::s16(dsf.artist()), u"Ext Band 4");
    }
}

TEST(DsfTag, CopiedFramesAreKeptWithoutDuplicates) {
    for (uint8_t version : {3, 4}) {
        sxtest::TempDir dir;
        Bytes fr = frame("TYER", latin1Text("1999"), version);
        append(fr, frame("TIT2", latin1Text(std::string(150, 'k')), version));
        append(fr, markFrame({markEntry("MARK01", 5)}));
        append(fr, frame("TSSE", latin1Text("Other Tool"), version));
        const std::string path = fileWithTag(dir, tag(version, fr));

        gClass_DsfFile dsf;
        File f(path, "rb+");
        ASSERT_EQ(dsf.copyID3v2TagToTemp(f.fp), 0);
        const std::string work = dsf.workFilePath();
        ASSERT_FALSE(work.empty());
        EXPECT_EQ(std::filesystem::path(work).parent_path(), std::filesystem::path(dir.path()));
        EXPECT_EQ(std::filesystem::path(work).filename().string().rfind("_id3v2tagTemp.bin", 0), 0u);
        EXPECT_EQ(dsf.framesPresent(), uint32_t{kDsfTagHasTYER | kDsfTagHasTSSE});
        // TYER, TIT2 and TSSE with plain sizes; the mark frame is dropped.
        EXPECT_EQ(dsf.keptTagSize(), 16u + 162 + 22);

        ASSERT_EQ(dsf.updateDataSize(f.fp, 8192, 32768), 0);
        f.close();
        EXPECT_FALSE(std::filesystem::exists(work)) << "the work file is removed after use";
        Bytes b = sxtest::readAll(path);
        const size_t at = le64(b, 20);
        EXPECT_EQ(le64(b, 12), b.size());
        auto frames = framesOf(b, at);
        std::vector<std::string> ids;
        for (const Frame &x : frames) ids.push_back(x.id);
        EXPECT_EQ(ids, (std::vector<std::string>{"TYER", "TIT2", "TSSE", "TDAT", "TIME"})) << int(version);
        EXPECT_EQ(frames[0].data, latin1Text("1999"));
        EXPECT_EQ(frames[1].data.size(), 152u);
        EXPECT_EQ(frames[2].data, latin1Text("Other Tool"));
    }
}

TEST(DsfTag, TwoRebuildsAtOnceUseTheirOwnWorkFiles) {
    sxtest::TempDir dir;
    const std::string p1 = fileWithTag(dir, tag(3, frame("TIT2", latin1Text("One"))), "one.dsf");
    const std::string p2 = fileWithTag(dir, tag(3, frame("TIT2", latin1Text("Two"))), "two.dsf");
    gClass_DsfFile a, b;
    File f1(p1, "rb+"), f2(p2, "rb+");
    ASSERT_EQ(a.copyID3v2TagToTemp(f1.fp), 0);
    ASSERT_EQ(b.copyID3v2TagToTemp(f2.fp), 0);
    EXPECT_NE(a.workFilePath(), b.workFilePath());
    ASSERT_EQ(a.saveCueData(f1.fp, 0, 0, 0), 0);
    ASSERT_EQ(b.saveCueData(f2.fp, 0, 0, 0), 0);
    f1.close();
    f2.close();
    for (auto [path, title] : {std::pair<std::string, std::u16string>{p1, u"One"}, {p2, u"Two"}}) {
        gClass_DsfFile r;
        File f(path, "rb");
        ASSERT_EQ(r.readID3v2Tag(f.fp), 0);
        EXPECT_EQ(sxtest::s16(r.title()), title);
    }
    size_t left = 0;
    for (auto &e : std::filesystem::directory_iterator(dir.path()))
        left += e.path().filename().string().rfind("_id3v2tagTemp", 0) == 0;
    EXPECT_EQ(left, 0u);
}

// Damaged tags: each row builds a tag by hand. Scanning, loading marks,
// copying frames and rewriting the tag must end cleanly.
TEST(DsfTag, DamagedTagsFailCleanly) {
    auto manyEntries = [](int n, size_t textLen) {
        std::vector<Bytes> e;
        for (int i = 0; i < n; ++i) e.push_back(markEntry(std::string(textLen, 'A' + i % 26), i));
        return markFrame(e);
    };
    Bytes longEntryFrame = markFrame({markEntry("MARK01", 1)});
    {
        // An entry whose text runs 50 characters before its terminator,
        // between two good ones.
        Bytes d(longEntryFrame.begin() + 10, longEntryFrame.end());
        Bytes bad(50, 'L');
        bad.push_back(0);
        append(bad, Bytes{0, 0, 0, 9});
        append(d, bad);
        append(d, markEntry("MARK02", 2000));
        longEntryFrame = frame("SYLT", d);
    }
    Bytes hugeMark = manyEntries(600, 35);  // 24000 bytes: more than the read buffer, more than 100 entries

    struct Case {
        const char *name;
        Bytes tagBytes;
        int scan;     // readID3v2Tag
        int entries;  // entries found (-1: not checked)
    } cases[] = {
        {"frame size past the tag",
         tag(3,
             [] {
                 Bytes f = frame("TIT2", latin1Text("x"));
                 f[7] = 0xF0;
                 return f;
             }()),
         -1, 0},
        {"frame size 0xFFFFFFFF",
         tag(3,
             [] {
                 Bytes f = frame("TIT2", latin1Text("x"));
                 f[4] = f[5] = f[6] = f[7] = 0xFF;
                 return f;
             }()),
         -1, 0},
        {"zero-size frames",
         tag(3,
             [] {
                 Bytes f = frame("TIT2", {});
                 append(f, frame("SYLT", {}));
                 append(f, frame("TPE1", {}));
                 return f;
             }()),
         0, 0},
        {"tag size past the file", tagHeader(3, 0x0FFFFFFF), 0, 0},
        {"cut inside a frame header",
         [] {
             Bytes t = tag(3, frame("TIT2", latin1Text("abc")));
             t.resize(15);
             return t;
         }(),
         0, 0},
        {"more than 100 entries", tag(3, manyEntries(150, 35)), 0, 100},
        {"frame larger than the read buffer", tag(3, hugeMark), 0, 100},
        {"entry text too long", tag(3, longEntryFrame), 0, 2},
        {"entry without its stamp",
         tag(3,
             [] {
                 Bytes f = markFrame({markEntry("MARK01", 1)});
                 f.resize(f.size() - 2);
                 f[7] -= 2;
                 return f;
             }()),
         0, 0},
        {"extended header 5 bytes", tag(3, Bytes{0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40), -1, 0},
        {"extended header past the tag", tag(3, Bytes{0, 0, 0x3F, 0, 0, 0, 0, 0, 0, 0}, 0x40), -1, 0},
        {"padding larger than the tag", tag(3, Bytes{0, 0, 0, 6, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0}, 0x40), -1, 0},
        {"extended header 16380 bytes",
         [] {
             Bytes b{0, 0, 0x3F, 0xFC};
             append(b, Bytes(16380, 0));
             append(b, frame("TPE1", latin1Text("y")));
             return tag(3, b, 0x40);
         }(),
         0, 0},
        {"2.2 frame past the tag",
         tag(2,
             [] {
                 Bytes f = v22Frame("TT2", latin1Text("x"));
                 f[3] = 0x7F;
                 return f;
             }()),
         0, 0},
        {"2.4 size not syncsafe",
         tag(4,
             [] {
                 Bytes f = frame("TIT2", latin1Text("x"), 4);
                 f[7] = 0xFF;
                 return f;
             }()),
         -1, 0},
        {"UTF-16 odd length", tag(3, frame("TIT2", Bytes{1, 0xFF, 0xFE, 'a'})), 0, 0},
    };
    for (const Case &c : cases) {
        sxtest::TempDir dir;
        const std::string path = fileWithTag(dir, c.tagBytes);
        SCOPED_TRACE(c.name);
        gClass_DsfFile dsf;
        File f(path, "rb+");
        EXPECT_EQ(dsf.readID3v2Tag(f.fp), c.scan);
        if (c.entries >= 0) {
            EXPECT_EQ(dsf.markEntryCount(), static_cast<uint32_t>(c.entries));
        }
        EXPECT_EQ(dsf.loadCueData(f.fp, 0, 4), 0);
        int32_t n = -1;
        gMarkList.getMarkCnt(4, &n);
        EXPECT_LE(n, 99);
        (void)dsf.copyID3v2TagToTemp(f.fp);
        ASSERT_EQ(dsf.updateDataSize(f.fp, 8192, 32768), 0);
        f.close();
        Bytes b = sxtest::readAll(path);
        EXPECT_EQ(le64(b, 12), b.size());
        EXPECT_EQ(str(b, le64(b, 20), 4), std::string("ID3\x03", 4));
    }
}

// Random damage to a full tag (fixed seed): whatever the bytes say, every
// tag operation ends cleanly and the file can still be finalised.
TEST(DsfTag, RandomlyDamagedTagsNeverCrash) {
    Bytes fr = frame("TIT2", utf16Text(u"Title"));
    append(fr, frame("TYER", latin1Text("2020")));
    append(fr, markFrame({markEntry("MARK01      @fs=0000000000000100   ", 1),
                          markEntry("MARK02      @fs=0000000000000200   ", 2)}));
    append(fr, frame("TSSE", latin1Text("Tool")));
    sxtest::TempDir dir;
    const std::string path = fileWithTag(dir, tag(3, fr));
    const Bytes good = sxtest::readAll(path);
    const size_t at = le64(good, 20);
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 300; ++round) {
        Bytes b = good;
        const int flips = 1 + next() % 6;
        for (int i = 0; i < flips; ++i) b[at + next() % (b.size() - at)] = static_cast<uint8_t>(next());
        if (next() % 4 == 0) b[at + 3] = static_cast<uint8_t>(2 + next() % 3);  // another version
        if (next() % 5 == 0) b.resize(at + next() % (b.size() - at));
        ASSERT_TRUE(sxtest::writeAll(path, b));
        gClass_DsfFile dsf;
        File f(path, "rb+");
        (void)dsf.readID3v2Tag(f.fp);
        ASSERT_LE(dsf.markEntryCount(), 100u);
        EXPECT_EQ(dsf.loadCueData(f.fp, 0, 5), 0);
        (void)dsf.copyID3v2TagToTemp(f.fp);
        ASSERT_EQ(dsf.updateDataSize(f.fp, 8192, 32768), 0) << "round " << round;
    }
}
