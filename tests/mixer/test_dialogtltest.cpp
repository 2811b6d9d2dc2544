// The factory test window: loading sequences from JSON files the test
// writes (good, damaged, oversized), the checks over given measurements, the
// steps with their log, waits and total, and the buttons.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <cfloat>
#include <cmath>
#include <memory>
#include <vector>

#include "mixer/dialogtltest.h"

namespace {

TEST(TlTestText, KeywordsAreExact) {
    const struct {
        const char *text;
        tCheckType type;
    } rows[] = {
        {"level_hi", kCheckLevelPresent}, {"level_lo", kCheckLevelAbsent},     {"phase", kCheckPhase},
        {"freq", kCheckFrequency},        {"level_ch", kCheckLevelPerChannel}, {"Level_Lo", kCheckLevelPresent},
        {"PHASE", kCheckLevelPresent},    {"freq ", kCheckLevelPresent},       {"", kCheckLevelPresent},
    };
    for (const auto &r : rows) EXPECT_EQ(tlTestTypeFromText(QString::fromLatin1(r.text)), r.type) << r.text;
}

TEST(TlTestText, FrequencyLineRoundsToTens) {
    const struct {
        int ch;
        double hz;
        const char *line;
    } rows[] = {
        {0, 1004.9, "ch1 = 1000Hz\r\n"}, {1, 1005.0, "ch2 = 1010Hz\r\n"}, {31, 999.99, "ch32 = 1000Hz\r\n"},
        {0, 0.0, "ch1 = 0Hz\r\n"},       {0, NAN, "ch1 = 0Hz\r\n"},       {0, 1e300, "ch1 = 1000000000000000Hz\r\n"},
    };
    for (const auto &r : rows) EXPECT_EQ(tlTestFreqLine(r.ch, r.hz), QString::fromLatin1(r.line)) << r.hz;
}

TEST(TlTestText, OneComparison) {
    const struct {
        int type;
        double value, limit;
        bool pass;
    } rows[] = {
        {0, 0.5, 0.5, true},         {0, 0.49, 0.5, false}, {1, 0.49, 0.5, true},     {1, 0.5, 0.5, false},
        {2, 90.5, 0.0, true},        {2, 90.0, 0.0, false}, {3, 990.0, 1000.0, true}, {3, 1010.0, 1000.0, true},
        {3, 1010.01, 1000.0, false}, {4, 1.0, 0.0, false},
    };
    for (const auto &r : rows)
        EXPECT_EQ(DialogTlTest::check_do(static_cast<tCheckType>(r.type), r.value, r.limit), r.pass)
            << r.type << " " << r.value << " " << r.limit;
}

// A window with its file dialog and its waits replaced; the process's
// current folder is put back after each test (the window changes it).
class TlTestWindow : public ::testing::Test {
protected:
    void SetUp() override {
        savedDir = QDir::currentPath();
        ASSERT_TRUE(tmp.isValid());
        sChosen.clear();
        sWaits.clear();
        DialogTlTest::sGetOpenFileName = [](QWidget *, const QString &caption, const QString &, const QString &filter) {
            EXPECT_EQ(caption, "Open json File");
            EXPECT_EQ(filter, "Supported files (*.json);;All files (*.*)");
            return sChosen;
        };
        DialogTlTest::sWait = [](int ms) { sWaits.push_back(ms); };
        dlg = std::make_unique<DialogTlTest>();
    }
    void TearDown() override {
        dlg.reset();
        DialogTlTest::sGetOpenFileName = savedDialog;
        DialogTlTest::sWait = savedWait;
        QDir::setCurrent(savedDir);
    }

    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = tmp.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // Loads a file through the "open sequence" button (empty: cancelled).
    void load(const QString &path) {
        sChosen = path;
        click("pushButton_selJson");
    }
    void click(const char *button) { QTest::mouseClick(dlg->findChild<QPushButton *>(button), Qt::LeftButton); }
    QStringList stepList() {
        QStringList names;
        auto *combo = dlg->findChild<QComboBox *>("comboBoxCom_testnum");
        for (int i = 0; i < combo->count(); ++i) names << combo->itemText(i);
        return names;
    }
    QString marks() { return dlg->findChild<QLabel *>("labelRes0")->text(); }
    QString shownLog() { return dlg->findChild<QTextEdit *>("textEdit_2")->toPlainText(); }
    QString shownResults() { return dlg->findChild<QTextEdit *>("textEdit")->toPlainText(); }

