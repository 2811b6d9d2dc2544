// The recording set-up window, driven as the main window drives it: the form,
// the device lists by list type, the six index reports with the echo guard,
// the channel pairs, the format and word length that follow the record rate,
// what a recording reads, and the current folder it sets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "editing/dialogrecsetup.h"
#include "widgets/snxbuttons.h"

namespace {

const QStringList kFormRates = {"44.1kHz",  "48kHz",  "88.2kHz", "96kHz",  "176.4kHz", "192kHz",
                                "352.8kHz", "384kHz", "2.8MHz",  "5.6MHz", "11.2MHz"};

template <class T = QWidget>
T *child(QWidget &w, const char *name) {
    return w.findChild<T *>(QString::fromLatin1(name));
}

QStringList items(const QComboBox *box) {
    QStringList list;
    for (int i = 0; box && i < box->count(); ++i) list << box->itemText(i);
    return list;
}

std::vector<int> ints(const QSignalSpy &spy) {
    std::vector<int> v;
    for (const QList<QVariant> &args : spy) v.push_back(args.at(0).toInt());
    return v;
}

// Every test makes its own music folder through the user-dirs file and puts
// the process's current folder and the environment back afterwards.
class RecSetup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(mHome.isValid());
        mOldCwd = QDir::currentPath();
        mOldConfig = qgetenv("XDG_CONFIG_HOME");
        mHadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        mMusic = mHome.path() + "/Musik";
        setMusicFolder(mMusic);
        ASSERT_TRUE(QDir().mkpath(mMusic));
    }
    void TearDown() override {
        QDir::setCurrent(mOldCwd);
        if (mHadConfig)
            qputenv("XDG_CONFIG_HOME", mOldConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");
        DialogRecSetup::sGetExistingDirectory = mOldDirFunc;
    }
    void setMusicFolder(const QString &path) {
        const QString config = mHome.path() + "/config";
        QDir().mkpath(config);
        QFile f(config + "/user-dirs.dirs");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("XDG_MUSIC_DIR=\"" + path + "\"\n").toUtf8());
        f.close();
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        ASSERT_EQ(QStandardPaths::writableLocation(QStandardPaths::MusicLocation), path);
    }

    // The lists as a device boot leaves them (rate lists refilled, the DSD
    // formats offered when the device has DSD rates).
    static void bootLists(DialogRecSetup &dlg, const QStringList &rates, bool dsd) {
        dlg.ComboboxPlayFreq->clear();
        dlg.ComboboxPlayFreq->addItem("AUTO");
        dlg.comboboxRecFreq->clear();
        dlg.comboboxRecFreq->addItem("AUTO");
        dlg.BounceFormat->clear();
        dlg.BounceFormat->addItem("WAV(PCM)");
        dlg.ComboboxPlayFreq->addItems(rates);
        dlg.comboboxRecFreq->addItems(rates);
        if (dsd) dlg.BounceFormat->addItems({"DSDIFF(DSD)", "DSF(DSD)"});
    }

    QTemporaryDir mHome;
    QString mMusic;
    QString mOldCwd;
    QByteArray mOldConfig;
    bool mHadConfig = false;
    DialogRecSetup::tExistingDirectoryFunc mOldDirFunc = DialogRecSetup::sGetExistingDirectory;
};

}  // namespace

