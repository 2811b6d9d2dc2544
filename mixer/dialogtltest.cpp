#include "mixer/dialogtltest.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPixmap>
#include <QStandardPaths>
#include <QTextStream>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "audiofile/audiohelpers.h"
#include "ui_dialogtltest.h"

namespace {

const char kDefaultTablePath[] = ":/resources2/table/tonalithTest.json";
const char kPictureOk[] = ":/resources2/parts/testok.png";
const char kPictureNg[] = ":/resources2/parts/testng.png";
const char kPictureTotalOk[] = ":/resources2/parts/totalok.png";
const char kPictureTotalNg[] = ":/resources2/parts/totalng.png";
const char kLoadedText[] = "json file has been loaded.";

// A stage of the steps' waits, in ms.
constexpr int kStepWaitMs = 100;
constexpr int kInitGpioSettleMs = 3000;

// The top-level object of a JSON file read as text; a file that cannot be
// opened, or is not a JSON object, gives an empty object.
QJsonObject readJsonObject(const QString &path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
    QTextStream in(&file);
    return QJsonDocument::fromJson(in.readAll().toUtf8()).object();
}

// A JSON number kept as a float; beyond the float range it is held at the
// largest float of its sign (the conversion itself would be undefined).
float toFloatHeld(double v) {
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(v);
}

// How many entries of a JSON table fit a row.
int rowEntries(const QJsonArray &a) { return static_cast<int>(std::min<qsizetype>(a.size(), kTlTestChannels)); }

}  // namespace

DialogTlTest::tOpenFileNameFunc DialogTlTest::sGetOpenFileName = [](QWidget *parent, const QString &caption,
                                                                    const QString &dir, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
};

DialogTlTest::tWaitFunc DialogTlTest::sWait = waitThread;

tCheckType tlTestTypeFromText(const QString &text) {
    if (text == QLatin1String("level_hi")) return kCheckLevelPresent;
    if (text == QLatin1String("level_lo")) return kCheckLevelAbsent;
    if (text == QLatin1String("phase")) return kCheckPhase;
    if (text == QLatin1String("freq")) return kCheckFrequency;
    if (text == QLatin1String("level_ch")) return kCheckLevelPerChannel;
    return kCheckLevelPresent;
}

QString tlTestFreqLine(int channel, double hz) {
    // Held well inside the 64-bit range before the cut to a whole number.
    int64_t whole = 0;
    if (hz == hz) whole = static_cast<int64_t>(std::clamp(hz, -1e15, 1e15));
    const int64_t shown = (whole + 5) / 10 * 10;
    return QStringLiteral("ch%1 = %2Hz\r\n").arg(channel + 1).arg(shown);
}

bool DialogTlTest::check_do(tCheckType type, double value, double limit) {
    switch (type) {
    case kCheckLevelPresent: return value >= limit;
    case kCheckLevelAbsent: return value < limit;
    case kCheckPhase: return std::fabs(value - limit) > 90.0;
    case kCheckFrequency: return limit - 10.0 <= value && value <= limit + 10.0;
    default: return false;
    }
}

