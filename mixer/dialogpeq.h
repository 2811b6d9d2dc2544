// DialogPeq: the window in which the user edits one four-band parametric
// equaliser, a track's or the master's. It edits the equaliser record
// (tPEQ) that the main window owns: every change goes to the band at once
// through peakEq::setupParam, is drawn as the band's response in the graph
// and is mirrored in the entry fields, Q bars, type switches and on/off
// buttons. A band on/off change also decides again whether the engine may
// pass DSD through unprocessed.
//
// The window shows the bands as EQ1 (lowest) to EQ4; they are the record's
// bands 3 down to 0, and the graph's band points and curve rows 0..3 in
// window order.
//
// The owner binds the window before it shows it: sendPeqParam,
// setEqParamOfWidgetEq, setEqParamOfDialogEq, show, refresh. Until then the
// entry paths do nothing.
//
// While it is shown, a 55 ms cycle hands the engine's spectrum buffers of
// the window's track (or of the master) to the graph, which draws them
// behind the curves, and to the window's own spectrogram window. Hiding the
// window without closing it keeps the cycle going; only a close stops it.
// The window also opens its spectrogram window and asks its owner for the
// Lissajous window.
//
// GUI thread only. The record's bands, total gain and on switch are read by
// the real-time engine on the device's thread while the window writes them,
// without a lock; the coefficient update and the gain glide belong to
// peakEq. The spectrum buffers are rewritten by the engine's analysis
// thread while the graph and the spectrogram read them, without a lock.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <memory>

#include "dsp/peqrecord.h"
#include "mixer/dialogspectrogram.h"

class eqtypesw;
class eqOnOffButton;
class WidgetQbar;
class widgetEq;
class widgetEqParamText;
class peakEq;
class QCloseEvent;
class QShowEvent;
class QTimer;

namespace Ui {
class DialogPeq;
}

// Limits of the typed values.
constexpr double kPeqFreqMin = 20.0;  // Hz
constexpr double kPeqFreqMax = 80000.0;
constexpr double kPeqGainMax = 18.0;  // dB either side of 0, bands and total
constexpr double kPeqQMin = 0.1;
constexpr double kPeqQMax = 16.0;
// The total-gain knob: 360 steps over −18..+18 dB at 0.1 dB.
constexpr int kPeqKnobSteps = 360;
constexpr int kPeqKnobResolution = 10;

// A typed number: text that does not read as a finite number reads as 0.
double peq_readNumber(const QString &text);

// Top-left corner of the 11 × 11 dial pointer inside the 64 × 64 knob for a
// total gain: 0 dB straight up at (26, 8), ±18 dB at 135° either side.
QPoint peq_dialPointerPos(double totalDb);

// Whether the engine may pass DSD through unprocessed: none of the
// record's four bands is on and the main volume is exactly 0.0 dB (a
// missing volume counts as not 0). The equaliser's on switch is not part of
// the test.
bool peq_dsdPure(const tPEQ &peq, const double *mainVolumeDb);

// The style sheet of an entry field of an active ("Area_on") or inactive
// ("Area_off") band.
QString peq_areaStyle(bool active);

// The picture of a band's on/off button: lit when the band is on and the
// equaliser is on, dimmed when only the band is on, off otherwise.
QString peq_onOffPicture(bool eqOn, bool bandOn);

// The picture of a type switch showing `shown` (e.g. "TYPE-Shelf") when
// the band's type is (`selected`) or is not that type, dimmed for a band
// that is not active.
QString peq_typePicture(const char *shown, bool selected, bool active);

// The spectrum cycle's period, ms.
constexpr int kPeqCycleMs = 55;
// Spectrogram frame flags: bit 0 the right channel, 0x8000 the master's
// low-frequency analysis.
enum : int {
    kPeqFrameRight = 1,
    kPeqFrameLow = 0x8000,
};

