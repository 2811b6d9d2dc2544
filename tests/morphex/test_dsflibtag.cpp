#include "morphex/dsflibtag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/marklist.h"
#include "audiofile/vfile.h"
#include "dsftagfixture.h"
#include "testutil.h"

using namespace dsffix;

namespace {

// A tag record with buffers of the sizes the program allocates.
struct TagRec {
    std::vector<wchar16> title = std::vector<wchar16>(kTagTextUnits, 0);
    std::vector<wchar16> artist = std::vector<wchar16>(kTagTextUnits, 0);
    std::vector<wchar16> album = std::vector<wchar16>(kTagTextUnits, 0);
    std::vector<wchar16> genre = std::vector<wchar16>(kTagTextUnits, 0);
    std::vector<wchar16> picture = std::vector<wchar16>(kTagTextUnits, 0);
    std::vector<wchar16> comment = std::vector<wchar16>(kTagCommentUnits, 0);
    tID3tagInfo info{};
    TagRec() {
        info.title = title.data();
        info.artist = artist.data();
        info.album = album.data();
        info.genre = genre.data();
        info.picturePath = picture.data();
        info.comment = comment.data();
        info.year = -1;
        info.hour = -1;
        info.minute = -1;
        info.second = -1;
        info.frame = -1;
    }
    static void set(std::vector<wchar16> &dst, const std::string &s) {
        auto u = sxtest::u16(s);
        std::fill(dst.begin(), dst.end(), 0);
        std::copy(u.begin(), u.end(), dst.begin());
    }
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

// The registered record of the Part's example.
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
    EXPECT_EQ(ids, (std::vector<std::string>{"TRCK", "TIT2", "TPE1", "TALB", "TYER", "TDAT", "TIME", "COMM",
                                              "TCON", "TSSE", "SYLT"}));
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
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&sylt[67]), 32),
              "MARK02      @fs=0000000000562200");
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
    // The byte-order mark leads the text, within the record's 255 units.
    ASSERT_EQ(text(back.title).size(), kTagTextUnits - 1u);
    EXPECT_EQ(text(back.title)[0], u'\xFEFF');
    EXPECT_EQ(text(back.comment).size(), kTagCommentUnits - 1u);
}

}  // namespace