DialogTlTest::DialogTlTest(QWidget *parent) : QDialog(parent), ui(new Ui::DialogTlTest) {
    ui->setupUi(this);

    const QJsonArray freq =
        readJsonObject(QString::fromLatin1(kDefaultTablePath)).value(QLatin1String("freq")).toArray();
    for (int i = 0; i < rowEntries(freq); ++i) mDefaultFreqTable[i] = static_cast<float>(freq.at(i).toInt(0));

    QDir::setCurrent(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

DialogTlTest::~DialogTlTest() { delete ui; }

const tAutoTestStep &DialogTlTest::step(int n) const { return mSteps[std::clamp(n, 0, kTlTestMaxSteps - 1)]; }

int DialogTlTest::levelExpected(int step, int ch) const {
    return mLevelTable[std::clamp(step, 0, kTlTestMaxSteps - 1)][std::clamp(ch, 0, kTlTestChannels - 1)];
}

int DialogTlTest::phaseExpected(int step, int ch) const {
    return mPhaseTable[std::clamp(step, 0, kTlTestMaxSteps - 1)][std::clamp(ch, 0, kTlTestChannels - 1)];
}

float DialogTlTest::freqExpected(int step, int ch) const {
    return mFreqTable[std::clamp(step, 0, kTlTestMaxSteps - 1)][std::clamp(ch, 0, kTlTestChannels - 1)];
}

float DialogTlTest::defaultFreq(int ch) const { return mDefaultFreqTable[std::clamp(ch, 0, kTlTestChannels - 1)]; }

void DialogTlTest::setTestData(tTestDataType type, const double *data, int count) {
    // The expectation rows hold kTlTestChannels channels: more cannot be
    // checked, and the phase and frequency copies hold no more.
    const int n = data ? std::clamp(count, 0, static_cast<int>(kTlTestChannels)) : 0;
    switch (type) {
    case kTestDataLevels:
        mLevelData = n > 0 ? data : nullptr;
        mChannelCount = n;
        break;
    case kTestDataPhases: std::copy_n(data, n, mPhaseData); break;
    case kTestDataFrequencies: std::copy_n(data, n, mFreqData); break;
    default: break;
    }
}

void DialogTlTest::init_before_sequence() {
    mLogText.clear();
    mTotalOk = true;
}

void DialogTlTest::setTestText() {
    ui->textEdit_2->setPlainText(mLogText);
    ui->textEdit->setPlainText(mResultText);
}

void DialogTlTest::controlGPO(int, int) {}

void DialogTlTest::showIndicator(const QString &picture) {
    mIndicatorPicture = picture;
    // A picture missing from the bundle leaves the label empty.
    ui->labelIndicator->setPixmap(QPixmap(picture));
}

bool DialogTlTest::channelPasses(tCheckType type, int step, int ch) const {
    switch (type) {
    case kCheckLevelPresent: return mLevelData[ch] >= kTlTestLevelThreshold;
    case kCheckLevelAbsent: return mLevelData[ch] < kTlTestLevelThreshold;
    case kCheckPhase: {
        // 0 to 180 degrees (inclusive) counts as in phase.
        const bool inPhase = std::fabs(mPhaseData[ch] - 90.0) <= 90.0;
        return (mPhaseTable[step][ch] == 0) == inPhase;
    }
    case kCheckFrequency: {
        const double expected = mFreqTable[step][ch];
        return expected - 10.0 <= mFreqData[ch] && mFreqData[ch] <= expected + 10.0;
    }
    case kCheckLevelPerChannel:
        return mLevelTable[step][ch] == 0 ? mLevelData[ch] < kTlTestLevelThreshold
                                          : mLevelData[ch] >= kTlTestLevelThreshold;
    default: return false;
    }
}

bool DialogTlTest::checkLevel(tCheckType type, int step) {
    ui->labelRes0->clear();
    ui->labelRes1->clear();
    mResultText.clear();

    const bool stepExists = step >= 0 && step < kTlTestMaxSteps;
    bool allPassed = stepExists;
    QString marks;
    for (int ch = 0; stepExists && ch < mChannelCount; ++ch) {
        if (type == kCheckFrequency) mResultText += tlTestFreqLine(ch, mFreqData[ch]);
        const bool pass = channelPasses(type, step, ch);
        marks += pass ? QLatin1Char('@') : QLatin1Char('-');
        allPassed = allPassed && pass;
    }
    ui->labelRes0->setText(marks);
    showIndicator(QString::fromLatin1(allPassed ? kPictureOk : kPictureNg));
    return allPassed;
}

void DialogTlTest::seqTest(int step) {
    if (step < 0 || step >= kTlTestMaxSteps) return;
    const tAutoTestStep &s = mSteps[step];
    bool passed = false;
    if (s.test >= kCheckLevelPresent && s.test <= kCheckLevelPerChannel)
        passed = checkLevel(static_cast<tCheckType>(s.test), step);
    mLogText += s.name + (passed ? QLatin1String(" : OK\r\n") : QLatin1String(" : NG!\r\n"));
    if (!passed) mTotalOk = false;

    sWait(kStepWaitMs);
    if (s.gpio >= 0) {
        sWait(kStepWaitMs);
        mCurWaitTime = s.wait;
    }
    if (step + 1 == mMaxSeq) showIndicator(QString::fromLatin1(mTotalOk ? kPictureTotalOk : kPictureTotalNg));
}

void DialogTlTest::loadSequence(const QString &fileName) {
    const QJsonObject root = readJsonObject(fileName);
    // A value that is absent or not a whole number counts as unset.
    mComPort = root.value(QLatin1String("comport")).toInt(-1);
    mInitGpio = root.value(QLatin1String("initgpio")).toInt(-1);

    const QJsonArray steps = root.value(QLatin1String("AutoTestArray")).toArray();
    // Steps beyond the tables are not read.
    const int count = static_cast<int>(std::min<qsizetype>(steps.size(), kTlTestMaxSteps));
    for (int n = 0; n < count; ++n) {
        const QJsonObject o = steps.at(n).toObject();
        tAutoTestStep &s = mSteps[n];
        s.test = tlTestTypeFromText(o.value(QLatin1String("test")).toString());
        s.gpio = o.value(QLatin1String("gpio")).toInt(0);
        s.wait = o.value(QLatin1String("wait")).toInt(0);
        s.name = o.value(QLatin1String("name")).toString();

        const QJsonValue level = o.value(QLatin1String("level_table"));
        if (level.isArray()) {
            const QJsonArray a = level.toArray();
            for (int i = 0; i < rowEntries(a); ++i) mLevelTable[n][i] = a.at(i).toInt(0);
        }
        const QJsonValue phase = o.value(QLatin1String("phase_table"));
        if (phase.isArray()) {
            const QJsonArray a = phase.toArray();
            for (int i = 0; i < rowEntries(a); ++i) mPhaseTable[n][i] = a.at(i).toInt(0);
        } else {
            std::fill_n(mPhaseTable[n], kTlTestChannels, 0);
        }
        const QJsonValue freq = o.value(QLatin1String("freq_table"));
        if (freq.isArray()) {
            const QJsonArray a = freq.toArray();
            for (int i = 0; i < rowEntries(a); ++i) mFreqTable[n][i] = toFloatHeld(a.at(i).toDouble(0));
        } else {
            std::copy_n(mDefaultFreqTable, kTlTestChannels, mFreqTable[n]);
        }
        ui->comboBoxCom_testnum->addItem(s.name);
    }
    mMaxSeq = count;

    mLogText = QString::fromLatin1(kLoadedText);
    ui->textEdit_2->setPlainText(mLogText);
}

void DialogTlTest::on_pushButton_clicked() { checkLevel(kCheckLevelPresent, 0); }

void DialogTlTest::on_pushButton_Lo_clicked() { checkLevel(kCheckLevelAbsent, 0); }

void DialogTlTest::on_pushButton_2_clicked() { checkLevel(kCheckPhase, 0); }

void DialogTlTest::on_pushButton_Freq_clicked() {
    mResultText.clear();
    std::copy_n(mDefaultFreqTable, kTlTestChannels, mFreqTable[0]);
    checkLevel(kCheckFrequency, 0);
}

void DialogTlTest::on_pushButton_selJson_clicked() {
    const QString fileName = sGetOpenFileName(this, tr("Open json File"), QDir::currentPath(),
                                              tr("Supported files (*.json);;All files (*.*)"));
    if (!fileName.isEmpty()) QDir::setCurrent(QFileInfo(fileName).absolutePath());
    loadSequence(fileName);
}

void DialogTlTest::on_pushButton_sttseq_clicked() {
    mLogText.clear();
    mTotalOk = true;
    if (mInitGpio >= 0) {
        sWait(kStepWaitMs);
        sWait(kStepWaitMs);
        sWait(kInitGpioSettleMs);
    }
    emit seqStarted();
}

void DialogTlTest::on_pushButton_sttsel_clicked() {
    const int index = ui->comboBoxCom_testnum->currentIndex();
    mLogText.clear();
    mTotalOk = true;
    // With an empty list (index -1) nothing runs.
    seqTest(index);
}

void DialogTlTest::on_checkBox0_stateChanged(int) {}
void DialogTlTest::on_checkBox1_stateChanged(int) {}
void DialogTlTest::on_checkBox2_stateChanged(int) {}
void DialogTlTest::on_checkBox3_stateChanged(int) {}
void DialogTlTest::on_checkBox4_stateChanged(int) {}
void DialogTlTest::on_checkBox5_stateChanged(int) {}
void DialogTlTest::on_checkBox6_stateChanged(int) {}
void DialogTlTest::on_checkBox7_stateChanged(int) {}
void DialogTlTest::on_comboBoxCom_currentIndexChanged(int) {}
