#include "mixer/dialogpeq.h"

#include <QFont>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <cmath>

#include "dsp/peakeq.h"
#include "engine/engineparams.h"
#include "mixer/eqcontrols.h"
#include "mixer/widgeteq.h"
#include "ui_dialogpeq.h"
#include "widgets/indicators.h"
#include "widgets/knobs.h"
#include "widgets/valuebars.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLog20 = 1.3010299956639813;
constexpr double kLog40k = 4.6020599913279625;
constexpr int kAxisHalfRateLimit = 80000;  // up to this rate the axis ends at half the rate
constexpr double kDialRadius = 18.0;       // pixels from the dial's centre to the pointer's corner
constexpr double kDialCentre = 26.5;
constexpr double kDialSweep = 0.75 * kPi;  // radians at ±18 dB

const QString kParts = QStringLiteral(":/resources2/parts/");

// Places of the controls that refresh() puts back.
const QRect kQBarRect[kEqBands] = {{152, 441, 100, 14}, {323, 441, 100, 14}, {493, 441, 100, 14}, {663, 441, 100, 14}};
const QRect kGraphRect(120, 10, 670, 260);
const QRect kKnobRect(27, 221, 64, 64);
const QRect kPointerRect(27, 7, 11, 11);

// Record band of window band n (EQ1 is band 3).
int recordBand(int n) { return kEqBands - 1 - n; }

void setPicture(QLabel *label, const QString &path) { label->setPixmap(QPixmap(path)); }

}  // namespace

// ---- Arithmetic --------------------------------------------------------------

