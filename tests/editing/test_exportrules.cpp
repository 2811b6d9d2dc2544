// The export window's rules without a window: the list tables, the names of
// the passes, the refusals of "EXPORT" at the path limit, the program's
// record of a source, the mix-down record's output half and the result
// texts.
#include <gtest/gtest.h>

#include <QMessageBox>

#include "editing/exportrules.h"
#include "editingtestutil.h"

namespace {

QString path(int units) {
    // "/" + padding + "/x.wav": exactly `units` UTF-16 units.
    return QLatin1Char('/') + QString(units - 7, QLatin1Char('d')) + QStringLiteral("/x.wav");
}

}  // namespace

TEST(ExportRules, RateTextsGiveRateIndexAndSuffix) {
    struct Row {
        const char *text;
        uint32_t hz;
        int index;
        const char *suffix;
    } rows[] = {
        {"44.1kHz", 44100, 0, "_44k"},
        {"48kHz", 48000, 1, "_48k"},
        {"88.2kHz", 88200, 2, "_88k"},
        {"96kHz", 96000, 3, "_96k"},
        {"176.4kHz", 176400, 4, "_176k"},
        {"192kHz", 192000, 5, "_192k"},
        {"352.8kHz", 352800, 6, "_352k"},
        {"384kHz", 384000, 7, "_384k"},
        {"705.6kHz", 705600, 8, "_705k"},
        {"768kHz", 768000, 9, "_768k"},
        {"2.8MHz", 2822400, 16, "_2.8M"},
        {"5.6MHz", 5644800, 17, "_5.6M"},
        {"11.2MHz", 11289600, 18, "_11.2M"},
        {"22.5MHz", 22579200, 19, "_22.5M"},
        // Unknown texts (and the empty list while it is refilled) and a
        // case difference fall back to 44.1 kHz.
        {"", 44100, 0, "_44k"},
        {"48khz", 44100, 0, "_44k"},
        {"AUTO", 44100, 0, "_44k"},
    };
    for (const Row &r : rows) {
        const tExportRate rate = exportRateOfText(QString::fromLatin1(r.text));
        EXPECT_EQ(rate.hz, r.hz) << r.text;
        EXPECT_EQ(rate.rateIndex, r.index) << r.text;
        EXPECT_EQ(rate.suffix, QString::fromLatin1(r.suffix)) << r.text;
    }
}

TEST(ExportRules, BitTextsFormatsAndMenus) {
    struct Row {
        const char *text;
        int bits;
        bool dither;
    } rows[] = {{"1bit", 1, false},       {"16bit", 16, true}, {"24bit", 24, true}, {"32bit Float", 32, false},
                {"32bit Int", 32, false}, {"", 16, true},      {"32bit", 16, true}};
    for (const Row &r : rows) {
        const tExportBits b = exportBitsOfText(QString::fromLatin1(r.text));
        EXPECT_EQ(b.bits, r.bits) << r.text;
        EXPECT_EQ(b.ditherChoices, r.dither) << r.text;
    }

    EXPECT_EQ(exportFormatOfIndex(0).fileType, kExportWav);
    EXPECT_EQ(exportFormatOfIndex(1).fileType, kExportDsdiff);
    EXPECT_EQ(exportFormatOfIndex(1).extension, QStringLiteral(".dff"));
    EXPECT_EQ(exportFormatOfIndex(2).fileType, kExportDsf);
    EXPECT_EQ(exportFormatOfIndex(2).extension, QStringLiteral(".dsf"));
    EXPECT_EQ(exportFormatOfIndex(-1).extension, QStringLiteral(".wav"));

    const tExportMenus pcm = exportMenusFor(false, kExportWav);
    EXPECT_EQ(pcm.rates.size(), 8);
    EXPECT_EQ(pcm.rates.value(pcm.rateIndex), QStringLiteral("48kHz"));
    EXPECT_EQ(pcm.bits.value(pcm.bitIndex), QStringLiteral("24bit"));
    const tExportMenus flac = exportMenusFor(false, kExportFlac);
    EXPECT_FALSE(flac.bits.contains(QStringLiteral("32bit Float")));
    EXPECT_FALSE(flac.rates.contains(QStringLiteral("352.8kHz")));
    const tExportMenus dsd = exportMenusFor(true, kExportDsf);
    EXPECT_EQ(dsd.rates, (QStringList{"2.8MHz", "5.6MHz", "11.2MHz"}));
    EXPECT_EQ(dsd.bits, QStringList{"1bit"});

    EXPECT_EQ(exportDitherMode(-1), 0);
    EXPECT_EQ(exportDitherMode(2), 2);
    EXPECT_EQ(exportChannelsOfIndex(-1), 2);
    EXPECT_EQ(exportChannelsOfIndex(0), 1);
    EXPECT_EQ(exportStereoFlagOfText(QStringLiteral("DUAL MONO")), 2);
    EXPECT_EQ(exportStereoFlagOfText(QStringLiteral("MONO")), 1);
    EXPECT_EQ(exportStereoFlagOfText(QStringLiteral("STEREO")), 0);
}

