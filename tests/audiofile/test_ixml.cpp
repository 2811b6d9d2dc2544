// iXML tables: tag lists, text building, uids and the chunk writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "audiofile/chunkutil.h"
#include "audiofile/ixml.h"
#include "audiofile/vfile.h"
#include "testutil.h"

namespace {

const tiXMLSupport kAllRows[] = {
    {1, 0, 1},  {2, 0, 1},  {3, 0, 1},  {4, 0, 1},  {5, 0, 1},  {6, 0, 1},  {7, 0, 1},  {8, 0, 1},  {9, 0, 1},
    {10, 0, 1}, {11, 0, 1}, {12, 0, 1}, {13, 0, 1}, {16, 0, 1}, {18, 0, 1}, {19, 0, 1}, {21, 0, 1}, {22, 0, 1},
    {23, 0, 1}, {29, 0, 1}, {30, 0, 1}, {31, 0, 1}, {38, 0, 1}, {39, 0, 1}, {41, 0, 1}, {-1, 0, 0},
};

tiXMLData sampleData() {
    tiXMLData d{};
    d.scene = "Hall";
    d.take = "T";
    d.takeNumber = 7;
    d.circled = 1;
    d.frameType = 5;
    d.fileSampleRate = 48000;
    d.trackCount = 2;
    d.trackMask = 0x05;  // channels 1 and 3
    d.trackNames[0] = "Left";
    d.trackNames[1] = "Right";
    d.totalFiles = 1;
    d.fileSetIndex = 1;
    return d;
}

int searchIxml(FILE *fp, const char *id, uint64_t *offset) {
    ClassChunkUtility cu;
    return cu.mChunk_searchSpecifiedChunk(fp, id, offset, kChunkModeRiff);
}

}  // namespace

