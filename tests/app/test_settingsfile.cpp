// The settings file's own logic: defaults, value lines, sections, the
// written layout and the atomic replacement.
#include "app/settingsfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>

namespace {

QStringList linesOf(const QByteArray &bytes) {
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.last(), QString()) << "every line ends with a line feed";
    lines.removeLast();
    return lines;
}

}  // namespace

TEST(SettingsDefaults, FirstStartValues) {
    const tEditorDefaults &d = gEditorDefaults;
    EXPECT_EQ(d.monitorVolumeDb, 0.0);
    EXPECT_EQ(d.driverType, kDriverCoreAudio);
    EXPECT_TRUE(d.deviceName.isEmpty());
    EXPECT_TRUE(d.playRate.isEmpty());
    const double freq[] = {100, 1000, 2000, 5000};
    for (int b = 0; b < kSettingsEqBands; ++b) {
        SCOPED_TRACE(b);
        EXPECT_FALSE(d.eqBand[b].on);
        EXPECT_EQ(d.eqBand[b].frequency, freq[b]);
        EXPECT_EQ(d.eqBand[b].q, 0.9);
        EXPECT_EQ(d.eqBand[b].gainDb, 0.0);
        EXPECT_EQ(d.eqBand[b].type, 0);
    }
    EXPECT_FALSE(d.eqAllOn);
    EXPECT_FALSE(d.postFader);
    EXPECT_EQ(d.bounceFormat, 0);
    EXPECT_EQ(d.bounceRate, 1);
    EXPECT_EQ(d.bounceBits, 1);
    EXPECT_TRUE(d.applyShortFade);
    EXPECT_EQ(d.overHoldMs, 2000);
    for (const tDopDevItem &row : d.dopRows) {
        EXPECT_EQ(row.name, QStringLiteral("None"));
        EXPECT_FALSE(row.dop);
    }
}

TEST(SettingsValueLines, ReadAsTheReaderDoes) {
    // Flags: true only for a line that begins with "true".
    struct {
        const char *line;
        bool value;
    } flags[] = {
        {"true\n", true}, {"true", true},     {"trueish\n", true}, {"True\n", false},
        {"1\n", false},   {" true\n", false}, {"", false},         {"false\n", false},
    };
    for (const auto &c : flags) EXPECT_EQ(settings_readBool(QString::fromUtf8(c.line)), c.value) << c.line;

    struct {
        const char *line;
        double value;
    } reals[] = {
        {"100\n", 100}, {"  -12.5 \n", -12.5}, {"1e+06\n", 1e6}, {"-300\n", -300}, {"abc\n", 0}, {"", 0}, {"12dB\n", 0},
    };
    for (const auto &c : reals) EXPECT_EQ(settings_readReal(QString::fromUtf8(c.line)), c.value) << c.line;

    struct {
        const char *line;
        int value;
    } ints[] = {
        {"2000\n", 2000},    {" -1 \n", -1},       {"0\n", 0},  {"2147483647\n", 2147483647},
        {"2147483648\n", 0}, {"-2147483649\n", 0}, {"5x\n", 0}, {"", 0},
        {"1.5\n", 0},
    };
    for (const auto &c : ints) EXPECT_EQ(settings_readInt(QString::fromUtf8(c.line)), c.value) << c.line;

    // Texts: outer white space gone, inner runs folded to one blank.
    EXPECT_EQ(settings_readText(QStringLiteral("  My   USB\tDAC \n")), QStringLiteral("My USB DAC"));
    EXPECT_EQ(settings_readText(QStringLiteral("\n")), QString());

    struct {
        const char *line;
        int driver;
    } drivers[] = {
        {"CoreAudio\n", kDriverCoreAudio},
        {"Core\n", kDriverCoreAudio},
        {"WASAPI\n", kDriverWasapi},
        {"WASA\n", kDriverWasapi},
        {"ASIO\n", kDriverAsio},
        {"coreaudio\n", kDriverAsio},
        {"", kDriverAsio},
    };
    for (const auto &c : drivers) EXPECT_EQ(settings_driverFromText(QString::fromUtf8(c.line)), c.driver) << c.line;
}

