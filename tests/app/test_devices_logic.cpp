// The device lists', device boot's, play-rate choice's and monitor volume's
// own logic, without a window or a device: devices presented under chosen
// names and rate sets.
#include <gtest/gtest.h>

#include <QStringList>
#include <QVector>

#include "app/devicelists.h"
#include "app/monitorvolume.h"
#include "widgets/faders.h"

namespace {

struct tUserRows {
    tDopDevItem rows[kSettingsDopRows];
    tUserRows() {
        for (tDopDevItem &r : rows) r = {QStringLiteral("None"), false};
    }
};

tDopLookup lookup(const char *name, const tUserRows &user = tUserRows()) {
    return deviceLists_dopLookup(QString::fromLatin1(name), gDopDevList, kDopDevListRows, user.rows);
}

QStringList texts(const QVector<int> &rates) {
    QStringList out;
    for (int r : rates) out << playRates_text(r);
    return out;
}

}  // namespace

TEST(DeviceLists, PlaceholderSelectionAndSavedEntries) {
    EXPECT_EQ(deviceLists_placeholder(0), QStringLiteral("(No Device)"));
    EXPECT_EQ(deviceLists_placeholder(1), QStringLiteral("(Select Device...)"));
    EXPECT_EQ(deviceLists_placeholder(2), QStringLiteral("(Select Device...)"));
    // Placeholder alone, one device, two devices.
    EXPECT_EQ(deviceLists_initialSelection(1), 0);
    EXPECT_EQ(deviceLists_initialSelection(2), 1);
    EXPECT_EQ(deviceLists_initialSelection(3), 0);

    const QStringList entries = {QStringLiteral("(Select Device...)"), QStringLiteral("Studio Out"),
                                 QStringLiteral("Desk DAC")};
    EXPECT_EQ(deviceLists_findEntry(entries, QStringLiteral("Desk DAC")), 2);
    EXPECT_EQ(deviceLists_findEntry(entries, QStringLiteral("desk dac")), 0);  // case counts
    EXPECT_EQ(deviceLists_findEntry(entries, QStringLiteral("Desk")), 0);      // whole text
    EXPECT_EQ(deviceLists_findEntry(entries, QString()), 0);

    const QStringList kept = {QStringLiteral("A"), QStringLiteral("B")};
    EXPECT_TRUE(deviceLists_sameOutputs(kept, {QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_FALSE(deviceLists_sameOutputs(kept, {QStringLiteral("B"), QStringLiteral("A")}));
    EXPECT_FALSE(deviceLists_sameOutputs(kept, {QStringLiteral("A")}));
    EXPECT_FALSE(deviceLists_sameOutputs(kept, {QStringLiteral("A"), QStringLiteral("b")}));
}

TEST(DeviceLists, DopLookupMatchesRowsAsPrefixesOfTheWholeName) {
    struct Case {
        const char *name;
        bool dop, known;
    };
    const Case cases[] = {
        // The maker's device sits below shorter rows; it must still be found.
        {"ZOLT USB AUDIO DEVICE", true, true},
        {"ZOLT USB AUDIO DEVICE 2", true, true},
        {"ZOLT USB HS ASYNC AUDIO DEVICE", false, true},
        {"KV-P1 (Core Audio)", false, true},
        {"KV-P5 Pro", true, true},
        {"Scarlett 2i2 USB", false, true},
        {"Clarett", false, true},
        {"OPPO HA-2", true, true},
        // Case-sensitive, and a row longer than the name never matches.
        {"scarlett 2i2", true, false},
        {"PHA", true, false},
        {"Studio Out", true, false},
        {"", true, false},
    };
    for (const Case &c : cases) {
        const tDopLookup r = lookup(c.name);
        EXPECT_EQ(r.dop, c.dop) << c.name;
        EXPECT_EQ(r.known, c.known) << c.name;
    }

    // A learned row overrides the table, and an empty one (a settings file
    // cut short) matches every device.
    tUserRows user;
    user.rows[3] = {QStringLiteral("ZOLT USB AUDIO"), false};
    EXPECT_FALSE(lookup("ZOLT USB AUDIO DEVICE", user).dop);
    EXPECT_TRUE(lookup("ZOLT USB AUDIO DEVICE", user).known);
    tUserRows cut;
    cut.rows[0] = {QString(), false};
    EXPECT_TRUE(lookup("Studio Out", cut).known);
    EXPECT_FALSE(lookup("Studio Out", cut).dop);
}

TEST(DeviceLists, LearnedRowsTakeTheFirstFreeRow) {
    tUserRows user;
    user.rows[0] = {QStringLiteral("Desk DAC"), true};
    user.rows[1] = {QStringLiteral("true"), true};
    ASSERT_TRUE(deviceLists_registerDopRow(user.rows, QStringLiteral("Studio Out"), false));
    EXPECT_EQ(user.rows[1].name, QStringLiteral("Studio Out"));
    EXPECT_FALSE(user.rows[1].dop);
    EXPECT_EQ(user.rows[0].name, QStringLiteral("Desk DAC"));
    // Names are not looked for: the same device can be stored twice.
    ASSERT_TRUE(deviceLists_registerDopRow(user.rows, QStringLiteral("Studio Out"), true));
    EXPECT_EQ(user.rows[2].name, QStringLiteral("Studio Out"));

    for (const char *free : {"", "false", "true", "NONE", "None"})
        EXPECT_TRUE(deviceLists_isFreeDopRow({QString::fromLatin1(free), false})) << free;
    EXPECT_FALSE(deviceLists_isFreeDopRow({QStringLiteral("none"), false}));

    // All ten taken: nothing stored.
    tUserRows full;
    for (int i = 0; i < kSettingsDopRows; ++i) full.rows[i] = {QStringLiteral("Dev %1").arg(i), false};
    EXPECT_FALSE(deviceLists_registerDopRow(full.rows, QStringLiteral("New"), true));
    for (int i = 0; i < kSettingsDopRows; ++i) EXPECT_EQ(full.rows[i].name, QStringLiteral("Dev %1").arg(i));
}

TEST(PlayRates, TextsAndValues) {
    const QVector<int> all = {44100,  48000,  88200,  96000,   176400,  192000,   352800,
                              384000, 705600, 768000, 2822400, 5644800, 11289600, 22579200};
    const QStringList want = {"44.1kHz", "48kHz",    "88.2kHz", "96kHz",  "176.4kHz", "192kHz",  "352.8kHz",
                              "384kHz",  "705.6kHz", "768kHz",  "2.8MHz", "5.6MHz",   "11.2MHz", "22.5MHz"};
    EXPECT_EQ(texts(all), want);
    for (int r : all) EXPECT_EQ(playRates_fromText(playRates_text(r)), r);
    EXPECT_EQ(playRates_fromText(QStringLiteral("AUTO")), 0);
    EXPECT_EQ(playRates_fromText(QStringLiteral("(offline)")), 0);
    EXPECT_EQ(playRates_fromText(QStringLiteral("96KHz")), 0);
    EXPECT_TRUE(playRates_text(32000).isEmpty());
}

TEST(PlayRates, ListsPerDevice) {
    struct Case {
        const char *what;
        QVector<int> device;
        bool offer, dop, native;
        QStringList want;
        bool dsd;
    };
    const QVector<int> hiRes = {44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};
    const Case cases[] = {
        {"352.8 kHz without 384 kHz is not listed",
         {44100, 176400, 352800},
         false,
         false,
         false,
         {"44.1kHz", "176.4kHz"},
         false},
        {"352.8 kHz after 384 kHz follows it",
         {44100, 384000, 352800},
         false,
         false,
         false,
         {"44.1kHz", "384kHz", "352.8kHz"},
         false},
        {"352.8 kHz before 384 kHz with DoP offered comes first",
         {352800, 384000},
         true,
         false,
         false,
         {"352.8kHz", "384kHz"},
         false},
        {"352.8 kHz before 384 kHz without DoP offered is lost",
         {352800, 384000},
         false,
         false,
         false,
         {"384kHz"},
         false},
        {"705.6 and 768 kHz alike", {768000, 705600}, false, false, false, {"768kHz", "705.6kHz"}, false},
        {"a DoP device adds the DSD rates",
         hiRes,
         true,
         true,
         false,
         {"44.1kHz", "48kHz", "88.2kHz", "96kHz", "176.4kHz", "192kHz", "352.8kHz", "384kHz", "705.6kHz", "768kHz",
          "2.8MHz", "5.6MHz", "11.2MHz"},
         true},
        {"a device known not to pass DoP adds none",
         hiRes,
         true,
         false,
         false,
         {"44.1kHz", "48kHz", "88.2kHz", "96kHz", "176.4kHz", "192kHz", "352.8kHz", "384kHz", "705.6kHz", "768kHz"},
         false},
        {"DoP not offered (the PCM answer) adds none",
         hiRes,
         false,
         true,
         false,
         {"44.1kHz", "48kHz", "88.2kHz", "96kHz", "176.4kHz", "192kHz", "384kHz", "768kHz"},
         false},
        {"the native device gets no DoP 11.2 MHz",
         hiRes,
         true,
         true,
         true,
         {"44.1kHz", "48kHz", "88.2kHz", "96kHz", "176.4kHz", "192kHz", "352.8kHz", "384kHz", "705.6kHz", "768kHz",
          "2.8MHz", "5.6MHz"},
         true},
        {"native DSD rates are listed as they are",
         {44100, 2822400, 11289600, 22579200},
         false,
         false,
         false,
         {"44.1kHz", "2.8MHz", "11.2MHz", "22.5MHz"},
         true},
        {"unknown rates are skipped", {8000, 32000, 44100, 64000}, true, true, false, {"44.1kHz"}, false},
        {"no rates", {}, true, true, false, {}, false},
    };
    for (const Case &c : cases) {
        const tPlayRateList list = playRates_build(c.device, c.offer, c.dop, c.native);
        EXPECT_EQ(texts(list.rates), c.want) << c.what;
        EXPECT_EQ(list.dsd, c.dsd) << c.what;
    }
}

TEST(PlayRates, FitAndAutomaticChoice) {
    const QVector<int> upTo192 = {44100, 48000, 88200, 96000, 176400, 192000};
    struct Fit {
        int rate;
        QVector<int> device;
        int want;
    };
    const Fit fits[] = {
        {176400, {48000, 96000, 192000}, 192000},  // none of 176.4, 88.2, 44.1: the last entry
        {176400, upTo192, 176400},
        {352800, upTo192, 176400},
        {2822400, upTo192, 176400},
        {96000, {44100}, 44100},  // halving stops after the first value below 88.2 kHz
        {192000, {44100, 48000}, 48000},
        {176400, {}, 44100},  // empty list: the family's base rate
        {192000, {}, 48000},
        {44100, {}, 44100},
        {22050, {}, 44100},  // below 44.1 kHz: nothing tried
        {22050, upTo192, 192000},
    };
    for (const Fit &f : fits) EXPECT_EQ(playRates_fit(f.rate, f.device), f.want) << f.rate;

    const QVector<int> dop = {44100, 48000, 88200, 96000, 176400, 192000, 2822400};
    struct Auto {
        int fileRate;
        QVector<int> device;
        int want;
    };
    const Auto autos[] = {
        {0, upTo192, 44100},  // no file
        {96000, {}, 44100},   // no list
        {96000, upTo192, 96000},
        {2822400, dop, 2822400},
        {384000, upTo192, 192000},           // nothing at or above: the last entry
        {384000, dop, 192000},               // ... but never a DSD entry for PCM
        {2822400, upTo192, 192000},          // a DSD file without DSD entries: the last
        {96000, {2822400, 5644800}, 44100},  // a PCM file on a DSD-only list
        {5644800, {2822400, 5644800}, 5644800},
        {50000, upTo192, 88200},
    };
    for (const Auto &a : autos) EXPECT_EQ(playRates_autoChoice(a.fileRate, a.device), a.want) << a.fileRate;
}

TEST(MonitorVolume, LevelsLabelsAndTheFader) {
    struct Case {
        int dB;
        double kept;
        const char *label;
    };
    const Case cases[] = {
        {0, 0.0, "0 dB"},          {-99, -99.0, "-99 dB"}, {-100, -300.0, "-inf dB"},
        {-120, -300.0, "-inf dB"}, {6, 6.0, "6 dB"},
    };
    for (const Case &c : cases) {
        const tMonitorVolume v = monitorVolume_fromLevel(c.dB);
        EXPECT_EQ(v.db, c.kept) << c.dB;
        EXPECT_EQ(v.label, QString::fromLatin1(c.label)) << c.dB;
    }
    // A position right of the table's 0 dB end reads 0 dB.
    tFaderVolEntry table[kFaderVolEntries];
    faderMakeVolTable(200, table);
    EXPECT_EQ(faderLevelAtPosition(table, 10000), 0);
}

TEST(MonitorVolume, DsdPurity) {
    bool eqOn = false;
    tPEQ master;
    master.allOn = &eqOn;
    // 0 dB, equaliser off, one track, the device at the file's rate.
    EXPECT_TRUE(monitorVolume_dsdPure(&master, 0.0, 2822400, 2822400, 1));
    EXPECT_FALSE(monitorVolume_dsdPure(&master, 1.0, 2822400, 2822400, 1));
    EXPECT_FALSE(monitorVolume_dsdPure(&master, -300.0, 2822400, 2822400, 1));
    EXPECT_FALSE(monitorVolume_dsdPure(&master, 0.0, 2822400, 2822400, 2));
    EXPECT_FALSE(monitorVolume_dsdPure(&master, 0.0, 5644800, 2822400, 1));
    // Bands on while the equaliser is off: still pure; on with a band: not.
    master.band[1].mBandOn = true;
    EXPECT_TRUE(monitorVolume_dsdPure(&master, 0.0, 2822400, 2822400, 1));
    eqOn = true;
    EXPECT_FALSE(monitorVolume_dsdPure(&master, 0.0, 2822400, 2822400, 1));
    master.band[1].mBandOn = false;
    EXPECT_TRUE(monitorVolume_dsdPure(&master, 0.0, 2822400, 2822400, 1));
    EXPECT_TRUE(monitorVolume_dsdPure(nullptr, 0.0, 44100, 44100, 1));
}