TEST(ExportRules, PassNamesAndTheFilesTheChecksCover) {
    EXPECT_EQ(exportPassName("take", ".wav", false, false), QStringLiteral("take.wav"));
    EXPECT_EQ(exportPassName("take", ".wav", true, false), QStringLiteral("take_01.wav"));
    EXPECT_EQ(exportPassName("take", ".wav", true, true), QStringLiteral("take_02.wav"));
    EXPECT_EQ(exportShownName("take", ".wav", true), QStringLiteral("take_01 & 02.wav"));
    EXPECT_EQ(exportShownName("take", ".dsf", false), QStringLiteral("take.dsf"));
    EXPECT_EQ(exportDestinations("/m", "take", ".dff", true), (QStringList{"/m/take_01.dff", "/m/take_02.dff"}));
    EXPECT_EQ(exportDestinations("/m", "take", ".dff", false), QStringList{"/m/take.dff"});
}

TEST(ExportRules, PathLimitAndBlankName) {
    ASSERT_EQ(path(255).size(), 255);
    EXPECT_TRUE(exportRefusal({path(255)}, QStringLiteral("x")).isEmpty());
    const QString tooLong = exportRefusal({path(256)}, QStringLiteral("x"));
    EXPECT_EQ(tooLong, QStringLiteral("The file name would be too long.\nYou can shorten the file name and try "
                                      "again,\nor try a location that has a shorter path."));
    // DUAL MONO: the "_02" file is the one that must fit.
    EXPECT_FALSE(exportRefusal({path(253), path(256)}, QStringLiteral("x")).isEmpty());
    // The length is checked before the name.
    EXPECT_EQ(exportRefusal({path(300)}, QString()), tooLong);
    EXPECT_EQ(exportRefusal({QStringLiteral("/m/.wav")}, QString()),
              QStringLiteral("The file name is blank.\nPlease give the file a name."));
}

TEST(ExportRules, SourceRecordRefusesWhatCannotBeDivided) {
    tAudioFileInfoAFile info;
    info.sampleRate = 44100;
    info.bitsPerSample = 24;
    info.channels = 2;
    info.dataOffset = 44;
    info.dataBytesHigh = 1;  // 4 GiB + 600 bytes: 64-bit arithmetic
    info.dataBytesLow = 600;
    info.fileType = 0;
    info.formatTag = 1;
    info.startSample = 99;
    tAudioFileInfo r;
    ASSERT_EQ(exportFileRecord(info, &r), 0);
    EXPECT_EQ(r.dataBytes, (uint64_t{1} << 32) + 600);
    EXPECT_EQ(r.totalSamples, r.dataBytes / 6);
    EXPECT_EQ(r.seconds, r.totalSamples / 44100);
    EXPECT_EQ(r.formatTag, 0u);
    EXPECT_EQ(r.startSample, 0u);

    info.bitsPerSample = 1;  // DSD: 8 samples a byte per channel
    info.sampleRate = 2822400;
    info.dataBytesHigh = 0;
    info.dataBytesLow = 705600;
    ASSERT_EQ(exportFileRecord(info, &r), 0);
    EXPECT_EQ(r.totalSamples, 2822400u);
    EXPECT_EQ(r.seconds, 1u);

    for (int field = 0; field < 3; ++field) {
        tAudioFileInfoAFile bad = info;
        (field == 0 ? bad.channels : field == 1 ? bad.bitsPerSample : bad.sampleRate) = 0;
        tAudioFileInfo untouched;
        untouched.sampleRate = 7;
        EXPECT_EQ(exportFileRecord(bad, &untouched), kExportErrSource) << field;
        EXPECT_EQ(untouched.sampleRate, 7u);
    }
}