TEST(SettingsValueLines, WrittenForms) {
    struct {
        double value;
        const char *text;
    } reals[] = {
        {100, "100"},
        {0.9, "0.9"},
        {-12, "-12"},
        {1e6, "1e+06"},
        {-300, "-300"},
        {123456789.0, "1.23457e+08"},
        {0.000012345, "1.2345e-05"},
        {2.5, "2.5"},
    };
    for (const auto &c : reals) EXPECT_EQ(settings_realText(c.value), QString::fromLatin1(c.text));
    EXPECT_EQ(settings_driverText(kDriverCoreAudio), QStringLiteral("CoreAudio"));
    EXPECT_EQ(settings_driverText(kDriverWasapi), QStringLiteral("WASAPI"));
    EXPECT_EQ(settings_driverText(kDriverAsio), QStringLiteral("ASIO"));
    EXPECT_EQ(settings_driverText(7), QStringLiteral("ASIO"));
}

TEST(SettingsSections, KeyLines) {
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//EQ1\n")), kKeyEq1);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//EQ1 trailing words\n")), kKeyEq1);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//EQALL\n")), kKeyEqAll);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//Audio Device\n")), kKeyAudioDevice);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//audio device\n")), kKeyNone);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral(" //EQ1\n")), kKeyNone);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//OscillatorMode\n")), kKeyNone);
    EXPECT_EQ(settings_keyOfLine(QStringLiteral("//EQ\n")), kKeyNone);
}

TEST(SettingsSections, ParseSkipsUnknownLinesAndKeepsDuplicates) {
    const QByteArray file =
        "junk\n"
        "\n"
        "//OscillatorMode\n"
        "false\n"
        "//BounceFormat\n"
        "2\n"
        "//BounceFormat\n"
        "1\n"
        "//EQALL\n"
        "//Post Fader\n";  // taken as the EQALL on line: no key test inside a section
    const QVector<tSettingsSection> s = settings_parse(file);
    ASSERT_EQ(s.size(), 3);
    EXPECT_EQ(s[0].key, kKeyBounceFormat);
    EXPECT_EQ(settings_readInt(s[0].values.value(0)), 2);
    EXPECT_EQ(s[1].key, kKeyBounceFormat);
    EXPECT_EQ(settings_readInt(s[1].values.value(0)), 1);
    EXPECT_EQ(s[2].key, kKeyEqAll);
    ASSERT_EQ(s[2].values.size(), 2);
    EXPECT_EQ(s[2].values[0], QStringLiteral("//Post Fader\n"));
    EXPECT_EQ(s[2].values[1], QString());
}

TEST(SettingsSections, FileEndingAfterDopKeyGivesEmptyRows) {
    const QVector<tSettingsSection> s = settings_parse("//DopDevList\n");
    ASSERT_EQ(s.size(), 1);
    ASSERT_EQ(s[0].values.size(), 2 * kSettingsDopRows);
    for (const QString &v : s[0].values) {
        EXPECT_TRUE(settings_readText(v).isEmpty());
        EXPECT_FALSE(settings_readBool(v));
    }
}