double peq_readNumber(const QString &text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

QPoint peq_dialPointerPos(double totalDb) {
    const double theta = totalDb / kPeqGainMax * kDialSweep;
    return QPoint(static_cast<int>(std::trunc(kDialCentre + kDialRadius * std::sin(theta))),
                  static_cast<int>(std::trunc(kDialCentre - kDialRadius * std::cos(theta))));
}

bool peq_dsdPure(const tPEQ &peq, const double *mainVolumeDb) {
    for (const peakEq &b : peq.band)
        if (b.mBandOn) return false;
    return mainVolumeDb && *mainVolumeDb == 0.0;
}

QString peq_areaStyle(bool active) {
    const QString picture = kParts + (active ? QStringLiteral("Area_on.png") : QStringLiteral("Area_off.png"));
    return QStringLiteral("background-image: url(%1);\nborder-image: url(%1);").arg(picture);
}

QString peq_onOffPicture(bool eqOn, bool bandOn) {
    if (!bandOn) return kParts + QStringLiteral("button-OFF_disable.png");
    return kParts + (eqOn ? QStringLiteral("button-ON.png") : QStringLiteral("button-ON_disable.png"));
}

QString peq_typePicture(const char *shown, bool selected, bool active) {
    return kParts + QLatin1String(shown) + (selected ? QStringLiteral("_on") : QStringLiteral("_off")) +
           (active ? QString() : QStringLiteral("_disable")) + QStringLiteral(".png");
}

int peq_freqAtPosition(int pos, int width, double logTop, double ratio, int rate) {
    if (width <= 0) return 0;
    const double w = width;
    const double f = std::pow(10.0, ((pos * (w - ratio * w) / w) + ratio * w) * logTop / w);
    const int hz = static_cast<int>(std::trunc(f + 0.5));
    const int half = rate / 2;
    return hz >= half ? half - 1 : hz;
}

// ---- Construction --------------------------------------------------------------

DialogPeq::DialogPeq(QWidget *parent) : QDialog(parent), ui(new Ui::DialogPeq) {
    ui->setupUi(this);
    mBand[0] = {ui->textEditFreq1, ui->textEditGain1, ui->textEditQ1, ui->widget_Q1, ui->labelEq1OnOff};
    mBand[1] = {ui->textEditFreq2, ui->textEditGain2, ui->textEditQ2, ui->widget_Q2, ui->labelEq2OnOff};
    mBand[2] = {ui->textEditFreq3, ui->textEditGain3, ui->textEditQ3, ui->widget_Q3, ui->labelEq3OnOff};
    mBand[3] = {ui->textEditFreq4, ui->textEditGain4, ui->textEditQ4, ui->widget_Q4, ui->labelEq4OnOff};
    mLogFreqTop = std::log10(0.5 * mSampleRate);
    mLogFreqRatio = kLog20 / mLogFreqTop;

    using P = DialogPeq;
    void (P::*const freqText[kEqBands])() = {&P::eq1freqTextEntered, &P::eq2freqTextEntered, &P::eq3freqTextEntered,
                                             &P::eq4freqTextEntered};
    void (P::*const gainText[kEqBands])() = {&P::eq1GainTextEntered, &P::eq2GainTextEntered, &P::eq3GainTextEntered,
                                             &P::eq4GainTextEntered};
    void (P::*const qText[kEqBands])() = {&P::eq1QTextEntered, &P::eq2QTextEntered, &P::eq3QTextEntered,
                                          &P::eq4QTextEntered};
    void (P::*const qBar[kEqBands])(int) = {&P::eq1QConfirmed, &P::eq2QConfirmed, &P::eq3QConfirmed, &P::eq4QConfirmed};
    void (P::*const freqDone[kEqBands])() = {&P::eq1FreqEditingFinished, &P::eq2FreqEditingFinished,
                                             &P::eq3FreqEditingFinished, &P::eq4FreqEditingFinished};
    void (P::*const gainDone[kEqBands])() = {&P::eq1GainEditingFinished, &P::eq2GainEditingFinished,
                                             &P::eq3GainEditingFinished, &P::eq4GainEditingFinished};
    void (P::*const qDone[kEqBands])() = {&P::eq1QeditingFinished, &P::eq2QeditingFinished, &P::eq3QeditingFinished,
                                          &P::eq4QeditingFinished};
    void (P::*const onOff[kEqBands])(int) = {&P::Eq1OnOff_clicked, &P::Eq2OnOff_clicked, &P::Eq3OnOff_clicked,
                                             &P::Eq4OnOff_clicked};
    for (int n = 0; n < kEqBands; ++n) {
        const BandControls &c = mBand[n];
        connect(c.freq, &widgetEqParamText::enterKeyPressed, this, freqText[n]);
        connect(c.gain, &widgetEqParamText::enterKeyPressed, this, gainText[n]);
        connect(c.q, &widgetEqParamText::enterKeyPressed, this, qText[n]);
        connect(c.qBar, &WidgetQbar::qValueChanged, this, qBar[n]);
        connect(c.freq, &QLineEdit::editingFinished, this, freqDone[n]);
        connect(c.gain, &QLineEdit::editingFinished, this, gainDone[n]);
        connect(c.q, &QLineEdit::editingFinished, this, qDone[n]);
        connect(c.onOff, &eqOnOffButton::mousePressed, this, onOff[n]);
    }
    connect(ui->widgetEQ, &widgetEq::eqParamChanged, this, &P::eqParamChangedByGraph);
    connect(ui->labelEQ1Type, &eqtypesw::selEqType, this, &P::selectEQ1Type);
    connect(ui->labelEqTypeShelf, &eqtypesw::selEqType, this, &P::selectEQ1Shelving);
    connect(ui->labelEQ4TypePeak, &eqtypesw::selEqType, this, &P::selectEQ4TypePeak);
    connect(ui->labelEq4TypeShelf, &eqtypesw::selEqType, this, &P::selectEQ4Shelving);
    connect(ui->labelEq4TypeLF, &eqtypesw::selEqType, this, &P::selectEQ4LF);
    connect(ui->labelEQOnOff, &eqIndicator::selEqOnOff, this, &P::selAllEqOnOff);
    connect(ui->widgetEqTotalGainBase, &widget_knob::valueChanged, this, &P::eqGainChanged);
    connect(ui->textEditEqGain, &QLineEdit::editingFinished, this, &P::eqGainEditingFinished);

    ui->labelEQOnOff->selectClickControl(kIndicatorToggle);
    ui->widgetEqTotalGainBase->prepareKnobTable(kPeqKnobSteps, -kPeqGainMax, kPeqGainMax, kPeqKnobResolution,
                                                kChangeLinear);
    ui->textEditFreq1->clearFocus();
    ui->widgetEQ->setGeometry(kGraphRect);

    // The graph's scale captions: light on the graph's black, the
    // analyser's dB scale dimmer and its top caption smaller.
    const QColor light(240, 240, 240);
    for (QLabel *label : {ui->label20Hz, ui->label50Hz, ui->label100Hz, ui->label200Hz, ui->label500Hz, ui->label1kHz,
                          ui->label2kHz, ui->label5kHz, ui->label10kHz, ui->label20kHz, ui->labeldB, ui->label18dB,
                          ui->label12dB, ui->label6dB, ui->label0dB, ui->labelm6dB, ui->labelm12dB, ui->labelm18dB}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::All, QPalette::WindowText, light);
        label->setPalette(palette);
    }
    QFont small = ui->labelm30rta->font();
    small.setPointSize(6);
    ui->labelm30rta->setFont(small);
    for (QLabel *label : {ui->labelm30rta, ui->labelm60rta, ui->labelm90rta}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::All, QPalette::WindowText, QColor(180, 180, 180));
        label->setPalette(palette);
    }
    setUpSpectrumFeed();
}