TEST_F(RecSetup, FormAsBuilt) {
    DialogRecSetup dlg;
    EXPECT_EQ(dlg.objectName(), "DialogRecSetup");
    EXPECT_EQ(dlg.windowTitle(), "Device Setup");
    EXPECT_EQ(dlg.size(), QSize(540, 490));
    EXPECT_FALSE(dlg.isModal());

    struct Row {
        const char *name;
        QRect geometry;
        const char *text;  // label, button or line-edit text; nullptr for lists
    };
    const Row rows[] = {
        {"labelDriver", {30, 20, 91, 20}, "Audio Driver :"},
        {"comboBox_driver", {130, 20, 63, 21}, nullptr},
        {"labelBounceFreq_2", {280, 20, 111, 20}, "Frequency :"},
        {"ComboboxPlayFreq", {400, 20, 100, 22}, nullptr},
        {"labelPlayDevice", {30, 60, 91, 20}, "Play Device :"},
        {"comboBoxPlayDevice", {130, 60, 371, 22}, nullptr},
        {"labelOutput", {10, 110, 111, 20}, "Output Channel :"},
        {"comboBoxOutputCh", {130, 110, 131, 22}, nullptr},
        {"labelRecDevice", {30, 187, 91, 20}, "Rec Device :"},
        {"comboBoxRecDevice", {130, 185, 371, 22}, nullptr},
        {"labelInput", {10, 232, 111, 20}, "Input Channel :"},
        {"comboBoxInputCh", {130, 230, 131, 22}, nullptr},
        {"comboboxRecFreq", {400, 230, 100, 22}, nullptr},
        {"labelEditDir", {20, 275, 101, 20}, "Rec Folder :"},
        {"plainTextEditDir", {130, 270, 318, 23}, nullptr},
        {"pushSelDir", {448, 269, 52, 25}, "Select\nFolder"},
        {"labelEditFile", {10, 310, 111, 20}, " Rec File Name :"},
        {"plainTextEditFile", {130, 305, 300, 23}, "KAVELO"},
        {"lineEditFileType", {430, 305, 65, 23}, "_xxx.wav"},
        {"labelBounceFormat", {0, 351, 121, 20}, "Rec File Format :"},
        {"BounceFormat", {130, 350, 115, 22}, nullptr},
        {"labelBounceBit", {267, 353, 120, 16}, "Rec Bit :"},
        {"BounceBit", {393, 350, 106, 22}, nullptr},
        {"buttonBox", {10, 430, 511, 32}, nullptr},
    };
    for (const Row &r : rows) {
        QWidget *w = child(dlg, r.name);
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(w->geometry(), r.geometry) << r.name;
        if (!r.text) continue;
        if (auto *l = qobject_cast<QLabel *>(w)) {
            EXPECT_EQ(l->text(), r.text) << r.name;
            EXPECT_EQ(l->alignment(), Qt::AlignRight | Qt::AlignVCenter) << r.name;
        } else if (auto *b = qobject_cast<QPushButton *>(w)) {
            EXPECT_EQ(b->text(), r.text) << r.name;
        } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
            EXPECT_EQ(e->text(), r.text) << r.name;
        }
    }
    for (const char *name : {"plainTextEditDir", "plainTextEditFile", "lineEditFileType"})
        EXPECT_FALSE(child<QLineEdit>(dlg, name)->hasFrame()) << name;
    for (const char *name : {"ComboboxPlayFreq", "comboboxRecFreq", "BounceFormat", "BounceBit"})
        EXPECT_NE(qobject_cast<blackComboBox *>(child(dlg, name)), nullptr) << name;
    EXPECT_NE(qobject_cast<blackButton *>(child(dlg, "pushSelDir")), nullptr);

    // Lists and selections at start.
    EXPECT_EQ(items(dlg.comboBox_driver), QStringList({"ASIO", "WASAPI"}));
    EXPECT_EQ(dlg.comboBox_driver->currentIndex(), -1);
    EXPECT_EQ(items(dlg.ComboboxPlayFreq), kFormRates);
    EXPECT_EQ(items(dlg.comboboxRecFreq), kFormRates);
    EXPECT_EQ(dlg.ComboboxPlayFreq->currentIndex(), -1);
    EXPECT_EQ(dlg.comboboxRecFreq->currentIndex(), -1);
    EXPECT_EQ(items(dlg.BounceFormat), QStringList({"WAV(PCM)"}));
    EXPECT_EQ(dlg.BounceFormat->currentIndex(), 0);
    EXPECT_EQ(items(dlg.BounceBit), QStringList({"16bit", "24bit", "32bit Float"}));
    EXPECT_EQ(dlg.BounceBit->currentIndex(), 0);
    for (const char *name : {"comboBoxPlayDevice", "comboBoxOutputCh", "comboBoxRecDevice", "comboBoxInputCh"})
        EXPECT_EQ(child<QComboBox>(dlg, name)->count(), 0) << name;
    EXPECT_EQ(dlg.recFormat(), kRecFormatWav);
    EXPECT_EQ(dlg.inputChannels(), 0u);
    EXPECT_EQ(dlg.selectedInputPair(), 0);

    auto *box = child<QDialogButtonBox>(dlg, "buttonBox");
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->standardButtons(), QDialogButtonBox::Ok);
    EXPECT_TRUE(box->centerButtons());
    EXPECT_GE(box->buttons().first()->minimumWidth(), 80);

    // OK only hides the window.
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    if (const char *shot = std::getenv("SONVEX_SHOT")) dlg.grab().save(QString::fromLocal8Bit(shot));
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(RecSetup, ConstructionMakesTheMusicFolderCurrent) {
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    {
        DialogRecSetup dlg;
        EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(mMusic).canonicalPath());
        EXPECT_EQ(dlg.plainTextEditDir->text(), mMusic);
    }

    // A music folder that does not exist cannot become current: the field
    // shows the folder that stays current, never one a recording cannot use.
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    setMusicFolder(mHome.path() + "/gone");
    DialogRecSetup dlg;
    EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(elsewhere.path()).canonicalPath());
    EXPECT_EQ(QDir(dlg.plainTextEditDir->text()).canonicalPath(), QDir(elsewhere.path()).canonicalPath());
}

