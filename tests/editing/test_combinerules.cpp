// The combine window's rules without a window: the name of the combined
// file, the refusals of "COMBINE", the result texts, the file record and
// the same-file test behind the refusal of a destination that is a source.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <unistd.h>

#include "editing/combinerules.h"
#include "testutil.h"

namespace {

QString q(const char *s) { return QString::fromUtf8(s); }

tAudioFileInfo pcm(uint32_t type, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t tag) {
    tAudioFileInfo r;
    r.fileType = type;
    r.sampleRate = rate;
    r.bitsPerSample = bits;
    r.channels = channels;
    r.formatTag = tag;
    return r;
}

// Two selected 44.1 kHz 16-bit stereo WAV files and a short destination.
tCombineCheck goodCheck() {
    tCombineCheck c;
    c.headSelected = c.tailSelected = true;
    c.head = c.tail = pcm(0, 44100, 16, 2, 1);
    c.destination = q("/music/ab_c.wav");
    c.fileName = q("ab_c");
    return c;
}

}  // namespace

TEST(CombineRules, NameOfTheCombinedFile) {
    struct Row {
        const char *head, *tail, *name, *type;
    };
    const Row rows[] = {
        {"/m/a.b.wav", "/n/c.wav", "ab_c", ".wav"},
        {"/m/x.WAV", "/m/y.wav", "x_y", ".WAV"},  // the head's type, case kept
        {"/m/my.song.dsf", "/m/other.take.2.dsf", "mysong_othertake2", ".dsf"},
        {"/m/noext", "/m/c.wav", "_c", ".noext"},  // no dot: empty base
        {"", "/m/c.wav", "_c", "."},               // tail chosen before any head
    };
    for (const Row &r : rows) {
        const tCombineName n = combineNameRule(q(r.head), q(r.tail), q("/m"));
        EXPECT_EQ(n.fileName, q(r.name)) << r.head;
        EXPECT_EQ(n.type, q(r.type)) << r.head;
        EXPECT_FALSE(n.folderTooLong);
    }
}

TEST(CombineRules, LongNamesAreCutToTheFolder) {
    const QString head = QString(200, QLatin1Char('h')) + q(".wav");
    const QString tail = QString(100, QLatin1Char('t')) + q(".wav");

    // Folder + name + type is 50 + 301 + 4 units: the name keeps 255 - 4 -
    // 50, which leaves a destination with its separator at 256 units.
    const QString folder(50, QLatin1Char('f'));
    tCombineName n = combineNameRule(head, tail, folder);
    EXPECT_EQ(n.fileName.length(), 201);
    EXPECT_TRUE(n.fileName.startsWith(QString(200, QLatin1Char('h')) + q("_")));
    EXPECT_FALSE(n.folderTooLong);
    EXPECT_EQ((folder + q("/") + n.fileName + n.type).length(), 256);

    // Short names: the limit counts folder, name and type without the
    // separator.
    const QString shortHead = q("a.wav"), shortTail = q("b.wav");
    const QString folder249(249, QLatin1Char('f'));  // 249 + 3 + 4 = 256: cut to 2
    n = combineNameRule(shortHead, shortTail, folder249);
    EXPECT_EQ(n.fileName, q("a_"));
    const QString folder247(247, QLatin1Char('f'));  // 247 + 3 + 4 = 254: kept
    n = combineNameRule(shortHead, shortTail, folder247);
    EXPECT_EQ(n.fileName, q("a_b"));

    // Room for the type alone empties the name; less room than that leaves
    // the name uncut and the window warns.
    n = combineNameRule(shortHead, shortTail, QString(251, QLatin1Char('f')));
    EXPECT_EQ(n.fileName, q(""));
    EXPECT_FALSE(n.folderTooLong);
    n = combineNameRule(shortHead, shortTail, QString(252, QLatin1Char('f')));
    EXPECT_TRUE(n.folderTooLong);
    EXPECT_EQ(n.fileName, q("a_b"));
}