DialogPeq::~DialogPeq() {
    // The controls outlive this part of the window: a field that loses the
    // focus while they are torn down still reports editingFinished.
    for (QObject *child : findChildren<QObject *>()) child->disconnect(this);
    delete ui;
}

// ---- Binding and filling ----------------------------------------------------------

void DialogPeq::sendPeqParam(tPEQ *peq, int sampleRate, double *mainVolumeDb) {
    mPeq = peq;
    mSampleRate = sampleRate;
    mLogFreqTop = sampleRate <= kAxisHalfRateLimit ? std::log10(0.5 * sampleRate) : kLog40k;
    mLogFreqRatio = kLog20 / mLogFreqTop;
    mMainVolumeDb = mainVolumeDb;
    // The graph checks the bound record's bands against the new rate's
    // limit, not the points a previous binding left in it.
    if (mPeq) setEqParamOfWidgetEq();
    ui->widgetEQ->setSampleRate(sampleRate);
}

void DialogPeq::setEqParamOfWidgetEq() {
    if (!mPeq) return;
    widgetEq *graph = ui->widgetEQ;
    for (int n = 0; n < kEqBands; ++n) {
        const peakEq &b = band(n);
        graph->mBandPoint[n] = {b.mFreq, b.mGain, std::log10(b.mFreq)};
    }
}

void DialogPeq::setEqParamOfDialogEq() {
    if (!mPeq) return;
    for (int n = 0; n < kEqBands; ++n) {
        peakEq &b = band(n);
        if (n == 3) b.setShelvLo(false);  // EQ4's shelf is the high one
        b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), b.mType);
        calcEqCurve(&b, n);
        mBand[n].q->setValue(b.mQ);
        mBand[n].qBar->setQvalue(b.mQ);
    }
    ui->labelEQOnOff->changeEqIndicator(switchOnThroughRecord());
    ui->widgetEqTotalGainBase->setKnobValue(mPeq->totalGainDb);
    redrawEqTotalGainKnob();
    eqTotalGainTopRedraw();
    for (int n = 0; n < kEqBands; ++n) {
        mBand[n].freq->setAlignment(Qt::AlignRight);
        mBand[n].gain->setAlignment(Qt::AlignRight);
        mBand[n].q->setAlignment(Qt::AlignRight);
    }
    ui->textEditEqGain->setAlignment(Qt::AlignRight);
    ui->textEditEqGain->setText(QString::number(mPeq->totalGainDb, 'f', 1));
    for (int n = 0; n < kEqBands; ++n) {
        mBand[n].freq->setText(QString::number(band(n).mFreq, 'f', 0));
        mBand[n].gain->setText(QString::number(band(n).mGain, 'f', 1));
    }
    checkEqOnOrNot();
    for (int n = 0; n < kEqBands; ++n) ui->widgetEQ->redrawEqCurve(n);
    for (int n = 0; n < kEqBands; ++n) redrawBandInfo(n);
}

void DialogPeq::refresh() {
    ui->widgetEqTotalGainBase->prepareKnobTable(kPeqKnobSteps, -kPeqGainMax, kPeqGainMax, kPeqKnobResolution,
                                                kChangeLinear);
    for (int n = 0; n < kEqBands; ++n) mBand[n].qBar->setGeometry(kQBarRect[n]);
    ui->widgetEQ->setGeometry(kGraphRect);
    ui->widgetEqTotalGainBase->setGeometry(kKnobRect);
    ui->label_EqTotalGainTop->setGeometry(kPointerRect);
    eqTotalGainTopRedraw();
    ui->textEditFreq1->clearFocus();
    ui->textEditFreq1->valueConfirmed();
}

void DialogPeq::setEqTotalGain(double dB) {
    ui->textEditEqGain->setText(QString::number(dB, 'f', 1));
    storeTotalGain(dB);
    ui->widgetEqTotalGainBase->setKnobValue(dB);
    eqTotalGainTopRedraw();
}

// ---- Bands -------------------------------------------------------------------------

