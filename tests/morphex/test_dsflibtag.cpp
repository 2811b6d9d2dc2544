#include "morphex/dsflibtag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "dsftagfixture.h"
#include "tagrecord.h"
#include "testutil.h"
#include "tools.h"

using namespace dsffix;

namespace {

// A tag record as the program creates it: empty texts, no date.
struct TagRec : sxtest::TagRecord {
    TagRec() { unsetDate(); }
};

std::u16string text(const std::vector<wchar16> &v) { return sxtest::s16(v.data()); }

// Opens path for reading and writing, runs fn on it and closes it.
template <typename Fn>
int withFile(const std::string &path, const char *mode, Fn fn) {
    FILE *fp = nullptr;
    auto p = sxtest::u16(path);
    if (v_open(&fp, p.data(), mode) != 0 || !fp) return -999;
    int rc = fn(fp);
    v_close(fp);
    return rc;
}

int save(const std::string &path, int list = 0) {
    return withFile(path, "rb+", [&](FILE *fp) { return dsflib_saveCueData(fp, 0, list, 0); });
}

// Fills mark list `list` with marks named MARKnn at the given positions.
void setMarks(int list, const std::vector<uint64_t> &positions) {
    ASSERT_EQ(gMarkList.create(list), kMarkOk);
    for (uint64_t p : positions) {
        char name[16] = "MARK";
        ASSERT_EQ(gMarkList.addMark(list, 1, -1, name, p, p, 0), kMarkOk);
    }
    ASSERT_EQ(gMarkList.setModifyFlag(list), kMarkOk);
}

class DsfLibTag : public ::testing::Test {
protected:
    void SetUp() override {
        // Start every test without a waiting registration.
        TagRec none;
        auto f = dir.file("none.dsf");
        ASSERT_TRUE(sxtest::writeAll(f, dsfFile()));
        ASSERT_EQ(withFile(f, "rb", [&](FILE *fp) { return dsflib_loadTagData(fp, &none.info); }), 0);
    }
    std::string file(const std::string &name, const std::vector<uint8_t> &bytes = dsfFile()) {
        auto f = dir.file(name);
        EXPECT_TRUE(sxtest::writeAll(f, bytes));
        return f;
    }
    sxtest::TempDir dir;
};

// A registered record with track, texts and a full date and time.
TagRec exampleTag() {
    TagRec t;
    t.info.trackNo = 3;
    t.info.totalTracks = 12;
    TagRec::set(t.title, "Title");
    TagRec::set(t.artist, "Artist");
    TagRec::set(t.album, "Album");
    t.info.year = 2024;
    t.info.month = 5;
    t.info.day = 17;
    t.info.hour = 9;
    t.info.minute = 5;
    return t;
}

std::vector<uint8_t> utf16Data(const std::string &s, bool genre = false) {
    std::vector<uint8_t> d = utf16(s);
    if (genre) d.push_back(0);
    return d;
}

TEST_F(DsfLibTag, WritesTheRegisteredFramesInOrderThenTheMarks) {
    auto f = file("a.dsf");
    TagRec t = exampleTag();
    TagRec::set(t.comment, "Note");
    TagRec::set(t.genre, "Jazz");
    ASSERT_EQ(dsflib_registerTagData(&t.info), 0);
    setMarks(0, {2822400, 5644800});
    ASSERT_EQ(save(f), 0);

    auto bytes = sxtest::readAll(f);
    Parsed p = parse(bytes);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.offset, 92u + 8192u);
    std::vector<std::string> ids;
    for (auto &fr : p.frames) ids.push_back(fr.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"TRCK", "TIT2", "TPE1", "TALB", "TYER", "TDAT", "TIME", "COMM", "TCON",
                                             "TSSE", "SYLT"}));
    EXPECT_EQ(p.find("TRCK")->data, (std::vector<uint8_t>{0, '3', '/', '1', '2', 0}));
    EXPECT_EQ(p.find("TIT2")->data, utf16Data("Title"));
    EXPECT_EQ(p.find("TPE1")->data, utf16Data("Artist"));
    EXPECT_EQ(p.find("TALB")->data, utf16Data("Album"));
    EXPECT_EQ(p.find("TYER")->data, (std::vector<uint8_t>{0, '2', '0', '2', '4', 0}));
    EXPECT_EQ(p.find("TDAT")->data, (std::vector<uint8_t>{0, '1', '7', '0', '5', 0}));
    EXPECT_EQ(p.find("TIME")->data, (std::vector<uint8_t>{0, '0', '9', '0', '5', 0}));
    // A valid comment frame: encoding, language, empty description, text.
    std::vector<uint8_t> comm = {1, 'e', 'n', 'g', 0xFF, 0xFE, 0, 0};
    auto note = utf16("Note", false);
    comm.insert(comm.end(), note.begin(), note.end());
    EXPECT_EQ(p.find("COMM")->data, comm);
    EXPECT_EQ(p.find("TCON")->data, utf16Data("Jazz", true));
    std::string sw = "KAVELO Sonvex Editor    v01.10 b0096";
    std::vector<uint8_t> tsse = latin(sw);
    tsse.push_back(0);
    EXPECT_EQ(p.find("TSSE")->data, tsse);

    const auto &sylt = p.find("SYLT")->data;
    ASSERT_EQ(sylt.size(), 107u);
    EXPECT_EQ(std::memcmp(sylt.data(), "\0eng\x02\x04\0KAVELO DSF MARK\0\0\0\x01\x0C", 27), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sylt[27]), 36),
              std::string("MARK01      @fs=00000000002B1100   \0", 36));
    EXPECT_EQ(getBE32(&sylt[27 + 36]), 1000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sylt[67]), 32), "MARK02      @fs=0000000000562200");
    EXPECT_EQ(getBE32(&sylt[67 + 36]), 2000u);
}