TEST(ExportRules, MixDownRecordFollowsThePlayRate) {
    tBounceParam p;
    p.trackCount = 3;
    exportBounceParams(&p, 44100, 2, QStringLiteral("/music/out"));
    EXPECT_EQ(QString::fromStdU16String(p.bouncePath), QStringLiteral("/music/out/SonvexBounceTemp.wav"));
    EXPECT_EQ(QString::fromStdU16String(p.extension), QStringLiteral(".wav"));
    EXPECT_EQ(p.bits, 32);
    EXPECT_EQ(p.fileType, kExportWav);
    EXPECT_EQ(p.outRate, 44100);
    EXPECT_EQ(p.channels, 2);
    EXPECT_EQ(p.trackCount, 3);  // the main window's half stays

    exportBounceParams(&p, 2822400, 1, QStringLiteral("/music/out"));
    EXPECT_EQ(QString::fromStdU16String(p.bouncePath), QStringLiteral("/music/out/SonvexBounceTemp.dff"));
    EXPECT_EQ(p.bits, 1);
    EXPECT_EQ(p.fileType, kExportDsdiff);
    EXPECT_EQ(p.channels, 1);
}

TEST(ExportRules, ResultTextsAndWhatIsRemoved) {
    struct Row {
        int code;
        const char *text;
        bool removes;
    } rows[] = {
        {0, "Export completed.", false},
        {-255, "Export aborted.", false},
        {-254, "Export aborted.", false},
        {-28, "Write file failed.\n[Code = -28]", true},
        {-29, "Write file failed.\n[Code = -29]", true},
        {-38, "Write file failed.\nIt seems that no disk space left.\nPlease free up disk space.\n[Code = -38]", true},
        {-3, "Export failed.\n[Code = -3]", true},
        {-40, "Export failed.\n[Code = -40]", false},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(exportResultText(r.code), QString::fromLatin1(r.text)) << r.code;
        EXPECT_EQ(exportFailureRemovesFiles(r.code), r.removes) << r.code;
    }
    EXPECT_EQ(exportFailedText(-1000), QStringLiteral("Export failed.\n[Code = -1000]"));
}

TEST(ExportRules, LatinTextsAndShortFade) {
    EXPECT_TRUE(exportIsLatin1(QString()));
    EXPECT_TRUE(exportIsLatin1(QString::fromUtf8("Beyonc\xc3\xa9 \xc3\xbf")));    // U+00FF is the last
    EXPECT_FALSE(exportIsLatin1(QString::fromUtf8("Dvo\xc5\x99\xc3\xa1k")));      // U+0159
    EXPECT_FALSE(exportIsLatin1(QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac")));  // CJK
    EXPECT_EQ(exportMinimumFade(44100, true), 4410);
    EXPECT_EQ(exportMinimumFade(2822400, true), 282240);
    EXPECT_EQ(exportMinimumFade(44100, false), 0);
}

TEST(ExportRules, RegionOf99SamplesIsTooShort) {
    edtest::MessageBoxes boxes;
    tWaveEditParam region{};
    region.inPoint = 1000;
    region.outPoint = 1099;
    EXPECT_FALSE(exportCheckRegion(nullptr, region));
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Export"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("IN - OUT too short."));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);

    region.outPoint = 1100;
    EXPECT_TRUE(exportCheckRegion(nullptr, region));
    region.outPoint = 900;  // out before in
    EXPECT_TRUE(exportRegionTooShort(region));
    EXPECT_EQ(boxes.seen().size(), 1u);
}