peakEq &DialogPeq::band(int n) const { return mPeq->band[recordBand(n)]; }

void DialogPeq::calcEqCurve(peakEq *b, int row) {
    if (!b || row < 0 || row >= kEqGraphBands) return;
    const double rate = mSampleRate;
    for (tEqCurvePoint &p : ui->widgetEQ->mCurve[row]) p.dB = b->calcDBatFreq(rate, p.freq);
}

void DialogPeq::applyBand(int n, bool copyPoints) {
    peakEq &b = band(n);
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), b.mType);
    if (copyPoints) setEqParamOfWidgetEq();
    calcEqCurve(&b, n);
    ui->widgetEQ->redrawEqCurve(n);
}

void DialogPeq::freqTextEntered(int n) {
    if (!mPeq) return;
    // Also held to the rate's band-frequency limit, the one the graph keeps
    // its points under: a band at or above half the rate has an unstable
    // filter, which would fill the output with ever louder noise.
    const double hz = std::min(checkRangeEqFreq(peq_readNumber(mBand[n].freq->text())),
                               static_cast<double>(eqGraph_bandFreqLimit(mSampleRate)));
    band(n).mFreq = hz;
    mBand[n].freq->setText(QString::number(hz, 'f', 0));
    applyBand(n, true);
}

void DialogPeq::gainTextEntered(int n) {
    if (!mPeq) return;
    const double dB = checkRangeEqGain(peq_readNumber(mBand[n].gain->text()));
    band(n).mGain = dB;
    mBand[n].gain->setText(QString::number(dB, 'f', 1));
    applyBand(n, true);
}

void DialogPeq::qTextEntered(int n) {
    // Ten times the typed Q, truncated, as the Q bar reports it. Held to a
    // range that converts to int before the Q's own clamp.
    const double tenTimes = std::clamp(peq_readNumber(mBand[n].q->text()) * 10.0, -1.0e6, 1.0e6);
    qConfirmed(n, static_cast<int>(std::trunc(tenTimes)));
}

void DialogPeq::qConfirmed(int n, int tenTimesQ) {
    if (!mPeq) return;
    const double q = checkRangeEqQ(tenTimesQ / 10.0);
    band(n).mQ = q;
    applyBand(n, true);
    mBand[n].q->setValue(q);
    mBand[n].qBar->setQvalue(q);
}

void DialogPeq::eqParamChangedByGraph(int row) {
    if (!mPeq || row < 0 || row >= kEqGraphBands) return;
    const tEqBandPoint &p = ui->widgetEQ->mBandPoint[row];
    peakEq &b = band(row);
    b.mFreq = p.freq;
    b.mGain = p.gain;
    b.setupParam(p.gain, p.freq, b.mQ, static_cast<double>(mSampleRate), b.mType);
    mBand[row].gain->setText(QString::number(p.gain, 'f', 1));
    mBand[row].freq->setText(QString::number(p.freq, 'f', 0));
    calcEqCurve(&b, row);
    ui->widgetEQ->redrawEqCurve(row);
}

// Type switches. EQ1 stores its new type before setupParam and EQ4 after
// it: setupParam starts the band's switching glide when the type it is
// given differs from the stored one, so an EQ4 type change always glides.
void DialogPeq::selectEQ1Type(int) {
    if (!mPeq) return;
    peakEq &b = band(0);
    b.mType = kEqPeak;
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), kEqPeak);
    calcEqCurve(&b, 0);
    ui->widgetEQ->redrawEqCurve(0);
    redrawEq1Info();
}

void DialogPeq::selectEQ1Shelving(int) {
    if (!mPeq) return;
    peakEq &b = band(0);
    b.mType = kEqShelf;  // the shelf side stays low
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), kEqShelf);
    calcEqCurve(&b, 0);
    ui->widgetEQ->redrawEqCurve(0);
    redrawEq1Info();
}

void DialogPeq::selectEQ4TypePeak(int) {
    if (!mPeq) return;
    peakEq &b = band(3);
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), kEqPeak);
    b.mType = kEqPeak;
    calcEqCurve(&b, 3);
    ui->widgetEQ->redrawEqCurve(3);
    redrawEq4Info();
}

void DialogPeq::selectEQ4Shelving(int) {
    if (!mPeq) return;
    peakEq &b = band(3);
    b.setShelvLo(false);
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), kEqShelf);
    b.mType = kEqShelf;
    calcEqCurve(&b, 3);
    ui->widgetEQ->redrawEqCurve(3);
    redrawEq4Info();
}