TEST_F(DsfLibTag, RewritingKeepsTheFramesAndReplacesOnlyTheMarks) {
    auto f = file("b.dsf");
    TagRec t = exampleTag();
    ASSERT_EQ(dsflib_registerTagData(&t.info), 0);
    setMarks(0, {100, 200});
    ASSERT_EQ(save(f), 0);
    Parsed first = parse(sxtest::readAll(f));
    ASSERT_TRUE(first.ok);

    setMarks(0, {100, 200, 300});
    ASSERT_EQ(save(f), 0);
    Parsed second = parse(sxtest::readAll(f));
    ASSERT_TRUE(second.ok);
    ASSERT_EQ(second.frames.size(), first.frames.size());
    for (size_t i = 0; i + 1 < first.frames.size(); ++i) {
        EXPECT_EQ(second.frames[i].id, first.frames[i].id);
        EXPECT_EQ(second.frames[i].data, first.frames[i].data);
    }
    EXPECT_EQ(second.frames.back().id, "SYLT");
    EXPECT_EQ(second.frames.back().data.size(), 27u + 3 * 40);
    EXPECT_EQ(second.count("TSSE"), 1u);
    EXPECT_EQ(second.offset, first.offset);

    // Without unsaved changes in the list nothing is written.
    ASSERT_EQ(gMarkList.clrModifyFlag(0), kMarkOk);
    auto before = sxtest::readAll(f);
    ASSERT_EQ(save(f), 0);
    EXPECT_EQ(sxtest::readAll(f), before);

    // ... except that a pointer naming no tag (a size update that found
    // nothing to write) is cleared.
    auto bare = file("bare.dsf");
    ASSERT_EQ(save(bare), 0);
    auto after = sxtest::readAll(bare);
    EXPECT_EQ(getLE(after, 20, 8), 0u);
    EXPECT_EQ(after.size(), dsfFile().size());

    // No work file stays behind.
    for (const auto &e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find("_id3v2tagTemp"), std::string::npos) << e.path();
}