TEST(SettingsCompose, LayoutAndRoundTrip) {
    tSettingsValues v;
    v.monitorVolumeDb = -300;
    v.driverType = kDriverCoreAudio;
    v.deviceText = QStringLiteral("Studio  DAC");  // two blanks: folded on reading
    v.playRateText = QStringLiteral("96kHz");
    for (int b = 0; b < kSettingsEqBands; ++b) v.eq[b] = tEditorEqBand{b == 1, 100.0 * (b + 1), 0.7, -1.5 * b, b};
    v.eqAllOn = true;
    v.eqTotalGainDb = -6;
    v.postFader = true;
    v.bounceFormat = 2;
    v.bounceFreq = 3;
    v.bounceBit = -1;
    v.applyShortFade = false;
    v.overHolds2sec = false;
    v.dopRows[0] = tDopDevItem{QStringLiteral("Box One"), true};
    for (int r = 1; r < kSettingsDopRows; ++r) v.dopRows[r] = tDopDevItem{QStringLiteral("None"), false};

    const QByteArray bytes = settings_compose(v);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = linesOf(bytes);
    ASSERT_EQ(lines.size(), kSettingsLineCount);
    const QStringList head = {
        "//Monitor Volume",
        "-300",
        "//Audio Driver",
        "CoreAudio",
        "//Audio Device",
        "Studio  DAC",
        "//Play Freq",
        "96kHz",
        "//EQ1",
        "false",
        "100",
        "0.7",
        "0",
        "0",
        "//EQ2",
        "true",
        "200",
        "0.7",
        "-1.5",
        "1",
    };
    EXPECT_EQ(lines.mid(0, head.size()), head);
    const int eqAll = lines.indexOf(QStringLiteral("//EQALL"));
    const QStringList tail = {
        "//EQALL", "true",
        "-6",      "//Post Fader",
        "true",    "//NeverShowFirstInfo",
        "false",   "//BounceFormat",
        "2",       "//BounceFreq",
        "3",       "//BounceBit",
        "-1",      "//ApplyShortFade",
        "false",   "//OverHoldTime",
        "-1",      "//OscillatorMode",
        "false",   "//DopDevList",
        "Box One", "true",
    };
    EXPECT_EQ(lines.mid(eqAll, tail.size()), tail);

    // Everything read back but the oscillator flag, in the written order.
    const QVector<tSettingsSection> s = settings_parse(bytes);
    ASSERT_EQ(s.size(), kSettingsKeyCount - 1);
    for (int i = 0; i < s.size(); ++i) EXPECT_EQ(s[i].key, i < kKeyOscillatorMode ? i : i + 1);
    EXPECT_EQ(settings_readReal(s[kKeyMonitorVolume].values[0]), -300);
    EXPECT_EQ(settings_readText(s[kKeyAudioDevice].values[0]), QStringLiteral("Studio DAC"));
    EXPECT_EQ(settings_readInt(s[kKeyOverHoldTime].values[0]), -1);
    EXPECT_EQ(settings_readText(s[kKeyDopDevList - 1].values[0]), QStringLiteral("Box One"));

    v.overHolds2sec = true;
    EXPECT_TRUE(settings_compose(v).contains("//OverHoldTime\n2000\n"));
}

TEST(SettingsCompose, LineFeedInsideAValueCannotShiftSections) {
    tSettingsValues v;
    v.deviceText = QStringLiteral("Two\nLines");
    const QStringList lines = linesOf(settings_compose(v));
    EXPECT_EQ(lines.size(), kSettingsLineCount);
    EXPECT_EQ(lines[5], QStringLiteral("Two Lines"));
}

TEST(SettingsPath, BaseNameReplacedAndFileNameGlued) {
    EXPECT_EQ(settings_composePath(QStringLiteral("/home/u/.local/share/SonvexEditor"), QStringLiteral("SonvexEditor")),
              QStringLiteral("/home/u/.local/share/KAVELO/sonvexEditor.txt"));
    // Every occurrence is replaced, case-sensitively.
    EXPECT_EQ(settings_composePath(QStringLiteral("/x/app/data/app"), QStringLiteral("app")),
              QStringLiteral("/x/KAVELO//data/KAVELO/sonvexEditor.txt"));
    // No occurrence: the name is glued to the last component.
    EXPECT_EQ(settings_composePath(QStringLiteral("/data/Other"), QStringLiteral("SonvexEditor")),
              QStringLiteral("/data/OthersonvexEditor.txt"));
}

TEST(SettingsWrite, ReplacesWholeAndKeepsOldFileOnFailure) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sonvexEditor.txt"));
    ASSERT_TRUE(settings_writeFile(path, "first\n"));
    ASSERT_TRUE(settings_writeFile(path, "second\n"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("second\n"));
    f.close();
    // Only the settings file is left: no temporary beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("sonvexEditor.txt")});

    // A write that runs out of room part-way (a file-size limit stands in
    // for a full disk): the call fails, the old settings are still there
    // and no partial file is left beside them.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool wrote = settings_writeFile(path, QByteArray(4096, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("second\n"));
    f.close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("sonvexEditor.txt")});

    // A path whose folder does not exist.
    EXPECT_FALSE(settings_writeFile(dir.filePath(QStringLiteral("missing/sonvexEditor.txt")), "x\n"));
}