TEST_F(RecSetup, FolderChoiceMakesThatFolderCurrent) {
    DialogRecSetup dlg;
    QTemporaryDir chosen;
    QString answer = chosen.path();
    QString caption, start;
    QFileDialog::Options options;
    int asked = 0;
    DialogRecSetup::sGetExistingDirectory = [&](QWidget *, const QString &c, const QString &s, QFileDialog::Options o) {
        ++asked;
        caption = c;
        start = s;
        options = o;
        return answer;
    };
    auto *button = child<QPushButton>(dlg, "pushSelDir");

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(caption, "Please select the folder to record.");
    EXPECT_EQ(QDir(start).canonicalPath(), QDir(mMusic).canonicalPath());  // opens at the current folder
    EXPECT_EQ(options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(chosen.path()).canonicalPath());
    EXPECT_EQ(dlg.plainTextEditDir->text(), chosen.path());

    // Cancelling, or a folder that has gone meanwhile, changes nothing.
    for (const QString &a : {QString(), chosen.path() + "/missing"}) {
        answer = a;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(chosen.path()).canonicalPath()) << a.toStdString();
        EXPECT_EQ(dlg.plainTextEditDir->text(), chosen.path()) << a.toStdString();
    }
}

TEST_F(RecSetup, DeviceListsByListType) {
    struct Row {
        tDevTypeDriver type;
        QStringList play, rec;    // after adding "A" and "B"
        int playIndex, recIndex;  // after adding
    };
    const Row rows[] = {
        {kDevTypeBoth, {"A", "B"}, {"A", "B"}, 0, 0}, {kDevTypeRecUnselected, {}, {"A", "B"}, -1, -1},
        {kDevTypePlayShown, {"A", "B"}, {}, 0, -1},   {kDevTypePlay, {"A", "B"}, {}, 0, -1},
        {kDevTypeRec, {}, {"A", "B"}, -1, 0},         {static_cast<tDevTypeDriver>(7), {"A", "B"}, {}, 0, -1},
    };
    for (const Row &r : rows) {
        DialogRecSetup dlg;
        auto *play = child<QComboBox>(dlg, "comboBoxPlayDevice");
        auto *rec = child<QComboBox>(dlg, "comboBoxRecDevice");
        dlg.addDevice(r.type, "A");
        dlg.addDevice(r.type, "B");
        EXPECT_EQ(items(play), r.play) << r.type;
        EXPECT_EQ(items(rec), r.rec) << r.type;
        EXPECT_EQ(play->currentIndex(), r.playIndex) << r.type;
        EXPECT_EQ(rec->currentIndex(), r.recIndex) << r.type;

        // setCurrentDevice and clearDevice act on the same lists.
        play->addItems({"p0", "p1", "p2"});
        rec->addItems({"r0", "r1", "r2"});
        const int playBefore = play->currentIndex(), recBefore = rec->currentIndex();
        dlg.setCurrentDevice(r.type, 2);
        EXPECT_EQ(play->currentIndex(), r.play.isEmpty() ? playBefore : 2) << r.type;
        EXPECT_EQ(rec->currentIndex(), r.rec.isEmpty() ? recBefore : 2) << r.type;
        dlg.clearDevice(r.type);
        EXPECT_EQ(play->count(), r.play.isEmpty() ? 3 : 0) << r.type;
        EXPECT_EQ(rec->count(), r.rec.isEmpty() ? 3 : 0) << r.type;
    }
}