TEST_F(DsfLibTag, AlbumArtFollowsTheMarksOnceAndOnlyWhenItIsAPicture) {
    std::vector<uint8_t> png(1000, 0x11);
    std::memcpy(png.data(), "\x89PNG\r\n\x1a\n", 8);
    std::vector<uint8_t> jpeg(500, 0x22);
    std::memcpy(jpeg.data(), "\xFF\xD8\xFF\xE1", 4);
    const std::string pngPath = file("art.png", png);
    const std::string jpegPath = file("art.jpg", jpeg);
    const std::string textPath = file("art.txt", bytes("not a picture at all"));

    struct Case {
        std::string picture;
        int64_t apicData;  // -1: no frame
        const char *mime;
    } cases[] = {
        {pngPath, 1013, "image/png"},
        {jpegPath, 514, "image/jpeg"},
        {textPath, -1, nullptr},
        {dir.file("missing.png"), -1, nullptr},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.picture);
        auto f = file("art" + std::to_string(n++) + ".dsf");
        TagRec t;
        TagRec::set(t.picture, c.picture);
        t.info.hasPicture = 1;
        ASSERT_EQ(dsflib_registerTagData(&t.info), 0);
        setMarks(0, {10});
        ASSERT_EQ(save(f), 0);
        Parsed p = parse(sxtest::readAll(f));
        ASSERT_TRUE(p.ok);  // the tag size matches what was written
        if (c.apicData < 0) {
            EXPECT_EQ(p.count("APIC"), 0u);
            continue;
        }
        ASSERT_EQ(p.frames.back().id, "APIC");
        EXPECT_EQ(p.frames[p.frames.size() - 2].id, "SYLT");
        const auto &d = p.frames.back().data;
        ASSERT_EQ(static_cast<int64_t>(d.size()), c.apicData);
        size_t mimeLen = std::strlen(c.mime);
        EXPECT_EQ(d[0], 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&d[1])), c.mime);
        EXPECT_EQ(d[1 + mimeLen + 1], 0);  // picture type
        EXPECT_EQ(d[1 + mimeLen + 2], 0);  // empty description
        const auto &pic = c.mime[6] == 'p' ? png : jpeg;
        EXPECT_TRUE(std::equal(pic.begin(), pic.end(), d.begin() + static_cast<long>(mimeLen) + 4));

        // A second write in the same job keeps the one picture frame.
        setMarks(0, {10, 20});
        ASSERT_EQ(save(f), 0);
        Parsed again = parse(sxtest::readAll(f));
        ASSERT_TRUE(again.ok);
        EXPECT_EQ(again.count("APIC"), 1u);
    }
}

TEST_F(DsfLibTag, LongTextsWithAFullMarkListFitAndReadBack) {
    auto f = file("full.dsf");
    TagRec t = exampleTag();
    std::string longText(kTagTextUnits - 1, 'x');
    TagRec::set(t.title, longText);
    TagRec::set(t.artist, longText);
    TagRec::set(t.album, longText);
    TagRec::set(t.genre, longText);
    TagRec::set(t.comment, std::string(kTagCommentUnits - 1, 'c'));
    ASSERT_EQ(dsflib_registerTagData(&t.info), 0);
    std::vector<uint64_t> pos;
    for (uint64_t i = 0; i < kMarkMax; ++i) pos.push_back(1000 + i * 4410);
    setMarks(0, pos);
    ASSERT_EQ(save(f), 0);
    Parsed p = parse(sxtest::readAll(f));
    ASSERT_TRUE(p.ok);
    ASSERT_NE(p.find("SYLT"), nullptr);
    EXPECT_EQ(p.find("SYLT")->data.size(), 27u + 40u * kMarkMax);

    ASSERT_EQ(gMarkList.create(1), kMarkOk);
    ASSERT_EQ(withFile(f, "rb", [&](FILE *fp) { return dsflib_loadCueData(fp, 0, 1); }), 0);
    int32_t count = 0;
    ASSERT_EQ(gMarkList.getMarkCnt(1, &count), kMarkOk);
    ASSERT_EQ(count, kMarkMax);
    for (int i = 0; i < count; ++i) {
        uint64_t at = 0;
        ASSERT_EQ(gMarkList.getMarkFs(1, i, &at), kMarkOk);
        EXPECT_EQ(at, pos[static_cast<size_t>(i)]);
    }
    TagRec back;
    ASSERT_EQ(withFile(f, "rb", [&](FILE *fp) { return dsflib_loadTagData(fp, &back.info); }), 0);
    // The text comes back whole, without the frame's byte-order mark.
    EXPECT_EQ(text(back.title), std::u16string(kTagTextUnits - 1, u'x'));
    EXPECT_EQ(text(back.comment).size(), kTagCommentUnits - 1u);
}