// The analysis rate the spectrogram is told for a device rate: from
// 2,822,400 Hz on the engine analyses DSD decimated by its metering interval
// (5,644,800 / 32 = 176,400); below, the rate itself. An interval below 1
// counts as 1.
int peq_spectrogramRate(int sampleRate, int meterFirInterval);

// The frequency at position pos of an axis width pixels wide running
// logarithmically from 20 Hz to 10^logTop Hz (ratio = log10 20 / logTop),
// rounded to whole Hz; a result at or above half the rate becomes half the
// rate − 1. 0 for an empty axis.
int peq_freqAtPosition(int pos, int width, double logTop, double ratio, int rate);

class DialogPeq : public QDialog {
    Q_OBJECT

public:
    explicit DialogPeq(QWidget *parent = nullptr);
    ~DialogPeq() override;

    // The equaliser's on switch. The record's on-flag pointer points here:
    // the engine reads the switch through it and the main window sets it
    // through it; the window itself changes it only in selAllEqOnOff.
    bool mAllEqOn = false;
    // 0..31 a track, 1023 the master; set by the main window.
    int mTrackId = 0;

    // Binds the window to a record, a sample rate (Hz) and the main output
    // volume (dB, read only; may be null), then hands the rate to the graph,
    // which moves band points above the rate's band-frequency limit (and
    // the window applies each move to its band).
    void sendPeqParam(tPEQ *peq, int sampleRate, double *mainVolumeDb);
    // Copies the four bands' frequencies and gains into the graph's points.
    void setEqParamOfWidgetEq();
    // Brings every control, curve and picture up to date from the record.
    void setEqParamOfDialogEq();
    // Puts the controls back at their places, moves the dial pointer and
    // confirms the EQ1 frequency field again.
    void refresh();
    // Sets the total gain in dB as given (not clamped), e.g. from a project.
    void setEqTotalGain(double dB);

    void redrawEq1Info();
    void redrawEq2Info();
    void redrawEq3Info();
    void redrawEq4Info();
    // The dial and the total-gain field follow the on switch.
    void redrawEqTotalGainKnob();
    // Writes a band's response at the graph row's sample frequencies into
    // the row (0 dB at and above half the rate).
    void calcEqCurve(peakEq *band, int row);
    // Moves the dial pointer to the record's total gain.
    void eqTotalGainTopRedraw();
    static double checkRangeEqFreq(double hz);
    static double checkRangeEqGain(double dB);
    static double checkRangeEqQ(double q);
    bool checkDsdPurity() const;
    int calEqFreqVal(int pos, int width) const;

    // Spectrum set 1 (the master's low-frequency analysis): the left and
    // right buffers; the size is not used. Any other set: the main buffers
    // and their FFT size in points. The buffers belong to the engine.
    void setFFTPointer(int set, double *left, double *right, int fftSize);
    void setFFTOrder(int fftSize);
    // A new device rate (Hz): stored, then handed to the graph, whose band
    // points above the rate's band limit move down to it (and the window
    // applies each move to its band).
    void changeFs(int rate);
    // The graph's frequency axis ends at about 45 kHz, or 112 kHz in HF mode.
    void selectEqHfMode(bool hf);

    DialogSpectrogram *spectrogramWindow() const { return mSpectrogram.get(); }
    bool spectrumFeedOn() const { return mShown; }
    int fftOrder() const { return mFftOrder; }