    static QString sChosen;
    static std::vector<int> sWaits;
    const DialogTlTest::tOpenFileNameFunc savedDialog = DialogTlTest::sGetOpenFileName;
    const DialogTlTest::tWaitFunc savedWait = DialogTlTest::sWait;
    QString savedDir;
    QTemporaryDir tmp;
    std::unique_ptr<DialogTlTest> dlg;
};

QString TlTestWindow::sChosen;
std::vector<int> TlTestWindow::sWaits;

const char kSequence[] = R"({
  "comport": 3,
  "initgpio": 0,
  "AutoTestArray": [
    {"test": "level_ch", "gpio": 1, "wait": 250, "name": "left only",
     "level_table": [1, 0, 1]},
    {"test": "phase", "gpio": -1, "wait": 9, "name": "polarity",
     "phase_table": [0, 1], "freq_table": [1000, 2000.5]},
    {"test": "Level_Lo", "name": "wrong case"},
    {"test": "freq", "name": "tones", "freq_table": [1000, 1000, 1000, 1000]}
  ]
})";

TEST_F(TlTestWindow, StartsEmpty) {
    EXPECT_EQ(dlg->windowTitle(), "Dialog");
    EXPECT_EQ(dlg->getMaxSeq(), 0);
    EXPECT_EQ(dlg->initGpio(), -1);
    EXPECT_EQ(dlg->comPort(), -1);
    EXPECT_TRUE(stepList().isEmpty());
    auto *com = dlg->findChild<QComboBox *>("comboBoxCom");
    EXPECT_EQ(com->count(), 17);
    EXPECT_EQ(com->currentIndex(), 8);
    EXPECT_EQ(marks(), "----------------");
    // The default frequency table is not in the bundle.
    EXPECT_EQ(dlg->defaultFreq(0), 0.0f);
}

TEST_F(TlTestWindow, LoadsASequenceWithItsSteps) {
    const QString path = write("seq.json", kSequence);
    load(path);

    EXPECT_EQ(dlg->getMaxSeq(), 4);
    EXPECT_EQ(dlg->comPort(), 3);
    EXPECT_EQ(dlg->initGpio(), 0);
    EXPECT_EQ(stepList(), QStringList({"left only", "polarity", "wrong case", "tones"}));
    EXPECT_EQ(shownLog(), "json file has been loaded.");
    EXPECT_EQ(QDir::current().canonicalPath(), QDir(tmp.path()).canonicalPath());

    const struct {
        int test, gpio, wait;
        const char *name;
    } steps[] = {
        {kCheckLevelPerChannel, 1, 250, "left only"},
        {kCheckPhase, -1, 9, "polarity"},
        {kCheckLevelPresent, 0, 0, "wrong case"},  // keywords are case-sensitive
        {kCheckFrequency, 0, 0, "tones"},
    };
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(dlg->step(n).test, steps[n].test) << n;
        EXPECT_EQ(dlg->step(n).gpio, steps[n].gpio) << n;
        EXPECT_EQ(dlg->step(n).wait, steps[n].wait) << n;
        EXPECT_EQ(dlg->step(n).name, steps[n].name) << n;
    }
    EXPECT_EQ(dlg->levelExpected(0, 0), 1);
    EXPECT_EQ(dlg->levelExpected(0, 1), 0);
    EXPECT_EQ(dlg->levelExpected(0, 2), 1);
    EXPECT_EQ(dlg->phaseExpected(1, 1), 1);
    EXPECT_EQ(dlg->freqExpected(1, 0), 1000.0f);
    EXPECT_EQ(dlg->freqExpected(1, 1), 2000.5f);
}