int load(const std::string &path, TagRec &t) {
    return withFile(path, "rb", [&](FILE *fp) { return dsflib_loadTagData(fp, &t.info); });
}

TEST_F(DsfLibTag, ReadingClampsDatesAndTimes) {
    struct Case {
        const char *tyer, *tdat, *time;
        int year, day, month, hour, minute;
    } cases[] = {
        {"2024", "1705", "0905", 2024, 17, 5, 9, 5},
        {"1999", "3213", "2575", 1999, 31, 12, 23, 59},
        {"0000", "0000", "0000", 0, 1, 1, 0, 0},
        {"98765", "9", "7", 9876, 9, 1, 7, 0},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tdat);
        auto f = file("d" + std::to_string(n++) + ".dsf",
                      withTag(dsfFile(), tag(3, {frame("TYER", latin(c.tyer)), frame("TDAT", latin(c.tdat)),
                                                 frame("TIME", latin(c.time))})));
        TagRec t;
        ASSERT_EQ(load(f, t), 0);
        EXPECT_EQ(t.info.year, c.year);
        EXPECT_EQ(t.info.day, c.day);
        EXPECT_EQ(t.info.month, c.month);
        EXPECT_EQ(t.info.hour, c.hour);
        EXPECT_EQ(t.info.minute, c.minute);
    }
}

TEST_F(DsfLibTag, ReadsTextsCommentsOfBothFormsAndThePicture) {
    std::vector<uint8_t> oldComm = utf16("Old");
    oldComm.push_back(0);
    std::vector<uint8_t> newComm = {0, 'e', 'n', 'g', 0};
    for (char c : std::string("New")) newComm.push_back(static_cast<uint8_t>(c));
    std::vector<uint8_t> otherComm = {0, 'e', 'n', 'g', 'i', 'T', 'u', 'n', 0, 'x', 'x'};
    std::vector<uint8_t> apic = {0};
    for (char c : std::string("image/png")) apic.push_back(static_cast<uint8_t>(c));
    apic.push_back(0);
    apic.push_back(3);  // front cover
    for (char c : std::string("cover")) apic.push_back(static_cast<uint8_t>(c));
    apic.push_back(0);
    auto png = tinyPng();
    apic.insert(apic.end(), png.begin(), png.end());

    struct Case {
        std::vector<uint8_t> comm;
        std::u16string comment;
    } cases[] = {{oldComm, u"Old"}, {newComm, u"New"}, {otherComm, u""}};
    int n = 0;
    for (const auto &c : cases) {
        auto f = file("t" + std::to_string(n++) + ".dsf",
                      withTag(dsfFile(), tag(3, {frame("TIT2", utf16("Song")), frame("TPE1", latin("Caf\xE9")),
                                                 frame("TALB", utf16("")), frame("TCON", latin("Jazz")),
                                                 frame("COMM", c.comm), frame("APIC", apic)})));
        TagRec t;
        TagRec::set(t.album, "keep me?");
        TagRec::set(t.picture, dir.file("out" + std::to_string(n) + ".png"));
        ASSERT_TRUE(sxtest::writeAll(dir.file("out" + std::to_string(n) + ".png"), bytes("stale")));
        ASSERT_EQ(load(f, t), 0);
        EXPECT_EQ(text(t.title), u"Song");
        EXPECT_EQ(text(t.artist), u"Caf\u00E9");  // ISO 8859-1, not sign-extended
        EXPECT_EQ(text(t.album), u"");            // an empty text empties the field
        EXPECT_EQ(text(t.genre), u"Jazz");
        EXPECT_EQ(text(t.comment), c.comment);
        EXPECT_EQ(t.info.hasPicture, 1);
        EXPECT_EQ(sxtest::readAll(dir.file("out" + std::to_string(n) + ".png")), png);
    }
}

