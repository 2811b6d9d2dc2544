// Title and artist through repeated conversions: a tag read from one output
// and handed to the next job must come out as it went in, in every format
// that can hold it.
#include <gtest/gtest.h>

#include "audiogen.h"
#include "dsftagfixture.h"
#include "morphex/morphexapi.h"
#include "morphextestutil.h"
#include "support/tagrecord.h"

using namespace mxtest;

namespace {

using TagRec = sxtest::TagRecord;

// Encoding 1 text with the byte-order mark of the given order.
std::vector<uint8_t> utf16Text(const std::u16string &s, bool bigEndian) {
    std::vector<uint8_t> d = {1};
    d.push_back(bigEndian ? 0xFE : 0xFF);
    d.push_back(bigEndian ? 0xFF : 0xFE);
    for (char16_t c : s) {
        const uint8_t lo = static_cast<uint8_t>(c), hi = static_cast<uint8_t>(c >> 8);
        d.push_back(bigEndian ? hi : lo);
        d.push_back(bigEndian ? lo : hi);
    }
    return d;
}

std::u16string text(const std::vector<wchar16> &v) {
    std::u16string s;
    for (wchar16 c : v) {
        if (c == 0) break;
        s.push_back(static_cast<char16_t>(c));
    }
    return s;
}

int loadTag(const std::string &path, TagRec &t) {
    std::vector<int16_t> u = sxtest::u16(path);
    return id3tagInformation(kId3tagLoad, 127, reinterpret_cast<const wchar16 *>(u.data()), &t.info);
}

// One export of src to dst (type 2 DSF, 3 DSDIFF) at DSD64 with the tag
// read from src, as the export window hands it on.
void pass(const std::string &src, const std::string &dst, uint32_t type, TagRec &tag) {
    Options o;
    o.src = src;
    o.dst = dst;
    o.type = type;
    o.rate = 2822400;
    o.bits = 1;
    o.tag = &tag.info;
    int r = 0;
    capture([&] { r = runJob(o, nullptr); });
    ASSERT_EQ(r, 0) << dst;
}

const std::u16string kJapanese = u"\u590F\u306E\u6D77 \u30C6\u30B9\u30C8";  // not Latin-1
const std::u16string kLatin = u"Caf\u00E9 Ensemble";

}  // namespace

// UTF-16 texts of either byte order are read without their byte-order mark.
TEST(TagPasses, Utf16TextsAreReadWithoutTheirByteOrderMark) {
    sxtest::TempDir dir;
    const std::string f = dir.file("t.dsf");
    sxtest::writeAll(
        f, dsffix::withTag(dsffix::dsfFile(), dsffix::tag(3, {dsffix::frame("TIT2", utf16Text(kJapanese, false)),
                                                              dsffix::frame("TPE1", utf16Text(kLatin, true))})));
    TagRec t;
    ASSERT_EQ(loadTag(f, t), 0);
    EXPECT_EQ(text(t.title), kJapanese);
    EXPECT_EQ(text(t.artist), kLatin);
}

// DSF -> DSF -> DSDIFF -> DSF: the texts stay as they are wherever the
// format holds them; DSDIFF holds Latin-1 only, so a title beyond it is
// left empty there (and stays empty after), while a Latin-1 artist keeps
// every character and its byte count.
TEST(TagPasses, TextsSurviveRepeatedExports) {
    sxtest::TempDir dir;
    const std::string a = dir.file("a.dsf");
    std::vector<uint8_t> src =
        sxgen::dsf(2822400, {std::vector<uint8_t>(8192, 0x69), std::vector<uint8_t>(8192, 0x96)});
    sxtest::writeAll(a, dsffix::withTag(src, dsffix::tag(3, {dsffix::frame("TIT2", utf16Text(kJapanese, false)),
                                                             dsffix::frame("TPE1", utf16Text(kLatin, false))})));
    TagRec ta;
    ASSERT_EQ(loadTag(a, ta), 0);

    // Twice through DSF: unchanged, no mark piled up in front.
    std::string from = a;
    TagRec *carry = &ta;
    TagRec tb, tc;
    TagRec *next[2] = {&tb, &tc};
    for (int i = 0; i < 2; ++i) {
        const std::string to = dir.file("p" + std::to_string(i) + ".dsf");
        pass(from, to, 2, *carry);
        ASSERT_EQ(loadTag(to, *next[i]), 0);
        EXPECT_EQ(text(next[i]->title), kJapanese) << i;
        EXPECT_EQ(text(next[i]->artist), kLatin) << i;
        from = to;
        carry = next[i];
    }

    // To DSDIFF: the title cannot be held; the artist is Latin-1 text with
    // its byte count.
    const std::string d = dir.file("d.dff");
    pass(from, d, 3, *carry);
    const std::vector<uint8_t> dff = sxtest::readAll(d);
    const std::string diar = "DIAR";
    auto at = std::search(dff.begin(), dff.end(), diar.begin(), diar.end());
    ASSERT_NE(at, dff.end());
    const size_t p = size_t(at - dff.begin());
    EXPECT_EQ(dsffix::getBE32(&dff[p + 12]), kLatin.size());
    EXPECT_EQ(std::string(dff.begin() + long(p + 16), dff.begin() + long(p + 16 + kLatin.size())), "Caf\xE9 Ensemble");
    const std::string diti = "DITI";
    EXPECT_EQ(std::search(dff.begin(), dff.end(), diti.begin(), diti.end()), dff.end());
    TagRec td;
    ASSERT_EQ(loadTag(d, td), 0);
    EXPECT_EQ(text(td.title), u"");
    EXPECT_EQ(text(td.artist), kLatin);

    // And back to DSF.
    const std::string e = dir.file("e.dsf");
    pass(d, e, 2, td);
    TagRec te;
    ASSERT_EQ(loadTag(e, te), 0);
    EXPECT_EQ(text(te.title), u"");
    EXPECT_EQ(text(te.artist), kLatin);
}