TEST_F(TlTestWindow, MissingTablesAndRepeatedLoads) {
    // First load fills rows of step 0; the second leaves out every table.
    load(write("a.json", R"({"AutoTestArray": [{"name": "first",
        "level_table": [5, 6, 7], "phase_table": [1, 1, 1], "freq_table": [440, 880, 1760]}]})"));
    load(write("b.json", R"({"AutoTestArray": [{"name": "second", "level_table": [9]},
                                             {"name": "extra"}]})"));
    EXPECT_EQ(dlg->getMaxSeq(), 2);
    // The list keeps the names of earlier loads in front.
    EXPECT_EQ(stepList(), QStringList({"first", "second", "extra"}));
    EXPECT_EQ(dlg->step(0).name, "second");
    // A shorter level table replaces only its entries; a missing phase table
    // expects all in phase; a missing frequency table is the default one.
    EXPECT_EQ(dlg->levelExpected(0, 0), 9);
    EXPECT_EQ(dlg->levelExpected(0, 1), 6);
    EXPECT_EQ(dlg->levelExpected(0, 2), 7);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(dlg->phaseExpected(0, ch), 0) << ch;
        EXPECT_EQ(dlg->freqExpected(0, ch), dlg->defaultFreq(ch)) << ch;
    }
    // No comport or initgpio in the file: both unset again.
    EXPECT_EQ(dlg->comPort(), -1);
    EXPECT_EQ(dlg->initGpio(), -1);
}

TEST_F(TlTestWindow, DamagedOrMissingFilesLoadAsEmpty) {
    load(write("good.json", kSequence));
    const QString goodDir = QDir::currentPath();
    const struct {
        const char *what;
        QString path;
    } rows[] = {
        {"damaged", write("bad.json", QByteArray(kSequence).left(60))},
        {"not an object", write("array.json", "[1, 2, 3]")},
        {"not json", write("text.json", "\xff\xfe garbage")},
        {"missing", tmp.filePath("nowhere.json")},
        {"cancelled", QString()},
    };
    for (const auto &r : rows) {
        load(write("good.json", kSequence));
        ASSERT_EQ(dlg->getMaxSeq(), 4);
        load(r.path);
        EXPECT_EQ(dlg->getMaxSeq(), 0) << r.what;
        EXPECT_EQ(dlg->comPort(), -1) << r.what;
        EXPECT_EQ(dlg->initGpio(), -1) << r.what;
        EXPECT_EQ(shownLog(), "json file has been loaded.") << r.what;
    }
    // A cancelled dialog leaves the current folder alone.
    EXPECT_EQ(QDir::currentPath(), goodDir);
}