TEST(IXml, ModifyFlagsArePerFile) {
    ASSERT_EQ(giXMLHandler.init(0), 0);
    ASSERT_EQ(giXMLHandler.init(1), 0);
    EXPECT_EQ(giXMLHandler.setModifyFlag(1), 0);
    int flag = -1;
    EXPECT_EQ(giXMLHandler.getModifyFlag(1, &flag), 0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(giXMLHandler.getModifyFlag(0, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(giXMLHandler.setModifyFlag(2), kiXMLErrArg);
}

TEST(IXml, FamilyAndFileUid) {
    struct tm when {};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 5;
    when.tm_hour = 6;
    when.tm_min = 7;
    when.tm_sec = 8;
    EXPECT_STREQ(giXMLControlMain.makeFamilyUid(&when),
                 "KVMR07123452024030506070801"
                 "50000");
    EXPECT_EQ(std::strlen(giXMLControlMain.makeFamilyUid(&when)), 32u);
    tiXMLData d = sampleData();
    char uid[kiXMLUidChars + 1];
    ASSERT_EQ(giXMLControlMain.getFileUid(&d, uid), 0);
    EXPECT_STREQ(uid, "KVMR0712345202403050607080150002");
    d.splitStereo = 1;
    ASSERT_EQ(giXMLControlMain.getFileUid(&d, uid), 0);
    EXPECT_STREQ(uid, "KVMR071234520240305060708015000A");
}

TEST(IXml, BaseRate) {
    EXPECT_EQ(convRealFsToBase(47952), 48000u);
    EXPECT_EQ(convRealFsToBase(48048), 48000u);
    EXPECT_EQ(convRealFsToBase(44100), 44100u);
}

TEST(IXml, BuildsTextInDocumentOrder) {
    ASSERT_EQ(giXMLControlMain.init(kAllRows), 0);
    struct tm when {};
    when.tm_year = 124;
    when.tm_mon = 2;
    when.tm_mday = 5;
    giXMLControlMain.makeFamilyUid(&when);
    const tiXMLData d = sampleData();
    ASSERT_EQ(giXMLControlMain.createiXMLData(0, &d), 0);
    int flag = 0;
    EXPECT_EQ(giXMLHandler.getModifyFlag(0, &flag), 0);
    EXPECT_EQ(flag, 1);

    std::string text;
    int count = 0;
    ASSERT_EQ(giXMLHandler.getTagCnt(0, &count), 0);
    char piece[258];
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(giXMLHandler.getTag(0, i, piece), 0);
        text += piece;
    }
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r<BWFXML>\r"
        "<IXML_VERSION>1.5</IXML_VERSION>\r"
        "<PROJECT>KAVELO Sonvex Editor</PROJECT>\r"
        "<SCENE>Hall</SCENE>\r<TAKE>T007</TAKE>\r<TAPE>KAVELO App</TAPE>\r"
        "<CIRCLED>TRUE</CIRCLED>\r<FILE_UID>KVMR0712345202403050000000000002</FILE_UID>\r"
        "<UBITS>78563412</UBITS>\r"
        "<USER>Recorder : Sonvex Editor 1.10 build 0096</USER>\r"
        "<SPEED>\r<TIMECODE_FLAG>DF</TIMECODE_FLAG>\r<TIMECODE_RATE>30/1</TIMECODE_RATE>\r"
        "<FILE_SAMPLE_RATE>48000</FILE_SAMPLE_RATE>\r</SPEED>\r"
        "<TRACK_LIST>\r<TRACK_COUNT>2</TRACK_COUNT>\r"
        "<TRACK>\r<CHANNEL_INDEX>1</CHANNEL_INDEX>\r<INTERLEAVE_INDEX>1</INTERLEAVE_INDEX>\r"
        "<NAME>Left</NAME>\r</TRACK>\r"
        "<TRACK>\r<CHANNEL_INDEX>3</CHANNEL_INDEX>\r<INTERLEAVE_INDEX>2</INTERLEAVE_INDEX>\r"
        "<NAME>Right</NAME>\r</TRACK>\r</TRACK_LIST>\r"
        "<FILE_SET>\r<TOTAL_FILES>1</TOTAL_FILES>\r"
        "<FAMILY_UID>KVMR0712345202403050000000000000</FAMILY_UID>\r"
        "<FILE_SET_INDEX>1</FILE_SET_INDEX></FILE_SET>\r</BWFXML>";
    EXPECT_EQ(text, expected);

    tiXMLData bad = d;
    bad.frameType = 7;
    EXPECT_EQ(giXMLControlMain.createiXMLData(0, &bad), kiXMLErrArg);
}

TEST(IXml, ChunkIsAppendedThenRewrittenInPlace) {
    sxtest::TempDir dir;
    const std::string path = dir.file("a.wav");
    // A minimal RIFF file: header and one odd-sized chunk without its pad byte.
    std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                  'a', 'b', 'c', 'd', 3, 0, 0, 0, 1,   2,   3};
    chunk_putLE32(bytes.data() + 4, static_cast<uint32_t>(bytes.size() - 8));
    sxtest::writeAll(path, bytes);

    ASSERT_EQ(giXMLControlMain.init(kAllRows), 0);
    const tiXMLData d = sampleData();
    FILE *fp = nullptr;
    ASSERT_EQ(v_open(&fp, sxtest::u16(path).data(), "rb+"), 0);
    ASSERT_EQ(giXMLControlMain.saveFile(fp, 0, &d, searchIxml, nullptr), 0);
    // The same text again fits the chunk in place: the file keeps its size.
    uint64_t size1 = 0, size2 = 0;
    ASSERT_EQ(v_getFileSize(fp, &size1), 0);
    ASSERT_EQ(giXMLControlMain.saveFile(fp, 0, nullptr, searchIxml, nullptr), 0);
    ASSERT_EQ(v_getFileSize(fp, &size2), 0);
    EXPECT_EQ(size1, size2);
    const std::string text = ixml_text(0);
    EXPECT_EQ(giXMLControlMain.loadFile(fp, 0, searchIxml), 0);
    v_close(fp);

    const std::vector<uint8_t> out = sxtest::readAll(path);
    ASSERT_GT(text.size(), 100u);
    ASSERT_EQ(out.size(), 24 + 8 + text.size() + (text.size() & 1));
    EXPECT_EQ(chunk_getLE32(out.data() + 4), out.size() - 8);
    EXPECT_TRUE(chunk_idIs(out.data() + 24, "iXML"));
    EXPECT_EQ(chunk_getLE32(out.data() + 28), text.size());
    EXPECT_EQ(std::string(out.begin() + 32, out.begin() + 32 + text.size()), text);
}

TEST(IXml, TextBufferIsBounded) {
    std::string big(kiXMLTextBytes - 1, 'x');
    EXPECT_EQ(giXML_rdwr.write(1, big.c_str(), 0), 0);
    EXPECT_EQ(giXML_rdwr.write(1, "y", 1), kiXMLErrArg);
    EXPECT_EQ(giXML_rdwr.read(1), -1);
}