TEST_F(RecSetup, IndexReports) {
    DialogRecSetup dlg;
    QSignalSpy driver(&dlg, &DialogRecSetup::audioDriverChanged);
    QSignalSpy playDevice(&dlg, &DialogRecSetup::playDeviceChanged);
    QSignalSpy playFreq(&dlg, &DialogRecSetup::playFreqChanged);
    QSignalSpy recDevice(&dlg, &DialogRecSetup::recDevice_changed);
    QSignalSpy playChannel(&dlg, &DialogRecSetup::playChannelChanged);
    QSignalSpy recChannel(&dlg, &DialogRecSetup::recChannelChanged);

    dlg.comboBox_driver->setCurrentIndex(1);
    EXPECT_EQ(ints(driver), std::vector<int>({1}));
    dlg.ComboboxPlayFreq->setCurrentIndex(3);
    EXPECT_EQ(ints(playFreq), std::vector<int>({3}));

    // The play device: the first entry is reported although it is entry 0,
    // the same entry again is not, and an emptied list reports -1 once.
    dlg.addDevice(kDevTypePlay, "(Select Device...)");
    dlg.addDevice(kDevTypePlay, "Dev A");
    dlg.setCurrentDevice(kDevTypePlay, 0);
    dlg.setCurrentDevice(kDevTypePlayShown, 1);
    dlg.setCurrentDevice(kDevTypePlay, 1);
    dlg.clearDevice(kDevTypePlay);
    dlg.addDevice(kDevTypePlay, "(Select Device...)");
    EXPECT_EQ(ints(playDevice), std::vector<int>({0, 1, -1, 0}));

    // The record device reports every change, with the empty list's -1.
    dlg.addDevice(kDevTypeRec, "In A");
    dlg.addDevice(kDevTypeRec, "In B");
    dlg.setCurrentDevice(kDevTypeRec, 1);
    dlg.clearDevice(kDevTypeRec);
    EXPECT_EQ(ints(recDevice), std::vector<int>({0, 1, -1}));

    // Output pairs: an emptied list reports nothing.
    dlg.setOutputCh(4);
    child<QComboBox>(dlg, "comboBoxOutputCh")->setCurrentIndex(1);
    dlg.setOutputCh(0);
    EXPECT_EQ(ints(playChannel), std::vector<int>({0, 1}));

    // Input pairs: every index, -1 included, is stored before it is reported.
    std::vector<std::pair<int, int>> seen;  // reported, stored at that moment
    QObject::connect(&dlg, &DialogRecSetup::recChannelChanged, [&](int i) {
        seen.push_back({i, dlg.selectedInputPair()});
    });
    dlg.setInputCh(4);  // clearing the empty list reports nothing
    child<QComboBox>(dlg, "comboBoxInputCh")->setCurrentIndex(1);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    // A refill reports the emptied list and the first entry, then the kept
    // pair is selected again.
    seen.clear();
    dlg.setInputCh(6);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{-1, -1}, {0, 0}, {1, 1}}));
    EXPECT_EQ(recChannel.size(), 5);
}