void DialogPeq::selectEQ4LF(int) {
    if (!mPeq) return;
    peakEq &b = band(3);
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), kEqLowPass);
    b.mType = kEqLowPass;
    calcEqCurve(&b, 3);
    ui->widgetEQ->redrawEqCurve(3);
    redrawEq4Info();
}

void DialogPeq::bandOnOffClicked(int n) {
    if (!mPeq) return;
    peakEq &b = band(n);
    b.mBandOn = !b.mBandOn;
    b.setupParam(b.mGain, b.mFreq, b.mQ, static_cast<double>(mSampleRate), b.mType);
    setDsdPureOrNot(checkDsdPurity());
    checkEqOnOrNot();
    calcEqCurve(&b, n);
    ui->widgetEQ->redrawEqCurve(n);
    redrawBandInfo(n);
}

void DialogPeq::selAllEqOnOff(int on) {
    mAllEqOn = on != 0;
    checkEqOnOrNot();
    ui->widgetEQ->redrawEqCurve(0);
    redrawEqTotalGainKnob();
    for (int n = 0; n < kEqBands; ++n) redrawBandInfo(n);
    emit selectAllEqOnOff(on, mTrackId);
}

// ---- Total gain ------------------------------------------------------------------

void DialogPeq::storeTotalGain(double dB) {
    if (!mPeq) return;
    mPeq->totalGainDb = dB;
    mPeq->totalGainLin = std::pow(10.0, dB / 20.0);
}

void DialogPeq::eqGainChanged() {
    const double dB = ui->widgetEqTotalGainBase->getValueDB();
    ui->textEditEqGain->setText(QString::number(dB, 'f', 1));
    storeTotalGain(dB);
    eqTotalGainTopRedraw();
}

void DialogPeq::eqGainEditingFinished() {
    const double dB = checkRangeEqGain(peq_readNumber(ui->textEditEqGain->text()));
    ui->textEditEqGain->setText(QString::number(dB, 'f', 1));
    ui->widgetEqTotalGainBase->setKnobValue(dB);
    storeTotalGain(dB);
    eqTotalGainTopRedraw();
}

void DialogPeq::eqTotalGainTopRedraw() {
    const double dB = mPeq ? mPeq->totalGainDb : 0.0;
    ui->label_EqTotalGainTop->move(peq_dialPointerPos(dB));
}

bool DialogPeq::switchOnThroughRecord() const {
    if (mPeq && mPeq->allOn) return *mPeq->allOn;
    return mAllEqOn;
}

void DialogPeq::redrawEqTotalGainKnob() {
    const bool on = switchOnThroughRecord();
    setPicture(ui->label_EqTotalGainBack,
               kParts + (on ? QStringLiteral("Dial_on.png") : QStringLiteral("Dial_off.png")));
    ui->textEditEqGain->setStyleSheet(peq_areaStyle(on));
}

// ---- Band displays -----------------------------------------------------------------

void DialogPeq::redrawBandInfo(int n) {
    if (!mPeq) return;
    const peakEq &b = band(n);
    const bool active = mAllEqOn && b.mBandOn;
    const BandControls &c = mBand[n];
    const QString area = peq_areaStyle(active);
    c.freq->setStyleSheet(area);
    c.gain->setStyleSheet(area);
    c.q->setStyleSheet(area);
    setPicture(c.onOff, peq_onOffPicture(mAllEqOn, b.mBandOn));
    c.qBar->mActive = active;
    c.qBar->update();

    if (n == 0) {
        const bool peak = b.mType == kEqPeak;
        setPicture(ui->labelEQ1Type, peq_typePicture("TYPE-Peak", peak, active));
        setPicture(ui->labelEqTypeShelf, peq_typePicture("TYPE-Shelf", !peak, active));
    } else if (n == 3 && b.mType >= kEqPeak && b.mType <= kEqLowPass) {
        setPicture(ui->labelEQ4TypePeak, peq_typePicture("TYPE-Peak", b.mType == kEqPeak, active));
        setPicture(ui->labelEq4TypeShelf, peq_typePicture("TYPE-Shelf", b.mType == kEqShelf, active));
        setPicture(ui->labelEq4TypeLF, peq_typePicture("TYPE-LF", b.mType == kEqLowPass, active));
    }
}