TEST_F(DsfLibTag, Version24SizesAreSyncsafeAndVersion22LeavesTheRecordAlone) {
    // 200 units of title: a frame size above 127 differs between the plain
    // and the syncsafe form.
    std::string longTitle(200, 't');
    auto f4 = file("v24.dsf",
                   withTag(dsfFile(), tag(4, {frame("TIT2", utf16(longTitle), 4), frame("TPE1", utf16("Band"), 4)})));
    TagRec t;
    ASSERT_EQ(load(f4, t), 0);
    EXPECT_EQ(text(t.title), std::u16string(200, u't'));
    EXPECT_EQ(text(t.artist), u"Band");

    std::vector<uint8_t> tt2 = {'T', 'T', '2', 0, 0, 5, 0, 'A', 'b', 'c', 0};
    auto f2 = file("v22.dsf", withTag(dsfFile(), tag(2, {tt2})));
    TagRec u;
    TagRec::set(u.title, "before");
    ASSERT_EQ(load(f2, u), 0);
    EXPECT_EQ(text(u.title), u"before");
    ASSERT_EQ(withFile(f2, "rb", [&](FILE *fp) { return dsflib_loadCueData(fp, 0, 2); }), 0);
    int32_t count = -1;
    ASSERT_EQ(gMarkList.getMarkCnt(2, &count), kMarkOk);
    EXPECT_EQ(count, 0);
}

// A mark frame built by hand: entries of text and time stamp.
std::vector<uint8_t> markFrameData(const std::vector<std::pair<std::string, uint32_t>> &entries) {
    std::vector<uint8_t> d = {0, 'e', 'n', 'g', 2, 4, 0};
    const char desc[] = "KAVELO DSF MARK";
    d.insert(d.end(), desc, desc + 16);
    appendBE32(d, 0x10C);
    for (const auto &e : entries) {
        d.insert(d.end(), e.first.begin(), e.first.end());
        d.push_back(0);
        appendBE32(d, e.second);
    }
    return d;
}

TEST_F(DsfLibTag, MarksLoadFromPositionOrMillisecondsBehindOtherFrames) {
    auto sylt = markFrameData({{"MARK01      @fs=00000000002B1100   ", 7},
                               {"MARK02      no position here", 2000},
                               {"AB          @fs=0000000000000010   ", 0}});
    auto f = file("m.dsf", withTag(dsfFile(), tag(3, {frame("TYER", latin("2020")), frame("TIME", latin("1010")),
                                                      frame("TCON", utf16("Pop")), frame("SYLT", sylt)})));
    ASSERT_EQ(withFile(f, "rb", [&](FILE *fp) { return dsflib_loadCueData(fp, 0, 3); }), 0);
    int32_t count = 0;
    ASSERT_EQ(gMarkList.getMarkCnt(3, &count), kMarkOk);
    ASSERT_EQ(count, 3);
    // In position order: AB (exact), MARK01 (exact), MARK02 (2000 ms).
    const uint64_t wantPos[3] = {16, 2822400, 5644800};
    const char *wantName[3] = {"AB", "MARK01", "MARK02"};
    for (int i = 0; i < 3; ++i) {
        uint64_t at = 0;
        char name[kMarkNameBytes + 4] = {0};
        ASSERT_EQ(gMarkList.getMarkFs(3, i, &at), kMarkOk);
        ASSERT_EQ(gMarkList.getMarkName(3, i, name), kMarkOk);
        EXPECT_EQ(at, wantPos[i]);
        EXPECT_STREQ(name, wantName[i]);
    }
    int32_t modified = 1;
    ASSERT_EQ(gMarkList.getModifyFlag(3, &modified), kMarkOk);
    EXPECT_EQ(modified, 0);
}