TEST_F(RecSetup, ChannelPairs) {
    EXPECT_EQ(recSetupChannelPairs(6), QStringList({"Channel 1-2", "Channel 3-4", "Channel 5-6"}));
    EXPECT_EQ(recSetupChannelPairs(3), QStringList({"Channel 1-2", "Channel 3-4"}));
    EXPECT_EQ(recSetupChannelPairs(1), QStringList({"Channel 1-2"}));
    EXPECT_EQ(recSetupChannelPairs(0), QStringList());

    DialogRecSetup dlg;
    auto *in = child<QComboBox>(dlg, "comboBoxInputCh");
    auto *out = child<QComboBox>(dlg, "comboBoxOutputCh");

    // Refilling for another device keeps the selected pair while it exists,
    // else falls back to the first pair.
    struct Step {
        unsigned channels;
        int select;  // pair the user picks afterwards, -1 none
        int expectedAfterFill;
    };
    const Step steps[] = {
        {8, 3, 0},    // first device: first pair, then the user takes 7-8
        {6, -1, 0},   // 7-8 is gone: first pair
        {6, 2, 0},    //
        {5, -1, 2},   // 5-6 still exists (with its missing 6th channel)
        {0, -1, -1},  // no inputs: empty
        {4, -1, 0},
    };
    for (const Step &s : steps) {
        dlg.setInputCh(s.channels);
        EXPECT_EQ(dlg.inputChannels(), s.channels);
        EXPECT_EQ(items(in), recSetupChannelPairs(s.channels)) << s.channels;
        EXPECT_EQ(in->currentIndex(), s.expectedAfterFill) << s.channels;
        if (s.select >= 0) in->setCurrentIndex(s.select);
    }

    // The main window's monitor slot selects a pair only when it exists.
    dlg.setInputCh(4);
    dlg.setCurrentInputCh(1);
    EXPECT_EQ(in->currentIndex(), 1);
    for (int bad : {2, -1, 99}) {
        dlg.setCurrentInputCh(bad);
        EXPECT_EQ(in->currentIndex(), 1) << bad;
    }

    // Output pairs always start at the first.
    out->addItem("stale");
    dlg.setOutputCh(3);
    EXPECT_EQ(items(out), QStringList({"Channel 1-2", "Channel 3-4"}));
    EXPECT_EQ(out->currentIndex(), 0);
    EXPECT_EQ(dlg.outputChannels(), 3u);
}