void DialogPeq::updateGraphFlags() {
    widgetEq *graph = ui->widgetEQ;
    for (int n = 0; n < kEqBands; ++n) {
        if (mAllEqOn) {
            const bool on = mPeq && band(n).mBandOn;
            graph->mCurveShown[n] = on;
            graph->mPointLit[n] = on;
        } else {
            graph->mCurveShown[n] = false;  // the points keep their lit flags
        }
    }
    graph->mEqOn = mAllEqOn;
}

void DialogPeq::checkEqOnOrNot() {
    updateGraphFlags();
    ui->widgetEQ->update();
}

// ---- Checks ---------------------------------------------------------------------

double DialogPeq::checkRangeEqFreq(double hz) { return std::clamp(hz, kPeqFreqMin, kPeqFreqMax); }

double DialogPeq::checkRangeEqGain(double dB) { return std::clamp(dB, -kPeqGainMax, kPeqGainMax); }

double DialogPeq::checkRangeEqQ(double q) { return std::clamp(q, kPeqQMin, kPeqQMax); }

bool DialogPeq::checkDsdPurity() const { return mPeq && peq_dsdPure(*mPeq, mMainVolumeDb); }

int DialogPeq::calEqFreqVal(int pos, int width) const {
    return peq_freqAtPosition(pos, width, mLogFreqTop, mLogFreqRatio, mSampleRate);
}

// ---- Slot fan-out -----------------------------------------------------------------

void DialogPeq::redrawEq1Info() { redrawBandInfo(0); }
void DialogPeq::redrawEq2Info() { redrawBandInfo(1); }
void DialogPeq::redrawEq3Info() { redrawBandInfo(2); }
void DialogPeq::redrawEq4Info() { redrawBandInfo(3); }

void DialogPeq::eq1freqTextEntered() { freqTextEntered(0); }
void DialogPeq::eq2freqTextEntered() { freqTextEntered(1); }
void DialogPeq::eq3freqTextEntered() { freqTextEntered(2); }
void DialogPeq::eq4freqTextEntered() { freqTextEntered(3); }
void DialogPeq::eq1GainTextEntered() { gainTextEntered(0); }
void DialogPeq::eq2GainTextEntered() { gainTextEntered(1); }
void DialogPeq::eq3GainTextEntered() { gainTextEntered(2); }
void DialogPeq::eq4GainTextEntered() { gainTextEntered(3); }
void DialogPeq::eq1QTextEntered() { qTextEntered(0); }
void DialogPeq::eq2QTextEntered() { qTextEntered(1); }
void DialogPeq::eq3QTextEntered() { qTextEntered(2); }
void DialogPeq::eq4QTextEntered() { qTextEntered(3); }
void DialogPeq::eq1QConfirmed(int v) { qConfirmed(0, v); }
void DialogPeq::eq2QConfirmed(int v) { qConfirmed(1, v); }
void DialogPeq::eq3QConfirmed(int v) { qConfirmed(2, v); }
void DialogPeq::eq4QConfirmed(int v) { qConfirmed(3, v); }

// Leaving a field applies it like the Return key.
void DialogPeq::eq1FreqEditingFinished() { mBand[0].freq->valueConfirmed(); }
void DialogPeq::eq1GainEditingFinished() { mBand[0].gain->valueConfirmed(); }
void DialogPeq::eq1QeditingFinished() { mBand[0].q->valueConfirmed(); }
void DialogPeq::eq2FreqEditingFinished() { mBand[1].freq->valueConfirmed(); }
void DialogPeq::eq2GainEditingFinished() { mBand[1].gain->valueConfirmed(); }
void DialogPeq::eq2QeditingFinished() { mBand[1].q->valueConfirmed(); }
void DialogPeq::eq3FreqEditingFinished() { mBand[2].freq->valueConfirmed(); }
void DialogPeq::eq3GainEditingFinished() { mBand[2].gain->valueConfirmed(); }
void DialogPeq::eq3QeditingFinished() { mBand[2].q->valueConfirmed(); }
void DialogPeq::eq4FreqEditingFinished() { mBand[3].freq->valueConfirmed(); }
void DialogPeq::eq4GainEditingFinished() { mBand[3].gain->valueConfirmed(); }
void DialogPeq::eq4QeditingFinished() { mBand[3].q->valueConfirmed(); }

void DialogPeq::Eq1OnOff_clicked(int) { bandOnOffClicked(0); }
void DialogPeq::Eq2OnOff_clicked(int) { bandOnOffClicked(1); }
void DialogPeq::Eq3OnOff_clicked(int) { bandOnOffClicked(2); }
void DialogPeq::Eq4OnOff_clicked(int) { bandOnOffClicked(3); }