    tPEQ *boundRecord() const { return mPeq; }
    int sampleRate() const { return mSampleRate; }
    double logFreqTop() const { return mLogFreqTop; }
    double logFreqRatio() const { return mLogFreqRatio; }

signals:
    // The on switch changed: its new value (non-zero = on) and mTrackId.
    void selectAllEqOnOff(int iSel, int iTrk);
    // The window was closed: mTrackId (1023 the master) and the event.
    void windowClosed(int iTrack, QCloseEvent *event);
    // The Lissajous button, always with 0; only the master's has a receiver.
    void lissajousButtonClicked(int iTemp);

public slots:
    void eq1freqTextEntered();
    void eq2freqTextEntered();
    void eq3freqTextEntered();
    void eq4freqTextEntered();
    void eq1GainTextEntered();
    void eq2GainTextEntered();
    void eq3GainTextEntered();
    void eq4GainTextEntered();
    void eq1QTextEntered();
    void eq2QTextEntered();
    void eq3QTextEntered();
    void eq4QTextEntered();
    void eq1QConfirmed(int tenTimesQ);
    void eq2QConfirmed(int tenTimesQ);
    void eq3QConfirmed(int tenTimesQ);
    void eq4QConfirmed(int tenTimesQ);
    void eq1FreqEditingFinished();
    void eq1GainEditingFinished();
    void eq1QeditingFinished();
    void eq2FreqEditingFinished();
    void eq2GainEditingFinished();
    void eq2QeditingFinished();
    void eq3FreqEditingFinished();
    void eq3GainEditingFinished();
    void eq3QeditingFinished();
    void eq4FreqEditingFinished();
    void eq4GainEditingFinished();
    void eq4QeditingFinished();
    void eqParamChangedByGraph(int row);
    void selectEQ1Type(int);
    void selectEQ1Shelving(int);
    void selectEQ4TypePeak(int);
    void selectEQ4Shelving(int);
    void selectEQ4LF(int);
    void Eq1OnOff_clicked(int);
    void Eq2OnOff_clicked(int);
    void Eq3OnOff_clicked(int);
    void Eq4OnOff_clicked(int);
    void selAllEqOnOff(int on);
    void eqGainChanged();
    void eqGainEditingFinished();
    // Updates the graph's flags from the switches and repaints it.
    void checkEqOnOrNot();
    // One spectrum cycle: nothing unless the window is shown and the main
    // buffers are set; then the graph gets both main channels and the
    // spectrogram the chosen channel's frame (and, for the master, its
    // low-frequency frame).
    void dialogEqCycle();

private slots:
    void on_pushButtonSpectrum_clicked();
    void on_pushButtonLissajous_clicked();
    void on_comboBoxSpCh_currentIndexChanged(int index);
    void on_comboBoxSpMode_currentIndexChanged(int index);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The controls of one window band (0 = EQ1 .. 3 = EQ4).
    struct BandControls {
        widgetEqParamText *freq;
        widgetEqParamText *gain;
        widgetEqParamText *q;
        WidgetQbar *qBar;
        eqOnOffButton *onOff;
    };

    peakEq &band(int n) const;  // record band of window band n; needs a bound record
    void applyBand(int n, bool copyPoints);
    void freqTextEntered(int n);
    void gainTextEntered(int n);
    void qTextEntered(int n);
    void qConfirmed(int n, int tenTimesQ);
    void bandOnOffClicked(int n);
    void redrawBandInfo(int n);
    void updateGraphFlags();
    void storeTotalGain(double dB);
    bool switchOnThroughRecord() const;
    void setUpSpectrumFeed();

    Ui::DialogPeq *ui;
    BandControls mBand[kEqBands];
    tPEQ *mPeq = nullptr;             // not owned; null until sendPeqParam
    int mSampleRate = 44100;          // Hz
    double mLogFreqTop = 0.0;         // log10 of the frequency axis' top
    double mLogFreqRatio = 0.0;       // log10 20 / mLogFreqTop
    double *mMainVolumeDb = nullptr;  // not owned

    // The spectrum feed.
    QTimer *mCycleTimer = nullptr;                    // child; runs for the window's life
    std::unique_ptr<DialogSpectrogram> mSpectrogram;  // top-level, no parent
    bool mShown = false;                              // set by every show, cleared by a close
    int mSpectrumCh = 0;                              // 1 right, anything else left
    double *mFftL = nullptr;                          // main set; not owned
    double *mFftR = nullptr;
    double *mFftLowL = nullptr;  // low-frequency set (master only); not owned
    double *mFftLowR = nullptr;
    int mFftOrder = 4096;  // FFT size in points of the buffers
};