TEST_F(TlTestWindow, OversizedFilesStayWithinTheTables) {
    // 600 steps, the first with 40-entry tables: only 512 steps and 32
    // channels are read, and no row spills into the next.
    QByteArray json = R"({"AutoTestArray": [)";
    for (int n = 0; n < 600; ++n) {
        if (n) json += ",";
        if (n == 0 || n == 511) {
            QByteArray row = "7";
            for (int i = 1; i < 40; ++i) row += ",7";
            json += R"({"name": "wide", "level_table": [)" + row + R"(], "phase_table": [)" + row +
                    R"(], "freq_table": [)" + row + "]}";
        } else {
            json += R"({"name": "s)" + QByteArray::number(n) + R"(", "phase_table": [3]})";
        }
    }
    json += "]}";
    load(write("big.json", json));

    EXPECT_EQ(dlg->getMaxSeq(), 512);
    EXPECT_EQ(stepList().size(), 512);
    EXPECT_EQ(dlg->levelExpected(0, 31), 7);
    EXPECT_EQ(dlg->levelExpected(1, 0), 0);
    EXPECT_EQ(dlg->phaseExpected(1, 0), 3);
    EXPECT_EQ(dlg->phaseExpected(1, 1), 0);
    EXPECT_EQ(dlg->freqExpected(1, 0), 0.0f);
    EXPECT_EQ(dlg->freqExpected(511, 31), 7.0f);

    // Numbers beyond a float or an int are held, not converted blindly.
    load(write("huge.json", R"({"AutoTestArray": [{"gpio": 2.5, "wait": 1e20,
        "freq_table": [1e300, -1e300]}]})"));
    EXPECT_EQ(dlg->step(0).gpio, 0);
    EXPECT_EQ(dlg->step(0).wait, 0);
    EXPECT_EQ(dlg->freqExpected(0, 0), FLT_MAX);
    EXPECT_EQ(dlg->freqExpected(0, 1), -FLT_MAX);

    // Steps and counts out of range.
    sWaits.clear();
    dlg->seqTest(-1);
    dlg->seqTest(512);
    EXPECT_EQ(dlg->logText(), "json file has been loaded.");
    EXPECT_TRUE(sWaits.empty());
    EXPECT_FALSE(dlg->checkLevel(kCheckPhase, 600));
    EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/testng.png");
    std::vector<double> levels(40, 0.5);
    dlg->setTestData(kTestDataLevels, levels.data(), 40);
    EXPECT_EQ(dlg->channelCount(), 32);
    dlg->setTestData(kTestDataPhases, levels.data(), 40);
    dlg->setTestData(kTestDataFrequencies, levels.data(), -3);
    dlg->setTestData(kTestDataLevels, nullptr, 4);
    EXPECT_EQ(dlg->channelCount(), 0);
}

TEST_F(TlTestWindow, LevelButtonsMarkEachChannel) {
    // No measurements: every check passes over no channel.
    for (const char *b : {"pushButton", "pushButton_Lo", "pushButton_2", "pushButton_Freq"}) {
        click(b);
        EXPECT_EQ(marks(), "") << b;
        EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/testok.png") << b;
    }

    const double levels[] = {0.004, 0.001, 0.00316};
    dlg->setTestData(kTestDataLevels, levels, 3);
    click("pushButton");
    EXPECT_EQ(marks(), "@-@");
    EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/testng.png");
    click("pushButton_Lo");
    EXPECT_EQ(marks(), "-@-");
    EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/testng.png");
    EXPECT_EQ(dlg->findChild<QLabel *>("labelRes1")->text(), "");
}

TEST_F(TlTestWindow, PolarityAndFrequencyChecks) {
    const double levels[5] = {};
    dlg->setTestData(kTestDataLevels, levels, 5);
    // Step 0 expects all in phase: 0 to 180 degrees inclusive.
    const double phases[] = {180.0, 180.5, -0.5, 0.0, 90.0};
    dlg->setTestData(kTestDataPhases, phases, 5);
    EXPECT_FALSE(dlg->checkLevel(kCheckPhase, 0));
    EXPECT_EQ(marks(), "@--@@");

    // A step expecting channels 2 and 3 inverted.
    load(write("p.json", R"({"AutoTestArray": [{"test": "phase", "phase_table": [0, 1, 1, 0, 0]},
        {"test": "freq", "freq_table": [1000, 1000, 1000, 1000, 1000]}]})"));
    EXPECT_TRUE(dlg->checkLevel(kCheckPhase, 0));
    EXPECT_EQ(marks(), "@@@@@");

    const double freqs[] = {990.0, 1010.0, 989.9, 1010.1, 1004.9};
    dlg->setTestData(kTestDataFrequencies, freqs, 5);
    EXPECT_FALSE(dlg->checkLevel(kCheckFrequency, 1));
    EXPECT_EQ(marks(), "@@--@");
    EXPECT_EQ(dlg->resultText(), "ch1 = 990Hz\r\nch2 = 1010Hz\r\nch3 = 990Hz\r\nch4 = 1010Hz\r\nch5 = 1000Hz\r\n");
    // The readings reach the text field only through setTestText.
    EXPECT_EQ(shownResults(), "");
    dlg->setTestText();
    EXPECT_EQ(shownResults(), "ch1 = 990Hz\nch2 = 1010Hz\nch3 = 990Hz\nch4 = 1010Hz\nch5 = 1000Hz\n");
}