TEST_F(RecSetup, RecordRateDecidesFormatAndWordLength) {
    const QStringList rates = {"44.1kHz", "96kHz", "2.8MHz", "5.6MHz"};
    struct Row {
        int startFormat;
        const char *rate;
        int format;
        const char *typeField;
        QStringList bits;
        const char *bit;
    };
    const QStringList pcmBits = {"16bit", "24bit", "32bit(float)"};
    const Row rows[] = {
        {kRecFormatWav, "5.6MHz", kRecFormatDsdiff, "xxx.dff", {"1bit"}, "1bit"},
        {kRecFormatDsf, "96kHz", kRecFormatWav, "xxx.wav", pcmBits, "24bit"},
        {kRecFormatDsf, "2.8MHz", kRecFormatDsf, "xxx.dsf", {"1bit"}, "1bit"},
        {kRecFormatDsdiff, "44.1kHz", kRecFormatWav, "xxx.wav", pcmBits, "24bit"},
        {kRecFormatDsdiff, "AUTO", kRecFormatWav, "xxx.wav", pcmBits, "24bit"},  // AUTO reads as 48 kHz
        {kRecFormatWav, "96kHz", kRecFormatWav, "xxx.wav", pcmBits, "24bit"},
    };
    for (const Row &r : rows) {
        DialogRecSetup dlg;
        bootLists(dlg, rates, true);
        const int index = dlg.comboboxRecFreq->findText(r.rate);
        ASSERT_GE(index, 0) << r.rate;
        // Start on another rate so that choosing the row's rate is a change.
        dlg.comboboxRecFreq->setCurrentIndex(index == 0 ? 1 : 0);
        dlg.BounceFormat->setCurrentIndex(r.startFormat);
        QSignalSpy playFreq(&dlg, &DialogRecSetup::playFreqChanged);
        dlg.comboboxRecFreq->setCurrentIndex(index);

        EXPECT_EQ(dlg.recFormat(), r.format) << r.rate;
        EXPECT_EQ(dlg.BounceFormat->currentIndex(), r.format) << r.rate;
        EXPECT_EQ(child<QLineEdit>(dlg, "lineEditFileType")->text(), r.typeField) << r.rate;
        EXPECT_EQ(items(dlg.BounceBit), r.bits) << r.rate;
        EXPECT_EQ(dlg.BounceBit->currentText(), r.bit) << r.rate;
        // The play rate follows the record rate and is reported.
        EXPECT_EQ(dlg.ComboboxPlayFreq->currentIndex(), index) << r.rate;
        ASSERT_FALSE(playFreq.isEmpty()) << r.rate;
        EXPECT_EQ(playFreq.last().at(0).toInt(), index) << r.rate;
    }

    // Without the DSD formats in the list (no DSD device booted), a DSD rate
    // leaves the format alone instead of emptying the format list.
    DialogRecSetup dlg;
    dlg.comboboxRecFreq->setCurrentIndex(kFormRates.indexOf("5.6MHz"));
    EXPECT_EQ(dlg.BounceFormat->currentIndex(), 0);
    EXPECT_EQ(dlg.recFormat(), kRecFormatWav);
    EXPECT_EQ(dlg.getRecFileExt(), ".wav");
}

TEST_F(RecSetup, WhatARecordingReads) {
    struct Bits {
        const char *text;
        int bits;
    };
    const Bits bits[] = {{"1bit", 1},         {"16bit", 16}, {"24bit", 24}, {"32bit(float)", 32},
                         {"32bit Float", 32}, {"", 16},      {"24Bit", 16}, {"8bit", 16}};
    for (const Bits &b : bits) EXPECT_EQ(recSetupBitsFromText(b.text), b.bits) << b.text;
    EXPECT_EQ(recSetupFileExt(0), ".wav");
    EXPECT_EQ(recSetupFileExt(1), ".dff");
    EXPECT_EQ(recSetupFileExt(2), ".dsf");
    EXPECT_EQ(recSetupFileExt(-1), "");
    EXPECT_EQ(recSetupFileExt(3), "");

    // What the main window reads when it arms a recording, after a boot of
    // a DSD-capable device and a 5.6 MHz record rate.
    DialogRecSetup dlg;
    bootLists(dlg, {"44.1kHz", "2.8MHz", "5.6MHz"}, true);
    dlg.BounceBit->setCurrentIndex(dlg.BounceBit->findText("24bit"));  // as the main window's constructor does
    EXPECT_EQ(dlg.getRecBit(), 24);
    EXPECT_EQ(dlg.getRecFileExt(), ".wav");
    dlg.comboboxRecFreq->setCurrentIndex(dlg.comboboxRecFreq->findText("5.6MHz"));
    EXPECT_EQ(dlg.getRecBit(), 1);
    EXPECT_EQ(dlg.getRecFileExt(), ".dff");
    EXPECT_EQ(dlg.recFormat(), kRecFormatDsdiff);
    EXPECT_EQ(dlg.plainTextEditDir->text() + "/" + dlg.plainTextEditFile->text() + "_001" + dlg.getRecFileExt(),
              mMusic + "/KAVELO_001.dff");

    // Emptied lists: no extension and the default word length.
    dlg.BounceFormat->clear();
    EXPECT_EQ(dlg.getRecFileExt(), "");
    dlg.BounceBit->clear();
    EXPECT_EQ(dlg.getRecBit(), 16);
}