TEST_F(DsfLibTag, DamagedTagsFailCleanly) {
    auto good = frame("TIT2", utf16("Good"));
    auto past = frame("TPE1", utf16("Bad"));
    past[4] = 0x7F;  // a size far beyond the tag
    std::vector<uint8_t> bigExt = {'I', 'D', '3', 3, 0, 0x40, 0, 0, 0, 20, 0, 0, 0x4E, 0x20};
    std::vector<uint8_t> bigTag = tag(3, {good});
    bigTag[6] = 0x7F;  // a tag size beyond the file
    std::vector<std::vector<uint8_t>> tags = {
        tag(3, {good, past}),
        bigTag,
        bigExt,
        tag(3, {frame("APIC", {0, 'i', 'm'})}),
        tag(3, {frame("SYLT", {0, 'e', 'n'})}),
        tag(3, {frame("COMM", {1})}),
        tag(4, {frame("TIT2", utf16("Good"), 4), {'T', 'P', 'E', '1', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}}),
    };
    int n = 0;
    for (const auto &t : tags) {
        SCOPED_TRACE(n);
        auto f = file("bad" + std::to_string(n++) + ".dsf", withTag(dsfFile(), t));
        TagRec r;
        TagRec::set(r.picture, dir.file("pic.bin"));
        EXPECT_EQ(load(f, r), 0);
        if (n == 1 || n == 2) {
            EXPECT_EQ(text(r.title), u"Good");
        }
        EXPECT_EQ(withFile(f, "rb", [&](FILE *fp) { return dsflib_loadCueData(fp, 0, 4); }), 0);
        // Writing over a damaged tag keeps what could be read and stays valid.
        setMarks(0, {5});
        EXPECT_EQ(save(f), 0);
        EXPECT_TRUE(parse(sxtest::readAll(f)).ok);
    }

    // Not a DSF file at all.
    auto notDsf = file("x.dsf", bytes("FRM8 this is something else entirely"));
    TagRec r;
    EXPECT_EQ(load(notDsf, r), kDsfLibErrFormat);
    setMarks(0, {5});
    EXPECT_NE(save(notDsf), 0);
    EXPECT_EQ(sxtest::readAll(notDsf), bytes("FRM8 this is something else entirely"));
}

TEST_F(DsfLibTag, AnotherReaderSeesTheTextsAndTheCover) {
    SX_REQUIRE_TOOLS("ffprobe");
    auto f = file("probe.dsf", dsfFile(2, 2822400, 4));
    const std::string cover = file("cover.png", tinyPng());
    TagRec t = exampleTag();
    TagRec::set(t.title, "Blue Song");
    TagRec::set(t.artist, "The Band");
    TagRec::set(t.album, "First Album");
    TagRec::set(t.comment, "Recorded live");
    TagRec::set(t.picture, cover);
    t.info.hasPicture = 1;
    ASSERT_EQ(dsflib_registerTagData(&t.info), 0);
    setMarks(0, {1000});
    ASSERT_EQ(save(f), 0);

    std::string out = sxtest::commandOutput(
        "ffprobe -v error -show_entries format_tags:stream=codec_type,codec_name -of flat '" + f + "' 2>&1");
    EXPECT_NE(out.find("format.tags.title=\"Blue Song\""), std::string::npos) << out;
    EXPECT_NE(out.find("format.tags.artist=\"The Band\""), std::string::npos) << out;
    EXPECT_NE(out.find("format.tags.album=\"First Album\""), std::string::npos) << out;
    EXPECT_NE(out.find("format.tags.comment=\"Recorded live\""), std::string::npos) << out;
    EXPECT_NE(out.find("codec_name=\"png\""), std::string::npos) << out;
    EXPECT_NE(out.find("codec_type=\"video\""), std::string::npos) << out;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
}

}  // namespace