TEST(CombineRules, RefusalsOfCombine) {
    struct Row {
        const char *what;
        void (*change)(tCombineCheck &);
        const char *message;
    };
    const Row rows[] = {
        {"nothing wrong", [](tCombineCheck &) {}, ""},
        {"no files, time axis", [](tCombineCheck &c) { c.headSelected = c.tailSelected = false; },
         "The head file has not been selected.\nThe tail file has not been selected."},
        {"no files, two mono",
         [](tCombineCheck &c) {
             c.headSelected = c.tailSelected = false;
             c.mode = kCombineMonoToStereo;
         },
         "The L-ch file has not been selected.\nThe R-ch file has not been selected."},
        {"no tail, formats differ too",
         [](tCombineCheck &c) {
             c.tailSelected = false;
             c.tail.fileType = 2;
         },
         "The tail file has not been selected."},
        {"WAV and DSF at other rates: only the format", [](tCombineCheck &c) { c.tail = pcm(2, 2822400, 1, 2, 0); },
         "File formats of two files do not match."},
        {"rate and bits", [](tCombineCheck &c) { c.tail = pcm(0, 48000, 24, 2, 1); },
         "Sampling frequencies of two files do not match.\nBit length of two files do not match."},
        {"channels and format id", [](tCombineCheck &c) { c.tail = pcm(0, 44100, 16, 1, 3); },
         "Num. of channels of two files do not match.\nFormat ID of channels of two files do not match."},
        {"files differ and the name is blank: the files only",
         [](tCombineCheck &c) {
             c.tail.sampleRate = 96000;
             c.fileName.clear();
         },
         "Sampling frequencies of two files do not match."},
        {"254 units", [](tCombineCheck &c) { c.destination = QString(254, QLatin1Char('d')); }, ""},
        {"255 units", [](tCombineCheck &c) { c.destination = QString(255, QLatin1Char('d')); },
         "The file name would be too long.\nYou can shorten the file name and try again,\n"
         "or try a location that has a shorter path."},
        {"blank name", [](tCombineCheck &c) { c.fileName.clear(); },
         "The file name is blank.\nPlease give the file a name."},
        {"too long and blank",
         [](tCombineCheck &c) {
             c.destination = QString(300, QLatin1Char('d'));
             c.fileName.clear();
         },
         "The file name would be too long.\nYou can shorten the file name and try again,\n"
         "or try a location that has a shorter path.\nThe file name is blank.\nPlease give the file a name."},
        {"destination is a source", [](tCombineCheck &c) { c.destinationIsSource = true; },
         "The combined file would replace one of the two files to combine.\n"
         "Please choose another file name or folder."},
        {"library missing", [](tCombineCheck &c) { c.libraryBound = false; },
         "The conversion library could not be loaded."},
    };
    for (const Row &r : rows) {
        tCombineCheck c = goodCheck();
        r.change(c);
        EXPECT_EQ(combineRefusal(c), q(r.message)) << r.what;
    }
}

TEST(CombineRules, ResultTexts) {
    EXPECT_EQ(combineResultText(0), q("Combine completed."));
    EXPECT_EQ(combineResultText(3), q("Combine completed."));
    EXPECT_EQ(combineResultText(-1), q("Combine failed.\n\n[Code = -1]"));
    EXPECT_EQ(combineResultText(-17), q("Combine failed.\n\n[Code = -17]"));
    EXPECT_EQ(combineResultText(-38),
              q("Combine failed.\nIt seems that no disk space left.\nPlease free up disk space.\n[Code = -38]"));
}

TEST(CombineRules, RecordOfAnAcceptedFile) {
    tAudioFileInfoAFile info;
    info.sampleRate = 96000;
    info.bitsPerSample = 24;
    info.channels = 2;
    info.dataBytesHigh = 1;  // 4 GiB + 600 bytes of 6-byte frames
    info.dataBytesLow = 600;
    info.fileType = 0;
    info.formatTag = 1;
    tAudioFileInfo r = combineFileRecord(info);
    EXPECT_EQ(r.dataBytes, (uint64_t{1} << 32) + 600);
    EXPECT_EQ(r.totalSamples, ((uint64_t{1} << 32) + 600) / 6);
    EXPECT_EQ(r.seconds, r.totalSamples / 96000);
    EXPECT_EQ(r.formatTag, 1u);

    // DSD: one bit per sample per channel.
    info = tAudioFileInfoAFile();
    info.sampleRate = 2822400;
    info.bitsPerSample = 1;
    info.channels = 1;
    info.dataBytesLow = 352800 * 3 + 7;
    info.fileType = 2;
    r = combineFileRecord(info);
    EXPECT_EQ(r.totalSamples, uint64_t{352800 * 3 + 7} * 8);
    EXPECT_EQ(r.seconds, 3u);
    EXPECT_EQ(r.fileType, 2u);

    // An empty description divides by nothing.
    r = combineFileRecord(tAudioFileInfoAFile());
    EXPECT_EQ(r.totalSamples, 0u);
    EXPECT_EQ(r.seconds, 0u);
}

TEST(CombineRules, JoinProgressWindowPlacement) {
    EXPECT_EQ(combineJoinProgressRect(QRect(100, 40, 540, 409)), QRect(100 + 270 - 50, 40 + 102, 100, 50));
}

TEST(CombineRules, SameFileThroughLinks) {
    sxtest::TempDir dir;
    const QString a = QString::fromStdString(dir.file("a.wav"));
    const QString b = QString::fromStdString(dir.file("b.wav"));
    ASSERT_TRUE(sxtest::writeAll(dir.file("a.wav"), {1, 2, 3}));
    ASSERT_TRUE(sxtest::writeAll(dir.file("b.wav"), {1, 2, 3}));
    ASSERT_EQ(::symlink(dir.file("a.wav").c_str(), dir.file("sym.wav").c_str()), 0);
    ASSERT_EQ(::link(dir.file("a.wav").c_str(), dir.file("hard.wav").c_str()), 0);
    const QString folder = QString::fromStdString(dir.path());

    EXPECT_TRUE(combineIsSameFile(a, a));
    EXPECT_TRUE(combineIsSameFile(folder + q("/./a.wav"), a));
    EXPECT_TRUE(combineIsSameFile(folder + q("/sym.wav"), a));
    EXPECT_TRUE(combineIsSameFile(folder + q("/hard.wav"), a));
    EXPECT_FALSE(combineIsSameFile(a, b));  // same content, another file
    EXPECT_FALSE(combineIsSameFile(folder + q("/missing.wav"), a));
    EXPECT_FALSE(combineIsSameFile(a, QString()));
}