TEST_F(TlTestWindow, TestFreqUsesTheDefaultTableForStepZero) {
    load(write("f.json", R"({"AutoTestArray": [{"test": "freq", "freq_table": [1000]}]})"));
    ASSERT_EQ(dlg->freqExpected(0, 0), 1000.0f);
    click("pushButton_Freq");
    EXPECT_EQ(dlg->freqExpected(0, 0), dlg->defaultFreq(0));
}

TEST_F(TlTestWindow, StepsRunTheirChecksAndLogThem) {
    load(write("seq.json", kSequence));
    // Three channels: levels on channels 1 and 3 only, channel 2 inverted,
    // all at 1 kHz.
    const double levels[] = {0.5, 0.0, 0.5};
    const double phases[] = {10.0, 200.0, 20.0};
    const double freqs[] = {1000.0, 1002.0, 998.0};
    dlg->setTestData(kTestDataLevels, levels, 3);
    dlg->setTestData(kTestDataPhases, phases, 3);
    dlg->setTestData(kTestDataFrequencies, freqs, 3);

    QSignalSpy started(dlg.get(), &DialogTlTest::seqStarted);
    click("pushButton_sttseq");
    // "initgpio": 0 makes the start wait 3.2 s first.
    EXPECT_EQ(sWaits, std::vector<int>({100, 100, 3000}));
    EXPECT_EQ(started.count(), 1);

    sWaits.clear();
    for (int n = 0; n < dlg->getMaxSeq(); ++n) dlg->seqTest(n);
    dlg->setTestText();
    // Step 0 (level per channel) and 1 (polarity) pass, step 2 runs the
    // level-present check (case-sensitive keyword) and fails on channel 2,
    // step 3 (frequency) passes.
    EXPECT_EQ(dlg->logText(), "left only : OK\r\npolarity : OK\r\nwrong case : NG!\r\ntones : OK\r\n");
    EXPECT_EQ(shownLog(), "left only : OK\npolarity : OK\nwrong case : NG!\ntones : OK\n");
    EXPECT_EQ(shownResults(), "ch1 = 1000Hz\nch2 = 1000Hz\nch3 = 1000Hz\n");
    // gpio 1, -1, 0 (absent), 0: an extra 100 ms for every step but the second.
    EXPECT_EQ(sWaits, std::vector<int>({100, 100, 100, 100, 100, 100, 100}));
    EXPECT_EQ(dlg->getCurWaitTime(), 0);  // the last step with gpio >= 0 waits 0
    // The last step passed, an earlier one failed: the total is NG.
    EXPECT_FALSE(dlg->totalOk());
    EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/totalng.png");

    // "Start selected" on the last step alone starts a fresh total.
    dlg->findChild<QComboBox *>("comboBoxCom_testnum")->setCurrentIndex(3);
    click("pushButton_sttsel");
    EXPECT_EQ(dlg->logText(), "tones : OK\r\n");
    EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/totalok.png");

    // A step that is not the last shows the check's own picture.
    dlg->findChild<QComboBox *>("comboBoxCom_testnum")->setCurrentIndex(0);
    click("pushButton_sttsel");
    EXPECT_EQ(dlg->indicatorPicture(), ":/resources2/parts/testok.png");
    EXPECT_EQ(dlg->getCurWaitTime(), 250);
}

TEST_F(TlTestWindow, StartWithoutGpioAndSelectedWithoutSteps) {
    QSignalSpy started(dlg.get(), &DialogTlTest::seqStarted);
    click("pushButton_sttseq");
    EXPECT_TRUE(sWaits.empty());
    EXPECT_EQ(started.count(), 1);

    // Nothing loaded: "Start selected" has no step to run.
    click("pushButton_sttsel");
    EXPECT_TRUE(dlg->logText().isEmpty());
    EXPECT_TRUE(sWaits.empty());
    EXPECT_TRUE(dlg->indicatorPicture().isEmpty());
}

}  // namespace
