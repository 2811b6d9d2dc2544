// The factory test window for multichannel audio hardware: per-channel
// measurements (level, phase, frequency) are compared with expectations,
// either by one of four buttons or as a step of a sequence loaded from a JSON
// file the user chooses. The window shows a mark per channel ("@" pass, "-"
// fail), an OK or NG picture per check and a total picture after the last
// step of a sequence, and keeps a log of the steps. Its GPIO boxes and COM
// port choice do nothing.
//
// Sequence file, a JSON object:
//   "comport", "initgpio": integers, -1 when absent (initgpio >= 0 makes
//       "Start sequence" wait 3.2 s first);
//   "AutoTestArray": one object per step, at most kTlTestMaxSteps used:
//       "test": "level_hi" | "level_lo" | "phase" | "freq" | "level_ch"
//               (exact case; anything else is the level-present check),
//       "gpio", "wait": integers (0 when absent),
//       "name": the step's name,
//       "level_table": ints per channel, 0 expects silence (absent: the row
//               keeps what it held),
//       "phase_table": ints per channel, 0 expects in phase (absent: all 0),
//       "freq_table": Hz per channel (absent: the default table);
//       tables fill their first entries, at most kTlTestChannels.
// A file that cannot be read or parsed loads as an empty sequence.
//
// Loading a file and constructing the window change the process's current
// folder (the file's folder, the documents folder).
//
// GUI thread only; the waits of a step block it (waitThread).
#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class DialogTlTest;
}

// What one check compares.
enum tCheckType : int {
    kCheckLevelPresent = 0,
    kCheckLevelAbsent = 1,
    kCheckPhase = 2,
    kCheckFrequency = 3,
    kCheckLevelPerChannel = 4,  // present or absent as the step's level row says
};

// What setTestData is given.
enum tTestDataType : int {
    kTestDataLevels = 0,
    kTestDataPhases = 1,
    kTestDataFrequencies = 2,
};

// One step of a sequence.
struct tAutoTestStep {
    int test = 0;  // a tCheckType
    int gpio = 0;  // 0 or more: the step's wait is passed on (getCurWaitTime)
    int wait = 0;
    QString name;
};

enum : int {
    kTlTestChannels = 32,
    kTlTestMaxSteps = 512,
};

// Linear level that counts as a signal: about -50 dBFS.
constexpr double kTlTestLevelThreshold = 0.00316;

class DialogTlTest : public QDialog {
    Q_OBJECT
public:
    explicit DialogTlTest(QWidget *parent = nullptr);
    ~DialogTlTest() override;
    DialogTlTest(const DialogTlTest &) = delete;
    DialogTlTest &operator=(const DialogTlTest &) = delete;

    // One check of the given type over all channels, against the expectation
    // rows of the given step; true when no channel failed (so also with no
    // channels). A step outside the tables fails without comparing anything.
    bool checkLevel(tCheckType type, int step);
    // Runs one step: its check, its log line, its waits; after the last
    // loaded step the total picture. An index outside the tables does
    // nothing.
    void seqTest(int step);
    // Number of loaded steps.
    int getMaxSeq() const { return mMaxSeq; }
    // Levels (linear), phases (degrees) or frequencies (Hz) per channel.
    // Levels are not copied: the caller keeps the array alive while checks
    // may run, and its count sets the channel count of every check. Phases
    // and frequencies are copied. At most kTlTestChannels values are used; a
    // null array counts as none.
    void setTestData(tTestDataType type, const double *data, int count);
    int getCurWaitTime() const { return mCurWaitTime; }
    void putCurWaitTime(int wait) { mCurWaitTime = wait; }
    // Clears the log and starts a fresh total.
    void init_before_sequence();
    // Shows the log and the last frequency readings in the two text fields.
    void setTestText();
    // One comparison: 0 value >= limit; 1 value < limit; 2 |value - limit|
    // > 90; 3 within limit ± 10 (inclusive); any other type fails.
    static bool check_do(tCheckType type, double value, double limit);
    // The GPIO output: not wired to anything.
    void controlGPO(int port, int value);

    // Read-outs of the state.
    const tAutoTestStep &step(int n) const;  // n is held within the tables
    int levelExpected(int step, int ch) const;
    int phaseExpected(int step, int ch) const;
    float freqExpected(int step, int ch) const;
    float defaultFreq(int ch) const;
    int initGpio() const { return mInitGpio; }
    int comPort() const { return mComPort; }
    bool totalOk() const { return mTotalOk; }
    const QString &logText() const { return mLogText; }
    const QString &resultText() const { return mResultText; }
    int channelCount() const { return mChannelCount; }
    // The resource path of the picture last put in the indicator.
    const QString &indicatorPicture() const { return mIndicatorPicture; }

    // The file dialog of "open sequence": (parent, caption, start folder,
    // filter) -> the chosen path, empty when cancelled. Tests replace it.
    using tOpenFileNameFunc = QString (*)(QWidget *, const QString &, const QString &, const QString &);
    static tOpenFileNameFunc sGetOpenFileName;
    // The blocking wait of the steps, in ms (waitThread). Tests replace it.
    using tWaitFunc = void (*)(int);
    static tWaitFunc sWait;

signals:
    void seqStarted();

private slots:
    void on_pushButton_clicked();
    void on_pushButton_Lo_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_Freq_clicked();
    void on_pushButton_selJson_clicked();
    void on_pushButton_sttseq_clicked();
    void on_pushButton_sttsel_clicked();
    void on_checkBox0_stateChanged(int state);
    void on_checkBox1_stateChanged(int state);
    void on_checkBox2_stateChanged(int state);
    void on_checkBox3_stateChanged(int state);
    void on_checkBox4_stateChanged(int state);
    void on_checkBox5_stateChanged(int state);
    void on_checkBox6_stateChanged(int state);
    void on_checkBox7_stateChanged(int state);
    void on_comboBoxCom_currentIndexChanged(int index);

private:
    void loadSequence(const QString &fileName);
    bool channelPasses(tCheckType type, int step, int ch) const;
    void showIndicator(const QString &picture);

    Ui::DialogTlTest *ui;
    const double *mLevelData = nullptr;  // the caller's levels, not copied
    int mChannelCount = 0;               // 0..kTlTestChannels
    float mDefaultFreqTable[kTlTestChannels] = {};
    double mPhaseData[kTlTestChannels] = {};
    double mFreqData[kTlTestChannels] = {};
    QString mResultText;
    QString mLogText;
    tAutoTestStep mSteps[kTlTestMaxSteps];
    int mMaxSeq = 0;
    int mLevelTable[kTlTestMaxSteps][kTlTestChannels] = {};
    int mPhaseTable[kTlTestMaxSteps][kTlTestChannels] = {};
    float mFreqTable[kTlTestMaxSteps][kTlTestChannels] = {};
    int mInitGpio = -1;  // -1: none; the first load sets it
    int mComPort = -1;
    bool mTotalOk = true;
    int mCurWaitTime = 0;
    QString mIndicatorPicture;
};

// The check of a step's "test" text: the five keywords, exact case; any
// other text is the level-present check.
tCheckType tlTestTypeFromText(const QString &text);

// The frequency check's line for a channel (from 0) and a measured
// frequency: "ch1 = 1000Hz\r\n", the frequency cut to a whole number and
// rounded to tens with halves up (1004.9 shows 1000, 1005 shows 1010).
QString tlTestFreqLine(int channel, double hz);
